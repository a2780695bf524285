#include "vtkit/svrexchange.h"

#include "tst/http/htreq.h"
#include "tst/tsexcep.h"
#include "tst/tsstrsub.h"
#include "tst/tsstrutl.h"
#include "tst/xml/dom/xmlutil/tsdomxmlexception.h"
#include "tst/xml/xmlexcep.h"
#include "vtkit/vtparsers.h"
#include "vtkit/vttoolkit.h"

#include <algorithm>

VTServerExchange::VTServerExchange(VTToolkit* toolkit, StateTable states)
    : m_toolkit(toolkit), m_states(std::move(states))
{
    TS_CHECK_NULL(toolkit);
    m_error.SetToolkit(toolkit);
    m_error.SetStateNumber(m_states.numbers.at(0));
}

VTServerExchange::~VTServerExchange() = default;

void VTServerExchange::StopTransaction()
{
    m_client.Cancel();
    m_client.GetState(true);
    m_client.SetListener(nullptr);
}

void VTServerExchange::SetListener(VTToolkitServerListener* listener)
{
    std::lock_guard guard(m_lock);
    m_listener = listener;
}

VTToolkitServerListener* VTServerExchange::GetListener() const
{
    std::lock_guard guard(m_lock);
    return m_listener;
}

void VTServerExchange::SetServerData(const VTServerData& record)
{
    std::lock_guard guard(m_lock);
    m_serverData = record;
}

VTServerData VTServerExchange::GetServerData() const
{
    std::lock_guard guard(m_lock);
    return m_serverData;
}

std::int32_t VTServerExchange::GetState(bool join)
{
    std::int32_t state = 0;
    bool ended = false;
    {
        std::lock_guard guard(m_lock);
        state = m_state;
        ended = HasState(m_states.ended);
    }
    if (join && ended)
        m_client.GetState(true);
    return state;
}

void VTServerExchange::GetError(VTServerError& record) const
{
    std::lock_guard guard(m_lock);
    if (HasState(m_states.failed) || (HasState(m_states.answered) && m_error.HasError()))
        record = m_error;
    record.SetToolkit(m_toolkit);
}

void VTServerExchange::Abort()
{
    m_client.Cancel();
}

void VTServerExchange::EnterState(std::int32_t state)
{
    if (state < 0 || static_cast<std::size_t>(state) >= m_states.numbers.size())
        TS_INTERNAL_ERROR("exchange state out of range");
    m_state = state;
    m_error.SetStateNumber(m_states.numbers[static_cast<std::size_t>(state)]);
}

bool VTServerExchange::HasState(const std::vector<std::int32_t>& states) const
{
    return std::find(states.begin(), states.end(), m_state) != states.end();
}

void VTServerExchange::BeginRequest()
{
    m_client.ResetCancel();
    std::lock_guard guard(m_lock);
    m_error.Clear();
    m_error.SetStateNumber(m_states.numbers[static_cast<std::size_t>(m_state)]);
}

bool VTServerExchange::Send(TSHttpRequest& request, std::int32_t sentState, std::int32_t failedState)
{
    try {
        m_toolkit->PrepareRequest(m_client, request);
        request.SetContentLengthAndHost();
        m_client.SetRequest(request);
        {
            std::lock_guard guard(m_lock);
            EnterState(sentState);
            // Whatever goes wrong from here on, the error says where the request went.
            const TSHttpUrl& url = request.GetUrl();
            m_error.SetServer(url.m_host + ":" + FormatUnsigned(static_cast<unsigned long>(url.m_port)));
        }
        m_client.Start();
        return true;
    } catch (const TSException& error) {
        FailToSend(error, failedState);
        return false;
    }
}

void VTServerExchange::FailToSend(const TSException& error, std::int32_t failedState)
{
    std::lock_guard guard(m_lock);
    m_error.FromException(error, VTServerError::kCodeToolkit);
    EnterState(failedState);
}

bool VTServerExchange::TakeChange(Change& change)
{
    change.record = m_client.GetState(false);
    {
        std::lock_guard guard(m_lock);
        change.listener = m_listener;
    }
    const TSHttpProgress progress = m_client.GetProgress();
    if (progress.m_busy) {
        if (change.listener)
            change.listener->OnServerProgress(progress.m_step, progress.m_total);
        return false;
    }
    return change.record.m_state == kHttpDone || change.record.m_state == kHttpFailed;
}

void VTServerExchange::Finish(VTToolkitServerListener* listener)
{
    bool failed = false;
    {
        std::lock_guard guard(m_lock);
        failed = m_error.HasError();
    }
    if (!listener)
        return;
    if (failed)
        listener->OnServerFailure();
    else
        listener->OnServerSuccess();
}

void VTServerExchange::FailWith(std::int32_t failedState, std::int32_t code, const char* message)
{
    std::lock_guard guard(m_lock);
    m_error.FromTransactionError(code, message);
    EnterState(failedState);
}

void VTServerExchange::RecordException(std::int32_t failedState, const char* unknownText,
                                       std::exception_ptr error)
{
    std::lock_guard guard(m_lock);
    try {
        std::rethrow_exception(error);
    } catch (const TSXmlException& e) {
        m_error.FromException(e, VTServerError::kCodeXmlParse);
    } catch (const TSDomXmlException& e) {
        m_error.FromException(e, VTServerError::kCodeDom);
    } catch (const TSException& e) {
        m_error.FromException(e, VTServerError::kCodeToolkit);
    } catch (const std::exception& e) {
        m_error.FromTransactionError(VTServerError::kCodeUnexpected, e.what());
    } catch (...) {
        m_error.FromTransactionError(VTServerError::kCodeUnexpected, unknownText);
    }
    EnterState(failedState);
}

bool VTServerExchange::IsXmlReply(const TSHttpResponse& response)
{
    std::string type;
    return response.GetHeaderValue("Content-Type", 0, type) && EqualsIgnoringCase(type, "text/xml");
}

namespace {

// The substituted template: what precedes its first '?' is the address,
// what follows it the body of a form POST.
TSHttpRequest SplitFormPost(std::string text, const TSStringMap& values)
{
    TSStringSubst::ForTemplates(values).Substitute(text);
    TSHttpRequest request;
    request.SetVerb(kHttpPost);
    const auto mark = text.find('?');
    request.SetUrl(std::string_view(text).substr(0, mark));
    if (mark != std::string::npos)
        request.SetBody(std::string_view(text).substr(mark + 1));
    request.SetContentType(kContentUrlEncoded);
    return request;
}

} // namespace

std::string RequestText(const TSDomDocument& document)
{
    return FormatDocument(document);
}

TSHttpRequest MakeXmlRequest(const std::string& urlTemplate, const std::string& xml)
{
    if (urlTemplate.find('?') == std::string::npos) {
        TSHttpRequest request;
        request.SetVerb(kHttpPost);
        request.SetUrl(urlTemplate);
        request.SetContentType(kContentTextXml);
        request.SetBody(xml);
        return request;
    }
    std::string encoded = xml;
    UrlEncode(encoded);
    TSStringMap values;
    values.Set(kTemplateXmlRequest, encoded);
    return SplitFormPost(urlTemplate, values);
}

TSHttpRequest MakeFormRequest(const std::string& urlTemplate, const TSStringMap& values)
{
    if (urlTemplate.find('?') == std::string::npos) {
        TSHttpRequest request;
        request.SetVerb(kHttpGet);
        request.SetUrl(urlTemplate);
        request.SetContentType(kContentTextPlain);
        return request;
    }
    return SplitFormPost(urlTemplate, values);
}
