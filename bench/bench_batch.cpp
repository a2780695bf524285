// Resolving codes against warm caches, addresses only (mode 0): the batch
// processor over the whole list, and per code the format lookup,
// decomposition and display text, the routing-key lookup and the address
// from the "GET" template with the toolkit's caches, beside the same work
// with both lookups in plain std::unordered_map keyed by the exact code (the
// floor), at two cache sizes, interleaved in rounds in one run.
//
//   bench_batch warm [CODES] [ROUNDS]         10,000 and 20,000 entries
//   bench_batch only batch|cache|floor ENTRIES [CODES]
//                                             one pass, for whole-process timing
//   bench_batch cold [ROUNDS] [batch]         200 codes with descriptions
//                                             against lumora-refserver, beside
//                                             libcurl (bench/coldbatch.h);
//                                             "batch" leaves libcurl out
#include "bench/batchdata.h"
#include "bench/coldbatch.h"
#include "tst/tsstrsub.h"
#include "vtkit/cdanalyze.h"
#include "vtkit/vtbatch.h"
#include "vtkit/vttoolkit.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kDefaultCodes = 100000;
constexpr int kDefaultRounds = 9;

struct Resolved {
    std::string text;
    std::string url;
};

// The lookups of the toolkit's caches, in normal operation (no expired entries).
class CacheLookups {
public:
    explicit CacheLookups(const BatchData& data)
    {
        for (const auto& format : data.formats)
            m_toolkit.GetCache().AddFormat(format);
        for (const auto& record : data.records)
            m_toolkit.GetCache().AddTemplate(record);
    }

    bool FindFormat(int type, const std::string& code, VTCodeFormat& format) const
    {
        return m_toolkit.GetCache().FindFormat(type, code, format, false);
    }
    bool FindTemplate(int type, const std::string& serverId, VTServerData& record) const
    {
        return m_toolkit.GetCache().FindTemplate(type, serverId, record, false);
    }
    VTToolkit& Toolkit() const { return m_toolkit; }

private:
    mutable VTToolkit m_toolkit;
};

// The floor: each code's format under its exact text, each routing key
// under its type and server ID.
class MapLookups {
public:
    explicit MapLookups(const BatchData& data)
    {
        for (const auto& code : data.codes)
            if (code.format >= 0)
                m_formats.emplace(code.text, data.formats[static_cast<std::size_t>(code.format)]);
        for (const auto& record : data.records)
            m_records.emplace(Key(record.GetCodeType(), record.GetKey()), record);
    }

    bool FindFormat(int, const std::string& code, VTCodeFormat& format) const
    {
        const auto it = m_formats.find(code);
        if (it == m_formats.end())
            return false;
        format = it->second;
        return true;
    }
    bool FindTemplate(int type, const std::string& serverId, VTServerData& record) const
    {
        const auto it = m_records.find(Key(type, serverId));
        if (it == m_records.end())
            return false;
        record = it->second;
        return true;
    }

private:
    static std::string Key(int type, const std::string& serverId)
    {
        std::string key(1, static_cast<char>('A' + type));
        key += serverId;
        return key;
    }

    std::unordered_map<std::string, VTCodeFormat> m_formats;
    std::unordered_map<std::string, VTServerData> m_records;
};

// What the batch does for one code of mode 0 once the caches are warm:
// recognition with the cached format, routing with the cached key, and the
// address from the "GET" template, client variables first.
template <class Lookups>
bool Resolve(const Lookups& lookups, const TSStringSubst& clientSubst, const BatchCode& code, Resolved& out)
{
    if (code.type == kCodeUrl) {
        out.text = out.url = code.text;
        return true;
    }
    VTCodeFormat format;
    format.SetCodeType(code.type);
    if (RequiresCodeFormat(code.type) && !lookups.FindFormat(code.type, code.text, format))
        return false;
    VTCodeContents contents;
    DecomposeAs(code.text.c_str(), code.type, format, contents);
    out.text = format.FormatForDisplay(code.text);
    VTServerData record;
    if (!lookups.FindTemplate(code.type, contents.GetServerId(), record) ||
        !record.GetCommand(kCommandGet, out.url))
        return false;
    clientSubst.Substitute(out.url);
    TSStringMap pairs;
    contents.ExportTo(pairs);
    TSStringSubst::ForTemplates(pairs).Substitute(out.url);
    return true;
}

