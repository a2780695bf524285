#include "tst/tsfile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void Describe(std::string* error, const std::string& what, const std::filesystem::path& path, int err)
{
    if (error)
        *error = what + " " + path.string() + ": " + std::strerror(err);
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

bool TSWriteFileAtomically(const std::filesystem::path& path, std::string_view bytes, unsigned mode,
                           std::string* error)
{
    std::string temp = path.string() + ".tmp.XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        Describe(error, "cannot create a temporary file for", path, errno);
        return false;
    }

    int err = 0;
    if (::fchmod(fd, static_cast<mode_t>(mode)) != 0 || !WriteAll(fd, bytes) || ::fsync(fd) != 0)
        err = errno;
    if (::close(fd) != 0 && err == 0)
        err = errno;
    if (err == 0 && ::rename(temp.c_str(), path.c_str()) != 0)
        err = errno;
    if (err != 0) {
        ::unlink(temp.c_str());
        Describe(error, "cannot write", path, err);
        return false;
    }
    return true;
}

TSReadFileResult TSReadWholeFile(const std::filesystem::path& path, std::string& bytes, std::size_t maxBytes,
                                 std::string* error)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        Describe(error, "cannot open", path, errno);
        return kReadFileCannotOpen;
    }
    std::string data;
    // Room for the whole file at once: growing by doubling copies it again
    // and again (the size is a hint; the reads below decide).
    struct stat status {};
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
        static_cast<std::size_t>(status.st_size) <= maxBytes)
        data.reserve(static_cast<std::size_t>(status.st_size));
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
    if (err != 0) {
        Describe(error, "cannot read", path, err);
        return kReadFileCannotRead;
    }
    bytes = std::move(data);
    return kReadFileDone;
}
