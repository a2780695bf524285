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
    std::erase(m_records, record);
    m_records.push_back(record);
}

bool VTServerDataList::Find(int type, std::string_view key, VTServerData& record) const
{
    const auto it = std::find_if(m_records.begin(), m_records.end(), [&](const VTServerData& candidate) {
        return candidate.GetCodeType() == type && candidate.GetKey() == key;
    });
    if (it == m_records.end())
        return false;
    record = *it;
    return true;
}

void VTServerDataList::ExpireAll(VTTime now)
{
    const VTTime minuteAgo = now - 60;
    for (auto& record : m_records)
        if (record.GetExpiry() > minuteAgo)
            record.SetExpiry(minuteAgo);
}
