#pragma once

#include "client/ppage.h"
#include "client/startmode.h"

#include <QObject>
#include <QPointer>

#include "platform/instance.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CAppContext;
class CClientDoc;
class CListPrinter;
class CScListCtrl;
class CMainFrame;
class CQtUiPort;
class CSignalWatcher;
class CSplashWnd;
class CViewCore;
class QSessionManager;
class QTranslator;

// The desktop client's process: start-up in its order (customisation and
// language, command line, single instance, document, splash, the core's
// start-up, the window), the routing of the window's commands to the core,
// and the end: the window closed while idle, or the session ending
// (session manager, SIGTERM, SIGHUP) with everything saved.
class CClientApp : public QObject {
    Q_OBJECT

public:
    struct Options {
        std::vector<std::string> arguments; // after the program name
        // The program whose folder holds the language libraries and the
        // shipped files; empty: this process.
        std::filesystem::path programPath;
        // The splash's delay; none: 2000 ms in auto-run mode, else 1000 ms.
        std::optional<int> splashDelayMs;
        // End at the first idle state, after the window has shown (benchmarks).
        bool exitAtIdle = false;
    };

    explicit CClientApp(Options options);
    ~CClientApp() override;

    // Steps up to the splash. An exit status when the process ends now;
    // none when the event loop is to run (the rest follows from there).
    std::optional<int> Start();

    CAppContext& Context() { return *m_context; }
    CClientDoc* Doc() const { return m_doc.get(); }
    CViewCore* Core() const { return m_core.get(); }
    CMainFrame* Frame() const { return m_frame.get(); }
    CQtUiPort* Port() const { return m_port.get(); }
    CScListCtrl* List() const { return m_list; }
    CStartMode Mode() const { return m_mode; }
    // Start-up has finished and the client runs.
    bool Running() const { return m_running; }

    // The session ends now: a running batch cancelled and waited for, then
    // every save, then the program quits.
    void EndSession();

Q_SIGNALS:
    // The client reached its first idle state with the window in place.
    void Started();

private:
    void SelectLanguage();
    // Qt's own texts (standard buttons) in the language the client shows.
    void InstallQtTranslation();
    // True when this process is the one client; false after handing the
    // running one a request to show itself.
    bool BecomeTheInstance();
    void OnInstanceMessage(const platform::InstanceMessage& message);
    void ShowForAnotherStart();
    void CreateWindows();
    void CreateList();
    CListPrinter& Printer();
    void ContinueAfterSplash();
    void ShowMainWindow(bool wizardRan);
    void OnCommand(int id);
    bool RunListCommand(int id);
    void OnFocusChanged(QWidget* now);
    void RunDialogCommand(int id);
    // The first start's wizard, modal; false when it was cancelled.
    bool RunFirstRunWizard();
    // A Settings command's sheet, only while idle.
    void RunSettings(CSheetMode mode);
    // Every window's texts again after the language page.
    void RetitleWindows();
    void OnWindowClosed();
    void OnCommitData(QSessionManager& manager);
    void Quit(int status);
    unsigned ListNumber() const;

    Options m_options;
    CStartMode m_mode = CStartMode::Normal;
    std::unique_ptr<CAppContext> m_context;
    std::unique_ptr<CQtUiPort> m_port;
    std::unique_ptr<CClientDoc> m_doc;
    std::unique_ptr<CViewCore> m_core;
    std::unique_ptr<CMainFrame> m_frame;
    std::unique_ptr<CSignalWatcher> m_signals;
    std::unique_ptr<QTranslator> m_qtTranslator;
    std::unique_ptr<platform::InstanceServer> m_instance;
    std::unique_ptr<CListPrinter> m_printer;
    CScListCtrl* m_list = nullptr;
    std::vector<platform::InstanceMessage> m_early;
    // The list, not the entry, was focused last: Go takes its current code.
    bool m_listHasFocusRole = false;
    QPointer<CSplashWnd> m_splash;
    bool m_running = false;
    bool m_ended = false;
};
