#include "tests/support/pennysim.h"

#include <algorithm>
#include <utility>

namespace {

using Clock = std::chrono::steady_clock;

constexpr PennySim::Ms kCallInterval(20);
constexpr PennySim::Ms kStepTimeout(1000);
// How long the device waits for an acknowledgement before the transfer ends.
constexpr PennySim::Ms kAckTimeout(300);

std::size_t BlockSize(uint8_t mode)
{
    return std::size_t{16} << (mode & 0x03);
}

uint16_t Word(const uint8_t* at)
{
    return static_cast<uint16_t>(at[0] | (at[1] << 8));
}

void PutWord(std::string& bytes, std::size_t at, uint16_t value)
{
    bytes[at] = static_cast<char>(value & 0xFF);
    bytes[at + 1] = static_cast<char>(value >> 8);
}

} // namespace

PennySim::PennySim(PtyDevice& device) : m_device(device) {}

PennySim::~PennySim()
{
    Stop();
}

void PennySim::Start()
{
    m_device.Play([this](PtyDevice& device) { Run(device); });
}

void PennySim::Stop()
{
    m_device.StopPlaying();
}

std::string PennySim::MakeImage(uint32_t configuration, uint8_t format,
                                const std::vector<std::string>& records)
{
    std::string image(kHeaderSize, '\0');
    PutWord(image, 0, static_cast<uint16_t>(configuration & 0xFFFF));
    PutWord(image, 2, static_cast<uint16_t>(configuration >> 16));
    PutWord(image, 18, 0x5A5A);
    image[24] = static_cast<char>(format);
    for (const auto& record : records)
        image += record;
    PutWord(image, 16, static_cast<uint16_t>(image.size()));
    return image;
}

void PennySim::SetImage(std::string_view image)
{
    std::lock_guard lock(m_lock);
    m_memory.fill(0);
    std::copy_n(image.begin(), std::min(image.size(), kMemorySize), m_memory.begin());
}

std::string PennySim::Image() const
{
    std::lock_guard lock(m_lock);
    const std::size_t end = std::clamp<std::size_t>(Word(&m_memory[16]), kHeaderSize, kMemorySize);
    return std::string(m_memory.begin(), m_memory.begin() + static_cast<std::ptrdiff_t>(end));
}

uint32_t PennySim::Configuration() const
{
    std::lock_guard lock(m_lock);
    return Word(&m_memory[0]) | (static_cast<uint32_t>(Word(&m_memory[2])) << 16);
}

void PennySim::Press()
{
    std::lock_guard lock(m_lock);
    m_pressed = true;
}

void PennySim::SetCallWindows(Ms press, Ms afterDownload)
{
    std::lock_guard lock(m_lock);
    m_pressWindow = press;
    m_afterDownloadWindow = afterDownload;
}

void PennySim::SetBreakCounter(std::function<int()> breaks)
{
    std::lock_guard lock(m_lock);
    m_breaks = std::move(breaks);
}

int PennySim::Breaks() const
{
    std::lock_guard lock(m_lock);
    return m_breaks ? m_breaks() : 0;
}

void PennySim::CorruptNextBlock()
{
    std::lock_guard lock(m_lock);
    m_corruptNext = true;
}

void PennySim::ShortenNextBlock()
{
    std::lock_guard lock(m_lock);
    m_shortenNext = true;
}

int PennySim::Downloads() const
{
    std::lock_guard lock(m_lock);
    return m_downloads;
}

int PennySim::Rewrites() const
{
    std::lock_guard lock(m_lock);
    return m_rewrites;
}

int PennySim::BlocksSent() const
{
    std::lock_guard lock(m_lock);
    return m_blocksSent;
}

int PennySim::Acknowledgements() const
{
    std::lock_guard lock(m_lock);
    return m_acks;
}

std::vector<uint8_t> PennySim::ModeBytes() const
{
    std::lock_guard lock(m_lock);
    return m_modes;
}

uint16_t PennySim::Crc(std::string_view bytes)
{
    unsigned crc = 0;
    for (unsigned char c : bytes) {
        crc ^= static_cast<unsigned>(c) << 8;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? ((crc << 1) ^ 0x1021) & 0xFFFF : (crc << 1) & 0xFFFF;
    }
    return static_cast<uint16_t>(crc);
}

