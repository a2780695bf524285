// AnalyzeCode over the mixed corpus of one million texts, beside its floor
// (a bare EAN-13 check-digit loop over the corpus's 13-digit texts) and the
// tool a user would pick instead (python3-stdnum judging the numeric
// subset), all in one run. Compare the items_per_second columns.
#include "bench/corpus.h"
#include "vtkit/cdanalyze.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <stdexcept>

namespace {

const std::vector<std::string>& Texts(const char* path)
{
    static std::vector<std::string> corpus = ReadLines(LUMORA_CORPUS);
    static std::vector<std::string> numeric = ReadLines(LUMORA_CORPUS_NUMERIC);
    const auto& texts = std::string_view(path) == LUMORA_CORPUS ? corpus : numeric;
    if (texts.empty())
        throw std::runtime_error(std::string("no corpus at ") + path);
    return texts;
}

void AnalyzeAll(benchmark::State& state, const char* path)
{
    const auto& texts = Texts(path);
    std::vector<VTCodeType> candidates;
    long recognised = 0;
    for (auto _ : state) {
        for (const auto& text : texts) {
            AnalyzeCode(std::string_view(text), candidates, kScanTypeUnknown, false);
            recognised += !candidates.empty();
        }
    }
    benchmark::DoNotOptimize(recognised);
    state.SetItemsProcessed(state.iterations() * static_cast<long>(texts.size()));
}

void BM_AnalyzeCode(benchmark::State& state)
{
    AnalyzeAll(state, LUMORA_CORPUS);
}

void BM_AnalyzeCodeNumeric(benchmark::State& state)
{
    AnalyzeAll(state, LUMORA_CORPUS_NUMERIC);
}

// The least any EAN-13 test can do: one weighted sum per 13-digit text.
void BM_Ean13CheckDigitFloor(benchmark::State& state)
{
    std::vector<const std::string*> thirteen;
    for (const auto& text : Texts(LUMORA_CORPUS))
        if (text.size() == 13 && text.find_first_not_of("0123456789") == std::string::npos)
            thirteen.push_back(&text);
    long valid = 0;
    for (auto _ : state) {
        for (const std::string* text : thirteen) {
            const char* d = text->data();
            unsigned sum = 0;
            for (int i = 0; i < 12; ++i)
                sum += static_cast<unsigned>(d[i] - '0') * (i % 2 ? 3 : 1);
            valid += static_cast<unsigned>(d[12] - '0') == (10 - sum % 10) % 10;
        }
    }
    benchmark::DoNotOptimize(valid);
    state.SetItemsProcessed(state.iterations() * static_cast<long>(thirteen.size()));
}

// One python process per iteration; the CPU time of its validation loop
// (start-up and reading excluded) is the iteration time, as CPU time is what
// the other rates count on a shared machine.
void BM_Python3Stdnum(benchmark::State& state)
{
    const auto& texts = Texts(LUMORA_CORPUS_NUMERIC);
    const std::string command =
        std::string(LUMORA_SYSTEM_PYTHON) + " '" + LUMORA_STDNUM_SCRIPT + "' '" + LUMORA_CORPUS_NUMERIC + "'";
    for (auto _ : state) {
        FILE* pipe = popen(command.c_str(), "r");
        long valid = 0;
        double wallSeconds = 0;
        double seconds = 0;
        const bool read = pipe && std::fscanf(pipe, "%ld %lf %lf", &valid, &wallSeconds, &seconds) == 3;
        if (pipe)
            pclose(pipe);
        if (!read) {
            state.SkipWithError("python3-stdnum did not answer");
            return;
        }
        state.SetIterationTime(seconds);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<long>(texts.size()));
}

BENCHMARK(BM_AnalyzeCode)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_AnalyzeCodeNumeric)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Ean13CheckDigitFloor)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Python3Stdnum)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

} // namespace

BENCHMARK_MAIN();
