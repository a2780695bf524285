#include "client/clidoc.h"

#include "client/appcontext.h"
#include "client/batchlistener.h"
#include "client/reglistener.h"
#include "client/scanmgr.h"
#include "client/uitextids.h"
#include "client/weblaunch.h"
#include "client/webpage.h"
#include "tst/tsexcep.h"

#include <thread>

namespace {

constexpr std::string_view kModule = "clidoc";
constexpr long kLineOpenAddress = 1247;
constexpr long kLineInvalidIdentity = 581;
constexpr long kLineNoIdentityForList = 1108;
constexpr long kLineBatchStart = 635;
constexpr long kLineSaveSettings = 1386;
constexpr long kLineScannerType = 1402;
constexpr long kLineNoIdentityForSave = 1459;

} // namespace

// The scanner manager's view of the document.
class CClientDoc::ScannerHost : public CScannerHost {
public:
    explicit ScannerHost(CClientDoc& doc) : m_doc(doc) {}
    CDocState State() const override { return m_doc.State(); }
    CUiPort& Port() override { return m_doc.Port(); }
    CAppContext& Context() override { return m_doc.Context(); }

private:
    CClientDoc& m_doc;
};

CClientDoc::CClientDoc(CAppContext& context, CUiPort& port)
    : m_context(context), m_port(port), m_webLauncher(std::make_unique<CWebLauncher>(context.Toolkit())),
      m_webPageView(std::make_unique<CWebPageView>(context.Paths().userFolder)),
      m_batchListener(std::make_unique<CBatchListener>(*this)),
      m_registrationListener(std::make_unique<CRegistrationServerListener>(*this)),
      m_scannerHost(std::make_unique<ScannerHost>(*this)),
      m_scanner(std::make_unique<CScannerMgr>(*m_scannerHost))
{
    m_context.Toolkit().GetBatchProcessor().SetListener(m_batchListener.get());
}

CClientDoc::~CClientDoc()
{
    m_scanner.reset();
    VTToolkit& toolkit = m_context.Toolkit();
    VTBatchCodeProcessor& processor = toolkit.GetBatchProcessor();
    if (processor.IsRunning()) {
        m_cancelling = true;
        processor.Cancel();
    }
    processor.SetListener(nullptr);
    toolkit.GetRegistrationServer().SetListener(nullptr);
}

// Start-up ----------------------------------------------------------------

bool CClientDoc::Create()
{
    if (!m_context.InitializeConfiguration()) {
        ShowError(kStrFatalConfiguration, kCodeConfiguration);
        return false;
    }
    m_context.ConfigureToolkit();
    const CCustomization& look = m_context.Customization();
    m_webPageView->SetTemplates(look.MenuTemplate(), look.FrameTemplate());
    return true;
}

CStartUpResult CClientDoc::StartUp()
{
    CStartUpResult result;
    CClientSettings& settings = m_context.Config().Settings();
    const bool wizard =
        settings.installing != 0 || m_context.LoadIdentity() == CAppContext::IdentityState::kMissing;
    if (!LoadCoreCacheOrEnd()) {
        result.outcome = CStartUpResult::Outcome::kQuit;
        return result;
    }
    if (wizard) {
        result.wizardRan = true;
        settings.autoRun = 0;
        m_context.Config().Save(CConfigGroup::AutoRun);
        if (!m_port.RunFirstRunWizard()) {
            result.outcome = CStartUpResult::Outcome::kQuit;
            return result;
        }
        settings.installing = 0;
        settings.autoRun = 1;
        m_context.Config().Save(CConfigGroup::AutoRun);
    }
    if (!CheckIdentity()) {
        result.outcome = CStartUpResult::Outcome::kQuit;
        return result;
    }
    if (!OpenUserFiles(result))
        return result;
    if (settings.useScanner)
        SelectConfiguredScanner();
    SetState(CDocState::Idle);
    return result;
}

bool CClientDoc::LoadCoreCacheOrEnd()
{
    const CCoreCacheLoad load = m_context.LoadCoreCache();
    if (load.Loaded() && load.failed.empty())
        return true;
    const auto shipped = m_context.Paths().programFolder;
    const auto first = load.failed.empty() ? shipped / CAppContext::kServerFile : load.failed.front();
    ShowWarning(kStrFileNotFound, kCodeCoreCache, {first.string()});
    if (load.Loaded())
        return true;
    ShowError(kStrFatalMissingFile, kCodeCoreCache, {load.file.string()});
    return false;
}

