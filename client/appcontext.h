#pragma once

#include "client/config.h"
#include "client/customization.h"
#include "client/langmgr.h"
#include "client/scannertype.h"
#include "client/scode.h"
#include "platform/registry.h"
#include "platform/soundplay.h"
#include "tst/http/htclient.h"
#include "vtkit/vttoolkit.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class VTBarcodeScanner;

// What one client process is built with. Every field has a default, so
// `CAppOptions{}` is the current user's client as installed.
struct CAppOptions {
    // The running program; its folder holds only what ships (Server.dat,
    // page templates, language libraries, a "*.cust" file). Empty: this process.
    std::filesystem::path programPath;
    // What the log-on entry starts. Empty: the desktop client beside the
    // running program.
    std::filesystem::path desktopProgram;
    // The per-user files. Empty: $XDG_DATA_HOME/lumora.
    std::filesystem::path userFolder;
    // The format and template caches. Empty: the user folder.
    std::filesystem::path cacheFolder;
    // The hives. None: the current user's and the machine's.
    std::unique_ptr<platform::Registry> registry;
    // The player of the error sound; none: the machine's wave output. An
    // empty command plays nothing and looks for nothing.
    std::optional<platform::SoundPlayer::Command> soundOutput;
    // CVER and "ClientVersion". Empty: this build's version.
    std::string clientVersion;
};

// Where the files of one client process are.
struct CAppPaths {
    std::filesystem::path programFolder;
    std::filesystem::path userFolder;
    std::filesystem::path cacheFolder;
    std::filesystem::path desktopProgram;
};

// What the command line puts over the settings when it connects.
struct CConnectionOverrides {
    std::optional<std::string> proxy; // "host:port"; empty text: direct
    std::string proxyUser;
    std::string proxyPassword;
    std::optional<TSHttpTimeouts> timeouts;
};

// How the core cache was found: the user's Server.dat, else the user's
// Server.bak, else the shipped Server.dat and Server.bak beside the program.
struct CCoreCacheLoad {
    std::int32_t result = VTCacheFile::kCannotOpen; // VTCacheFile's result codes
    std::filesystem::path file;                     // what loaded, or the last file looked for
    std::vector<std::filesystem::path> failed;      // files there that could not be read, in order

    bool Loaded() const { return result == VTCacheFile::kLoaded; }
};

// A cache file that is there but could not be read; it is left as it is.
struct CCacheProblem {
    std::filesystem::path file;
    std::int32_t result = VTCacheFile::kCannotRead;
    std::filesystem::path keptAs; // where the unreadable file was moved; empty when it stayed
};

// The parts every client front end is made of, built and set up in one
// place: the hives, the configuration, the language manager, the
// customisation, the toolkit with its caches and identity, the stored code
// list and the scanner drivers. The desktop client creates one at start-up
// and takes every step in the order below; the command line takes the
// steps it needs and writes only what it is asked to.
class CAppContext {
public:
    static constexpr const char* kServerFile = "Server.dat";
    static constexpr const char* kServerBackup = "Server.bak";
    static constexpr const char* kStoredCodesFile = "Codes.dat";
    static constexpr const char* kFormatCacheFile = "Format.cache";
    static constexpr const char* kTemplateCacheFile = "Templates.cache";
    // The build strings of this distribution: CSRC, the domain and its id.
    static constexpr const char* kSourceString = "TSLY";
    static constexpr const char* kDomainString = "PC";
    static constexpr const char* kDomainIdString = "";
    static constexpr const char* kClientApplication = "PC";

    explicit CAppContext(CAppOptions options = {});
    ~CAppContext();
    CAppContext(const CAppContext&) = delete;
    CAppContext& operator=(const CAppContext&) = delete;

    // 1. The language libraries beside the program, then the stored
    //    "Language" (English when it is missing or unknown). Reads only.
    void SelectLanguage();
    // 2. The settings. The command line loads them, which writes nothing;
    //    the desktop client initialises them, which stores every value (the
    //    defaults with "Installing" on a first start) and so keeps the
    //    log-on entry in step with "Auto Run".
    bool LoadConfiguration();
    bool InitializeConfiguration();
    // 3. The toolkit's description of the client (domain, CAPP, CVER, CSRC,
    //    CSRCM, CLANG, OS, OSVER) and its connection: proxy and time-outs from
    //    the settings unless overridden.
    void ConfigureToolkit(const CConnectionOverrides& overrides = {});
    // 4. The core cache: the user's copy first, else the shipped one; or
    //    the one file given.
    CCoreCacheLoad LoadCoreCache();
    CCoreCacheLoad LoadCoreCache(const std::filesystem::path& file);
    // 5. The identity: the stored "UID", one given for this process only,
    //    or one stored after an attach.
    enum class IdentityState { kLoaded, kMissing, kInvalid };
    IdentityState LoadIdentity();
    void UseIdentity(const VTUserId& userId);
    bool StoreIdentity(const VTUserId& userId);
    // 6. The format and template caches of the identity in use. Files not
    //    there are no problem; saving writes only a cache whose content
    //    changed, creating the cache folder only then.
    std::vector<CCacheProblem> LoadUserCaches();
    // The same on a worker thread, for a program whose start-up should not
    // wait for it (what it finds is not reported); the toolkit's cache waits
    // for it when first asked for. Throws as the paths do without an identity.
    void StartLoadingUserCaches();
    bool SaveUserCaches(std::string* error = nullptr);
    // 7. The stored code list of the identity in use. A list of an earlier
    //    single-user version ("Codes.dat" in the user folder) is moved to
    //    the per-user name first; no list at all is an empty one.
    CListLoadResult LoadStoredCodes();
    bool SaveStoredCodes(std::string* error = nullptr);
    // At the end: the core records, when replies changed them, into the
    // user's Server.dat, the previous copy kept as Server.bak.
    bool SaveCoreCache(std::string* error = nullptr);

    // The driver of a kind of scanner, or none; see MakeScannerDriver.
    std::unique_ptr<VTBarcodeScanner> MakeScanner(CScannerType type) const;

    const CAppPaths& Paths() const { return m_paths; }
    // The per-user files of the identity in use; without a valid identity
    // they raise VTToolkitException.
    std::filesystem::path FormatCachePath() const;
    std::filesystem::path TemplateCachePath() const;
    std::filesystem::path StoredCodesPath() const;
    std::filesystem::path UserServerFile() const { return m_paths.userFolder / kServerFile; }

    platform::Registry& Registry() { return *m_registry; }
    CClientConfig& Config() { return m_config; }
    CCustomization& Customization() { return m_customization; }
    CLanguageMgr& Language() { return m_language; }
    VTToolkit& Toolkit() { return m_toolkit; }
    CStoredCodeMgr& StoredCodes() { return m_storedCodes; }

private:
    std::string BlindedId() const;
    void LoadCoreCandidate(const std::filesystem::path& file, CCoreCacheLoad& load);

    CAppPaths m_paths;
    std::filesystem::path m_programPath;
    std::unique_ptr<platform::Registry> m_registry;
    CClientConfig m_config;
    CCustomization m_customization;
    CLanguageMgr m_language;
    CStoredCodeMgr m_storedCodes;
    // Last, so that it goes first: its batch and exchange threads stop
    // before anything they might reach.
    VTToolkit m_toolkit;
};
