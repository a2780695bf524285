#pragma once

#include "tst/http/htclient.h"
#include "vtkit/svrdata.h"
#include "vtkit/svrregistration.h"
#include "vtkit/svrresolution.h"
#include "vtkit/svrrouting.h"
#include "vtkit/vtbatch.h"
#include "vtkit/vtcache.h"
#include "vtkit/vtcorecache.h"
#include "vtkit/vtuserid.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <string_view>

class TSDomDocument;
class TSHttpRequest;
class TSStringMap;

// How one server exchange reports. Callbacks run on the exchange's HTTP
// worker and must not block or start another exchange.
class VTToolkitServerListener {
public:
    virtual ~VTToolkitServerListener();

    virtual void OnServerProgress(int done, int total);
    // The result can now be read from the exchange.
    virtual void OnServerSuccess();
    // The exchange failed or was aborted; its error record says why.
    virtual void OnServerFailure();
};

// What the client tells the servers about itself; substituted into
// templates as CVER, CSRC, CSRCM, CLANG, CAPP, OS and OSVER.
struct VTClientVariables {
    std::string capp{};  // client application, "PC" for the client
    std::string cver{};  // client version
    std::string csrc{};  // distribution channel
    std::string csrcm{}; // its modifier
    std::string clang{}; // language
    std::string os{};
    std::string osver{};
};

// The one object through which the client reaches its servers: it owns the
// exchanges, the caches and the user identity, and gives every exchange
// the client's description and its connection settings.
//
// Settings may change while exchanges run (the settings sheet changes the
// language and the proxy of a running client): every setter locks, and
// each exchange takes a copy of what it needs when it starts.
class VTToolkit {
public:
    static constexpr const char* kToolkitVersion = "3.2";
    static constexpr const char* kDefaultDomain = "PC";
    static constexpr std::uint32_t kRequestChunkSize = 512;

    // Without a domain the domain is "PC".
    explicit VTToolkit(const char* domain = nullptr);
    VTToolkit(const VTToolkit&) = delete;
    VTToolkit& operator=(const VTToolkit&) = delete;
    virtual ~VTToolkit();

    // Read by the exchanges on their threads.
    std::string GetDomain() const;
    void SetDomain(std::string_view domain);
    // Sent as DOMAIN_ID unless empty.
    std::string GetDomainId() const;
    void SetDomainId(std::string_view domainId);
    VTClientVariables GetClientVariables() const;
    void SetClientVariables(const VTClientVariables& variables);
    // CLANG alone, for a language chosen while the client runs.
    void SetLanguage(std::string_view clang);
    std::string GetCapp() const;
    std::string GetCver() const;
    // The last successful routing exchange, UTC "%Y%m%d%H%M%S"; empty before.
    std::string GetTemplateDate() const;
    static const char* GetToolkitVersion() { return kToolkitVersion; }
    VTUserId GetUserId() const;
    void SetUserId(const VTUserId& userId);
    // "host:port", or empty for direct connections.
    std::string GetProxy() const;
    void SetProxy(std::string_view proxy);
    // Connect 30, send 30, first byte 60, head line 30, first body 30,
    // further body reads 30 seconds, the whole exchange 60, unless set.
    static constexpr TSHttpTimeouts kDefaultTimeouts{30, 30, 60, 30, 30, 30, 60};
    TSHttpTimeouts GetTimeouts() const;
    void SetTimeouts(const TSHttpTimeouts& timeouts);
    // The proxy's user name and password, sent with every request through it.
    void SetProxyCredentials(std::string_view user, std::string_view password);
    // Proxy and credentials at once, so that no request sees one without the other.
    void SetProxySettings(std::string_view proxy, std::string_view user, std::string_view password);
    // "Basic " and the Base64 of "user:password"; false when both are empty.
    bool GetProxyCredential(std::string& credential) const;

    // Copies of the core server records.
    VTServerData GetRoutingRecord() const;
    VTServerData GetRegistrationRecord() const;
    VTServerData GetHelpRecord() const;

    // CVER, CSRC, CSRCM, CLANG, CAPP, OS, OSVER, TDATE, DDATE, then USER
    // (freshly re-blinded) and USERC (clear), both empty without a valid id.
    void AddClientVariables(TSStringMap& map) const;

    // The core cache file ("Server.dat"); results as VTCacheFile's.
    std::int32_t LoadCoreCache(const std::filesystem::path& path);
    bool SaveCoreCache(const std::filesystem::path& path);
    // Every core record the reply or error document carries replaces the stored one.
    void UpdateCoreServers(const TSDomDocument& document);
    // TDATE := now.
    void StampTemplateDate();

    // What every exchange does just before it sends: time-outs, chunk size
    // and proxy into the client, and the proxy credential into the request
    // when a proxy is used.
    void PrepareRequest(TSHttpTransactionClient& client, TSHttpRequest& request) const;

    // Runs `load` over the cache on a worker thread. Until it ends GetCache
    // waits, so that no caller ever sees a half-read cache.
    void LoadCacheInBackground(std::function<void(VTCache&)> load);
    VTCache& GetCache();
    VTCoreCacheFile& GetCoreCache() { return m_coreCache; }
    VTRoutingServer& GetRoutingServer() { return m_routingServer; }
    VTRegistrationServer& GetRegistrationServer() { return m_registrationServer; }
    VTResolutionServer& GetResolutionServer() { return m_resolutionServer; }
    VTBatchCodeProcessor& GetBatchProcessor() { return m_batchProcessor; }

private:
    void FinishCacheLoad();

    VTCache m_cache;
    // Declared after the cache so that a load still running ends before it goes.
    std::mutex m_cacheLoadLock;
    std::future<void> m_cacheLoad;
    mutable std::mutex m_settingsLock;
    std::string m_domain;
    std::string m_domainId;
    std::string m_proxy;
    std::string m_proxyUser;
    std::string m_proxyPassword;
    VTClientVariables m_variables;
    std::string m_tdate;
    std::string m_ddate;
    VTUserId m_userId;
    TSHttpTimeouts m_timeouts;
    VTCoreCacheFile m_coreCache;
    VTRoutingServer m_routingServer;
    VTRegistrationServer m_registrationServer;
    VTResolutionServer m_resolutionServer;
    // The batch code processor goes last, so that it is destroyed first:
    // its worker drives the exchanges above and must stop before them.
    VTBatchCodeProcessor m_batchProcessor;
};