bool CClientDoc::CheckIdentity()
{
    if (m_context.LoadIdentity() == CAppContext::IdentityState::kLoaded)
        return true;
    ShowError(kStrInvalidUserId, kCodeIdentity);
    ShowInternalError(kInternalErrorStoredValue, kModule, kLineInvalidIdentity);
    m_context.Config().Settings().autoRun = 0;
    m_context.Config().Save(CConfigGroup::AutoRun);
    return false;
}

bool CClientDoc::OpenUserFiles(CStartUpResult& result)
{
    // A cache file that cannot be read is left alone: the caches fill again
    // from the servers, and the program runs on. They are read beside the
    // windows being made; the first batch or save waits for them.
    try {
        m_context.StartLoadingUserCaches();
    } catch (const TSException&) {
        ShowError(kStrInvalidUserId, kCodeIdentity);
        result.outcome = CStartUpResult::Outcome::kQuit;
        return false;
    }
    CListLoadResult list;
    try {
        list = m_context.LoadStoredCodes();
    } catch (const TSException&) {
        ShowInternalError(kInternalErrorStoredValue, kModule, kLineNoIdentityForList);
        result.outcome = CStartUpResult::Outcome::kExit;
        result.exitCode = 1;
        return false;
    }
    if (!list.Ok())
        ShowError(list.messageId, list.errorCode, {m_context.StoredCodesPath().string()});
    return true;
}

void CClientDoc::SelectConfiguredScanner()
{
    const auto type = ScannerTypeFromNumber(m_context.Config().Settings().scanner);
    if (!type) {
        ShowInternalError(kInternalErrorScanner, "scanmgr", kLineScannerType);
        return;
    }
    m_scanner->SelectScanner(*type);
}

// States ------------------------------------------------------------------

void CClientDoc::SetStateNumber(std::int32_t number)
{
    const auto state = DocStateFromNumber(number);
    if (!state)
        RaiseInternalError(kModule, __LINE__);
    SetState(*state);
}

void CClientDoc::SetState(CDocState state)
{
    const CDocState previous = m_state.load();
    if (state == previous && !m_pending)
        return;
    m_state = state;
    if (previous != CDocState::Idle && previous != state && m_scanner->HasPendingScans())
        m_port.BringToForeground();
    EnterState(state);
}

void CClientDoc::EnterState(CDocState state)
{
    switch (state) {
    case CDocState::Idle:
        m_controlsEnabled = true;
        m_port.ViewStateChanged(state, true);
        m_scanner->StartReading();
        AdvancePendingAddress();
        return;
    case CDocState::StartUp:
    case CDocState::Registering:
        m_port.ViewStateChanged(state, m_controlsEnabled);
        return;
    case CDocState::StartingBatch:
        m_scanner->StopReading();
        m_port.ViewStateChanged(state, m_controlsEnabled);
        return;
    default:
        if (state == CDocState::Processing)
            m_port.SetStatusText(Text(kStrProcessing));
        m_scanner->StopReading();
        m_controlsEnabled = false;
        m_port.ViewStateChanged(state, false);
        return;
    }
}

void CClientDoc::ShowWindow()
{
    if (!m_hidden)
        return;
    m_hidden = false;
    m_port.ShowWindowFromTray();
}

// Addresses ---------------------------------------------------------------

bool CClientDoc::OpenAddress(const std::string& address, bool armNow)
{
    const CDocState state = State();
    const bool opensNow =
        state == CDocState::StartUp || state == CDocState::ModalDialog || state == CDocState::SettingsOpen;
    if (opensNow || m_pending)
        return OpenNow(address);
    m_pendingAddress = address;
    m_pending = true;
    m_armed = armNow;
    return true;
}

void CClientDoc::AdvancePendingAddress()
{
    if (!m_pending)
        return;
    if (!m_armed) {
        m_armed = true;
        return;
    }
    const std::string address = std::move(m_pendingAddress);
    m_pendingAddress.clear();
    m_pending = false;
    m_armed = false;
    OpenNow(address);
}

