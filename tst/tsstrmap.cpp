#include "tst/tsstrmap.h"

#include "tst/tsexcep.h"

#include <algorithm>
#include <utility>
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

TSStringMapImpl::TSStringMapImpl(const TSStringMapImpl& other)
    : TSObjectImpl(other), m_count(other.m_count), m_caseSensitive(other.m_caseSensitive),
      m_short(other.m_short),
      m_buckets(other.m_buckets ? std::make_unique<std::array<Bucket, kBucketCount>>(*other.m_buckets)
                                : nullptr)
{
}

const TSStringMapImpl::Pair* TSStringMapImpl::Find(std::string_view storedKey) const
{
    if (m_buckets) {
        for (const Pair& pair : (*m_buckets)[BucketOf(storedKey)])
            if (pair.first == storedKey)
                return &pair;
        return nullptr;
    }
    for (const ShortEntry& entry : m_short)
        if (entry.pair.first == storedKey)
            return &entry.pair;
    return nullptr;
}

TSStringMapImpl::Pair* TSStringMapImpl::Find(std::string_view storedKey)
{
    return const_cast<Pair*>(std::as_const(*this).Find(storedKey));
}

void TSStringMapImpl::Insert(std::string storedKey, std::string_view value)
{
    const std::size_t bucket = BucketOf(storedKey);
    ++m_count;
    if (!m_buckets && m_short.size() < kShortLimit) {
        // After the pairs of this bucket and those before it: the order of
        // the buckets, and the order added within one.
        const auto at = std::find_if(m_short.begin(), m_short.end(),
                                     [bucket](const ShortEntry& entry) { return entry.bucket > bucket; });
        m_short.insert(at, ShortEntry{bucket, Pair(std::move(storedKey), std::string(value))});
        return;
    }
    if (!m_buckets) {
        m_buckets = std::make_unique<std::array<Bucket, kBucketCount>>();
        for (ShortEntry& entry : m_short)
            (*m_buckets)[entry.bucket].push_back(std::move(entry.pair));
        m_short.clear();
    }
    (*m_buckets)[bucket].emplace_back(std::move(storedKey), std::string(value));
}

bool TSStringMapImpl::Erase(std::string_view storedKey)
{
    const auto same = [&](const Pair& pair) { return pair.first == storedKey; };
    const std::size_t erased =
        m_buckets ? std::erase_if((*m_buckets)[BucketOf(storedKey)], same)
                  : std::erase_if(m_short, [&](const ShortEntry& entry) { return same(entry.pair); });
    m_count -= erased;
    return erased != 0;
}

void TSStringMapImpl::Clear()
{
    m_short.clear();
    m_buckets.reset();
    m_count = 0;
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
    if (TSStringMapImpl::Pair* pair = body.Find(stored))
        pair->second.assign(value);
    else
        body.Insert(std::move(stored), value);
}

const TSStringMapImpl::Pair* TSStringMap::Find(std::string_view key) const
{
    const TSStringMapImpl& body = Body();
    return body.Find(body.StoredKey(key));
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
    return body.Erase(body.StoredKey(key));
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
    MutableBody().Clear();
}
