#include "tests/support/recordingport.h"

#include "client/viewcore.h"

#include <algorithm>
#include <stdexcept>

RecordingPort::~RecordingPort() = default;

void RecordingPort::Record(Event event)
{
    std::lock_guard guard(m_lock);
    m_events.push_back(std::move(event));
}

// Queue ---------------------------------------------------------------------

void RecordingPort::PostViewMessage(CViewMessage message)
{
    std::lock_guard guard(m_lock);
    m_queue.push_back({std::move(message), false, nullptr});
    m_changed.notify_all();
}

void RecordingPort::SendViewMessage(CViewMessage message)
{
    std::unique_lock lock(m_lock);
    bool handled = false;
    m_queue.push_back({std::move(message), true, &handled});
    m_changed.notify_all();
    m_changed.wait(lock, [&] { return handled; });
}

bool RecordingPort::HandleOne()
{
    Waiting next;
    {
        std::lock_guard guard(m_lock);
        if (m_queue.empty())
            return false;
        next = std::move(m_queue.front());
        m_queue.pop_front();
    }
    if (!m_view)
        throw std::logic_error("RecordingPort: no view to hand messages to");
    m_view->HandleViewMessage(next.message);
    std::lock_guard guard(m_lock);
    m_handled.push_back(next.message.id);
    if (next.handled)
        *next.handled = true;
    m_changed.notify_all();
    return true;
}

std::size_t RecordingPort::Pump()
{
    std::size_t count = 0;
    while (HandleOne())
        ++count;
    return count;
}

bool RecordingPort::PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        while (HandleOne())
            if (done())
                return true;
        if (done())
            return true;
        std::unique_lock lock(m_lock);
        if (!m_changed.wait_until(lock, deadline, [&] { return !m_queue.empty(); }))
            return false;
    }
}

bool RecordingPort::PumpUntilHandled(CViewMessageId id, std::chrono::milliseconds timeout)
{
    const std::size_t before = Handled().size();
    return PumpUntil(
        [&] {
            const std::vector<CViewMessageId> handled = Handled();
            return std::find(handled.begin() + static_cast<std::ptrdiff_t>(before), handled.end(), id) !=
                   handled.end();
        },
        timeout);
}

std::size_t RecordingPort::Queued() const
{
    std::lock_guard guard(m_lock);
    return m_queue.size();
}

std::vector<CViewMessage> RecordingPort::QueuedMessages() const
{
    std::lock_guard guard(m_lock);
    std::vector<CViewMessage> messages;
    for (const Waiting& waiting : m_queue)
        messages.push_back(waiting.message);
    return messages;
}

void RecordingPort::DiscardQueued()
{
    std::lock_guard guard(m_lock);
    m_queue.erase(
        std::remove_if(m_queue.begin(), m_queue.end(), [](const Waiting& waiting) { return !waiting.sent; }),
        m_queue.end());
}

std::vector<CViewMessageId> RecordingPort::Handled() const
{
    std::lock_guard guard(m_lock);
    return m_handled;
}

void RecordingPort::Release(Waiting& waiting)
{
    if (waiting.handled)
        *waiting.handled = true;
    m_changed.notify_all();
}

std::optional<CViewMessage> RecordingPort::NextMessage(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_lock);
    if (!m_changed.wait_for(lock, timeout, [this] { return !m_queue.empty(); }))
        return std::nullopt;
    Waiting next = std::move(m_queue.front());
    m_queue.pop_front();
    Release(next);
    return std::move(next.message);
}

std::vector<CViewMessage> RecordingPort::TakeMessages()
{
    std::lock_guard guard(m_lock);
    std::vector<CViewMessage> taken;
    for (Waiting& waiting : m_queue) {
        taken.push_back(std::move(waiting.message));
        Release(waiting);
    }
    m_queue.clear();
    return taken;
}

// Records -------------------------------------------------------------------

std::vector<RecordingPort::Event> RecordingPort::Events() const
{
    std::lock_guard guard(m_lock);
    return m_events;
}

std::vector<RecordingPort::Event> RecordingPort::Events(Event::Kind kind) const
{
    std::vector<Event> events;
    for (Event& event : Events())
        if (event.kind == kind)
            events.push_back(std::move(event));
    return events;
}

std::vector<std::string> RecordingPort::Texts(Event::Kind kind) const
{
    std::vector<std::string> texts;
    for (Event& event : Events(kind))
        texts.push_back(std::move(event.text));
    return texts;
}

std::string RecordingPort::LastStatus() const
{
    const std::vector<std::string> texts = Texts(Event::Kind::kStatus);
    return texts.empty() ? std::string() : texts.back();
}

std::vector<std::pair<CDocState, bool>> RecordingPort::States() const
{
    std::vector<std::pair<CDocState, bool>> states;
    for (const Event& event : Events(Event::Kind::kState))
        states.emplace_back(static_cast<CDocState>(event.first), event.flag);
    return states;
}

std::vector<CFileRequest> RecordingPort::FileRequests() const
{
    std::lock_guard guard(m_lock);
    return m_fileRequests;
}

