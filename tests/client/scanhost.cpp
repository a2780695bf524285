#include "tests/client/scanhost.h"

CMessageBoxResult ScanTestPort::ShowMessageBox(const CMessageBoxRequest& request)
{
    std::lock_guard guard(m_lock);
    m_boxes.push_back(request.text);
    return CMessageBoxResult::kOk;
}

void ScanTestPort::PostViewMessage(CViewMessage message)
{
    {
        std::lock_guard guard(m_lock);
        m_messages.push_back(std::move(message));
    }
    m_posted.notify_all();
}

void ScanTestPort::SendViewMessage(CViewMessage message)
{
    PostViewMessage(std::move(message));
}

VTBatchCodeListener::Decision ScanTestPort::AskBatchError(const std::string&)
{
    return VTBatchCodeListener::kCancel;
}

void ScanTestPort::ShowProcessCodeError(const std::string&) {}

bool ScanTestPort::AskProxyCredentials(std::string&, std::string&)
{
    return false;
}

std::optional<VTCodeType> ScanTestPort::ChooseCodeType(const std::string&, const std::vector<VTCodeType>&)
{
    return std::nullopt;
}

void ScanTestPort::ShowScannerError(const std::string&) {}
void ScanTestPort::ShowCodeProperties(const CStoredCode&) {}

bool ScanTestPort::ShowAutoDetectInstructions(const std::string&)
{
    return false;
}

std::optional<CFileAnswer> ScanTestPort::AskFileName(const CFileRequest&)
{
    return std::nullopt;
}

void ScanTestPort::ViewStateChanged(CDocState, bool) {}
void ScanTestPort::SetStatusText(const std::string&) {}
void ScanTestPort::SetProgress(std::int32_t, std::int32_t) {}
void ScanTestPort::ShowWindowFromTray() {}
void ScanTestPort::BringToForeground() {}

void ScanTestPort::Beep()
{
    std::lock_guard guard(m_lock);
    ++m_beeps;
}

void ScanTestPort::TrayMessage(const std::string&) {}

std::optional<CViewMessage> ScanTestPort::NextMessage(Ms timeout)
{
    std::unique_lock guard(m_lock);
    if (!m_posted.wait_for(guard, timeout, [this] { return !m_messages.empty(); }))
        return std::nullopt;
    CViewMessage message = std::move(m_messages.front());
    m_messages.pop_front();
    return message;
}

std::vector<CViewMessage> ScanTestPort::TakeMessages()
{
    std::lock_guard guard(m_lock);
    std::vector<CViewMessage> taken(std::make_move_iterator(m_messages.begin()),
                                    std::make_move_iterator(m_messages.end()));
    m_messages.clear();
    return taken;
}

std::vector<std::string> ScanTestPort::Boxes() const
{
    std::lock_guard guard(m_lock);
    return m_boxes;
}

int ScanTestPort::Beeps() const
{
    std::lock_guard guard(m_lock);
    return m_beeps;
}

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

bool PumpDetection(CScannerMgr& manager, ScanTestPort& port, DetectTestUi& ui,
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