bool CClientDoc::OpenNow(const std::string& address)
{
    if (m_webLauncher->Open(address))
        return true;
    ShowInternalError(kInternalErrorOpenAddress, kModule, kLineOpenAddress, address);
    return false;
}

bool CClientDoc::OpenServerPage(const std::string& key)
{
    const CLaunchAddress page = m_webLauncher->ServerPage(key);
    if (page.problem == CLaunchAddress::Problem::kMissingCommand) {
        ShowError(kStrFatalMissingFile, kCodeCoreCache, {CAppContext::kServerFile});
        return false;
    }
    if (!page.Ok()) {
        ShowException(page.detail);
        return false;
    }
    return OpenAddress(page.address, true);
}

std::string CClientDoc::HelpAddress(int number)
{
    const CLaunchAddress help = m_webLauncher->HelpAddress(number);
    if (help.problem == CLaunchAddress::Problem::kMissingCommand)
        ShowError(kStrFatalMissingFile, kCodeCoreCache, {CAppContext::kServerFile});
    else if (!help.Ok())
        ShowException(help.detail);
    return help.address;
}

// Processing --------------------------------------------------------------

bool CClientDoc::BatchRunning() const
{
    return m_context.Toolkit().GetBatchProcessor().IsRunning();
}

bool CClientDoc::StartProcessing(bool urlsReady)
{
    SetState(CDocState::StartingBatch);
    if (m_batchList.IsEmpty()) {
        SetState(CDocState::Idle);
        return false;
    }
    VTBatchCodeProcessor& processor = m_context.Toolkit().GetBatchProcessor();
    // A cancelled batch still winding down keeps its cancel flag until it ends.
    std::int32_t started = VTBatchCodeProcessor::kAlreadyRunning;
    if (!processor.IsRunning()) {
        SetState(CDocState::Processing);
        SetBatchError({});
        m_cancelling = false;
        m_pageOpened = false;
        processor.SetList(m_batchList);
        started = processor.Start(urlsReady, m_workOffline);
    }
    if (started == VTBatchCodeProcessor::kStarted)
        return true;
    if (started >= VTBatchCodeProcessor::kListEmpty && started <= VTBatchCodeProcessor::kThreadFailed)
        ShowError(kStrBatchNotStarted, kCodeProcessing, {std::to_string(started)});
    else
        ShowInternalError(kInternalErrorStartUp, kModule, kLineBatchStart);
    SetState(CDocState::Idle);
    return false;
}

bool CClientDoc::CancelProcessing()
{
    if (State() != CDocState::Processing)
        return false;
    m_cancelling = true;
    m_context.Toolkit().GetBatchProcessor().Cancel();
    SetState(CDocState::Idle);
    m_port.SetStatusText(Text(kStrCanceling));
    return true;
}

CBatchErrorRecord CClientDoc::BatchError() const
{
    std::lock_guard guard(m_recordLock);
    return m_batchError;
}

void CClientDoc::SetBatchError(const CBatchErrorRecord& record)
{
    std::lock_guard guard(m_recordLock);
    m_batchError = record;
}

void CClientDoc::SetBatchAnswer(VTBatchCodeListener::Decision answer)
{
    std::lock_guard guard(m_recordLock);
    m_batchError.answer = answer;
}

// Registration ------------------------------------------------------------

bool CClientDoc::StartRegistration(std::string_view login, std::string_view password)
{
    m_beforeRegistration = State();
    SetState(CDocState::Registering);
    VTRegistrationServer& server = m_context.Toolkit().GetRegistrationServer();
    server.SetListener(m_registrationListener.get());
    bool sent = false;
    try {
        sent = server.RequestAttach(login, password);
    } catch (const TSException&) {
        sent = false;
    }
    if (sent)
        return true;
    EndRegistration();
    ShowBox(CMessageBoxRequest::Kind::kError, Text(kStrAttachNotStarted));
    return false;
}

void CClientDoc::EndRegistration()
{
    if (State() == CDocState::Registering)
        SetState(m_beforeRegistration);
}

// The end -----------------------------------------------------------------

bool CClientDoc::FirstRunWizardDone() const
{
    return m_context.Config().Settings().installing == 0;
}

