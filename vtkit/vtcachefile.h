#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>

class TSDomDocument;

// A cache kept in one XML file. Derived classes hold the cached data under
// the recursive lock and turn it into text and back.
class VTCacheFile {
public:
    static constexpr std::int32_t kVersion = 200;
    // A cache file beyond this size is not read (result kCannotRead).
    static constexpr std::size_t kMaxFileBytes = 32u << 20;
    static constexpr unsigned kFileMode = 0644;

    enum Result : std::int32_t { kLoaded = 0, kCannotOpen = 1, kCannotRead = 2, kInvalid = 3 };

    VTCacheFile() = default;
    VTCacheFile(const VTCacheFile&) = delete;
    VTCacheFile& operator=(const VTCacheFile&) = delete;
    virtual ~VTCacheFile();

    // kLoaded or kInvalid; a rejected text leaves the cached data as it was.
    virtual std::int32_t Parse(std::string_view text) = 0;
    virtual bool Serialize(std::string& text) = 0;

    // Reads and parses the whole file. A null path is an internal error.
    std::int32_t Load(const char* path);
    std::int32_t Load(const std::filesystem::path& path);
    // Replaces the file in one step: a temporary file in the same folder is
    // written, flushed and renamed over it, so a save that fails or is cut
    // short leaves the previous file whole. A text larger than Load reads is
    // not written. False, with the reason in `error`, when anything failed.
    bool Save(const char* path);
    bool Save(const std::filesystem::path& path, std::string* error = nullptr);

    // Whether the cached data changed since it was last loaded from or
    // saved to a file, so that a client writes only what changed.
    bool IsModified() const { return m_modified; }

    std::int32_t GetReadVersion() const { return m_readVersion; }
    std::int32_t GetWriteVersion() const { return m_writeVersion; }

protected:
    std::recursive_mutex& Lock() const { return m_lock; }
    // Derived classes call this, under the lock, whenever their data changes.
    void NoteModified() { m_modified = true; }
    // The parsed text when its root has that name; false for broken XML or
    // another root.
    static bool ParseWithRoot(std::string_view text, std::u16string_view root, TSDomDocument& document);

private:
    std::int32_t m_readVersion = kVersion;
    std::int32_t m_writeVersion = kVersion;
    mutable std::recursive_mutex m_lock;
    std::atomic<bool> m_modified{false};
};
