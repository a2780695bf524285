#pragma once

#include "tst/tsobject.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// One header name (normalised) with every value given for it.
class TSHttpHeader {
public:
    TSHttpHeader(std::string_view name, std::string_view value);
    // A well-known name by index (htutil).
    TSHttpHeader(int32_t index, std::string_view value);
    // "Name: value" without its line end; a line without ':' throws
    // "Invalid header". Name and value lose the spaces around them.
    static TSHttpHeader FromLine(std::string_view line);

    const std::string& GetName() const { return m_name; }
    const std::vector<std::string>& GetValues() const { return m_values; }
    // False when there is no value at `index`.
    bool GetValue(std::size_t index, std::string& value) const;
    void AddValue(std::string_view value) { m_values.emplace_back(value); }
    void ClearValues() { m_values.clear(); }

    // One "Name: value\r\n" line per value.
    void FormatTo(std::string& out) const;

private:
    TSHttpHeader() = default;

    std::string m_name;
    std::vector<std::string> m_values;
};

// How a header joins a list that may already have one of that name.
enum TSHttpHeaderMode : int32_t {
    kHeaderAppend = 0,       // add the values to the existing header
    kHeaderAddIfMissing = 1, // leave an existing header untouched
    kHeaderReplace = 2,      // the new values replace the old ones
};

class TSHttpHeaderListImpl : public TSObjectImpl {
public:
    TSHttpHeaderListImpl* Clone() const override { return new TSHttpHeaderListImpl(*this); }

    // Keyed by the lower-cased name, so lookups ignore case.
    std::map<std::string, TSHttpHeader> m_headers;
};

// Headers of a request or response. Copies share the body until one of
// them changes (copy on write).
class TSHttpHeaderList : public TSObjectRef {
public:
    TSHttpHeaderList();

    void Add(const TSHttpHeader& header, int32_t mode = kHeaderAppend);
    void Add(std::string_view name, std::string_view value, int32_t mode = kHeaderAppend);
    void Add(int32_t index, std::string_view value, int32_t mode = kHeaderAppend);

    // Null when missing; valid until this list next changes.
    const TSHttpHeader* Find(std::string_view name) const;
    bool GetValue(std::string_view name, std::size_t index, std::string& value) const;
    bool Contains(std::string_view name) const { return Find(name) != nullptr; }
    bool Remove(std::string_view name);
    void Clear();
    std::size_t Size() const { return Body().m_headers.size(); }

    // A list with a body of its own.
    TSHttpHeaderList Copy() const;
    std::string Format() const;
    void FormatTo(std::string& out) const;

    template <class Fn> void ForEach(Fn&& fn) const
    {
        for (const auto& entry : Body().m_headers)
            fn(entry.second);
    }

private:
    const TSHttpHeaderListImpl& Body() const;
    TSHttpHeaderListImpl& MutableBody();
};
