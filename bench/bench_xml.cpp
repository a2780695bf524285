// Parsing cache-shaped documents into a tree, side by side with expat
// building a tree of 16-bit strings, expat alone and pugixml; formatting
// the same tree; the tree's memory against the document's size.
#include "bench/xmlbench.h"

#include "tst/xml/dom/domarena.h"
#include "tst/xml/dom/domnode.h"
#include "tst/xml/io/domformat.h"
#include "tst/xml/io/domparse.h"
#include "tst/xml/io/xmlsink.h"
#include "tst/xml/io/xmlsource.h"
#include "tst/xml/transcode.h"
#include "tst/xml/xmlexcep.h"

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <functional>
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

struct Document {
    std::string m_name;
    std::string m_bytes;
};

TSDomDocument ParseOurs(const std::string& bytes)
{
    TSXmlUtf8DataSource source(bytes);
    TSDomParser parser(&source);
    return parser.Parse();
}

TSDomDocument ParseOursDecodedFirst(const std::string& bytes)
{
    TSXmlMemoryDataSource source(Utf8ToWide(bytes));
    TSDomParser parser(&source);
    return parser.Parse();
}

std::unique_ptr<pugi::xml_document> ParsePugixml(const std::string& bytes)
{
    auto document = std::make_unique<pugi::xml_document>();
    if (!document->load_buffer(bytes.data(), bytes.size()))
        throw std::runtime_error("pugixml refused the document");
    return document;
}

