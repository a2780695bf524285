#pragma once

#include "vtkit/cdbase.h"
#include "vtkit/cdformat.h"
#include "vtkit/svrdata.h"
#include "vtkit/vtbatchlist.h"

#include <cstddef>
#include <string>
#include <vector>

class VTToolkit;

// A warm cache and a batch of codes that it answers, generated from a seed:
// retail code ranges of one company prefix each (a few broad ranges that
// overlap them come last, as a catch-all would), one routing key per range,
// and codes of every retail type plus Numicodes and URL codes.
struct BatchCode {
    VTCodeType type;
    std::string text;
    // The server ID that the code's format cuts out ("" for URL codes).
    std::string serverId;
    // The format and the template that answer the code (-1: none needed).
    int format;
    int record;
};

struct BatchData {
    std::vector<VTCodeFormat> formats;
    std::vector<VTServerData> records;
    std::vector<BatchCode> codes;
};

// `entries` formats and as many routing keys; `codes` codes.
BatchData MakeBatchData(std::size_t entries, std::size_t codes, unsigned seed);

// The page template of every generated routing key.
inline constexpr const char* kBenchGetTemplate =
    "http://127.0.0.1:8470/item?type=<^CODETYPE^>&sid=<^%SID^>&iid=<^%IID^>&user=<^%USER^>";

// Runs the list through the toolkit's batch processor (no listener but the
// one that waits for the end); false when it did not start.
bool RunBatch(VTToolkit& toolkit, const VTBatchCodeList& list);
