#pragma once

#include "tst/http/htclient.h"
#include "vtkit/cdbase.h"
#include "vtkit/cdfmtlist.h"
#include "vtkit/svrdata.h"
#include "vtkit/svrexchange.h"

#include <cstdint>
#include <string>
#include <vector>

class TSDomDocument;
class VTToolkit;

// A routing key for which the templates are asked.
struct VTTemplateQueryItem {
    VTCodeType codeType = kCodeUnknown;
    std::string serverId;

    bool operator==(const VTTemplateQueryItem&) const = default;
};

using VTTemplateQueryList = std::vector<VTTemplateQueryItem>;

// The two queries of the routing server, sent to the templates of the
// ROUTING core record: formats that split codes into server and item IDs
// ("SPLIT" → XSPLIT), and the servers and templates of routing keys
// ("GET" → XGET). Every reply that carries core records refreshes them.
class VTRoutingServer : public VTServerExchange {
public:
    enum State : std::int32_t {
        kIdle = 0,
        kFormatsSent = 1,
        kFormatsAnswered = 2,
        kFormatsUnexpected = 3,
        kFormatsFailed = 4,
        kTemplatesSent = 5,
        kTemplatesAnswered = 6,
        kTemplatesUnexpected = 7,
        kTemplatesFailed = 8,
    };

    // The toolkit is required.
    explicit VTRoutingServer(VTToolkit* toolkit);
    ~VTRoutingServer() override;

    // Each returns true when the query was sent. Nothing to ask gives false
    // and no change; a ROUTING record without the command, or a request that
    // could not be sent, ends the query failed. VTToolkitException code 0
    // while a query runs, code 3 without a valid user id.
    bool RequestFormats(const VTCodeFormatQueryList& items);
    bool RequestTemplates(const VTTemplateQueryList& items);

    // VTToolkitException code 0 while a query runs; false after a failed one.
    bool GetFormats(VTCodeFormatList& list) const;
    bool GetTemplates(VTServerDataList& list) const;

private:
    class RoutingHttpListener : public TSHttpTransactionClientListener {
    public:
        explicit RoutingHttpListener(VTRoutingServer* server) : m_server(server) {}
        void OnHttpStateChange() override;

    private:
        VTRoutingServer* m_server;
    };

    bool Request(const TSDomDocument& document, const char* command, bool formats);
    void OnHttpStateChange();
    void HandleAnswer(const TSHttpResponse& response, bool formats);

    VTCodeFormatList m_formats;
    VTServerDataList m_templates;
    RoutingHttpListener m_httpListener{this};
};

// The query documents; an empty list gives a document without an element. Both carry
// the blinded user id, so an invalid one raises VTToolkitException code 3.
TSDomDocument MakeSplitRequest(const VTToolkit& toolkit, const VTCodeFormatQueryList& items);
TSDomDocument MakeGetRequest(const VTToolkit& toolkit, const VTTemplateQueryList& items);
