#include "platform/atomicfile.h"

#include "tst/tsfile.h"

#include <cerrno>
#include <cstdio>
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

} // namespace

bool WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes, unsigned mode,
                         std::string* error)
{
    return TSWriteFileAtomically(path, bytes, mode, error);
}

bool ReadWholeFile(const std::filesystem::path& path, std::string& bytes, std::size_t maxBytes,
                   std::string* error)
{
    return TSReadWholeFile(path, bytes, maxBytes, error) == kReadFileDone;
}

std::filesystem::path DamagedCopyName(const std::filesystem::path& file)
{
    std::filesystem::path copy = file.string() + ".damaged";
    for (int n = 1; n < 100 && ::access(copy.c_str(), F_OK) == 0; ++n)
        copy = file.string() + ".damaged." + std::to_string(n);
    return copy;
}

std::filesystem::path KeepAsDamaged(const std::filesystem::path& file)
{
    const std::filesystem::path copy = DamagedCopyName(file);
    if (::rename(file.c_str(), copy.c_str()) != 0)
        return {};
    return copy;
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
