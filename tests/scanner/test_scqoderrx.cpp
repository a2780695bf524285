#include "tests/support/qoderdevice.h"
#include "tests/support/qoderharness.h"
#include "vtkit/scanner/scqoderrx.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>

namespace {

using Rx = VTQoderReceiver;
using Delivery = std::vector<VTScanData>;

Delivery Scans(const VTScanDataSet& set)
{
    Delivery scans;
    for (std::size_t i = 0; i < set.GetCount(); ++i)
        scans.push_back(set.GetAt(i));
    return scans;
}

TEST(QoderReceiver, LinesBecomeScansByTheirSymbologyIdentifier)
{
    const struct {
        std::string data;
        Delivery scans;
    } cases[] = {
        {"]E00012345678905\n", {{kScanTypeUPCA, "012345678905"}}},
        {"]E01012345678905\n", {{kScanTypeUPCOrEAN, "1012345678905"}}},
        {"]E0012345678905\n", {{kScanTypeUPCOrEAN, "012345678905"}}},
        {"]E402103822\n", {{kScanTypeEAN8, "02103822"}}},
        {"]C0237659\n", {{kScanTypeCode128, "237659"}}},
        {"]A0ABC\n]z9x\n", {{kScanTypeUnknown, "ABC"}, {kScanTypeUnknown, "x"}}},
        {"]19x\nabc\n", {{kScanTypeUnknown, "]19x"}, {kScanTypeUnknown, "abc"}}},
        {"\n\n12\n]E\nabc", {{kScanTypeUnknown, "abc"}}},
        {"", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.data);
        EXPECT_EQ(Scans(Rx::MakeScanData(c.data)), c.scans);
    }
}

// The device's 36 keys carry the digits, "]" and every letter but J, and
// the table as a whole only moves printable characters about.
TEST(QoderReceiver, TranslationTableCarriesTheDeviceAlphabet)
{
    const auto& table = Rx::TranslationTable();
    std::string carried;
    for (uint32_t key = '0'; key <= 'Z'; ++key)
        if (std::isdigit(static_cast<int>(key)) || std::isupper(static_cast<int>(key)))
            carried += static_cast<char>(table[key]);
    std::sort(carried.begin(), carried.end());
    EXPECT_EQ(carried, "0123456789ABCDEFGHIKLMNOPQRSTUVWXYZ]");
    for (int c = 0; c < 256; ++c) {
        if (c < 0x20 || c > 0x7E) {
            EXPECT_EQ(table[static_cast<std::size_t>(c)], c);
        }
    }
    bool shift = false;
    EXPECT_THROW(QoderDevice::DataKey('J', shift), std::invalid_argument);
}

// Types the wake-up sequence and lets the host answer it.
void WakeUp(QoderHarness& harness)
{
    for (const auto& event : Rx::kWakeUp)
        harness.Key(event.virtualKey, event.press);
    harness.Advance(300);
    ASSERT_EQ(harness.Receiver().GetState(), Rx::kReceivingHeader);
}

void TypeHeader(QoderHarness& harness, const std::string& header)
{
    for (char c : header)
        harness.Press(static_cast<uint32_t>(c));
    harness.Press(Rx::kVkReturn);
    harness.Advance(300);
    ASSERT_EQ(harness.Receiver().GetState(), Rx::kReceivingData);
}

// The time-outs to the millisecond, on the virtual clock: a key just
// before the limit counts, one just after it does not.
TEST(QoderReceiver, TimeOutsEndExactlyWhenDue)
{
    const struct {
        const char* name;
        bool inData;
        bool afterAKey;
        int64_t keyAtMs;
        bool timedOut;
    } cases[] = {
        {"header in time", false, false, 5999, false},   {"header late", false, false, 6001, true},
        {"data in time", true, false, 9999, false},      {"data late", true, false, 10001, true},
        {"header key in time", false, true, 999, false}, {"header key late", false, true, 1001, true},
        {"data key in time", true, true, 999, false},    {"data key late", true, true, 1001, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QoderHarness harness(false, false);
        harness.Start();
        WakeUp(harness);
        if (c.inData)
            TypeHeader(harness, "Q000123456789001");
        const int32_t waiting = harness.Receiver().GetState();
        int64_t since = harness.StateEnteredAt();
        if (c.afterAKey) {
            harness.Press('A');
            since = harness.Now();
        }
        harness.Advance(since + c.keyAtMs - harness.Now());
        harness.Press('B');
        if (c.timedOut) {
            EXPECT_TRUE(harness.RunUntilQuiet());
            EXPECT_EQ(harness.downloadErrors, std::vector<int>{2});
            EXPECT_EQ(harness.Receiver().GetState(), Rx::kListening);
        } else {
            EXPECT_TRUE(harness.downloadErrors.empty());
            EXPECT_EQ(harness.Receiver().GetState(), waiting);
        }
    }
}

// When the toggles' key presses come back later than the 50 ms restore
// tick, the restore still waits for them instead of toggling twice.
TEST(QoderReceiver, SlowHookStillRestoresTheIndicators)
{
    for (const int64_t latency : {0, 40, 120, 400}) {
        for (const bool caps : {false, true}) {
            for (const bool num : {false, true}) {
                SCOPED_TRACE(testing::Message()
                             << latency << " ms, Caps Lock " << caps << ", Num Lock " << num);
                QoderHarness harness(caps, num, latency);
                harness.Start();
                QoderDevice device(caps, num);
                device.Download("Q0001234567890", {"]C0237659", "]E402103822"});
                ASSERT_TRUE(harness.Play(device));
                EXPECT_TRUE(harness.RunUntilQuiet());
                ASSERT_EQ(harness.deliveries.size(), 1u);
                EXPECT_EQ(Scans(harness.deliveries[0]),
                          (Delivery{{kScanTypeCode128, "237659"}, {kScanTypeEAN8, "02103822"}}));
                EXPECT_EQ(harness.CapsLockOn(), caps);
                EXPECT_EQ(harness.NumLockOn(), num);
                EXPECT_EQ(harness.Receiver().CapsLockOn(), caps);
                EXPECT_EQ(harness.Receiver().NumLockOn(), num);
                EXPECT_FALSE(harness.CaptureOn());
            }
        }
    }
}

// A stop at any moment of a download, or of its error signal, leaves the
// keyboard as the download found it and released, and reports nothing.
TEST(QoderReceiver, StopAtAnyMomentRestoresTheIndicators)
{
    QoderDevice good(true, false);
    good.Download("Q0001234567890", {"]C0237659", "]E402103822"});
    QoderDevice wrongCount(true, false);
    wrongCount.AwaitListening()
        .WakeUp()
        .AwaitWakeUpAnswer()
        .TypeHeader("Q000123456789002")
        .AwaitHeaderAnswer();
    wrongCount.TypeLine("]C0237659").EndData().AwaitErrorSignal();
    std::set<int32_t> stoppedIn;
    for (const QoderDevice* device : {&good, &wrongCount}) {
        for (int64_t stopAt = 0; stopAt < 1500; stopAt += 3) {
            SCOPED_TRACE(stopAt);
            QoderHarness harness(true, false, 5);
            harness.Start();
            harness.Play(*device, 2, stopAt);
            const int32_t state = harness.Receiver().GetState();
            const std::size_t delivered = harness.deliveries.size() + harness.downloadErrors.size();
            harness.Stop();
            stoppedIn.insert(state);
            EXPECT_TRUE(harness.RunUntilQuiet());
            EXPECT_EQ(harness.Receiver().GetState(), Rx::kOff);
            EXPECT_TRUE(harness.CapsLockOn());
            EXPECT_FALSE(harness.NumLockOn());
            EXPECT_FALSE(harness.CaptureOn());
            EXPECT_EQ(harness.deliveries.size() + harness.downloadErrors.size(), delivered);
        }
    }
    EXPECT_EQ(stoppedIn, (std::set<int32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

} // namespace
