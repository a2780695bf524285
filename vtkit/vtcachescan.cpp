#include "vtkit/vtcachescan.h"

#include "tst/xml/transcode.h"

#include <utility>

namespace {

constexpr std::string_view kDeclaration = "<?xml version='1.0' standalone='yes'?>\n";

// Walks the text as the writer lays it out; any difference sets it failed,
// and every step after that fails too.
class Scanner {
public:
    explicit Scanner(std::string_view text) : m_text(text) {}

    bool Ok() const { return m_ok; }
    void Fail() { m_ok = false; }
    bool AtEnd() const { return m_ok && m_at == m_text.size(); }

    // Takes the literal when the text goes on with it; never fails.
    bool Take(std::string_view literal)
    {
        if (!m_ok || m_text.substr(m_at, literal.size()) != literal)
            return false;
        m_at += literal.size();
        return true;
    }
    void Expect(std::string_view literal)
    {
        if (!Take(literal))
            m_ok = false;
    }
    // ` NAME='value'`
    void Attribute(std::string_view name, std::string& value)
    {
        Expect(" ");
        Expect(name);
        Expect("='");
        Value('\'', value);
        Expect("'");
    }
    // Character data up to the next tag; quotes stand as they are there.
    void Text(std::string& value) { Value('<', value); }

private:
    // Up to `end` (not taken): printable ASCII, where '&' starts a named
    // entity or a decimal character reference, and no markup character,
    // control character or, in an attribute, quote stands (the writer
    // escapes all of those).
    void Value(char end, std::string& value)
    {
        value.clear();
        while (m_ok && m_at < m_text.size() && m_text[m_at] != end) {
            if (m_text[m_at] == '&') {
                Entity(value);
                continue;
            }
            const std::size_t run = m_at;
            while (m_at < m_text.size() && IsPlain(m_text[m_at], end))
                ++m_at;
            if (m_at == run) {
                m_ok = false;
                return;
            }
            value.append(m_text.substr(run, m_at - run));
        }
    }
    static bool IsPlain(char c, char end)
    {
        const bool quote = c == '\'' || c == '"';
        return c >= 32 && c <= 126 && c != '<' && c != '>' && c != '&' && c != end && (!quote || end == '<');
    }
    void Entity(std::string& value)
    {
        static constexpr std::pair<std::string_view, char> kEntities[] = {
            {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&apos;", '\''}, {"&quot;", '"'}};
        for (const auto& [entity, character] : kEntities) {
            if (Take(entity)) {
                value += character;
                return;
            }
        }
        if (Take("&#"))
            Reference(value);
        else
            m_ok = false;
    }
    // "&#N;" as the writer gives a 16-bit character: the character in UTF-8,
    // as the parser's tree turns into 8-bit text.
    void Reference(std::string& value)
    {
        constexpr std::size_t kMaxDigits = 5;
        unsigned number = 0;
        std::size_t digits = 0;
        for (; m_at < m_text.size() && m_text[m_at] >= '0' && m_text[m_at] <= '9' && digits <= kMaxDigits;
             ++digits)
            number = number * 10 + static_cast<unsigned>(m_text[m_at++] - '0');
        if (digits == 0 || digits > kMaxDigits || number > 0xFFFF || !Take(";")) {
            m_ok = false;
            return;
        }
        const char16_t character = static_cast<char16_t>(number);
        value += WideToUtf8(&character, 1);
    }

    std::string_view m_text;
    std::size_t m_at = 0;
    bool m_ok = true;
};

// The rest of an element that holds text or nothing: "/>", or ">", the
// text and the end tag.
void TextElement(Scanner& scan, std::string_view name, std::string& text)
{
    text.clear();
    if (scan.Take("/>\n"))
        return;
    scan.Expect(">");
    scan.Text(text);
    // The writer never puts an empty text between two tags.
    if (text.empty())
        scan.Fail();
    scan.Expect("</");
    scan.Expect(name);
    scan.Expect(">\n");
}

void ScanFormat(Scanner& scan, VTFormatFields& fields)
{
    scan.Attribute("TYPE", fields.type);
    scan.Attribute("LOW", fields.low);
    scan.Attribute("HIGH", fields.high);
    scan.Expect(">\n        <RID");
    scan.Attribute("START", fields.ridStart);
    scan.Attribute("LENGTH", fields.ridLength);
    scan.Expect("/>\n        <IID");
    scan.Attribute("START", fields.iidStart);
    scan.Attribute("LENGTH", fields.iidLength);
    scan.Expect("/>\n        <CANONICAL");
    scan.Attribute("FORMAT", fields.canonical);
    scan.Expect("/>\n        <EXPIRE");
    scan.Attribute("DATE", fields.expire);
    scan.Expect("/>\n    </CODE>\n");
}

void ScanRoutingKey(Scanner& scan, VTRoutingKeyFields& fields)
{
    scan.Attribute("TYPE", fields.type);
    scan.Attribute("RID", fields.rid);
    scan.Attribute("CACHEDATE", fields.cacheDate);
    scan.Expect(">\n        <SERVERNAME");
    TextElement(scan, "SERVERNAME", fields.name);
    fields.templates.clear();
    while (scan.Take("        <TEMPLATE")) {
        VTTemplateFields& added = fields.templates.emplace_back();
        scan.Attribute("CMD", added.command);
        TextElement(scan, "TEMPLATE", added.text);
    }
    scan.Expect("    </ROUTING_KEY>\n");
}

// The declaration, the root and its entries, each starting with `entry`
// and read by `scanEntry`; nothing may follow.
template <class Fields, class ScanEntry>
bool ScanEntries(std::string_view text, std::string_view root, std::string_view entry, ScanEntry scanEntry,
                 const std::function<void(const Fields&)>& take)
{
    Scanner scan(text);
    scan.Expect(kDeclaration);
    scan.Expect("<");
    scan.Expect(root);
    // The empty root is written "<NAME/>".
    if (scan.Take("/>\n"))
        return scan.AtEnd();
    scan.Expect(">\n");
    Fields fields;
    while (scan.Take(entry)) {
        scanEntry(scan, fields);
        if (!scan.Ok())
            return false;
        take(fields);
    }
    scan.Expect("</");
    scan.Expect(root);
    scan.Expect(">\n");
    return scan.AtEnd();
}

} // namespace

bool ScanCodeFormatText(std::string_view text, const std::function<void(const VTFormatFields&)>& take)
{
    return ScanEntries(text, "CODE_FORMAT_LIST", "    <CODE", ScanFormat, take);
}

bool ScanServerTemplateText(std::string_view text, const std::function<void(const VTRoutingKeyFields&)>& take)
{
    return ScanEntries(text, "SERVER_DATA_LIST", "    <ROUTING_KEY", ScanRoutingKey, take);
}
