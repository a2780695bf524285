#pragma once

#include "tools/cli/cliargs.h"
#include "tools/cli/resolvelistener.h"
#include "tools/cli/resolvereasons.h"
#include "vtkit/vtbatchlist.h"

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

// What one resolve run ended with, and what its report needs to know.
struct ResolveRun {
    std::vector<std::string> typed; // each code as given
    std::vector<VTBatchCode> codes;
    std::vector<QueryFailure> failures;
    VTServerError lastError;
    ServerRoute routing;
    TSHttpTimeouts timeouts;
    bool describe = false;
    bool offline = false;
};

// Why a code ended without what was asked: plain words, and the toolkit's
// own text where there is one.
struct CodeReason {
    std::string error;
    std::string detail;
};

CodeReason ReasonOf(const ResolveRun& run, std::size_t index);

// The code ended with an address (status 19, or 15 to 18 with descriptions).
bool HasAddress(const VTBatchCode& code, bool describe);

// One line per failed query, on standard error.
void PrintQueryFailures(std::ostream& err, const ResolveRun& run);
// One line per code, in input order.
void PrintResults(const CliArgs& args, const ResolveRun& run);
// How many codes got an address, when some did not or a person reads
// standard error; and the hint to go offline when the network failed but
// the caches could answer.
void PrintSummary(std::ostream& err, const CliArgs& args, const ResolveRun& run, bool errorsOnTerminal);
