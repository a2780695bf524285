#pragma once

#include "vtkit/scanner/scandata.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

// Base of every scanner driver. A driver runs one worker thread at a time,
// either detecting whether its device answers or scanning until stopped, and
// reports to one listener. A recursive monitor guards the state, the
// listener pointer and the settings of derived drivers.
class VTBarcodeScanner {
public:
    // Run states.
    static constexpr int32_t kIdle = 0;
    static constexpr int32_t kDetecting = 1;
    static constexpr int32_t kScanning = 2;
    static constexpr int32_t kStopping = 3;
    static constexpr int32_t kFinished = 4; // never seen by callers: GetState reaps it

    // Results of Detect and Start besides the open step's failure codes.
    static constexpr int kStarted = 0;
    static constexpr int kCannotDetect = 1;

    VTBarcodeScanner();
    VTBarcodeScanner(const VTBarcodeScanner&) = delete;
    VTBarcodeScanner& operator=(const VTBarcodeScanner&) = delete;
    // Detaches the listener. Owners stop the scanner first; a worker still
    // running is asked to stop and joined rather than left behind.
    virtual ~VTBarcodeScanner();

    virtual bool CanDetect();
    // 0 = the worker runs; 1 = this driver cannot detect; otherwise the
    // failure code of the open step. Throws VTBarcodeScannerException
    // "State Error" when not idle, "Thread Error" when no thread starts.
    virtual int Detect();
    virtual int Start();
    // Asks the worker to end; with `wait`, joins it and returns to idle.
    // On the worker's own thread (a listener callback) it never waits.
    virtual void Stop(bool wait);

    // The run state; a worker that has finished is joined first, so the
    // answer is never kFinished.
    int GetState();

    // Not owned; null detaches. Waits until no callback to the previous
    // listener is in progress on another thread.
    void SetListener(VTScannerListener* listener);
    VTScannerListener* GetListener();

protected:
    virtual int OpenForDetect();
    virtual void RunDetect();
    virtual void CloseAfterDetect();
    virtual int OpenForScan();
    virtual void RunScan() = 0;
    virtual void CloseAfterScan();
    // Interrupts a worker that blocks outside the scanner's own waits.
    virtual void Abort();

    std::recursive_mutex& Monitor() const { return m_monitor; }
    // True while the worker should go on scanning; workers test it at the top
    // of each pass.
    bool IsScanning() const;
    // The state without reaping a finished worker.
    int32_t PeekState() const;
    // True on this scanner's worker thread.
    bool IsWorkerThread() const;

    // Listener calls of the workers. All but the unlocked ones hold the
    // monitor during the call, so a detached listener is never called.
    // An empty set is not delivered unless `evenIfEmpty`.
    void DeliverScanData(const VTScanDataSet& scans, bool evenIfEmpty = false);
    // Calls OnScanData without holding the monitor; SetListener still waits
    // for it to return.
    void DeliverScanDataUnlocked(const VTScanDataSet& scans);
    void DeliverDetectResult(int found);
    void DeliverDownloadError(int code);
    void DeliverScannerError(const std::string& message);

private:
    friend class VTScannerListener;

    int StartWorker(bool detect);
    void WorkerBody(bool detect);
    // Joins a finished worker, or with `stopping` one that was asked to stop,
    // and returns to idle.
    void Reap(bool stopping);
    // Detaches `listener` if it is still the current one.
    void Detach(VTScannerListener* listener);
    void Attach(VTScannerListener* listener, VTScannerListener* expected, bool onlyIfExpected);

    // A listener call made without the monitor: Begin reads the listener and
    // counts the call under the monitor; the guard counts it out.
    VTScannerListener* BeginCallOutside();
    struct CallOutside {
        VTBarcodeScanner* m_scanner;
        ~CallOutside();
    };

    mutable std::recursive_mutex m_monitor;
    int32_t m_state = kIdle;
    std::thread m_thread;
    VTScannerListener* m_listener = nullptr;
    // Listener calls made without the monitor and not yet returned.
    int m_callsOutside = 0;
    std::condition_variable_any m_callsDone;
    // Serialises the joins of Stop and GetState.
    std::mutex m_joinLock;
};
