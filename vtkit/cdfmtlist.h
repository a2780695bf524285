#pragma once

#include "vtkit/cdformat.h"
#include "vtkit/vtlazyindex.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The known code formats in the order they were added.
class VTCodeFormatList {
public:
    static constexpr std::size_t kInitialCapacity = 64;

    VTCodeFormatList();

    // The first format of the type whose low code <= code <= high code, byte
    // by byte, with the code exactly as given. A null code raises the
    // null-pointer error.
    bool Find(int type, const char* code, VTCodeFormat& format) const;
    bool Find(int type, std::string_view code, VTCodeFormat& format) const;
    // The same format in place, or null; valid until the list changes.
    const VTCodeFormat* Locate(int type, std::string_view code) const;

    // Appends; callers that want one format per range Remove first.
    void Add(const VTCodeFormat& format);
    // Removes every format equal to this one (same type and low code).
    bool Remove(const VTCodeFormat& format);
    // The list that Remove and then Add of each format in turn would leave
    // in an empty one: the last format of each type and low code, where it
    // came last. One pass, however many formats repeat (a whole cache file).
    void Assign(std::vector<VTCodeFormat> formats);
    // Empties the list and gives back capacity beyond the initial one.
    void Clear();

    // Every format not yet a minute past its expiry now expires a minute ago.
    void ExpireAll(VTTime now);
    void ExpireAll() { ExpireAll(VTCurrentTime()); }

    std::size_t Size() const { return m_formats.size(); }
    bool IsEmpty() const { return m_formats.empty(); }
    // An index past the end raises std::out_of_range.
    const VTCodeFormat& At(std::size_t index) const { return m_formats.at(index); }
    std::size_t Capacity() const { return m_formats.capacity(); }
    std::vector<VTCodeFormat>::const_iterator begin() const { return m_formats.begin(); }
    std::vector<VTCodeFormat>::const_iterator end() const { return m_formats.end(); }

private:
    // Per code type, the distinct range ends in ascending order cut the codes
    // into slots: each end is a slot, and so is each gap between two ends.
    // A slot keeps the position of the earliest format covering it, so a
    // lookup is one binary search and still gives the first match.
    class RangeIndex {
    public:
        static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

        // Called by every change to the list's types or codes.
        void Invalidate() { m_types.Invalidate(); }
        // Position of the first format of the type holding the code, or kNone.
        // Concurrent lookups are safe; the first one after a change builds.
        std::size_t Find(const std::vector<VTCodeFormat>& formats, int type, std::string_view code) const;

    private:
        struct Slots {
            std::vector<std::string> ends;
            // The first eight bytes of each end, big-endian: searching these
            // stays in the processor's cache where the strings spill out of
            // it, and only ends that share the code's prefix are compared whole.
            std::vector<std::uint64_t> prefixes;
            // 2 * ends.size() + 1 entries: gap before end i at 2i, end i at 2i + 1.
            std::vector<std::size_t> first;
        };

        using Types = std::unordered_map<int, Slots>;

        static void Build(const std::vector<VTCodeFormat>& formats, Types& types);

        VTLazyIndex<Types> m_types;
    };

    static std::size_t LowCodeHash(const VTCodeFormat& format);

    std::vector<VTCodeFormat> m_formats;
    RangeIndex m_index;
    // How many formats share each hash of type and low code: when a hash is
    // missing, Remove has nothing to look for, so adding to a large cache
    // (remove the equal one, then add) does not walk the whole list.
    std::unordered_map<std::size_t, std::size_t> m_lowCodeCounts;
};

// A code for which a format is asked of the routing server.
struct VTCodeFormatQueryItem {
    VTCodeType codeType = kCodeUnknown;
    std::string code;

    bool operator==(const VTCodeFormatQueryItem&) const = default;
};

using VTCodeFormatQueryList = std::vector<VTCodeFormatQueryItem>;
