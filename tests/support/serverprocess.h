#pragma once

#include "tests/support/tempdir.h"

#include <chrono>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

// A program run in the background for a test, typically a server that
// writes its port to a file once it listens. Its standard error is kept in
// a file; the program is killed when the object goes away.
class ServerProcess {
public:
    // Throws std::runtime_error when the program cannot be started.
    ServerProcess(const std::string& program, const std::vector<std::string>& args);
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // The port written to `path`, once the file holds a line; 0 when the
    // program ended first or `timeout` passed.
    std::uint16_t WaitForPortFile(const std::filesystem::path& path,
                                  std::chrono::milliseconds timeout = std::chrono::seconds(20));
    // Sends `signal` and waits for the program to end: its exit status, or
    // -1 when it did not exit normally or within `timeout` (it is then killed).
    int Stop(int signal = SIGTERM, std::chrono::milliseconds timeout = std::chrono::seconds(20));
    // Waits for the program to end by itself; as Stop for the result.
    int Wait(std::chrono::milliseconds timeout = std::chrono::seconds(20));
    bool IsRunning();
    // What the program wrote to its standard error so far.
    std::string ErrorOutput() const;
    pid_t Pid() const { return m_pid; }

private:
    bool Reap(bool block);

    TempDir m_dir;
    pid_t m_pid = -1;
    bool m_exited = false;
    int m_status = 0;
};
