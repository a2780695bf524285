#include "client/remover.h"

#include "client/config.h"
#include "client/installer.h"
#include "client/langmgr.h"
#include "client/uitextids.h"
#include "platform/folders.h"
#include "platform/instance.h"
#include "platform/registry.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace fs = std::filesystem;
using platform::RegistryRoot;

namespace {

bool Exists(const fs::path& path)
{
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error));
}

} // namespace

CRemover::CRemover(CLanguageMgr& language, CRemoveOptions options)
    : m_language(language), m_options(std::move(options))
{
    if (m_options.program.empty())
        m_options.program = platform::ProgramPath();
    if (m_options.socketPath.empty())
        m_options.socketPath = platform::InstanceSocketPath();
    if (m_options.userHive.empty())
        m_options.userHive = platform::CurrentUserHivePath();
    if (m_options.tempFolder.empty())
        m_options.tempFolder = platform::TempFolder();
}

const CInstDescription& CRemover::Description()
{
    if (!m_description) {
        CInstDescription description;
        description.Load(FindDescriptionFile(Folder(), kModule), kModule);
        m_description = std::move(description);
    }
    return *m_description;
}

void CRemover::CheckRemovable()
{
    const CInstDescription& description = Description();
    if (!description.packageManager.empty())
        throw CSetupError::Message(kStrRemovedByPackageManager, CInstaller::kCodeRights,
                                   {description.packageManager});
    // Only what an installer made is removed: never a build's or another folder.
    if (description.createdFiles.empty())
        throw CSetupError::Message(kStrNotAnInstalledCopy, kCodeNotInstalled);
    if (!CanWriteFolder(Folder()))
        throw CSetupError::Message(kStrNeedAdminToRemove, CInstaller::kCodeRights);
}

void CRemover::SetChoices(bool registryEntries, bool personalSettings)
{
    m_options.registryEntries = registryEntries;
    m_options.personalSettings = personalSettings;
}

std::string CRemover::Remove(CSetupProgress& progress)
{
    CheckRemovable();
    if (!StopRunningClient(m_options.socketPath, progress, m_language.LoadText(kStrStoppingClient),
                           m_options.stopLimit))
        throw CSetupError::Message(kStrCannotStopForRemoval, CInstaller::kCodeStop);
    DeleteFiles();
    DeleteRegistryEntries();
    if (m_options.personalSettings) {
        std::error_code ignored;
        fs::remove_all(platform::UserDataFolder(), ignored);
    }
    std::vector<fs::path> left(m_left.begin(), m_left.end());
    m_script = WriteSelfRemovalScript(m_options.tempFolder, left, m_options.program, Folder());
    if (m_script.empty() || !StartSelfRemovalScript(m_script)) {
        m_script.clear();
        m_left.push_back(m_options.program.string());
    }
    const std::string done = m_language.LoadText(kStrRemoveComplete);
    progress.Step(done);
    return done;
}

void CRemover::RemovePath(const fs::path& path)
{
    std::error_code error;
    const fs::file_status status = fs::symlink_status(path, error);
    if (!fs::exists(status))
        return;
    if (fs::is_directory(status)) {
        // A folder goes only when nothing else was put into it.
        if (!fs::is_empty(path, error) || !fs::remove(path, error))
            m_left.push_back(path.string());
        return;
    }
    if (!fs::remove(path, error))
        m_left.push_back(path.string());
}

void CRemover::DeleteFiles()
{
    const CInstDescription& description = Description();
    for (const std::string& shortcut : description.createdShortcuts)
        RemovePath(shortcut);
    std::vector<fs::path> files, folders;
    const auto add = [&](const fs::path& path, bool directory) {
        (directory ? folders : files).push_back(path.lexically_normal());
    };
    for (const std::string& file : description.createdFiles)
        add(file, fs::is_directory(fs::symlink_status(file)));
    for (const CInstEntry& entry : description.install)
        add(Folder() / entry.destination, entry.directory);
    for (const CInstEntry& entry : description.remove)
        add(Folder() / entry.destination, entry.directory);
    const fs::path program = m_options.program.lexically_normal();
    for (const fs::path& file : files)
        if (file != program)
            RemovePath(file);
    // Deepest first; the program's folder is the script's to remove.
    std::sort(folders.begin(), folders.end(), std::greater<>());
    folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
    for (const fs::path& folder : folders)
        if (folder != Folder().lexically_normal())
            RemovePath(folder);
}

void CRemover::DeleteRegistryEntries()
{
    const fs::path machineHive = platform::LocalMachineHivePath(Folder());
    platform::Registry registry(m_options.userHive, machineHive);
    platform::RegistryHive& machine = registry.Hive(RegistryRoot::LocalMachine);
    machine.DeleteKey(CInstaller::kVersionsKey);
    machine.DeleteKey(CInstaller::kUninstallKey);
    machine.DeleteKey(std::string(CInstaller::kAppPathsKey) + "\\" + CInstaller::kProgramEntry);
    // A machine hive inside the program's folder is the installation's own.
    if (machineHive.parent_path() == Folder()) {
        RemovePath(machineHive);
        RemovePath(machineHive.string() + ".lock");
    }
    ClearLogOnEntry(m_options.userHive, platform::AutostartEntryPath());
    if (m_options.registryEntries)
        registry.Hive(RegistryRoot::CurrentUser).DeleteKey(CClientConfig::kUserKey);
    const auto homes = m_options.otherHomes.value_or(CSetupPlaces::ForFolder(Folder()).otherHomes);
    for (const fs::path& home : homes)
        ClearLogOnEntry(home / ".config" / "lumora" / "user.reg",
                        home / ".config" / "autostart" / "lumora.desktop");
}

void CRemover::ClearLogOnEntry(const fs::path& userHive, const fs::path& autostart)
{
    if (Exists(userHive)) {
        platform::RegistryHive hive(RegistryRoot::CurrentUser, userHive);
        if (hive.KeyExists(CClientConfig::kRunKey) &&
            !hive.DeleteValue(CClientConfig::kRunKey, CClientConfig::kRunValue))
            throw CSetupError::Internal(104, kModule, kLineRunEntry);
    }
    if (::unlink(autostart.c_str()) != 0 && errno != ENOENT)
        throw CSetupError::Internal(104, kModule, kLineRunEntry);
}
