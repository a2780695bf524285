#include "client/ppage.h"

#include "client/appcontext.h"
#include "client/clidoc.h"
#include "client/scanmgr.h"
#include "client/uitextids.h"
#include "client/weblaunch.h"
#include "platform/browser.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>

namespace {

constexpr std::string_view kModule = "ppage";

bool HasBlank(std::string_view text)
{
    return text.find(' ') != std::string_view::npos;
}

bool AllDigits(std::string_view text)
{
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<CScannerType> ChosenScanner(const CClientSettings& settings)
{
    return ScannerTypeFromNumber(settings.scanner);
}

} // namespace

std::vector<CPageId> SheetPages(CSheetMode mode, bool identityStored)
{
    using P = CPageId;
    switch (mode) {
    case CSheetMode::Wizard:
        return {P::Begin,   P::ScanSel,  P::ScanSetGen, P::ScanSetPen, P::Proxy,
                P::AutoRun, P::AutoDesc, P::AutoGo,     P::End};
    case CSheetMode::Scanner:
        return {P::ScanSel, P::ScanSetGen, P::ScanSetPen};
    case CSheetMode::Proxy:
        return {P::Proxy};
    case CSheetMode::StartUp:
        return {P::AutoRun};
    case CSheetMode::CodeList:
        return {P::AutoDesc};
    case CSheetMode::Batch:
        return {P::AutoGo};
    case CSheetMode::FirstRun: {
        std::vector<CPageId> pages{P::InstallIntro, P::ScanSel, P::ScanSetGen, P::ScanSetPen, P::Proxy};
        if (!identityStored)
            pages.push_back(P::Registration);
        return pages;
    }
    case CSheetMode::Advanced:
        return {P::Advanced};
    case CSheetMode::Language:
        return {P::LangSel};
    }
    return {};
}

int PageDialogId(CPageId page)
{
    switch (page) {
    case CPageId::Begin:
        return kDlgPageBegin;
    case CPageId::InstallIntro:
        return kDlgPageInstallIntro;
    case CPageId::ScanSel:
        return kDlgPageScanSel;
    case CPageId::ScanSetGen:
        return kDlgPageScanSetGen;
    case CPageId::ScanSetPen:
        return kDlgPageScanSetPen;
    case CPageId::Proxy:
        return kDlgPageProxy;
    case CPageId::AutoRun:
        return kDlgPageAutoRun;
    case CPageId::AutoDesc:
        return kDlgPageAutoDesc;
    case CPageId::AutoGo:
        return kDlgPageAutoGo;
    case CPageId::End:
        return kDlgPageEnd;
    case CPageId::Registration:
        return kDlgPageRegistration;
    case CPageId::Advanced:
        return kDlgPageAdvanced;
    case CPageId::LangSel:
        return kDlgPageLangSel;
    }
    return 0;
}

bool IsWizardMode(CSheetMode mode)
{
    return mode == CSheetMode::Wizard || mode == CSheetMode::Scanner || mode == CSheetMode::FirstRun;
}

CScannerFollow ScannerSettingsPage(const CClientSettings& settings)
{
    const std::optional<CScannerType> type = ChosenScanner(settings);
    if (!settings.useScanner || !type)
        return CScannerFollow::None;
    switch (ScannerPort(*type)) {
    case CScannerPort::Serial:
        return CScannerFollow::General;
    case CScannerPort::Pen:
    case CScannerPort::Symbol:
    case CScannerPort::Penny:
        return CScannerFollow::Batch;
    case CScannerPort::None:
        break;
    }
    return CScannerFollow::None;
}

// Sequence ----------------------------------------------------------------

CSheetSequence::CSheetSequence(CSheetMode mode, std::vector<CPageId> pages)
    : m_mode(mode), m_pages(std::move(pages))
{
}

bool CSheetSequence::Shows(CPageId page, const CClientSettings& settings) const
{
    if (page == CPageId::ScanSetGen)
        return ScannerSettingsPage(settings) == CScannerFollow::General;
    if (page == CPageId::ScanSetPen)
        return ScannerSettingsPage(settings) == CScannerFollow::Batch;
    return true;
}

std::optional<CPageId> CSheetSequence::Step(CPageId page, const CClientSettings& settings,
                                            int direction) const
{
    const auto found = std::find(m_pages.begin(), m_pages.end(), page);
    if (found == m_pages.end())
        return std::nullopt;
    auto index = static_cast<long>(found - m_pages.begin()) + direction;
    for (; index >= 0 && index < static_cast<long>(m_pages.size()); index += direction) {
        const CPageId candidate = m_pages[static_cast<std::size_t>(index)];
        if (Shows(candidate, settings))
            return candidate;
    }
    return std::nullopt;
}

std::optional<CPageId> CSheetSequence::Next(CPageId page, const CClientSettings& settings) const
{
    return Step(page, settings, 1);
}

std::optional<CPageId> CSheetSequence::Back(CPageId page, const CClientSettings& settings) const
{
    return Step(page, settings, -1);
}

CPageButtons CSheetSequence::Buttons(CPageId page, const CClientSettings& settings) const
{
    if (!IsWizardMode(m_mode))
        return {false, false, true};
    CPageButtons buttons;
    buttons.back = Back(page, settings).has_value();
    buttons.next = Next(page, settings).has_value();
    buttons.finish = !buttons.next;
    return buttons;
}

// Checks ------------------------------------------------------------------

CPageProblem CheckProxy(bool viaProxy, std::string_view address, std::string_view port)
{
    if (!viaProxy)
        return {};
    if (address.empty())
        return {kStrProxyNeedsAddressAndPort, kCodeFieldMissing, CPageField::ProxyAddress};
    if (HasBlank(address))
        return {kStrEntryHasSpaces, kCodeFieldMissing, CPageField::ProxyAddress};
    if (port.empty())
        return {kStrProxyNeedsAddressAndPort, kCodeFieldMissing, CPageField::ProxyPort};
    if (HasBlank(port))
        return {kStrEntryHasSpaces, kCodeFieldMissing, CPageField::ProxyPort};
    if (!AllDigits(port))
        return {kStrProxyPortNotNumber, kCodeFieldMissing, CPageField::ProxyPort};
    return {};
}

CPageProblem CheckRegistration(std::string_view user, std::string_view password)
{
    if (user.empty())
        return {kStrEnterAllFields, kCodeRegistrationField, CPageField::UserId};
    if (password.empty())
        return {kStrEnterAllFields, kCodeRegistrationField, CPageField::Password};
    if (HasBlank(user))
        return {kStrEntryHasSpaces, kCodeRegistrationField, CPageField::UserId};
    if (HasBlank(password))
        return {kStrEntryHasSpaces, kCodeRegistrationField, CPageField::Password};
    return {};
}

CPageProblem CheckLineSettings(const CClientSettings& settings)
{
    const std::pair<std::int32_t, CPageField> lists[] = {{settings.scannerPort, CPageField::Port},
                                                         {settings.baudRate, CPageField::BaudRate},
                                                         {settings.dataBits, CPageField::DataBits},
                                                         {settings.parity, CPageField::Parity},
                                                         {settings.stopBits, CPageField::StopBits}};
    for (const auto& [index, field] : lists)
        if (index < 0)
            return {kStrSelectAllFields, kCodeFieldMissing, field};
    return {};
}

int ScannerTypeTextId(CScannerType type)
{
    switch (type) {
    case CScannerType::NetPen:
        return kStrScannerNetPen;
    case CScannerType::Aim:
        return kStrScannerAim;
    case CScannerType::OtherSerial:
        return kStrScannerOtherSerial;
    case CScannerType::Pocket:
        return kStrScannerPalm;
    case CScannerType::Cs2000:
        return kStrScannerCs2000;
    case CScannerType::CyberPen:
        return kStrScannerCyberPen;
    case CScannerType::WelchAllyn6180:
        return kStrScannerWelchAllyn;
    case CScannerType::Pennyscanner:
        return kStrScannerPenny;
    case CScannerType::Qoder:
        return kStrScannerQoder;
    case CScannerType::Keyfob:
        return kStrScannerKeyfob;
    case CScannerType::Cs1504:
        return kStrScannerCs1504;
    }
    return kStrUnknown;
}

std::int32_t* BatchPort(CClientSettings& settings, CScannerType type)
{
    switch (ScannerPort(type)) {
    case CScannerPort::Pen:
        return &settings.penPort;
    case CScannerPort::Symbol:
        return &settings.symbolPort;
    case CScannerPort::Penny:
        return &settings.pennyPort;
    default:
        return nullptr;
    }
}

std::int32_t* BatchVolume(CClientSettings& settings, CScannerType type)
{
    switch (ScannerVolume(type)) {
    case CScannerVolume::Pen:
        return &settings.penVolume;
    case CScannerVolume::Symbol:
        return &settings.symbolVolume;
    case CScannerVolume::None:
        break;
    }
    return nullptr;
}

void ChooseWebView(CClientSettings& settings, bool webBrowser)
{
    settings.webView = webBrowser ? 1 : 0;
    if (webBrowser)
        settings.autoDescriptions = 1;
}

bool DescriptionChoiceOffered(const CClientSettings& settings)
{
    return settings.webView == 0;
}

CPageProblem ApplySystemProxy(const CSystemProxy& system, CClientSettings& settings)
{
    if (!system.readable)
        return system.enabled ? CPageProblem{kStrNoSystemProxy, kCodeFieldMissing, CPageField::ProxyAddress}
                              : CPageProblem{};
    settings.proxyAddr = system.address.substr(0, kMaxProxyAddress);
    settings.proxyPort = system.port.substr(0, kMaxProxyPort);
    if (!settings.proxyAddr.empty() && settings.proxyPort.empty())
        settings.proxyPort = "80";
    settings.useProxy = system.enabled ? 1 : 0;
    return {};
}

std::vector<CConfigGroup> SavedGroups(CPageId page)
{
    using G = CConfigGroup;
    switch (page) {
    case CPageId::ScanSel:
        return {G::Scanner};
    case CPageId::ScanSetGen:
        return {G::Scanner, G::ScannerLine};
    case CPageId::ScanSetPen:
        return {G::Scanner, G::ScannerPort};
    case CPageId::Proxy:
        return {G::Proxy};
    case CPageId::AutoRun:
        return {G::AutoRun};
    case CPageId::AutoDesc:
        return {G::Descriptions};
    case CPageId::AutoGo:
        return {G::AutoGo};
    case CPageId::End:
        return {G::AllSettings};
    case CPageId::Registration:
        return {G::Scanner, G::Proxy};
    case CPageId::LangSel:
        return {G::Language};
    default:
        return {};
    }
}

CSystemProxy ParseProxyUrl(std::string_view url)
{
    CSystemProxy proxy;
    if (const auto scheme = url.find("://"); scheme != std::string_view::npos)
        url.remove_prefix(scheme + 3);
    if (const auto slash = url.find('/'); slash != std::string_view::npos)
        url = url.substr(0, slash);
    if (const auto at = url.rfind('@'); at != std::string_view::npos)
        url.remove_prefix(at + 1);
    if (url.empty())
        return proxy;
    proxy.enabled = true;
    proxy.readable = true;
    const auto colon = url.rfind(':');
    proxy.address = std::string(url.substr(0, colon));
    if (colon != std::string_view::npos)
        proxy.port = std::string(url.substr(colon + 1));
    return proxy;
}

namespace {

// A gsettings answer without its quotes ("'manual'" -> "manual").
std::optional<std::string> DesktopSetting(const std::string& schema, const std::string& key)
{
    auto out = platform::ProgramOutput("gsettings", {"get", schema, key}, std::chrono::milliseconds(2000));
    if (!out)
        return std::nullopt;
    std::string text = *out;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    if (text.size() >= 2 && text.front() == '\'' && text.back() == '\'')
        text = text.substr(1, text.size() - 2);
    return text;
}

} // namespace

CSystemProxy ReadDesktopProxy(CClientConfig&, platform::RegistryHive& currentUser)
{
    for (const char* name : {"http_proxy", "HTTP_PROXY"})
        if (const char* value = std::getenv(name); value && *value)
            return ParseProxyUrl(value);
    if (const auto mode = DesktopSetting("org.gnome.system.proxy", "mode"); mode && *mode == "manual") {
        CSystemProxy proxy;
        proxy.enabled = true;
        const auto host = DesktopSetting("org.gnome.system.proxy.http", "host");
        const auto port = DesktopSetting("org.gnome.system.proxy.http", "port");
        proxy.readable = host && !host->empty();
        if (proxy.readable) {
            proxy.address = *host;
            proxy.port = port && *port != "0" ? *port : "";
        }
        return proxy;
    }
    return CClientConfig::ReadSystemProxy(currentUser);
}

// Page logic --------------------------------------------------------------

CPageLogic::CPageLogic(CClientDoc& doc, CSheetMode mode) : m_doc(doc), m_mode(mode) {}

CClientSettings& CPageLogic::Settings()
{
    return m_doc.Context().Config().Settings();
}

CPageProblem CPageLogic::Show(CPageProblem problem)
{
    if (!problem.Ok())
        m_doc.ShowError(problem.textId, problem.code);
    return problem;
}

CPageProblem CPageLogic::CheckPort(std::int32_t portIndex)
{
    const int text = m_doc.Scanner()->CheckPort(portIndex);
    return text == 0 ? CPageProblem{} : CPageProblem{text, kCodePort, CPageField::Port};
}

void CPageLogic::InternalError(int number, long line)
{
    m_doc.ShowInternalError(number, kModule, line);
}

bool CPageLogic::SelectScanner(long line)
{
    const std::optional<CScannerType> type = ChosenScanner(Settings());
    if (type && m_doc.Scanner()->SelectScanner(*type))
        return true;
    InternalError(kInternalErrorScanner, line);
    return false;
}

CPageProblem CPageLogic::Leave(CPageId page)
{
    CClientSettings& settings = Settings();
    switch (page) {
    case CPageId::ScanSetGen:
        if (CPageProblem problem = Show(CheckLineSettings(settings)); !problem.Ok())
            return problem;
        return Show(CheckPort(settings.scannerPort));
    case CPageId::ScanSetPen: {
        const auto type = ChosenScanner(settings);
        std::int32_t* port = type ? BatchPort(settings, *type) : nullptr;
        std::int32_t* volume = type ? BatchVolume(settings, *type) : nullptr;
        if (!port || *port < 0)
            return Show({kStrSelectAllFields, kCodeFieldMissing, CPageField::Port});
        if (volume && *volume < 0)
            return Show({kStrSelectAllFields, kCodeFieldMissing, CPageField::Volume});
        return Show(CheckPort(*port));
    }
    case CPageId::Proxy: {
        if (CPageProblem problem =
                Show(CheckProxy(settings.useProxy != 0, settings.proxyAddr, settings.proxyPort));
            !problem.Ok())
            return problem;
        // The registration of the first start goes through this proxy.
        if (m_mode == CSheetMode::FirstRun)
            HandProxyToToolkit();
        return {};
    }
    default:
        return {};
    }
}

void CPageLogic::HandProxyToToolkit()
{
    CClientConfig& config = m_doc.Context().Config();
    config.DeriveProxyString();
    m_doc.Context().Toolkit().SetProxy(config.ProxyString());
}

bool CPageLogic::Save(CPageId page)
{
    CClientConfig& config = m_doc.Context().Config();
    bool saved = true;
    for (CConfigGroup group : SavedGroups(page))
        saved = config.Save(group) && saved;
    return saved;
}

bool CPageLogic::Apply(CPageId page)
{
    if (!Leave(page).Ok())
        return false;
    CClientSettings& settings = Settings();
    Save(page);
    switch (page) {
    case CPageId::ScanSel: {
        // The keyboard scanners have no settings page to select them.
        const auto type = ChosenScanner(settings);
        if (settings.useScanner && (type == CScannerType::Qoder || type == CScannerType::Keyfob))
            SelectScanner(kLineScanSel);
        break;
    }
    case CPageId::ScanSetGen:
        if (settings.useScanner)
            SelectScanner(kLineScanSetGen);
        break;
    case CPageId::ScanSetPen:
        if (settings.useScanner)
            SelectScanner(kLineScanSetPen);
        break;
    case CPageId::Proxy:
    case CPageId::Registration:
        HandProxyToToolkit();
        break;
    default:
        break;
    }
    return true;
}

CPageProblem CPageLogic::CheckAccount(std::string_view user, std::string_view password)
{
    return Show(CheckRegistration(user, password));
}

bool CPageLogic::StartRegistration(std::string_view user, std::string_view password)
{
    if (m_doc.StartRegistration(user, password))
        return true;
    m_doc.ShowError(kStrVerifyUserIdPassword, kCodeRegistrationField);
    return false;
}

bool CPageLogic::DetectSystemProxy()
{
    CAppContext& context = m_doc.Context();
    const CSystemProxy system =
        ReadDesktopProxy(context.Config(), context.Registry().Hive(platform::RegistryRoot::CurrentUser));
    return Show(ApplySystemProxy(system, Settings())).Ok();
}

void CPageLogic::ClearCache()
{
    VTCache& cache = m_doc.Context().Toolkit().GetCache();
    cache.ClearFormats();
    cache.ClearTemplates();
    m_doc.ShowInformation(kStrCacheCleared);
}

bool CPageLogic::OfflineOffered() const
{
    return m_doc.Context().Config().Settings().enableOffline == 1;
}

std::string CPageLogic::VersionText() const
{
    const CLanguageMgr& language = m_doc.Context().Language();
    return language.FormatMessage(kStrProgramVersion, {m_doc.Context().Config().ClientVersion()}) +
           "\r\n\r\n" + language.LanguageListText();
}

bool CPageLogic::SelectLanguage(std::size_t entry)
{
    CAppContext& context = m_doc.Context();
    CLanguageMgr& language = context.Language();
    if (entry >= language.Entries().size() || entry == language.CurrentIndex())
        return true;
    if (!language.SelectByNumber(language.Entries()[entry].number, true)) {
        InternalError(kInternalErrorLanguage, kLineLanguage);
        return false;
    }
    CClientSettings& settings = Settings();
    settings.language = language.Current().code;
    settings.languageName = language.Current().text;
    context.Config().Save(CConfigGroup::Language);
    // The servers answer in the language the client now shows.
    VTClientVariables variables = context.Toolkit().GetClientVariables();
    variables.clang = language.Current().code;
    context.Toolkit().SetClientVariables(variables);
    return true;
}

int CPageLogic::BrowserWarning() const
{
    return CWebLauncher::BrowserVerdict(platform::DetectDefaultBrowser());
}
