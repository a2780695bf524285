#include "tests/scanner/scanrecorder.h"
#include "vtkit/scanner/scbase.h"
#include "vtkit/scanner/scexcep.h"
#include "vtkit/scanner/srexcep.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <stdexcept>

namespace {

using Ms = std::chrono::milliseconds;

// A driver without a device, whose run step does what the test asks.
class GatedScanner : public VTBarcodeScanner {
public:
    enum class Run {
        UntilStopped,  // loops until the state leaves scanning
        UntilReleased, // blocks, deaf to stops, until Release()
        Return,        // ends by itself at once
        Throw,         // fails
    };

    explicit GatedScanner(Run run, bool canDetect = false) : m_run(run), m_canDetect(canDetect) {}
    ~GatedScanner() override
    {
        Release();
        Stop(true);
    }

    bool CanDetect() override { return m_canDetect; }

    void Release()
    {
        std::lock_guard lock(m_gateLock);
        m_released = true;
        m_gate.notify_all();
    }

    bool WaitUntilRunning()
    {
        std::unique_lock lock(m_gateLock);
        return m_gate.wait_for(lock, Ms(10000), [this] { return m_runs > 0; });
    }

    int m_openResult = 0;
    // Runs at the start of the run step, on the worker.
    std::function<void(GatedScanner&)> m_onRun;
    std::atomic<int> m_opens{0}, m_runs{0}, m_closes{0}, m_aborts{0};

    using VTBarcodeScanner::DeliverScanData;
    using VTBarcodeScanner::DeliverScanDataUnlocked;

protected:
    int OpenForScan() override { return Open(); }
    int OpenForDetect() override { return Open(); }
    void RunScan() override { Body(); }
    void RunDetect() override
    {
        Body();
        DeliverDetectResult(1);
    }
    void CloseAfterScan() override { ++m_closes; }
    void CloseAfterDetect() override { ++m_closes; }
    void Abort() override
    {
        ++m_aborts;
        std::lock_guard lock(m_gateLock);
        m_abortRequested = true;
        m_gate.notify_all();
    }

private:
    int Open()
    {
        ++m_opens;
        std::lock_guard lock(m_gateLock);
        m_abortRequested = false;
        return m_openResult;
    }

    void Body()
    {
        {
            std::lock_guard lock(m_gateLock);
            ++m_runs;
            m_gate.notify_all();
        }
        if (m_onRun)
            m_onRun(*this);
        std::unique_lock lock(m_gateLock);
        switch (m_run) {
        // Stop always aborts: waiting for that keeps the monitor out of the gate.
        case Run::UntilStopped:
            m_gate.wait(lock, [this] { return m_abortRequested; });
            break;
        case Run::UntilReleased:
            m_gate.wait(lock, [this] { return m_released; });
            break;
        case Run::Return:
            break;
        case Run::Throw:
            throw std::runtime_error("the device fell off");
        }
    }

