#include "client/viewcore.h"

#include "client/appcontext.h"
#include "client/batchlistener.h"
#include "client/clidoc.h"
#include "client/scanmgr.h"
#include "client/uitextids.h"
#include "client/webpage.h"
#include "tst/tsexcep.h"

#include <algorithm>

namespace {

namespace fs = std::filesystem;

constexpr long kLineScannerStopped = 2961;
constexpr int kCodeWebPage = 11;
// Descriptions fetched anew even where a code has one.
constexpr std::int32_t kRefreshMode = 1;

// Commands that only look, allowed in every state.
constexpr int kLookingCommands[] = {kCmdAbout, kCmdViewToolbar, kCmdViewStatusBar};

bool IsProxyError(const VTServerError& error)
{
    return error.GetKind() == VTServerError::kTransaction &&
           error.GetCode() == VTServerError::kCodeHttpStatusBase + 407;
}

// The number a batch error's dialog is chosen by.
std::int32_t ErrorNumber(const VTServerError& error)
{
    return error.GetKind() == VTServerError::kServer ? error.GetServerNumber() : error.GetCode();
}

std::vector<VTCodeType> CodeTypes(const std::vector<int>& numbers)
{
    std::vector<VTCodeType> types;
    for (const int number : numbers)
        types.push_back(static_cast<VTCodeType>(number));
    return types;
}

// "file://" and the path, with what an address may not hold escaped.
std::string FileAddress(const fs::path& file)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string address = "file://";
    for (const unsigned char c : file.string()) {
        if (std::isalnum(c) ||
            std::string_view("/-._~").find(static_cast<char>(c)) != std::string_view::npos) {
            address += static_cast<char>(c);
        } else {
            address += '%';
            address += kHex[c >> 4];
            address += kHex[c & 15];
        }
    }
    return address;
}

} // namespace

CViewCore::CViewCore(CClientDoc& doc) : m_doc(doc) {}

bool CViewCore::Idle() const
{
    return m_doc.State() == CDocState::Idle;
}

void CViewCore::ReturnToIdle()
{
    m_doc.SetState(CDocState::Idle);
}

bool CViewCore::IsCommandEnabled(int commandId) const
{
    return Idle() || std::find(std::begin(kLookingCommands), std::end(kLookingCommands), commandId) !=
                         std::end(kLookingCommands);
}

// Go and Add To List -------------------------------------------------------

std::optional<VTCodeType> CViewCore::ChooseType(const std::string& text, const std::vector<VTCodeType>& types)
{
    m_doc.ShowWindow();
    m_doc.Port().BringToForeground();
    return m_doc.Port().ChooseCodeType(text, types);
}

bool CViewCore::TakeEntry(const std::string& text, unsigned listNumber, std::int32_t mode, bool first,
                          bool& recognised)
{
    CStoredCodeMgr& stored = m_doc.Context().StoredCodes();
    VTBatchCodeList& batch = m_doc.BatchList();
    batch.Clear();
    VTBatchCode code(0, text, mode);
    if (listNumber > 0 && listNumber <= stored.Entries().size()) {
        const CStoredCode& row = stored.Entries()[listNumber - 1];
        code = VTBatchCode(row.codeType, text, mode);
        code.SetDescription(row.itemDescription);
        code.SetUserDescription(row.userDescription);
    }
    batch.Add(code);
    m_doc.SetState(CDocState::ListBusy);
    bool canceled = false;
    const CTypeChooser choose = [&](std::string_view entered,
                                    const std::vector<int>& types) -> std::optional<int> {
        const auto chosen = ChooseType(std::string(entered), CodeTypes(types));
        canceled = canceled || !chosen;
        return chosen ? std::optional<int>(*chosen) : std::nullopt;
    };
    const CTakeCodesResult taken = stored.TakeCodes(batch, CodeModelRecognizer(), choose, first);
    for (const std::string& failed : taken.failed)
        m_doc.ShowError(kStrCannotInsertCode, CClientDoc::kCodeInsertFailed, {failed});
    if (canceled) {
        batch.Clear();
        ReturnToIdle();
        m_doc.ShowInformation(kStrUserCanceled);
        return false;
    }
    recognised = batch.Get(0).GetCodeType() != 0;
    return true;
}

