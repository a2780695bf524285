#pragma once

#include "vtkit/scanner/scbase.h"

#include <csignal>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// What the worker reports, kept for the main thread, which prints it.
class ScanEvents : public VTScannerListener {
public:
    struct Event {
        std::vector<VTScanData> scans;
        std::optional<int> found;
        std::optional<std::string> error;
        bool stopped = false;
        bool delivered = false; // a keyboard scanner's download may be empty
        std::optional<int> downloadError;
    };

    explicit ScanEvents(int wakeFd) : m_wakeFd(wakeFd) {}
    ~ScanEvents() override { DetachFromScanner(); }

    std::vector<Event> Take()
    {
        std::lock_guard lock(m_lock);
        return std::move(m_events);
    }

    void OnScanData(VTScanDataSet set) override
    {
        Event event;
        for (std::size_t i = 0; i < set.GetCount(); ++i)
            event.scans.push_back(set.GetAt(i));
        event.delivered = true;
        Push(std::move(event));
    }
    void OnDetectResult(int found) override
    {
        PushFilled([&](Event& event) { event.found = found; });
    }
    void OnScannerError(const char* message) override
    {
        PushFilled([&](Event& event) { event.error = message; });
    }
    void OnScannerStopped() override
    {
        PushFilled([](Event& event) { event.stopped = true; });
    }
    void OnDownloadError(int code) override
    {
        PushFilled([&](Event& event) { event.downloadError = code; });
    }

private:
    template <class Fill> void PushFilled(Fill fill)
    {
        Event event;
        fill(event);
        Push(std::move(event));
    }
    void Push(Event event);

    int m_wakeFd;
    std::mutex m_lock;
    std::vector<Event> m_events;
};

// The wake pipe and the Ctrl-C handlers for the life of one scan.
class Interruption {
public:
    Interruption();
    ~Interruption();
    Interruption(const Interruption&) = delete;
    Interruption& operator=(const Interruption&) = delete;

    int WakeFd() const { return m_pipe[1]; }
    // Waits for a wake-up or the time-out (-1: none) and empties the pipe.
    void Wait(int timeoutMs);
    // Ctrl-C (or SIGTERM) came.
    bool Interrupted() const;

private:
    int m_pipe[2];
    struct sigaction m_previousInt {};
    struct sigaction m_previousTerm {};
};

// Starts the worker (or the detection) with Ctrl-C blocked, so the handler
// runs on this thread. Returns what the scanner's Start or Detect returns.
int StartWorker(VTBarcodeScanner& scanner, bool detect);
