#include "client/gui/clientapp.h"

#include "client/appcontext.h"
#include "client/clidoc.h"
#include "client/gui/aboutdlg.h"
#include "client/gui/cfgsheet.h"
#include "client/gui/cliview.h"
#include "client/gui/listprint.h"
#include "client/gui/scodemodel.h"
#include "client/gui/scodeview.h"
#include "client/gui/setupwizard.h"
#include "client/gui/guiicons.h"
#include "client/gui/uitexts.h"
#include "client/gui/mainfrm.h"
#include "client/gui/qtuiport.h"
#include "client/gui/sigwatch.h"
#include "client/gui/splashwnd.h"
#include "client/gui/trayicon.h"
#include "client/uitextids.h"
#include "client/viewcore.h"
#include "platform/instance.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QSessionManager>
#include <QTimer>
#include <QTranslator>

#include <array>
#include <csignal>
#include <cstdio>
#include <utility>

namespace {

// The sheet mode of each Settings command; none for other commands.
std::optional<CSheetMode> SettingsMode(int id)
{
    switch (id) {
    case kCmdSettingsWizard:
        return CSheetMode::Wizard;
    case kCmdSettingsScanner:
        return CSheetMode::Scanner;
    case kCmdSettingsProxy:
        return CSheetMode::Proxy;
    case kCmdSettingsStartup:
        return CSheetMode::StartUp;
    case kCmdSettingsCodeList:
        return CSheetMode::CodeList;
    case kCmdSettingsBatch:
        return CSheetMode::Batch;
    case kCmdSettingsAdvanced:
        return CSheetMode::Advanced;
    case kCmdSettingsLanguage:
        return CSheetMode::Language;
    default:
        return std::nullopt;
    }
}

// Qt's own texts (standard buttons) in the language the client shows.
QString QtTranslationName(const std::string& code)
{
    if (code == "pt")
        return QStringLiteral("qtbase_pt_BR");
    if (code == "es")
        return QStringLiteral("qtbase_es");
    return {};
}

} // namespace

CClientApp::CClientApp(Options options) : m_options(std::move(options)) {}

CClientApp::~CClientApp()
{
    if (m_port)
        m_port->Close();
    // The windows go before the core they show.
    m_frame.reset();
}

std::optional<int> CClientApp::Start()
{
    QApplication::setQuitOnLastWindowClosed(false);
    CAppOptions context;
    context.programPath = m_options.programPath;
    m_context = std::make_unique<CAppContext>(std::move(context));
    m_context->Customization().CompleteFromResources(ProgramResource);
    SelectLanguage();

    m_mode = ParseStartMode(m_options.arguments);
    if (m_mode == CStartMode::Install || m_mode == CStartMode::Remove)
        return RunSetup(m_mode, ParseSetupArguments(m_options.arguments), m_context->Language());

    if (!BecomeTheInstance())
        return 0;

    m_port = std::make_unique<CQtUiPort>(m_context->Language());
    m_doc = std::make_unique<CClientDoc>(*m_context, *m_port);
    if (!m_doc->Create())
        return 1;
    m_core = std::make_unique<CViewCore>(*m_doc);
    m_port->SetMessageHandler([this](const CViewMessage& message) { m_core->HandleViewMessage(message); });
    m_port->SetFirstRunWizard([this] { return RunFirstRunWizard(); });
    CreateWindows();

    m_signals = std::make_unique<CSignalWatcher>(std::initializer_list<int>{SIGTERM, SIGHUP});
    connect(m_signals.get(), &CSignalWatcher::Received, this, [this] { EndSession(); });
    connect(qApp, &QGuiApplication::commitDataRequest, this, &CClientApp::OnCommitData);

    const QPixmap splash = MediaPixmap(m_context->Customization().Splash());
    const int delay = m_options.splashDelayMs.value_or(
        m_mode == CStartMode::AutoRun ? CSplashWnd::kAutoRunDelayMs : CSplashWnd::kNormalDelayMs);
    m_splash = new CSplashWnd(splash);
    m_splash->Run(delay, [this] { ContinueAfterSplash(); });
    return std::nullopt;
}

void CClientApp::SelectLanguage()
{
    m_context->SelectLanguage();
    InstallQtTranslation();
}

