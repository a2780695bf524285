#pragma once

#include <string>
#include <vector>

// What the command line asks the process to be.
enum class CStartMode { Normal = 0, AutoRun = 1, Install = 2, Remove = 3 };

// The switches "-autorun", "-install" and "-remove" (or with "/"), in any
// case, the last one winning; other arguments are ignored. `arguments`
// leaves out the program name.
CStartMode ParseStartMode(const std::vector<std::string>& arguments);

// The name of a switch ("-Install" or "/install" gives "install"),
// lower-cased; empty for an argument that is no switch.
std::string SwitchName(const std::string& argument);

// The switch as the user would type it ("-install"), for messages.
const char* StartModeSwitch(CStartMode mode);
