#include "client/gui/mainfrm.h"

#include "client/gui/cliview.h"
#include "client/gui/commandset.h"
#include "client/gui/guiicons.h"
#include "client/gui/uitexts.h"
#include "client/gui/trayicon.h"
#include "client/gui/winplacement.h"
#include "client/uitextids.h"

#include <QAction>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

namespace {

// The tool bar, in order; 0 is a separator.
constexpr int kToolBarCommands[] = {kCmdInsertCodes,
                                    kCmdExportCodes,
                                    kCmdFilePrint,
                                    0,
                                    kCmdEditCut,
                                    kCmdEditCopy,
                                    kCmdEditPaste,
                                    0,
                                    kCmdGo,
                                    kCmdAddToList,
                                    kCmdShowWebPage,
                                    kCmdDescribeAll,
                                    0,
                                    kCmdDelete,
                                    kCmdProperties,
                                    0,
                                    kCmdHelp};

// Commands that stay available whatever the document does: they change no data.
bool AlwaysEnabled(int id)
{
    return id == kCmdViewToolbar || id == kCmdViewStatusBar;
}

std::vector<std::filesystem::path> CodeFiles(const QMimeData* data)
{
    std::vector<std::filesystem::path> files;
    if (!data || !data->hasUrls())
        return files;
    for (const QUrl& url : data->urls()) {
        const QString path = url.toLocalFile();
        if (path.endsWith(QStringLiteral(".codelist"), Qt::CaseInsensitive) ||
            path.endsWith(QStringLiteral(".txt"), Qt::CaseInsensitive))
            files.emplace_back(path.toStdString());
    }
    return files;
}

} // namespace

CMainFrame::CMainFrame(const CLanguageMgr& language, CClientSettings& settings, QWidget* parent)
    : QMainWindow(parent), m_language(language), m_settings(settings), m_commands(new CCommandSet(this)),
      m_view(new CClientView(language, this)), m_tray(new CTrayIcon(language, this))
{
    setObjectName(QStringLiteral("mainFrame"));
    setAcceptDrops(true);
    setCentralWidget(m_view);
    BuildActions();
    BuildToolBar();
    m_statusPane = new QLabel(this);
    m_statusPane->setObjectName(QStringLiteral("statusPane"));
    statusBar()->addWidget(m_statusPane, 1);
    m_hideButton = new QToolButton(this);
    m_hideButton->setObjectName(QStringLiteral("hideToTrayButton"));
    m_hideButton->setAutoRaise(true);
    m_hideButton->setIcon(CommandIcon(kCmdHideToTray));
    menuBar()->setCornerWidget(m_hideButton, Qt::TopRightCorner);

    connect(m_commands, &CCommandSet::Triggered, this, &CMainFrame::OnCommand);
    connect(m_hideButton, &QToolButton::clicked, this, [this] { Q_EMIT CommandRequested(kCmdHideToTray); });
    connect(m_tray, &CTrayIcon::Command, this, &CMainFrame::CommandRequested);
    connect(m_view, &CClientView::GoRequested, this, [this] { Q_EMIT CommandRequested(kCmdGo); });
    connect(m_view, &CClientView::AddToListRequested, this,
            [this] { Q_EMIT CommandRequested(kCmdAddToList); });
    Retranslate();
    ApplyBars();
    ViewStateChanged(CDocState::StartUp, false);
}

CMainFrame::~CMainFrame() = default;

void CMainFrame::BuildActions()
{
    const auto set = [this](int id, QKeySequence::StandardKey key) {
        m_commands->Action(id)->setShortcuts(key);
        m_commands->Action(id)->setShortcutContext(Qt::WindowShortcut);
    };
    set(kCmdEditCut, QKeySequence::Cut);
    set(kCmdEditCopy, QKeySequence::Copy);
    set(kCmdEditPaste, QKeySequence::Paste);
    set(kCmdEditUndo, QKeySequence::Undo);
    set(kCmdFilePrint, QKeySequence::Print);
    set(kCmdAppExit, QKeySequence::Quit);
    set(kCmdHelp, QKeySequence::HelpContents);
    m_commands->Action(kCmdViewToolbar)->setCheckable(true);
    m_commands->Action(kCmdViewStatusBar)->setCheckable(true);
    m_commands->Action(kCmdHideToTray)->setCheckable(true);
    m_commands->Action(kCmdWebPageView)->setCheckable(true);
    for (const int id : kToolBarCommands)
        if (id != 0)
            m_commands->Action(id)->setIcon(CommandIcon(id));
}

void CMainFrame::BuildToolBar()
{
    m_toolBar = addToolBar(QString());
    m_toolBar->setObjectName(QStringLiteral("mainToolBar"));
    m_toolBar->setMovable(false);
    for (const int id : kToolBarCommands) {
        if (id == 0)
            m_toolBar->addSeparator();
        else
            m_toolBar->addAction(m_commands->Action(id));
    }
}

void CMainFrame::Retranslate()
{
    m_commands->FillMenuBar(*menuBar(), m_language.LoadMenu(kMenuMain));
    for (QMenu* menu : menuBar()->findChildren<QMenu*>(Qt::FindDirectChildrenOnly))
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateUndoText);
    m_hideButton->setToolTip(UiText(m_language, kStrHideToTrayTip));
    m_tray->Retranslate();
    m_view->Retranslate();
    setWindowTitle(UiText(m_language, kStrAppTitle));
    if (m_idle)
        m_statusPane->setText(UiText(m_language, kStrReady));
}

