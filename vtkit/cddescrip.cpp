#include "vtkit/cddescrip.h"

#include "tst/tsstrutl.h"

#include <algorithm>

void VTCodeDescription::SetItemId(std::string_view itemId)
{
    m_contents.SetRawItemId(itemId);
    m_contents.SetItemId(StripSpacesAndDashes(itemId));
}

std::size_t VTCodeDescriptionList::Add(const VTCodeDescription& description)
{
    const std::string itemId = description.GetItemId();
    const auto it = std::find_if(m_descriptions.begin(), m_descriptions.end(),
                                 [&](const VTCodeDescription& entry) { return entry.GetItemId() == itemId; });
    if (it != m_descriptions.end()) {
        *it = description;
        return static_cast<std::size_t>(it - m_descriptions.begin());
    }
    m_descriptions.push_back(description);
    return m_descriptions.size() - 1;
}
