#pragma once

#include "tests/support/ptydevice.h"

#include <array>
#include <chrono>
#include <functional>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// A Pennyscanner on a pseudo-terminal. When its button is pressed it calls
// with 0xFF 0xFC until it hears 0x80, which it echoes; then it echoes the
// synchronisation byte 0x7F and takes a command: 0x55 and a mode byte
// (bit 7 download, bits 2-3 block gap, bits 0-1 block size). A download
// sends the memory in blocks followed by their CRC-16/XMODEM, high byte
// first, the next one after each acknowledgement 0x06; when none comes the
// device calls again for a while, offering a rewrite. A rewrite receives
// the 128-byte header in checked blocks, acknowledging each good one, and
// then takes it over, which empties the memory when its end pointer is 128.
// Break pulses end a session; a pseudo-terminal cannot carry them, so a
// test that plays them through the port's OS-call seam passes them on.
class PennySim {
public:
    using Ms = std::chrono::milliseconds;
    static constexpr std::size_t kMemorySize = 4096;
    static constexpr std::size_t kHeaderSize = 128;

    explicit PennySim(PtyDevice& device);
    ~PennySim();
    PennySim(const PennySim&) = delete;
    PennySim& operator=(const PennySim&) = delete;

    void Start();
    void Stop();

    // A memory image: the configuration word and format byte given, the
    // records (characters, optional 4-byte field, header byte) written from
    // offset 128, the end pointer after the last.
    static std::string MakeImage(uint32_t configuration, uint8_t format,
                                 const std::vector<std::string>& records);
    // A configuration word the driver accepts as it is.
    static constexpr uint32_t kGoodConfiguration =
        0x4 | 0x8 | 0x10 | 0x20 | 0x40 | 0x100 | 0x800 | (1u << 23);

    void SetImage(std::string_view image);
    // The memory from 0 to its end pointer.
    std::string Image() const;
    uint32_t Configuration() const;

    // The user presses the button: the device calls until answered.
    void Press();
    // How long the device calls after a press, and after a download.
    void SetCallWindows(Ms press, Ms afterDownload);

    // How many break pulses the line has carried so far.
    void SetBreakCounter(std::function<int()> breaks);

    // The next block sent has a wrong CRC, or stops short.
    void CorruptNextBlock();
    void ShortenNextBlock();

    int Downloads() const; // complete sessions that sent blocks
    int Rewrites() const;  // headers taken over
    int BlocksSent() const;
    int Acknowledgements() const;
    std::vector<uint8_t> ModeBytes() const;

private:
    void Run(PtyDevice& device);
    void Session(PtyDevice& device);
    bool CallUntilAnswered(PtyDevice& device, Ms window);
    int Breaks() const;
    // Waits for one of `bytes`; 0 when none came in time.
    uint8_t AwaitByte(PtyDevice& device, std::string_view bytes, Ms timeout);
    void SendMemory(PtyDevice& device, uint8_t mode);
    void ReceiveHeader(PtyDevice& device, uint8_t mode);
    static uint16_t Crc(std::string_view bytes);

    PtyDevice& m_device;
    mutable std::mutex m_lock;
    std::array<uint8_t, kMemorySize> m_memory{};
    bool m_pressed = false;
    Ms m_pressWindow{3000};
    Ms m_afterDownloadWindow{1500};
    std::function<int()> m_breaks;
    bool m_corruptNext = false;
    bool m_shortenNext = false;
    int m_downloads = 0;
    int m_rewrites = 0;
    int m_blocksSent = 0;
    int m_acks = 0;
    std::vector<uint8_t> m_modes;
};
