#include "vtkit/vtcachefile.h"

#include "tst/tsexcep.h"
#include "tst/tsfile.h"
#include "tst/xml/dom/domnode.h"
#include "vtkit/vtparsers.h"

VTCacheFile::~VTCacheFile() = default;

std::int32_t VTCacheFile::Load(const char* path)
{
    TS_CHECK_NULL(path);
    return Load(std::filesystem::path(path));
}

std::int32_t VTCacheFile::Load(const std::filesystem::path& path)
{
    std::string text;
    switch (TSReadWholeFile(path, text, kMaxFileBytes)) {
    case kReadFileDone:
        break;
    case kReadFileCannotOpen:
        return kCannotOpen;
    default:
        return kCannotRead;
    }
    std::lock_guard guard(m_lock);
    const std::int32_t result = Parse(text);
    if (result == kLoaded)
        m_modified = false;
    return result;
}

bool VTCacheFile::Save(const char* path)
{
    TS_CHECK_NULL(path);
    return Save(std::filesystem::path(path));
}

bool VTCacheFile::Save(const std::filesystem::path& path, std::string* error)
{
    std::string text;
    {
        // Cleared with the text taken, so that a change made while the file
        // is written counts for the next save.
        std::lock_guard guard(m_lock);
        if (!Serialize(text))
            return false;
        m_modified = false;
    }
    // A file the next start would refuse would lose every entry it holds.
    if (text.size() > kMaxFileBytes) {
        if (error)
            *error = "the cache would be " + std::to_string(text.size()) + " bytes, more than the " +
                     std::to_string(kMaxFileBytes) + " it may have; the file is left as it was";
        m_modified = true;
        return false;
    }
    if (TSWriteFileAtomically(path, text, kFileMode, error))
        return true;
    m_modified = true;
    return false;
}

bool VTCacheFile::ParseWithRoot(std::string_view text, std::u16string_view root, TSDomDocument& document)
{
    try {
        document = ParseDocument(text);
    } catch (const TSException&) {
        return false;
    }
    return RootName(document) == root;
}