void CClientApp::InstallQtTranslation()
{
    if (m_qtTranslator) {
        QCoreApplication::removeTranslator(m_qtTranslator.get());
        m_qtTranslator.reset();
    }
    const QString name = QtTranslationName(m_context->Language().Current().code);
    if (name.isEmpty())
        return;
    auto translator = std::make_unique<QTranslator>();
    if (translator->load(name, QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(translator.get());
        m_qtTranslator = std::move(translator);
    }
}

bool CClientApp::BecomeTheInstance()
{
    m_instance = std::make_unique<platform::InstanceServer>([this](const platform::InstanceMessage& message) {
        // On the channel's thread: the main thread takes it from here.
        QMetaObject::invokeMethod(
            this, [this, message] { OnInstanceMessage(message); }, Qt::QueuedConnection);
    });
    std::string error;
    switch (m_instance->Start(&error)) {
    case platform::InstanceServer::StartResult::kListening:
        return true;
    case platform::InstanceServer::StartResult::kFailed:
        // The client still runs; only a second start cannot find it.
        std::fprintf(stderr, "lumora: %s\n", error.c_str());
        return true;
    case platform::InstanceServer::StartResult::kOtherInstance:
        break;
    }
    m_instance.reset();
    platform::InstanceMessage show;
    show.kind = platform::InstanceMessage::Kind::kCommand;
    show.number = kCmdShowWindow;
    platform::SendToRunningClient(show);
    return false;
}

void CClientApp::OnInstanceMessage(const platform::InstanceMessage& message)
{
    // Codes another program sends during start-up wait for the first idle state.
    if (!m_running) {
        m_early.push_back(message);
        return;
    }
    using Kind = platform::InstanceMessage::Kind;
    switch (message.kind) {
    case Kind::kCommand:
        if (message.number == static_cast<std::uint32_t>(kCmdShowWindow))
            ShowForAnotherStart();
        else
            OnCommand(static_cast<int>(message.number));
        break;
    case Kind::kDataCopy:
        m_core->OnDataCopy(message.number, message.data);
        break;
    case Kind::kCloseRequest:
        m_frame->close();
        break;
    }
}

void CClientApp::ShowForAnotherStart()
{
    // Hidden: back from the tray; minimised: restored; else raised.
    if (m_frame->IsHiddenToTray())
        OnCommand(kCmdHideToTray);
    if (m_frame->IsHiddenToTray()) {
        m_frame->SetHiddenToTray(false);
        m_doc->SetHidden(false);
    }
    m_frame->BringToFront();
}

void CClientApp::CreateWindows()
{
    CCustomization& custom = m_context->Customization();
    m_frame = std::make_unique<CMainFrame>(m_context->Language(), m_context->Config().Settings());
    m_frame->setWindowIcon(MediaIcon(custom.AppIconLarge(), custom.AppIconSmall()));
    m_frame->Tray()->SetIcon(MediaIcon(custom.TrayIconGood()));
    m_frame->SetCommandFilter([this](int id) { return m_core->IsCommandEnabled(id); });
    m_frame->SetCloseGuard([this] { return m_doc->CanClose(); });
    m_frame->SetUndoText([this] { return ToQString(m_core->UndoMenuText()); });
    m_port->SetFrame(m_frame.get());
    connect(m_frame.get(), &CMainFrame::CommandRequested, this, &CClientApp::OnCommand);
    connect(m_frame.get(), &CMainFrame::Closed, this, &CClientApp::OnWindowClosed);
    connect(m_frame.get(), &CMainFrame::FilesDropped, this, [this](const auto& files) {
        // As Insert Codes Into List, with the file already chosen.
        for (const auto& file : files) {
            m_port->PresetFileAnswer(file);
            m_core->InsertCodes();
        }
    });
    CreateList();
    m_frame->RestorePlacement();
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { OnFocusChanged(now); });
}

