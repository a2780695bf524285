#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Conversions between the parser's 16-bit text and bytes, and the entity
// rules of the parser and formatter. Failures throw TSXmlException code 0.

// UTF-8 as the servers send it: a byte below 0x80 is a character, 110xxxxx
// starts a two-byte sequence, any other byte of 0xE0 or more a three-byte
// one (continuation bytes are taken as they come). A stray continuation
// byte or a sequence cut off by the end fails.
std::u16string Utf8ToWide(const char* bytes, std::size_t length);
std::u16string Utf8ToWide(std::string_view bytes);

// As Utf8ToWide; a text that is not valid UTF-8 is taken byte by byte as
// Latin-1 instead, so this never fails.
std::u16string Utf8OrLatin1ToWide(std::string_view bytes);

// Decodes complete characters from [bytes, end) into `out` (room for
// `capacity`), advancing `bytes`. A sequence cut off by `end` stays
// undecoded unless `final` is set, when it fails.
std::size_t DecodeUtf8(const char*& bytes, const char* end, char16_t* out, std::size_t capacity, bool final);

// One, two or three bytes per character.
std::string WideToUtf8(const char16_t* text, std::size_t length);
std::string WideToUtf8(std::u16string_view text);

// Through the C library's conversion for the current locale.
std::string WideToMultibyte(const char16_t* text, std::size_t length);
std::string WideToMultibyte(std::u16string_view text);

// At text[position] == '&': a predefined entity or a character reference
// ("&#65;", "&#x41;"; values taken modulo 65536). On success the character
// is stored, position moves past the ';' and the result is true.
bool DecodeEntity(std::u16string_view text, std::size_t& position, char16_t& character);

// Replaces every recognised reference; anything else after '&' stays as written.
std::u16string ExpandEntities(std::u16string_view text);
// Appends the expansion of `text` to `out`.
void ExpandEntities(std::u16string_view text, std::u16string& out);
// As ExpandEntities, but stops at the first reference to an entity that is
// not defined ("&name;" naming none of the predefined ones) and returns its
// offset; npos when the whole text was expanded.
std::size_t ExpandDefinedEntities(std::u16string_view text, std::u16string& out);

// Appends "&#<decimal>;".
void CharacterReference(char16_t character, std::string& out);
void CharacterReference(char16_t character, std::u16string& out);

// 8-bit text for messages: characters up to 255 as bytes, others as "&#N;".
std::string NarrowForMessage(std::u16string_view text);
