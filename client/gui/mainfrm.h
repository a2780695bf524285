#pragma once

#include "client/config.h"
#include "client/docstate.h"
#include "client/langmgr.h"

#include <QMainWindow>

#include <filesystem>
#include <functional>
#include <vector>

class CClientView;
class CCommandSet;
class CTrayIcon;
class QLabel;
class QToolBar;
class QToolButton;

// The main window: menu 202 with every command, the tool bar, the status
// bar, the Hide to tray button in the menu bar's corner, and the view. It
// keeps its placement and bars in the settings and hides itself into the
// tray (or minimises where the desktop has no tray). Commands go out as
// CommandRequested; the core decides what they do and whether they may.
class CMainFrame : public QMainWindow {
    Q_OBJECT

public:
    CMainFrame(const CLanguageMgr& language, CClientSettings& settings, QWidget* parent = nullptr);
    ~CMainFrame() override;

    CClientView* View() const { return m_view; }
    CTrayIcon* Tray() const { return m_tray; }
    CCommandSet* Commands() const { return m_commands; }
    QToolBar* ToolBar() const { return m_toolBar; }

    // Whether a command may run now; none: only while idle, the bars always.
    void SetCommandFilter(std::function<bool(int id)> enabled) { m_commandEnabled = std::move(enabled); }
    // Whether the window may close now (the document is idle); none: always.
    void SetCloseGuard(std::function<bool()> mayClose) { m_mayClose = std::move(mayClose); }
    // The text of the Edit menu's undo item as the list's last change names
    // it; none or empty: the menu's own text.
    void SetUndoText(std::function<QString()> undoText) { m_undoText = std::move(undoText); }

    // What the document's state allows: every command but the bar toggles
    // only while idle.
    void ViewStateChanged(CDocState state, bool controlsEnabled);
    void SetStatusText(const QString& text);
    void SetProgress(std::int32_t position, std::int32_t range);

    // Hide to tray: hiding puts the icon in the tray and the window away
    // (or minimises it where there is no tray); showing takes the icon
    // away and brings the window back with the focus in the code entry.
    void SetHiddenToTray(bool hidden);
    bool IsHiddenToTray() const { return m_hidden; }
    // Shown and raised: a hidden window comes back, a minimised one is restored.
    void ShowFromTray();
    void BringToFront();
    // Codes arrived while hidden: the tray says so.
    void TrayMessage(const QString& text);

    // The window placement kept in the settings, and applied from them.
    void StorePlacement();
    void RestorePlacement();
    // Shown as the settings say: maximised when "Maximized", else normal.
    void ShowAsConfigured();
    void Retranslate();

    // Cut, copy, paste and undo of the code entry.
    void EditEntry(int command);

Q_SIGNALS:
    void CommandRequested(int id);
    // Files dropped on the window that hold codes (.codelist, .txt).
    void FilesDropped(const std::vector<std::filesystem::path>& files);
    // The window accepted to close: the program ends.
    void Closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void BuildActions();
    void BuildToolBar();
    void OnCommand(int id);
    void ApplyBars();
    void UpdateUndoText();

    const CLanguageMgr& m_language;
    CClientSettings& m_settings;
    CCommandSet* m_commands;
    CClientView* m_view;
    CTrayIcon* m_tray;
    QToolBar* m_toolBar = nullptr;
    QToolButton* m_hideButton = nullptr;
    QLabel* m_statusPane = nullptr;
    std::function<bool(int)> m_commandEnabled;
    std::function<bool()> m_mayClose;
    std::function<QString()> m_undoText;
    bool m_hidden = false;
    bool m_idle = false;
    bool m_wasMaximized = false;
};
