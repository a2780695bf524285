#pragma once

#include "client/docstate.h"
#include "client/scode.h"
#include "vtkit/cdbase.h"
#include "vtkit/vtbatch.h"
#include "vtkit/vtbatchlist.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// The numbered messages the listeners and the scanner hand to the main view.
enum class CViewMessageId : std::int32_t {
    BatchFinished = 2,
    BatchProgress = 3,
    BatchError = 4,     // sent and waited for
    BatchUrlsReady = 5, // sent and waited for
    RegistrationSuccess = 6,
    RegistrationProgress = 7,
    RegistrationFailure = 8,
    DetectResult = 9,
    ScanDataArrived = 10,
    ScannerError = 11,
    ScannerStopped = 12,
};

struct CViewMessage {
    CViewMessageId id = CViewMessageId::BatchFinished;
    std::int32_t first = 0;  // position, result, ...
    std::int32_t second = 0; // range, flag, ...
    std::string text;
    VTBatchCodeList list;   // message 5
    std::int32_t phase = 0; // message 3: the batch phase (negative while cancelling)
};

inline CViewMessage MakeViewMessage(CViewMessageId id, std::int32_t first = 0, std::int32_t second = 0)
{
    CViewMessage message;
    message.id = id;
    message.first = first;
    message.second = second;
    return message;
}

// A message box: the client's error, warning and information boxes.
struct CMessageBoxRequest {
    enum class Kind { kError, kWarning, kInformation, kQuestion };
    enum class Buttons { kOk, kOkCancel, kYesNo };
    Kind kind = Kind::kError;
    Buttons buttons = Buttons::kOk;
    std::string text;
    std::string caption; // empty: the product name
};

enum class CMessageBoxResult { kOk, kCancel, kYes, kNo };

// A file dialog: which files, and whether one is opened or saved.
struct CFileRequest {
    enum class Mode { kOpen, kSave };
    Mode mode = Mode::kOpen;
    std::string title;
    // Filter text as the string table gives it ("Code Files (*.codelist)|*.codelist||").
    std::string filter;
    std::filesystem::path folder;
};

struct CFileAnswer {
    std::filesystem::path path;
    std::size_t filterIndex = 0; // which of the filter's entries was chosen
};

// The one way the client's core reaches its user interface. The desktop
// client implements it with widgets; tests with a recorder. Threads:
// PostViewMessage from any thread, SendViewMessage only from a worker
// (it blocks until the main thread has handled the message), everything
// else on the main thread only.
class CUiPort {
public:
    virtual ~CUiPort();

    // Queued to the main thread, which then hands it to the view's core.
    virtual void PostViewMessage(CViewMessage message) = 0;
    // The same, returning once the main thread has handled it.
    virtual void SendViewMessage(CViewMessage message) = 0;

    virtual CMessageBoxResult ShowMessageBox(const CMessageBoxRequest& request) = 0;

    // Dialogs that return an answer.
    virtual VTBatchCodeListener::Decision AskBatchError(const std::string& text) = 0;
    virtual void ShowProcessCodeError(const std::string& text) = 0;
    // OK with the entered name and password, or false for Cancel.
    virtual bool AskProxyCredentials(std::string& user, std::string& password) = 0;
    // None when the user cancels.
    virtual std::optional<VTCodeType> ChooseCodeType(const std::string& code,
                                                     const std::vector<VTCodeType>& candidates) = 0;
    virtual void ShowScannerError(const std::string& text) = 0;
    virtual void ShowCodeProperties(const CStoredCode& code) = 0;
    // True for OK.
    virtual bool ShowAutoDetectInstructions(const std::string& text) = 0;
    virtual std::optional<CFileAnswer> AskFileName(const CFileRequest& request) = 0;

    // The first-run settings wizard, modal; false when the user cancels it
    // (the program then ends). Until the wizard exists the desktop client
    // may report false, as this default does.
    virtual bool RunFirstRunWizard();
    // The registration dialog of the wizard: its progress, and its end with
    // the reason of a failure (empty on success).
    virtual void RegistrationProgress(std::int32_t position, std::int32_t range);
    virtual void RegistrationEnded(bool attached, const std::string& failure);

    // While the core waits on the main thread for a worker (the end of a
    // session), it calls this to have the messages that workers posted or
    // sent handed to the view now; a worker waiting on a send goes on.
    virtual void DeliverPendingMessages() = 0;

    // What the view shows.
    virtual void ViewStateChanged(CDocState state, bool controlsEnabled) = 0;
    virtual void SetStatusText(const std::string& text) = 0;
    virtual void SetProgress(std::int32_t position, std::int32_t range) = 0;
    // Selects the whole text of the code entry and keeps the focus there.
    virtual void SelectEntryText() = 0;
    // Brings the stored code with this number into view and selects it.
    virtual void ShowStoredCode(unsigned number) = 0;
    // The window comes back from the notification area (the document has
    // cleared its hidden flag).
    virtual void ShowWindowFromTray() = 0;
    virtual void BringToForeground() = 0;
    virtual void Beep() = 0;
    virtual void TrayMessage(const std::string& text) = 0;
};
