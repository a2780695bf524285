#include "vtkit/scanner/srsystem.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

long Result(long value)
{
    return value < 0 ? -errno : value;
}

} // namespace

VTSerialSystem::~VTSerialSystem() = default;

int VTSerialSystem::Open(const std::string& path, int flags)
{
    return static_cast<int>(Result(::open(path.c_str(), flags)));
}

int VTSerialSystem::Close(int fd)
{
    return static_cast<int>(Result(::close(fd)));
}

long VTSerialSystem::Read(int fd, void* buffer, std::size_t count)
{
    return Result(::read(fd, buffer, count));
}

long VTSerialSystem::Write(int fd, const void* buffer, std::size_t count)
{
    return Result(::write(fd, buffer, count));
}

int VTSerialSystem::Poll(int fd, short events, int timeoutMs, short& revents)
{
    pollfd entry{fd, events, 0};
    const int result = static_cast<int>(Result(::poll(&entry, 1, timeoutMs)));
    revents = entry.revents;
    return result;
}

int VTSerialSystem::Ioctl(int fd, unsigned long request, void* argument)
{
    return static_cast<int>(Result(::ioctl(fd, request, argument)));
}

int VTSerialSystem::GetAttributes(int fd, termios& attributes)
{
    return static_cast<int>(Result(::tcgetattr(fd, &attributes)));
}

int VTSerialSystem::SetAttributes(int fd, const termios& attributes)
{
    return static_cast<int>(Result(::tcsetattr(fd, TCSANOW, &attributes)));
}

int VTSerialSystem::Lock(int fd, int operation)
{
    return static_cast<int>(Result(::flock(fd, operation)));
}

VTSerialSystem& VTSerialSystem::Real()
{
    static VTSerialSystem real;
    return real;
}
