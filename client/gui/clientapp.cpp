#include "client/gui/clientapp.h"

#include "client/appcontext.h"
#include "client/clidoc.h"
#include "client/gui/cliview.h"
#include "client/gui/guiicons.h"
#include "client/gui/guitext.h"
#include "client/gui/mainfrm.h"
#include "client/gui/qtuiport.h"
#include "client/gui/sigwatch.h"
#include "client/gui/splashwnd.h"
#include "client/gui/trayicon.h"
#include "client/uitextids.h"
#include "client/viewcore.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QSessionManager>
#include <QTimer>
#include <QTranslator>

#include <csignal>
#include <cstdio>

namespace {

// Commands of the settings sheet, which comes with a later version.
bool SettingsCommand(int id)
{
    switch (id) {
    case kCmdSettingsWizard:
    case kCmdSettingsScanner:
    case kCmdSettingsProxy:
    case kCmdSettingsStartup:
    case kCmdSettingsCodeList:
    case kCmdSettingsBatch:
    case kCmdSettingsLanguage:
    case kCmdSettingsAdvanced:
        return true;
    default:
        return false;
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
    m_context = std::make_unique<CAppContext>();
    m_context->Customization().CompleteFromResources(ProgramResource);
    SelectLanguage();

    m_mode = ParseStartMode(m_options.arguments);
    if (m_mode == CStartMode::Install || m_mode == CStartMode::Remove) {
        RefuseSwitch();
        return 1;
    }

    m_port = std::make_unique<CQtUiPort>(m_context->Language());
    m_doc = std::make_unique<CClientDoc>(*m_context, *m_port);
    if (!m_doc->Create())
        return 1;
    m_core = std::make_unique<CViewCore>(*m_doc);
    m_port->SetMessageHandler([this](const CViewMessage& message) { m_core->HandleViewMessage(message); });
    m_port->SetFirstRunWizard([this] {
        std::string uid;
        if (m_context->Config().ReadUserId(uid) && !uid.empty()) {
            m_skippedWizard = true;
            return true;
        }
        CMessageBoxRequest request;
        request.kind = CMessageBoxRequest::Kind::kInformation;
        request.text = m_context->Language().LoadText(kStrNotAttached);
        m_port->ShowMessageBox(request);
        return false;
    });
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
    const QString name = QtTranslationName(m_context->Language().Current().code);
    if (name.isEmpty())
        return;
    auto translator = std::make_unique<QTranslator>();
    if (translator->load(name, QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(translator.get());
        m_qtTranslator = std::move(translator);
    }
}

void CClientApp::RefuseSwitch()
{
    const std::string text =
        m_context->Language().FormatMessage(kStrSwitchNotAvailable, {StartModeSwitch(m_mode)});
    std::fprintf(stderr, "lumora: %s\n", text.c_str());
}

void CClientApp::CreateWindows()
{
    CCustomization& custom = m_context->Customization();
    m_frame = std::make_unique<CMainFrame>(m_context->Language(), m_context->Config().Settings());
    m_frame->setWindowIcon(MediaIcon(custom.AppIconLarge(), custom.AppIconSmall()));
    m_frame->Tray()->SetIcon(MediaIcon(custom.TrayIconGood()));
    m_frame->SetCommandFilter(
        [this](int id) { return !SettingsCommand(id) && m_core->IsCommandEnabled(id); });
    m_frame->SetCloseGuard([this] { return m_doc->CanClose(); });
    m_frame->SetUndoText([this] { return ToQt(m_core->UndoMenuText()); });
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
    m_frame->RestorePlacement();
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
    if (m_skippedWizard) {
        // No wizard asked the user about starting at log-on: it stays off.
        m_context->Config().Settings().autoRun = 0;
        m_context->Config().Save(CConfigGroup::AutoRun);
    }
    m_running = true;
    ShowMainWindow(result.wizardRan && !m_skippedWizard);
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
    return 0;
}

void CClientApp::OnCommand(int id)
{
    if (RunListCommand(id))
        return;
    switch (id) {
    case kCmdGo:
        m_core->Go(FromQt(m_frame->View()->EntryText()), ListNumber());
        break;
    case kCmdAddToList:
        m_core->AddToList(FromQt(m_frame->View()->EntryText()), ListNumber());
        break;
    case kCmdHideToTray:
    case kCmdShowWindow:
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
        m_core->GetDescriptions(CDescriptionKind::Selected);
        return true;
    case kCmdDelete:
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
