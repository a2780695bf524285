#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

// Whole-file reads and atomic replacement, for every store of user data.

// Replaces `path` with `bytes` so that readers see either the old file or the
// whole new one: the bytes go to a temporary file in the same folder, are
// flushed to the disk and renamed over the old name. On failure the old file
// is untouched, no temporary is left behind and `error` (when given) says why.
bool TSWriteFileAtomically(const std::filesystem::path& path, std::string_view bytes, unsigned mode = 0600,
                           std::string* error = nullptr);

enum TSReadFileResult : int {
    kReadFileDone = 0,
    kReadFileCannotOpen = 1,
    kReadFileCannotRead = 2, // a read error, or more than the bytes allowed
};

// Reads a whole file of at most `maxBytes`; `bytes` is changed only on success.
TSReadFileResult TSReadWholeFile(const std::filesystem::path& path, std::string& bytes, std::size_t maxBytes,
                                 std::string* error = nullptr);
