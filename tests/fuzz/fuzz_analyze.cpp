// Arbitrary text through AnalyzeCode, then every candidate through
// DecomposeAs, and one type chosen by the input through DecomposeAs and
// ConstructCode with a format and IDs made of the input.
// Input: scan type byte, flags byte (bit 0 scanned, the rest the type to
// try), four format bytes, then the text (up to its first NUL, as the code
// classes take C strings).
#include "vtkit/cdanalyze.h"
#include "vtkit/cdformat.h"
#include "vtkit/cdvantrel.h"
#include "vtkit/vtexcep.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

// Analysis and decomposition must agree: a candidate always decomposes.
void CheckCandidates(const std::string& text, const std::vector<VTCodeType>& candidates)
{
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const VTCodeType type = candidates[i];
        if (type < 1 || type > kCodeTypeLast || std::count(candidates.begin(), candidates.end(), type) != 1)
            __builtin_trap();
        VTCodeFormat format;
        format.SetCodeType(type);
        if (type == kCodeUpcA) { // UPC-A wants IDs of some length
            format.SetRoutingId(0, 1);
            format.SetItemId(1, 1);
        }
        VTCodeContents contents;
        try {
            DecomposeAs(text.c_str(), type, format, contents);
            format.FormatForDisplay(text.c_str());
        } catch (const VTToolkitException&) {
            __builtin_trap();
        }
        if (contents.GetCodeType() != type)
            __builtin_trap();
    }
}

// Whatever a format or IDs hold, only the toolkit's own rejection may come out.
void TryType(int type, const std::string& text, VTCodeFormat format)
{
    format.SetCodeType(static_cast<VTCodeType>(std::min(std::max(type, 0), kCodeTypeLast)));
    VTCodeContents contents;
    try {
        DecomposeAs(text.c_str(), type, format, contents);
        format.FormatForDisplay(contents.GetCode().c_str());
    } catch (const VTToolkitException&) {
    }
    const auto code = CreateCode(type);
    if (!code)
        return;
    const std::size_t cut = text.size() / 2;
    try {
        code->ConstructCode(text.substr(0, cut).c_str(), text.substr(cut).c_str(), nullptr);
    } catch (const VTToolkitException&) {
    }
}

void CheckVantrel(const std::string& stripped)
{
    std::string serverId;
    std::string itemId;
    if (!VTVantrelCode::DecodeVantrel(stripped, serverId, itemId))
        return;
    std::string again;
    if (!VTVantrelCode::EncodeVantrel(serverId, itemId, again) || again != stripped)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 6)
        return 0;
    const auto scanType = static_cast<ScanType>(data[0] % 11 - 1);
    const bool scanned = data[1] & 1;
    VTCodeFormat shape;
    shape.SetRoutingId(static_cast<std::int8_t>(data[2]), static_cast<std::int8_t>(data[3]));
    shape.SetItemId(static_cast<std::int8_t>(data[4]), static_cast<std::int8_t>(data[5]));
    std::string text(reinterpret_cast<const char*>(data + 6), size - 6);
    text.resize(std::min(text.size(), text.find('\0')));

    std::vector<VTCodeType> candidates;
    AnalyzeCode(text, candidates, scanType, scanned);
    CheckCandidates(text, candidates);
    TryType(data[1] / 2 % (kCodeTypeLast + 2), text, shape);
    CheckVantrel(StripSpacesAndDashes(text));
    return 0;
}
