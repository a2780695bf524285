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
    return Parse(text);
}

bool VTCacheFile::Save(const char* path)
{
    TS_CHECK_NULL(path);
    return Save(std::filesystem::path(path));
}

bool VTCacheFile::Save(const std::filesystem::path& path)
{
    std::string text;
    {
        std::lock_guard guard(m_lock);
        if (!Serialize(text))
            return false;
    }
    return TSWriteFileAtomically(path, text, kFileMode);
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
