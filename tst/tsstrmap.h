#pragma once

#include "tst/tsobject.h"

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Body of TSStringMap: 64 chained buckets of (key, value) pairs. A small
// map keeps its pairs in one short list in the buckets' order instead (most
// maps hold a few commands or one code's pairs, and 64 empty buckets took
// 1.5 KB each); it takes the buckets once the list is full.
class TSStringMapImpl final : public TSObjectImpl {
public:
    static constexpr std::size_t kBucketCount = 64;
    static constexpr std::size_t kShortLimit = 16;
    using Pair = std::pair<std::string, std::string>;
    using Bucket = std::vector<Pair>;

    explicit TSStringMapImpl(int caseSensitive) : m_caseSensitive(caseSensitive) {}
    TSStringMapImpl(const TSStringMapImpl& other);
    TSStringMapImpl* Clone() const override { return new TSStringMapImpl(*this); }

    // The key as stored: upper-cased when the map ignores case.
    std::string StoredKey(std::string_view key) const;
    static std::size_t BucketOf(std::string_view storedKey);

    const Pair* Find(std::string_view storedKey) const;
    Pair* Find(std::string_view storedKey);
    // The key must not be in the map yet.
    void Insert(std::string storedKey, std::string_view value);
    bool Erase(std::string_view storedKey);
    void Clear();

    // Every pair in bucket order, and within a bucket in the order added.
    template <class Fn> void ForEach(Fn&& fn) const
    {
        if (m_buckets) {
            for (const Bucket& bucket : *m_buckets)
                for (const auto& [key, value] : bucket)
                    fn(key, value);
            return;
        }
        for (const ShortEntry& entry : m_short)
            fn(entry.pair.first, entry.pair.second);
    }

    std::size_t m_count = 0;
    int m_caseSensitive;

private:
    struct ShortEntry {
        std::size_t bucket;
        Pair pair;
    };

    std::vector<ShortEntry> m_short;
    std::unique_ptr<std::array<Bucket, kBucketCount>> m_buckets;
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
    template <class Fn> void ForEach(Fn&& fn) const { Body().ForEach(std::forward<Fn>(fn)); }

protected:
    const TSStringMapImpl& Body() const;
    TSStringMapImpl& MutableBody();
    // The stored pair, or null; valid until the map changes.
    const TSStringMapImpl::Pair* Find(std::string_view key) const;
};
