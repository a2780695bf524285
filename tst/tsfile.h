#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

// Whole-file reads and atomic replacement, for every store of user data.

// Replaces `path` with `bytes` so that readers see either the old file or the
// whole new one: the bytes go to a temporary file in the same folder, are
// flushed to the disk and renamed over the old name. On failure the old file
// is untouched, no temporary is left behind and `error` (when given) says why.
// Temporaries that an earlier save left behind (cut short by a crash or a
// kill) are removed first; see RemoveStaleTemporaries.
bool TSWriteFileAtomically(const std::filesystem::path& path, std::string_view bytes, unsigned mode = 0600,
                           std::string* error = nullptr);

// The temporaries of `path` are "<path>.tmp.XXXXXX".
inline constexpr const char* kTemporaryInfix = ".tmp.";
// Younger temporaries are left alone, whoever holds them.
inline constexpr std::chrono::seconds kStaleTemporaryAge{10};
// Removes the temporaries of `path` that no save holds any more (each save
// locks its own until the rename); the count removed.
std::size_t RemoveStaleTemporaries(const std::filesystem::path& path);

enum TSReadFileResult : int {
    kReadFileDone = 0,
    kReadFileCannotOpen = 1,
    kReadFileCannotRead = 2, // a read error, or more than the bytes allowed
};

// Reads a whole file of at most `maxBytes`; `bytes` is changed only on success.
TSReadFileResult TSReadWholeFile(const std::filesystem::path& path, std::string& bytes, std::size_t maxBytes,
                                 std::string* error = nullptr);
