#pragma once

#include "client/appcontext.h"
#include "client/scanmgr.h"
#include "tests/support/recordingport.h"
#include "tests/support/temphome.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

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
    RecordingPort& Recorder() { return m_port; }
    CClientSettings& Settings() { return m_context->Config().Settings(); }
    const std::filesystem::path& ProgramFolder() const { return m_programFolder; }

private:
    std::atomic<CDocState> m_state{CDocState::Idle};
    RecordingPort m_port;
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
bool PumpDetection(CScannerMgr& manager, RecordingPort& port, DetectTestUi& ui,
                   std::vector<CViewMessage>& others,
                   std::chrono::milliseconds timeout = std::chrono::milliseconds(20000));