bool CClientDoc::Close()
{
    if (!CanClose())
        return false;
    SetState(CDocState::Closing);
    if (FirstRunWizardDone()) {
        SaveSettings();
        SaveStoredCodes();
        SaveCoreCache();
        SaveUserCaches();
    }
    return true;
}

void CClientDoc::EndSession()
{
    if (Closing())
        return;
    if (BatchRunning()) {
        m_cancelling = true;
        m_context.Toolkit().GetBatchProcessor().Cancel();
        WaitForBatch(kEndSessionWait);
    }
    SetState(CDocState::Closing);
    if (FirstRunWizardDone()) {
        SaveUserCaches();
        SaveSettings();
        SaveCoreCache();
        SaveStoredCodes();
    }
}

void CClientDoc::WaitForBatch(std::chrono::milliseconds limit)
{
    // The worker may be waiting on a sent message: the view answers it
    // while the batch is cancelled.
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (BatchRunning() && std::chrono::steady_clock::now() < deadline) {
        m_port.DeliverPendingMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void CClientDoc::SaveSettings()
{
    if (!m_context.Config().Save(CConfigGroup::Everything))
        ShowInternalError(kInternalErrorStoredValue, kModule, kLineSaveSettings);
}

void CClientDoc::SaveStoredCodes()
{
    try {
        std::string why;
        if (!m_context.SaveStoredCodes(&why))
            ShowError(kStrFatalMissingFile, kCodeListFile, {m_context.StoredCodesPath().string()});
    } catch (const TSException&) {
        ShowInternalError(kInternalErrorStoredValue, kModule, kLineNoIdentityForSave);
    }
}

void CClientDoc::SaveCoreCache()
{
    if (!m_context.SaveCoreCache())
        ShowError(kStrCannotSaveFile, kCodeCannotSave, {m_context.UserServerFile().string()});
}

void CClientDoc::SaveUserCaches()
{
    try {
        std::string why;
        if (!m_context.SaveUserCaches(&why))
            ShowError(kStrCannotSaveFile, kCodeCannotSave, {why});
    } catch (const TSException&) {
        ShowInternalError(kInternalErrorStoredValue, kModule, kLineNoIdentityForSave);
    }
}

// Message routines --------------------------------------------------------

std::string CClientDoc::Text(int id) const
{
    return m_context.Language().LoadText(id);
}

std::string CClientDoc::Format(int id, const std::vector<std::string>& inserts) const
{
    return m_context.Language().FormatMessage(id, inserts);
}

void CClientDoc::ShowBox(CMessageBoxRequest::Kind kind, std::string text)
{
    ShowWindow();
    CMessageBoxRequest request;
    request.kind = kind;
    request.text = std::move(text);
    m_port.ShowMessageBox(request);
}

void CClientDoc::ShowInternalError(int number, std::string_view module, long line, std::string_view extra)
{
    std::string text =
        Format(kStrInternalError, {std::to_string(number), std::string(module), std::to_string(line)});
    if (!extra.empty())
        text += " " + std::string(extra);
    ShowBox(CMessageBoxRequest::Kind::kError, std::move(text));
}

void CClientDoc::ShowError(int textId, int code, const std::vector<std::string>& inserts)
{
    ShowBox(CMessageBoxRequest::Kind::kError,
            Format(textId, inserts) + "\n\n\t" + Text(kStrErrorCode) + std::to_string(code) + "\n");
}

void CClientDoc::ShowWarning(int textId, int code, const std::vector<std::string>& inserts)
{
    std::string text = Text(kStrWarning) + std::to_string(code) + "\n" + Format(textId, inserts);
    // A text without inserts still names what it is about.
    if (!inserts.empty() && text.find(inserts.front()) == std::string::npos)
        text += "\n\n" + inserts.front();
    ShowBox(CMessageBoxRequest::Kind::kWarning, std::move(text));
}

void CClientDoc::ShowInformation(int textId, const std::vector<std::string>& inserts)
{
    ShowBox(CMessageBoxRequest::Kind::kInformation, Format(textId, inserts));
}

void CClientDoc::ShowException(const std::string& message)
{
    ShowBox(CMessageBoxRequest::Kind::kError, message);
}
