#pragma once

#include "platform/inifile.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class CLanguageMgr;

// Why an installation or removal stopped: a message of the string table
// with its inserts and code, or an internal error of a module and line.
struct CSetupError {
    int textId = 0; // 0: an internal error
    std::vector<std::string> inserts;
    int code = 0;
    int internalNumber = 0;
    std::string module;
    long line = 0;

    static CSetupError Message(int textId, int code, std::vector<std::string> inserts = {});
    static CSetupError Internal(int number, std::string module, long line);
    // The text the user sees, with its "Error Code = " line for a message.
    std::string Text(const CLanguageMgr& language) const;
};

// Each step's text as it begins, and the final word.
class CSetupProgress {
public:
    virtual ~CSetupProgress();
    virtual void Step(const std::string& text) = 0;
};

// Compares dotted versions field by field (at most four): each field is
// the decimal number where the text stands (0 when no digit is there).
// Negative when `a` is lower, positive when higher, 0 when equal.
int CompareVersions(std::string_view a, std::string_view b);

// One entry of a list of the description file: where it comes from in the
// source folder and where it goes in the installed folder. An entry that
// begins with "dir " names a folder.
struct CInstEntry {
    std::string source;
    std::string destination;
    bool directory = false;

    bool operator==(const CInstEntry&) const = default;
};

// The installation description file ("*.inst"): what to install, what
// else to delete on removal, the icons of the menu entries, and, in the
// installed copy, what the installer created there. A copy that the package
// manager installed names it, and then installs and removes nothing itself.
class CInstDescription {
public:
    static constexpr std::size_t kMaxEntryLength = 254;
    static constexpr const char* kSuffix = ".inst";

    // Throws CSetupError: no count for the "Install" list (internal error
    // 108), an entry over 254 characters (110).
    void Load(const std::filesystem::path& file, const std::string& module);
    void Parse(std::string_view text, const std::string& module);
    std::string Text() const;

    std::vector<CInstEntry> install;
    std::vector<CInstEntry> remove;
    std::vector<std::string> createdFiles;
    std::vector<std::string> createdShortcuts;
    std::string appIcon;
    std::string uninstallIcon;
    std::string packageManager;
};

// The one description file of a folder. None is internal error 100, more
// than one 101, both of `module`.
std::filesystem::path FindDescriptionFile(const std::filesystem::path& folder, const std::string& module);

// Where an installation puts its parts. A folder inside the home is the
// user's installation (links, menu entries and icons under the home);
// one elsewhere is the machine's (under /usr/local).
struct CSetupPlaces {
    std::filesystem::path programFolder;
    std::filesystem::path binFolder;
    std::filesystem::path applicationsFolder;
    std::filesystem::path iconsFolder; // the hicolor theme
    // Homes whose log-on entries a removal clears besides the current
    // user's: every user's when run as root.
    std::vector<std::filesystem::path> otherHomes;

    // ~/.local/lib/lumora for a user, /opt/lumora as root.
    static std::filesystem::path DefaultFolder();
    static CSetupPlaces ForFolder(const std::filesystem::path& programFolder);
};

// Write access to the folder, or to the nearest folder above it that exists.
bool CanWriteFolder(const std::filesystem::path& folder);

// The freedesktop menu entry of the program, or of its removal.
std::string MenuEntryText(const std::string& name, const std::filesystem::path& program,
                          const std::string& arguments, const std::string& icon);

// The self-removal script: deletes the files left, loops until the
// program's file is gone, then removes the folder and itself.
std::string SelfRemovalScriptText(const std::vector<std::filesystem::path>& files,
                                  const std::filesystem::path& program, const std::filesystem::path& folder,
                                  const std::filesystem::path& script);
// Writes it as "%slumora%d.sh" in `tempFolder`, the first number whose file
// could be made; empty on failure.
std::filesystem::path WriteSelfRemovalScript(const std::filesystem::path& tempFolder,
                                             const std::vector<std::filesystem::path>& files,
                                             const std::filesystem::path& program,
                                             const std::filesystem::path& folder);
// Starts it detached (own session, lowest priority); false when it could not.
bool StartSelfRemovalScript(const std::filesystem::path& script);

// Asks a running client on `socketPath` to close, and checks every 250 ms
// until it is gone; false when it is still there after `limit`.
bool StopRunningClient(const std::filesystem::path& socketPath, CSetupProgress& progress,
                       const std::string& stoppingText,
                       std::chrono::milliseconds limit = std::chrono::milliseconds(5000));