    const Run m_run;
    const bool m_canDetect;
    std::mutex m_gateLock;
    std::condition_variable m_gate;
    bool m_released = false;
    bool m_abortRequested = false;
};

VTScanDataSet SetOf(std::initializer_list<VTScanData> scans)
{
    VTScanDataSet set;
    for (const auto& scan : scans)
        set.Add(scan);
    return set;
}

TEST(VTBarcodeScanner, SecondStartIsAStateErrorAndStopReturnsToIdle)
{
    GatedScanner scanner(GatedScanner::Run::UntilStopped, true);
    ScanRecorder recorder;
    scanner.SetListener(&recorder);

    ASSERT_EQ(scanner.Start(), 0);
    EXPECT_EQ(scanner.GetState(), VTBarcodeScanner::kScanning);
    for (auto start : {&VTBarcodeScanner::Start, &VTBarcodeScanner::Detect}) {
        try {
            (scanner.*start)();
            ADD_FAILURE() << "started twice";
        } catch (const VTBarcodeScannerException& error) {
            EXPECT_EQ(error.GetCode(), VTBarcodeScannerException::kStateError);
            EXPECT_EQ(error.GetMessage(), "VTBarcodeScannerException: State Error");
        }
    }

    scanner.Stop(true);
    EXPECT_EQ(scanner.GetState(), VTBarcodeScanner::kIdle);
    EXPECT_EQ(recorder.StoppedCount(), 1);
    EXPECT_EQ(scanner.m_aborts, 1);
    EXPECT_EQ(scanner.m_closes, 1);
    EXPECT_EQ(scanner.m_opens, 1);
    // Stopping an idle scanner does nothing.
    scanner.Stop(true);
    EXPECT_EQ(scanner.m_aborts, 1);
}

TEST(VTBarcodeScanner, DetectOnADriverWithoutDetectionStartsNothing)
{
    GatedScanner scanner(GatedScanner::Run::Return);
    EXPECT_EQ(scanner.Detect(), VTBarcodeScanner::kCannotDetect);
    EXPECT_EQ(scanner.GetState(), VTBarcodeScanner::kIdle);
    EXPECT_EQ(scanner.m_opens, 0);
    // The scanner is still usable.
    EXPECT_EQ(scanner.Start(), 0);
}

TEST(VTBarcodeScanner, FailedOpenStartsNoWorker)
{
    GatedScanner scanner(GatedScanner::Run::Return, true);
    scanner.m_openResult = 3;
    EXPECT_EQ(scanner.Start(), 3);
    EXPECT_EQ(scanner.Detect(), 3);
    EXPECT_EQ(scanner.GetState(), VTBarcodeScanner::kIdle);
    EXPECT_EQ(scanner.m_runs, 0);
}

// Detection runs end by themselves; so may a scanning worker that gives up.
// Either way the caller sees idle again, never the finished state, and can
// start anew.
TEST(VTBarcodeScanner, WorkerEndingByItselfIsReapedByGetState)
{
    for (const bool detect : {true, false}) {
        SCOPED_TRACE(detect ? "detection" : "scanning");
        GatedScanner scanner(GatedScanner::Run::Return, true);
        ScanRecorder recorder;
        scanner.SetListener(&recorder);
        for (int run = 1; run <= 3; ++run) {
            ASSERT_EQ(detect ? scanner.Detect() : scanner.Start(), 0);
            ASSERT_TRUE(recorder.WaitForStopped(run));
            EXPECT_EQ(scanner.GetState(), VTBarcodeScanner::kIdle);
        }
        EXPECT_EQ(scanner.m_closes, 3);
        EXPECT_EQ(recorder.DetectResults(), detect ? std::vector<int>({1, 1, 1}) : std::vector<int>());
    }
}

// A worker that does not notice the stop at once keeps the scanner in the
// stopping state; either a waiting stop or GetState reaps it once it ends.
TEST(VTBarcodeScanner, StopWithoutWaitingLeavesStoppingUntilTheWorkerEnds)
{
    for (const bool reapWithStop : {true, false}) {
        SCOPED_TRACE(reapWithStop ? "Stop(true)" : "GetState");
        GatedScanner scanner(GatedScanner::Run::UntilReleased);
        ScanRecorder recorder;
        scanner.SetListener(&recorder);
        ASSERT_EQ(scanner.Start(), 0);
        ASSERT_TRUE(scanner.WaitUntilRunning());

        scanner.Stop(false);
        EXPECT_EQ(scanner.GetState(), VTBarcodeScanner::kStopping);
        scanner.Stop(false);
        EXPECT_EQ(scanner.GetState(), VTBarcodeScanner::kStopping);
        EXPECT_EQ(scanner.m_aborts, 1);
        EXPECT_THROW(scanner.Start(), VTBarcodeScannerException);

        scanner.Release();
        if (reapWithStop) {
            scanner.Stop(true);
            EXPECT_EQ(recorder.StoppedCount(), 1);
        } else {
            ASSERT_TRUE(recorder.WaitForStopped());
        }
        EXPECT_EQ(scanner.GetState(), VTBarcodeScanner::kIdle);
    }
}

TEST(VTBarcodeScanner, ThrowingRunStepStillEndsWithStopped)
{
    GatedScanner scanner(GatedScanner::Run::Throw);
    ScanRecorder recorder;
    scanner.SetListener(&recorder);
    ASSERT_EQ(scanner.Start(), 0);
    ASSERT_TRUE(recorder.WaitForStopped());
    EXPECT_EQ(scanner.GetState(), VTBarcodeScanner::kIdle);
    // The close step is skipped after a failed run step.
    EXPECT_EQ(scanner.m_closes, 0);
    EXPECT_EQ(scanner.Start(), 0);
    ASSERT_TRUE(recorder.WaitForStopped(2));
}

TEST(VTBarcodeScanner, EmptySetsAreNotDelivered)
{
    GatedScanner scanner(GatedScanner::Run::Return);
    ScanRecorder recorder;
    scanner.SetListener(&recorder);
    scanner.m_onRun = [](GatedScanner& self) {
        self.DeliverScanData(VTScanDataSet());
        self.DeliverScanDataUnlocked(VTScanDataSet());
        self.DeliverScanData(SetOf({{kScanTypeUPC, "1"}}));
        self.DeliverScanDataUnlocked(SetOf({{kScanTypeEAN8, "2"}}));
        // The keyboard scanner reports every download, even an empty one.
        self.DeliverScanData(VTScanDataSet(), true);
    };
    ASSERT_EQ(scanner.Start(), 0);
    ASSERT_TRUE(recorder.WaitForStopped());
    const auto deliveries = recorder.Deliveries();
    ASSERT_EQ(deliveries.size(), 3u);
    EXPECT_EQ(deliveries[0], (std::vector<VTScanData>{{kScanTypeUPC, "1"}}));
    EXPECT_EQ(deliveries[1], (std::vector<VTScanData>{{kScanTypeEAN8, "2"}}));
    EXPECT_TRUE(deliveries[2].empty());
}

TEST(VTBarcodeScanner, ListenerAndScannerDetachFromEachOther)
{
    auto first = std::make_unique<ScanRecorder>();
    ScanRecorder second;
    {
        GatedScanner scanner(GatedScanner::Run::Return);
        scanner.SetListener(first.get());
        EXPECT_EQ(first->GetScanner(), &scanner);
        scanner.SetListener(&second);
        EXPECT_EQ(first->GetScanner(), nullptr);
        EXPECT_EQ(second.GetScanner(), &scanner);
        EXPECT_EQ(scanner.GetListener(), &second);

        // A listener that goes away leaves no dangling pointer behind.
        scanner.SetListener(first.get());
        first.reset();
        EXPECT_EQ(scanner.GetListener(), nullptr);
        scanner.SetListener(&second);
    }
    EXPECT_EQ(second.GetScanner(), nullptr);
}

// Scans of the passive drivers are delivered without the monitor held;
// detaching still waits for such a call, so a listener that was detached
// is never running on the worker afterwards.
TEST(VTBarcodeScanner, DetachingWaitsForACallWithoutTheMonitor)
{
    GatedScanner scanner(GatedScanner::Run::UntilStopped);
    ScanRecorder recorder;
    scanner.SetListener(&recorder);
    std::promise<void> inCallback, leaveCallback;
    recorder.SetOnScanData([&] {
        inCallback.set_value();
        leaveCallback.get_future().wait();
    });
    scanner.m_onRun = [](GatedScanner& self) {
        self.DeliverScanDataUnlocked(SetOf({{kScanTypeUnknown, "x"}}));
    };
    ASSERT_EQ(scanner.Start(), 0);
    inCallback.get_future().wait();

    // The state can still be read while the listener is busy.
    EXPECT_EQ(scanner.GetState(), VTBarcodeScanner::kScanning);
    auto detached = std::async(std::launch::async, [&] { scanner.SetListener(nullptr); });
    EXPECT_EQ(detached.wait_for(Ms(200)), std::future_status::timeout);
    leaveCallback.set_value();
    detached.get();
    EXPECT_EQ(recorder.GetScanner(), nullptr);
    scanner.Stop(true);
    EXPECT_EQ(recorder.StoppedCount(), 0);
}

// Waiting for the worker from its own callback would wait forever; it is
// taken as a request to stop.
TEST(VTBarcodeScanner, StopFromInsideACallbackDoesNotWaitForItself)
{
    GatedScanner scanner(GatedScanner::Run::UntilStopped);
    ScanRecorder recorder;
    scanner.SetListener(&recorder);
    recorder.SetOnScanData([&] { scanner.Stop(true); });
    scanner.m_onRun = [](GatedScanner& self) { self.DeliverScanData(SetOf({{kScanTypeUnknown, "x"}})); };
    ASSERT_EQ(scanner.Start(), 0);
    ASSERT_TRUE(recorder.WaitForStopped());
    EXPECT_EQ(scanner.GetState(), VTBarcodeScanner::kIdle);
}

TEST(VTScanDataSet, HandlesShareOneBodyAndClearShrinksTo64)
{
    VTScanDataSet set;
    EXPECT_EQ(set.GetCapacity(), 64u);
    VTScanDataSet other = set;
    other.Unshare(); // the body keeps the sharing Clone
    for (int i = 0; i < 500; ++i)
        other.Add(kScanTypeEAN13, std::to_string(i));
    ASSERT_EQ(set.GetCount(), 500u);
    EXPECT_EQ(set.GetAt(499), (VTScanData{kScanTypeEAN13, "499"}));
    EXPECT_THROW(set.GetAt(500), TSInternalError);

    set.Clear();
    EXPECT_EQ(other.GetCount(), 0u);
    EXPECT_EQ(other.GetCapacity(), 64u);
}

TEST(ScannerExceptions, MessagesAndCodes)
{
    const std::pair<TSRuntimeException, std::string> cases[] = {
        {VTBarcodeScannerException(2, "Unable to start"),
         "VTBarcodeScannerException: Thread Error: Unable to start"},
        {VTBarcodeScannerException(1), "VTBarcodeScannerException: Not Supported"},
        {VTSerialPortException(0), "VTSerialPortException: Port Not Open"},
        {VTSerialPortException(1, "13"), "VTSerialPortException: OS Error Code: 13"},
        {VTSerialPortException(2), "VTSerialPortException: Invalid config"},
        {VTSerialPortInvalidException("COM9"), "VTSerialPortException: Invalid port: COM9"},
        {VTSerialPortInUseException("COM1"), "VTSerialPortException: Port In Use: COM1"},
        {VTSerialPortException(5), "VTSerialPortException: Timeout error"},
        {VTSerialPortReceiveError(), "VTSerialPortException: Receive error"},
    };
    for (const auto& [error, message] : cases)
        EXPECT_EQ(error.GetMessage(), message);
    EXPECT_EQ(VTSerialPortInvalidException().GetCode(), 3);
    EXPECT_EQ(VTSerialPortInUseException().GetCode(), 4);
    EXPECT_EQ(VTSerialPortReceiveError().GetCode(), 6);
    EXPECT_THROW(VTBarcodeScannerException(3), TSInternalError);
    EXPECT_THROW(VTSerialPortException(7), TSInternalError);
    EXPECT_THROW(VTSerialPortException(-1), TSInternalError);
}

} // namespace
