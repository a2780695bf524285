#include "vtkit/cdanalyze.h"

#include "tst/tsexcep.h"
#include "tst/tsstrutl.h"
#include "vtkit/cdean.h"
#include "vtkit/cdformat.h"
#include "vtkit/cdisbn.h"
#include "vtkit/cdnumicode.h"
#include "vtkit/cdupc.h"
#include "vtkit/cdurlcode.h"
#include "vtkit/cdvanity.h"
#include "vtkit/cdvantrel.h"
#include "vtkit/vtexcep.h"

#include <algorithm>
#include <array>
#include <string>
#include <utility>

namespace {

constexpr std::array<std::pair<std::string_view, VTCodeType>, 11> kNames = {{
    {"VANTREL", kCodeVantrel},
    {"UPC", kCodeUpcA},
    {"UPCA", kCodeUpcA},
    {"UPCE", kCodeUpcE},
    {"EAN8", kCodeEan8},
    {"EAN13", kCodeEan13},
    {"ISBN", kCodeIsbn},
    {"BOOKLAND", kCodeBookLand},
    {"VANITY", kCodeVanity},
    {"NUMI", kCodeNumi},
    {"URL", kCodeUrl},
}};

constexpr std::array<const char*, kCodeTypeLast + 1> kTypeNames = {
    "UNKNOWN", "VANTREL", "UPCA", "UPCE", "EAN13", "EAN8", "ISBN", "VANITY", "BOOKLAND", "NUMI", "URL",
};

bool EqualsNoCase(std::string_view text, std::string_view upper)
{
    return text.size() == upper.size() &&
           std::equal(text.begin(), text.end(), upper.begin(), [](char a, char b) {
               return (a >= 'a' && a <= 'z' ? static_cast<char>(a - 'a' + 'A') : a) == b;
           });
}

// The text without blanks and dashes; short texts stay on the stack, and a
// text without any is used as it is.
class StrippedText {
public:
    explicit StrippedText(std::string_view text)
    {
        if (std::none_of(text.begin(), text.end(), [](char c) { return c == ' ' || c == '-'; })) {
            m_view = text;
        } else if (text.size() <= m_small.size()) {
            std::size_t n = 0;
            for (const char c : text)
                if (c != ' ' && c != '-')
                    m_small[n++] = c;
            m_view = std::string_view(m_small.data(), n);
        } else {
            m_large = StripSpacesAndDashes(text);
            m_view = m_large;
        }
    }
    std::string_view View() const { return m_view; }

private:
    std::array<char, 64> m_small;
    std::string m_large;
    std::string_view m_view;
};

constexpr unsigned ScanTypes(std::initializer_list<ScanType> types)
{
    unsigned mask = 0;
    for (const ScanType type : types)
        mask |= 1u << type;
    return mask;
}

bool IsOneOf(ScanType scanType, unsigned mask)
{
    return scanType >= 0 && scanType < 32 && ((mask >> scanType) & 1u) != 0;
}

constexpr unsigned kVantrelScans = ScanTypes({kScanTypeUnknown, kScanTypeCode128});
constexpr unsigned kUpcScans = ScanTypes({kScanTypeUnknown, kScanTypeUPC, kScanTypeUPCOrEAN});
constexpr unsigned kEanScans = ScanTypes({kScanTypeUnknown, kScanTypeEAN, kScanTypeUPCOrEAN});

// Analysis of the retail families and Vantrel codes; returns early where a
// scan of one exact symbology has failed its only test.
void AnalyzeNumeric(std::string_view s, std::vector<VTCodeType>& out, ScanType scanType, bool supp)
{
    if (IsOneOf(scanType, kVantrelScans) && VTVantrelCode::ValidlyFormed(s, false))
        out.push_back(kCodeVantrel);
    if (scanType == kScanTypeUPCA) {
        if (!VTUpcACode::ValidlyFormed(s, false, supp))
            return;
        out.push_back(kCodeUpcA);
    }
    if (scanType == kScanTypeUPCE) {
        if (!VTUpcECode::ValidlyFormed(s, false, supp))
            return;
        out.push_back(kCodeUpcE);
    }
    if (IsOneOf(scanType, kUpcScans)) {
        if (VTUpcACode::ValidlyFormed(s, false, supp))
            out.push_back(kCodeUpcA);
        if (VTUpcECode::ValidlyFormed(s, false, supp))
            out.push_back(kCodeUpcE);
    }
    if (scanType == kScanTypeEAN13) {
        if (VTEan13Code::ValidlyFormed(s, false, supp))
            out.push_back(kCodeEan13);
    } else {
        if (scanType == kScanTypeEAN8) {
            if (VTEan8Code::ValidlyFormed(s, false))
                out.push_back(kCodeEan8);
            return;
        }
        if (!IsOneOf(scanType, kEanScans))
            return;
        if (VTEan8Code::ValidlyFormed(s, false))
            out.push_back(kCodeEan8);
        if (VTEan13Code::ValidlyFormed(s, false, supp))
            out.push_back(kCodeEan13);
    }
    if (VTBookLandCode::ValidlyFormed(s, false, supp))
        out.push_back(kCodeBookLand);
}

} // namespace

