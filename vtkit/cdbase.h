#pragma once

#include "tst/tsstrutl.h"

#include <cstddef>
#include <string>
#include <string_view>

class TSStringMap;
class VTCodeFormat;

// The code types. The numbers are stored in caches and batch lists, so they
// never change (EAN-13 is 4 and EAN-8 is 5).
enum VTCodeType : int {
    kCodeUnknown = 0,
    kCodeVantrel = 1,
    kCodeUpcA = 2,
    kCodeUpcE = 3,
    kCodeEan13 = 4,
    kCodeEan8 = 5,
    kCodeIsbn = 6,
    kCodeVanity = 7,
    kCodeBookLand = 8,
    kCodeNumi = 9,
    kCodeUrl = 10,
};
constexpr int kCodeTypeLast = kCodeUrl;

// The parts of one recognised code: what the rest of the system stores,
// caches, sends to servers and shows.
class VTCodeContents {
public:
    VTCodeContents() = default;
    VTCodeContents(const VTCodeContents&) = default;
    VTCodeContents& operator=(const VTCodeContents&) = default;
    VTCodeContents(VTCodeContents&&) noexcept = default;
    VTCodeContents& operator=(VTCodeContents&&) = default;
    virtual ~VTCodeContents();

    const std::string& GetScannedCode() const { return m_scannedCode; }
    const std::string& GetRawCode() const { return m_rawCode; }
    const std::string& GetCode() const { return m_code; }
    const std::string& GetServerId() const { return m_serverId; }
    const std::string& GetRawServerId() const { return m_rawServerId; }
    const std::string& GetItemId() const { return m_itemId; }
    const std::string& GetRawItemId() const { return m_rawItemId; }
    const std::string& GetSupplemental() const { return m_supplemental; }
    VTCodeType GetCodeType() const { return m_codeType; }

    void SetScannedCode(std::string_view text) { m_scannedCode = text; }
    // The raw setters reject a null text with the null-pointer error.
    void SetRawCode(const char* text);
    void SetRawCode(std::string_view text) { m_rawCode = text; }
    void SetCode(std::string_view text) { m_code = text; }
    void SetServerId(std::string_view text) { m_serverId = text; }
    void SetRawServerId(const char* text);
    void SetRawServerId(std::string_view text) { m_rawServerId = text; }
    void SetItemId(std::string_view text) { m_itemId = text; }
    void SetRawItemId(const char* text);
    void SetRawItemId(std::string_view text) { m_rawItemId = text; }
    void SetSupplemental(std::string_view text) { m_supplemental = text; }
    void SetCodeType(VTCodeType type) { m_codeType = type; }

    void Reset();

    // Adds TYPE (with UPC merged), CODETYPE, SID, IID, CODE, SCODE, RCODE,
    // RSID, RIID and XID, in that order.
    void ExportTo(TSStringMap& map) const;

private:
    std::string m_scannedCode;
    std::string m_rawCode;
    std::string m_code;
    std::string m_serverId;
    std::string m_rawServerId;
    std::string m_itemId;
    std::string m_rawItemId;
    std::string m_supplemental;
    VTCodeType m_codeType = kCodeUnknown;
};

// One code object per type: a short-lived worker that either builds a code
// from a server ID and an item ID or splits a code text into them. Take a
// copy of the contents and discard the object; after a failure the contents
// are not to be read.
class VTCodeBase {
public:
    VTCodeBase(const VTCodeBase&) = delete;
    VTCodeBase& operator=(const VTCodeBase&) = delete;
    virtual ~VTCodeBase();

    // Every rejection raises VTToolkitException code 1 with a detail text;
    // a null text where one is required raises the null-pointer error.
    virtual void ConstructCode(const char* serverId, const char* itemId, const char* supplemental) = 0;
    virtual void DecomposeCode(const char* code, const VTCodeFormat& format) = 0;
    virtual void Reset();
    // Null item ID or supplemental leave those fields as they are.
    virtual void SetContents(const char* code, const char* serverId, const char* itemId,
                             const char* supplemental, int holdsValue);

    VTCodeContents GetContents() const { return m_contents; }
    VTCodeType GetCodeType() const { return m_codeType; }
    int HoldsValue() const { return m_holdsValue; }

protected:
    explicit VTCodeBase(VTCodeType type) : m_codeType(type) {}

    // How a retail code with add-ons is split: main length, whether a 5-digit
    // add-on exists, and whether the format must give both IDs a length.
    struct AddOnShape {
        std::size_t mainLength;
        bool fiveDigitAddOn;
        bool requireIdLengths;
    };

    // Decomposition shared by the codes that a format splits: the format must
    // match, the stripped text must pass `valid`, the add-on is split off when
    // a shape is given, and both IDs are cut from the stripped text. Without
    // a shape the contents keep the text exactly as given.
    void DecomposeByFormat(const char* code, const VTCodeFormat& format,
                           bool (*valid)(std::string_view stripped), const AddOnShape* shape);

    // Construction shared by the EAN-style codes: prefix, server ID and item
    // ID (together bodyLength digits) and the check digit.
    void ConstructWithCheckDigit(const char* serverId, const char* itemId, const char* supplemental,
                                 std::string_view prefix, std::size_t bodyLength, unsigned evenWeight,
                                 const char* itemIdMessage);

    // SetContents with texts held in strings.
    void SetContents(const std::string& code, const std::string& serverId, const std::string& itemId,
                     const char* supplemental)
    {
        SetContents(code.c_str(), serverId.c_str(), itemId.c_str(), supplemental, 1);
    }

private:
    VTCodeType m_codeType;
    int m_holdsValue = 0;
    VTCodeContents m_contents;
};

// Non-empty and decimal digits only; inline, as every validity test asks it.
constexpr bool IsCodeDigits(std::string_view text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c - '0') > 9)
            return false;
    return !text.empty();
}

// Code texts are 8-bit; letters are the ASCII ones whatever the locale.
constexpr bool IsCodeLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The check digit of the retail codes over the first `count` digits: weight
// `evenWeight` at even positions, the other of 1 and 3 at odd ones. A
// non-digit or a shorter text raises an assertion.
char RetailCheckDigit(std::string_view digits, std::size_t count, unsigned evenWeight);

// True for a main code of mainLength digits, or, when add-ons are allowed,
// followed by 2 digits or (with fiveDigitAddOn) 5 digits.
constexpr bool HasRetailLength(std::size_t length, std::size_t mainLength, bool supplemental,
                               bool fiveDigitAddOn)
{
    return length == mainLength ||
           (supplemental && (length == mainLength + 2 || (fiveDigitAddOn && length == mainLength + 5)));
}

// Moves the add-on of a retail code to `supplemental`; a code of any length
// other than those of HasRetailLength fails and changes nothing.
bool SplitRetailAddOn(std::string& code, std::string& supplemental, std::size_t mainLength,
                      bool fiveDigitAddOn);

// Runs a validity test on the text, stripped of blanks and dashes first when
// asked: the shape every ValidlyFormed shares.
template <class Test> bool TestMaybeStripped(std::string_view text, bool strip, Test&& test)
{
    if (!strip)
        return test(text);
    const std::string stripped = StripSpacesAndDashes(text);
    return test(std::string_view(stripped));
}
