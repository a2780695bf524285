#pragma once

#include "client/instutil.h"
#include "platform/registry.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CLanguageMgr;

// What an installation finds already installed.
enum class CInstallKind {
    None,
    EarlierBefore25, // the earlier product, older than 2.5
    Earlier25,       // the earlier product, 2.5 or later
    Older,
    Identical,
    Newer,
    OtherSource, // the same version from another distributor
};

struct CInstalledCopy {
    CInstallKind kind = CInstallKind::None;
    std::filesystem::path program;
    std::string version;
    std::string sourceName;
    // The stored language, when this installer does not carry it.
    std::string missingLanguage;

    bool IsUpgrade() const { return kind != CInstallKind::None; }
    bool IsEarlierProduct() const
    {
        return kind == CInstallKind::EarlierBefore25 || kind == CInstallKind::Earlier25;
    }
};

struct CSetupOptions {
    // The installation source: the running program and its folder.
    std::filesystem::path sourceProgram;
    // This installer's version.
    std::string version;
    // The folder chosen; none: the installed copy's, else the default.
    std::optional<std::filesystem::path> folder;
    // The running client's channel; empty: this user's.
    std::filesystem::path socketPath;
    std::chrono::milliseconds stopLimit{5000};
    // The current user's hive; empty: this user's.
    std::filesystem::path userHive;
};

// The installer: finds what is installed, then copies the files of the
// description file, writes the registry entries and makes the menu
// entries, link and icons, recording in the installed description file
// what it created. Every failure is a CSetupError; nothing is rolled back.
class CInstaller {
public:
    static constexpr const char* kModule = "installer";
    static constexpr const char* kAppPathsKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";
    static constexpr const char* kProgramEntry = "Lumora.exe";
    static constexpr const char* kEarlierProgramEntry = "VANTREL.EXE";
    static constexpr const char* kUninstallKey =
        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Lumora PC Software";
    static constexpr const char* kVersionsKey = "Software\\Tessaly Technologies\\Lumora PC Software";
    static constexpr const char* kEarlierUserKey = "Software\\Tessaly Technologies\\Vantrel";
    static constexpr const char* kMenuEntry = "lumora.desktop";
    static constexpr const char* kUninstallMenuEntry = "lumora-uninstall.desktop";
    static constexpr const char* kEarlierMenuEntry = "vantrel.desktop";
    static constexpr int kCodeRights = 107;
    static constexpr int kCodeFolder = 102;
    static constexpr int kCodeCopy = 103;
    static constexpr int kCodeStop = 702;

    CInstaller(CLanguageMgr& language, CSetupOptions options);
    ~CInstaller();

    // Reads the description file beside the program (throws CSetupError).
    const CInstDescription& Description();
    // What is installed where the installation goes; fixes the folder of
    // an upgrade to the installed copy's.
    const CInstalledCopy& DetermineKind();
    // The upgrade page's texts: what is installed, what will happen, and
    // the language that is not carried over, when there is one.
    std::vector<std::string> UpgradeTexts() const;

    const std::filesystem::path& TargetFolder() const { return m_target; }
    void SetTargetFolder(std::filesystem::path folder);

    // A copy the package manager installed is left to it (throws CSetupError).
    void CheckPackaged();
    // Every step in order; the text to finish with.
    std::string Install(CSetupProgress& progress);

private:
    platform::Registry& Registry();
    void StopClient(CSetupProgress& progress);
    void RemoveEarlierProduct(CSetupProgress& progress);
    void CopyFiles(CInstDescription& installed);
    void CopyOne(const CInstEntry& entry, CInstDescription& installed);
    void MakeFolder(const std::filesystem::path& folder, CInstDescription& installed);
    void WriteRegistry();
    void WriteUserSettings();
    void CarryOverEarlierSettings();
    void MakeShortcuts(CInstDescription& installed);
    void InstallIcon(const std::string& file, const std::string& name, CInstDescription& installed);
    void WriteShortcut(const std::filesystem::path& path, const std::string& text,
                       CInstDescription& installed);
    std::filesystem::path InstalledProgram() const;
    [[noreturn]] void Fail(long line) const;

    CLanguageMgr& m_language;
    CSetupOptions m_options;
    std::optional<CInstDescription> m_description;
    CInstalledCopy m_installed;
    bool m_kindKnown = false;
    std::filesystem::path m_target;
    std::unique_ptr<platform::Registry> m_registry;
};

// "lumora 1.2.3" as `program --version` prints it: the version, empty
// when the program gives none.
std::string ProgramVersion(const std::filesystem::path& program);