// Times parsing alone (freeing the tree is paused) or parsing and freeing.
template <class Parse>
void Parsing(benchmark::State& state, const Document& document, Parse parse, bool withFree)
{
    for (auto _ : state) {
        auto tree = parse(document.m_bytes);
        benchmark::DoNotOptimize(tree);
        if (withFree) {
            Drop(tree);
        } else {
            state.PauseTiming();
            Drop(tree);
            state.ResumeTiming();
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(document.m_bytes.size()));
}

// The tree's share of the heap, in bytes per byte of document.
template <class Parse> void Memory(benchmark::State& state, const Document& document, Parse parse)
{
    std::size_t used = 0;
    for (auto _ : state) {
        TSDomArena::ReleaseKeptBlocks(); // count every block of this tree
        const std::size_t before = HeapInUse();
        auto tree = parse(document.m_bytes);
        used = HeapInUse() - before;
        benchmark::DoNotOptimize(tree);
    }
    state.counters["tree_bytes"] = static_cast<double>(used);
    state.counters["per_doc_byte"] = static_cast<double>(used) / document.m_bytes.size();
}

// A new sink each time (its string grows from 64 characters), or one sink
// whose room is kept from the previous document.
void FormatOurs(benchmark::State& state, const Document& document, bool toUtf8, bool reuseSink = false)
{
    const TSDomDocument tree = ParseOurs(document.m_bytes);
    TSXmlDataBufferSink kept;
    for (auto _ : state) {
        TSXmlDataBufferSink fresh;
        TSXmlDataBufferSink& sink = reuseSink ? kept : fresh;
        sink.Clear();
        TSDomFormatter formatter(&sink);
        formatter.SetIndentWidth(4);
        formatter.Format(tree);
        if (toUtf8)
            benchmark::DoNotOptimize(WideToUtf8(sink.GetText()));
        benchmark::DoNotOptimize(sink.GetText().data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(document.m_bytes.size()));
}

void FormatPugixml(benchmark::State& state, const Document& document)
{
    const auto tree = ParsePugixml(document.m_bytes);
    for (auto _ : state) {
        struct Writer : pugi::xml_writer {
            std::string m_text;
            void write(const void* data, std::size_t size) override
            {
                m_text.append(static_cast<const char*>(data), size);
            }
        } writer;
        tree->save(writer, "    ");
        benchmark::DoNotOptimize(writer.m_text.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(document.m_bytes.size()));
}

void Register(const Document& document)
{
    const auto add = [&](const std::string& what, std::function<void(benchmark::State&)> run) {
        benchmark::RegisterBenchmark((what + "/" + document.m_name).c_str(), run)
            ->Unit(benchmark::kMillisecond);
    };
    const Document* d = &document;
    const auto expatOnly = [](const std::string& bytes) { return ParseExpatOnly(bytes); };
    for (const bool withFree : {false, true}) {
        const std::string kind = withFree ? "ParseAndFree" : "Parse";
        add(kind + "/lumora", [=](auto& s) { Parsing(s, *d, ParseOurs, withFree); });
        add(kind + "/lumora_decoded_first",
            [=](auto& s) { Parsing(s, *d, ParseOursDecodedFirst, withFree); });
        add(kind + "/expat_tree16", [=](auto& s) { Parsing(s, *d, ParseExpatTree, withFree); });
        add(kind + "/pugixml", [=](auto& s) { Parsing(s, *d, ParsePugixml, withFree); });
    }
    add("Parse/expat_alone", [=](auto& s) { Parsing(s, *d, expatOnly, false); });
    add("Format/lumora_utf16", [=](auto& s) { FormatOurs(s, *d, false); });
    add("Format/lumora_utf8", [=](auto& s) { FormatOurs(s, *d, true); });
    add("Format/lumora_utf16_kept_sink", [=](auto& s) { FormatOurs(s, *d, false, true); });
    add("Format/pugixml", [=](auto& s) { FormatPugixml(s, *d); });
    add("Memory/lumora", [=](auto& s) { Memory(s, *d, ParseOurs); });
    add("Memory/expat_tree16", [=](auto& s) { Memory(s, *d, ParseExpatTree); });
    add("Memory/pugixml", [=](auto& s) { Memory(s, *d, ParsePugixml); });
}

// One element with `count` distinct attributes, as a hostile reply may send.
std::string MakeManyAttributes(std::size_t count)
{
    std::string bytes = "<XSPLIT";
    for (std::size_t i = 0; i < count; ++i)
        bytes.append(" a").append(std::to_string(i)).append("=\"1\"");
    bytes.append("/>");
    return bytes;
}

// With the attribute limit raised to the count, so that the whole element is read.
TSDomDocument ParseOursUnlimited(const std::string& bytes)
{
    TSXmlUtf8DataSource source(bytes);
    TSDomParser parser(&source);
    parser.SetLimits({bytes.size(), TSDomParser::Limits{}.m_maxDepth});
    return parser.Parse();
}

// The default limits refuse the element at its limit.
void Refusing(benchmark::State& state, const Document& document)
{
    for (auto _ : state) {
        try {
            benchmark::DoNotOptimize(ParseOurs(document.m_bytes));
            state.SkipWithError("the element was not refused");
        } catch (const TSXmlException&) {
        }
    }
}

// Parsing time grows with the count alone, never with its square.
void RegisterManyAttributes()
{
    static std::vector<Document> documents;
    for (const std::size_t count : {25000u, 200000u})
        documents.push_back({"attributes_" + std::to_string(count / 1000) + "k", MakeManyAttributes(count)});
    for (const Document& document : documents) {
        const Document* d = &document;
        const auto expatOnly = [](const std::string& bytes) { return ParseExpatOnly(bytes); };
        benchmark::RegisterBenchmark(("Parse/lumora/" + d->m_name).c_str(), [=](auto& s) {
            Parsing(s, *d, ParseOursUnlimited, false);
        })->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Refuse/lumora/" + d->m_name).c_str(), [=](auto& s) {
            Refusing(s, *d);
        })->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Parse/expat_alone/" + d->m_name).c_str(), [=](auto& s) {
            Parsing(s, *d, expatOnly, false);
        })->Unit(benchmark::kMillisecond);
    }
}

} // namespace

int main(int argc, char** argv)
{
    static std::vector<Document> documents;
    for (const auto& [label, bytes] :
         {std::pair{"100KB", 100u << 10}, std::pair{"1MB", 1u << 20}, std::pair{"10MB", 10u << 20}}) {
        documents.push_back({std::string("formats_") + label, MakeFormatCache(bytes)});
        documents.push_back({std::string("templates_") + label, MakeTemplateCache(bytes)});
    }
    for (const Document& document : documents)
        Register(document);
    RegisterManyAttributes();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
