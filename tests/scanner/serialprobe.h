#pragma once

#include "vtkit/scanner/srsystem.h"

#include <mutex>
#include <termios.h>
#include <string>
#include <vector>

// The real serial calls, with what a pseudo-terminal cannot carry added on
// top: a CTS input, modem lines and break that remember what was asked,
// the driver's line error counters, and failures of the next read or
// write. It also records the time-outs of the waits. Tests that use it say
// so; everything it does not answer goes to the real pty.
class SerialProbe : public VTSerialSystem {
public:
    int Open(const std::string& path, int flags) override;
    long Read(int fd, void* buffer, std::size_t count) override;
    long Write(int fd, const void* buffer, std::size_t count) override;
    int Poll(int fd, short events, int timeoutMs, short& revents) override;
    int Ioctl(int fd, unsigned long request, void* argument) override;
    int SetAttributes(int fd, const termios& attributes) override;

    void SetCTS(bool on);
    // Counts one framing error, as the driver would on a garbled byte.
    void InjectLineError();
    // The next read that brings bytes also counts a framing error, as when
    // a garbled byte arrives with them.
    void GarbleNextRead();
    // The next read or write fails with this error number.
    void FailNextRead(int error);
    void FailNextWrite(int error);

    // "DTR on", "RTS off", "break on", ... in the order asked.
    std::vector<std::string> LineChanges() const;
    bool IsBreakOn() const;
    // Requests to end a break, which the port makes each time it clears errors.
    int BreakClears() const;
    // Bytes the port has read from the device.
    std::size_t BytesRead() const;
    // The time-outs of the port's waits for input, in the order made.
    std::vector<int> ReadWaits() const;
    std::vector<int> WriteWaits() const;
    // Attempts to open a device.
    int Opens() const;
    // Forgets the waits recorded so far.
    void ClearWaits();
    // The line settings the port last asked for. A pty keeps only some of
    // them: it forces 8 data bits and no parity.
    termios LastSettings() const;

private:
    mutable std::mutex m_lock;
    bool m_cts = false;
    int m_lines = 0;
    bool m_break = false;
    int m_breakClears = 0;
    std::size_t m_bytesRead = 0;
    int m_opens = 0;
    int m_frameErrors = 0;
    bool m_garbleNextRead = false;
    int m_failRead = 0;
    int m_failWrite = 0;
    std::vector<std::string> m_changes;
    std::vector<int> m_readWaits;
    std::vector<int> m_writeWaits;
    termios m_settings{};
};
