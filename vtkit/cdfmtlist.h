#pragma once

#include "vtkit/cdformat.h"

#include <cstddef>
#include <string>
#include <string_view>
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

    // Appends; callers that want one format per range Remove first.
    void Add(const VTCodeFormat& format);
    // Removes every format equal to this one (same type and low code).
    bool Remove(const VTCodeFormat& format);
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
    std::vector<VTCodeFormat> m_formats;
};

// A code for which a format is asked of the routing server.
struct VTCodeFormatQueryItem {
    VTCodeType codeType = kCodeUnknown;
    std::string code;

    bool operator==(const VTCodeFormatQueryItem&) const = default;
};

using VTCodeFormatQueryList = std::vector<VTCodeFormatQueryItem>;
