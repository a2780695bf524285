#include "tst/tsstrmap.h"

#include "tst/tsexcep.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <thread>
#include <vector>

namespace {

TEST(TSStringMap, CaseFlagDecidesKeyMatching)
{
    TSStringMap insensitive(0);
    insensitive.Set("CODE", "1");
    std::string value;
    EXPECT_TRUE(insensitive.Get("code", value));
    EXPECT_EQ(value, "1");
    insensitive.Set("Code", "2");
    EXPECT_EQ(insensitive.Size(), 1u);
    insensitive.ForEach([](const std::string& key, const std::string&) { EXPECT_EQ(key, "CODE"); });

    TSStringMap sensitive(1);
    sensitive.Set("CODE", "1");
    EXPECT_FALSE(sensitive.Get("code", value));
    sensitive.Set("code", "2");
    EXPECT_EQ(sensitive.Size(), 2u);
}

TEST(TSStringMap, SetReplacesAndGetLeavesValueAloneWhenMissing)
{
    TSStringMap map;
    map.Set("A", "1");
    map.Set("A", std::string("2"));
    std::string value = "untouched";
    EXPECT_FALSE(map.Get("B", value));
    EXPECT_EQ(value, "untouched");
    EXPECT_TRUE(map.Get("A", value));
    EXPECT_EQ(value, "2");
    EXPECT_TRUE(map.Remove("A"));
    EXPECT_FALSE(map.Remove("A"));
    EXPECT_TRUE(map.IsEmpty());
}

TEST(TSStringMap, NullKeyOrValueRaisesNullPointer)
{
    TSStringMap map;
    std::string value;
    EXPECT_THROW(map.Set(nullptr, "x"), TSInternalError);
    EXPECT_THROW(map.Set("x", static_cast<const char*>(nullptr)), TSInternalError);
    EXPECT_THROW(map.Get(static_cast<const char*>(nullptr), value), TSInternalError);
}

TEST(TSStringMap, CopyOnWrite)
{
    TSStringMap first;
    first.Set("K", "one");
    TSStringMap second(first);
    EXPECT_EQ(first.GetBody(), second.GetBody());

    second.Set("K", "two");
    EXPECT_NE(first.GetBody(), second.GetBody());
    std::string value;
    first.Get("K", value);
    EXPECT_EQ(value, "one");
    second.Get("K", value);
    EXPECT_EQ(value, "two");

    // The copy keeps the case flag.
    TSStringMap insensitive(0);
    insensitive.Set("a", "1");
    TSStringMap copy(insensitive);
    copy.Set("b", "2");
    EXPECT_EQ(copy.IsCaseSensitive(), 0);
    EXPECT_TRUE(copy.Get("A", value));

    TSObjectImpl* body = second.GetBody();
    second.Set("L", "three");
    EXPECT_EQ(second.GetBody(), body) << "an unshared body is changed in place";
}

TEST(TSStringMap, NewMapsStartEmptyAndApart)
{
    TSStringMap first;
    TSStringMap second;
    TSStringMap insensitive(0);
    TSStringMap alsoInsensitive(0);
    first.Set("K", "v");
    insensitive.Set("a", "1");
    EXPECT_TRUE(second.IsEmpty());
    EXPECT_FALSE(second.Contains("K"));
    EXPECT_TRUE(alsoInsensitive.IsEmpty());
    EXPECT_EQ(alsoInsensitive.IsCaseSensitive(), 0);
    alsoInsensitive.Set("b", "2");
    EXPECT_TRUE(alsoInsensitive.Contains("B"));
    EXPECT_FALSE(insensitive.Contains("B"));
    EXPECT_EQ(second.IsCaseSensitive(), 1);
    second.Set("k", "w");
    EXPECT_FALSE(second.Contains("K"));

    // Maps made, filled and dropped on several threads at once.
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 2000; ++i) {
                TSStringMap map(i % 2);
                TSStringMap copy(map);
                if (i % 3 == 0)
                    copy.Set("T", std::to_string(t));
                EXPECT_TRUE(map.IsEmpty());
                EXPECT_EQ(copy.Size(), i % 3 == 0 ? 1u : 0u);
            }
        });
    for (std::thread& thread : threads)
        thread.join();
}

TEST(TSStringMap, VisitsInBucketOrderWhateverItsSize)
{
    // Pairs go by bucket, and in the order added within one bucket, before
    // and after a small map takes its buckets, and across removals.
    TSStringMap map;
    std::vector<std::string> added;
    const auto expected = [&] {
        std::vector<std::string> keys = added;
        std::stable_sort(keys.begin(), keys.end(), [](const std::string& a, const std::string& b) {
            return TSStringMapImpl::BucketOf(a) < TSStringMapImpl::BucketOf(b);
        });
        return keys;
    };
    const auto visited = [&] {
        std::vector<std::string> keys;
        map.ForEach([&](const std::string& key, const std::string& value) {
            EXPECT_EQ(value, "v" + key);
            keys.push_back(key);
        });
        return keys;
    };
    for (int i = 0; i < 200; ++i) {
        const std::string key = "K" + std::to_string((i * 37) % 211);
        map.Set(key, "v" + key);
        added.push_back(key);
        ASSERT_EQ(visited(), expected()) << "after adding " << key;
        if (i % 7 == 3) {
            const std::string gone = added[added.size() / 2];
            EXPECT_TRUE(map.Remove(gone));
            added.erase(added.begin() + static_cast<std::ptrdiff_t>(added.size() / 2));
            ASSERT_EQ(visited(), expected()) << "after removing " << gone;
        }
        EXPECT_EQ(map.Size(), added.size());
    }
    const TSStringMap copy(map);
    map.Clear();
    EXPECT_TRUE(map.IsEmpty());
    std::size_t copied = 0;
    copy.ForEach([&](const std::string&, const std::string&) { ++copied; });
    EXPECT_EQ(copied, added.size());
}

TEST(TSStringMap, ClearOfASharedMapLeavesTheOtherHandle)
{
    TSStringMap first;
    first.Set("K", "v");
    TSStringMap second(first);
    second.Clear();
    EXPECT_TRUE(second.IsEmpty());
    EXPECT_EQ(first.Size(), 1u);
}

TEST(TSStringMap, HoldsManyKeysAcrossBuckets)
{
    TSStringMap map;
    std::map<std::string, std::string> expected;
    for (int i = 0; i < 1000; ++i) {
        const std::string key = "key" + std::to_string(i);
        map.Set(key, std::to_string(i * 7));
        expected[key] = std::to_string(i * 7);
    }
    EXPECT_EQ(map.Size(), 1000u);
    std::map<std::string, std::string> seen;
    map.ForEach([&](const std::string& key, const std::string& value) { seen[key] = value; });
    EXPECT_EQ(seen, expected);
}

} // namespace
