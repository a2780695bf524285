#pragma once

#include <string>
#include <string_view>

// The 8-bit texts of the language libraries are Windows-1252; the rest of
// the program speaks UTF-8.
namespace platform {

// Every byte has a meaning; the five unassigned ones become U+FFFD.
std::string Cp1252ToUtf8(std::string_view text);

} // namespace platform