bool CViewCore::Go(const std::string& text, unsigned listNumber)
{
    if (!Idle() || text.empty())
        return false;
    const CClientSettings& settings = m_doc.Context().Config().Settings();
    const bool describe = settings.autoDescriptions != 0 || settings.webView != 0;
    bool recognised = false;
    if (!TakeEntry(text, listNumber, describe ? VTBatchCode::kDescribe : VTBatchCode::kAddressOnly, true,
                   recognised))
        return true;
    m_doc.Port().SelectEntryText();
    if (m_doc.BatchList().IsEmpty() || (!recognised && settings.webView != 0)) {
        ReturnToIdle();
        m_doc.Port().SetStatusText(m_doc.Text(kStrInvalidCodeEntered));
        return true;
    }
    m_doc.Port().SetStatusText(m_doc.Text(kStrProcessing));
    m_doc.SetWebViewMode(false);
    m_refreshing = false;
    m_doc.StartProcessing(true);
    return true;
}

bool CViewCore::AddToList(const std::string& text, unsigned listNumber)
{
    if (!Idle() || text.empty())
        return false;
    bool recognised = false;
    if (!TakeEntry(text, listNumber, VTBatchCode::kAddressOnly, false, recognised))
        return true;
    m_doc.BatchList().Clear();
    ReturnToIdle();
    if (recognised)
        m_doc.Port().ShowStoredCode(1);
    else
        m_doc.Port().SetStatusText(m_doc.Text(kStrInvalidCodeEntered));
    return true;
}

bool CViewCore::GoSelected()
{
    for (const CStoredCode& entry : m_doc.Context().StoredCodes().Entries())
        if (entry.selected)
            return Go(entry.codeText, entry.number);
    return false;
}

// Processing the stored codes ---------------------------------------------

void CViewCore::CollectStored(const std::vector<const CStoredCode*>& codes, bool refresh, bool skipDescribed)
{
    VTBatchCodeList& batch = m_doc.BatchList();
    batch.Clear();
    for (const CStoredCode* entry : codes) {
        if (entry->status == CStoredCode::kInvalid || entry->codeType == 0)
            continue;
        if (skipDescribed && !entry->userDescription.empty())
            continue;
        VTBatchCode code(entry->codeType, entry->codeText, refresh ? kRefreshMode : VTBatchCode::kDescribe);
        if (!refresh) {
            code.SetDescription(entry->itemDescription);
            code.SetUserDescription(entry->userDescription);
        }
        batch.Add(code);
    }
}

bool CViewCore::GetDescriptions(CDescriptionKind kind)
{
    if (!Idle())
        return false;
    m_doc.SetState(CDocState::HandlingScans);
    std::vector<const CStoredCode*> chosen;
    for (const CStoredCode& entry : m_doc.Context().StoredCodes().Entries()) {
        const bool wanted = kind == CDescriptionKind::All ||
                            (kind == CDescriptionKind::New && entry.status == CStoredCode::kNew) ||
                            (kind == CDescriptionKind::Selected && entry.selected);
        if (wanted)
            chosen.push_back(&entry);
    }
    m_refreshing = kind != CDescriptionKind::New;
    CollectStored(chosen, m_refreshing, !m_refreshing);
    m_doc.SetWebViewMode(false);
    m_doc.StartProcessing(false);
    return true;
}

bool CViewCore::ShowInWebPage()
{
    if (!Idle())
        return false;
    m_doc.SetState(CDocState::HandlingScans);
    std::vector<const CStoredCode*> all;
    for (const CStoredCode& entry : m_doc.Context().StoredCodes().Entries())
        all.push_back(&entry);
    m_refreshing = false;
    CollectStored(all, false, false);
    if (m_doc.BatchList().IsEmpty()) {
        m_doc.SetState(CDocState::ModalDialog);
        m_doc.ShowInformation(kStrNoLinkedCodes);
        ReturnToIdle();
        return true;
    }
    m_doc.SetWebViewMode(true);
    m_doc.StartProcessing(false);
    return true;
}

bool CViewCore::CancelProcessing()
{
    return m_doc.CancelProcessing();
}

// Pages -------------------------------------------------------------------

