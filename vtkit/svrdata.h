#pragma once

#include "tst/tsstrmap.h"
#include "vtkit/cdbase.h"
#include "vtkit/cdformat.h"
#include "vtkit/vtlazyindex.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Server types and command names as they travel on the wire.
inline constexpr const char* kServerTypeRegistration = "REGISTRATION";
inline constexpr const char* kServerTypeResolution = "RESOLUTION";
inline constexpr const char* kServerTypeRouting = "ROUTING";
inline constexpr const char* kServerTypeHelp = "HELP";
inline constexpr const char* kCommandGet = "GET";
inline constexpr const char* kCommandSplit = "SPLIT";
inline constexpr const char* kCommandDesc = "DESC";
inline constexpr const char* kCommandDesc2 = "DESC2";
inline constexpr const char* kCommandLogin = "LOGIN";
inline constexpr const char* kCommandLostPassword = "LOSTPWD";
inline constexpr const char* kCommandRegister = "REGISTER";
inline constexpr const char* kCommandAttach = "ATTACH";
inline constexpr const char* kTemplateXmlRequest = "XMLREQUEST";

// One server: which codes it answers for (type and server ID, both empty
// for the core records) and the URL templates of the commands it knows.
class VTServerData {
public:
    // A new record expires now.
    VTServerData();
    VTServerData(VTCodeType type, std::string_view key);
    virtual ~VTServerData();
    VTServerData(const VTServerData&) = default;
    VTServerData& operator=(const VTServerData&) = default;
    VTServerData(VTServerData&&) = default;
    VTServerData& operator=(VTServerData&&) = default;

    // Equal when type and key are equal; names, dates and commands aside.
    bool operator==(const VTServerData& other) const
    {
        return m_type == other.m_type && m_key == other.m_key;
    }

    VTCodeType GetCodeType() const { return m_type; }
    const std::string& GetKey() const { return m_key; }
    const std::string& GetName() const { return m_name; }
    const std::string& GetServerType() const { return m_serverType; }
    VTTime GetExpiry() const { return m_expiry; }
    const TSStringMap& GetCommands() const { return m_commands; }

    void SetCodeType(VTCodeType type) { m_type = type; }
    void SetKey(std::string_view key) { m_key = key; }
    void SetName(std::string_view name) { m_name = name; }
    void SetServerType(std::string_view type) { m_serverType = type; }
    void SetExpiry(VTTime expiry) { m_expiry = expiry; }
    void SetCommand(std::string_view name, std::string_view urlTemplate)
    {
        m_commands.Set(name, urlTemplate);
    }
    void ClearCommands() { m_commands.Clear(); }

    // Copies the template of that command; false when there is none.
    bool GetCommand(std::string_view name, std::string& urlTemplate) const;
    bool HasCommand(std::string_view name) const { return m_commands.Contains(name); }
    bool HasCommands() const { return !m_commands.IsEmpty(); }

    // Valid while the expiry is not earlier than now.
    bool IsExpired(VTTime now) const { return m_expiry < now; }

    // Back to a new record: no type, key, names or commands, expiring now.
    void Reset();

private:
    VTCodeType m_type = kCodeUnknown;
    std::string m_key;
    std::string m_name;
    std::string m_serverType;
    VTTime m_expiry;
    TSStringMap m_commands;
};

// Server records in the order they were last put in, one per type and key.
class VTServerDataList {
public:
    // Removes the equal record, if any, and appends this one.
    void InsertOrReplace(const VTServerData& record);
    // The list InsertOrReplace of each record in turn would leave in an
    // empty one: the last record of each type and key, where it came last.
    // One pass, however many records repeat (a whole cache file).
    void Assign(std::vector<VTServerData> records);
    // The first record of that type whose key is exactly `key`.
    bool Find(int type, std::string_view key, VTServerData& record) const;
    // The same record in place, or null; valid until the list changes.
    const VTServerData* Locate(int type, std::string_view key) const;
    // Every record not yet a minute past its expiry now expires a minute ago.
    void ExpireAll(VTTime now);
    void ExpireAll() { ExpireAll(VTCurrentTime()); }
    void Clear();

    std::size_t Size() const { return m_records.size(); }
    bool IsEmpty() const { return m_records.empty(); }
    // An index past the end raises std::out_of_range.
    const VTServerData& At(std::size_t index) const { return m_records.at(index); }
    std::vector<VTServerData>::const_iterator begin() const { return m_records.begin(); }
    std::vector<VTServerData>::const_iterator end() const { return m_records.end(); }

private:
    // Position of the first record of each type and key, built on the first
    // lookup after a copy or clear; appends and replacements keep it current.
    class KeyIndex {
    public:
        static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

        void Invalidate() { m_table.Invalidate(); }
        // Keep a built index in step with the list.
        void Appended(const std::vector<VTServerData>& records);
        void Erased(const VTServerData& record, std::size_t position);
        // Concurrent lookups are safe; the first one after a change builds.
        std::size_t Find(const std::vector<VTServerData>& records, int type, std::string_view key) const;

    private:
        // Open addressing over one flat array: a lookup reads one or two
        // neighbouring slots and then the record itself, which it needs
        // anyway, instead of a bucket, a node and then the record.
        struct Slot {
            std::uint32_t tag = 0;
            std::uint32_t position = kEmpty;
        };
        static constexpr std::uint32_t kEmpty = static_cast<std::uint32_t>(-1);

        struct Table {
            std::vector<Slot> slots; // a power of two, at most half in use
            std::size_t used = 0;
        };

        static std::uint64_t Hash(int type, std::string_view key);
        static void Build(const std::vector<VTServerData>& records, Table& table);
        // Adds the record's key unless it is there already (the first stays).
        static void Insert(const std::vector<VTServerData>& records, std::size_t position, Table& table);
        static std::size_t Probe(const std::vector<VTServerData>& records, const Table& table, int type,
                                 std::string_view key, std::uint64_t hash);

        VTLazyIndex<Table> m_table;
    };

    std::vector<VTServerData> m_records;
    KeyIndex m_index;
};
