#pragma once

#include "client/config.h"
#include "client/scannertype.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CClientDoc;

// What the settings sheet is opened for: the wizard, one page of the
// Settings menu, or the first start.
enum class CSheetMode : std::int32_t {
    Wizard = 0,
    Scanner = 1,
    Proxy = 2,
    StartUp = 3,
    CodeList = 4,
    Batch = 5,
    FirstRun = 6,
    Advanced = 7,
    Language = 8,
};

enum class CPageId {
    Begin,
    InstallIntro,
    ScanSel,
    ScanSetGen,
    ScanSetPen,
    Proxy,
    AutoRun,
    AutoDesc,
    AutoGo,
    End,
    Registration,
    Advanced,
    LangSel,
};

// The pages of a mode in their order; the first start asks for the account
// only when no identity is stored.
std::vector<CPageId> SheetPages(CSheetMode mode, bool identityStored);
// The dialog (title and control texts) of a page.
int PageDialogId(CPageId page);
bool IsWizardMode(CSheetMode mode);

// Which settings page follows the scanner selection.
enum class CScannerFollow { None, General, Batch };
CScannerFollow ScannerSettingsPage(const CClientSettings& settings);

struct CPageButtons {
    bool back = false;
    bool next = false;
    bool finish = false;
    bool operator==(const CPageButtons&) const = default;
};

// The order in which a sheet's pages show: a scanner settings page only when
// the chosen scanner has one, Back, Next and Finish by the position among
// the pages that show.
class CSheetSequence {
public:
    CSheetSequence(CSheetMode mode, std::vector<CPageId> pages);

    CSheetMode Mode() const { return m_mode; }
    const std::vector<CPageId>& Pages() const { return m_pages; }
    bool Shows(CPageId page, const CClientSettings& settings) const;
    std::optional<CPageId> Next(CPageId page, const CClientSettings& settings) const;
    std::optional<CPageId> Back(CPageId page, const CClientSettings& settings) const;
    CPageButtons Buttons(CPageId page, const CClientSettings& settings) const;

private:
    std::optional<CPageId> Step(CPageId page, const CClientSettings& settings, int direction) const;

    CSheetMode m_mode;
    std::vector<CPageId> m_pages;
};

// A field a page refuses, and the message and error code shown for it.
enum class CPageField {
    None,
    Port,
    BaudRate,
    DataBits,
    Parity,
    StopBits,
    Volume,
    ProxyAddress,
    ProxyPort,
    UserId,
    Password
};

struct CPageProblem {
    int textId = 0;
    int code = 0;
    CPageField field = CPageField::None;
    bool Ok() const { return textId == 0; }
    bool operator==(const CPageProblem&) const = default;
};

// The limits of the text fields.
inline constexpr std::size_t kMaxProxyAddress = 60;
inline constexpr std::size_t kMaxProxyPort = 20;
inline constexpr std::size_t kMaxUserId = 20;
inline constexpr std::size_t kMaxPassword = 20;

// The error codes the pages show their messages with.
inline constexpr int kCodeFieldMissing = 15;
inline constexpr int kCodePort = 14;
inline constexpr int kCodeRegistrationField = 13;
inline constexpr int kCodeBrowser = 16;

// The proxy page's fields, in the order the page checks them; nothing is
// checked for a direct connection.
CPageProblem CheckProxy(bool viaProxy, std::string_view address, std::string_view port);
// The account fields of the registration page.
CPageProblem CheckRegistration(std::string_view user, std::string_view password);
// The general scanner page: every list needs a choice.
CPageProblem CheckLineSettings(const CClientSettings& settings);

// The text a scanner type is listed with.
int ScannerTypeTextId(CScannerType type);

// The batch scanner page edits the stored port (and volume) of the chosen
// type: the pen's, the Symbol cradles', or the Pennyscanner's (no volume).
std::int32_t* BatchPort(CClientSettings& settings, CScannerType type);
std::int32_t* BatchVolume(CClientSettings& settings, CScannerType type);

// The stored code list page: the web browser also turns on automatic
// descriptions, whose choice is then not offered.
void ChooseWebView(CClientSettings& settings, bool webBrowser);
bool DescriptionChoiceOffered(const CClientSettings& settings);

// The system's proxy settings as the proxy page's Auto-Detect fills them
// in: the port becomes 80 when only an address is given. A problem when the
// system has a proxy enabled that cannot be read.
CPageProblem ApplySystemProxy(const CSystemProxy& system, CClientSettings& settings);

// The groups a page saves when it is applied.
std::vector<CConfigGroup> SavedGroups(CPageId page);

// What the pages do beyond editing the settings, without any window:
// checking a page when it is left, applying it (saving its groups and
// selecting the scanner), the proxy of the first start, the registration,
// the advanced page's actions and the language. Problems are shown through
// the document's message routines.
class CPageLogic {
public:
    // The pages module's internal errors.
    static constexpr int kInternalErrorScanner = 565;
    static constexpr int kInternalErrorLanguage = 520;
    static constexpr long kLineScanSel = 819;
    static constexpr long kLineScanSetGen = 994;
    static constexpr long kLineScanSetPen = 1253;
    static constexpr long kLineLanguage = 449;

    CPageLogic(CClientDoc& doc, CSheetMode mode);

    CClientDoc& Doc() { return m_doc; }
    CClientSettings& Settings();
    CSheetMode Mode() const { return m_mode; }

    // Leaving a page forwards (Next, or Finish before the applies): the
    // page's checks; a problem is shown and returned, so the page can put
    // the focus on the field.
    CPageProblem Leave(CPageId page);
    // Applying a page: saves its groups and does what the page stands for.
    // False when a check failed (shown).
    bool Apply(CPageId page);

    // The registration page's Finish: checks the fields (shown) and starts
    // the attach query; false when it did not start (shown, 32818 after
    // 50104).
    CPageProblem CheckAccount(std::string_view user, std::string_view password);
    bool StartRegistration(std::string_view user, std::string_view password);

    // The proxy page's Auto-Detect; false after showing 32825.
    bool DetectSystemProxy();
    // The advanced page.
    void ClearCache();
    bool OfflineOffered() const;
    std::string VersionText() const;
    // The language page: the entry chosen becomes current, and is stored.
    bool SelectLanguage(std::size_t entry);

    // The browser's verdict as the wizard shows it when it opens: 0 for none.
    int BrowserWarning() const;

private:
    CPageProblem CheckPort(std::int32_t portIndex);
    CPageProblem Show(CPageProblem problem);
    bool SelectScanner(long line);
    bool Save(CPageId page);
    void HandProxyToToolkit();
    void InternalError(int number, long line);

    CClientDoc& m_doc;
    CSheetMode m_mode;
};

// The system proxy from the desktop: the environment's http_proxy, then the
// desktop's proxy settings, then the configuration store's own key.
CSystemProxy ReadDesktopProxy(CClientConfig& config, platform::RegistryHive& currentUser);
// "host:port" of a proxy address as the environment gives it
// ("http://user@host:port/").
CSystemProxy ParseProxyUrl(std::string_view url);
