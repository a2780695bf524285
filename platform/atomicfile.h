#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace platform {

// Replaces `path` with `bytes` so that readers see either the old file or the
// whole new one: the bytes go to a temporary file in the same folder, are
// flushed to the disk and renamed over the old name. On failure the old file
// is untouched, no temporary is left behind and `error` (when given) says why.
bool WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes, unsigned mode = 0600,
                         std::string* error = nullptr);

// Reads a whole file. False when it cannot be opened or read, or when it is
// larger than `maxBytes`; `error` says which.
bool ReadWholeFile(const std::filesystem::path& path, std::string& bytes, std::size_t maxBytes,
                   std::string* error = nullptr);

// Where a damaged copy of `file` is kept: the first free of "<file>.damaged",
// "<file>.damaged.1", ..., so that every damaged original stays.
std::filesystem::path DamagedCopyName(const std::filesystem::path& file);
// Moves `file` to DamagedCopyName(file); the new name, or empty when it could not be moved.
std::filesystem::path KeepAsDamaged(const std::filesystem::path& file);

// Creates `folder` and any missing parents; new folders get `mode`.
bool EnsureFolder(const std::filesystem::path& folder, unsigned mode = 0700, std::string* error = nullptr);

} // namespace platform
