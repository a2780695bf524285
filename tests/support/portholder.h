#pragma once

#include <string>
#include <sys/types.h>

// Another process holding a serial device open, exclusive and locked, the
// way a second program using the port would.
class PortHolder {
public:
    // Returns once the other process holds the device; throws when it cannot.
    explicit PortHolder(const std::string& devicePath);
    // Lets the other process go and waits for it.
    ~PortHolder();
    PortHolder(const PortHolder&) = delete;
    PortHolder& operator=(const PortHolder&) = delete;

private:
    pid_t m_child = -1;
    int m_release = -1;
};