VTCodeType CodeTypeFromName(const char* name)
{
    TS_CHECK_NULL(name);
    return CodeTypeFromName(std::string_view(name));
}

VTCodeType CodeTypeFromName(std::string_view name)
{
    for (const auto& [text, type] : kNames)
        if (EqualsNoCase(name, text))
            return type;
    return kCodeUnknown;
}

const char* CodeTypeName(int type, bool mergeUpc)
{
    if (type < 0 || type > kCodeTypeLast)
        TS_INTERNAL_ERROR("code type out of range");
    if (mergeUpc && (type == kCodeUpcA || type == kCodeUpcE))
        return "UPC";
    return kTypeNames[static_cast<std::size_t>(type)];
}

bool RequiresCodeFormat(int type)
{
    return type == kCodeUpcA || type == kCodeEan13 || type == kCodeEan8 || type == kCodeIsbn ||
           type == kCodeBookLand;
}

void AnalyzeCode(const char* text, std::vector<VTCodeType>& candidates, ScanType scanType, bool scanned)
{
    TS_CHECK_NULL(text);
    AnalyzeCode(std::string_view(text), candidates, scanType, scanned);
}

void AnalyzeCode(std::string_view text, std::vector<VTCodeType>& candidates, ScanType scanType, bool scanned)
{
    candidates.clear();
    const StrippedText stripped(text);
    const std::string_view s = stripped.View();
    // Every numeric reading needs digits only; a text of digits only is
    // neither a vanity code (its name would be digits) nor a URL (which
    // begins with a letter). Deciding that once keeps analysis cheap.
    const bool digits = IsCodeDigits(s);
    if (digits)
        AnalyzeNumeric(s, candidates, scanType, scanned);
    if (!scanned) {
        if (VTIsbnCode::ValidlyFormed(s, false))
            candidates.push_back(kCodeIsbn);
        if (digits && VTNumicode::ValidlyFormed(s, false))
            candidates.push_back(kCodeNumi);
    }
    if (digits)
        return;
    if (VTVanityCode::ValidlyFormed(s, false))
        candidates.push_back(kCodeVanity);
    if (VTUrlCode::ValidlyFormed(s))
        candidates.push_back(kCodeUrl);
}

std::unique_ptr<VTCodeBase> CreateCode(int type)
{
    switch (type) {
    case kCodeVantrel:
        return std::make_unique<VTVantrelCode>();
    case kCodeUpcA:
        return std::make_unique<VTUpcACode>();
    case kCodeUpcE:
        return std::make_unique<VTUpcECode>();
    case kCodeEan13:
        return std::make_unique<VTEan13Code>();
    case kCodeEan8:
        return std::make_unique<VTEan8Code>();
    case kCodeIsbn:
        return std::make_unique<VTIsbnCode>();
    case kCodeVanity:
        return std::make_unique<VTVanityCode>();
    case kCodeBookLand:
        return std::make_unique<VTBookLandCode>();
    case kCodeNumi:
        return std::make_unique<VTNumicode>();
    case kCodeUrl:
        return std::make_unique<VTUrlCode>();
    default:
        return nullptr;
    }
}

void DecomposeAs(const char* text, int type, const VTCodeFormat& format, VTCodeContents& contents)
{
    TS_CHECK_NULL(text);
    const auto code = CreateCode(type);
    if (!code)
        return;
    try {
        code->DecomposeCode(text, format);
    } catch (const VTToolkitException&) {
        // Callers only learn that the text is not a code of this type.
        RaiseInvalidCode();
    }
    contents = code->GetContents();
}
