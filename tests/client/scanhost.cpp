#include "tests/client/scanhost.h"

ScanTestHost::ScanTestHost(const TempHome& home) : m_programFolder(home.Dir() / "opt/lumora")
{
    std::filesystem::create_directories(m_programFolder);
    CAppOptions options;
    options.programPath = m_programFolder / "lumora";
    options.registry = std::make_unique<platform::Registry>(home.ConfigHome() / "lumora/user.reg",
                                                            home.Dir() / "system.reg");
    options.soundOutput = platform::SoundPlayer::Command{};
    m_context = std::make_unique<CAppContext>(std::move(options));
}

bool DetectTestUi::ShowInstructions(const std::string& text)
{
    instructions.push_back(text);
    if (m_onInstructions)
        m_onInstructions();
    return m_ok;
}

void DetectTestUi::SetProgress(std::int32_t position, std::int32_t range)
{
    progress.emplace_back(position, range);
}

void DetectTestUi::SetText(const std::string& text)
{
    texts.push_back(text);
}

void DetectTestUi::Finish(std::optional<std::int32_t> foundPort)
{
    finished = foundPort;
}

bool PumpDetection(CScannerMgr& manager, RecordingPort& port, DetectTestUi& ui,
                   std::vector<CViewMessage>& others, std::chrono::milliseconds timeout)
{
    while (!ui.finished) {
        const auto message = port.NextMessage(timeout);
        if (!message)
            return false;
        if (message->id == CViewMessageId::DetectResult)
            manager.OnDetectResult(message->first, message->second);
        else
            others.push_back(*message);
    }
    return true;
}
