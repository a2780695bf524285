#pragma once

#include "client/langmgr.h"
#include "client/uiport.h"

#include <QObject>
#include <QPointer>

#include <atomic>
#include <functional>

class CMainFrame;
class CScListCtrl;

// The user-interface port on Qt. Messages from worker threads are queued to
// the main thread, where the handler (the view's core) takes them; a send
// waits until the handler returned, as a blocking queued call does, but is
// released when the port closes, so a worker never holds up the end of the
// program. Message boxes and dialogs are shown over the main window.
class CQtUiPort : public QObject, public CUiPort {
    Q_OBJECT

public:
    using MessageHandler = std::function<void(const CViewMessage& message)>;
    using MessageBoxSeam = std::function<CMessageBoxResult(const CMessageBoxRequest& request)>;

    explicit CQtUiPort(const CLanguageMgr& language, QObject* parent = nullptr);
    ~CQtUiPort() override;

    // Main thread, before any worker runs.
    void SetMessageHandler(MessageHandler handler) { m_handler = std::move(handler); }
    void SetFrame(CMainFrame* frame);
    void SetList(CScListCtrl* list);
    // Tests answer message boxes here instead of a box being shown.
    void SetMessageBoxSeam(MessageBoxSeam seam) { m_messageBoxSeam = std::move(seam); }
    // What stands in for the first-run wizard; none: it cannot run.
    void SetFirstRunWizard(std::function<bool()> wizard) { m_wizard = std::move(wizard); }
    // Where the registration's progress and end go while the settings
    // sheet registers; none: nowhere.
    using RegistrationProgressSink = std::function<void(std::int32_t position, std::int32_t range)>;
    using RegistrationEndSink = std::function<void(bool attached, const std::string& failure)>;
    void SetRegistrationObserver(RegistrationProgressSink progress, RegistrationEndSink ended)
    {
        m_registrationProgress = std::move(progress);
        m_registrationEnded = std::move(ended);
    }
    // The next file dialog is answered with this file instead of being shown
    // (a file dropped on the window).
    void PresetFileAnswer(std::filesystem::path file) { m_presetFile = std::move(file); }
    // From now on posted messages are dropped and sends return at once.
    void Close();
    bool Closed() const { return m_closed; }

    void PostViewMessage(CViewMessage message) override;
    void SendViewMessage(CViewMessage message) override;

    CMessageBoxResult ShowMessageBox(const CMessageBoxRequest& request) override;
    VTBatchCodeListener::Decision AskBatchError(const std::string& text) override;
    void ShowProcessCodeError(const std::string& text) override;
    bool AskProxyCredentials(std::string& user, std::string& password) override;
    std::optional<VTCodeType> ChooseCodeType(const std::string& code,
                                             const std::vector<VTCodeType>& candidates) override;
    void ShowScannerError(const std::string& text) override;
    void ShowCodeProperties(const CStoredCode& code) override;
    bool ShowAutoDetectInstructions(const std::string& text) override;
    std::optional<CFileAnswer> AskFileName(const CFileRequest& request) override;
    bool RunFirstRunWizard() override;
    void RegistrationProgress(std::int32_t position, std::int32_t range) override;
    void RegistrationEnded(bool attached, const std::string& failure) override;
    void DeliverPendingMessages() override;

    void ViewStateChanged(CDocState state, bool controlsEnabled) override;
    void SetStatusText(const std::string& text) override;
    void SetProgress(std::int32_t position, std::int32_t range) override;
    void SelectEntryText() override;
    void ShowStoredCode(unsigned number) override;
    void ShowWindowFromTray() override;
    void BringToForeground() override;
    void Beep() override;
    void TrayMessage(const std::string& text) override;

private:
    struct Pending;
    void Handle(const CViewMessage& message);
    QWidget* DialogParent() const;

    const CLanguageMgr& m_language;
    MessageHandler m_handler;
    MessageBoxSeam m_messageBoxSeam;
    std::function<bool()> m_wizard;
    RegistrationProgressSink m_registrationProgress;
    RegistrationEndSink m_registrationEnded;
    std::optional<std::filesystem::path> m_presetFile;
    QPointer<CMainFrame> m_frame;
    QPointer<CScListCtrl> m_list;
    std::atomic<bool> m_closed{false};
    std::shared_ptr<Pending> m_pending;
};
