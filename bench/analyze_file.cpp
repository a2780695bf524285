// analyze_file FILE: analyses every line of FILE as a typed text and prints,
// on one line, how many had at least one candidate and the wall-clock
// seconds the analysis took (reading the file not included).
#include "bench/corpus.h"
#include "vtkit/cdanalyze.h"

#include <chrono>
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: analyze_file FILE\n");
        return 2;
    }
    const std::vector<std::string> texts = ReadLines(argv[1]);
    if (texts.empty()) {
        std::fprintf(stderr, "analyze_file: nothing to read in %s\n", argv[1]);
        return 1;
    }
    std::vector<VTCodeType> candidates;
    long recognised = 0;
    const auto start = std::chrono::steady_clock::now();
    for (const auto& text : texts) {
        AnalyzeCode(std::string_view(text), candidates, kScanTypeUnknown, false);
        recognised += !candidates.empty();
    }
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    std::printf("%ld %.6f\n", recognised, seconds.count());
    return 0;
}
