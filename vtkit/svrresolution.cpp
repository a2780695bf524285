#include "vtkit/svrresolution.h"

#include "tst/http/htreq.h"
#include "tst/tsexcep.h"
#include "tst/tsstrmap.h"
#include "tst/xml/dom/xmlutil/tsdomxmlexception.h"
#include "tst/xml/dom/xmlutil/tsdomxmlutil.h"
#include "tst/xml/io/domparse.h"
#include "tst/xml/io/xmlsource.h"
#include "vtkit/cdanalyze.h"
#include "vtkit/vtexcep.h"
#include "vtkit/vtparsers.h"
#include "vtkit/vttoolkit.h"

#include <algorithm>

namespace {

constexpr const char* kUnexpectedResponse = "VTResolutionServer::OnHttpStateChange: unexpected response\n";
constexpr const char* kUnknownException = "VTResolutionServer::OnHttpStateChange: unknown exception\n";

VTServerExchange::StateTable ResolutionStates()
{
    return {{100, 101, 103, 102, 104}, {2, 3, 4}, {3, 4}, {2}};
}

[[noreturn]] void RaiseReplyError(const std::string& reason)
{
    throw VTToolkitException(VTToolkitException::kInvalidState, reason);
}

bool Contains(const VTCodeDescriptionList& list, const std::string& itemId)
{
    return std::any_of(list.begin(), list.end(),
                       [&](const VTCodeDescription& entry) { return entry.GetItemId() == itemId; });
}

const VTCodeDescription* FindItem(const VTCodeDescriptionList& list, const std::string& itemId)
{
    const auto it = std::find_if(list.begin(), list.end(),
                                 [&](const VTCodeDescription& entry) { return entry.GetItemId() == itemId; });
    return it == list.end() ? nullptr : &*it;
}

// The child's text, refused (with the whole reply) beyond `limit` bytes.
std::string BoundedText(const TSDomElement& code, std::u16string_view child, bool required, std::size_t limit)
{
    std::string text = NarrowText(GetChildElementText(code, child, required));
    if (text.size() > limit)
        throw TSDomXmlException(TSDomXmlException::kElementInvalid,
                                "CODE: " + NarrowText(child) + " of " + std::to_string(text.size()) +
                                    " bytes, more than " + std::to_string(limit));
    return text;
}

VTCodeDescription ReadXDescCode(const TSDomElement& code)
{
    const VTCodeType type = CodeTypeFromName(NarrowText(GetAttribute(code, u"TYPE", true)));
    const std::string serverId = NarrowText(GetAttribute(code, u"RID", true));
    VTCodeDescription answer(NarrowText(GetAttribute(code, u"IID", true)));
    VTCodeContents contents = answer.GetContents();
    contents.SetCodeType(type);
    contents.SetServerId(serverId);
    contents.SetRawServerId(serverId);
    answer.SetContents(contents);
    answer.SetDescription(BoundedText(code, u"DESCRIPTION", true, kMaxDescriptionBytes));
    answer.SetCanonical(BoundedText(code, u"CANONICAL", false, kMaxNameBytes));
    return answer;
}

} // namespace

VTResolutionServer::VTResolutionServer(VTToolkit* toolkit) : VTServerExchange(toolkit, ResolutionStates())
{
    m_client.SetListener(&m_httpListener);
}

VTResolutionServer::~VTResolutionServer()
{
    StopTransaction();
}

bool VTResolutionServer::RequestDescriptions(const VTCodeDescriptionList& list)
{
    if (m_client.IsBusy())
        RaiseInvalidState("RequestDescriptions()");
    const VTServerData record = GetServerData();
    std::string urlTemplate;
    const bool formRequest = !record.GetCommand(kCommandDesc, urlTemplate);
    if (formRequest && !record.GetCommand(kCommandDesc2, urlTemplate))
        return false;

    BeginRequest();
    {
        std::lock_guard guard(m_lock);
        m_descriptions = list;
        m_formRequest = formRequest;
    }
    TSHttpRequest request;
    try {
        if (!formRequest) {
            if (list.IsEmpty())
                return false;
            request = MakeXmlRequest(urlTemplate, RequestText(MakeDescRequest(list)));
        } else {
            std::string code, itemIds, serverId;
            if (!MakeDesc2Values(list, code, itemIds, serverId))
                return false;
            TSStringMap values;
            m_toolkit->AddClientVariables(values);
            values.Set("CODE", code);
            values.Set("IID", itemIds);
            values.Set("SID", serverId);
            request = MakeFormRequest(urlTemplate, values);
        }
    } catch (const TSException& error) {
        FailToSend(error, kFailed);
        return false;
    }
    return Send(request, kSent, kFailed);
}

bool VTResolutionServer::GetDescriptions(VTCodeDescriptionList& list) const
{
    std::lock_guard guard(m_lock);
    if (CurrentState() == kSent)
        RaiseInvalidState("GetDescriptions()");
    if (CurrentState() == kUnexpected || CurrentState() == kFailed)
        return false;
    list = m_descriptions;
    return true;
}

void VTResolutionServer::ResolutionHttpListener::OnHttpStateChange()
{
    if (m_server)
        m_server->OnHttpStateChange();
}

void VTResolutionServer::OnHttpStateChange()
{
    Change change;
    if (!TakeChange(change))
        return;
    HandleReply(kUnexpected, kUnknownException, [&] {
        bool formRequest = false;
        {
            std::lock_guard guard(m_lock);
            if (CurrentState() != kSent)
                TS_INTERNAL_ERROR("an answer came while no request was out");
            if (change.record.m_state == kHttpFailed) {
                m_error.FromTransaction(change.record);
                EnterState(kFailed);
                return;
            }
            EnterState(kAnswered);
            formRequest = m_formRequest;
        }
        HandleAnswer(m_client.GetResponse(), formRequest);
    });
    Finish(change.listener);
}

