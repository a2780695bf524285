#pragma once

#include "vtkit/scanner/scandata.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

// A listener that keeps every event, for tests to wait on and check.
class ScanRecorder : public VTScannerListener {
public:
    using Ms = std::chrono::milliseconds;

    ScanRecorder() = default;
    ~ScanRecorder() override;

    void OnScanData(VTScanDataSet scans) override;
    void OnDetectResult(int found) override;
    void OnScannerStopped() override;
    void OnDownloadError(int code) override;
    void OnScannerError(const char* message) override;

    // Each delivery as its scans, in order.
    std::vector<std::vector<VTScanData>> Deliveries() const;
    // All scans of all deliveries, in order.
    std::vector<VTScanData> Scans() const;
    std::vector<int> DetectResults() const;
    std::vector<int> DownloadErrors() const;
    std::vector<std::string> Errors() const;
    int StoppedCount() const;

    // Bounded waits; false when the time ran out first.
    bool WaitForScans(std::size_t count, Ms timeout = Ms(10000)) const;
    bool WaitForStopped(int count = 1, Ms timeout = Ms(10000)) const;
    bool WaitFor(const std::function<bool()>& condition, Ms timeout = Ms(10000)) const;

    // Runs inside the next OnScanData, on the worker thread.
    void SetOnScanData(std::function<void()> hook);

private:
    void Changed();

    mutable std::mutex m_lock;
    mutable std::condition_variable m_changed;
    std::vector<std::vector<VTScanData>> m_deliveries;
    std::vector<int> m_detectResults;
    std::vector<int> m_downloadErrors;
    std::vector<std::string> m_errors;
    int m_stopped = 0;
    std::function<void()> m_onScanData;
};
