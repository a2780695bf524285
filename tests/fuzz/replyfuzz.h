#pragma once

// What the reply fuzzers share: turning arbitrary bytes into a document
// as the exchanges do, and splitting off the request a reply answers.
#include "tst/tsexcep.h"
#include "tst/xml/dom/domnode.h"
#include "vtkit/cddescrip.h"
#include "vtkit/vtparsers.h"

#include <optional>
#include <string>
#include <string_view>

// The parsed document, or nothing when the bytes are not XML.
inline std::optional<TSDomDocument> ParseReply(std::string_view bytes)
{
    try {
        return ParseDocument(bytes);
    } catch (const TSException&) {
        return std::nullopt;
    }
}

// The first line names the item IDs that were asked for, comma-separated;
// the rest is the reply.
inline VTCodeDescriptionList SplitRequest(std::string_view& bytes)
{
    const auto end = bytes.find('\n');
    std::string_view ids = bytes.substr(0, end);
    bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
    VTCodeDescriptionList request;
    while (!ids.empty()) {
        const auto comma = ids.find(',');
        request.Add(VTCodeDescription(ids.substr(0, comma)));
        ids.remove_prefix(comma == std::string_view::npos ? ids.size() : comma + 1);
    }
    return request;
}
