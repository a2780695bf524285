#include "tst/http/htheader.h"

#include "tst/http/htexcep.h"
#include "tst/http/htutil.h"
#include "tst/tsexcep.h"

namespace {

std::string LowerCase(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

std::string_view TrimSpaces(std::string_view text)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

} // namespace

TSHttpHeader::TSHttpHeader(std::string_view name, std::string_view value) : m_name(NormaliseHeaderName(name))
{
    m_values.emplace_back(value);
}

TSHttpHeader::TSHttpHeader(int32_t index, std::string_view value) : m_name(HttpHeaderName(index))
{
    m_values.emplace_back(value);
}

TSHttpHeader TSHttpHeader::FromLine(std::string_view line)
{
    const auto colon = line.find(':');
    if (colon == std::string_view::npos)
        throw TSHttpException(TSHttpException::kInvalidHeader, line);
    std::string_view value = line.substr(colon + 1);
    value = value.substr(0, value.find_first_of("\r\n"));
    return TSHttpHeader(TrimSpaces(line.substr(0, colon)), TrimSpaces(value));
}

bool TSHttpHeader::GetValue(std::size_t index, std::string& value) const
{
    if (index >= m_values.size())
        return false;
    value = m_values[index];
    return true;
}

void TSHttpHeader::FormatTo(std::string& out) const
{
    for (const auto& value : m_values)
        out.append(m_name).append(": ").append(value).append("\r\n");
}

TSHttpHeaderList::TSHttpHeaderList() : TSObjectRef(new TSHttpHeaderListImpl) {}

const TSHttpHeaderListImpl& TSHttpHeaderList::Body() const
{
    const auto* body = BodyAs<TSHttpHeaderListImpl>();
    TS_CHECK_NULL(body);
    return *body;
}

TSHttpHeaderListImpl& TSHttpHeaderList::MutableBody()
{
    Unshare();
    return const_cast<TSHttpHeaderListImpl&>(Body());
}

void TSHttpHeaderList::Add(const TSHttpHeader& header, int32_t mode)
{
    auto& headers = MutableBody().m_headers;
    auto [entry, added] = headers.try_emplace(LowerCase(header.GetName()), header);
    if (added || mode == kHeaderAddIfMissing)
        return;
    TSHttpHeader& existing = entry->second;
    if (mode == kHeaderReplace)
        existing.ClearValues();
    for (const auto& value : header.GetValues())
        existing.AddValue(value);
}

void TSHttpHeaderList::Add(std::string_view name, std::string_view value, int32_t mode)
{
    Add(TSHttpHeader(name, value), mode);
}

void TSHttpHeaderList::Add(int32_t index, std::string_view value, int32_t mode)
{
    Add(TSHttpHeader(index, value), mode);
}

const TSHttpHeader* TSHttpHeaderList::Find(std::string_view name) const
{
    const auto& headers = Body().m_headers;
    const auto found = headers.find(LowerCase(name));
    return found == headers.end() ? nullptr : &found->second;
}

bool TSHttpHeaderList::GetValue(std::string_view name, std::size_t index, std::string& value) const
{
    const TSHttpHeader* header = Find(name);
    return header && header->GetValue(index, value);
}

bool TSHttpHeaderList::Remove(std::string_view name)
{
    if (!Contains(name))
        return false;
    MutableBody().m_headers.erase(LowerCase(name));
    return true;
}

void TSHttpHeaderList::Clear()
{
    if (Size() == 0)
        return;
    // A shared body stays with its other handles.
    if (GetBody()->GetRefCount() > 1)
        SetBody(new TSHttpHeaderListImpl);
    else
        MutableBody().m_headers.clear();
}

TSHttpHeaderList TSHttpHeaderList::Copy() const
{
    TSHttpHeaderList copy;
    copy.SetBody(Body().Clone());
    return copy;
}

std::string TSHttpHeaderList::Format() const
{
    std::string out;
    FormatTo(out);
    return out;
}

void TSHttpHeaderList::FormatTo(std::string& out) const
{
    for (const auto& entry : Body().m_headers)
        entry.second.FormatTo(out);
}