bool CViewCore::Help()
{
    if (!Idle())
        return false;
    const std::string address = m_doc.HelpAddress(1);
    if (!address.empty() && m_doc.OpenAddress(address, true))
        ReturnToIdle();
    return true;
}

bool CViewCore::RegistrationInformation()
{
    if (!Idle())
        return false;
    if (m_doc.OpenServerPage("LOGIN"))
        ReturnToIdle();
    return true;
}

// The list ----------------------------------------------------------------

bool CViewCore::ChangeList(const std::function<bool(CStoredCodeMgr&)>& change)
{
    if (!Idle())
        return false;
    m_doc.SetState(CDocState::ListBusy);
    const bool changed = change(m_doc.Context().StoredCodes());
    ReturnToIdle();
    return changed;
}

bool CViewCore::DeleteSelected()
{
    return ChangeList([](CStoredCodeMgr& codes) { return codes.DeleteSelected() > 0; });
}

bool CViewCore::DeleteAll()
{
    return ChangeList([](CStoredCodeMgr& codes) {
        codes.DeleteAll();
        return true;
    });
}

bool CViewCore::EditDescription(unsigned number, const std::string& text)
{
    return ChangeList([&](CStoredCodeMgr& codes) { return codes.EditDescription(number, text); });
}

bool CViewCore::Properties(unsigned number)
{
    const auto& entries = m_doc.Context().StoredCodes().Entries();
    if (!Idle() || number == 0 || number > entries.size())
        return false;
    m_doc.SetState(CDocState::ModalDialog);
    m_doc.Port().ShowCodeProperties(entries[number - 1]);
    ReturnToIdle();
    return true;
}

bool CViewCore::ReadListFile(bool replace)
{
    if (!Idle())
        return false;
    CFileRequest request;
    request.mode = CFileRequest::Mode::kOpen;
    request.title = m_doc.Text(replace ? kStrSelectFileToReplace : kStrSelectFileToAdd);
    request.filter = m_doc.Text(kStrImportFilter);
    const std::optional<CFileAnswer> answer = m_doc.Port().AskFileName(request);
    if (!answer)
        return true;
    m_doc.SetState(CDocState::ListBusy);
    CStoredCodeMgr& stored = m_doc.Context().StoredCodes();
    const CListLoadResult result = replace ? stored.Replace(answer->path) : stored.Insert(answer->path);
    ReturnToIdle();
    if (!result.Ok())
        m_doc.ShowError(result.messageId, result.errorCode, {answer->path.string()});
    return true;
}

bool CViewCore::InsertCodes()
{
    return ReadListFile(false);
}

bool CViewCore::ReplaceCodes()
{
    return ReadListFile(true);
}

bool CViewCore::ExportCodes()
{
    if (!Idle())
        return false;
    CFileRequest request;
    request.mode = CFileRequest::Mode::kSave;
    request.title = m_doc.Text(kStrSelectExportFile);
    CStoredCodeMgr& stored = m_doc.Context().StoredCodes();
    request.filter = stored.ExportFilter();
    std::optional<CFileAnswer> answer = m_doc.Port().AskFileName(request);
    if (!answer)
        return true;
    fs::path file = answer->path;
    // The file's extension says what to write, else the filter chosen (and names it).
    const CListFileKind kind = CStoredCodeMgr::ExportKind(file, answer->filterIndex);
    if (!file.has_extension())
        file += kind == CListFileKind::kText ? ".txt" : kind == CListFileKind::kCsv ? ".csv" : ".codelist";
    m_doc.SetState(CDocState::ListBusy);
    std::string why;
    const bool saved = stored.Export(file, kind, &why);
    ReturnToIdle();
    if (!saved)
        m_doc.ShowError(kStrFatalMissingFile, CClientDoc::kCodeListFile, {file.string()});
    return true;
}

bool CViewCore::Undo()
{
    if (m_doc.Context().StoredCodes().UndoTextId() == 0)
        return false;
    return ChangeList([](CStoredCodeMgr& codes) { return codes.Undo(); });
}

std::string CViewCore::UndoMenuText() const
{
    const int id = m_doc.Context().StoredCodes().UndoTextId();
    return id == 0 ? std::string() : m_doc.Text(id);
}

