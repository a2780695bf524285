#pragma once

#include <string>

// Two hundred codes with descriptions against lumora-refserver on loopback,
// every round with empty caches, beside the same HTTP requests sent one
// after another with libcurl. The requests are recorded once through a
// loopback relay; the queries of every timed round are counted from the
// server's log. With `batchOnly` the libcurl rounds are left out, for
// profiling the batch alone.
int ColdBatch(const std::string& refserver, const std::string& sampleData, int rounds,
              bool batchOnly = false);
