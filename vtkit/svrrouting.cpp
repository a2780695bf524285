#include "vtkit/svrrouting.h"

#include "tst/http/htreq.h"
#include "tst/tsexcep.h"
#include "tst/tsstrutl.h"
#include "tst/xml/io/domparse.h"
#include "tst/xml/io/xmlsource.h"
#include "vtkit/cdanalyze.h"
#include "vtkit/vtexcep.h"
#include "vtkit/vtparsers.h"
#include "vtkit/vttoolkit.h"

namespace {

constexpr const char* kUnexpectedResponse = "VTRoutingServer::OnHttpStateChange: unexpected response\n";
constexpr const char* kUnknownException = "VTRoutingServer::OnHttpStateChange: unknown exception\n";

VTServerExchange::StateTable RoutingStates()
{
    return {{300, 301, 303, 302, 304, 305, 307, 306, 308}, {2, 3, 4, 6, 7, 8}, {3, 4, 7, 8}, {2, 6}};
}

// The root of a query with the client's description; the user id first.
TSDomDocument QueryDocument(const VTToolkit& toolkit, std::u16string_view rootName)
{
    const std::string user = toolkit.GetUserId().GetBlindedId();
    TSDomDocument document(rootName);
    TSDomElement root = document.GetDocumentElement();
    root.SetAttribute(TSDomString(u"USER"), WideText(user));
    root.SetAttribute(TSDomString(u"CAPP"), WideText(toolkit.GetCapp()));
    root.SetAttribute(TSDomString(u"CVER"), WideText(toolkit.GetCver()));
    root.SetAttribute(TSDomString(u"TKVER"), WideText(VTToolkit::GetToolkitVersion()));
    return document;
}

TSDomElement AppendChild(TSDomDocument& document, std::u16string_view name)
{
    TSDomElement child{TSDomString(name)};
    document.GetDocumentElement().AppendChild(child);
    return child;
}

} // namespace

VTRoutingServer::VTRoutingServer(VTToolkit* toolkit) : VTServerExchange(toolkit, RoutingStates())
{
    m_client.SetListener(&m_httpListener);
}

VTRoutingServer::~VTRoutingServer()
{
    StopTransaction();
}

bool VTRoutingServer::RequestFormats(const VTCodeFormatQueryList& items)
{
    if (m_client.IsBusy())
        RaiseInvalidState("RequestFormats()");
    BeginRequest();
    return Request(MakeSplitRequest(*m_toolkit, items), kCommandSplit, true);
}

bool VTRoutingServer::RequestTemplates(const VTTemplateQueryList& items)
{
    if (m_client.IsBusy())
        RaiseInvalidState("RequestTemplates()");
    BeginRequest();
    return Request(MakeGetRequest(*m_toolkit, items), kCommandGet, false);
}

bool VTRoutingServer::Request(const TSDomDocument& document, const char* command, bool formats)
{
    const VTServerData routing = m_toolkit->GetRoutingRecord();
    {
        std::lock_guard guard(m_lock);
        m_serverData = routing;
    }
    if (RootName(document).empty())
        return false;
    const std::int32_t failedState = formats ? kFormatsFailed : kTemplatesFailed;
    std::string urlTemplate;
    if (!routing.GetCommand(command, urlTemplate)) {
        std::lock_guard guard(m_lock);
        EnterState(failedState);
        return false;
    }
    {
        std::lock_guard guard(m_lock);
        m_formats.Clear();
        m_templates.Clear();
    }
    TSHttpRequest request;
    try {
        request = MakeXmlRequest(urlTemplate, RequestText(document));
    } catch (const TSException& error) {
        FailToSend(error, failedState);
        return false;
    }
    return Send(request, formats ? kFormatsSent : kTemplatesSent, failedState);
}

bool VTRoutingServer::GetFormats(VTCodeFormatList& list) const
{
    std::lock_guard guard(m_lock);
    if (CurrentState() == kFormatsSent || CurrentState() == kTemplatesSent)
        RaiseInvalidState("GetFormats()");
    if (CurrentState() == kFormatsUnexpected || CurrentState() == kFormatsFailed)
        return false;
    list = m_formats;
    return true;
}

bool VTRoutingServer::GetTemplates(VTServerDataList& list) const
{
    std::lock_guard guard(m_lock);
    if (CurrentState() == kFormatsSent || CurrentState() == kTemplatesSent)
        RaiseInvalidState("GetTemplates()");
    if (CurrentState() == kTemplatesUnexpected || CurrentState() == kTemplatesFailed)
        return false;
    list = m_templates;
    return true;
}

