#pragma once

#include "vtkit/vttoolkit.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <vector>

// Records what an exchange tells its listener, for the test thread to wait on.
class ExchangeWaiter : public VTToolkitServerListener {
public:
    enum Outcome { kNone, kSuccess, kFailure };

    void OnServerProgress(int, int) override
    {
        std::lock_guard guard(m_lock);
        ++m_progress;
    }
    void OnServerSuccess() override { Tell(kSuccess); }
    void OnServerFailure() override { Tell(kFailure); }

    // The next outcome, or kNone when none came in time.
    Outcome Wait(std::chrono::seconds timeout = std::chrono::seconds(30))
    {
        std::unique_lock guard(m_lock);
        if (!m_changed.wait_for(guard, timeout, [&] { return !m_outcomes.empty(); }))
            return kNone;
        const Outcome outcome = m_outcomes.front();
        m_outcomes.erase(m_outcomes.begin());
        return outcome;
    }

    int Progress() const
    {
        std::lock_guard guard(m_lock);
        return m_progress;
    }
    std::size_t Pending() const
    {
        std::lock_guard guard(m_lock);
        return m_outcomes.size();
    }

private:
    void Tell(Outcome outcome)
    {
        {
            std::lock_guard guard(m_lock);
            m_outcomes.push_back(outcome);
        }
        m_changed.notify_all();
    }

    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<Outcome> m_outcomes;
    int m_progress = 0;
};
