#pragma once

#include <filesystem>
#include <string_view>

// Where the program and its users' files live.
namespace platform {

// The running executable and its folder.
std::filesystem::path ProgramPath();
std::filesystem::path ProgramFolder();

// $HOME, or the password database's home when it is unset.
std::filesystem::path HomeFolder();

// The XDG base folders; a variable that is unset, empty or relative falls
// back to its documented default under the home folder.
std::filesystem::path XdgConfigHome();
std::filesystem::path XdgDataHome();
// $XDG_RUNTIME_DIR, or an empty path when the session has none.
std::filesystem::path XdgRuntimeDir();
std::filesystem::path TempFolder();

// Per-user files (stored codes, caches, generated pages, the user's own
// Server.dat): always $XDG_DATA_HOME/lumora, whatever the program folder
// allows, since that holds only what ships and is never written.
std::filesystem::path UserDataFolder();

// The registry hives: the current user's under $XDG_CONFIG_HOME/lumora; the
// machine's beside the program, or under $XDG_DATA_HOME/lumora when the
// program is installed inside the user's home.
std::filesystem::path CurrentUserHivePath();
std::filesystem::path LocalMachineHivePath(const std::filesystem::path& programFolder = ProgramFolder());

// Whether a file name ends in `suffix` (".so", ".cust"), compared without
// regard to ASCII case as the names of program files were on their first platform.
bool NameHasSuffix(std::string_view name, std::string_view suffix);

// The autostart entry that starts the client at log-on.
std::filesystem::path AutostartEntryPath();

} // namespace platform