void CClientApp::CreateList()
{
    m_list = new CScListCtrl(m_context->StoredCodes(), m_context->Language());
    m_list->setObjectName(QStringLiteral("codeList"));
    m_frame->View()->SetList(m_list);
    m_list->SetFilterEdit(m_frame->View()->FilterEntry());
    m_list->ApplyColumnData(m_context->Config().Settings());
    m_list->Model().SetEditCommit(
        [this](unsigned number, const std::string& text) { return m_core->EditDescription(number, text); });
    m_port->SetList(m_list);
    connect(m_list, &CScListCtrl::goRequested, this, [this](unsigned number) {
        const auto& entries = m_context->StoredCodes().Entries();
        if (number > 0 && number <= entries.size())
            m_core->Go(entries[number - 1].codeText, number);
    });
    connect(m_list, &CScListCtrl::describeSelectedRequested, this,
            [this] { m_core->GetDescriptions(CDescriptionKind::Selected); });
    connect(m_list, &CScListCtrl::deleteRequested, this, [this] { m_core->DeleteSelected(); });
    connect(m_list, &CScListCtrl::propertiesRequested, this,
            [this](unsigned number) { m_core->Properties(number); });
}

CListPrinter& CClientApp::Printer()
{
    // Made when first asked for: setting up a printer costs start-up time.
    if (!m_printer)
        m_printer = std::make_unique<CListPrinter>(m_context->Language());
    return *m_printer;
}

void CClientApp::OnFocusChanged(QWidget* now)
{
    if (!now || !m_frame)
        return;
    if (now == m_frame->View()->Entry())
        m_listHasFocusRole = false;
    else if (m_list && (now == m_list || m_list->isAncestorOf(now)))
        m_listHasFocusRole = true;
}

void CClientApp::ContinueAfterSplash()
{
    const CStartUpResult result = m_doc->StartUp();
    switch (result.outcome) {
    case CStartUpResult::Outcome::kQuit:
        Quit(0);
        return;
    case CStartUpResult::Outcome::kExit:
        Quit(result.exitCode);
        return;
    case CStartUpResult::Outcome::kRunning:
        break;
    }
    m_running = true;
    ShowMainWindow(result.wizardRan);
    for (const platform::InstanceMessage& message : std::exchange(m_early, {}))
        OnInstanceMessage(message);
    Q_EMIT Started();
    if (m_options.exitAtIdle)
        QTimer::singleShot(0, this, [this] { m_frame->close(); });
}

void CClientApp::ShowMainWindow(bool wizardRan)
{
    if (m_mode != CStartMode::AutoRun || wizardRan) {
        m_frame->ShowAsConfigured();
        return;
    }
    // Auto-run: straight to the tray, or minimised where there is none.
    if (CTrayIcon::Available()) {
        m_frame->SetHiddenToTray(true);
        m_doc->SetHidden(true);
    } else {
        m_frame->showMinimized();
    }
}

unsigned CClientApp::ListNumber() const
{
    return m_listHasFocusRole && m_list ? m_list->CurrentNumber() : 0;
}

void CClientApp::OnCommand(int id)
{
    if (RunListCommand(id))
        return;
    switch (id) {
    case kCmdGo:
    case kCmdAddToList: {
        // A code of the list goes as it is stored; else what was typed.
        const unsigned number = ListNumber();
        const auto& entries = m_context->StoredCodes().Entries();
        const std::string text = number > 0 && number <= entries.size()
                                     ? entries[number - 1].codeText
                                     : FromQString(m_frame->View()->EntryText());
        id == kCmdGo ? m_core->Go(text, number) : m_core->AddToList(text, number);
        break;
    }
    case kCmdShowWindow:
        // The tray's show item, a click or a double click on the icon: only
        // ever shows, so the second click of a double click changes nothing.
        if (m_frame->IsHiddenToTray())
            OnCommand(kCmdHideToTray);
        break;
    case kCmdHideToTray:
        if (const std::optional<bool> hidden = m_core->HideToTray()) {
            m_frame->SetHiddenToTray(*hidden);
            m_doc->SetHidden(m_frame->IsHiddenToTray());
        }
        break;
    case kCmdEditCut:
    case kCmdEditCopy:
    case kCmdEditPaste:
        m_frame->EditEntry(id);
        break;
    case kCmdEditUndo:
        if (m_core->UndoMenuText().empty())
            m_frame->EditEntry(id);
        else
            m_core->Undo();
        break;
    case kCmdAppExit:
        m_frame->close();
        break;
    case kCmdViewToolbar:
    case kCmdViewStatusBar:
        m_context->Config().Save(CConfigGroup::Bars);
        break;
    case kCmdWebPageView: {
        CClientSettings& settings = m_context->Config().Settings();
        settings.webView = settings.webView ? 0 : 1;
        m_context->Config().Save(CConfigGroup::Descriptions);
        break;
    }
    case kCmdRegistrationInfo:
        m_core->RegistrationInformation();
        break;
    case kCmdHelp:
        m_core->Help();
        break;
    default:
        RunDialogCommand(id);
        break;
    }
}