void VTResolutionServer::HandleAnswer(const TSHttpResponse& response, bool formRequest)
{
    const std::int32_t status = response.GetStatus();
    if (status != 200) {
        std::lock_guard guard(m_lock);
        m_error.FromHttpStatus(status);
        EnterState(kFailed);
        return;
    }
    VTCodeDescriptionList request;
    {
        std::lock_guard guard(m_lock);
        request = m_descriptions;
    }
    VTCodeDescriptionList answers;
    if (formRequest) {
        ReadDescTextReply(response.GetBodyText(), request, answers);
    } else {
        if (!IsXmlReply(response))
            return FailWith(kUnexpected, status + VTServerError::kCodeHttpStatusBase,
                            VTServerError::kTextFailed);
        TSXmlHttpDataSource source(response);
        const TSDomDocument document = TSDomParser(&source).Parse();
        if (!ReadXDescReply(document, request, answers)) {
            std::lock_guard guard(m_lock);
            if (!m_error.FromErrorDocument(document, false)) {
                m_error.FromTransactionError(VTServerError::kCodeUnexpected, kUnexpectedResponse);
                EnterState(kUnexpected);
                return;
            }
            EnterState(kFailed);
            return;
        }
    }
    std::lock_guard guard(m_lock);
    m_descriptions = answers;
}

void ReadDescTextReply(std::string_view body, const VTCodeDescriptionList& request,
                       VTCodeDescriptionList& answers)
{
    answers.Clear();
    while (!body.empty()) {
        const auto end = body.find('\n');
        std::string_view line = body.substr(0, end);
        body.remove_prefix(end == std::string_view::npos ? body.size() : end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty())
            continue;
        const auto equals = line.find('=');
        if (equals == std::string_view::npos)
            RaiseReplyError("DESC transaction : missing equals character");
        if (equals == 0)
            RaiseReplyError("DESC transaction : missing IID");
        if (answers.Size() >= request.Size())
            RaiseReplyError("DESC transaction : Server response contained extra codes");
        const std::string itemId = VTCodeDescription(line.substr(0, equals)).GetItemId();
        if (Contains(answers, itemId))
            RaiseReplyError("DESC transaction : Duplicate codes returned");
        const VTCodeDescription* asked = FindItem(request, itemId);
        if (!asked)
            RaiseReplyError("DESC transaction : returned code not found in request list");
        const std::string_view description = line.substr(equals + 1);
        if (description.size() > kMaxDescriptionBytes)
            RaiseReplyError("DESC transaction : description of " + std::to_string(description.size()) +
                            " bytes, more than " + std::to_string(kMaxDescriptionBytes));
        VTCodeDescription answer = *asked;
        answer.SetDescription(description);
        answers.Add(answer);
    }
    if (answers.Size() < request.Size())
        RaiseReplyError("DESC transaction : Server response was missing codes");
}

bool ReadXDescReply(const TSDomDocument& document, const VTCodeDescriptionList& request,
                    VTCodeDescriptionList& answers)
{
    if (RootName(document) != u"XDESC")
        return false;
    answers.Clear();
    for (const TSDomElement& code : GetChildElements(document.GetDocumentElement(), u"CODE")) {
        const std::size_t before = answers.Size();
        answers.Add(ReadXDescCode(code));
        if (answers.Size() == before)
            RaiseReplyError("XDESC transaction : Duplicate codes returned");
    }
    if (answers.Size() < request.Size())
        RaiseReplyError("XDESC transaction : Server response was missing codes");
    if (answers.Size() > request.Size())
        RaiseReplyError("XDESC transaction : Server response contained extra codes");
    for (const VTCodeDescription& answer : answers)
        if (!Contains(request, answer.GetItemId()))
            RaiseReplyError("XDESC transaction : returned code not found in request list");
    return true;
}

TSDomDocument MakeDescRequest(const VTCodeDescriptionList& list)
{
    TSDomDocument document(u"DESC");
    TSDomElement root = document.GetDocumentElement();
    for (const VTCodeDescription& description : list) {
        const VTCodeContents contents = description.GetContents();
        TSDomElement code{TSDomString(u"CODE")};
        root.AppendChild(code);
        code.SetAttribute(TSDomString(u"TYPE"), WideText(CodeTypeName(contents.GetCodeType(), true)));
        code.SetAttribute(TSDomString(u"RID"), WideText(contents.GetServerId()));
        code.SetAttribute(TSDomString(u"IID"), WideText(contents.GetItemId()));
    }
    return document;
}

bool MakeDesc2Values(const VTCodeDescriptionList& list, std::string& code, std::string& itemIds,
                     std::string& serverId)
{
    code.clear();
    itemIds.clear();
    serverId = list.IsEmpty() ? std::string() : list[0].GetContents().GetServerId();
    for (std::size_t i = 0; i < list.Size(); ++i) {
        const VTCodeContents contents = list[i].GetContents();
        if (contents.GetCode().empty() ||
            (contents.GetItemId().empty() && contents.GetCodeType() != kCodeVanity))
            continue;
        code += contents.GetCode();
        itemIds += contents.GetItemId();
        if (i + 1 != list.Size()) {
            code += ',';
            itemIds += ',';
        }
    }
    return !code.empty();
}
