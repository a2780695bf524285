#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The fields of the cache file entries, 8-bit and with their entities
// expanded, as the document has them; a field the entry lacks is empty.
struct VTFormatFields {
    std::string type;
    std::string low;
    std::string high;
    std::string ridStart;
    std::string ridLength;
    std::string iidStart;
    std::string iidLength;
    std::string canonical;
    std::string expire;
};

struct VTTemplateFields {
    std::string command;
    std::string text;
    std::string cacheDate;
};

struct VTRoutingKeyFields {
    std::string type;
    std::string rid;
    std::string cacheDate;
    std::string name;
    std::vector<VTTemplateFields> templates;
};

// Reads a cache file without the XML parser when it is exactly in the form
// this program writes it (FormatCodeFormats, FormatServerTemplates): the
// fields the parser would give, entry by entry. False as soon as the
// text differs from that form in any way; what was handed out is then to
// be dropped, and the parser reads the text.
bool ScanCodeFormatText(std::string_view text, const std::function<void(const VTFormatFields&)>& take);
bool ScanServerTemplateText(std::string_view text,
                            const std::function<void(const VTRoutingKeyFields&)>& take);