// Idle until pressed; what the driver sends meanwhile is not heard.
void PennySim::Run(PtyDevice& device)
{
    while (!device.StopRequested()) {
        device.Receive(64, Ms(10));
        bool pressed;
        {
            std::lock_guard lock(m_lock);
            pressed = std::exchange(m_pressed, false);
        }
        if (pressed)
            Session(device);
    }
}

// Calls, synchronises and obeys one command; after a download it calls
// again so that the driver can rewrite the header.
void PennySim::Session(PtyDevice& device)
{
    Ms window;
    {
        std::lock_guard lock(m_lock);
        window = m_pressWindow;
    }
    for (;;) {
        if (!CallUntilAnswered(device, window) || AwaitByte(device, "\x7F", kStepTimeout) == 0)
            return;
        device.Send("\x7F");
        if (AwaitByte(device, "\x55", kStepTimeout) == 0)
            return;
        const std::string mode = device.Receive(1, kStepTimeout);
        if (mode.empty())
            return;
        const auto modeByte = static_cast<uint8_t>(mode[0]);
        {
            std::lock_guard lock(m_lock);
            m_modes.push_back(modeByte);
            window = m_afterDownloadWindow;
        }
        if (!(modeByte & 0x80)) {
            ReceiveHeader(device, modeByte);
            return;
        }
        SendMemory(device, modeByte);
    }
}

// A break ends the calling: the driver has finished with the device.
bool PennySim::CallUntilAnswered(PtyDevice& device, Ms window)
{
    const auto deadline = Clock::now() + window;
    const int breaks = Breaks();
    while (Clock::now() < deadline && !device.StopRequested() && Breaks() == breaks) {
        device.Send("\xFF\xFC");
        if (AwaitByte(device, "\x80", kCallInterval) != 0) {
            device.Send("\x80");
            return true;
        }
    }
    return false;
}

uint8_t PennySim::AwaitByte(PtyDevice& device, std::string_view bytes, Ms timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (!device.StopRequested()) {
        const auto left = std::chrono::ceil<Ms>(deadline - Clock::now());
        if (left.count() <= 0)
            return 0;
        const std::string got = device.Receive(1, left);
        if (!got.empty() && bytes.find(got[0]) != std::string_view::npos)
            return static_cast<uint8_t>(got[0]);
    }
    return 0;
}

void PennySim::SendMemory(PtyDevice& device, uint8_t mode)
{
    const std::size_t size = BlockSize(mode);
    for (std::size_t offset = 0; offset + size <= kMemorySize; offset += size) {
        std::string block;
        {
            std::lock_guard lock(m_lock);
            block.assign(m_memory.begin() + static_cast<std::ptrdiff_t>(offset),
                         m_memory.begin() + static_cast<std::ptrdiff_t>(offset + size));
            const uint16_t crc = Crc(block);
            block += static_cast<char>(crc >> 8);
            block += static_cast<char>(crc & 0xFF);
            if (std::exchange(m_corruptNext, false))
                block[1] = static_cast<char>(block[1] ^ 0x10);
            if (std::exchange(m_shortenNext, false))
                block.resize(size / 2);
            ++m_blocksSent;
        }
        device.Send(block);
        if (AwaitByte(device, "\x06", kAckTimeout) == 0)
            break;
        std::lock_guard lock(m_lock);
        ++m_acks;
    }
    std::lock_guard lock(m_lock);
    ++m_downloads;
}

void PennySim::ReceiveHeader(PtyDevice& device, uint8_t mode)
{
    const std::size_t size = BlockSize(mode);
    std::string header;
    while (header.size() < kHeaderSize) {
        const std::string block = device.Receive(size + 2, kStepTimeout);
        if (block.size() < size + 2 || Crc(block) != 0)
            return;
        header += block.substr(0, size);
        device.Send("\x06");
    }
    std::lock_guard lock(m_lock);
    std::copy(header.begin(), header.end(), m_memory.begin());
    ++m_rewrites;
}
