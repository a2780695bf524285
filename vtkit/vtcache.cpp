#include "vtkit/vtcache.h"

#include "tst/tsexcep.h"
#include "vtkit/vtparsers.h"

#include <utility>

VTCodeCacheFile::~VTCodeCacheFile() = default;

std::int32_t VTCodeCacheFile::Parse(std::string_view text)
{
    VTCodeFormatList formats;
    if (!ReadCodeFormatText(text, u"CODE_FORMAT_LIST", formats, GetReadVersion()))
        return kInvalid;
    std::lock_guard guard(Lock());
    m_formats = std::move(formats);
    NoteModified();
    return kLoaded;
}

bool VTCodeCacheFile::Serialize(std::string& text)
{
    std::lock_guard guard(Lock());
    text = FormatCodeFormats(m_formats, GetWriteVersion());
    return true;
}

bool VTCodeCacheFile::Find(int type, std::string_view code, VTCodeFormat& format, bool acceptExpired,
                           VTTime now) const
{
    std::lock_guard guard(Lock());
    const VTCodeFormat* found = m_formats.Locate(type, code);
    if (!found || (!acceptExpired && found->IsExpired(now)))
        return false;
    format = *found;
    return true;
}

void VTCodeCacheFile::Add(const VTCodeFormat& format)
{
    std::lock_guard guard(Lock());
    m_formats.Remove(format);
    m_formats.Add(format);
    NoteModified();
}

void VTCodeCacheFile::Clear()
{
    std::lock_guard guard(Lock());
    m_formats.Clear();
    NoteModified();
}

void VTCodeCacheFile::ExpireAll(VTTime now)
{
    std::lock_guard guard(Lock());
    m_formats.ExpireAll(now);
    NoteModified();
}

VTCodeFormatList VTCodeCacheFile::GetFormats() const
{
    std::lock_guard guard(Lock());
    return m_formats;
}

VTServerCacheFile::~VTServerCacheFile() = default;

std::int32_t VTServerCacheFile::Parse(std::string_view text)
{
    VTServerDataList records;
    if (!ReadServerTemplateText(text, records, GetReadVersion()))
        return kInvalid;
    std::lock_guard guard(Lock());
    m_records = std::move(records);
    NoteModified();
    return kLoaded;
}

bool VTServerCacheFile::Serialize(std::string& text)
{
    std::lock_guard guard(Lock());
    text = FormatServerTemplates(m_records);
    return true;
}

bool VTServerCacheFile::Find(int type, std::string_view key, VTServerData& record, bool acceptExpired,
                             VTTime now) const
{
    std::lock_guard guard(Lock());
    const VTServerData* found = m_records.Locate(type, key);
    if (!found || (!acceptExpired && found->IsExpired(now)))
        return false;
    record = *found;
    return true;
}

void VTServerCacheFile::Add(const VTServerData& record)
{
    std::lock_guard guard(Lock());
    m_records.InsertOrReplace(record);
    NoteModified();
}

void VTServerCacheFile::Clear()
{
    std::lock_guard guard(Lock());
    m_records.Clear();
    NoteModified();
}

void VTServerCacheFile::ExpireAll(VTTime now)
{
    std::lock_guard guard(Lock());
    m_records.ExpireAll(now);
    NoteModified();
}

VTServerDataList VTServerCacheFile::GetRecords() const
{
    std::lock_guard guard(Lock());
    return m_records;
}

VTCache::VTCache(VTToolkit* toolkit) : m_toolkit(toolkit)
{
    TS_CHECK_NULL(toolkit);
}

VTCache::~VTCache() = default;

bool VTCache::FindFormat(int type, std::string_view code, VTCodeFormat& format, bool acceptExpired) const
{
    return m_formats.Find(type, code, format, acceptExpired, VTCurrentTime());
}

bool VTCache::FindTemplate(int type, std::string_view serverId, VTServerData& record,
                           bool acceptExpired) const
{
    return m_templates.Find(type, serverId, record, acceptExpired, VTCurrentTime());
}

void VTCache::Expire(std::int32_t flags)
{
    const VTTime now = VTCurrentTime();
    if (flags & kExpireFormats)
        m_formats.ExpireAll(now);
    if (flags & kExpireTemplates)
        m_templates.ExpireAll(now);
}
