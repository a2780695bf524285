#pragma once

#include "client/appcontext.h"
#include "client/scanmgr.h"
#include "client/uiport.h"
#include "tests/support/temphome.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// The user interface as the scanner manager reaches it: keeps what is posted
// (from any thread) for the test to wait on, and records message boxes and
// beeps. Dialogs it is not asked about answer Cancel.
class ScanTestPort : public CUiPort {
public:
    using Ms = std::chrono::milliseconds;

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
    void ViewStateChanged(CDocState state, bool controlsEnabled) override;
    void SetStatusText(const std::string& text) override;
    void SetProgress(std::int32_t position, std::int32_t range) override;
    void ShowWindowFromTray() override;
    void BringToForeground() override;
    void Beep() override;
    void TrayMessage(const std::string& text) override;
    // The scanner manager neither waits on the main thread nor touches the entry or the list.
    void DeliverPendingMessages() override {}
    void SelectEntryText() override {}
    void ShowStoredCode(unsigned) override {}

    // The next posted message, waiting for it; none when the time ran out.
    std::optional<CViewMessage> NextMessage(Ms timeout = Ms(10000));
    // What was posted and not taken yet.
    std::vector<CViewMessage> TakeMessages();
    std::vector<std::string> Boxes() const;
    int Beeps() const;

private:
    mutable std::mutex m_lock;
    std::condition_variable m_posted;
    std::deque<CViewMessage> m_messages;
    std::vector<std::string> m_boxes;
    int m_beeps = 0;
};

// A document for the scanner manager: its state (set by the test), the
// recording port and a client context over a throw-away home whose program
// folder holds what `programFiles` links there.
class ScanTestHost : public CScannerHost {
public:
    explicit ScanTestHost(const TempHome& home);

    CDocState State() const override { return m_state.load(); }
    CUiPort& Port() override { return m_port; }
    CAppContext& Context() override { return *m_context; }

    void SetState(CDocState state) { m_state.store(state); }
    ScanTestPort& RecordingPort() { return m_port; }
    CClientSettings& Settings() { return m_context->Config().Settings(); }
    const std::filesystem::path& ProgramFolder() const { return m_programFolder; }

private:
    std::atomic<CDocState> m_state{CDocState::Idle};
    ScanTestPort m_port;
    std::filesystem::path m_programFolder;
    std::unique_ptr<CAppContext> m_context;
};

// The auto-detection dialog: answers the instruction with OK or Cancel and
// records the rest.
class DetectTestUi : public CAutoDetectUi {
public:
    explicit DetectTestUi(bool ok, std::function<void()> onInstructions = {})
        : m_ok(ok), m_onInstructions(std::move(onInstructions))
    {
    }

    bool ShowInstructions(const std::string& text) override;
    void SetProgress(std::int32_t position, std::int32_t range) override;
    void SetText(const std::string& text) override;
    void Finish(std::optional<std::int32_t> foundPort) override;

    std::vector<std::string> instructions;
    std::vector<std::pair<std::int32_t, std::int32_t>> progress;
    std::vector<std::string> texts;
    // Set once Finish came: the port found, if any.
    std::optional<std::optional<std::int32_t>> finished;

private:
    bool m_ok;
    std::function<void()> m_onInstructions;
};

// Hands the posted detect-result messages to the manager, as the view does,
// until the detection finished or no message came in time. Other messages
// are kept in `others`.
bool PumpDetection(CScannerMgr& manager, ScanTestPort& port, DetectTestUi& ui,
                   std::vector<CViewMessage>& others,
                   std::chrono::milliseconds timeout = std::chrono::milliseconds(20000));
