#pragma once

#include "vtkit/vtbatch.h"

class CClientDoc;

// Hears the batch processor on its threads and hands each event to the
// main view by state: progress and the end are posted; an error and the
// built addresses are sent, holding the batch until the view has answered.
// A call in a state that does not expect it raises TSInternalError of this
// module and does nothing else.
class CBatchListener : public VTBatchCodeListener {
public:
    // Message 3 carries this as its phase while a cancelled batch winds down.
    static constexpr std::int32_t kCancellingPhase = -1;

    explicit CBatchListener(CClientDoc& doc) : m_doc(doc) {}

    Decision OnBatchError(std::int32_t phase, const VTServerError& error,
                          const std::string& serverName) override;
    void OnBatchProgress(std::int32_t phase, std::int32_t position, std::int32_t total) override;
    void OnBatchUrlsReady(const VTBatchCodeList& list) override;
    void OnBatchFinished() override;

private:
    CClientDoc& m_doc;
};
