#include "tst/tsfile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
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
    RemoveStaleTemporaries(path);
    std::string temp = path.string() + kTemporaryInfix + "XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        Describe(error, "cannot create a temporary file for", path, errno);
        return false;
    }
    // Held until the rename, so that no other save takes it for stale.
    ::flock(fd, LOCK_EX | LOCK_NB);

    int err = 0;
    if (::fchmod(fd, static_cast<mode_t>(mode)) != 0 || !WriteAll(fd, bytes) || ::fsync(fd) != 0)
        err = errno;
    if (err == 0 && ::rename(temp.c_str(), path.c_str()) != 0)
        err = errno;
    if (err != 0)
        ::unlink(temp.c_str());
    if (::close(fd) != 0 && err == 0)
        err = errno;
    if (err != 0) {
        Describe(error, "cannot write", path, err);
        return false;
    }
    return true;
}

std::size_t RemoveStaleTemporaries(const std::filesystem::path& path)
{
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
    const std::string prefix = path.filename().string() + kTemporaryInfix;
    std::error_code failed;
    std::filesystem::directory_iterator entries(folder, failed);
    if (failed)
        return 0;
    std::size_t removed = 0;
    const auto now = std::filesystem::file_time_type::clock::now();
    for (const auto& entry : entries) {
        const std::string name = entry.path().filename().string();
        if (!name.starts_with(prefix) || name.size() != prefix.size() + 6 || !entry.is_regular_file(failed))
            continue;
        // A temporary just created may not be locked yet.
        const auto written = entry.last_write_time(failed);
        if (failed || now - written < kStaleTemporaryAge)
            continue;
        const int fd = ::open(entry.path().c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0)
            continue;
        // A save in progress holds its lock; one that was cut short holds none.
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::unlink(entry.path().c_str()) == 0)
            ++removed;
        ::close(fd);
    }
    return removed;
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
