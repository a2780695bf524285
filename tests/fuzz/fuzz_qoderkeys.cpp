// The keyboard scanner's receive states under random key events with
// random timing, through a hook with a random latency: nothing crashes, no
// download delivers more lines than its header announced, and once the
// keys stop the keyboard is always back as the user left it and released.
#include "tests/support/qoderharness.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace {

using Rx = VTQoderReceiver;

constexpr std::array<uint32_t, 16> kKeys = {
    Rx::kVkShift, Rx::kVkShift, Rx::kVkAlt, Rx::kVkControl, Rx::kVkReturn, Rx::kVkReturn,  'A', 'E', 'Q', 'Z',
    '0',          '7',          '9',        0x20,           0xFF,          Rx::kVkCapsLock};
constexpr std::array<int64_t, 8> kLatencies = {0, 1, 5, 20, 49, 51, 120, 200};
// Gaps about the time-outs, and plain ones.
constexpr std::array<int64_t, 8> kEdges = {999, 1001, 5999, 6001, 9999, 10001, 50, 100};

class Input {
public:
    Input(const uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    bool More() const { return m_at < m_size; }
    uint8_t Next() { return m_at < m_size ? m_data[m_at++] : 0; }

private:
    const uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
};

struct Run {
    QoderHarness harness;
    bool expectedCaps;
    bool expectedNum;
};

void TypeText(QoderHarness& harness, const std::string& text)
{
    for (char c : text) {
        bool shift = false;
        const uint32_t key = QoderDevice::DataKey(c, shift);
        if (shift)
            harness.Key(Rx::kVkShift, true);
        harness.Press(key);
        if (shift)
            harness.Key(Rx::kVkShift, false);
    }
}

void Gap(QoderHarness& harness, uint8_t choice, uint8_t amount)
{
    if (choice & 1)
        harness.Advance(kEdges[amount % kEdges.size()]);
    else
        harness.Advance((choice & 2) ? int64_t{amount} * 16 : amount);
}

// A key of the user's lock keys, only while no download runs and nothing
// is on its way: in flight it would race the host's own toggles, which no
// driver can tell apart.
void UserLock(Run& run, uint8_t which)
{
    QoderHarness& harness = run.harness;
    if (harness.Receiver().GetState() > Rx::kListening || harness.EventsInFlight())
        return;
    const bool caps = which & 1;
    harness.Press(caps ? Rx::kVkCapsLock : Rx::kVkNumLock);
    (caps ? run.expectedCaps : run.expectedNum) ^= true;
}

void Step(Run& run, Input& input)
{
    QoderHarness& harness = run.harness;
    const uint8_t op = input.Next();
    switch (op & 7) {
    case 0: {
        const uint32_t key = kKeys[(op >> 3) % kKeys.size()];
        const uint8_t how = input.Next();
        if (key == Rx::kVkCapsLock)
            return UserLock(run, 1);
        harness.Key(key, (how & 1) != 0, (how & 6) == 6 ? how >> 3 : 1);
        break;
    }
    case 1:
        Gap(harness, op >> 3, input.Next());
        break;
    case 2:
        for (const auto& event : Rx::kWakeUp)
            harness.Key(event.virtualKey, event.press);
        break;
    case 3: {
        const uint8_t count = input.Next();
        std::string header = std::string("Q000123456789").substr(0, 11 + ((op >> 3) & 3));
        header += "0123456789ABCDEF"[count >> 4];
        header += "0123456789abcdef"[count & 15];
        for (char c : header)
            harness.Press(static_cast<uint32_t>(std::toupper(static_cast<unsigned char>(c))));
        harness.Press(Rx::kVkReturn);
        break;
    }
    case 4: {
        static const std::string kText = "]E04C0123456789AbcdXyZ";
        std::string line;
        for (int i = 0, length = input.Next() % 16; i < length; ++i)
            line += kText[input.Next() % kText.size()];
        TypeText(harness, line);
        break;
    }
    case 5:
        harness.Press(Rx::kVkReturn);
        break;
    case 6:
        harness.Stop();
        harness.Start();
        break;
    default:
        UserLock(run, op >> 3);
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Input input(data, size);
    const uint8_t setup = input.Next();
    const bool caps = setup & 1;
    const bool num = setup & 2;
    Run run{QoderHarness(caps, num, kLatencies[(setup >> 2) % kLatencies.size()]), caps, num};
    QoderHarness& harness = run.harness;
    harness.onDeliver = [&](const VTScanDataSet& scans) {
        if (scans.GetCount() > harness.Receiver().ExpectedLines())
            __builtin_trap();
    };
    harness.Start();
    for (int steps = 0; input.More() && steps < 400; ++steps)
        Step(run, input);

    if (!harness.RunUntilQuiet(120000) || harness.EventsInFlight() || harness.CaptureOn())
        __builtin_trap();
    if (harness.Receiver().GetState() > Rx::kMatchingWakeUp || !harness.failures.empty())
        __builtin_trap();
    if (harness.CapsLockOn() != run.expectedCaps || harness.NumLockOn() != run.expectedNum)
        __builtin_trap();
    if (harness.Receiver().CapsLockOn() != harness.CapsLockOn() ||
        harness.Receiver().NumLockOn() != harness.NumLockOn())
        __builtin_trap();
    return 0;
}
