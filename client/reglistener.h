#pragma once

#include "vtkit/vttoolkit.h"

class CClientDoc;

// Hears the registration exchange of the settings wizard on the HTTP
// worker and posts its progress, success and failure to the main view. A
// call outside the registration state raises TSInternalError of this module.
class CRegistrationServerListener : public VTToolkitServerListener {
public:
    explicit CRegistrationServerListener(CClientDoc& doc) : m_doc(doc) {}

    void OnServerProgress(int done, int total) override;
    void OnServerSuccess() override;
    void OnServerFailure() override;

private:
    CClientDoc& m_doc;
};
