#pragma once

#include <string>
#include <string_view>

// String helpers with exact rules, on 8-bit text.

// A copy without any blank (0x20) or '-'. A null text raises the null-pointer
// internal error.
std::string StripSpacesAndDashes(const char* text);
std::string StripSpacesAndDashes(std::string_view text);

// "0042" -> "42", "000" -> "0"; a text not starting with '0' is unchanged.
std::string StripLeadingZeros(std::string_view text);

// True for a non-null, non-empty text of decimal digits only.
bool IsAllDigits(const char* text);
bool IsAllDigits(std::string_view text);

// The value of the first `length` characters as a decimal number. A
// non-digit among them raises an assertion; a null text the null-pointer
// error. Values beyond the range of long wrap.
long ParseDecimal(const char* text, int length);

std::string FormatUnsigned(unsigned long value);

// & > < " ' become entities; other unprintable bytes become "&#NNN;".
// Returns true when the text was changed.
bool XmlEscape(std::string& text);

// Blank -> '+'; letters, digits, '.', '/', '_' kept; others "%XX".
// Returns true when the text was changed.
bool UrlEncode(std::string& text);

// Control characters written out as a terminal user reads them: "\e",
// "\a", "\r", "\n" and the like, "\x1f" for the others of 0x00 to 0x1F and
// 0x7F, "\x85" for those of U+0080 to U+009F, "\u2028" and "\u2029" for the
// line and paragraph separators. A text from a server can then be shown as
// it is without moving a cursor, ringing, clearing or breaking a line, in
// any font. Everything else of the UTF-8 text stays as it is.
std::string ShowControlCharacters(std::string_view text);

// Printable in the C locale (0x20 to 0x7E).
constexpr bool IsPrintableAscii(unsigned char c)
{
    return c >= 0x20 && c <= 0x7E;
}

constexpr bool IsDecimalDigit(char c)
{
    return c >= '0' && c <= '9';
}
