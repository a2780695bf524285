#include "vtkit/svrdata.h"

#include "vtkit/vtlastofkey.h"

#include <algorithm>
#include <utility>

VTServerData::VTServerData() : m_expiry(VTCurrentTime()), m_commands(1) {}

VTServerData::VTServerData(VTCodeType type, std::string_view key) : VTServerData()
{
    m_type = type;
    m_key = key;
}

VTServerData::~VTServerData() = default;

bool VTServerData::GetCommand(std::string_view name, std::string& urlTemplate) const
{
    return m_commands.Get(name, urlTemplate);
}

void VTServerData::Reset()
{
    *this = VTServerData();
}

void VTServerDataList::InsertOrReplace(const VTServerData& record)
{
    const std::size_t at = m_index.Find(m_records, record.GetCodeType(), record.GetKey());
    if (at != KeyIndex::kNone) {
        // Only one record per type and key gets in, so there is no other to remove.
        m_index.Erased(m_records[at], at);
        m_records.erase(m_records.begin() + static_cast<std::ptrdiff_t>(at));
    }
    m_records.push_back(record);
    m_index.Appended(m_records);
}

void VTServerDataList::Assign(std::vector<VTServerData> records)
{
    const std::vector<bool> stays = LastOfEachKey(records, [](const VTServerData& record) {
        return std::pair<int, std::string_view>(record.GetCodeType(), record.GetKey());
    });
    std::size_t kept = 0;
    for (std::size_t i = 0; i < records.size(); ++i)
        if (stays[i] && kept++ != i)
            records[kept - 1] = std::move(records[i]);
    records.erase(records.begin() + static_cast<std::ptrdiff_t>(kept), records.end());
    m_records = std::move(records);
    m_index.Invalidate();
}

bool VTServerDataList::Find(int type, std::string_view key, VTServerData& record) const
{
    const VTServerData* found = Locate(type, key);
    if (!found)
        return false;
    record = *found;
    return true;
}

const VTServerData* VTServerDataList::Locate(int type, std::string_view key) const
{
    const std::size_t at = m_index.Find(m_records, type, key);
    return at == KeyIndex::kNone ? nullptr : &m_records[at];
}

void VTServerDataList::Clear()
{
    m_records.clear();
    m_index.Invalidate();
}

void VTServerDataList::ExpireAll(VTTime now)
{
    const VTTime minuteAgo = now - 60;
    for (auto& record : m_records)
        if (record.GetExpiry() > minuteAgo)
            record.SetExpiry(minuteAgo);
}

std::uint64_t VTServerDataList::KeyIndex::Hash(int type, std::string_view key)
{
    // FNV-1a over the type and the key, mixed so that both halves are usable.
    std::uint64_t hash = 14695981039346656037u ^ static_cast<std::uint32_t>(type);
    for (unsigned char c : key)
        hash = (hash ^ c) * 1099511628211u;
    return hash ^ (hash >> 29);
}

void VTServerDataList::KeyIndex::Appended(const std::vector<VTServerData>& records)
{
    if (!m_table.IsBuilt())
        return;
    Table& table = m_table.Mutable();
    if (2 * (table.used + 1) > table.slots.size())
        return Build(records, table);
    Insert(records, records.size() - 1, table);
}

void VTServerDataList::KeyIndex::Erased(const VTServerData&, std::size_t)
{
    // Positions after it move down: rebuilt on the next lookup.
    Invalidate();
}

std::size_t VTServerDataList::KeyIndex::Find(const std::vector<VTServerData>& records, int type,
                                             std::string_view key) const
{
    const Table& table = m_table.Get([&](Table& built) { Build(records, built); });
    return Probe(records, table, type, key, Hash(type, key));
}

std::size_t VTServerDataList::KeyIndex::Probe(const std::vector<VTServerData>& records, const Table& table,
                                              int type, std::string_view key, std::uint64_t hash)
{
    const std::size_t mask = table.slots.size() - 1;
    const auto tag = static_cast<std::uint32_t>(hash >> 32);
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
        const Slot& slot = table.slots[at];
        if (slot.position == kEmpty)
            return kNone;
        if (slot.tag == tag) {
            const VTServerData& record = records[slot.position];
            if (record.GetCodeType() == type && record.GetKey() == key)
                return slot.position;
        }
    }
}

void VTServerDataList::KeyIndex::Insert(const std::vector<VTServerData>& records, std::size_t position,
                                        Table& table)
{
    const VTServerData& record = records[position];
    const std::uint64_t hash = Hash(record.GetCodeType(), record.GetKey());
    if (Probe(records, table, record.GetCodeType(), record.GetKey(), hash) != kNone)
        return;
    const std::size_t mask = table.slots.size() - 1;
    std::size_t at = hash & mask;
    while (table.slots[at].position != kEmpty)
        at = (at + 1) & mask;
    table.slots[at] = Slot{static_cast<std::uint32_t>(hash >> 32), static_cast<std::uint32_t>(position)};
    ++table.used;
}

void VTServerDataList::KeyIndex::Build(const std::vector<VTServerData>& records, Table& table)
{
    std::size_t size = 16;
    while (size < 2 * records.size() + 2)
        size *= 2;
    table.slots.assign(size, Slot{});
    table.used = 0;
    for (std::size_t position = 0; position < records.size(); ++position)
        Insert(records, position, table);
}
