#include "vtkit/vttoolkit.h"

#include "tst/http/htreq.h"
#include "tst/http/htutil.h"
#include "tst/tsstrmap.h"
#include "vtkit/vtparsers.h"

#include <system_error>

VTToolkitServerListener::~VTToolkitServerListener() = default;

void VTToolkitServerListener::OnServerProgress(int, int) {}

void VTToolkitServerListener::OnServerSuccess() {}

void VTToolkitServerListener::OnServerFailure() {}

VTToolkit::VTToolkit(const char* domain)
    : m_cache(this), m_domain(domain ? domain : kDefaultDomain), m_timeouts(kDefaultTimeouts),
      m_routingServer(this), m_registrationServer(this), m_resolutionServer(this), m_batchProcessor(this)
{
}

VTToolkit::~VTToolkit() = default;

void VTToolkit::LoadCacheInBackground(std::function<void(VTCache&)> load)
{
    std::lock_guard guard(m_cacheLoadLock);
    FinishCacheLoad();
    try {
        m_cacheLoad = std::async(std::launch::async, [this, load = std::move(load)] { load(m_cache); });
    } catch (const std::system_error&) {
        // No thread to be had: read now.
        load(m_cache);
    }
}

VTCache& VTToolkit::GetCache()
{
    std::lock_guard guard(m_cacheLoadLock);
    FinishCacheLoad();
    return m_cache;
}

void VTToolkit::FinishCacheLoad()
{
    if (m_cacheLoad.valid())
        m_cacheLoad.get();
}

std::string VTToolkit::GetDomain() const
{
    std::lock_guard guard(m_settingsLock);
    return m_domain;
}

void VTToolkit::SetDomain(std::string_view domain)
{
    std::lock_guard guard(m_settingsLock);
    m_domain = domain;
}

std::string VTToolkit::GetDomainId() const
{
    std::lock_guard guard(m_settingsLock);
    return m_domainId;
}

void VTToolkit::SetDomainId(std::string_view domainId)
{
    std::lock_guard guard(m_settingsLock);
    m_domainId = domainId;
}

VTUserId VTToolkit::GetUserId() const
{
    std::lock_guard guard(m_settingsLock);
    return m_userId;
}

void VTToolkit::SetUserId(const VTUserId& userId)
{
    std::lock_guard guard(m_settingsLock);
    m_userId = userId;
}

std::string VTToolkit::GetProxy() const
{
    std::lock_guard guard(m_settingsLock);
    return m_proxy;
}

void VTToolkit::SetProxy(std::string_view proxy)
{
    std::lock_guard guard(m_settingsLock);
    m_proxy = proxy;
}

TSHttpTimeouts VTToolkit::GetTimeouts() const
{
    std::lock_guard guard(m_settingsLock);
    return m_timeouts;
}

void VTToolkit::SetTimeouts(const TSHttpTimeouts& timeouts)
{
    std::lock_guard guard(m_settingsLock);
    m_timeouts = timeouts;
}

VTClientVariables VTToolkit::GetClientVariables() const
{
    std::lock_guard guard(m_settingsLock);
    return m_variables;
}

void VTToolkit::SetClientVariables(const VTClientVariables& variables)
{
    std::lock_guard guard(m_settingsLock);
    m_variables = variables;
}

void VTToolkit::SetLanguage(std::string_view clang)
{
    std::lock_guard guard(m_settingsLock);
    m_variables.clang = clang;
}

std::string VTToolkit::GetCapp() const
{
    std::lock_guard guard(m_settingsLock);
    return m_variables.capp;
}

std::string VTToolkit::GetCver() const
{
    std::lock_guard guard(m_settingsLock);
    return m_variables.cver;
}

std::string VTToolkit::GetTemplateDate() const
{
    std::lock_guard guard(m_settingsLock);
    return m_tdate;
}

void VTToolkit::SetProxyCredentials(std::string_view user, std::string_view password)
{
    std::lock_guard guard(m_settingsLock);
    m_proxyUser = user;
    m_proxyPassword = password;
}

void VTToolkit::SetProxySettings(std::string_view proxy, std::string_view user, std::string_view password)
{
    std::lock_guard guard(m_settingsLock);
    m_proxy = proxy;
    m_proxyUser = user;
    m_proxyPassword = password;
}

bool VTToolkit::GetProxyCredential(std::string& credential) const
{
    std::lock_guard guard(m_settingsLock);
    if (m_proxyUser.empty() && m_proxyPassword.empty())
        return false;
    credential = "Basic " + EncodeBase64(m_proxyUser + ":" + m_proxyPassword);
    return true;
}

VTServerData VTToolkit::GetRoutingRecord() const
{
    return m_coreCache.GetRecord(kServerTypeRouting);
}

VTServerData VTToolkit::GetRegistrationRecord() const
{
    return m_coreCache.GetRecord(kServerTypeRegistration);
}

VTServerData VTToolkit::GetHelpRecord() const
{
    return m_coreCache.GetRecord(kServerTypeHelp);
}

void VTToolkit::AddClientVariables(TSStringMap& map) const
{
    std::lock_guard guard(m_settingsLock);
    map.Set("CVER", m_variables.cver);
    map.Set("CSRC", m_variables.csrc);
    map.Set("CSRCM", m_variables.csrcm);
    map.Set("CLANG", m_variables.clang);
    map.Set("CAPP", m_variables.capp);
    map.Set("OS", m_variables.os);
    map.Set("OSVER", m_variables.osver);
    map.Set("TDATE", m_tdate);
    map.Set("DDATE", m_ddate);
    if (m_userId.IsValid()) {
        m_userId.AddTo(map);
    } else {
        map.Set("USER", "");
        map.Set("USERC", "");
    }
}

std::int32_t VTToolkit::LoadCoreCache(const std::filesystem::path& path)
{
    return m_coreCache.Load(path);
}

bool VTToolkit::SaveCoreCache(const std::filesystem::path& path)
{
    return m_coreCache.Save(path);
}

void VTToolkit::UpdateCoreServers(const TSDomDocument& document)
{
    m_coreCache.Update(document);
}

void VTToolkit::StampTemplateDate()
{
    const std::string now = FormatDate(VTCurrentTime());
    std::lock_guard guard(m_settingsLock);
    m_tdate = now;
}

void VTToolkit::PrepareRequest(TSHttpTransactionClient& client, TSHttpRequest& request) const
{
    // One snapshot, so that a proxy changed meanwhile never goes out with
    // the previous proxy's credential.
    TSHttpTimeouts timeouts;
    std::string proxy;
    std::string credential;
    {
        std::lock_guard guard(m_settingsLock);
        timeouts = m_timeouts;
        proxy = m_proxy;
        if (!m_proxyUser.empty() || !m_proxyPassword.empty())
            credential = "Basic " + EncodeBase64(m_proxyUser + ":" + m_proxyPassword);
    }
    client.SetTimeouts(timeouts);
    client.SetChunkSize(kRequestChunkSize);
    client.SetProxy(proxy);
    if (!client.GetProxy().empty() && !credential.empty())
        request.AddHeader(kHeaderProxyAuthorization, credential, kHeaderReplace);
}