std::optional<bool> CViewCore::HideToTray()
{
    if (!Idle())
        return std::nullopt;
    m_doc.SetHidden(!m_doc.IsHidden());
    return m_doc.IsHidden();
}

// Another program's codes -------------------------------------------------

void CViewCore::OnDataCopy(std::uint32_t identifier, const std::string& bytes)
{
    if (identifier != kDataCopyId)
        return;
    if (m_doc.Scanner()->AddDataBlock(bytes) == CScannerMgr::BlockResult::kMalformed)
        m_doc.ShowError(kStrBadDataBlock, kCodeBadDataBlock);
}

// The view messages -------------------------------------------------------

void CViewCore::HandleViewMessage(const CViewMessage& message)
{
    switch (message.id) {
    case CViewMessageId::BatchFinished:
        return OnBatchFinished();
    case CViewMessageId::BatchProgress:
        return OnBatchProgress(message);
    case CViewMessageId::BatchError:
        return OnBatchError();
    case CViewMessageId::BatchUrlsReady:
        return OnBatchUrlsReady(message.list);
    case CViewMessageId::RegistrationSuccess:
    case CViewMessageId::RegistrationProgress:
    case CViewMessageId::RegistrationFailure:
        return OnRegistration(message);
    case CViewMessageId::DetectResult:
        return m_doc.Scanner()->OnDetectResult(message.first, message.second);
    case CViewMessageId::ScanDataArrived:
        return OnScanDataArrived();
    case CViewMessageId::ScannerError:
        return OnScannerError(message.text);
    case CViewMessageId::ScannerStopped:
        return OnScannerStopped();
    }
}

void CViewCore::OnBatchProgress(const CViewMessage& message)
{
    const CDocState state = m_doc.State();
    if (message.phase == CBatchListener::kCancellingPhase) {
        if (state == CDocState::Idle)
            m_doc.Port().SetStatusText(m_doc.Text(kStrCanceling));
        return;
    }
    if (state != CDocState::Processing || m_doc.IsCancelling())
        return;
    static constexpr int kPhaseTexts[] = {kStrGettingFormat, kStrGettingTemplate, kStrGettingDescriptions};
    if (message.phase >= 0 && message.phase < 3)
        m_doc.Port().SetStatusText(m_doc.Text(kPhaseTexts[message.phase]));
    m_doc.Port().SetProgress(message.first, message.second);
}

std::string CViewCore::ErrorText(const VTServerError& error, const std::string& extra) const
{
    std::string text;
    if (error.GetKind() == VTServerError::kTransaction) {
        if (error.GetCode() >= 2 && error.GetCode() <= 10) {
            text = m_doc.Text(kStrConnectionFailure);
            if (m_doc.Context().Config().Settings().useProxy)
                text += "  " + m_doc.Text(kStrCheckProxy);
        } else {
            text = m_doc.Text(kStrUnexpectedCondition);
        }
    } else {
        text = error.GetMessage();
    }
    if (!extra.empty())
        text += "\n[" + extra + "]";
    return text + "\n\n\t" + m_doc.Text(kStrErrorCode) + error.GetErrorCode();
}

void CViewCore::OnBatchError()
{
    const CBatchErrorRecord record = m_doc.BatchError();
    // A batch being cancelled (or a session ending) asks nobody.
    if (m_doc.State() != CDocState::Processing || m_doc.IsCancelling()) {
        m_doc.SetBatchAnswer(VTBatchCodeListener::kCancel);
        return;
    }
    const std::string text = ErrorText(record.error, record.serverName);
    VTBatchCodeListener::Decision answer = VTBatchCodeListener::kCancel;
    const std::int32_t number = ErrorNumber(record.error);
    if (IsProxyError(record.error)) {
        std::string user;
        std::string password;
        if (m_doc.Port().AskProxyCredentials(user, password)) {
            m_doc.Context().Toolkit().SetProxyCredentials(user, password);
            answer = VTBatchCodeListener::kRetry;
        }
    } else if (number == 18 || number == 19 || number == 10108) {
        m_doc.Port().ShowProcessCodeError(text);
    } else {
        answer = m_doc.Port().AskBatchError(text);
        if (answer == VTBatchCodeListener::kCancel)
            m_doc.SetCancelling(true);
    }
    m_doc.SetBatchAnswer(answer);
}

