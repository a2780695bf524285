#include "tst/xml/transcode.h"

#include "tst/xml/xmlexcep.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <cwchar>

namespace {

[[noreturn]] void ConversionError()
{
    throw TSXmlException(TSXmlException::kConversionError);
}

// Widens runs of ASCII eight bytes at a time.
std::size_t CopyAscii(const unsigned char* bytes, std::size_t count, char16_t* out)
{
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes + i, 8);
        if (word & 0x8080808080808080ull)
            break;
        for (std::size_t k = 0; k < 8; ++k)
            out[i + k] = bytes[i + k];
    }
    for (; i < count && bytes[i] < 0x80; ++i)
        out[i] = bytes[i];
    return i;
}

int DigitValue(char16_t c, int radix)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (radix == 16 && c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (radix == 16 && c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

bool DecodeCharacterReference(std::u16string_view text, std::size_t& position, char16_t& character)
{
    std::size_t i = position + 2; // past "&#"
    int radix = 10;
    if (i < text.size() && (text[i] == u'x' || text[i] == u'X')) {
        radix = 16;
        ++i;
    }
    const std::size_t first = i;
    unsigned value = 0;
    for (int digit; i < text.size() && (digit = DigitValue(text[i], radix)) >= 0; ++i)
        value = (value * radix + digit) & 0xFFFF;
    if (i == first || i >= text.size() || text[i] != u';')
        return false;
    character = static_cast<char16_t>(value);
    position = i + 1;
    return true;
}

template <class String> void AppendReference(char16_t character, String& out)
{
    char digits[8];
    int length = 0;
    unsigned value = character;
    do {
        digits[length++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value);
    out.push_back('&');
    out.push_back('#');
    while (length)
        out.push_back(static_cast<typename String::value_type>(digits[--length]));
    out.push_back(';');
}

} // namespace

std::size_t DecodeUtf8(const char*& bytes, const char* end, char16_t* out, std::size_t capacity, bool final)
{
    auto* p = reinterpret_cast<const unsigned char*>(bytes);
    const auto* last = reinterpret_cast<const unsigned char*>(end);
    std::size_t written = 0;
    while (written < capacity && p < last) {
        const std::size_t room = capacity - written;
        const std::size_t run = CopyAscii(p, std::min<std::size_t>(room, last - p), out + written);
        p += run;
        written += run;
        if (written == capacity || p == last)
            break;
        const unsigned lead = *p;
        const std::size_t need = (lead & 0xE0) == 0xC0 ? 2 : lead >= 0xE0 ? 3 : 0;
        if (need == 0)
            ConversionError(); // a continuation byte where a character should start
        if (std::size_t(last - p) < need) {
            if (final)
                ConversionError();
            break;
        }
        if (need == 2)
            out[written++] = static_cast<char16_t>(((lead & 0x1F) << 6) | (p[1] & 0x3F));
        else
            out[written++] =
                static_cast<char16_t>(((lead & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F));
        p += need;
    }
    bytes = reinterpret_cast<const char*>(p);
    return written;
}

std::u16string Utf8ToWide(const char* bytes, std::size_t length)
{
    std::u16string text(length, u'\0');
    const char* end = bytes + length;
    const std::size_t written = DecodeUtf8(bytes, end, text.data(), text.size(), true);
    text.resize(written);
    return text;
}

std::u16string Utf8ToWide(std::string_view bytes)
{
    return Utf8ToWide(bytes.data(), bytes.size());
}

std::u16string Utf8OrLatin1ToWide(std::string_view bytes)
{
    try {
        return Utf8ToWide(bytes);
    } catch (const TSXmlException&) {
        std::u16string latin1;
        latin1.reserve(bytes.size());
        for (const char c : bytes)
            latin1.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
        return latin1;
    }
}

std::string WideToUtf8(const char16_t* text, std::size_t length)
{
    // Sized first, then written without a check per byte.
    std::size_t size = length;
    for (std::size_t i = 0; i < length; ++i)
        size += (text[i] >= 0x80) + (text[i] >= 0x800);
    std::string bytes(size, '\0');
    char* next = bytes.data();
    for (std::size_t i = 0; i < length; ++i) {
        const unsigned c = text[i];
        if (c < 0x80) {
            *next++ = static_cast<char>(c);
        } else if (c < 0x800) {
            *next++ = static_cast<char>(0xC0 | (c >> 6));
            *next++ = static_cast<char>(0x80 | (c & 0x3F));
        } else {
            *next++ = static_cast<char>(0xE0 | (c >> 12));
            *next++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *next++ = static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return bytes;
}

std::string WideToUtf8(std::u16string_view text)
{
    return WideToUtf8(text.data(), text.size());
}

std::string WideToMultibyte(const char16_t* text, std::size_t length)
{
    std::string bytes;
    std::mbstate_t state{};
    char buffer[MB_LEN_MAX];
    for (std::size_t i = 0; i < length; ++i) {
        char32_t c = text[i];
        // A surrogate pair is one character to the C library.
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        const std::size_t count = std::wcrtomb(buffer, static_cast<wchar_t>(c), &state);
        if (count == static_cast<std::size_t>(-1))
            ConversionError();
        bytes.append(buffer, count);
    }
    return bytes;
}

std::string WideToMultibyte(std::u16string_view text)
{
    return WideToMultibyte(text.data(), text.size());
}

bool DecodeEntity(std::u16string_view text, std::size_t& position, char16_t& character)
{
    static constexpr struct {
        std::u16string_view name;
        char16_t character;
    } kPredefined[] = {
        {u"&amp;", u'&'}, {u"&lt;", u'<'}, {u"&gt;", u'>'}, {u"&quot;", u'"'}, {u"&apos;", u'\''}};

    if (position >= text.size() || text[position] != u'&')
        return false;
    const std::u16string_view rest = text.substr(position);
    if (rest.size() > 1 && rest[1] == u'#')
        return DecodeCharacterReference(text, position, character);
    for (const auto& entity : kPredefined) {
        if (rest.starts_with(entity.name)) {
            character = entity.character;
            position += entity.name.size();
            return true;
        }
    }
    return false;
}

namespace {

constexpr bool IsNameStart(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_' || c == u':' || c >= 0x80;
}

constexpr bool IsNameChar(char16_t c)
{
    return IsNameStart(c) || (c >= u'0' && c <= u'9') || c == u'-' || c == u'.';
}

// "&name;" at `amp`, which the caller found none of the predefined
// entities. A bare "&" followed by anything else stays text.
bool IsEntityReference(std::u16string_view text, std::size_t amp)
{
    std::size_t i = amp + 1;
    if (i == text.size() || !IsNameStart(text[i]))
        return false;
    while (i < text.size() && IsNameChar(text[i]))
        ++i;
    return i < text.size() && text[i] == u';';
}

std::size_t Expand(std::u16string_view text, std::u16string& out, bool stopAtUndefined)
{
    std::size_t done = 0;
    for (std::size_t amp = text.find(u'&'); amp != std::u16string_view::npos; amp = text.find(u'&', done)) {
        out.append(text.substr(done, amp - done));
        std::size_t position = amp;
        char16_t character;
        if (DecodeEntity(text, position, character)) {
            out.push_back(character);
            done = position;
            continue;
        }
        if (stopAtUndefined && IsEntityReference(text, amp))
            return amp;
        out.push_back(u'&');
        done = amp + 1;
    }
    out.append(text.substr(done));
    return std::u16string_view::npos;
}

} // namespace

void ExpandEntities(std::u16string_view text, std::u16string& out)
{
    Expand(text, out, false);
}

std::size_t ExpandDefinedEntities(std::u16string_view text, std::u16string& out)
{
    return Expand(text, out, true);
}

std::u16string ExpandEntities(std::u16string_view text)
{
    if (text.find(u'&') == std::u16string_view::npos)
        return std::u16string(text);
    std::u16string out;
    out.reserve(text.size());
    ExpandEntities(text, out);
    return out;
}

void CharacterReference(char16_t character, std::string& out)
{
    AppendReference(character, out);
}

void CharacterReference(char16_t character, std::u16string& out)
{
    AppendReference(character, out);
}

std::string NarrowForMessage(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char16_t c : text) {
        if (c <= 0xFF)
            out.push_back(static_cast<char>(c));
        else
            CharacterReference(c, out);
    }
    return out;
}
