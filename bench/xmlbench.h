#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

// Shared by the XML benchmarks: cache-shaped documents and the anchors.

// A code format cache ("CODE_FORMAT_LIST" of CODE elements) or a template
// cache ("SERVER_DATA_LIST" of ROUTING_KEY elements) of about `bytes`
// bytes, written by our formatter with 4 blanks per level, as UTF-8.
std::string MakeFormatCache(std::size_t bytes);
std::string MakeTemplateCache(std::size_t bytes);

// Bytes the C library's allocator hands out right now.
std::size_t HeapInUse();

// A tree of 16-bit strings built from expat's callbacks, as a program
// using expat would build its own document model.
struct ExpatNode;
struct ExpatTree {
    ExpatTree();
    ExpatTree(ExpatTree&&) noexcept;
    ExpatTree& operator=(ExpatTree&&) noexcept;
    ~ExpatTree();
    std::unique_ptr<ExpatNode> m_document;
};
ExpatTree ParseExpatTree(std::string_view bytes);
std::size_t CountElements(const ExpatTree& tree);
// expat with callbacks that only count elements.
std::size_t ParseExpatOnly(std::string_view bytes);
