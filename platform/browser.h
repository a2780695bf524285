#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The desktop's default web browser, found as the desktop itself finds it:
// the default handler's desktop entry, the program its Exec line starts,
// and that program's own word on its version.
namespace platform {

enum BrowserClass : int { kBrowserNone = 0, kBrowserOlder = 1, kBrowserSupported = 2, kBrowserUntested = 3 };

struct BrowserInfo {
    std::string desktopId;             // "firefox.desktop"
    std::filesystem::path desktopFile; // where that entry was found
    std::string programName;           // the file name of the program, "firefox"
    std::filesystem::path programPath;
    std::string versionText = "UNKNOWN"; // "115.3"
    int compatibility = kBrowserNone;
};

// What a short helper program wrote on its standard output; none when it
// could not be started, did not exit 0, or ran longer than `timeout` (it
// is then killed).
std::optional<std::string> ProgramOutput(const std::filesystem::path& program,
                                         const std::vector<std::string>& args,
                                         std::chrono::milliseconds timeout);

// `xdg-settings get default-web-browser`, else `xdg-mime query default
// text/html`: the desktop entry's id, empty when neither names one.
std::string DefaultBrowserDesktopId();
// The entry in the applications folders of $XDG_DATA_HOME, then of
// $XDG_DATA_DIRS ("/usr/local/share:/usr/share" unset); a "-" in the id
// also stands for a subfolder. Empty when none holds it.
std::filesystem::path FindDesktopFile(std::string_view desktopId);
// The program of the entry's Exec line (quotes undone, an "env" prefix
// with its assignments skipped); empty when the entry has none.
std::string DesktopExecProgram(const std::filesystem::path& desktopFile);
// "major.minor" of the first version number in a program's version line,
// empty when there is none.
std::string VersionFromLine(std::string_view line);
// Firefox, Chromium, Google Chrome, Edge, Brave, Vivaldi, Opera, Epiphany
// and Konqueror, by the program's file name.
bool IsSupportedBrowser(std::string_view programName);

// The whole detection; class 0 when no entry, no program or no program
// file is found, 2 for a supported browser, 3 for any other program.
BrowserInfo DetectDefaultBrowser();

} // namespace platform
