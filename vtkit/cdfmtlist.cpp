#include "vtkit/cdfmtlist.h"

#include "tst/tsexcep.h"
#include "vtkit/vtlastofkey.h"

#include <algorithm>
#include <numeric>
#include <utility>

VTCodeFormatList::VTCodeFormatList()
{
    m_formats.reserve(kInitialCapacity);
}

bool VTCodeFormatList::Find(int type, const char* code, VTCodeFormat& format) const
{
    TS_CHECK_NULL(code);
    return Find(type, std::string_view(code), format);
}

bool VTCodeFormatList::Find(int type, std::string_view code, VTCodeFormat& format) const
{
    const VTCodeFormat* found = Locate(type, code);
    if (!found)
        return false;
    format = *found;
    return true;
}

const VTCodeFormat* VTCodeFormatList::Locate(int type, std::string_view code) const
{
    const std::size_t position = m_index.Find(m_formats, type, code);
    return position == RangeIndex::kNone ? nullptr : &m_formats[position];
}

void VTCodeFormatList::Add(const VTCodeFormat& format)
{
    m_formats.push_back(format);
    m_index.Invalidate();
    ++m_lowCodeCounts[LowCodeHash(format)];
}

bool VTCodeFormatList::Remove(const VTCodeFormat& format)
{
    const auto count = m_lowCodeCounts.find(LowCodeHash(format));
    if (count == m_lowCodeCounts.end())
        return false;
    const std::size_t removed = std::erase(m_formats, format);
    if (removed == 0)
        return false;
    m_index.Invalidate();
    if ((count->second -= std::min(removed, count->second)) == 0)
        m_lowCodeCounts.erase(count);
    return true;
}

void VTCodeFormatList::Assign(std::vector<VTCodeFormat> formats)
{
    const std::vector<bool> stays = LastOfEachKey(formats, [](const VTCodeFormat& format) {
        return std::pair<int, std::string>(format.GetCodeType(), format.GetLowCode());
    });
    Clear();
    m_formats.reserve(formats.size());
    for (std::size_t i = 0; i < formats.size(); ++i) {
        if (stays[i]) {
            ++m_lowCodeCounts[LowCodeHash(formats[i])];
            m_formats.push_back(std::move(formats[i]));
        }
    }
}

void VTCodeFormatList::Clear()
{
    m_formats.clear();
    m_index.Invalidate();
    m_lowCodeCounts.clear();
    if (m_formats.capacity() > kInitialCapacity) {
        std::vector<VTCodeFormat> smaller;
        smaller.reserve(kInitialCapacity);
        m_formats.swap(smaller);
    }
}

std::size_t VTCodeFormatList::LowCodeHash(const VTCodeFormat& format)
{
    return std::hash<std::string>()(format.GetLowCode()) ^
           (static_cast<std::size_t>(format.GetCodeType()) * 0x9E3779B97F4A7C15u);
}

void VTCodeFormatList::ExpireAll(VTTime now)
{
    const VTTime minuteAgo = now - 60;
    for (auto& format : m_formats)
        if (format.GetExpiry() > minuteAgo)
            format.SetExpiry(minuteAgo);
}

namespace {

// Big-endian and padded with zero bytes, so a text smaller than another
// never has a larger prefix (texts that differ only after eight bytes, or
// by a zero byte against the padding, have the same one).
std::uint64_t Prefix(std::string_view text)
{
    std::uint64_t prefix = 0;
    for (std::size_t i = 0; i < 8; ++i)
        prefix = (prefix << 8) | (i < text.size() ? static_cast<unsigned char>(text[i]) : 0u);
    return prefix;
}

} // namespace

std::size_t VTCodeFormatList::RangeIndex::Find(const std::vector<VTCodeFormat>& formats, int type,
                                               std::string_view code) const
{
    const Types& types = m_types.Get([&](Types& built) { Build(formats, built); });
    const auto slots = types.find(type);
    if (slots == types.end())
        return kNone;
    const std::vector<std::string>& ends = slots->second.ends;
    const std::vector<std::uint64_t>& prefixes = slots->second.prefixes;
    // Ends of a smaller prefix are smaller than the code and ends of a
    // larger one larger; only those that share its prefix are compared.
    const auto [sameFirst, sameEnd] = std::equal_range(prefixes.begin(), prefixes.end(), Prefix(code));
    const auto at = std::lower_bound(
        ends.begin() + (sameFirst - prefixes.begin()), ends.begin() + (sameEnd - prefixes.begin()), code,
        [](const std::string& end, std::string_view text) { return end < text; });
    const std::size_t gap = 2 * static_cast<std::size_t>(at - ends.begin());
    return slots->second.first[at != ends.end() && *at == code ? gap + 1 : gap];
}

namespace {

struct Range {
    std::size_t position;
    std::string low;
    std::string high;
};

std::size_t EndIndex(const std::vector<std::string>& ends, const std::string& text)
{
    return static_cast<std::size_t>(std::lower_bound(ends.begin(), ends.end(), text) - ends.begin());
}

} // namespace

void VTCodeFormatList::RangeIndex::Build(const std::vector<VTCodeFormat>& formats, Types& types)
{
    std::unordered_map<int, std::vector<Range>> rangesByType;
    for (std::size_t position = 0; position < formats.size(); ++position) {
        const VTCodeFormat& format = formats[position];
        Range range{position, format.GetLowCode(), format.GetHighCode()};
        // An inverted range holds no code.
        if (range.low <= range.high)
            rangesByType[format.GetCodeType()].push_back(std::move(range));
    }
    types.clear();
    for (const auto& [type, ranges] : rangesByType) {
        Slots& slots = types[type];
        for (const Range& range : ranges) {
            slots.ends.push_back(range.low);
            slots.ends.push_back(range.high);
        }
        std::sort(slots.ends.begin(), slots.ends.end());
        slots.ends.erase(std::unique(slots.ends.begin(), slots.ends.end()), slots.ends.end());
        slots.prefixes.resize(slots.ends.size());
        std::transform(slots.ends.begin(), slots.ends.end(), slots.prefixes.begin(), Prefix);
        slots.first.assign(2 * slots.ends.size() + 1, kNone);
        // Ranges in list order each claim the slots no earlier range took;
        // `next` skips over claimed slots so each slot is visited once.
        std::vector<std::size_t> next(slots.first.size() + 1);
        std::iota(next.begin(), next.end(), std::size_t{0});
        const auto unclaimed = [&next](std::size_t slot) {
            while (next[slot] != slot)
                slot = next[slot] = next[next[slot]];
            return slot;
        };
        for (const Range& range : ranges) {
            const std::size_t last = 2 * EndIndex(slots.ends, range.high) + 1;
            for (std::size_t slot = unclaimed(2 * EndIndex(slots.ends, range.low) + 1); slot <= last;
                 slot = unclaimed(slot)) {
                slots.first[slot] = range.position;
                next[slot] = slot + 1;
            }
        }
    }
}
