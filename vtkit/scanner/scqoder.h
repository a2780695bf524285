#pragma once

#include "vtkit/scanner/scbase.h"
#include "vtkit/scanner/sckbdhook.h"
#include "vtkit/scanner/scqoderrx.h"
#include "vtkit/scanner/scqoderwin.h"

#include <cstdint>
#include <string>

// Receives the driver's trace events on its worker thread, under the
// scanner's monitor; it must not block.
class VTQoderTraceSink {
public:
    virtual ~VTQoderTraceSink();
    virtual void OnTrace(const char* text, int32_t number) = 0;
};

// A memory scanner on the keyboard connection (the Qoder and the Keyfob):
// to hand over its stored codes it types them. The driver hears the keys
// through the keyboard hook library, loaded when scanning starts, and its
// worker runs the receive states on its window's messages.
class VTQoderScanner : public VTBarcodeScanner, private VTQoderActions {
public:
    // Window messages.
    static constexpr uint32_t kKeyMessage = 1025;
    static constexpr uint32_t kDestroyMessage = 1026;
    static constexpr uint32_t kWakeMessage = 1027;
    static constexpr uint32_t kTimerId = 4660;

    // Results of the open step.
    static constexpr int kHookLibraryMissing = 2;
    static constexpr int kHookFailed = 4;

    // `hookLibrary`: the path of the hook library, or a bare name for the
    // system's library search.
    explicit VTQoderScanner(std::string hookLibrary = VTKeyboardHook::kLibraryName);
    ~VTQoderScanner() override;

    bool CanDetect() override;

    // Not owned; null stops tracing.
    void SetTraceSink(VTQoderTraceSink* sink);
    // Why the last Start failed, for callers that show more than the result.
    std::string GetLastOpenError() const;
    // The hook library's error number behind the last failed Start, or 0.
    int GetHookError() const;

protected:
    int OpenForDetect() override;
    int OpenForScan() override;
    void RunScan() override;
    void CloseAfterScan() override;
    void Abort() override;

private:
    // Runs the window's messages while `more` holds and, when given, until
    // the deadline.
    template <class More> void Pump(More more, VTQoderWindow::Clock::time_point until);
    void Dispatch(const VTQoderWindow::Message& message);
    void StopAfterADownload();
    // Removes the hook, empties the window and unloads the library; does
    // nothing when already done.
    void Shutdown();
    void FailOpen(const std::string& why, int hookError);

    int ToggleLock(uint32_t virtualKey) override;
    int SetCapture(bool on) override;
    int ResetHook() override;
    void SetTimer(uint32_t periodMs) override;
    void KillTimer() override;
    void Trace(const char* text, int32_t number) override;
    void Failed(const char* what, int error) override;
    void DownloadError(int code) override;
    void Deliver(const VTScanDataSet& scans) override;

    const std::string m_hookLibrary;
    VTKeyboardHook m_hook;
    VTQoderWindow m_window;
    VTKeyboardHook::Window m_hookedWindow = -1; // while the hook is set
    bool m_failed = false;                      // an entry point failed this run
    VTQoderReceiver m_receiver{*this};
    // Under the monitor.
    VTQoderTraceSink* m_traceSink = nullptr;
    std::string m_lastOpenError;
    int m_hookError = 0;
};
