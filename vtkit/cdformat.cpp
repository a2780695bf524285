#include "vtkit/cdformat.h"

#include "tst/tsexcep.h"
#include "tst/tsstrutl.h"
#include "vtkit/vtexcep.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <utility>

VTTime VTCurrentTime()
{
    const auto since1970 =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch());
    return static_cast<VTTime>(static_cast<std::uint64_t>(since1970.count()) + kVTTimeFrom1970);
}

VTCodeFormat::VTCodeFormat() : m_expiry(VTCurrentTime()) {}

VTCodeFormat::VTCodeFormat(const VTCodeFormat& other)
    : m_codeType(other.m_codeType), m_lowCode(other.m_lowCode), m_highCode(other.m_highCode),
      m_expiry(other.m_expiry), m_routingIdOffset(other.m_routingIdOffset),
      m_routingIdLength(other.m_routingIdLength), m_itemIdOffset(other.m_itemIdOffset),
      m_itemIdLength(other.m_itemIdLength), m_displayTemplate(other.m_displayTemplate)
{
}

VTCodeFormat& VTCodeFormat::operator=(const VTCodeFormat& other)
{
    const char placeholder = m_placeholder;
    if (this != &other) {
        m_codeType = other.m_codeType;
        m_lowCode = other.m_lowCode;
        m_highCode = other.m_highCode;
        m_expiry = other.m_expiry;
        m_routingIdOffset = other.m_routingIdOffset;
        m_routingIdLength = other.m_routingIdLength;
        m_itemIdOffset = other.m_itemIdOffset;
        m_itemIdLength = other.m_itemIdLength;
        m_displayTemplate = other.m_displayTemplate;
    }
    m_placeholder = placeholder;
    return *this;
}

VTCodeFormat::VTCodeFormat(VTCodeFormat&& other) noexcept
    : m_codeType(other.m_codeType), m_lowCode(std::move(other.m_lowCode)),
      m_highCode(std::move(other.m_highCode)), m_expiry(other.m_expiry),
      m_routingIdOffset(other.m_routingIdOffset), m_routingIdLength(other.m_routingIdLength),
      m_itemIdOffset(other.m_itemIdOffset), m_itemIdLength(other.m_itemIdLength),
      m_displayTemplate(std::move(other.m_displayTemplate))
{
}

VTCodeFormat& VTCodeFormat::operator=(VTCodeFormat&& other) noexcept
{
    if (this != &other) {
        m_codeType = other.m_codeType;
        m_lowCode = std::move(other.m_lowCode);
        m_highCode = std::move(other.m_highCode);
        m_expiry = other.m_expiry;
        m_routingIdOffset = other.m_routingIdOffset;
        m_routingIdLength = other.m_routingIdLength;
        m_itemIdOffset = other.m_itemIdOffset;
        m_itemIdLength = other.m_itemIdLength;
        m_displayTemplate = std::move(other.m_displayTemplate);
    }
    return *this;
}

VTCodeFormat::~VTCodeFormat() = default;

bool VTCodeFormat::operator==(const VTCodeFormat& other) const
{
    return m_codeType == other.m_codeType && m_lowCode == other.m_lowCode;
}

void VTCodeFormat::SetRoutingId(int offset, int length)
{
    m_routingIdOffset = offset;
    m_routingIdLength = length;
}

void VTCodeFormat::SetItemId(int offset, int length)
{
    m_itemIdOffset = offset;
    m_itemIdLength = length;
}

bool VTCodeFormat::Matches(const char* text) const
{
    TS_CHECK_NULL(text);
    return Matches(std::string_view(text));
}

// Formats come from servers: a negative position would cut outside the code,
// so such a format matches nothing.
bool VTCodeFormat::Matches(std::string_view text) const
{
    if (std::min({m_routingIdOffset, m_routingIdLength, m_itemIdOffset, m_itemIdLength}) < 0)
        return false;
    const auto length = static_cast<std::int64_t>(StripSpacesAndDashes(text).size());
    return length >= std::int64_t{m_routingIdOffset} + m_routingIdLength &&
           length >= std::int64_t{m_itemIdOffset} + m_itemIdLength;
}

namespace {

std::string Cut(std::string_view text, int offset, int length)
{
    if (offset < 0 || length < 0 || static_cast<std::size_t>(offset) >= text.size())
        return {};
    return std::string(text.substr(static_cast<std::size_t>(offset), static_cast<std::size_t>(length)));
}

} // namespace

std::string VTCodeFormat::CutRoutingId(std::string_view strippedCode) const
{
    return Cut(strippedCode, m_routingIdOffset, m_routingIdLength);
}

std::string VTCodeFormat::CutItemId(std::string_view strippedCode) const
{
    return Cut(strippedCode, m_itemIdOffset, m_itemIdLength);
}

std::string VTCodeFormat::FormatForDisplay(const char* text) const
{
    TS_CHECK_NULL(text);
    return FormatForDisplay(std::string_view(text));
}

std::string VTCodeFormat::FormatForDisplay(std::string_view text) const
{
    if (m_codeType == kCodeVanity || m_codeType == kCodeNumi || m_codeType == kCodeUrl)
        return std::string(text);
    const std::string stripped = StripSpacesAndDashes(text);
    const std::string layout = Template(stripped);
    std::string shown;
    std::size_t next = 0;
    for (std::size_t i = 0; i < layout.size() && next < stripped.size(); ++i)
        shown.push_back(layout[i] == m_placeholder ? stripped[next++] : layout[i]);
    shown.append(stripped, next);
    return shown;
}

std::string VTCodeFormat::Template(std::string_view strippedCode) const
{
    if (!m_displayTemplate.empty())
        return m_displayTemplate;
    std::string layout = DefaultTemplate(m_codeType, strippedCode);
    if (m_placeholder != 'X')
        std::replace(layout.begin(), layout.end(), 'X', m_placeholder);
    return layout;
}

namespace {

// Groups of four, then a tail of four or of three and three: 6 digits show
// as XXX-XXX, 10 as XXXX-XXX-XXX, 12 as XXXX-XXXX-XXXX.
std::string VantrelTemplate(std::size_t n)
{
    if (n == 9)
        return "XXX-XXX-XXX";
    std::string layout;
    if (n > 6) {
        for (std::size_t groups = (n - 3) / 4; groups > 0; --groups, n -= 4)
            layout.append(layout.empty() ? "XXXX" : "-XXXX");
    }
    // A lone tail gets no leading dash, whichever its length.
    const char* dash = layout.empty() ? "" : "-";
    if (n == 4)
        return layout + dash + "XXXX";
    if (n == 6)
        return layout + dash + "XXX-XXX";
    RaiseInvalidCode();
}

} // namespace

std::string VTCodeFormat::DefaultTemplate(int type, std::string_view strippedCode)
{
    switch (type) {
    case kCodeUpcA:
        return "X XXXXX XXXXX X";
    case kCodeUpcE:
        return "X XXXXXX X";
    case kCodeEan13:
    case kCodeBookLand:
        return "X XXXXXX XXXXXX";
    case kCodeEan8:
        return "XXXX XXXX";
    case kCodeIsbn:
        return "X-XXXXXX-XX-X";
    case kCodeNumi:
        return std::string(strippedCode.size(), 'X');
    case kCodeVantrel:
        return VantrelTemplate(strippedCode.size());
    case kCodeUnknown:
    case kCodeVanity:
    case kCodeUrl:
        return {};
    default:
        TS_INTERNAL_ERROR("code type out of range");
    }
}
