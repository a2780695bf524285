#include "vtkit/svrregistration.h"

#include "tst/http/htreq.h"
#include "tst/tsexcep.h"
#include "tst/tsstrmap.h"
#include "tst/tsstrsub.h"
#include "tst/tsstrutl.h"
#include "tst/xml/dom/xmlutil/tsdomxmlutil.h"
#include "tst/xml/io/domparse.h"
#include "tst/xml/io/xmlsource.h"
#include "vtkit/vtexcep.h"
#include "vtkit/vtparsers.h"
#include "vtkit/vttoolkit.h"

namespace {

constexpr const char* kUnexpectedResponse = "VTRegistrationServer::OnHttpStateChange: unexpected response\n";
constexpr const char* kUnknownException = "VTRegistrationServer::OnHttpStateChange: unknown exception\n";

// The attach exchange numbers its sent and failed states alike.
VTServerExchange::StateTable RegistrationStates()
{
    return {{200, 205, 203, 202, 205}, {2, 3, 4}, {3, 4}, {2}};
}

std::string FormEncoded(std::string_view text)
{
    std::string encoded(text);
    UrlEncode(encoded);
    return encoded;
}

} // namespace

VTRegistrationServer::VTRegistrationServer(VTToolkit* toolkit)
    : VTServerExchange(toolkit, RegistrationStates())
{
    m_client.SetListener(&m_httpListener);
}

VTRegistrationServer::~VTRegistrationServer()
{
    StopTransaction();
}

bool VTRegistrationServer::RequestAttach(const char* login, const char* password)
{
    TS_CHECK_NULL(login);
    TS_CHECK_NULL(password);
    return RequestAttach(std::string_view(login), std::string_view(password));
}

bool VTRegistrationServer::RequestAttach(std::string_view login, std::string_view password)
{
    const std::string encodedLogin = FormEncoded(login);
    const std::string encodedPassword = FormEncoded(password);
    if (m_client.IsBusy())
        RaiseInvalidState("RequestAttach()");
    BeginRequest();
    const VTServerData registration = m_toolkit->GetRegistrationRecord();
    {
        std::lock_guard guard(m_lock);
        m_results.Clear();
        m_results.SetLogin(encodedLogin);
        m_results.SetApplicationId(m_toolkit->GetCapp());
        m_serverData = registration;
    }
    std::string urlTemplate;
    if (!registration.GetCommand(kCommandAttach, urlTemplate)) {
        std::lock_guard guard(m_lock);
        EnterState(kFailed);
        return false;
    }
    TSHttpRequest request;
    try {
        TSStringMap values;
        m_toolkit->AddClientVariables(values);
        values.Set("LOGIN", encodedLogin);
        values.Set("PASSWORD", encodedPassword);
        TSStringSubst::ForTemplates(values).Substitute(urlTemplate);
        request.SetVerb(kHttpGet);
        request.SetUrl(urlTemplate);
    } catch (const TSException& error) {
        FailToSend(error, kFailed);
        return false;
    }
    return Send(request, kSent, kFailed);
}

void VTRegistrationServer::GetAttachResults(VTAttachResults& results) const
{
    std::lock_guard guard(m_lock);
    if (CurrentState() != kAnswered)
        RaiseInvalidState("GetAttachResults()");
    results = m_results;
}

void VTRegistrationServer::RegistrationHttpListener::OnHttpStateChange()
{
    if (m_server)
        m_server->OnHttpStateChange();
}

void VTRegistrationServer::OnHttpStateChange()
{
    Change change;
    if (!TakeChange(change))
        return;
    HandleReply(kUnexpected, kUnknownException, [&] {
        {
            std::lock_guard guard(m_lock);
            if (CurrentState() != kSent)
                TS_INTERNAL_ERROR("an answer came while no request was out");
            if (change.record.m_state == kHttpFailed) {
                m_error.FromTransaction(change.record);
                EnterState(kFailed);
                return;
            }
        }
        HandleAnswer(m_client.GetResponse());
    });
    Finish(change.listener);
}

void VTRegistrationServer::HandleAnswer(const TSHttpResponse& response)
{
    if (!IsXmlReply(response))
        return FailWith(kUnexpected, response.GetStatus() + VTServerError::kCodeHttpStatusBase,
                        VTServerError::kTextFailed);
    TSXmlHttpDataSource source(response);
    const TSDomDocument document = TSDomParser(&source).Parse();
    VTAttachResults results;
    {
        std::lock_guard guard(m_lock);
        results = m_results;
    }
    const bool read = ReadXAttachReply(document, results.GetLogin(), results);
    std::lock_guard guard(m_lock);
    if (read && response.GetStatus() == 200) {
        m_results = results;
        EnterState(kAnswered);
        m_toolkit->UpdateCoreServers(document);
        return;
    }
    EnterState(kFailed);
    if (!m_error.FromErrorDocument(document, true))
        m_error.FromTransactionError(VTServerError::kCodeUnexpected, kUnexpectedResponse);
}

bool ReadXAttachReply(const TSDomDocument& document, std::string_view login, VTAttachResults& results)
{
    if (RootName(document) != u"XATTACH")
        return false;
    const TSDomElement userData = FindChildElement(document.GetDocumentElement(), u"USERDATA");
    if (userData.IsNull()) {
        results.SetAttached(false);
        return true;
    }
    const std::string replyLogin = NarrowText(GetAttribute(userData, u"LOGIN", true));
    if (!EqualsIgnoringCase(replyLogin, login))
        throw VTToolkitException(VTToolkitException::kInvalidState,
                                 "XATTACH transaction : login does not match");
    results.SetLogin(replyLogin);
    results.SetApplicationId(NarrowText(GetAttribute(userData, u"APPID", true)));
    const std::string user = NarrowText(GetChildElementText(userData, u"USER", true));
    if (!user.empty()) {
        results.UserId().SetBlindedId(user);
        results.SetAttached(true);
    }
    return true;
}
