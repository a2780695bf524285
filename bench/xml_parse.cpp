// xml_parse FILE RUNS [lumora|expat-tree|expat|pugixml]
// Prints on one line the best parse time in seconds over RUNS runs, the best
// time including freeing the tree, and the number of elements.
// xml_parse --generate DIR writes the cache-shaped documents of the benchmark.
#include "bench/xmlbench.h"

#include "tst/tsexcep.h"

#include "tst/xml/dom/domnode.h"
#include "tst/xml/io/domparse.h"
#include "tst/xml/io/xmlsource.h"

#include <pugixml.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Lets go of a tree (a document handle then refers to the null node).
template <class Tree> void Drop(Tree& tree)
{
    tree = Tree{};
}
void Drop(TSDomDocument& tree)
{
    tree = TSDomNode();
}

using Clock = std::chrono::steady_clock;

std::size_t CountElements(const TSDomNodeImpl* root)
{
    std::size_t count = 0;
    std::vector<const TSDomNodeImpl*> pending{root};
    while (!pending.empty()) {
        const TSDomNodeImpl* node = pending.back();
        pending.pop_back();
        count += node->GetNodeType() == kDomElementNode;
        for (const TSDomNodeImpl* child = node->GetFirstChild(); child; child = child->GetNextSibling())
            pending.push_back(child);
    }
    return count;
}

std::size_t CountElements(const pugi::xml_node& root)
{
    struct Counter : pugi::xml_tree_walker {
        std::size_t m_count = 0;
        bool for_each(pugi::xml_node& node) override
        {
            m_count += node.type() == pugi::node_element;
            return true;
        }
    } counter;
    const_cast<pugi::xml_node&>(root).traverse(counter);
    return counter.m_count;
}

// Runs parse() RUNS times: parse() returns the tree; timing stops before
// and after it is freed.
template <class Parse, class Count> int Measure(const std::string& bytes, int runs, Parse parse, Count count)
{
    double bestParse = 1e9, bestTotal = 1e9;
    std::size_t elements = 0;
    for (int run = 0; run < runs; ++run) {
        const auto start = Clock::now();
        auto tree = parse(bytes);
        const auto parsed = Clock::now();
        elements = count(tree);
        const auto counted = Clock::now();
        Drop(tree);
        const auto freed = Clock::now();
        bestParse = std::min(bestParse, std::chrono::duration<double>(parsed - start).count());
        bestTotal =
            std::min(bestTotal, std::chrono::duration<double>((parsed - start) + (freed - counted)).count());
    }
    std::printf("%.6f %.6f %zu\n", bestParse, bestTotal, elements);
    return 0;
}

int Generate(const std::string& directory)
{
    for (const auto& [label, bytes] :
         {std::pair{"100KB", 100u << 10}, std::pair{"1MB", 1u << 20}, std::pair{"10MB", 10u << 20}}) {
        std::ofstream(directory + "/formats_" + label + ".xml", std::ios::binary) << MakeFormatCache(bytes);
        std::ofstream(directory + "/templates_" + label + ".xml", std::ios::binary)
            << MakeTemplateCache(bytes);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--generate")
        return Generate(argv[2]);
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: xml_parse FILE RUNS [lumora|expat-tree|expat|pugixml]\n"
                             "       xml_parse --generate DIR\n");
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "xml_parse: cannot read %s\n", argv[1]);
        return 1;
    }
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const int runs = std::max(1, std::atoi(argv[2]));
    const std::string which = argc == 4 ? argv[3] : "lumora";
    try {
        if (which == "lumora")
            return Measure(
                bytes, runs,
                [](const std::string& text) {
                    TSXmlUtf8DataSource source(text);
                    return TSDomParser(&source).Parse();
                },
                [](const TSDomDocument& tree) { return CountElements(tree.Impl()); });
        if (which == "expat-tree")
            return Measure(bytes, runs, ParseExpatTree,
                           [](const ExpatTree& tree) { return CountElements(tree); });
        if (which == "expat")
            return Measure(bytes, runs, ParseExpatOnly, [](std::size_t count) { return count; });
        if (which == "pugixml")
            return Measure(
                bytes, runs,
                [](const std::string& text) {
                    auto document = std::make_unique<pugi::xml_document>();
                    document->load_buffer(text.data(), text.size());
                    return document;
                },
                [](const std::unique_ptr<pugi::xml_document>& tree) {
                    return tree ? CountElements(*tree) : 0;
                });
    } catch (const std::exception& error) {
        std::fprintf(stderr, "xml_parse: %s\n", error.what());
        return 1;
    } catch (const TSException& error) {
        std::fprintf(stderr, "xml_parse: %s\n", error.GetMessage().c_str());
        return 1;
    }
    std::fprintf(stderr, "xml_parse: unknown parser %s\n", which.c_str());
    return 2;
}
