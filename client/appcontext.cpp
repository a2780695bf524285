#include "client/appcontext.h"

#include "client/regkey.h"
#include "client/scanfactory.h"
#include "platform/atomicfile.h"
#include "platform/folders.h"
#include "tst/tsexcep.h"
#include "vtkit/scanner/scbase.h"

#include <sys/utsname.h>
#include <system_error>

namespace {

namespace fs = std::filesystem;

fs::path OrDefault(fs::path given, const fs::path& fallback)
{
    return given.empty() ? fallback : given;
}

bool Exists(const fs::path& file)
{
    std::error_code error;
    return fs::exists(file, error);
}

} // namespace

CAppContext::CAppContext(CAppOptions options)
    : m_programPath(OrDefault(std::move(options.programPath), platform::ProgramPath())),
      m_registry(options.registry ? std::move(options.registry) : platform::Registry::ForUser()),
      m_config(*m_registry), m_customization(m_programPath, std::move(options.soundOutput)),
      m_storedCodes(m_language, m_config.Settings()), m_toolkit(kDomainString)
{
    m_paths.programFolder = m_programPath.parent_path();
    m_paths.userFolder = OrDefault(std::move(options.userFolder), platform::UserDataFolder());
    m_paths.cacheFolder = OrDefault(std::move(options.cacheFolder), m_paths.userFolder);
    m_paths.desktopProgram = OrDefault(std::move(options.desktopProgram),
                                       CClientConfig::DesktopProgramPath(m_paths.programFolder));
    m_config.SetProgramPath(m_paths.desktopProgram);
    m_config.SetClientVersion(options.clientVersion.empty() ? LUMORA_VERSION : options.clientVersion);
}

CAppContext::~CAppContext() = default;

void CAppContext::SelectLanguage()
{
    m_language.Initialize(m_programPath);
    CRegistryKey config;
    std::string code;
    if (config.Open(m_registry->Hive(platform::RegistryRoot::CurrentUser),
                    std::string(CClientConfig::kUserKey) + "\\Config", CRegistryKey::kRead))
        config.ReadString("Language", code);
    m_language.SelectConfigured(code);
    m_toolkit.SetLanguage(m_language.Current().code);
}

bool CAppContext::LoadConfiguration()
{
    return m_config.Load();
}

bool CAppContext::InitializeConfiguration()
{
    return m_config.Initialize();
}

void CAppContext::ConfigureToolkit(const CConnectionOverrides& overrides)
{
    VTClientVariables variables;
    variables.capp = kClientApplication;
    variables.cver = m_config.ClientVersion();
    variables.csrc = kSourceString;
    variables.csrcm = m_customization.SourceModifier();
    variables.clang = m_language.Current().code;
    if (utsname system{}; ::uname(&system) == 0) {
        variables.os = system.sysname;
        variables.osver = system.release;
    }
    m_toolkit.SetDomain(kDomainString);
    m_toolkit.SetDomainId(kDomainIdString);
    m_toolkit.SetClientVariables(variables);
    m_toolkit.SetProxySettings(overrides.proxy.value_or(m_config.ProxyString()), overrides.proxyUser,
                               overrides.proxyPassword);
    if (overrides.timeouts)
        m_toolkit.SetTimeouts(*overrides.timeouts);
}

void CAppContext::LoadCoreCandidate(const fs::path& file, CCoreCacheLoad& load)
{
    load.file = file;
    load.result = m_toolkit.LoadCoreCache(file);
    if (!load.Loaded())
        load.failed.push_back(file);
}

CCoreCacheLoad CAppContext::LoadCoreCache()
{
    CCoreCacheLoad load;
    for (const fs::path& folder : {m_paths.userFolder, m_paths.programFolder})
        for (const char* name : {kServerFile, kServerBackup}) {
            load.file = folder / name;
            if (!Exists(load.file))
                continue;
            LoadCoreCandidate(load.file, load);
            if (load.Loaded())
                return load;
        }
    return load;
}

CCoreCacheLoad CAppContext::LoadCoreCache(const fs::path& file)
{
    CCoreCacheLoad load;
    LoadCoreCandidate(file, load);
    return load;
}

bool CAppContext::SaveCoreCache(std::string* error)
{
    if (!m_toolkit.GetCoreCache().IsModified())
        return true;
    const fs::path file = UserServerFile();
    if (!platform::EnsureFolder(m_paths.userFolder, 0700, error))
        return false;
    // The copy being replaced stays as the backup that start-up falls back to.
    std::error_code ignored;
    if (Exists(file))
        fs::rename(file, m_paths.userFolder / kServerBackup, ignored);
    if (m_toolkit.SaveCoreCache(file))
        return true;
    if (error)
        *error = "cannot write " + file.string();
    return false;
}

