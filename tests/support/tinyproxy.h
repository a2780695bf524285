#pragma once

#include "tests/support/tempdir.h"

#include <cstdint>
#include <string>
#include <sys/types.h>

// A real tinyproxy on 127.0.0.1, in the foreground, with Basic
// authentication, its configuration, pid file and log in a directory of
// its own; stopped when the object goes away.
class TinyProxy {
public:
    // The tinyproxy program, or empty when it is not installed.
    static std::string Executable();

    // Throws std::runtime_error when the proxy does not come up.
    TinyProxy(const std::string& user, const std::string& password);
    ~TinyProxy();
    TinyProxy(const TinyProxy&) = delete;
    TinyProxy& operator=(const TinyProxy&) = delete;

    uint16_t Port() const { return m_port; }
    // "127.0.0.1:port".
    std::string Address() const;
    std::string Log() const;

private:
    bool TryStart(const std::string& user, const std::string& password);
    void StopProcess();

    TempDir m_dir;
    pid_t m_pid = -1;
    uint16_t m_port = 0;
};
