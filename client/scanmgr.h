#pragma once

#include "client/docstate.h"
#include "client/scannertype.h"
#include "vtkit/scanner/scandata.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class CAppContext;
class CUiPort;
class CScannerMgr;
class VTBarcodeScanner;
class VTSerialBarcodeScanner;
enum class CViewMessageId : std::int32_t;

namespace platform {
class ScreenWaker;
}

// What the scanner manager needs of the document; CClientDoc implements it.
// State() is also read on the drivers' threads, so it must be safe to call
// from any thread (an atomic).
class CScannerHost {
public:
    virtual ~CScannerHost();
    virtual CDocState State() const = 0;
    virtual CUiPort& Port() = 0;
    // The configuration, the language texts and the driver factory.
    virtual CAppContext& Context() = 0;
};

// The auto-detection dialog as the detection needs it; the settings pages
// implement it with widgets, tests with a recorder. Main thread only.
class CAutoDetectUi {
public:
    virtual ~CAutoDetectUi();
    // The instruction for the scanner; true for OK, false for Cancel.
    virtual bool ShowInstructions(const std::string& text) = 0;
    // Detection runs: the owner is disabled, the progress bar and text shown.
    virtual void SetProgress(std::int32_t position, std::int32_t range) = 0;
    virtual void SetText(const std::string& text) = 0;
    // Detection ended: the port index found, or none (timed out or failed).
    // Re-enable and re-activate the owner and close the dialog.
    virtual void Finish(std::optional<std::int32_t> foundPort) = 0;
};

// Receives one driver's callbacks on its worker thread and hands them to
// the manager, which only stores and posts.
class CScannerListener : public VTScannerListener {
public:
    enum class Role { kReading, kDetecting };

    CScannerListener(CScannerMgr& manager, Role role);
    ~CScannerListener() override;

    void OnScanData(VTScanDataSet scans) override;
    void OnDetectResult(int found) override;
    void OnScannerStopped() override;
    void OnDownloadError(int code) override;
    void OnScannerError(const char* message) override;

private:
    CScannerMgr& m_manager;
    const Role m_role;
};

// The client's owner of the one configured scanner: creates its driver from
// the settings, reads only while the document is idle, collects what the
// driver delivers as the pending scans and posts the view messages 9 to 12,
// runs the auto-detection and checks ports. Every operation is for the main
// thread; the listeners run on the drivers' threads.
class CScannerMgr {
public:
    // Auto-detection: the progress bar's range and start, and the time after
    // which a probe that found nothing ends the detection.
    static constexpr std::int32_t kDetectRange = 15000;
    static constexpr std::int32_t kDetectStart = 1000;
    static constexpr std::chrono::milliseconds kDetectTimeout{25001};
    static constexpr std::int32_t kPortCount = 9;
    // The "Error Code = " of the scanner's message boxes.
    static constexpr int kScannerErrorCode = 14;

    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    explicit CScannerMgr(CScannerHost& host);
    // Stops and deletes the drivers.
    ~CScannerMgr();
    CScannerMgr(const CScannerMgr&) = delete;
    CScannerMgr& operator=(const CScannerMgr&) = delete;

    // Stops and deletes the current driver, then creates and configures the
    // type's driver with its port and volume. False, with no scanner left,
    // when the settings do not make a valid port or configuring failed (the
    // failure is shown). The Pocket has no driver and succeeds.
    bool SelectScanner(CScannerType type);
    bool HasScanner() const;
    // The type last selected, if any, and its driver (none for the Pocket).
    std::optional<CScannerType> ScannerType() const;
    const VTBarcodeScanner* Driver() const { return m_scanner.get(); }

    // When there is a scanner, "UseScanner" is set and it is not running:
    // starts it; a start failure shows 32817 with code 14 (keyboard scanners
    // under Wayland their own message), a scanner exception its message.
    // Scans still pending are posted again (scan-data-arrived), so scans
    // that came while the client was busy are not forgotten: call it on
    // every entry into the idle state, with or without a scanner.
    void StartReading();
    // Stops the scanner and waits until its worker has ended.
    void StopReading();
    bool IsReading() const;

    // Memory scanners that answer commands (the pens and the Symbol
    // cradles): one download now, the driver fetching the stored codes once
    // and ending; its scans are posted as a scan event when it is done, and
    // reading goes on at the next StartReading. False when the scanner
    // cannot (no driver, another kind, not started: a failure is shown).
    bool Download();
    // Set while a download runs; the view ignores the scanner's events
    // meanwhile (the download's scans are posted when it has ended).
    bool IsBusy() const;