void RecordingPort::ClearEvents()
{
    std::lock_guard guard(m_lock);
    m_events.clear();
    m_handled.clear();
}

// Boxes and dialogs -----------------------------------------------------------

void RecordingPort::AnswerBatchError(VTBatchCodeListener::Decision answer)
{
    std::lock_guard guard(m_lock);
    m_batchAnswers.push_back(answer);
}

void RecordingPort::AnswerProxyCredentials(std::optional<Credentials> answer)
{
    std::lock_guard guard(m_lock);
    m_credentials.push_back(std::move(answer));
}

void RecordingPort::AnswerChooseType(std::optional<VTCodeType> answer)
{
    std::lock_guard guard(m_lock);
    m_types.push_back(answer);
}

void RecordingPort::AnswerFileName(std::optional<CFileAnswer> answer)
{
    std::lock_guard guard(m_lock);
    m_files.push_back(std::move(answer));
}

void RecordingPort::AnswerWizard(bool completed)
{
    std::lock_guard guard(m_lock);
    m_wizard.push_back(completed);
}

CMessageBoxResult RecordingPort::ShowMessageBox(const CMessageBoxRequest& request)
{
    Record({Event::Kind::kMessageBox, request.text, request.kind});
    return CMessageBoxResult::kOk;
}

VTBatchCodeListener::Decision RecordingPort::AskBatchError(const std::string& text)
{
    Record({Event::Kind::kBatchError, text});
    std::lock_guard guard(m_lock);
    return Take(m_batchAnswers).value_or(VTBatchCodeListener::kRetry);
}

void RecordingPort::ShowProcessCodeError(const std::string& text)
{
    Record({Event::Kind::kProcessCodeError, text});
}

bool RecordingPort::AskProxyCredentials(std::string& user, std::string& password)
{
    Record({Event::Kind::kProxyCredentials, {}});
    std::lock_guard guard(m_lock);
    const std::optional<Credentials> answer = Take(m_credentials).value_or(std::nullopt);
    if (!answer)
        return false;
    user = answer->user;
    password = answer->password;
    return true;
}

std::optional<VTCodeType> RecordingPort::ChooseCodeType(const std::string& code,
                                                        const std::vector<VTCodeType>& candidates)
{
    Record({Event::Kind::kChooseType, code, {}, static_cast<std::int32_t>(candidates.size())});
    std::lock_guard guard(m_lock);
    if (auto answer = Take(m_types))
        return *answer;
    return candidates.empty() ? std::nullopt : std::optional<VTCodeType>(candidates.front());
}

void RecordingPort::ShowScannerError(const std::string& text)
{
    Record({Event::Kind::kScannerError, text});
}

void RecordingPort::ShowCodeProperties(const CStoredCode& code)
{
    Record({Event::Kind::kCodeProperties, code.codeText, {}, static_cast<std::int32_t>(code.number)});
}

bool RecordingPort::ShowAutoDetectInstructions(const std::string& text)
{
    Record({Event::Kind::kAutoDetect, text});
    return true;
}

std::optional<CFileAnswer> RecordingPort::AskFileName(const CFileRequest& request)
{
    Record({Event::Kind::kFileName, request.title});
    std::lock_guard guard(m_lock);
    m_fileRequests.push_back(request);
    return Take(m_files).value_or(std::nullopt);
}

bool RecordingPort::RunFirstRunWizard()
{
    Record({Event::Kind::kWizard, {}});
    std::lock_guard guard(m_lock);
    return Take(m_wizard).value_or(false);
}

void RecordingPort::RegistrationProgress(std::int32_t position, std::int32_t range)
{
    Record({Event::Kind::kRegistrationProgress, {}, {}, position, range});
}

void RecordingPort::RegistrationEnded(bool attached, const std::string& failure)
{
    Record({Event::Kind::kRegistrationEnded, failure, {}, 0, 0, attached});
}

// The view --------------------------------------------------------------------

void RecordingPort::ViewStateChanged(CDocState state, bool controlsEnabled)
{
    Record({Event::Kind::kState, {}, {}, static_cast<std::int32_t>(state), 0, controlsEnabled});
}

void RecordingPort::SetStatusText(const std::string& text)
{
    Record({Event::Kind::kStatus, text});
}

void RecordingPort::SetProgress(std::int32_t position, std::int32_t range)
{
    Record({Event::Kind::kProgress, {}, {}, position, range});
}

void RecordingPort::SelectEntryText()
{
    Record({Event::Kind::kSelectEntry, {}});
}

void RecordingPort::ShowStoredCode(unsigned number)
{
    Record({Event::Kind::kShowStoredCode, {}, {}, static_cast<std::int32_t>(number)});
}

void RecordingPort::ShowWindowFromTray()
{
    Record({Event::Kind::kShowWindow, {}});
}

void RecordingPort::BringToForeground()
{
    Record({Event::Kind::kForeground, {}});
}

void RecordingPort::Beep()
{
    Record({Event::Kind::kBeep, {}});
}

void RecordingPort::TrayMessage(const std::string& text)
{
    Record({Event::Kind::kTray, text});
}
