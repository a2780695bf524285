#pragma once

#include "tst/tsobject.h"

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Body of TSStringMap: 64 chained buckets of (key, value) pairs.
class TSStringMapImpl final : public TSObjectImpl {
public:
    static constexpr std::size_t kBucketCount = 64;
    using Pair = std::pair<std::string, std::string>;
    using Bucket = std::vector<Pair>;

    explicit TSStringMapImpl(int caseSensitive) : m_caseSensitive(caseSensitive) {}
    TSStringMapImpl* Clone() const override { return new TSStringMapImpl(*this); }

    // The key as stored: upper-cased when the map ignores case.
    std::string StoredKey(std::string_view key) const;
    static std::size_t BucketOf(std::string_view storedKey);

    std::array<Bucket, kBucketCount> m_buckets;
    std::size_t m_count = 0;
    int m_caseSensitive;
};

// String-to-string map over a copy-on-write body. A case-insensitive map
// (flag 0) upper-cases every key before storing or looking it up.
class TSStringMap : public TSObjectRef {
public:
    explicit TSStringMap(int caseSensitive = 1);

    // A null key or value raises the null-pointer internal error.
    void Set(const char* key, const char* value);
    void Set(std::string_view key, std::string_view value);
    bool Get(const char* key, std::string& value) const;
    bool Get(std::string_view key, std::string& value) const;
    bool Contains(std::string_view key) const;
    bool Remove(std::string_view key);
    void Clear();

    std::size_t Size() const { return Body().m_count; }
    bool IsEmpty() const { return Size() == 0; }
    int IsCaseSensitive() const { return Body().m_caseSensitive; }

    // Visits every pair in bucket order as fn(key, value).
    template <class Fn> void ForEach(Fn&& fn) const
    {
        for (const auto& bucket : Body().m_buckets)
            for (const auto& [key, value] : bucket)
                fn(key, value);
    }

protected:
    const TSStringMapImpl& Body() const;
    TSStringMapImpl& MutableBody();
    // The stored pair, or null; valid until the map changes.
    const TSStringMapImpl::Pair* Find(std::string_view key) const;
};
