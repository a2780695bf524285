#include "tests/xml/xmlcorpus.h"

#include <array>
#include <cstdio>
#include <iterator>
#include <string_view>

namespace {

// splitmix64: small, and the same on every platform.
class Random {
public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t Next()
    {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    unsigned Below(unsigned n) { return static_cast<unsigned>(Next() % n); }
    bool Chance(unsigned percent) { return Below(100) < percent; }
    template <std::size_t N> std::string_view Pick(const std::array<std::string_view, N>& items)
    {
        return items[Below(N)];
    }

private:
    std::uint64_t m_state;
};

constexpr std::array<std::string_view, 12> kAnyNames = {
    "CODE",         "RID", "a",   "b", "item", "x_y", "n-1", "ns:tag", "\xC3\xA9l\xC3\xA9ment",
    "\xE4\xB8\xAD", "_u",  "Z9.k"};
constexpr std::array<std::string_view, 12> kAsciiNames = {"CODE", "RID",    "a",   "b",    "item", "x_y",
                                                          "n-1",  "ns:tag", "LOW", "HIGH", "_u",   "Z9.k"};
constexpr std::array<std::string_view, 8> kTargets = {"pi", "style", "app",       "t1",
                                                      "Go", "x-m-l", "\xC3\xA9t", "z"};
constexpr std::array<std::string_view, 7> kEntities = {"&amp;",  "&lt;",  "&gt;",    "&quot;",
                                                       "&apos;", "&#65;", "&#x4E2D;"};
constexpr std::array<std::string_view, 10> kWords = {
    "hello", "12345", "caf\xC3\xA9", "\xE4\xB8\xAD\xE6\x96\x87", "\xCE\xA9mega", "a-b", "x=y",
    "50%",   "(ok)",  "\xE2\x82\xAC"};

std::string CharacterReference(Random& random)
{
    // Characters XML allows: tab, line feed, carriage return, and the BMP
    // outside the surrogates and U+FFFE/U+FFFF.
    static constexpr unsigned kSpecial[] = {9,    10,     13,     0x20,   0x7F,  0xA0,
                                            0xE9, 0x4E2D, 0xD7FF, 0xE000, 0xFFFD};
    const unsigned value =
        random.Chance(50) ? kSpecial[random.Below(std::size(kSpecial))] : 0x20 + random.Below(0xD000);
    char text[16];
    if (random.Chance(50))
        std::snprintf(text, sizeof text, "&#%u;", value);
    else
        std::snprintf(text, sizeof text, random.Chance(50) ? "&#x%X;" : "&#x%x;", value);
    return text;
}

// Character data: no raw '<', '&' or '>' (the parser's subset), no carriage
// return (XML readers fold line ends).
std::string Text(Random& random, bool allowLineFeeds)
{
    std::string text;
    const unsigned parts = 1 + random.Below(6);
    for (unsigned i = 0; i < parts; ++i) {
        switch (random.Below(6)) {
        case 0:
            text += random.Pick(kEntities);
            break;
        case 1:
            text += CharacterReference(random);
            break;
        case 2:
            text += allowLineFeeds && random.Chance(50) ? "\n" : " ";
            break;
        case 3:
            text += random.Chance(50) ? "'" : "\"";
            break;
        default:
            text += random.Pick(kWords);
            break;
        }
    }
    return text;
}

// Free text for comments, CDATA sections and instructions.
std::string Raw(Random& random)
{
    std::string text;
    const unsigned parts = random.Below(5);
    for (unsigned i = 0; i < parts; ++i) {
        switch (random.Below(5)) {
        case 0:
            text += "<&>";
            break;
        case 1:
            text += " \n";
            break;
        case 2:
            text += "&amp;";
            break;
        default:
            text += random.Pick(kWords);
            break;
        }
    }
    return text;
}

std::string Misc(Random& random)
{
    if (random.Chance(50))
        return "<!--" + Raw(random) + "-->";
    // Instruction data holds neither '<' nor '>' in this subset.
    std::string data = random.Chance(70) ? std::string(random.Pick(kWords)) : "";
    if (random.Chance(30))
        data += " \xC3\xA9 more";
    return "<?" + std::string(random.Pick(kTargets)) + (data.empty() ? "" : " " + data) + "?>";
}

std::string Blank(Random& random)
{
    static constexpr std::array<std::string_view, 4> kBlanks = {"", " ", "\n", "\n    "};
    return std::string(random.Pick(kBlanks));
}

using Names = std::array<std::string_view, 12>;

void Element(Random& random, int depth, const Names& names, std::string& out)
{
    const std::string name(random.Pick(names));
    out += "<" + name;
    const unsigned attributes = random.Below(4);
    unsigned used = 0;
    for (unsigned i = 0; i < attributes; ++i) {
        const unsigned pick = random.Below(names.size());
        if (used & (1u << pick))
            continue; // attribute names must be unique
        used |= 1u << pick;
        const char quote = random.Chance(50) ? '\'' : '"';
        std::string value = Text(random, false);
        for (char& c : value)
            if (c == quote)
                c = '.';
        out += random.Chance(30) ? "\n  " : " ";
        out += std::string(names[pick]) + (random.Chance(20) ? " = " : "=") + quote + value + quote;
    }
    if (depth > 4 || random.Chance(20)) {
        out += random.Chance(50) ? "/>" : "></" + name + ">";
        return;
    }
    out += ">";
    const unsigned children = random.Below(6);
    bool afterCData = false;
    for (unsigned i = 0; i < children; ++i) {
        const unsigned kind = random.Below(6);
        // Readers may join adjacent CDATA sections; keep them apart.
        if (kind == 1 && afterCData)
            continue;
        afterCData = kind == 1;
        switch (kind) {
        case 0:
            out += Text(random, true);
            break;
        case 1:
            out += "<![CDATA[" + Raw(random) + "]]>";
            break;
        case 2:
            out += "<!--" + Raw(random) + "-->";
            break;
        default:
            out += Blank(random);
            Element(random, depth + 1, names, out);
            break;
        }
    }
    out += "</" + name + ">";
}

} // namespace

std::string GenerateDocument(std::uint64_t seed)
{
    Random random(seed);
    const Names& names = random.Chance(50) ? kAsciiNames : kAnyNames;
    std::string out;
    if (random.Chance(50))
        out += random.Chance(50) ? "<?xml version='1.0'?>\n" : "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
    for (unsigned i = random.Below(3); i > 0; --i)
        out += Blank(random) + Misc(random);
    if (random.Chance(20))
        out += "\n<!DOCTYPE " + std::string(random.Pick(names)) + ">";
    for (unsigned i = random.Below(2); i > 0; --i)
        out += Blank(random) + Misc(random);
    out += Blank(random);
    Element(random, 0, names, out);
    for (unsigned i = random.Below(3); i > 0; --i)
        out += Blank(random) + Misc(random);
    return out + Blank(random);
}