void CViewCore::OnBatchUrlsReady(const VTBatchCodeList& list)
{
    if (m_doc.State() != CDocState::Processing || m_doc.IsCancelling() || list.IsEmpty())
        return;
    const VTBatchCode first = list.Get(0);
    if (first.GetUrl().empty()) {
        m_doc.ShowError(kStrNoPageForCode, CClientDoc::kCodeProcessing);
        return;
    }
    m_doc.OpenAddress(first.GetUrl());
    m_doc.SetPageOpened(true);
}

void CViewCore::OnBatchFinished()
{
    const CDocState state = m_doc.State();
    if (state == CDocState::Closing)
        return;
    if (m_doc.IsCancelling()) {
        m_doc.SetCancelling(false);
        ReturnToIdle();
        m_doc.ShowInformation(kStrUserCanceled);
        return;
    }
    if (state != CDocState::Processing)
        return;
    m_doc.SetState(CDocState::TakingResults);
    const VTBatchCodeList list = m_doc.Context().Toolkit().GetBatchProcessor().GetList();
    m_doc.Context().StoredCodes().UpdateAfterProcessing(
        CStoredCodeMgr::ProcessedCodes(list, m_doc.PageOpened()), m_refreshing);
    m_refreshing = false;
    if (m_doc.WebViewMode()) {
        m_doc.SetWebViewMode(false);
        BuildWebPage(list);
    }
    m_doc.Port().SetProgress(0, 0);
    // Once for the end of the batch, which arms the page the batch asked
    // for, and once for the list shown anew, which opens it.
    ReturnToIdle();
    ReturnToIdle();
}

void CViewCore::BuildWebPage(const VTBatchCodeList& list)
{
    CWebPageView& view = m_doc.WebPageView();
    view.Items().clear();
    for (const VTBatchCode& code : list.GetAll())
        if (!code.GetUrl().empty())
            view.Items().push_back(
                {code.GetText().empty() ? code.GetRawCode() : code.GetText(), code.GetUrl(),
                 code.GetUserDescription().empty() ? code.GetDescription() : code.GetUserDescription()});
    if (view.Items().empty()) {
        m_doc.SetState(CDocState::ModalDialog);
        m_doc.ShowInformation(kStrNoLinkedCodes);
        return;
    }
    CWebPageTexts texts;
    texts.title = m_doc.Text(kStrWebViewTitle);
    texts.listName = m_doc.Text(kStrWebViewListName);
    texts.help = m_doc.Text(kStrWebViewHelp);
    texts.moreInfo = m_doc.Text(kStrWebViewMoreInfo);
    texts.see = m_doc.Text(kStrWebViewSee);
    texts.helpLink = m_doc.HelpAddress(1);
    const CWebPageResult built = view.Build(texts);
    if (built.Ok())
        m_doc.OpenAddress(FileAddress(built.file));
    else if (built.result == CWebPageView::kCannotWrite)
        m_doc.ShowError(kStrCannotSaveFile, kCodeWebPage, {built.file.string()});
    else
        m_doc.ShowError(kStrFatalMissingFile, kCodeWebPage, {built.file.string()});
}

void CViewCore::OnRegistration(const CViewMessage& message)
{
    if (m_doc.State() != CDocState::Registering)
        return;
    if (message.id == CViewMessageId::RegistrationProgress) {
        m_doc.Port().RegistrationProgress(message.first, message.second);
        return;
    }
    VTRegistrationServer& server = m_doc.Context().Toolkit().GetRegistrationServer();
    std::string failure;
    if (message.id == CViewMessageId::RegistrationSuccess) {
        VTAttachResults results;
        try {
            server.GetAttachResults(results);
        } catch (const TSException& error) {
            failure = error.GetMessage();
        }
        if (failure.empty() && !results.IsAttached())
            failure = m_doc.Text(kStrVerifyUserIdPassword);
        else if (failure.empty() && !m_doc.Context().StoreIdentity(results.GetUserId()))
            failure = m_doc.Format(kStrCannotSaveFile, {"UID"});
    } else {
        VTServerError error;
        server.GetError(error);
        // The server's own words say what was wrong with the account.
        failure = ErrorText(error, error.GetDetails());
    }
    m_doc.EndRegistration();
    m_doc.Port().RegistrationEnded(failure.empty(), failure);
}

