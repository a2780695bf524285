#include "vtkit/scanner/scpennydata.h"

#include "tst/tsexcep.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr uint8_t kHeaderBit = 0x80;
constexpr uint8_t kFieldBit = 0x02; // a 4-byte field lies between text and header
constexpr std::size_t kFieldSize = 4;
constexpr uint32_t kBitsChecked = VTPennyMemoryImage::kBitsWanted & ~(1u << 23);
constexpr auto kDropRecord = static_cast<ScanType>(-1);

// The newer format knows more symbologies and has one that is never kept.
ScanType RecordType(uint8_t header, uint8_t format)
{
    if (format > 3) {
        switch (header & 0x78) {
        case 0x00:
            return kScanTypeUPCOrEAN;
        case 0x30:
            return kScanTypeCode128;
        case 0x50:
            return kScanTypeEAN8;
        case 0x60:
            return kScanTypeUPCE;
        case 0x70:
            return kDropRecord;
        default:
            return kScanTypeUnknown;
        }
    }
    switch (header & 0x70) {
    case 0x00:
    case 0x50:
    case 0x60:
        return kScanTypeUPCOrEAN;
    case 0x30:
        return kScanTypeCode128;
    default:
        return kScanTypeUnknown;
    }
}

} // namespace

bool VTPennyMemoryImage::Append(std::string_view bytes)
{
    if (bytes.size() > kMaxLength - m_length)
        return false;
    std::copy(bytes.begin(), bytes.end(), m_bytes.begin() + static_cast<std::ptrdiff_t>(m_length));
    m_length += bytes.size();
    return true;
}

std::string_view VTPennyMemoryImage::GetBytes() const
{
    return {reinterpret_cast<const char*>(m_bytes.data()), m_length};
}

uint8_t VTPennyMemoryImage::GetByte(std::size_t offset) const
{
    TS_ASSERT(offset < m_length);
    return m_bytes[offset];
}

uint16_t VTPennyMemoryImage::GetWord(std::size_t offset) const
{
    TS_ASSERT(offset < m_length && m_length - offset >= 2);
    return static_cast<uint16_t>(m_bytes[offset] | (m_bytes[offset + 1] << 8));
}

void VTPennyMemoryImage::SetWord(std::size_t offset, uint16_t value)
{
    TS_ASSERT(offset < kMaxLength && kMaxLength - offset >= 2);
    if (m_length < offset + 2) {
        std::fill(m_bytes.begin() + static_cast<std::ptrdiff_t>(m_length),
                  m_bytes.begin() + static_cast<std::ptrdiff_t>(offset + 2), 0);
        m_length = offset + 2;
    }
    m_bytes[offset] = static_cast<uint8_t>(value & 0xFF);
    m_bytes[offset + 1] = static_cast<uint8_t>(value >> 8);
}

uint32_t VTPennyMemoryImage::GetConfiguration() const
{
    return GetWord(kConfigurationAt) | (static_cast<uint32_t>(GetWord(kConfigurationAt + 2)) << 16);
}

void VTPennyMemoryImage::SetConfiguration(uint32_t configuration)
{
    SetWord(kConfigurationAt, static_cast<uint16_t>(configuration & 0xFFFF));
    SetWord(kConfigurationAt + 2, static_cast<uint16_t>(configuration >> 16));
}

bool VTPennyMemoryImage::IsComplete() const
{
    return m_length >= kHeaderSize && m_length >= GetEndPointer();
}

bool VTPennyMemoryImage::NeedsConfiguration() const
{
    const uint32_t configuration = GetConfiguration();
    return (configuration & kBitsChecked) != kBitsChecked || (configuration & kBitsUnwanted) != 0;
}

void VTPennyMemoryImage::PrepareRewrite()
{
    SetWord(kRewriteMarkAt, 0);
    SetWord(kEndPointerAt, static_cast<uint16_t>(kHeaderSize));
    SetConfiguration((GetConfiguration() | kBitsWanted) & ~kBitsUnwanted);
}

// Records are found from the end pointer down, newest first: a header
// byte, the field it announces, then the characters back to the previous
// record's header.
VTScanDataSet DecodeImage(const VTPennyMemoryImage& image)
{
    VTScanDataSet scans;
    if (!image.IsComplete())
        return scans;
    const std::string_view bytes = image.GetBytes();
    const auto isHeader = [&](long pos) { return (static_cast<uint8_t>(bytes[pos]) & kHeaderBit) != 0; };
    const long first = static_cast<long>(VTPennyMemoryImage::kHeaderSize);
    const uint8_t format = image.GetFormat();
    std::vector<VTScanData> newestFirst;
    long pos = static_cast<long>(image.GetEndPointer()) - 1;
    for (;;) {
        while (pos >= first && !isHeader(pos))
            --pos;
        if (pos < first)
            break;
        const uint8_t header = static_cast<uint8_t>(bytes[pos--]);
        if (header & kFieldBit)
            pos -= kFieldSize;
        const long end = pos + 1;
        while (pos >= first && !isHeader(pos))
            --pos;
        std::string text(bytes.substr(pos + 1, std::max(end - (pos + 1), 0L)));
        const ScanType type = RecordType(header, format);
        if (type == kDropRecord || text.empty())
            continue;
        if ((type == kScanTypeUPC || type == kScanTypeUPCOrEAN || type == kScanTypeUPCE) && text.size() == 7)
            text.insert(0, 1, '0');
        newestFirst.push_back({type, std::move(text)});
    }
    for (auto scan = newestFirst.rbegin(); scan != newestFirst.rend(); ++scan)
        scans.Add(*scan);
    return scans;
}
