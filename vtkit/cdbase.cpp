#include "vtkit/cdbase.h"

#include "tst/tsexcep.h"
#include "tst/tsstrmap.h"
#include "vtkit/cdanalyze.h"
#include "vtkit/cdformat.h"
#include "vtkit/cdupc.h"
#include "vtkit/cdurlcode.h"
#include "vtkit/vtexcep.h"

VTCodeContents::~VTCodeContents() = default;

void VTCodeContents::SetRawCode(const char* text)
{
    TS_CHECK_NULL(text);
    m_rawCode = text;
}

void VTCodeContents::SetRawServerId(const char* text)
{
    TS_CHECK_NULL(text);
    m_rawServerId = text;
}

void VTCodeContents::SetRawItemId(const char* text)
{
    TS_CHECK_NULL(text);
    m_rawItemId = text;
}

void VTCodeContents::Reset()
{
    *this = VTCodeContents();
}

void VTCodeContents::ExportTo(TSStringMap& map) const
{
    map.Set("TYPE", CodeTypeName(m_codeType, true));
    map.Set("CODETYPE", CodeTypeName(m_codeType, false));
    map.Set("SID", m_serverId);
    map.Set("IID", m_itemId);
    map.Set("CODE", m_code);
    map.Set("SCODE", m_scannedCode);
    map.Set("RCODE", m_rawCode);
    map.Set("RSID", m_rawServerId);
    map.Set("RIID", m_rawItemId);
    map.Set("XID", m_supplemental);
}

VTCodeBase::~VTCodeBase() = default;

void VTCodeBase::Reset()
{
    m_holdsValue = 0;
    m_contents.Reset();
}

void VTCodeBase::SetContents(const char* code, const char* serverId, const char* itemId,
                             const char* supplemental, int holdsValue)
{
    TS_CHECK_NULL(code);
    TS_CHECK_NULL(serverId);
    m_contents.SetRawCode(code);
    const std::string scanned = StripSpacesAndDashes(code);
    if (m_codeType == kCodeUpcE) {
        m_contents.SetScannedCode(scanned);
        std::string expanded;
        if (VTUpcECode::ExpandUpcE(scanned, expanded))
            m_contents.SetCode(expanded);
    } else if (m_codeType == kCodeUrl) {
        // Addresses keep their dashes; only what a server could not take is escaped.
        const std::string escaped = VTUrlCode::Escape(code);
        m_contents.SetScannedCode(escaped);
        m_contents.SetCode(escaped);
    } else {
        m_contents.SetScannedCode(scanned);
        m_contents.SetCode(scanned);
    }
    m_holdsValue = holdsValue;
    m_contents.SetServerId(StripSpacesAndDashes(serverId));
    m_contents.SetRawServerId(serverId);
    if (itemId) {
        m_contents.SetItemId(StripSpacesAndDashes(itemId));
        m_contents.SetRawItemId(itemId);
    }
    if (supplemental)
        m_contents.SetSupplemental(supplemental);
    m_contents.SetCodeType(m_codeType);
}

char RetailCheckDigit(std::string_view digits, std::size_t count, unsigned evenWeight)
{
    TS_ASSERT(digits.size() >= count);
    TS_ASSERT_MSG(IsCodeDigits(digits.substr(0, count)), "non-digit in check digit");
    unsigned even = 0;
    unsigned odd = 0;
    for (std::size_t i = 0; i + 1 < count; i += 2) {
        even += static_cast<unsigned>(digits[i] - '0');
        odd += static_cast<unsigned>(digits[i + 1] - '0');
    }
    if (count % 2 != 0)
        even += static_cast<unsigned>(digits[count - 1] - '0');
    const unsigned sum = even * evenWeight + odd * (evenWeight == 3 ? 1 : 3);
    return static_cast<char>('0' + (10 - sum % 10) % 10);
}

bool SplitRetailAddOn(std::string& code, std::string& supplemental, std::size_t mainLength,
                      bool fiveDigitAddOn)
{
    if (!HasRetailLength(code.size(), mainLength, true, fiveDigitAddOn))
        return false;
    supplemental = code.substr(mainLength);
    code.resize(mainLength);
    return true;
}

void VTCodeBase::DecomposeByFormat(const char* code, const VTCodeFormat& format,
                                   bool (*valid)(std::string_view stripped), const AddOnShape* shape)
{
    TS_CHECK_NULL(code);
    if (!format.Matches(code))
        RaiseInvalidCode("Invalid CodeFormat");
    const std::string text = StripSpacesAndDashes(code);
    if (!valid(text))
        RaiseInvalidCode("ValidlyFormed()");
    if (!shape) {
        SetContents(code, format.CutRoutingId(text).c_str(), format.CutItemId(text).c_str(), nullptr, 1);
        return;
    }
    std::string main = text;
    std::string addOn;
    if (!SplitRetailAddOn(main, addOn, shape->mainLength, shape->fiveDigitAddOn))
        RaiseInvalidCode("RemoveSupplemental failed");
    if (shape->requireIdLengths && format.GetRoutingIdLength() == 0)
        RaiseInvalidCode("Routing ID length");
    if (shape->requireIdLengths && format.GetItemIdLength() == 0)
        RaiseInvalidCode("Item ID length");
    SetContents(main, format.CutRoutingId(text), format.CutItemId(text), addOn.c_str());
}

void VTCodeBase::ConstructWithCheckDigit(const char* serverId, const char* itemId, const char* supplemental,
                                         std::string_view prefix, std::size_t bodyLength, unsigned evenWeight,
                                         const char* itemIdMessage)
{
    TS_CHECK_NULL(serverId);
    TS_CHECK_NULL(itemId);
    if (!IsAllDigits(serverId))
        RaiseInvalidCode("Invalid character(s) in ServerID");
    if (!IsAllDigits(itemId))
        RaiseInvalidCode(itemIdMessage);
    Reset();
    std::string code = std::string(prefix) + serverId + itemId;
    if (code.size() != prefix.size() + bodyLength)
        RaiseInvalidCode("Invalid length");
    code.push_back(RetailCheckDigit(code, code.size(), evenWeight));
    SetContents(code.c_str(), serverId, itemId, supplemental, 1);
}
