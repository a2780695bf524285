#pragma once

#include "client/uiport.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class CViewCore;

// The user interface as a test sees it: messages posted and sent by the
// workers wait in a queue until the test's thread (standing for the main
// thread) hands them to the view's core; a sent message holds its worker
// until then. Every box, dialog and view change is recorded in order, and
// dialogs answer from a script (or a default when it runs out).
class RecordingPort : public CUiPort {
public:
    struct Event {
        enum class Kind {
            kMessageBox,
            kBatchError,
            kProcessCodeError,
            kProxyCredentials,
            kChooseType,
            kScannerError,
            kCodeProperties,
            kAutoDetect,
            kFileName,
            kWizard,
            kRegistrationProgress,
            kRegistrationEnded,
            kState,
            kStatus,
            kProgress,
            kShowWindow,
            kForeground,
            kBeep,
            kTray,
            kSelectEntry,
            kShowStoredCode,
        };
        Kind kind;
        std::string text;
        CMessageBoxRequest::Kind boxKind = CMessageBoxRequest::Kind::kError;
        std::int32_t first = 0; // state number, position, code number...
        std::int32_t second = 0;
        bool flag = false; // controls enabled, attached
    };
    struct Credentials {
        std::string user;
        std::string password;
    };

    RecordingPort() = default;
    ~RecordingPort() override;

    // Where pumped messages go.
    void SetView(CViewCore* view) { m_view = view; }

    // Hands every queued message to the view, including those queued while
    // doing so; the number handled.
    std::size_t Pump();
    // Pumps until `done` holds (checked after each message and while
    // waiting for more) or the time is up; whether it held.
    bool PumpUntil(const std::function<bool()>& done,
                   std::chrono::milliseconds timeout = std::chrono::seconds(20));
    // Pumps until a message with this id was handled.
    bool PumpUntilHandled(CViewMessageId id, std::chrono::milliseconds timeout = std::chrono::seconds(20));
    std::size_t Queued() const;
    // What waits to be handled, oldest first.
    std::vector<CViewMessage> QueuedMessages() const;
    // Drops what was posted and not yet handled (nothing may wait on it).
    void DiscardQueued();
    std::vector<CViewMessageId> Handled() const;
    // For tests without a view: the oldest waiting message taken off the
    // queue unhandled (a sent one lets its sender go), waiting for one up
    // to `timeout`; none when none came.
    std::optional<CViewMessage> NextMessage(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Every waiting message taken off the queue unhandled, oldest first.
    std::vector<CViewMessage> TakeMessages();

    // Scripted answers, used in order; when a script is empty: Retry, Cancel
    // for credentials, the first type, no file, OK for instructions, and
    // the wizard cancelled.
    void AnswerBatchError(VTBatchCodeListener::Decision answer);
    void AnswerProxyCredentials(std::optional<Credentials> answer);
    void AnswerChooseType(std::optional<VTCodeType> answer);
    void AnswerFileName(std::optional<CFileAnswer> answer);
    void AnswerWizard(bool completed);

    std::vector<Event> Events() const;
    std::vector<Event> Events(Event::Kind kind) const;
    std::vector<std::string> Texts(Event::Kind kind) const;
    // Message box texts, in order.
    std::vector<std::string> Boxes() const { return Texts(Event::Kind::kMessageBox); }
    std::string LastStatus() const;
    int Beeps() const { return static_cast<int>(Events(Event::Kind::kBeep).size()); }
    // The states entered, in order, with their controls.
    std::vector<std::pair<CDocState, bool>> States() const;
    std::vector<CFileRequest> FileRequests() const;
    void ClearEvents();

    // CUiPort
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
    void DeliverPendingMessages() override { Pump(); }
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
    struct Waiting {
        CViewMessage message;
        bool sent = false;
        bool* handled = nullptr; // set under the lock once handled
    };

    void Record(Event event);
    template <class T> static std::optional<T> Take(std::deque<T>& script)
    {
        if (script.empty())
            return std::nullopt;
        T answer = std::move(script.front());
        script.pop_front();
        return answer;
    }
    bool HandleOne();
    // Lets a sender go without its message being handled; under the lock.
    void Release(Waiting& waiting);

    CViewCore* m_view = nullptr;
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<Waiting> m_queue;
    std::vector<CViewMessageId> m_handled;
    std::vector<Event> m_events;
    std::vector<CFileRequest> m_fileRequests;
    std::deque<VTBatchCodeListener::Decision> m_batchAnswers;
    std::deque<std::optional<Credentials>> m_credentials;
    std::deque<std::optional<VTCodeType>> m_types;
    std::deque<std::optional<CFileAnswer>> m_files;
    std::deque<bool> m_wizard;
};
