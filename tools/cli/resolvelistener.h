#pragma once

#include "vtkit/svrerror.h"
#include "vtkit/vtbatch.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// A query of the batch that failed: its phase (format, template or
// description query), the description server's name for the last, and the
// toolkit's error record.
struct QueryFailure {
    std::int32_t phase = 0;
    std::string serverName;
    VTServerError error;
};

// Holds the main thread until the batch ends; keeps what the batch said on
// the way. Failed queries are skipped: the batch goes on with what the
// caches hold and with the other description servers, as it does without a
// user to ask.
class ResolveListener : public VTBatchCodeListener {
public:
    Decision OnBatchError(std::int32_t phase, const VTServerError& error,
                          const std::string& serverName) override;
    void OnBatchProgress(std::int32_t phase, std::int32_t position, std::int32_t total) override;
    void OnBatchFinished() override;

    // False when the wait timed out before the end.
    bool WaitFinished(std::chrono::milliseconds timeout);
    int Percent() const;
    std::vector<QueryFailure> Failures() const;

    // "T-302-4 Transaction Failed (details)": the toolkit's own words.
    static std::string Describe(const VTServerError& error);

private:
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<QueryFailure> m_failures;
    bool m_finished = false;
    std::atomic<int> m_position{0};
    std::atomic<int> m_total{0};
};