void VTRoutingServer::RoutingHttpListener::OnHttpStateChange()
{
    if (m_server)
        m_server->OnHttpStateChange();
}

void VTRoutingServer::OnHttpStateChange()
{
    Change change;
    if (!TakeChange(change))
        return;
    bool formats = true;
    {
        std::lock_guard guard(m_lock);
        formats = CurrentState() != kTemplatesSent;
    }
    HandleReply(formats ? kFormatsUnexpected : kTemplatesUnexpected, kUnknownException, [&] {
        {
            std::lock_guard guard(m_lock);
            if (CurrentState() != kFormatsSent && CurrentState() != kTemplatesSent)
                TS_INTERNAL_ERROR("an answer came while no query was out");
            if (change.record.m_state == kHttpFailed) {
                m_error.FromTransaction(change.record);
                EnterState(formats ? kFormatsFailed : kTemplatesFailed);
                return;
            }
        }
        HandleAnswer(m_client.GetResponse(), formats);
    });
    Finish(change.listener);
}

// Any status will do as long as the body is XML: error documents may come
// with an error status.
void VTRoutingServer::HandleAnswer(const TSHttpResponse& response, bool formats)
{
    const std::int32_t unexpectedState = formats ? kFormatsUnexpected : kTemplatesUnexpected;
    if (!IsXmlReply(response))
        return FailWith(unexpectedState, response.GetStatus() + VTServerError::kCodeHttpStatusBase,
                        VTServerError::kTextFailed);
    TSXmlHttpDataSource source(response);
    const TSDomDocument document = TSDomParser(&source).Parse();
    const std::u16string root = RootName(document);
    if (root != (formats ? u"XSPLIT" : u"XGET") && root != u"ERROR")
        return FailWith(unexpectedState, VTServerError::kCodeUnexpected, kUnexpectedResponse);

    VTCodeFormatList formatList;
    VTServerDataList templateList;
    const bool read = formats ? root == u"XSPLIT" && ReadCodeFormats(document.GetDocumentElement(),
                                                                     formatList, VTCacheFile::kVersion)
                              : ReadServerTemplates(document, templateList, VTCacheFile::kVersion);
    std::lock_guard guard(m_lock);
    if (read) {
        m_formats = formatList;
        m_templates = templateList;
        EnterState(formats ? kFormatsAnswered : kTemplatesAnswered);
        m_toolkit->UpdateCoreServers(document);
        return;
    }
    EnterState(formats ? kFormatsFailed : kTemplatesFailed);
    if (!m_error.FromErrorDocument(document, true))
        m_error.FromTransactionError(VTServerError::kCodeUnexpected, kUnexpectedResponse);
}

TSDomDocument MakeSplitRequest(const VTToolkit& toolkit, const VTCodeFormatQueryList& items)
{
    if (items.empty())
        return TSDomDocument();
    TSDomDocument document = QueryDocument(toolkit, u"SPLIT");
    for (const VTCodeFormatQueryItem& item : items) {
        TSDomElement barcode = AppendChild(document, u"BARCODE");
        barcode.SetAttribute(TSDomString(u"TYPE"), WideText(CodeTypeName(item.codeType, true)));
        barcode.SetAttribute(TSDomString(u"CODE"), WideText(StripSpacesAndDashes(item.code)));
    }
    return document;
}

TSDomDocument MakeGetRequest(const VTToolkit& toolkit, const VTTemplateQueryList& items)
{
    if (items.empty())
        return TSDomDocument();
    TSDomDocument document = QueryDocument(toolkit, u"GET");
    const std::string domainId = toolkit.GetDomainId();
    const std::string domain = toolkit.GetDomain();
    for (const VTTemplateQueryItem& item : items) {
        TSDomElement key = AppendChild(document, u"ROUTING_KEY");
        if (!domainId.empty())
            key.SetAttribute(TSDomString(u"DOMAIN_ID"), WideText(domainId));
        // Vantrel and vanity codes belong to one domain everywhere.
        const bool ownDomain = item.codeType == kCodeVantrel || item.codeType == kCodeVanity;
        key.SetAttribute(TSDomString(u"DOMAIN"), WideText(ownDomain ? VTToolkit::kDefaultDomain : domain));
        key.SetAttribute(TSDomString(u"TYPE"), WideText(CodeTypeName(item.codeType, true)));
        key.SetAttribute(TSDomString(u"RID"), WideText(item.serverId));
    }
    return document;
}
