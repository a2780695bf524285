#include "vtkit/scanner/scqoder.h"

#include <chrono>
#include <mutex>
#include <utility>

namespace {

using Clock = VTQoderWindow::Clock;

// A stop in the middle of a download waits this long at most for the
// indicators to be put back.
constexpr auto kRestoreOnStop = std::chrono::milliseconds(800);
// The messages left when the window goes are handled for this long at most.
constexpr auto kDrainOnClose = std::chrono::milliseconds(200);

} // namespace

VTQoderTraceSink::~VTQoderTraceSink() = default;

VTQoderScanner::VTQoderScanner(std::string hookLibrary) : m_hookLibrary(std::move(hookLibrary)) {}

VTQoderScanner::~VTQoderScanner()
{
    Stop(true);
    Shutdown();
}

bool VTQoderScanner::CanDetect()
{
    return false;
}

void VTQoderScanner::SetTraceSink(VTQoderTraceSink* sink)
{
    std::lock_guard lock(Monitor());
    m_traceSink = sink;
}

std::string VTQoderScanner::GetLastOpenError() const
{
    std::lock_guard lock(Monitor());
    return m_lastOpenError;
}

int VTQoderScanner::GetHookError() const
{
    std::lock_guard lock(Monitor());
    return m_hookError;
}

int VTQoderScanner::OpenForDetect()
{
    return 0;
}

// The hook is set here rather than by the worker, so that a session where
// keys cannot be heard fails the start instead of ending the worker.
int VTQoderScanner::OpenForScan()
{
    std::lock_guard lock(Monitor());
    m_lastOpenError.clear();
    m_hookError = 0;
    std::string why;
    if (!m_hook.Load(m_hookLibrary, why)) {
        m_lastOpenError = why;
        return kHookLibraryMissing;
    }
    if (!m_window.Create(why)) {
        FailOpen(why, 0);
        return kHookFailed;
    }
    if (const int error = m_hook.SetHook(m_window.Handle(), kKeyMessage)) {
        Trace("SetKbdHook error", error);
        FailOpen(VTKeyboardHook::ErrorText(error), error);
        return kHookFailed;
    }
    m_hookedWindow = m_window.Handle();
    m_failed = false;
    return 0;
}

void VTQoderScanner::FailOpen(const std::string& why, int hookError)
{
    m_lastOpenError = why;
    m_hookError = hookError;
    m_window.Destroy();
    m_hook.Unload();
}

void VTQoderScanner::RunScan()
{
    bool capsLockOn = false;
    bool numLockOn = false;
    const int error = m_hook.GetLockStates(m_hookedWindow, capsLockOn, numLockOn);
    m_receiver.Begin(capsLockOn, numLockOn);
    if (error != 0) {
        Trace("GetKbdState error", error);
        Failed("GetKbdState error", error);
    } else {
        m_receiver.EnterState(VTQoderReceiver::kListening);
        Pump([this] { return IsScanning(); }, Clock::time_point::max());
    }
    StopAfterADownload();
    m_receiver.EnterState(VTQoderReceiver::kOff);
    Shutdown();
}

void VTQoderScanner::CloseAfterScan()
{
    Shutdown();
}

void VTQoderScanner::Abort()
{
    m_window.Post(kWakeMessage);
}

template <class More> void VTQoderScanner::Pump(More more, Clock::time_point until)
{
    while (more()) {
        const auto message = m_window.GetMessage(until);
        if (!message)
            return;
        Dispatch(*message);
    }
}

void VTQoderScanner::Dispatch(const VTQoderWindow::Message& message)
{
    if (message.message == kKeyMessage)
        m_receiver.OnKey(message.wParam, message.lParam);
    else if (message.message == VTQoderWindow::kTimerMessage && message.wParam == kTimerId)
        m_receiver.OnTimer();
    // The wake message only ends the wait; the loop then looks at the run state.
}

// Leaving Caps Lock or Num Lock as the device's answer set them would be
// the user's surprise: they are put back first, briefly.
void VTQoderScanner::StopAfterADownload()
{
    if (m_failed || !m_receiver.IsDownloading())
        return;
    m_receiver.Abandon();
    Pump([this] { return m_receiver.GetState() == VTQoderReceiver::kRestoringIndicators && !m_failed; },
         Clock::now() + kRestoreOnStop);
}

void VTQoderScanner::Shutdown()
{
    if (m_hookedWindow >= 0) {
        if (const int error = m_hook.RemoveHook(m_hookedWindow))
            Trace("RemoveKbdHook error", error);
        m_hookedWindow = -1;
    }
    if (m_window.IsCreated()) {
        if (m_window.Post(kDestroyMessage)) {
            const auto until = Clock::now() + kDrainOnClose;
            for (auto message = m_window.GetMessage(until); message && message->message != kDestroyMessage;
                 message = m_window.GetMessage(until))
                Dispatch(*message);
        }
        m_window.Destroy();
    }
    m_hook.Unload();
}

int VTQoderScanner::ToggleLock(uint32_t virtualKey)
{
    return m_hook.ToggleLock(m_hookedWindow, virtualKey);
}

int VTQoderScanner::SetCapture(bool on)
{
    return m_hookedWindow < 0 ? 0 : m_hook.SetCapture(m_hookedWindow, on);
}

int VTQoderScanner::ResetHook()
{
    return m_hook.ResetHook(m_hookedWindow);
}

void VTQoderScanner::SetTimer(uint32_t periodMs)
{
    m_window.SetTimer(kTimerId, periodMs);
}

void VTQoderScanner::KillTimer()
{
    m_window.KillTimer();
}

void VTQoderScanner::Trace(const char* text, int32_t number)
{
    std::lock_guard lock(Monitor());
    if (m_traceSink)
        m_traceSink->OnTrace(text, number);
}

// A stop alone would look to the client like a scanner that ended by
// itself: the listener hears why first.
void VTQoderScanner::Failed(const char* what, int error)
{
    m_failed = true;
    DeliverScannerError(std::string("Keyboard hook: ") + what + ": " + VTKeyboardHook::ErrorText(error));
    Stop(false);
}

void VTQoderScanner::DownloadError(int code)
{
    DeliverDownloadError(code);
}

void VTQoderScanner::Deliver(const VTScanDataSet& scans)
{
    DeliverScanData(scans, true);
}
