#include "tst/tsstrsub.h"

#include "tst/tsstrutl.h"

namespace {

const char* KindText(int kind)
{
    switch (kind) {
    case TSStringSubstException::kMismatchedDelimiter:
        return "Mismatched delimiter";
    case TSStringSubstException::kEmptyToken:
        return "Empty Token";
    default:
        return "Recursion limit";
    }
}

std::string SubstMessage(int kind, std::string_view detail)
{
    std::string message = "TSStringSubstException::";
    message.append(KindText(kind));
    if (!detail.empty())
        message.append(": '").append(detail).append("'");
    return message;
}

} // namespace

TSStringSubstException::TSStringSubstException(int kind, std::string_view detail)
    : TSRuntimeException(SubstMessage(kind, detail)), m_kind(kind)
{
}

TSStringSubstException::~TSStringSubstException() = default;

TSStringSubst::TSStringSubst(int mode, int dropMissing, char delimiter, int recursive)
    : TSStringSubst(TSStringMap(1), mode, dropMissing, delimiter, recursive)
{
}

TSStringSubst::TSStringSubst(const TSStringMap& map, int mode, int dropMissing, char delimiter, int recursive)
    : TSStringMap(map), m_mode(mode), m_dropMissing(dropMissing), m_open(1, delimiter), m_close(1, delimiter),
      m_recursive(recursive)
{
}

TSStringSubst TSStringSubst::ForTemplates(const TSStringMap& values)
{
    TSStringSubst subst(values, kByPrefix, 1, '^', 0);
    subst.SetDelimiters("<^", "^>");
    return subst;
}

TSStringSubst TSStringSubst::ForPages(const TSStringMap& values)
{
    return TSStringSubst(values, kByPrefix, 1, '^', 0);
}

void TSStringSubst::SetDelimiters(std::string_view open, std::string_view close)
{
    // An empty delimiter would match everywhere and never advance.
    TS_ASSERT(!open.empty() && !close.empty());
    m_open.assign(open);
    m_close.assign(close);
}

bool TSStringSubst::Substitute(std::string& text) const
{
    if (text.find(m_open) == std::string::npos)
        return false;
    std::string out;
    out.reserve(text.size() + text.size() / 2);
    if (!Expand(text, out, 0))
        return false;
    text = std::move(out);
    return true;
}

// Appends the substituted text to `out` (the text itself when nothing
// changed) and returns whether anything changed.
bool TSStringSubst::Expand(std::string_view rest, std::string& out, int depth) const
{
    if (depth > kMaxDepth)
        throw TSStringSubstException(TSStringSubstException::kRecursionLimit);
    bool changed = false;
    for (auto open = rest.find(m_open); open != std::string_view::npos; open = rest.find(m_open)) {
        out.append(rest.substr(0, open));
        const auto keyStart = open + m_open.size();
        const auto close = rest.find(m_close, keyStart);
        if (close == std::string_view::npos)
            throw TSStringSubstException(TSStringSubstException::kMismatchedDelimiter);
        std::string_view key = rest.substr(keyStart, close - keyStart);
        if (key.empty())
            throw TSStringSubstException(TSStringSubstException::kEmptyToken);

        char escaping = m_mode == kUrlEncode ? '%' : m_mode == kXmlEscape ? '&' : 0;
        if (m_mode == kByPrefix && (key.front() == '%' || key.front() == '&')) {
            escaping = key.front();
            key.remove_prefix(1);
            if (key.empty())
                throw TSStringSubstException(TSStringSubstException::kEmptyToken);
        }

        if (const auto* pair = Find(key)) {
            AppendValue(pair->second, escaping, out, depth);
            changed = true;
        } else if (m_dropMissing) {
            changed = true;
        } else {
            out.append(rest.substr(open, close + m_close.size() - open));
        }
        rest.remove_prefix(close + m_close.size());
        if (m_recursive && out.size() > kMaxRecursiveOutput)
            throw TSStringSubstException(TSStringSubstException::kRecursionLimit);
    }
    out.append(rest);
    return changed;
}

void TSStringSubst::AppendValue(std::string_view value, char escaping, std::string& out, int depth) const
{
    // Most values go in as they are, without a copy of their own.
    if (!m_recursive && escaping == 0) {
        out.append(value);
        return;
    }
    std::string text;
    if (m_recursive)
        Expand(value, text, depth + 1);
    else
        text.assign(value);
    if (escaping == '%')
        UrlEncode(text);
    else if (escaping == '&')
        XmlEscape(text);
    out.append(text);
}
