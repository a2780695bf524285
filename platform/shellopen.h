#pragma once

#include <filesystem>
#include <string>

// Opening an address with the desktop's default program.
namespace platform {

// The program that opens addresses.
inline constexpr const char* kShellOpenProgram = "xdg-open";

// The first executable of that name along PATH; empty when there is none.
std::filesystem::path FindOnPath(const std::string& name);

// Starts `xdg-open ADDRESS` detached from this process (its own session,
// never left as a zombie, none of this process's descriptors or blocked
// signals), the address its one argument. True once the program runs;
// false when it is not on PATH or cannot be started. The program's own
// verdict is not waited for.
bool ShellOpen(const std::string& address);

} // namespace platform
