#include "tests/support/deadsocket.h"

#include <cstdio>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

void LeaveDeadSocket(const std::filesystem::path& path)
{
    std::filesystem::create_directories(path.parent_path());
    std::filesystem::permissions(path.parent_path(), std::filesystem::perms::owner_all);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    const bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    if (!bound)
        throw std::runtime_error("cannot bind " + path.string());
}
