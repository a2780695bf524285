#include "client/installer.h"

#include "client/config.h"
#include "client/customization.h"
#include "client/langmgr.h"
#include "client/regkey.h"
#include "client/uitextids.h"
#include "platform/atomicfile.h"
#include "platform/browser.h"
#include "platform/folders.h"
#include "platform/instance.h"

#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using platform::RegistryRoot;
using platform::RegistryValue;

namespace {

constexpr const char* kEarlierSocket = "VantrelClientWindowClass";
constexpr const char* kUserConfigKey = "Software\\Tessaly Technologies\\Lumora\\Config";
constexpr const char* kEarlierConfigKey = "Software\\Tessaly Technologies\\Vantrel\\Config";
constexpr long kLineAppPaths = 310;
constexpr long kLineUninstall = 320;
constexpr long kLineUserSettings = 330;
constexpr long kLineVersion = 340;
constexpr long kLineDescription = 350;

// What the earlier product's settings carry over: the scanner and the proxy.
constexpr const char* kCarriedValues[] = {"Scanner", "UseScanner", "Use Proxy", "ProxyAddr", "ProxyPort"};
constexpr const char* kCarriedKeys[] = {"PenConfig", "CS2000Config", "CS1504Config", "IncaPennyConfig",
                                        "ScannerConfig"};

bool Exists(const fs::path& path)
{
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error));
}

std::string RegistryString(platform::RegistryHive& hive, std::string_view key, std::string_view name)
{
    const auto value = hive.QueryValue(key, name);
    return value && value->Type() == platform::RegistryType::String ? value->AsString() : std::string();
}

// Copies a value or a key with everything in it from one hive to another.
void CopyKey(platform::RegistryHive& from, const std::string& source, platform::RegistryHive& to,
             const std::string& target)
{
    if (!from.KeyExists(source) || !to.CreateKey(target))
        return;
    for (const std::string& name : from.ValueNames(source))
        if (const auto value = from.QueryValue(source, name))
            to.SetValue(target, name, *value);
    for (const std::string& name : from.SubKeyNames(source))
        CopyKey(from, source + "\\" + name, to, target + "\\" + name);
}

// The distributor an installed program's customisation names.
std::string SourceNameOf(const fs::path& program)
{
    return CCustomization(program, platform::SoundPlayer::Command{}).SourceName();
}

} // namespace

std::string ProgramVersion(const fs::path& program)
{
    const auto output = platform::ProgramOutput(program, {"--version"}, std::chrono::milliseconds(3000));
    if (!output)
        return {};
    const std::string line = output->substr(0, output->find('\n'));
    const auto blank = line.rfind(' ');
    const std::string version = blank == std::string::npos ? line : line.substr(blank + 1);
    return !version.empty() && std::isdigit(static_cast<unsigned char>(version.front())) ? version : "";
}

CInstaller::CInstaller(CLanguageMgr& language, CSetupOptions options)
    : m_language(language), m_options(std::move(options))
{
    if (m_options.sourceProgram.empty())
        m_options.sourceProgram = platform::ProgramPath();
    if (m_options.socketPath.empty())
        m_options.socketPath = platform::InstanceSocketPath();
    if (m_options.userHive.empty())
        m_options.userHive = platform::CurrentUserHivePath();
    SetTargetFolder(m_options.folder.value_or(CSetupPlaces::DefaultFolder()));
}

CInstaller::~CInstaller() = default;

const CInstDescription& CInstaller::Description()
{
    if (!m_description) {
        CInstDescription description;
        description.Load(FindDescriptionFile(m_options.sourceProgram.parent_path(), kModule), kModule);
        m_description = std::move(description);
    }
    return *m_description;
}

void CInstaller::SetTargetFolder(fs::path folder)
{
    m_target = fs::absolute(folder).lexically_normal();
    if (m_target.has_filename() == false && m_target.has_parent_path())
        m_target = m_target.parent_path();
    m_registry.reset();
}

platform::Registry& CInstaller::Registry()
{
    if (!m_registry)
        m_registry = std::make_unique<platform::Registry>(m_options.userHive,
                                                          platform::LocalMachineHivePath(m_target));
    return *m_registry;
}

fs::path CInstaller::InstalledProgram() const
{
    return m_target / m_options.sourceProgram.filename();
}

