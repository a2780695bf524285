#include "platform/atomicfile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

bool Fail(std::string* error, const std::string& what, const std::filesystem::path& path, int err)
{
    if (error)
        *error = what + " " + path.string() + ": " + std::strerror(err);
    return false;
}

bool WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

} // namespace

bool WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes, unsigned mode,
                         std::string* error)
{
    std::string temp = path.string() + ".tmp.XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return Fail(error, "cannot create a temporary file for", path, errno);

    int err = 0;
    if (::fchmod(fd, static_cast<mode_t>(mode)) != 0 || !WriteAll(fd, bytes) || ::fsync(fd) != 0)
        err = errno;
    if (::close(fd) != 0 && err == 0)
        err = errno;
    if (err == 0 && ::rename(temp.c_str(), path.c_str()) != 0)
        err = errno;
    if (err != 0) {
        ::unlink(temp.c_str());
        return Fail(error, "cannot write", path, err);
    }
    return true;
}

bool ReadWholeFile(const std::filesystem::path& path, std::string& bytes, std::size_t maxBytes,
                   std::string* error)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return Fail(error, "cannot open", path, errno);
    std::string data;
    char chunk[16384];
    int err = 0;
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            err = errno;
            break;
        }
        if (got == 0)
            break;
        if (data.size() + static_cast<std::size_t>(got) > maxBytes) {
            err = EFBIG;
            break;
        }
        data.append(chunk, static_cast<std::size_t>(got));
    }
    ::close(fd);
    if (err != 0)
        return Fail(error, "cannot read", path, err);
    bytes = std::move(data);
    return true;
}

bool EnsureFolder(const std::filesystem::path& folder, unsigned mode, std::string* error)
{
    if (folder.empty())
        return true;
    struct stat info {};
    if (::stat(folder.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode))
            return true;
        return Fail(error, "not a folder:", folder, ENOTDIR);
    }
    if (folder.has_parent_path() && folder.parent_path() != folder &&
        !EnsureFolder(folder.parent_path(), mode, error))
        return false;
    if (::mkdir(folder.c_str(), static_cast<mode_t>(mode)) != 0 && errno != EEXIST)
        return Fail(error, "cannot create folder", folder, errno);
    return true;
}

} // namespace platform
