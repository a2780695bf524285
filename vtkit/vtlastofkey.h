#pragma once

#include <cstddef>
#include <functional>
#include <unordered_set>
#include <vector>

// Which items stay when each replaces the earlier one of the same key, as
// a list's replace-or-append does taking them in turn: the last of each
// key. `keyOf(item)` gives a std::pair of the code type and a text.
template <class Item, class KeyOf>
std::vector<bool> LastOfEachKey(const std::vector<Item>& items, KeyOf keyOf)
{
    using Key = decltype(keyOf(items.front()));
    struct Hash {
        std::size_t operator()(const Key& key) const
        {
            return std::hash<typename Key::second_type>()(key.second) ^
                   (static_cast<std::size_t>(key.first) * 0x9E3779B97F4A7C15u);
        }
    };
    // From the end, the first item of each key is the one that stays.
    std::unordered_set<Key, Hash> later(items.size());
    std::vector<bool> stays(items.size());
    for (std::size_t i = items.size(); i-- > 0;)
        stays[i] = later.insert(keyOf(items[i])).second;
    return stays;
}