CAppContext::IdentityState CAppContext::LoadIdentity()
{
    std::string uid;
    if (!m_config.ReadUserId(uid))
        return IdentityState::kMissing;
    VTUserId stored;
    try {
        stored.SetBlindedId(uid);
    } catch (const TSException&) {
        return IdentityState::kInvalid;
    }
    m_toolkit.SetUserId(stored);
    return IdentityState::kLoaded;
}

void CAppContext::UseIdentity(const VTUserId& userId)
{
    m_toolkit.SetUserId(userId);
}

bool CAppContext::StoreIdentity(const VTUserId& userId)
{
    if (!m_config.WriteUserId(userId.GetBlindedId()))
        return false;
    m_toolkit.SetUserId(userId);
    return true;
}

std::string CAppContext::BlindedId() const
{
    return m_toolkit.GetUserId().GetBlindedId();
}

fs::path CAppContext::FormatCachePath() const
{
    return m_paths.cacheFolder / (BlindedId() + kFormatCacheFile);
}

fs::path CAppContext::TemplateCachePath() const
{
    return m_paths.cacheFolder / (BlindedId() + kTemplateCacheFile);
}

fs::path CAppContext::StoredCodesPath() const
{
    return m_paths.userFolder / (BlindedId() + kStoredCodesFile);
}

namespace {

std::vector<CCacheProblem> LoadCacheFiles(VTCache& cache, const fs::path& formats, const fs::path& templates)
{
    std::vector<CCacheProblem> problems;
    const std::pair<fs::path, VTCacheFile*> files[] = {{formats, &cache.Formats()},
                                                       {templates, &cache.Templates()}};
    for (const auto& [file, cacheFile] : files) {
        if (!Exists(file))
            continue;
        const std::int32_t result = cacheFile->Load(file);
        if (result == VTCacheFile::kLoaded)
            continue;
        CCacheProblem problem{file, result, {}};
        // A cache that cannot be read is kept aside before a save replaces it.
        if (result == VTCacheFile::kCannotRead || result == VTCacheFile::kInvalid)
            problem.keptAs = platform::KeepAsDamaged(file);
        problems.push_back(std::move(problem));
    }
    return problems;
}

} // namespace

std::vector<CCacheProblem> CAppContext::LoadUserCaches()
{
    return LoadCacheFiles(m_toolkit.GetCache(), FormatCachePath(), TemplateCachePath());
}

void CAppContext::StartLoadingUserCaches()
{
    m_toolkit.LoadCacheInBackground([formats = FormatCachePath(), templates = TemplateCachePath()](
                                        VTCache& cache) { LoadCacheFiles(cache, formats, templates); });
}

bool CAppContext::SaveUserCaches(std::string* error)
{
    VTCache& cache = m_toolkit.GetCache();
    const std::pair<fs::path, VTCacheFile*> files[] = {{FormatCachePath(), &cache.Formats()},
                                                       {TemplateCachePath(), &cache.Templates()}};
    bool saved = true;
    for (const auto& [file, cacheFile] : files) {
        if (!cacheFile->IsModified())
            continue;
        std::string why;
        if (!platform::EnsureFolder(m_paths.cacheFolder, 0700, &why) || !cacheFile->Save(file, &why)) {
            if (error && saved)
                *error = "cannot save " + file.string() + (why.empty() ? "" : ": " + why);
            saved = false;
        }
    }
    return saved;
}

CListLoadResult CAppContext::LoadStoredCodes()
{
    const fs::path file = StoredCodesPath();
    const fs::path earlier = m_paths.userFolder / kStoredCodesFile;
    std::error_code ignored;
    if (!Exists(file) && Exists(earlier))
        fs::rename(earlier, file, ignored);
    if (!Exists(file))
        return {};
    return m_storedCodes.Load(file);
}

bool CAppContext::SaveStoredCodes(std::string* error)
{
    return platform::EnsureFolder(m_paths.userFolder, 0700, error) &&
           m_storedCodes.Save(StoredCodesPath(), error);
}

std::unique_ptr<VTBarcodeScanner> CAppContext::MakeScanner(CScannerType type) const
{
    return MakeScannerDriver(type, m_paths.programFolder);
}
