#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// One code of the stored code list as the web page shows it.
struct CWebPageViewItem {
    std::string code;
    std::string address;
    std::string description;
};

// The page's own texts (the language's) and the help address.
struct CWebPageTexts {
    std::string title;    // TITLE
    std::string listName; // STCDLIST
    std::string help;     // HELP
    std::string moreInfo; // INFO
    std::string see;      // SEE
    std::string helpLink; // HELPLINK
};

// How building ended, with the file concerned: the frame page when built.
struct CWebPageResult {
    std::int32_t result = 0;
    std::filesystem::path file;

    bool Ok() const { return result == 0; }
};

// The stored code list as a web page: a menu page with one row per code and
// a frame page around it, written from the customisation's templates into
// the per-user folder. Ten pairs of names are used in turn, so a browser
// still showing the last view keeps it while the next is written.
//
// Every value goes into the page escaped as HTML text (and so also as an
// attribute value); an address that is not http or https is shown but not
// made a link, so a code or a server's description cannot put markup or
// script into the user's browser.
class CWebPageView {
public:
    enum Result : std::int32_t {
        kBuilt = 0,
        kCannotOpen = 2,
        kBadTemplate = 3,
        kCannotWrite = 4,
        kCannotRead = 5
    };
    static constexpr unsigned kPagePairs = 10;
    static constexpr std::size_t kMaxTemplateBytes = 1u << 20;
    static constexpr std::string_view kInsertStart = "<!--INSERT-->";
    static constexpr std::string_view kInsertEnd = "<!--/INSERT-->";

    explicit CWebPageView(std::filesystem::path outputFolder);

    void SetTemplates(std::filesystem::path menuTemplate, std::filesystem::path frameTemplate);
    std::vector<CWebPageViewItem>& Items() { return m_items; }

    // Advances the page counter, then writes the menu page and the frame page.
    CWebPageResult Build(const CWebPageTexts& texts);

    unsigned Counter() const { return m_counter; }
    const std::filesystem::path& MenuPage() const { return m_menuPage; }
    const std::filesystem::path& FramePage() const { return m_framePage; }

    // &, <, >, " and ' as character references.
    static std::string EscapeHtml(std::string_view text);
    // An address the page may link to: http or https.
    static bool IsWebAddress(std::string_view address);

private:
    CWebPageResult BuildMenu(const CWebPageTexts& texts) const;
    CWebPageResult BuildFrame(const CWebPageTexts& texts) const;

    std::filesystem::path m_outputFolder;
    std::filesystem::path m_menuTemplate;
    std::filesystem::path m_frameTemplate;
    std::vector<CWebPageViewItem> m_items;
    unsigned m_counter = 0;
    std::filesystem::path m_menuPage;
    std::filesystem::path m_framePage;
};
