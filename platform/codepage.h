#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The 8-bit texts of the language libraries are Windows-1252; the rest of
// the program speaks UTF-8.
namespace platform {

// Every byte has a meaning; the five unassigned ones become U+FFFD.
std::string Cp1252ToUtf8(std::string_view text);

// Well-formed UTF-8: no stray or missing continuation bytes, no overlong
// forms, no surrogates, nothing above U+10FFFF.
bool IsUtf8(std::string_view text);

// The number of characters of UTF-8 text (bytes that start a character).
std::size_t Utf8Length(std::string_view text);

// Well-formed UTF-8 characters as they are and every other byte read as
// Windows-1252: texts of older programs, even with both in one line.
std::string Utf8OrCp1252(std::string_view text);

} // namespace platform