const CInstalledCopy& CInstaller::DetermineKind()
{
    if (m_kindKnown)
        return m_installed;
    m_kindKnown = true;
    platform::RegistryHive& machine = Registry().Hive(RegistryRoot::LocalMachine);
    const std::string appPaths = kAppPathsKey;
    CInstalledCopy copy;
    const std::string earlier = RegistryString(machine, appPaths + "\\" + kEarlierProgramEntry, "");
    const std::string earlierVersion = earlier.empty() ? "" : ProgramVersion(earlier);
    if (!earlierVersion.empty()) {
        copy.program = earlier;
        copy.version = earlierVersion;
        copy.kind = CompareVersions(earlierVersion, "2.5.0.0") < 0 ? CInstallKind::EarlierBefore25
                                                                   : CInstallKind::Earlier25;
        m_installed = copy;
        return m_installed;
    }
    const std::string program = RegistryString(machine, appPaths + "\\" + kProgramEntry, "");
    const std::string version = program.empty() ? "" : ProgramVersion(program);
    if (version.empty())
        return m_installed;
    copy.program = program;
    copy.version = version;
    const int order = CompareVersions(version, m_options.version);
    copy.kind = order < 0 ? CInstallKind::Older : order > 0 ? CInstallKind::Newer : CInstallKind::Identical;
    const std::string ownSource = SourceNameOf(m_options.sourceProgram);
    copy.sourceName = SourceNameOf(copy.program);
    if (copy.kind == CInstallKind::Identical && !ownSource.empty() && ownSource != copy.sourceName)
        copy.kind = CInstallKind::OtherSource;
    platform::RegistryHive& user = Registry().Hive(RegistryRoot::CurrentUser);
    const std::string stored = RegistryString(user, kUserConfigKey, "Language");
    const auto& entries = m_language.Entries();
    if (!stored.empty() && std::none_of(entries.begin(), entries.end(),
                                        [&](const CLanguageEntry& entry) { return entry.code == stored; })) {
        const std::string name = RegistryString(user, kUserConfigKey, "LanguageName");
        copy.missingLanguage = name.empty() ? stored : name;
    }
    // An upgrade goes where the installed copy is.
    const fs::path folder = copy.program.parent_path();
    m_installed = copy;
    if (folder != m_target)
        SetTargetFolder(folder);
    return m_installed;
}

std::vector<std::string> CInstaller::UpgradeTexts() const
{
    const CInstalledCopy& copy = m_installed;
    const std::string& own = m_options.version;
    std::vector<std::string> texts;
    switch (copy.kind) {
    case CInstallKind::None:
        return texts;
    case CInstallKind::EarlierBefore25:
    case CInstallKind::Earlier25:
        texts = {m_language.FormatMessage(kStrInstalledEarlierProduct, {copy.version}),
                 m_language.FormatMessage(kStrWillUpgrade, {own})};
        break;
    case CInstallKind::Older:
        texts = {m_language.FormatMessage(kStrInstalledVersion, {copy.version}),
                 m_language.FormatMessage(kStrWillUpgrade, {own})};
        break;
    case CInstallKind::Identical:
        texts = {m_language.FormatMessage(kStrInstalledVersion, {copy.version}),
                 m_language.LoadText(kStrWillReinstall)};
        break;
    case CInstallKind::OtherSource:
        texts = {
            m_language.FormatMessage(kStrInstalledVersionFrom, {copy.version, copy.sourceName}),
            m_language.FormatMessage(kStrWillReplaceFromSource, {SourceNameOf(m_options.sourceProgram)})};
        break;
    case CInstallKind::Newer:
        texts = {m_language.FormatMessage(kStrInstalledVersion, {copy.version}),
                 m_language.FormatMessage(kStrWillDowngrade, {own})};
        break;
    }
    if (!copy.missingLanguage.empty())
        texts.push_back(m_language.FormatMessage(kStrLanguageNotInUpgrade, {copy.missingLanguage}));
    return texts;
}

void CInstaller::Fail(long line) const
{
    throw CSetupError::Internal(106, kModule, line);
}

void CInstaller::CheckPackaged()
{
    if (!Description().packageManager.empty())
        throw CSetupError::Message(kStrInstalledByPackageManager, kCodeRights,
                                   {Description().packageManager});
}

std::string CInstaller::Install(CSetupProgress& progress)
{
    CheckPackaged();
    DetermineKind();
    if (!CanWriteFolder(m_target))
        throw CSetupError::Message(kStrNeedAdminToInstall, kCodeRights);
    StopClient(progress);
    if (m_installed.IsEarlierProduct())
        RemoveEarlierProduct(progress);
    CInstDescription installed = Description();
    installed.createdFiles.clear();
    installed.createdShortcuts.clear();
    progress.Step(m_language.LoadText(kStrCopyingFiles));
    CopyFiles(installed);
    progress.Step(m_language.LoadText(kStrMakingRegistryEntries));
    WriteRegistry();
    progress.Step(m_language.LoadText(kStrCreatingShortcuts));
    MakeShortcuts(installed);
    // The remover undoes exactly what the installed description lists.
    const fs::path description =
        m_target / FindDescriptionFile(m_options.sourceProgram.parent_path(), kModule).filename();
    installed.createdFiles.push_back(description.string());
    if (!platform::WriteFileAtomically(description, installed.Text(), 0644))
        Fail(kLineDescription);
    const bool upgrade = m_installed.IsUpgrade();
    const std::string done = m_language.LoadText(upgrade ? kStrUpgradeComplete : kStrInstallComplete);
    progress.Step(done);
    return done;
}

