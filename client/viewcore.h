#pragma once

#include "client/uiport.h"
#include "vtkit/svrerror.h"
#include "vtkit/vtbatchlist.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class CClientDoc;
class CStoredCodeMgr;
struct CStoredCode;

// Which stored codes Get Descriptions asks for: every one (their
// descriptions fetched anew), those still New, or the selected ones (anew).
enum class CDescriptionKind { All, New, Selected };

// The main view without its widgets: every command of the main window, the
// list and the tray that touches the document, and the handlers of the
// numbered view messages. Widgets only show and forward: what a command
// does in which state, which dialog answers which error and which text a
// box shows are decided here. Main thread only.
class CViewCore {
public:
    // The view's internal errors name this module.
    static constexpr const char* kModule = "cliview";
    static constexpr int kInternalErrorScannerStopped = 565;
    static constexpr int kCodeBadDataBlock = 17;
    // The data-copy messages another program sends with a barcode data block.
    static constexpr std::uint32_t kDataCopyId = 0x6B646842;

    explicit CViewCore(CClientDoc& doc);

    // Commands. Each acts only while the document is idle and returns false
    // when it did nothing. `listNumber` is the stored code that supplies the
    // entry (the list has the focus), 0 for a typed code.
    bool Go(const std::string& text, unsigned listNumber = 0);
    bool AddToList(const std::string& text, unsigned listNumber = 0);
    // The list's context menu: Go for the selected code.
    bool GoSelected();
    bool GetDescriptions(CDescriptionKind kind);
    bool ShowInWebPage();
    bool Help();
    bool RegistrationInformation();
    bool DeleteSelected();
    bool DeleteAll();
    bool EditDescription(unsigned number, const std::string& text);
    bool Properties(unsigned number);
    bool InsertCodes();
    bool ReplaceCodes();
    bool ExportCodes();
    bool Undo();
    // The Undo item's text for the last list change, empty when there is none.
    std::string UndoMenuText() const;
    // Stops a running batch (Escape, or a Cancel button of the view).
    bool CancelProcessing();
    // Hide to tray (32789): the new hidden flag, or none while not idle.
    std::optional<bool> HideToTray();
    // Whether a command of the menus may run now: every command needs the
    // idle state except those that only look (About, Help, bars).
    bool IsCommandEnabled(int commandId) const;

    // A data-copy message of another program (identifier kDataCopyId).
    void OnDataCopy(std::uint32_t identifier, const std::string& bytes);

    // A numbered message of the listeners or the scanner, on the main thread.
    void HandleViewMessage(const CViewMessage& message);

private:
    bool Idle() const;
    void ReturnToIdle();
    // The entry as the one code of the batch list, taken into the stored
    // list; false (back to idle) when the user cancelled the type choice.
    bool TakeEntry(const std::string& text, unsigned listNumber, std::int32_t mode, bool first,
                   bool& recognised);
    std::optional<VTCodeType> ChooseType(const std::string& text, const std::vector<VTCodeType>& types);
    void CollectStored(const std::vector<const CStoredCode*>& codes, bool refresh, bool skipDescribed);
    bool ReadListFile(bool replace);
    // A change of the stored list, in the list-busy state; false when idle
    // did not allow it or nothing changed.
    bool ChangeList(const std::function<bool(CStoredCodeMgr&)>& change);
    std::string ErrorText(const VTServerError& error, const std::string& extra) const;

    void OnBatchFinished();
    void OnBatchProgress(const CViewMessage& message);
    void OnBatchError();
    void OnBatchUrlsReady(const VTBatchCodeList& list);
    void BuildWebPage(const VTBatchCodeList& list);
    void OnRegistration(const CViewMessage& message);
    void OnScanDataArrived();
    bool ProcessesFirstScan(std::size_t count, bool fromOtherProgram) const;
    void ShowAfterScans(bool processed, std::size_t count);
    void OnScannerError(const std::string& text);
    void OnScannerStopped();

    CClientDoc& m_doc;
    bool m_refreshing = false; // the running batch replaces descriptions
};