TSStringSubst ClientSubst(const VTToolkit& toolkit)
{
    TSStringMap variables;
    toolkit.AddClientVariables(variables);
    TSStringSubst subst(variables, TSStringSubst::kByPrefix, 0, '^', 0);
    subst.SetDelimiters("<^", "^>");
    return subst;
}

template <class Lookups>
std::size_t ResolveAll(const Lookups& lookups, const TSStringSubst& clientSubst, const BatchData& data,
                       std::vector<Resolved>* results)
{
    std::size_t failures = 0;
    Resolved resolved;
    for (const auto& code : data.codes) {
        if (!Resolve(lookups, clientSubst, code, resolved))
            ++failures;
        if (results)
            results->push_back(resolved);
    }
    return failures;
}

// Both lookups alone, for the server IDs the codes carry.
template <class Lookups> std::size_t LookUpAll(const Lookups& lookups, const BatchData& data)
{
    std::size_t found = 0;
    VTCodeFormat format;
    VTServerData record;
    for (const auto& code : data.codes) {
        if (code.format >= 0)
            found += lookups.FindFormat(code.type, code.text, format);
        if (code.record >= 0)
            found += lookups.FindTemplate(code.type, code.serverId, record);
    }
    return found;
}

struct Variant {
    Variant(std::string name, std::function<std::size_t()> run, std::function<void()> prepare = {})
        : name(std::move(name)), run(std::move(run)), prepare(std::move(prepare))
    {
    }

    std::string name;
    std::function<std::size_t()> run; // returns a figure that must not change
    std::function<void()> prepare;    // untimed, before each run
    std::vector<double> nanosPerCode;
    std::size_t figure = 0;
    bool steady = true;
};

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The caches and the floor of one size, checked to give the same text and
// address for every code before anything is timed.
struct SizedRun {
    BatchData data;
    CacheLookups cache;
    MapLookups floor;
    TSStringSubst clientSubst;

    VTBatchCodeList codes;
    VTBatchCodeList batch;

    SizedRun(std::size_t entries, std::size_t codeCount)
        : data(MakeBatchData(entries, codeCount, static_cast<unsigned>(entries))), cache(data), floor(data),
          clientSubst(ClientSubst(cache.Toolkit()))
    {
        for (const auto& code : data.codes)
            codes.Add(VTBatchCode(code.type, code.text, VTBatchCode::kAddressOnly));
    }

    void PrepareBatch() { batch = codes.Copy(); }
    // The codes that ended done.
    std::size_t RunProcessor()
    {
        if (!RunBatch(cache.Toolkit(), batch))
            return 0;
        std::size_t done = 0;
        batch.ForEach(
            [&done](std::size_t, VTBatchCode& code) { done += code.GetStatus() == VTBatchCode::kDone; });
        return done;
    }

    bool Agree()
    {
        std::vector<Resolved> ours, theirs;
        const std::size_t failed = ResolveAll(cache, clientSubst, data, &ours);
        ResolveAll(floor, clientSubst, data, &theirs);
        PrepareBatch();
        RunProcessor();
        const std::vector<VTBatchCode> processed = batch.GetAll();
        for (std::size_t i = 0; i < ours.size(); ++i) {
            const VTBatchCode& code = processed[i];
            if (ours[i].url != theirs[i].url || ours[i].text != theirs[i].text ||
                code.GetUrl() != theirs[i].url || code.GetText() != theirs[i].text ||
                code.GetStatus() != VTBatchCode::kDone) {
                std::fprintf(stderr, "code %s: cache gives %s, batch %s (status %d), floor %s\n",
                             data.codes[i].text.c_str(), ours[i].url.c_str(), code.GetUrl().c_str(),
                             static_cast<int>(code.GetStatus()), theirs[i].url.c_str());
                return false;
            }
        }
        if (failed != 0)
            std::fprintf(stderr, "%zu codes did not resolve\n", failed);
        return failed == 0;
    }
};

