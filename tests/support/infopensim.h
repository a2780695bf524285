#pragma once

#include "tests/support/ptydevice.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A CyberPen or CS2000 on a pseudo-terminal: it holds a list of stored
// records and answers the command protocol, every command and answer
// framed as command, 02, data, 00 and an XOR check byte. Interrogate,
// set parameters, upload, clear memory and power down are understood; a
// command with a wrong check is ignored. After powering down the device
// sleeps until woken (the user presses its button). Faults can be queued
// per command. Its checks are its own, not the driver's.
class InfoPenSim {
public:
    // How the device mishandles the next command of a kind.
    enum class Fault {
        kSilent,   // ignores the command: no answer, nothing done
        kBadCheck, // does the command, the answer's check is wrong
        kShort,    // does the command, the answer stops halfway
    };

    explicit InfoPenSim(PtyDevice& device);
    virtual ~InfoPenSim();
    InfoPenSim(const InfoPenSim&) = delete;
    InfoPenSim& operator=(const InfoPenSim&) = delete;

    // Serves the device on the pty's player thread until Stop.
    void Start();
    void Stop();

    // One stored record as the device keeps it: for the CyberPen a
    // symbology letter and the code's characters.
    void AddRecord(std::string record);
    std::vector<std::string> Records() const;
    void SetParameter(uint8_t number, uint8_t value);
    std::optional<uint8_t> Parameter(uint8_t number) const;

    bool IsAwake() const;
    void WakeUp();

    void QueueFault(uint8_t command, Fault fault, int times = 1);

    // Every complete command received, as its bytes, in order.
    std::vector<std::string> Commands() const;
    // How many commands of this kind were received with a good check.
    int Count(uint8_t command) const;
    // The commands with a wrong check.
    int Rejected() const;

protected:
    // Framing of the family.
    virtual std::string Check(std::string_view bytes) const;
    virtual std::size_t CheckSize() const { return 1; }
    virtual std::string UploadHeader() const;
    // Length of the command at the front of `pending`: 0 while incomplete,
    // nullopt when its first byte begins no command.
    virtual std::optional<std::size_t> CommandLength(std::string_view pending) const;
    // The answer to a command with a good check, without its check; empty
    // for no answer. Called with the lock held.
    virtual std::string Answer(uint8_t command, std::string_view data);
    // Whether the device hears the line at all.
    virtual bool OnLine() const { return true; }

    std::string Frame(std::string bytes) const { return bytes + Check(bytes); }

    mutable std::mutex m_lock;
    std::vector<std::string> m_records;
    std::map<uint8_t, uint8_t> m_parameters;

private:
    std::string Respond(std::string& pending);
    std::string Apply(std::optional<Fault> fault, std::string answer) const;
    std::optional<Fault> TakeFault(uint8_t command);

    PtyDevice& m_device;
    bool m_awake = true;
    std::map<uint8_t, std::deque<Fault>> m_faults;
    std::vector<std::string> m_commands;
    std::map<uint8_t, int> m_counts;
    int m_rejected = 0;
};