// Scans -------------------------------------------------------------------

bool CViewCore::ProcessesFirstScan(std::size_t count, bool fromOtherProgram) const
{
    if (m_doc.StorageOnly())
        return false;
    const std::optional<CScannerType> type = m_doc.Scanner()->ScannerType();
    if (!fromOtherProgram && type && !IsMemoryScanner(*type))
        return true;
    switch (m_doc.Context().Config().Settings().autoGo) {
    case 0:
        return true;
    case 1:
        return count == 1;
    default:
        return false;
    }
}

void CViewCore::OnScanDataArrived()
{
    CScannerMgr& scanner = *m_doc.Scanner();
    // Scans that wait while the client is busy are posted again at its next idle.
    if (!Idle() || scanner.IsBusy() || !scanner.HasPendingScans())
        return;
    m_doc.SetState(CDocState::HandlingScans);
    const bool fromOtherProgram = scanner.ScansFromOtherProgram();
    const VTScanDataSet scans = scanner.TakePendingScans();
    const std::size_t count = scans.GetCount();
    if (count == 0) {
        m_doc.ShowInformation(kStrDownloadEmpty);
        ReturnToIdle();
        return;
    }
    std::vector<CPendingCode> pending(count);
    for (std::size_t i = 0; i < count; ++i) {
        pending[i].text = scans.GetAt(i).text;
        pending[i].scanType = scans.GetAt(i).type;
        pending[i].scanned = true;
    }
    bool canceled = false;
    const CTypeChooser choose = [&](std::string_view text,
                                    const std::vector<int>& types) -> std::optional<int> {
        const auto chosen = ChooseType(std::string(text), CodeTypes(types));
        canceled = canceled || !chosen;
        return chosen ? std::optional<int>(*chosen) : std::nullopt;
    };
    const CTakeCodesResult taken =
        m_doc.Context().StoredCodes().TakeCodes(pending, CodeModelRecognizer(), choose, false);
    for (const std::string& failed : taken.failed)
        m_doc.ShowError(kStrCannotInsertCode, CClientDoc::kCodeInsertFailed, {failed});
    if (canceled)
        m_doc.ShowInformation(kStrUserCanceled);
    const bool process = ProcessesFirstScan(count, fromOtherProgram) && pending.front().type != 0;
    ShowAfterScans(process, count);
    if (!process) {
        ReturnToIdle();
        return;
    }
    const CClientSettings& settings = m_doc.Context().Config().Settings();
    const bool describe = settings.autoDescriptions != 0 || settings.webView != 0;
    VTBatchCode code(pending.front().type, pending.front().text,
                     describe ? VTBatchCode::kDescribe : VTBatchCode::kAddressOnly);
    code.SetDescription(pending.front().itemDescription);
    code.SetUserDescription(pending.front().userDescription);
    m_doc.BatchList().Clear();
    m_doc.BatchList().Add(code);
    m_doc.SetWebViewMode(false);
    m_refreshing = false;
    m_doc.StartProcessing(true);
}

void CViewCore::ShowAfterScans(bool processed, std::size_t count)
{
    if (!m_doc.IsHidden() || (processed && count == 1))
        return;
    // Codes kept for later need no window: the tray tells how many came.
    if (m_doc.StorageOnly()) {
        m_doc.Port().TrayMessage(count == 1 ? m_doc.Text(kStrTrayCodeStored)
                                            : m_doc.Format(kStrTrayCodesStored, {std::to_string(count)}));
        return;
    }
    m_doc.ShowWindow();
}

void CViewCore::OnScannerError(const std::string& text)
{
    if (!Idle()) {
        m_doc.Port().ShowScannerError(text);
        return;
    }
    m_doc.SetState(CDocState::ModalDialog);
    m_doc.Port().ShowScannerError(text);
    ReturnToIdle();
}

void CViewCore::OnScannerStopped()
{
    if (Idle())
        m_doc.ShowInternalError(kInternalErrorScannerStopped, kModule, kLineScannerStopped);
}
