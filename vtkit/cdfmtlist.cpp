#include "vtkit/cdfmtlist.h"

#include "tst/tsexcep.h"

#include <algorithm>

VTCodeFormatList::VTCodeFormatList()
{
    m_formats.reserve(kInitialCapacity);
}

bool VTCodeFormatList::Find(int type, const char* code, VTCodeFormat& format) const
{
    TS_CHECK_NULL(code);
    return Find(type, std::string_view(code), format);
}

bool VTCodeFormatList::Find(int type, std::string_view code, VTCodeFormat& format) const
{
    const auto it = std::find_if(m_formats.begin(), m_formats.end(), [&](const VTCodeFormat& candidate) {
        return candidate.GetCodeType() == type && candidate.GetLowCode() <= code && code <= candidate.GetHighCode();
    });
    if (it == m_formats.end())
        return false;
    format = *it;
    return true;
}

void VTCodeFormatList::Add(const VTCodeFormat& format)
{
    m_formats.push_back(format);
}

bool VTCodeFormatList::Remove(const VTCodeFormat& format)
{
    return std::erase(m_formats, format) != 0;
}

void VTCodeFormatList::Clear()
{
    m_formats.clear();
    if (m_formats.capacity() > kInitialCapacity) {
        std::vector<VTCodeFormat> smaller;
        smaller.reserve(kInitialCapacity);
        m_formats.swap(smaller);
    }
}

void VTCodeFormatList::ExpireAll(VTTime now)
{
    const VTTime minuteAgo = now - 60;
    for (auto& format : m_formats)
        if (format.GetExpiry() > minuteAgo)
            format.SetExpiry(minuteAgo);
}
