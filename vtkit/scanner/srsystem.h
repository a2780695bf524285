#pragma once

#include <cstddef>
#include <string>

struct termios;

// The operating-system calls under the serial port. The base class makes
// the real calls; a test derives from it to inject what a pseudo-terminal
// cannot carry (line errors, CTS, break). Every call returns what the system
// call returns on success and -errno on failure.
class VTSerialSystem {
public:
    VTSerialSystem() = default;
    VTSerialSystem(const VTSerialSystem&) = delete;
    VTSerialSystem& operator=(const VTSerialSystem&) = delete;
    virtual ~VTSerialSystem();

    virtual int Open(const std::string& path, int flags);
    virtual int Close(int fd);
    virtual long Read(int fd, void* buffer, std::size_t count);
    virtual long Write(int fd, const void* buffer, std::size_t count);
    // Waits for `events` on one descriptor; 0 on time-out, else 1 with `revents`.
    virtual int Poll(int fd, short events, int timeoutMs, short& revents);
    virtual int Ioctl(int fd, unsigned long request, void* argument);
    virtual int GetAttributes(int fd, termios& attributes);
    virtual int SetAttributes(int fd, const termios& attributes);
    // flock(2).
    virtual int Lock(int fd, int operation);

    // The real calls, shared by every port that is given no other.
    static VTSerialSystem& Real();
};
