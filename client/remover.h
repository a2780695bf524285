#pragma once

#include "client/instutil.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

class CLanguageMgr;

struct CRemoveOptions {
    // The installed program that removes itself; empty: the running one.
    std::filesystem::path program;
    // The running client's channel; empty: this user's.
    std::filesystem::path socketPath;
    std::chrono::milliseconds stopLimit{5000};
    // The current user's hive; empty: this user's.
    std::filesystem::path userHive;
    // Where the self-removal script goes; empty: the temporary folder.
    std::filesystem::path tempFolder;
    // The choices of the remove dialog: the user key with every setting,
    // and the per-user files (stored codes, caches).
    bool registryEntries = false;
    bool personalSettings = false;
    // The other users whose log-on entries go too; none: every user's
    // when run as root, else nobody else's.
    std::optional<std::vector<std::filesystem::path>> otherHomes;
};

// The remover: reads what the installer created from the installed
// description file, stops a running client, deletes the menu entries,
// link, icons and files, the registry entries and the log-on entries,
// and leaves the program's own file and folder to a script that runs
// after it has ended.
class CRemover {
public:
    static constexpr const char* kModule = "remover";
    static constexpr long kLineRunEntry = 491;
    static constexpr int kCodeNotInstalled = 105;

    CRemover(CLanguageMgr& language, CRemoveOptions options);

    // Finds and reads the description file (throws CSetupError: none or
    // two of them stop everything before anything is deleted).
    const CInstDescription& Description();
    // What stops a removal before anything is deleted: a copy the package
    // manager installed, one no installer made, a folder without write
    // access (throws CSetupError).
    void CheckRemovable();
    // The choices of the remove dialog.
    void SetChoices(bool registryEntries, bool personalSettings);
    // Every step in order; the text to finish with. What could not be
    // deleted is listed in Left().
    std::string Remove(CSetupProgress& progress);
    const std::vector<std::string>& Left() const { return m_left; }
    // The self-removal script that was started, if one was.
    const std::filesystem::path& Script() const { return m_script; }

private:
    void DeleteFiles();
    void DeleteRegistryEntries();
    void ClearLogOnEntry(const std::filesystem::path& userHive, const std::filesystem::path& autostart);
    void RemovePath(const std::filesystem::path& path);
    std::filesystem::path Folder() const { return m_options.program.parent_path(); }

    CLanguageMgr& m_language;
    CRemoveOptions m_options;
    std::optional<CInstDescription> m_description;
    std::vector<std::string> m_left;
    std::filesystem::path m_script;
};
