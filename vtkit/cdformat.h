#pragma once

#include "vtkit/cdbase.h"

#include <cstdint>
#include <string>
#include <string_view>

// The toolkit's time: unsigned seconds since 1 January 1901, 00:00 UTC.
using VTTime = std::uint32_t;
constexpr std::uint32_t kVTTimeFrom1970 = 2177452800u;
VTTime VTCurrentTime();

// Where the server ID and the item ID lie inside the codes of one range, and
// how those codes are shown; issued by the routing server.
class VTCodeFormat {
public:
    VTCodeFormat();
    // Copies keep every field but the placeholder: a copy starts with 'X',
    // an assigned-to format keeps its own.
    VTCodeFormat(const VTCodeFormat& other);
    VTCodeFormat& operator=(const VTCodeFormat& other);
    // As the copies, taking the texts over.
    VTCodeFormat(VTCodeFormat&& other) noexcept;
    VTCodeFormat& operator=(VTCodeFormat&& other) noexcept;
    virtual ~VTCodeFormat();

    // Equal when type and low code are equal.
    bool operator==(const VTCodeFormat& other) const;

    VTCodeType GetCodeType() const { return m_codeType; }
    std::string GetLowCode() const { return m_lowCode; }
    std::string GetHighCode() const { return m_highCode; }
    VTTime GetExpiry() const { return m_expiry; }
    int GetRoutingIdOffset() const { return m_routingIdOffset; }
    int GetRoutingIdLength() const { return m_routingIdLength; }
    int GetItemIdOffset() const { return m_itemIdOffset; }
    int GetItemIdLength() const { return m_itemIdLength; }
    std::string GetDisplayTemplate() const { return m_displayTemplate; }
    char GetPlaceholder() const { return m_placeholder; }

    void SetCodeType(VTCodeType type) { m_codeType = type; }
    void SetLowCode(std::string_view text) { m_lowCode = text; }
    void SetHighCode(std::string_view text) { m_highCode = text; }
    void SetExpiry(VTTime expiry) { m_expiry = expiry; }
    void SetRoutingId(int offset, int length);
    void SetItemId(int offset, int length);
    void SetDisplayTemplate(std::string_view text) { m_displayTemplate = text; }
    void SetPlaceholder(char placeholder) { m_placeholder = placeholder; }

    bool IsExpired(VTTime now) const { return m_expiry < now; }
    bool IsExpired() const { return IsExpired(VTCurrentTime()); }

    // True when the text, without blanks and dashes, is long enough to hold
    // both IDs. A null text raises the null-pointer error.
    bool Matches(const char* text) const;
    bool Matches(std::string_view text) const;

    // The server ID and the item ID inside a stripped code; the part that
    // lies outside the code is left out.
    std::string CutRoutingId(std::string_view strippedCode) const;
    std::string CutItemId(std::string_view strippedCode) const;

    // The code laid out by the display template (or the type's default);
    // vanity, Numicode and URL codes are shown exactly as given.
    std::string FormatForDisplay(const char* text) const;
    std::string FormatForDisplay(std::string_view text) const;

    // The type's template for a code of the given stripped text. A Vantrel
    // length that cannot be grouped raises VTToolkitException code 1; a
    // type outside 0..10 raises an internal error.
    static std::string DefaultTemplate(int type, std::string_view strippedCode);

private:
    std::string Template(std::string_view strippedCode) const;

    VTCodeType m_codeType = kCodeUnknown;
    std::string m_lowCode;
    std::string m_highCode;
    VTTime m_expiry;
    int m_routingIdOffset = 0;
    int m_routingIdLength = 0;
    int m_itemIdOffset = 0;
    int m_itemIdLength = 0;
    std::string m_displayTemplate;
    char m_placeholder = 'X';
};