    // What the driver delivered (or a data block added) and the view has not
    // taken yet. An empty download counts as pending (its box says so).
    bool HasPendingScans() const;
    std::size_t PendingScanCount() const;
    // Takes the pending scans, and gives the beep their delivery asked for
    // (Pennyscanner and keyboard scanners while idle) through the port.
    VTScanDataSet TakePendingScans();
    // Whether the pending scans came from another program's data block; ask
    // before taking them.
    bool ScansFromOtherProgram() const;

    // Another program's barcode data block. kAdded: its entries are the
    // pending scans and, while idle, scan-data-arrived is posted (else at
    // the next StartReading). kMalformed: nothing changes; the caller shows
    // 50122 with code 17. kDropped: scans were still pending, the block is
    // ignored. kEmpty: a well-formed block without entries; nothing to do.
    enum class BlockResult { kAdded, kMalformed, kDropped, kEmpty };
    BlockResult AddDataBlock(const std::string& bytes);

    // Auto-detection for the pen, Symbol and Pennyscanner types: sets the
    // type's port to COM1, shows the instruction; Cancel puts the port back
    // and returns false. OK starts the first probe and returns true; the
    // probes then go on through detect-result messages (OnDetectResult) and
    // end with `ui.Finish`. False also for a type that cannot detect.
    bool RunAutoDetect(CScannerType type, CAutoDetectUi& ui);
    // The view's handler of detect-result (message 9): `flag` 1 evaluates a
    // probe's result, 0 moves the progress to `result` ms and starts the
    // next probe.
    void OnDetectResult(std::int32_t result, std::int32_t flag);
    bool IsDetecting() const;
    // Tests: the clock of the detection's time-out.
    void SetClock(Clock clock);

    // Opens the port index (COM1 = 0) at 9600 baud, 8 data bits, no parity
    // and closes it again: 0 when it opened, else the text to show: 50029
    // not found, 50030 in use, 50034 any other failure.
    int CheckPort(std::int32_t portIndex) const;

    static bool IsMemoryScanner(CScannerType type) { return ::IsMemoryScanner(type); }
    static bool CanAutoDetect(CScannerType type);
    // "COM1" to "COM9" for 0 to 8 (and "COMn+1" for other indices).
    static std::string PortName(std::int32_t portIndex);
    // The port a type opens and the driver's volume level (3, 2, 1) from the
    // stored settings, by the rules of the scanner table.
    std::optional<std::int32_t> ConfiguredPortIndex(CScannerType type) const;
    std::optional<std::int32_t> ConfiguredVolumeLevel(CScannerType type) const;

private:
    friend class CScannerListener;
    struct Detection;
    struct Pending {
        bool any = false; // an empty download is pending too
        std::vector<VTScanData> scans;
        bool fromOtherProgram = false;
        bool beep = false;
    };

    // Listener calls, on the drivers' threads.
    void ScanDataArrived(const VTScanDataSet& scans);
    void DetectResultArrived(int found);
    void ScannerStopped(CScannerListener::Role role);
    void DownloadErrorArrived(int code);
    void ScannerErrorArrived(CScannerListener::Role role, const std::string& message);

    // The type's driver attached to `listener` and configured for the port
    // index; none when the settings make no valid port or configuring failed
    // (shown).
    std::unique_ptr<VTBarcodeScanner> MakeDriver(CScannerType type, std::optional<std::int32_t> portIndex,
                                                 VTScannerListener& listener);
    // False when the index makes no valid port name; throws what the driver throws.
    bool ConfigurePort(VTSerialBarcodeScanner& driver, CScannerType type, std::int32_t portIndex);
    void DeleteScanner();
    bool StartDriver(bool download);
    void ShowStartFailure(int result);
    void ShowErrorWithCode(int textId, int code);
    void ShowText(const std::string& text);
    void Post(CViewMessageId id, std::int32_t first = 0, std::int32_t second = 0, std::string text = {});
    void LoadTexts();

    // Detection steps (main thread).
    void StartProbe();
    void EvaluateProbe(std::int32_t found);
    void EndDetection(std::optional<std::int32_t> foundPort);
    std::int32_t& StoredPort(CScannerType type);
    std::chrono::milliseconds Elapsed() const;

    CScannerHost& m_host;
    CScannerListener m_listener{*this, CScannerListener::Role::kReading};
    CScannerListener m_detectListener{*this, CScannerListener::Role::kDetecting};
    std::unique_ptr<platform::ScreenWaker> m_screenWaker;
    std::unique_ptr<VTBarcodeScanner> m_scanner;
    std::optional<CScannerType> m_type;
    std::unique_ptr<Detection> m_detection;
    Clock m_clock;

    // Shared with the drivers' threads.
    mutable std::mutex m_lock;
    Pending m_pending;
    bool m_beepOnDelivery = false;
    bool m_stopRequested = false;
    bool m_downloading = false;
    std::string m_downloadTexts[3]; // 32846, 32847, 32848, loaded on the main thread
};