void CInstaller::StopClient(CSetupProgress& progress)
{
    const fs::path socket = m_installed.IsEarlierProduct()
                                ? m_options.socketPath.parent_path() / kEarlierSocket
                                : m_options.socketPath;
    if (!StopRunningClient(socket, progress, m_language.LoadText(kStrStoppingClient), m_options.stopLimit))
        throw CSetupError::Message(kStrCannotStopForInstall, kCodeStop);
}

void CInstaller::RemoveEarlierProduct(CSetupProgress& progress)
{
    progress.Step(m_language.LoadText(kStrRemovingOldFiles));
    const CSetupPlaces places = CSetupPlaces::ForFolder(m_installed.program.parent_path());
    std::error_code ignored;
    fs::remove(m_installed.program, ignored);
    fs::remove(places.applicationsFolder / kEarlierMenuEntry, ignored);
    Registry()
        .Hive(RegistryRoot::LocalMachine)
        .DeleteKey(std::string(kAppPathsKey) + "\\" + kEarlierProgramEntry);
    CarryOverEarlierSettings();
}

void CInstaller::CarryOverEarlierSettings()
{
    platform::RegistryHive& user = Registry().Hive(RegistryRoot::CurrentUser);
    if (!user.KeyExists(kEarlierConfigKey) || !user.CreateKey(kUserConfigKey))
        return;
    for (const char* name : kCarriedValues)
        if (const auto value = user.QueryValue(kEarlierConfigKey, name))
            user.SetValue(kUserConfigKey, name, *value);
    for (const char* key : kCarriedKeys)
        CopyKey(user, std::string(kEarlierConfigKey) + "\\" + key, user,
                std::string(kUserConfigKey) + "\\" + key);
}

void CInstaller::MakeFolder(const fs::path& folder, CInstDescription& installed)
{
    std::error_code error;
    if (fs::is_directory(folder, error))
        return;
    if (Exists(folder))
        throw CSetupError::Message(kStrCannotCreateFolder, kCodeFolder, {folder.string()});
    MakeFolder(folder.parent_path(), installed);
    if (!fs::create_directory(folder, error) && !fs::is_directory(folder))
        throw CSetupError::Message(kStrCannotCreateFolder, kCodeFolder, {folder.string()});
    ::chmod(folder.c_str(), 0755);
    // Folders above the installation's own may hold other things later.
    const auto relative = folder.lexically_relative(m_target);
    if (!relative.empty() && *relative.begin() != "..")
        installed.createdFiles.push_back(folder.string());
}

void CInstaller::CopyFiles(CInstDescription& installed)
{
    MakeFolder(m_target, installed);
    for (const CInstEntry& entry : Description().install)
        CopyOne(entry, installed);
}

void CInstaller::CopyOne(const CInstEntry& entry, CInstDescription& installed)
{
    const fs::path destination = (m_target / entry.destination).lexically_normal();
    if (entry.directory) {
        MakeFolder(destination, installed);
        return;
    }
    MakeFolder(destination.parent_path(), installed);
    const fs::path source = m_options.sourceProgram.parent_path() / entry.source;
    std::error_code error;
    if (fs::is_directory(destination, error))
        throw CSetupError::Message(kStrFolderInTheWay, kCodeCopy, {destination.string()});
    struct stat existing {};
    if (::lstat(destination.c_str(), &existing) == 0 && (existing.st_mode & 0222) == 0)
        throw CSetupError::Message(kStrFileReadOnly, kCodeCopy, {destination.string()});
    // Installing from the installed folder itself leaves the file as it is.
    if (fs::equivalent(source, destination, error)) {
        installed.createdFiles.push_back(destination.string());
        return;
    }
    std::string bytes;
    struct stat from {};
    if (::stat(source.c_str(), &from) != 0 || !platform::ReadWholeFile(source, bytes, 1u << 30) ||
        !platform::WriteFileAtomically(destination, bytes, (from.st_mode & 0111) ? 0755 : 0644))
        throw CSetupError::Message(kStrErrorCopyingFile, kCodeCopy, {destination.string()});
    installed.createdFiles.push_back(destination.string());
}

