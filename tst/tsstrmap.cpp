#include "tst/tsstrmap.h"

#include "tst/tsexcep.h"

#include <algorithm>
#include <typeinfo>

namespace {

char AsciiUpper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// New maps share one empty body per case flag until their first change
// (copy on write): a map that stays empty, as most command and pair maps
// of a fresh code do, allocates nothing. The shared bodies hold an extra
// reference, so they are never deleted.
TSStringMapImpl* EmptyBody(int caseSensitive)
{
    static const auto shared = [](int flag) {
        auto* body = new TSStringMapImpl(flag);
        body->AddRef();
        return body;
    };
    static TSStringMapImpl* const insensitive = shared(0);
    static TSStringMapImpl* const sensitive = shared(1);
    if (caseSensitive == 0)
        return insensitive;
    if (caseSensitive == 1)
        return sensitive;
    return new TSStringMapImpl(caseSensitive);
}

} // namespace

std::string TSStringMapImpl::StoredKey(std::string_view key) const
{
    std::string stored(key);
    if (!m_caseSensitive)
        std::transform(stored.begin(), stored.end(), stored.begin(), AsciiUpper);
    return stored;
}

std::size_t TSStringMapImpl::BucketOf(std::string_view storedKey)
{
    // FNV-1a, folded to the bucket count.
    std::uint32_t hash = 2166136261u;
    for (unsigned char c : storedKey) {
        hash ^= c;
        hash *= 16777619u;
    }
    return (hash ^ (hash >> 16)) % kBucketCount;
}

TSStringMap::TSStringMap(int caseSensitive) : TSObjectRef(EmptyBody(caseSensitive)) {}

const TSStringMapImpl& TSStringMap::Body() const
{
    // Every map operation passes here: the exact type test costs far less
    // than a cast through the class hierarchy, and no class derives from
    // the body.
    const TSObjectImpl* body = GetBody();
    if (body && typeid(*body) != typeid(TSStringMapImpl))
        body = nullptr;
    TS_CHECK_NULL(body);
    return static_cast<const TSStringMapImpl&>(*body);
}

TSStringMapImpl& TSStringMap::MutableBody()
{
    Unshare();
    return const_cast<TSStringMapImpl&>(Body());
}

void TSStringMap::Set(const char* key, const char* value)
{
    TS_CHECK_NULL(key);
    TS_CHECK_NULL(value);
    Set(std::string_view(key), std::string_view(value));
}

void TSStringMap::Set(std::string_view key, std::string_view value)
{
    TSStringMapImpl& body = MutableBody();
    std::string stored = body.StoredKey(key);
    auto& bucket = body.m_buckets[TSStringMapImpl::BucketOf(stored)];
    for (auto& pair : bucket) {
        if (pair.first == stored) {
            pair.second.assign(value);
            return;
        }
    }
    bucket.emplace_back(std::move(stored), std::string(value));
    ++body.m_count;
}

const TSStringMapImpl::Pair* TSStringMap::Find(std::string_view key) const
{
    const TSStringMapImpl& body = Body();
    const std::string stored = body.StoredKey(key);
    for (const auto& pair : body.m_buckets[TSStringMapImpl::BucketOf(stored)])
        if (pair.first == stored)
            return &pair;
    return nullptr;
}

bool TSStringMap::Get(const char* key, std::string& value) const
{
    TS_CHECK_NULL(key);
    return Get(std::string_view(key), value);
}

bool TSStringMap::Get(std::string_view key, std::string& value) const
{
    const auto* pair = Find(key);
    if (pair)
        value = pair->second;
    return pair != nullptr;
}

bool TSStringMap::Contains(std::string_view key) const
{
    return Find(key) != nullptr;
}

bool TSStringMap::Remove(std::string_view key)
{
    if (!Contains(key))
        return false;
    TSStringMapImpl& body = MutableBody();
    const std::string stored = body.StoredKey(key);
    auto& bucket = body.m_buckets[TSStringMapImpl::BucketOf(stored)];
    std::erase_if(bucket, [&](const auto& pair) { return pair.first == stored; });
    --body.m_count;
    return true;
}

void TSStringMap::Clear()
{
    if (IsEmpty())
        return;
    // A shared body is left to its other handles rather than copied.
    if (GetBody()->GetRefCount() > 1) {
        SetBody(EmptyBody(IsCaseSensitive()));
        return;
    }
    TSStringMapImpl& body = MutableBody();
    for (auto& bucket : body.m_buckets)
        bucket.clear();
    body.m_count = 0;
}