int Warm(std::size_t codes, int rounds)
{
    std::vector<std::unique_ptr<SizedRun>> sizes;
    for (const std::size_t entries : {10000u, 20000u}) {
        sizes.push_back(std::make_unique<SizedRun>(entries, codes));
        if (!sizes.back()->Agree())
            return 1;
    }
    std::vector<Variant> variants;
    for (auto& size : sizes) {
        const std::string entries = std::to_string(size->data.formats.size());
        SizedRun& run = *size;
        variants.push_back({"batch processor, per code " + entries, [&run] { return run.RunProcessor(); },
                            [&run] { run.PrepareBatch(); }});
        variants.push_back({"cache, per code " + entries,
                            [&run] { return ResolveAll(run.cache, run.clientSubst, run.data, nullptr); }});
        variants.push_back({"floor, per code " + entries,
                            [&run] { return ResolveAll(run.floor, run.clientSubst, run.data, nullptr); }});
        variants.push_back(
            {"cache, lookups only " + entries, [&run] { return LookUpAll(run.cache, run.data); }});
        variants.push_back(
            {"floor, lookups only " + entries, [&run] { return LookUpAll(run.floor, run.data); }});
    }
    for (int round = 0; round < rounds; ++round) {
        for (auto& variant : variants) {
            if (variant.prepare)
                variant.prepare();
            const auto start = Clock::now();
            const std::size_t figure = variant.run();
            const double nanos = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
            variant.nanosPerCode.push_back(nanos / static_cast<double>(codes));
            if (round > 0 && figure != variant.figure)
                variant.steady = false;
            variant.figure = figure;
        }
    }
    std::printf("%zu codes, %d rounds; median ns per code\n", codes, rounds);
    for (const auto& variant : variants)
        std::printf("%-32s %10.1f%s\n", variant.name.c_str(), Median(variant.nanosPerCode),
                    variant.steady ? "" : "  (results changed between rounds)");
    const auto median = [&](std::size_t i) { return Median(variants[i].nanosPerCode); };
    // Five variants per size: batch, cache, floor, cache lookups, floor lookups.
    for (std::size_t at = 0; at < variants.size(); at += 5) {
        const std::string entries = std::to_string(sizes[at / 5]->data.formats.size());
        std::printf("\n%s entries\n", entries.c_str());
        std::printf("  batch processor / floor, per code: %.2f (goal <= 3.00)\n",
                    median(at) / median(at + 2));
        std::printf("  cache / floor, per code:           %.2f\n", median(at + 1) / median(at + 2));
        std::printf("  cache / floor, lookups only:       %.2f\n", median(at + 3) / median(at + 4));
    }
    std::printf("\n20,000 / 10,000 entries\n");
    std::printf("  batch processor, per code:         %.2f (goal < 1.20)\n", median(5) / median(0));
    std::printf("  cache, per code:                   %.2f\n", median(6) / median(1));
    std::printf("  cache, lookups only:               %.2f\n", median(8) / median(3));
    return 0;
}

int Only(const std::string& which, std::size_t entries, std::size_t codes)
{
    const BatchData data = MakeBatchData(entries, codes, static_cast<unsigned>(entries));
    std::size_t failures = 0;
    if (which == "batch") {
        const CacheLookups cache(data);
        VTBatchCodeList list;
        for (const auto& code : data.codes)
            list.Add(VTBatchCode(code.type, code.text, VTBatchCode::kAddressOnly));
        if (!RunBatch(cache.Toolkit(), list))
            return 1;
        list.ForEach([&failures](std::size_t, VTBatchCode& code) {
            failures += code.GetStatus() != VTBatchCode::kDone;
        });
    } else if (which == "cache") {
        const CacheLookups cache(data);
        failures = ResolveAll(cache, ClientSubst(cache.Toolkit()), data, nullptr);
    } else if (which == "floor") {
        const VTToolkit toolkit;
        failures = ResolveAll(MapLookups(data), ClientSubst(toolkit), data, nullptr);
    } else {
        return 2;
    }
    return failures == 0 ? 0 : 1;
}

int Usage()
{
    std::fprintf(stderr,
                 "usage: bench_batch warm [CODES] [ROUNDS] | only batch|cache|floor ENTRIES [CODES] | "
                 "cold [ROUNDS] [batch]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    const auto number = [&](std::size_t at, long fallback) {
        return args.size() > at ? std::max(1L, std::atol(args[at].c_str())) : fallback;
    };
    if (args.empty() || args[0] == "warm")
        return Warm(static_cast<std::size_t>(number(1, kDefaultCodes)),
                    static_cast<int>(number(2, kDefaultRounds)));
    if (args[0] == "cold")
        return ColdBatch(LUMORA_REFSERVER_PATH, LUMORA_SAMPLE_DATA, static_cast<int>(number(1, 15)),
                         args.size() > 2 && args[2] == "batch");
    if (args[0] == "only" && args.size() >= 3) {
        const int result = Only(args[1], static_cast<std::size_t>(number(2, 10000)),
                                static_cast<std::size_t>(number(3, kDefaultCodes)));
        return result == 2 ? Usage() : result;
    }
    return Usage();
}