void CInstaller::WriteRegistry()
{
    platform::RegistryHive& machine = Registry().Hive(RegistryRoot::LocalMachine);
    const fs::path program = InstalledProgram();
    const std::string appPaths = std::string(kAppPathsKey) + "\\" + kProgramEntry;
    if (!machine.CreateKey(appPaths) ||
        !machine.SetValue(appPaths, "", RegistryValue::String(program.string())) ||
        !machine.SetValue(appPaths, "PATH", RegistryValue::String(m_target.string())))
        Fail(kLineAppPaths);
    const std::string version =
        m_options.version.empty() ? m_language.LoadText(kStrUnknown) : m_options.version;
    const std::string display = m_language.FormatMessage(kStrUninstallDisplayName, {version});
    if (!machine.CreateKey(kUninstallKey) ||
        !machine.SetValue(kUninstallKey, "DisplayName", RegistryValue::String(display)) ||
        !machine.SetValue(kUninstallKey, "UninstallString",
                          RegistryValue::String("\"" + program.string() + "\" -remove")))
        Fail(kLineUninstall);
    WriteUserSettings();
    const std::string versionKey = std::string(kVersionsKey) + "\\" + version;
    if (!machine.CreateKey(versionKey) ||
        !machine.SetValue(versionKey, "", RegistryValue::String(program.string())))
        Fail(kLineVersion);
}

void CInstaller::WriteUserSettings()
{
    platform::RegistryHive& user = Registry().Hive(RegistryRoot::CurrentUser);
    CRegistryKey config;
    if (!config.Create(user, kUserConfigKey))
        Fail(kLineUserSettings);
    // The settings wizard runs at the next start of a new installation.
    const bool fresh = m_installed.kind == CInstallKind::None || m_installed.IsEarlierProduct();
    const CLanguageEntry& language = m_language.Current();
    if ((fresh && !config.WriteNumber("Installing", 1)) || !config.WriteString("Language", language.code) ||
        !config.WriteString("LanguageName", language.text))
        Fail(kLineUserSettings);
}

void CInstaller::MakeShortcuts(CInstDescription& installed)
{
    const CSetupPlaces places = CSetupPlaces::ForFolder(m_target);
    const fs::path program = InstalledProgram();
    std::string appIcon = "lumora", uninstallIcon = "lumora-uninstall";
    InstallIcon(Description().appIcon, appIcon, installed);
    InstallIcon(Description().uninstallIcon, uninstallIcon, installed);
    std::error_code error;
    if (!platform::EnsureFolder(places.applicationsFolder, 0755))
        throw CSetupError::Message(kStrCannotCreateFolder, kCodeFolder, {places.applicationsFolder.string()});
    WriteShortcut(places.applicationsFolder / kMenuEntry,
                  MenuEntryText(m_language.LoadText(kStrProgramShortcut), program, "", appIcon), installed);
    WriteShortcut(
        places.applicationsFolder / kUninstallMenuEntry,
        MenuEntryText(m_language.LoadText(kStrUninstallShortcut), program, "-remove", uninstallIcon),
        installed);
    // The program on the search path, unless something else has the name.
    const fs::path link = places.binFolder / program.filename();
    if (fs::is_symlink(link, error))
        fs::remove(link, error);
    if (!Exists(link)) {
        if (!platform::EnsureFolder(places.binFolder, 0755))
            throw CSetupError::Message(kStrCannotCreateFolder, kCodeFolder, {places.binFolder.string()});
        fs::create_symlink(program, link, error);
        if (error)
            throw CSetupError::Message(kStrCannotCreateShortcut, kCodeCopy);
        installed.createdShortcuts.push_back(link.string());
    }
}

void CInstaller::InstallIcon(const std::string& file, const std::string& name, CInstDescription& installed)
{
    if (file.empty())
        return;
    const CSetupPlaces places = CSetupPlaces::ForFolder(m_target);
    const fs::path source = m_options.sourceProgram.parent_path() / file;
    const fs::path folder = places.iconsFolder / "scalable" / "apps";
    std::string bytes;
    if (!platform::ReadWholeFile(source, bytes, 1u << 20))
        throw CSetupError::Message(kStrErrorCopyingFile, kCodeCopy, {source.string()});
    if (!platform::EnsureFolder(folder, 0755))
        throw CSetupError::Message(kStrCannotCreateFolder, kCodeFolder, {folder.string()});
    WriteShortcut(folder / (name + source.extension().string()), bytes, installed);
}

void CInstaller::WriteShortcut(const fs::path& path, const std::string& text, CInstDescription& installed)
{
    if (text.empty() || !platform::WriteFileAtomically(path, text, 0644))
        throw CSetupError::Message(kStrCannotCreateShortcut, kCodeCopy);
    installed.createdShortcuts.push_back(path.string());
}
