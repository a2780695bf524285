#include "vtkit/scanner/scbase.h"

#include "vtkit/scanner/scexcep.h"

#include <system_error>
#include <utility>

namespace {

// The scanner whose worker runs on this thread.
thread_local const VTBarcodeScanner* t_workerOf = nullptr;

} // namespace

VTBarcodeScanner::VTBarcodeScanner() = default;

VTBarcodeScanner::~VTBarcodeScanner()
{
    {
        std::lock_guard lock(m_monitor);
        if (m_state == kDetecting || m_state == kScanning)
            m_state = kStopping;
    }
    Reap(true);
    SetListener(nullptr);
}

bool VTBarcodeScanner::CanDetect()
{
    return false;
}

int VTBarcodeScanner::Detect()
{
    return StartWorker(true);
}

int VTBarcodeScanner::Start()
{
    return StartWorker(false);
}

int VTBarcodeScanner::StartWorker(bool detect)
{
    GetState(); // reaps a worker that ended by itself
    std::lock_guard lock(m_monitor);
    if (m_state != kIdle)
        throw VTBarcodeScannerException(VTBarcodeScannerException::kStateError);
    if (detect && !CanDetect())
        return kCannotDetect;
    const int opened = detect ? OpenForDetect() : OpenForScan();
    if (opened != 0)
        return opened;
    m_state = detect ? kDetecting : kScanning;
    try {
        m_thread = std::thread(&VTBarcodeScanner::WorkerBody, this, detect);
    } catch (const std::system_error&) {
        m_state = kIdle;
        // Nothing will run the close step for us: release the device now.
        try {
            detect ? CloseAfterDetect() : CloseAfterScan();
        } catch (...) {
        }
        throw VTBarcodeScannerException(VTBarcodeScannerException::kThreadError, "Unable to start");
    }
    return kStarted;
}

void VTBarcodeScanner::WorkerBody(bool detect)
{
    t_workerOf = this;
    try {
        if (detect) {
            RunDetect();
            CloseAfterDetect();
        } else {
            RunScan();
            CloseAfterScan();
        }
    } catch (...) {
        // A failed run step leaves the port to the next open or destruction.
    }
    VTScannerListener* listener;
    {
        std::lock_guard lock(m_monitor);
        m_state = kFinished;
        listener = BeginCallOutside();
    }
    CallOutside done{this};
    if (listener)
        listener->OnScannerStopped();
}

void VTBarcodeScanner::Stop(bool wait)
{
    bool abort = false;
    {
        GetState();
        std::lock_guard lock(m_monitor);
        if (m_state == kDetecting || m_state == kScanning) {
            m_state = kStopping;
            abort = true;
        }
    }
    if (abort)
        Abort();
    if (wait && !IsWorkerThread())
        Reap(true);
}

int VTBarcodeScanner::GetState()
{
    {
        std::lock_guard lock(m_monitor);
        if (m_state != kFinished)
            return m_state;
        // The worker is still inside its last callback.
        if (IsWorkerThread())
            return kStopping;
    }
    Reap(false);
    std::lock_guard lock(m_monitor);
    return m_state;
}

void VTBarcodeScanner::Reap(bool stopping)
{
    std::lock_guard join(m_joinLock);
    std::thread worker;
    {
        std::lock_guard lock(m_monitor);
        if (m_state != kFinished && !(stopping && m_state == kStopping))
            return;
        worker = std::move(m_thread);
    }
    // Not under the monitor: the worker may need it to finish.
    if (worker.joinable())
        worker.join();
    std::lock_guard lock(m_monitor);
    m_state = kIdle;
}

void VTBarcodeScanner::SetListener(VTScannerListener* listener)
{
    Attach(listener, nullptr, false);
}

void VTBarcodeScanner::Detach(VTScannerListener* listener)
{
    Attach(nullptr, listener, true);
}

void VTBarcodeScanner::Attach(VTScannerListener* listener, VTScannerListener* expected, bool onlyIfExpected)
{
    std::unique_lock lock(m_monitor);
    if (!IsWorkerThread())
        m_callsDone.wait(lock, [this] { return m_callsOutside == 0; });
    if (onlyIfExpected && m_listener != expected)
        return;
    if (m_listener)
        m_listener->m_scanner.store(nullptr);
    m_listener = listener;
    if (m_listener)
        m_listener->m_scanner.store(this);
}

VTScannerListener* VTBarcodeScanner::GetListener()
{
    std::lock_guard lock(m_monitor);
    return m_listener;
}

int VTBarcodeScanner::OpenForDetect()
{
    return 0;
}

void VTBarcodeScanner::RunDetect() {}
void VTBarcodeScanner::CloseAfterDetect() {}

int VTBarcodeScanner::OpenForScan()
{
    return 0;
}

void VTBarcodeScanner::CloseAfterScan() {}
void VTBarcodeScanner::Abort() {}

bool VTBarcodeScanner::IsScanning() const
{
    std::lock_guard lock(m_monitor);
    return m_state == kScanning;
}

int32_t VTBarcodeScanner::PeekState() const
{
    std::lock_guard lock(m_monitor);
    return m_state;
}

bool VTBarcodeScanner::IsWorkerThread() const
{
    return t_workerOf == this;
}

VTScannerListener* VTBarcodeScanner::BeginCallOutside()
{
    std::lock_guard lock(m_monitor);
    ++m_callsOutside;
    return m_listener;
}

VTBarcodeScanner::CallOutside::~CallOutside()
{
    std::lock_guard lock(m_scanner->m_monitor);
    if (--m_scanner->m_callsOutside == 0)
        m_scanner->m_callsDone.notify_all();
}

void VTBarcodeScanner::DeliverScanData(const VTScanDataSet& scans, bool evenIfEmpty)
{
    if (scans.GetCount() == 0 && !evenIfEmpty)
        return;
    std::lock_guard lock(m_monitor);
    if (m_listener)
        m_listener->OnScanData(scans);
}

void VTBarcodeScanner::DeliverScanDataUnlocked(const VTScanDataSet& scans)
{
    if (scans.GetCount() == 0)
        return;
    VTScannerListener* listener = BeginCallOutside();
    CallOutside done{this};
    if (listener)
        listener->OnScanData(scans);
}

void VTBarcodeScanner::DeliverDetectResult(int found)
{
    std::lock_guard lock(m_monitor);
    if (m_listener)
        m_listener->OnDetectResult(found);
}

void VTBarcodeScanner::DeliverDownloadError(int code)
{
    std::lock_guard lock(m_monitor);
    if (m_listener)
        m_listener->OnDownloadError(code);
}

void VTBarcodeScanner::DeliverScannerError(const std::string& message)
{
    std::lock_guard lock(m_monitor);
    if (m_listener)
        m_listener->OnScannerError(message.c_str());
}
