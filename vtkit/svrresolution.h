#pragma once

#include "tst/http/htclient.h"
#include "vtkit/cddescrip.h"
#include "vtkit/svrexchange.h"

#include <cstdint>
#include <string>
#include <string_view>

class TSDomDocument;
class VTToolkit;

// Asks a description server for the descriptions of a group of codes that
// share it: "DESC" as an XML document (XDESC reply) or, failing that
// command, "DESC2" as a form (one "IID=description" line per code).
class VTResolutionServer : public VTServerExchange {
public:
    enum State : std::int32_t { kIdle = 0, kSent = 1, kAnswered = 2, kUnexpected = 3, kFailed = 4 };

    // The toolkit is required.
    explicit VTResolutionServer(VTToolkit* toolkit);
    ~VTResolutionServer() override;

    // False when nothing was sent: the record has neither command, there is
    // nothing to ask, or sending failed (then the error record says why).
    // VTToolkitException code 0 while a request runs.
    bool RequestDescriptions(const VTCodeDescriptionList& list);
    // The answers; VTToolkitException code 0 while a request runs, false
    // after a failure.
    bool GetDescriptions(VTCodeDescriptionList& list) const;

private:
    class ResolutionHttpListener : public TSHttpTransactionClientListener {
    public:
        explicit ResolutionHttpListener(VTResolutionServer* server) : m_server(server) {}
        void OnHttpStateChange() override;
        void Detach() { m_server = nullptr; }

    private:
        VTResolutionServer* m_server;
    };

    void OnHttpStateChange();
    void HandleAnswer(const TSHttpResponse& response, bool formRequest);

    VTCodeDescriptionList m_descriptions;
    bool m_formRequest = false;
    ResolutionHttpListener m_httpListener{this};
};

// Reply readers. Each raises VTToolkitException code 0 with the reason when
// the answers do not match the request; missing parts of an XDESC reply
// raise TSDomXmlException.

// "IID=description" lines; a carriage return before the line feed is dropped.
void ReadDescTextReply(std::string_view body, const VTCodeDescriptionList& request,
                       VTCodeDescriptionList& answers);
// False when the root is not "XDESC".
bool ReadXDescReply(const TSDomDocument& document, const VTCodeDescriptionList& request,
                    VTCodeDescriptionList& answers);

// The request documents.
TSDomDocument MakeDescRequest(const VTCodeDescriptionList& list);
// CODE and IID of every code with a canonical code and an item ID (or of a
// vanity code), joined by ','; SID of the first code. False when CODE is empty.
bool MakeDesc2Values(const VTCodeDescriptionList& list, std::string& code, std::string& itemIds,
                     std::string& serverId);
