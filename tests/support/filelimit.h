#pragma once

#include <cstddef>
#include <sys/resource.h>

// While alive, no file of this process can grow beyond `bytes`: writes past
// that fail with EFBIG, as on a full disk. Lets a test stop a save after
// exactly N bytes with the real file system call failing.
class FileSizeLimit {
public:
    explicit FileSizeLimit(std::size_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_saved{};
    void (*m_savedHandler)(int) = nullptr;
};
