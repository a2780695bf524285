// A selector byte (core, format or template cache), then arbitrary bytes as
// the file that cache loads. Whatever loads must serialize and parse again
// to the same text (saving itself is left out: its flush to the disk would
// slow the fuzzer a hundredfold).
#include "tests/fuzz/replyfuzz.h"
#include "vtkit/vtcache.h"
#include "vtkit/vtcorecache.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <unistd.h>

namespace {

// In memory where the system has such a folder: truncating a file on a
// disk costs milliseconds.
std::filesystem::path ScratchFile()
{
    static const std::filesystem::path path = [] {
        const std::filesystem::path base =
            std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
        std::string folder = (base / "fuzz-cachefile.XXXXXX").string();
        if (!::mkdtemp(folder.data()))
            std::abort();
        return std::filesystem::path(folder) / "cache";
    }();
    static const int cleanup = std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(ScratchFile().parent_path(), ignored);
    });
    (void)cleanup;
    return path;
}

std::unique_ptr<VTCacheFile> MakeCache(std::uint8_t selector)
{
    switch (selector % 3) {
    case 0:
        return std::make_unique<VTCoreCacheFile>();
    case 1:
        return std::make_unique<VTCodeCacheFile>();
    default:
        return std::make_unique<VTServerCacheFile>();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::filesystem::path path = ScratchFile();
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
    }
    const std::unique_ptr<VTCacheFile> cache = MakeCache(data[0]);
    const std::int32_t result = cache->Load(path);
    if (result != VTCacheFile::kLoaded && result != VTCacheFile::kInvalid)
        __builtin_trap();
    if (result != VTCacheFile::kLoaded)
        return 0;
    std::string first, second;
    const std::unique_ptr<VTCacheFile> again = MakeCache(data[0]);
    if (!cache->Serialize(first) || again->Parse(first) != VTCacheFile::kLoaded || !again->Serialize(second))
        __builtin_trap();
    // What was saved reads back to the same text.
    if (first != second)
        __builtin_trap();
    return 0;
}
