#pragma once

#include "tests/support/infopensim.h"

#include <functional>

// A CS1504 on a pseudo-terminal: the CyberPen's commands framed with a
// CRC-16 (reflected 0x8005, from 0xFFFF, complemented; high byte first),
// an 8-byte upload header and a get-parameters command. Records are a
// symbology code, the characters and, with parameter 0x23 on, a 4-byte
// time stamp. The device hears the line only while it sits in its cradle,
// which raises CTS; a pseudo-terminal has no CTS, so the test passes the
// cradle on to whatever plays that line (the port's OS-call seam).
class CS1504Sim : public InfoPenSim {
public:
    // Starts in the cradle with every symbology on, time stamps off and the
    // volume at 3.
    explicit CS1504Sim(PtyDevice& device);
    ~CS1504Sim() override;

    void SetCradleLine(std::function<void(bool)> cts);
    void PutInCradle(bool inCradle);

    static std::string TimeStamp() { return std::string("\x8C\x01\xFE\x07", 4); }

protected:
    std::string Check(std::string_view bytes) const override;
    std::size_t CheckSize() const override { return 2; }
    std::string UploadHeader() const override;
    std::optional<std::size_t> CommandLength(std::string_view pending) const override;
    std::string Answer(uint8_t command, std::string_view data) override;
    bool OnLine() const override { return m_inCradle; }

private:
    bool m_inCradle = true;
    std::function<void(bool)> m_cts;
};
