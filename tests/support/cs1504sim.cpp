#include "tests/support/cs1504sim.h"

#include <utility>

CS1504Sim::CS1504Sim(PtyDevice& device) : InfoPenSim(device)
{
    m_parameters = {{0x02, 3}, {0x08, 1}, {0x09, 1}, {0x23, 0}, {0x2B, 1}, {0x2C, 1}, {0x35, 2}};
}

CS1504Sim::~CS1504Sim()
{
    // The player calls back into this object: it ends before the object does.
    Stop();
}

void CS1504Sim::SetCradleLine(std::function<void(bool)> cts)
{
    std::lock_guard lock(m_lock);
    m_cts = std::move(cts);
    if (m_cts)
        m_cts(m_inCradle);
}

void CS1504Sim::PutInCradle(bool inCradle)
{
    std::lock_guard lock(m_lock);
    m_inCradle = inCradle;
    if (m_cts)
        m_cts(inCradle);
}

std::string CS1504Sim::Check(std::string_view bytes) const
{
    unsigned crc = 0xFFFF;
    for (unsigned char c : bytes) {
        crc ^= c;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    crc = ~crc & 0xFFFF;
    return {static_cast<char>(crc >> 8), static_cast<char>(crc & 0xFF)};
}

// Reads as two records (an EAN-13 and a Code 128) from a wrong offset.
std::string CS1504Sim::UploadHeader() const
{
    return std::string("\x03\x0B"
                       "99"
                       "\x03\x03"
                       "ZZ",
                       8);
}

// Get parameters: 08 02, a count, that many numbers, 00 and the check.
std::optional<std::size_t> CS1504Sim::CommandLength(std::string_view pending) const
{
    if (static_cast<uint8_t>(pending[0]) != 0x08)
        return InfoPenSim::CommandLength(pending);
    if (pending.size() < 3)
        return 0;
    const std::size_t length = 3 + static_cast<uint8_t>(pending[2]) + 1 + CheckSize();
    return pending.size() >= length ? length : 0;
}

std::string CS1504Sim::Answer(uint8_t command, std::string_view data)
{
    if (command != 0x08)
        return InfoPenSim::Answer(command, data);
    std::string answer("\x06\x02", 2);
    for (std::size_t i = 1; i < data.size(); ++i) {
        const auto found = m_parameters.find(static_cast<uint8_t>(data[i]));
        if (found != m_parameters.end())
            answer += {'\x02', static_cast<char>(found->first), static_cast<char>(found->second)};
    }
    return answer + '\0';
}
