#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// One character of a UTF-8 text: its code point and its length in bytes;
// length 0 when the bytes at that place are not valid UTF-8.
struct Utf8Char {
    char32_t codePoint = 0;
    std::size_t length = 0;
};

// The character at text[i] (which must be inside the text).
Utf8Char DecodeUtf8(std::string_view text, std::size_t i);

// Columns a character takes on a terminal: 0 for combining marks, 2 for
// wide East Asian characters and emoji, else 1.
int DisplayColumns(char32_t codePoint);

// "U+00E9".
std::string CodePointName(char32_t codePoint);
