#pragma once

#include "vtkit/cdbase.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// A code and the text a description server gave for it.
class VTCodeDescription {
public:
    VTCodeDescription() = default;
    // Only the item ID is known: it becomes the contents' item ID.
    explicit VTCodeDescription(std::string_view itemId) { SetItemId(itemId); }
    explicit VTCodeDescription(const VTCodeContents& contents) : m_contents(contents) {}

    const std::string& GetDescription() const { return m_description; }
    const std::string& GetCanonical() const { return m_canonical; }
    const VTCodeContents& GetContents() const { return m_contents; }
    const std::string& GetItemId() const { return m_contents.GetItemId(); }

    void SetDescription(std::string_view text) { m_description = text; }
    void SetCanonical(std::string_view text) { m_canonical = text; }
    void SetContents(const VTCodeContents& contents) { m_contents = contents; }
    // Stores the text as the raw item ID and, without blanks and dashes, as
    // the item ID.
    void SetItemId(std::string_view itemId);

private:
    std::string m_description;
    std::string m_canonical;
    VTCodeContents m_contents;
};

// Descriptions with at most one entry per item ID.
class VTCodeDescriptionList {
public:
    static constexpr std::size_t kInitialCapacity = 64;

    VTCodeDescriptionList() { m_descriptions.reserve(kInitialCapacity); }

    // Replaces the entry with the same item ID, or appends; returns the
    // index at which the description now stands.
    std::size_t Add(const VTCodeDescription& description);
    void Clear() { m_descriptions.clear(); }

    std::size_t Size() const { return m_descriptions.size(); }
    bool IsEmpty() const { return m_descriptions.empty(); }
    // An index past the end raises std::out_of_range.
    const VTCodeDescription& operator[](std::size_t index) const { return m_descriptions.at(index); }
    VTCodeDescription& operator[](std::size_t index) { return m_descriptions.at(index); }
    std::vector<VTCodeDescription>::const_iterator begin() const { return m_descriptions.begin(); }
    std::vector<VTCodeDescription>::const_iterator end() const { return m_descriptions.end(); }

private:
    std::vector<VTCodeDescription> m_descriptions;
};
