#include "tests/support/portholder.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The child: only async-signal-safe calls after fork.
[[noreturn]] void Hold(const char* path, int ready, int release)
{
    int status = 0;
    const int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0 || ioctl(fd, TIOCEXCL) != 0 || flock(fd, LOCK_EX | LOCK_NB) != 0)
        status = errno ? errno : EIO;
    if (write(ready, &status, sizeof status) != sizeof status)
        _exit(1);
    char byte;
    while (read(release, &byte, 1) < 0 && errno == EINTR) {
    }
    _exit(0);
}

} // namespace

PortHolder::PortHolder(const std::string& devicePath)
{
    int ready[2], release[2];
    if (pipe2(ready, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    if (pipe2(release, O_CLOEXEC) != 0) {
        close(ready[0]);
        close(ready[1]);
        throw std::runtime_error("pipe");
    }
    m_child = fork();
    if (m_child == 0) {
        // The release end must close only when the parent's copy does.
        close(ready[0]);
        close(release[1]);
        Hold(devicePath.c_str(), ready[1], release[0]);
    }
    close(ready[1]);
    close(release[0]);
    m_release = release[1];
    int status = errno;
    const bool started = m_child > 0 && read(ready[0], &status, sizeof status) == sizeof status;
    close(ready[0]);
    if (!started || status != 0) {
        this->~PortHolder();
        throw std::runtime_error("cannot hold " + devicePath + ": " + std::strerror(status));
    }
}

PortHolder::~PortHolder()
{
    if (m_release >= 0)
        close(m_release);
    m_release = -1;
    if (m_child > 0)
        waitpid(m_child, nullptr, 0);
    m_child = -1;
}
