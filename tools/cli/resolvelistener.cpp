#include "tools/cli/resolvelistener.h"

#include <algorithm>

ResolveListener::Decision ResolveListener::OnBatchError(std::int32_t phase, const VTServerError& error,
                                                        const std::string& serverName)
{
    std::lock_guard guard(m_lock);
    m_failures.push_back({phase, serverName, error});
    return kGoOn;
}

void ResolveListener::OnBatchProgress(std::int32_t, std::int32_t position, std::int32_t total)
{
    m_position = position;
    m_total = total;
}

void ResolveListener::OnBatchFinished()
{
    {
        std::lock_guard guard(m_lock);
        m_finished = true;
    }
    m_changed.notify_all();
}

bool ResolveListener::WaitFinished(std::chrono::milliseconds timeout)
{
    std::unique_lock guard(m_lock);
    return m_changed.wait_for(guard, timeout, [&] { return m_finished; });
}

int ResolveListener::Percent() const
{
    const int total = m_total;
    return total > 0 ? std::min(100, 100 * m_position / total) : 0;
}

std::vector<QueryFailure> ResolveListener::Failures() const
{
    std::lock_guard guard(m_lock);
    return m_failures;
}

std::string ResolveListener::Describe(const VTServerError& error)
{
    std::string text = error.GetErrorCode() + " " + error.GetMessage();
    if (!error.GetDetails().empty())
        text += " (" + error.GetDetails() + ")";
    return text;
}