void CMainFrame::UpdateUndoText()
{
    const QString text = m_undoText ? m_undoText() : QString();
    QAction* undo = m_commands->Action(kCmdEditUndo);
    if (!text.isEmpty()) {
        undo->setText(text);
        return;
    }
    for (const CMenuItem& popup : m_language.LoadMenu(kMenuMain))
        for (const CMenuItem& item : popup.children)
            if (item.id == kCmdEditUndo)
                undo->setText(ToQString(item.text));
}

void CMainFrame::OnCommand(int id)
{
    switch (id) {
    case kCmdViewToolbar:
        m_settings.toolBar = m_settings.toolBar ? 0 : 1;
        ApplyBars();
        break;
    case kCmdViewStatusBar:
        m_settings.statusBar = m_settings.statusBar ? 0 : 1;
        ApplyBars();
        break;
    default:
        break;
    }
    Q_EMIT CommandRequested(id);
}

void CMainFrame::ApplyBars()
{
    m_toolBar->setVisible(m_settings.toolBar != 0);
    statusBar()->setVisible(m_settings.statusBar != 0);
    m_commands->Action(kCmdViewToolbar)->setChecked(m_settings.toolBar != 0);
    m_commands->Action(kCmdViewStatusBar)->setChecked(m_settings.statusBar != 0);
    m_commands->Action(kCmdWebPageView)->setChecked(m_settings.webView != 0);
}

void CMainFrame::ViewStateChanged(CDocState state, bool controlsEnabled)
{
    const bool wasBusy = !m_idle;
    m_idle = state == CDocState::Idle;
    // A finished batch leaves no half-full bar and no stale phase behind.
    if (m_idle && wasBusy) {
        m_view->SetProgress(0, 0);
        m_view->SetStatusText(QString());
    }
    for (const auto& [id, action] : m_commands->Actions())
        action->setEnabled(m_commandEnabled ? m_commandEnabled(id) : m_idle || AlwaysEnabled(id));
    m_hideButton->setEnabled(m_idle);
    for (QAction* action : m_tray->Menu()->actions())
        action->setEnabled(m_idle);
    m_view->SetControlsEnabled(controlsEnabled);
    if (m_idle)
        m_statusPane->setText(UiText(m_language, kStrReady));
}

void CMainFrame::SetStatusText(const QString& text)
{
    m_view->SetStatusText(text);
    if (!m_idle)
        m_statusPane->setText(text);
}

void CMainFrame::SetProgress(std::int32_t position, std::int32_t range)
{
    m_view->SetProgress(position, range);
}

void CMainFrame::SetHiddenToTray(bool hidden)
{
    if (hidden == m_hidden)
        return;
    if (hidden && !CTrayIcon::Available()) {
        // No tray to come back from: the task bar keeps the window reachable.
        showMinimized();
        return;
    }
    m_hidden = hidden;
    m_commands->Action(kCmdHideToTray)->setChecked(hidden);
    if (hidden) {
        m_wasMaximized = isMaximized();
        StorePlacement();
        m_tray->Show();
        hide();
        return;
    }
    m_tray->Hide();
    BringToFront();
}

void CMainFrame::ShowFromTray()
{
    if (m_hidden)
        SetHiddenToTray(false);
    else
        BringToFront();
}

void CMainFrame::BringToFront()
{
    if (isMinimized() || !isVisible())
        m_wasMaximized ? showMaximized() : showNormal();
    raise();
    activateWindow();
    m_view->FocusEntry();
}

void CMainFrame::TrayMessage(const QString& text)
{
    if (m_hidden)
        m_tray->ShowMessage(text);
}

void CMainFrame::StorePlacement()
{
    m_settings.windowPlacement = CWindowPlacement::Of(*this).ToBytes();
}

void CMainFrame::RestorePlacement()
{
    if (const auto placement = CWindowPlacement::FromBytes(m_settings.windowPlacement))
        if (placement->ApplyTo(*this))
            return;
    // First start, or the screen it was on is gone: a size the list fits in, centred.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect available = screen->availableGeometry();
        resize(QSize(960, 600).boundedTo(available.size()));
        move(available.center() - rect().center());
    }
}

void CMainFrame::ShowAsConfigured()
{
    m_wasMaximized = m_settings.maximized != 0;
    m_wasMaximized ? showMaximized() : showNormal();
    raise();
    activateWindow();
}

void CMainFrame::EditEntry(int command)
{
    QLineEdit* entry = m_view->Entry();
    switch (command) {
    case kCmdEditCut:
        entry->cut();
        break;
    case kCmdEditCopy:
        entry->copy();
        break;
    case kCmdEditPaste:
        entry->paste();
        entry->setFocus(Qt::OtherFocusReason);
        break;
    case kCmdEditUndo:
        entry->undo();
        break;
    default:
        break;
    }
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    if (m_mayClose && !m_mayClose()) {
        event->ignore();
        return;
    }
    if (!m_hidden)
        StorePlacement();
    m_settings.maximized = (m_hidden ? m_wasMaximized : isMaximized()) ? 1 : 0;
    m_tray->Hide();
    event->accept();
    Q_EMIT Closed();
}

void CMainFrame::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::WindowStateChange && isMinimized())
        StorePlacement();
    QMainWindow::changeEvent(event);
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event)
{
    if (m_idle && !CodeFiles(event->mimeData()).empty())
        event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event)
{
    const auto files = CodeFiles(event->mimeData());
    if (files.empty())
        return;
    event->acceptProposedAction();
    Q_EMIT FilesDropped(files);
}
