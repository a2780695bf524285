#include "tests/scanner/scanrecorder.h"

#include <utility>

ScanRecorder::~ScanRecorder()
{
    DetachFromScanner();
}

void ScanRecorder::OnScanData(VTScanDataSet scans)
{
    std::function<void()> hook;
    {
        std::lock_guard lock(m_lock);
        std::vector<VTScanData> delivery;
        for (std::size_t i = 0; i < scans.GetCount(); ++i)
            delivery.push_back(scans.GetAt(i));
        m_deliveries.push_back(std::move(delivery));
        hook = std::exchange(m_onScanData, nullptr);
    }
    if (hook)
        hook();
    m_changed.notify_all();
}

void ScanRecorder::OnDetectResult(int found)
{
    {
        std::lock_guard lock(m_lock);
        m_detectResults.push_back(found);
    }
    m_changed.notify_all();
}

void ScanRecorder::OnScannerStopped()
{
    {
        std::lock_guard lock(m_lock);
        ++m_stopped;
    }
    m_changed.notify_all();
}

void ScanRecorder::OnDownloadError(int code)
{
    {
        std::lock_guard lock(m_lock);
        m_downloadErrors.push_back(code);
    }
    m_changed.notify_all();
}

void ScanRecorder::OnScannerError(const char* message)
{
    {
        std::lock_guard lock(m_lock);
        m_errors.emplace_back(message ? message : "");
    }
    m_changed.notify_all();
}

std::vector<std::vector<VTScanData>> ScanRecorder::Deliveries() const
{
    std::lock_guard lock(m_lock);
    return m_deliveries;
}

std::vector<VTScanData> ScanRecorder::Scans() const
{
    std::lock_guard lock(m_lock);
    std::vector<VTScanData> all;
    for (const auto& delivery : m_deliveries)
        all.insert(all.end(), delivery.begin(), delivery.end());
    return all;
}

std::vector<int> ScanRecorder::DetectResults() const
{
    std::lock_guard lock(m_lock);
    return m_detectResults;
}

std::vector<int> ScanRecorder::DownloadErrors() const
{
    std::lock_guard lock(m_lock);
    return m_downloadErrors;
}

std::vector<std::string> ScanRecorder::Errors() const
{
    std::lock_guard lock(m_lock);
    return m_errors;
}

int ScanRecorder::StoppedCount() const
{
    std::lock_guard lock(m_lock);
    return m_stopped;
}

bool ScanRecorder::WaitForScans(std::size_t count, Ms timeout) const
{
    return WaitFor([this, count] { return Scans().size() >= count; }, timeout);
}

bool ScanRecorder::WaitForStopped(int count, Ms timeout) const
{
    return WaitFor([this, count] { return StoppedCount() >= count; }, timeout);
}

// The condition takes the lock itself, so it is checked after each change
// and at least every 20 ms.
bool ScanRecorder::WaitFor(const std::function<bool()>& condition, Ms timeout) const
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::unique_lock lock(m_lock);
        m_changed.wait_for(lock, Ms(20));
    }
    return true;
}

void ScanRecorder::SetOnScanData(std::function<void()> hook)
{
    std::lock_guard lock(m_lock);
    m_onScanData = std::move(hook);
}
