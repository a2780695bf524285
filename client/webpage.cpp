#include "client/webpage.h"

#include "platform/atomicfile.h"
#include "tst/tsstrsub.h"
#include "tst/tsstrutl.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;

CWebPageResult Failure(std::int32_t result, const fs::path& file)
{
    return {result, file};
}

// kBuilt with the text, or why the template could not be had.
std::int32_t ReadTemplate(const fs::path& file, std::string& text)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return CWebPageView::kCannotOpen;
    std::error_code error;
    if (fs::is_directory(file, error) || fs::file_size(file, error) > CWebPageView::kMaxTemplateBytes)
        return CWebPageView::kCannotRead;
    text.assign(std::istreambuf_iterator<char>(in), {});
    return in.bad() ? CWebPageView::kCannotRead : CWebPageView::kBuilt;
}

std::string Lower(std::string_view text)
{
    std::string lowered(text);
    std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lowered;
}

// Where the next anchor's start tag ("<a" and a blank) begins.
std::size_t FindAnchor(const std::string& lowered, std::size_t from)
{
    for (std::size_t at = lowered.find("<a", from); at != std::string::npos; at = lowered.find("<a", at + 2))
        if (at + 2 < lowered.size() && std::isspace(static_cast<unsigned char>(lowered[at + 2])))
            return at;
    return std::string::npos;
}

// Removes each anchor whose start tag holds `marker`, keeping what it
// encloses: the text stays, the link goes.
std::string WithoutLinksTo(std::string text, std::string_view marker)
{
    std::size_t from = 0;
    for (;;) {
        const std::string lowered = Lower(text);
        const std::size_t start = FindAnchor(lowered, from);
        const std::size_t close = start == std::string::npos ? start : lowered.find('>', start);
        if (close == std::string::npos)
            return text;
        if (text.substr(start, close - start).find(marker) == std::string::npos) {
            from = close;
            continue;
        }
        if (const std::size_t end = lowered.find("</a>", close); end != std::string::npos)
            text.erase(end, 4);
        text.erase(start, close + 1 - start);
        from = start;
    }
}

// "^KEY^" markers replaced once, values taken as they are.
bool Fill(std::string& text, const std::vector<std::pair<std::string, std::string>>& values)
{
    TSStringMap map;
    for (const auto& [key, value] : values)
        map.Set(key, value);
    try {
        TSStringSubst(map, TSStringSubst::kPlain, 1, '^', 0).Substitute(text);
    } catch (const TSException&) {
        return false;
    }
    return true;
}

std::vector<std::pair<std::string, std::string>> HeadValues(const CWebPageTexts& texts)
{
    return {
        {"TITLE", CWebPageView::EscapeHtml(texts.title)},
        {"STCDLIST", CWebPageView::EscapeHtml(texts.listName)},
        {"HELPLINK", CWebPageView::EscapeHtml(texts.helpLink)},
        {"HELP", CWebPageView::EscapeHtml(texts.help)},
        {"INFO", CWebPageView::EscapeHtml(texts.moreInfo)},
        {"SEE", CWebPageView::EscapeHtml(texts.see)},
    };
}

} // namespace

CWebPageView::CWebPageView(fs::path outputFolder) : m_outputFolder(std::move(outputFolder)) {}

void CWebPageView::SetTemplates(fs::path menuTemplate, fs::path frameTemplate)
{
    m_menuTemplate = std::move(menuTemplate);
    m_frameTemplate = std::move(frameTemplate);
}

std::string CWebPageView::EscapeHtml(std::string_view text)
{
    // Control characters are written out rather than passed on.
    const std::string shown = ShowControlCharacters(text);
    std::string escaped;
    escaped.reserve(shown.size());
    for (const char c : shown) {
        switch (c) {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        case '"':
            escaped += "&quot;";
            break;
        case '\'':
            escaped += "&#39;";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

bool CWebPageView::IsWebAddress(std::string_view address)
{
    const std::string lowered = Lower(address.substr(0, 8));
    return lowered.rfind("http://", 0) == 0 || lowered.rfind("https://", 0) == 0;
}

CWebPageResult CWebPageView::Build(const CWebPageTexts& texts)
{
    m_counter = (m_counter + 1) % kPagePairs;
    m_menuPage = m_outputFolder / ("menu" + std::to_string(m_counter) + ".htm");
    m_framePage = m_outputFolder / ("frame" + std::to_string(m_counter) + ".htm");
    if (CWebPageResult menu = BuildMenu(texts); !menu.Ok())
        return menu;
    return BuildFrame(texts);
}

CWebPageResult CWebPageView::BuildMenu(const CWebPageTexts& texts) const
{
    std::string page;
    if (const std::int32_t read = ReadTemplate(m_menuTemplate, page); read != kBuilt)
        return Failure(read, m_menuTemplate);
    const std::size_t start = page.find(kInsertStart);
    const std::size_t end =
        start == std::string::npos ? start : page.find(kInsertEnd, start + kInsertStart.size());
    if (end == std::string::npos)
        return Failure(kBadTemplate, m_menuTemplate);
    std::string head = page.substr(0, start);
    const std::string row = page.substr(start + kInsertStart.size(), end - start - kInsertStart.size());
    const std::string tail = page.substr(end + kInsertEnd.size());
    if (!IsWebAddress(texts.helpLink))
        head = WithoutLinksTo(std::move(head), "^HELPLINK^");
    if (!Fill(head, HeadValues(texts)))
        return Failure(kBadTemplate, m_menuTemplate);
    for (const CWebPageViewItem& item : m_items) {
        std::string line = IsWebAddress(item.address) ? row : WithoutLinksTo(row, "^URL^");
        if (!Fill(line, {{"CODE", EscapeHtml(item.code)},
                         {"URL", EscapeHtml(item.address)},
                         {"DESCRIPTION", EscapeHtml(item.description)}}))
            return Failure(kBadTemplate, m_menuTemplate);
        head += line;
    }
    head += tail;
    if (!platform::EnsureFolder(m_outputFolder) || !platform::WriteFileAtomically(m_menuPage, head, 0644))
        return Failure(kCannotWrite, m_menuPage);
    return {kBuilt, m_menuPage};
}

CWebPageResult CWebPageView::BuildFrame(const CWebPageTexts& texts) const
{
    std::string page;
    if (const std::int32_t read = ReadTemplate(m_frameTemplate, page); read != kBuilt)
        return Failure(read, m_frameTemplate);
    if (page.find("^MENU^") == std::string::npos ||
        !Fill(page,
              {{"MENU", EscapeHtml(m_menuPage.filename().string())}, {"TITLE", EscapeHtml(texts.title)}}))
        return Failure(kBadTemplate, m_frameTemplate);
    if (!platform::WriteFileAtomically(m_framePage, page, 0644))
        return Failure(kCannotWrite, m_framePage);
    return {kBuilt, m_framePage};
}
