#include "tools/cli/cliutf8.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace {

struct Range {
    char32_t first;
    char32_t last;
};

bool InRanges(const Range* begin, const Range* end, char32_t codePoint)
{
    return std::any_of(begin, end,
                       [&](const Range& r) { return codePoint >= r.first && codePoint <= r.last; });
}

constexpr Range kZeroWidth[] = {
    {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x0610, 0x061A},
    {0x064B, 0x065F}, {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF}, {0x200B, 0x200F},
    {0x20D0, 0x20FF}, {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F}, {0xFEFF, 0xFEFF},
};

constexpr Range kWide[] = {
    {0x1100, 0x115F}, {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},
    {0xA000, 0xA4CF}, {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE30, 0xFE4F},   {0xFF00, 0xFF60},
    {0xFFE0, 0xFFE6}, {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF}, {0x20000, 0x3FFFD},
};

} // namespace

Utf8Char DecodeUtf8(std::string_view text, std::size_t i)
{
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80)
        return {lead, 1};
    std::size_t length = 0;
    char32_t min = 0;
    char32_t codePoint = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, min = 0x80, codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, min = 0x800, codePoint = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, min = 0x10000, codePoint = lead & 0x07;
    } else {
        return {};
    }
    if (i + length > text.size())
        return {};
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80)
            return {};
        codePoint = (codePoint << 6) | (next & 0x3F);
    }
    const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
    if (codePoint < min || codePoint > 0x10FFFF || surrogate)
        return {};
    return {codePoint, length};
}

int DisplayColumns(char32_t codePoint)
{
    if (InRanges(std::begin(kZeroWidth), std::end(kZeroWidth), codePoint))
        return 0;
    return InRanges(std::begin(kWide), std::end(kWide), codePoint) ? 2 : 1;
}

std::string CodePointName(char32_t codePoint)
{
    char name[16];
    std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(codePoint));
    return name;
}
