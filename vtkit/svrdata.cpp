#include "vtkit/svrdata.h"

#include <algorithm>

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

VTServerDataList::KeyIndex& VTServerDataList::KeyIndex::operator=(const KeyIndex&)
{
    Invalidate();
    return *this;
}

VTServerDataList::KeyIndex& VTServerDataList::KeyIndex::operator=(KeyIndex&& other) noexcept
{
    Invalidate();
    other.Invalidate();
    return *this;
}

std::size_t VTServerDataList::KeyIndex::Hash::operator()(const KeyView& key) const
{
    return std::hash<std::string_view>()(key.key) ^ (static_cast<std::size_t>(key.type) * 0x9E3779B97F4A7C15u);
}

void VTServerDataList::KeyIndex::Appended(const std::vector<VTServerData>& records)
{
    if (!m_built.load(std::memory_order_relaxed))
        return;
    const VTServerData& last = records.back();
    m_positions.try_emplace(Key{last.GetCodeType(), last.GetKey()}, records.size() - 1);
}

void VTServerDataList::KeyIndex::Erased(const VTServerData& record, std::size_t position)
{
    if (!m_built.load(std::memory_order_relaxed))
        return;
    const auto it = m_positions.find(KeyView{record.GetCodeType(), record.GetKey()});
    if (it != m_positions.end())
        m_positions.erase(it);
    for (auto& entry : m_positions)
        if (entry.second > position)
            --entry.second;
}

std::size_t VTServerDataList::KeyIndex::Find(const std::vector<VTServerData>& records, int type,
                                             std::string_view key) const
{
    if (!m_built.load(std::memory_order_acquire)) {
        std::lock_guard guard(m_buildLock);
        if (!m_built.load(std::memory_order_relaxed)) {
            Build(records);
            m_built.store(true, std::memory_order_release);
        }
    }
    const auto it = m_positions.find(KeyView{type, key});
    return it == m_positions.end() ? kNone : it->second;
}

void VTServerDataList::KeyIndex::Build(const std::vector<VTServerData>& records) const
{
    m_positions.clear();
    m_positions.reserve(records.size());
    for (std::size_t position = 0; position < records.size(); ++position)
        m_positions.try_emplace(Key{records[position].GetCodeType(), records[position].GetKey()}, position);
}
