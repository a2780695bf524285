#pragma once

#include "vtkit/cdfmtlist.h"
#include "vtkit/cdformat.h"
#include "vtkit/svrdata.h"
#include "vtkit/vtcachefile.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

class VTToolkit;

// Code formats from format queries ("CODE_FORMAT_LIST").
class VTCodeCacheFile : public VTCacheFile {
public:
    ~VTCodeCacheFile() override;

    std::int32_t Parse(std::string_view text) override;
    bool Serialize(std::string& text) override;

    // The first format of the type whose range holds the code; unless
    // expired entries are accepted, only while it has not expired.
    bool Find(int type, std::string_view code, VTCodeFormat& format, bool acceptExpired, VTTime now) const;
    void Add(const VTCodeFormat& format);
    void Clear();
    void ExpireAll(VTTime now);
    VTCodeFormatList GetFormats() const;

private:
    VTCodeFormatList m_formats;
};

// Routing templates from template queries ("SERVER_DATA_LIST").
class VTServerCacheFile : public VTCacheFile {
public:
    ~VTServerCacheFile() override;

    // Also takes an "XGET" reply as it came.
    std::int32_t Parse(std::string_view text) override;
    bool Serialize(std::string& text) override;

    bool Find(int type, std::string_view key, VTServerData& record, bool acceptExpired, VTTime now) const;
    void Add(const VTServerData& record);
    void Clear();
    void ExpireAll(VTTime now);
    VTServerDataList GetRecords() const;

private:
    VTServerDataList m_records;
};

// The caches of one user: code formats and routing templates, each under
// the lock of its own file. Lookups in normal operation take an entry only
// while now <= expiry; offline, any entry found will do.
class VTCache {
public:
    enum ExpireFlags : std::int32_t { kExpireFormats = 1, kExpireTemplates = 2 };

    // The toolkit is required.
    explicit VTCache(VTToolkit* toolkit);
    VTCache(const VTCache&) = delete;
    VTCache& operator=(const VTCache&) = delete;
    virtual ~VTCache();

    std::int32_t LoadFormats(const std::filesystem::path& path) { return m_formats.Load(path); }
    bool SaveFormats(const std::filesystem::path& path) { return m_formats.Save(path); }
    std::int32_t LoadTemplates(const std::filesystem::path& path) { return m_templates.Load(path); }
    bool SaveTemplates(const std::filesystem::path& path) { return m_templates.Save(path); }

    bool FindFormat(int type, std::string_view code, VTCodeFormat& format, bool acceptExpired) const;
    void AddFormat(const VTCodeFormat& format) { m_formats.Add(format); }
    bool FindTemplate(int type, std::string_view serverId, VTServerData& record, bool acceptExpired) const;
    void AddTemplate(const VTServerData& record) { m_templates.Add(record); }
    void ClearFormats() { m_formats.Clear(); }
    void ClearTemplates() { m_templates.Clear(); }
    // Every entry of the flagged caches expires, a minute ago at the latest;
    // the entries stay for offline use.
    void Expire(std::int32_t flags);

    VTCodeCacheFile& Formats() { return m_formats; }
    VTServerCacheFile& Templates() { return m_templates; }
    VTToolkit* GetToolkit() const { return m_toolkit; }

private:
    VTCodeCacheFile m_formats;
    VTServerCacheFile m_templates;
    VTToolkit* m_toolkit;
};