bool CClientApp::RunFirstRunWizard()
{
    // The sheet's state: auto-detection and the registration rely on it.
    m_doc->SetState(CDocState::SettingsOpen);
    CCfgPropertySheet sheet(
        *m_doc, *m_port, CSheetMode::FirstRun, [this] { RetitleWindows(); }, m_frame.get());
    const bool completed = sheet.exec() == QDialog::Accepted;
    m_doc->SetState(CDocState::StartUp);
    return completed;
}

void CClientApp::RunSettings(CSheetMode mode)
{
    if (m_doc->State() != CDocState::Idle)
        return;
    m_doc->SetState(CDocState::SettingsOpen);
    CCfgPropertySheet sheet(
        *m_doc, *m_port, mode, [this] { RetitleWindows(); }, m_frame.get());
    sheet.exec();
    m_doc->SetState(CDocState::Idle);
}

void CClientApp::RetitleWindows()
{
    InstallQtTranslation();
    m_frame->Retranslate();
    m_list->Retranslate();
}

void CClientApp::RunDialogCommand(int id)
{
    if (const std::optional<CSheetMode> mode = SettingsMode(id)) {
        RunSettings(*mode);
        return;
    }
    switch (id) {
    case kCmdAbout: {
        std::array<long, 3> version{};
        std::sscanf(LUMORA_VERSION, "%ld.%ld.%ld", &version[0], &version[1], &version[2]);
        CAboutDlg about(m_context->Language(), version, m_frame.get());
        about.exec();
        break;
    }
    case kCmdFilePrint:
        Printer().Print(*m_list, m_frame.get());
        break;
    case kCmdFilePrintSetup:
        Printer().PageSetup(m_frame.get());
        break;
    case kCmdEditDescription:
        m_list->EditCurrentDescription();
        break;
    case kCmdProperties:
        if (const unsigned number = m_list->CurrentNumber())
            m_core->Properties(number);
        break;
    default:
        break;
    }
}

bool CClientApp::RunListCommand(int id)
{
    switch (id) {
    case kCmdInsertCodes:
        m_core->InsertCodes();
        return true;
    case kCmdReplaceCodes:
        m_core->ReplaceCodes();
        return true;
    case kCmdExportCodes:
        m_core->ExportCodes();
        return true;
    case kCmdShowWebPage:
        m_core->ShowInWebPage();
        return true;
    case kCmdDescribeAll:
        m_core->GetDescriptions(CDescriptionKind::All);
        return true;
    case kCmdDescribeNew:
        m_core->GetDescriptions(CDescriptionKind::New);
        return true;
    case kCmdDescribeSelected:
        m_list->MirrorSelection();
        m_core->GetDescriptions(CDescriptionKind::Selected);
        return true;
    case kCmdDelete:
        m_list->MirrorSelection();
        m_core->DeleteSelected();
        return true;
    case kCmdDeleteAll:
        m_core->DeleteAll();
        return true;
    default:
        return false;
    }
}

void CClientApp::OnWindowClosed()
{
    m_list->StoreColumnData(m_context->Config().Settings());
    m_doc->Close();
    Quit(0);
}

void CClientApp::EndSession()
{
    if (m_ended)
        return;
    m_ended = true;
    // Before the stored list is read there is nothing to save, and saving
    // would put an empty list over the user's.
    if (m_running) {
        m_frame->StorePlacement();
        m_list->StoreColumnData(m_context->Config().Settings());
        m_doc->EndSession();
    }
    Quit(0);
}

void CClientApp::OnCommitData(QSessionManager& manager)
{
    const CDocState state = m_doc ? m_doc->State() : CDocState::StartUp;
    const bool processing = state == CDocState::HandlingScans || state == CDocState::StartingBatch ||
                            state == CDocState::Processing;
    if (processing && manager.allowsInteraction()) {
        manager.cancel();
        manager.release();
        return;
    }
    EndSession();
}

void CClientApp::Quit(int status)
{
    if (m_port)
        m_port->Close();
    if (m_frame)
        m_frame->Tray()->Hide();
    QCoreApplication::exit(status);
}
