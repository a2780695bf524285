#pragma once

#include "client/docstate.h"
#include "client/uiport.h"
#include "vtkit/svrerror.h"
#include "vtkit/vtbatch.h"
#include "vtkit/vtbatchlist.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

class CAppContext;
class CBatchListener;
class CRegistrationServerListener;
class CScannerMgr;
class CWebLauncher;
class CWebPageView;

// The error a running batch reported, and the answer the view left for it.
struct CBatchErrorRecord {
    std::int32_t phase = 0;
    VTServerError error;
    std::string serverName; // the description server, in phase 2
    VTBatchCodeListener::Decision answer = VTBatchCodeListener::kRetry;
};

// How start-up ended: the client runs; the program ends normally (a
// cancelled wizard, a missing core cache, an invalid identity); or the
// process ends at once with `exitCode`.
struct CStartUpResult {
    enum class Outcome { kRunning, kQuit, kExit };
    Outcome outcome = Outcome::kRunning;
    int exitCode = 0;
    bool wizardRan = false; // the window is shown even in auto-run mode
};

// The hub of the desktop client: the document state and what entering each
// state does, the batch list handed to the processor, the error record of a
// running batch, the pending and armed address, the hidden and Storage
// Only flags, the start-up steps after the windows exist and the saves at
// the end. It reaches the user interface only through the port.
//
// Threads: everything on the main thread, except State(), IsCancelling()
// and the batch error record, which the listeners use on toolkit threads.
class CClientDoc {
public:
    // The client's fixed numbers for internal errors and error codes.
    static constexpr int kInternalErrorStartUp = 500;
    static constexpr int kInternalErrorStoredValue = 530;
    static constexpr int kInternalErrorOpenAddress = 16;
    static constexpr int kInternalErrorScanner = 550;
    static constexpr int kCodeInsertFailed = 555;
    static constexpr int kCodeListFile = 560;
    static constexpr int kCodeToolkit = 4;
    static constexpr int kCodeIdentity = 5;
    static constexpr int kCodeCoreCache = 6;
    static constexpr int kCodeCannotSave = 7;
    static constexpr int kCodeConfiguration = 9;
    static constexpr int kCodeProcessing = 10;
    // How long the end of a session waits for a cancelled batch.
    static constexpr std::chrono::milliseconds kEndSessionWait{2000};

    // Both outlive the document.
    CClientDoc(CAppContext& context, CUiPort& port);
    ~CClientDoc();
    CClientDoc(const CClientDoc&) = delete;
    CClientDoc& operator=(const CClientDoc&) = delete;

    CAppContext& Context() { return m_context; }
    CUiPort& Port() { return m_port; }
    // None until the scanner manager exists (after Create).
    CScannerMgr* Scanner() { return m_scanner.get(); }
    CWebLauncher& WebLauncher() { return *m_webLauncher; }
    CWebPageView& WebPageView() { return *m_webPageView; }
    CBatchListener& BatchListener() { return *m_batchListener; }
    CRegistrationServerListener& RegistrationListener() { return *m_registrationListener; }

    // Start-up, part one (the document's creation): the settings (stored with
    // their defaults on a first start) and the toolkit's description of the
    // client. False after showing 50078 when the settings cannot be set up.
    bool Create();
    // Start-up, part two, after the windows exist: the wizard when needed,
    // the core cache, the identity, the caches, the stored codes, the
    // scanner, then the first idle state.
    CStartUpResult StartUp();

    // The document state. Entering a state does what it stands for (controls,
    // scanner, status text, the pending address); entering the state it is
    // in already does nothing unless an address is pending.
    CDocState State() const { return m_state.load(); }
    void SetState(CDocState state);
    // A state by number: one that no state has is an internal error
    // (TSInternalError of this module).
    void SetStateNumber(std::int32_t number);

    // The window is hidden in the notification area.
    bool IsHidden() const { return m_hidden; }
    void SetHidden(bool hidden) { m_hidden = hidden; }
    // Brings a hidden window back (clearing the flag).
    void ShowWindow();
    // Scans are stored, never processed ("Storage Only" of the advanced page).
    bool StorageOnly() const { return m_storageOnly; }
    void SetStorageOnly(bool storageOnly) { m_storageOnly = storageOnly; }
    // Processing answers from the caches alone ("Work OffLine" of the
    // advanced page, offered when "EnableOffline" is 1).
    bool WorkOffline() const { return m_workOffline; }
    void SetWorkOffline(bool offline) { m_workOffline = offline; }

    // Processing. The batch list is what the next processing takes.
    VTBatchCodeList& BatchList() { return m_batchList; }
    // The stored code list is shown as a web page when this batch ends.
    bool WebViewMode() const { return m_webViewMode; }
    void SetWebViewMode(bool webViewMode) { m_webViewMode = webViewMode; }
    // State 11, then 13 with the batch running (true), or back to idle when
    // the list is empty or the batch could not start (false). With
    // `urlsReady` the first code's page opens once the addresses are built.
    bool StartProcessing(bool urlsReady);
    // The user asked to stop: the batch is cancelled and the document goes
    // to idle while the worker winds down; the finish shows 50004.
    bool CancelProcessing();
    bool IsCancelling() const { return m_cancelling.load(); }
    void SetCancelling(bool cancelling) { m_cancelling = cancelling; }
    // The first code's page was opened during this processing.
    bool PageOpened() const { return m_pageOpened; }
    void SetPageOpened(bool opened) { m_pageOpened = opened; }
    // The record of the last batch error (copies, under a lock).
    CBatchErrorRecord BatchError() const;
    void SetBatchError(const CBatchErrorRecord& record);
    void SetBatchAnswer(VTBatchCodeListener::Decision answer);
    bool BatchRunning() const;

    // The registration of the settings wizard: state 20 and the attach
    // query; false after showing 50104 when it could not be sent.
    bool StartRegistration(std::string_view login, std::string_view password);
    // Its end: the state the wizard was in before.
    void EndRegistration();

    // Opening an address: outside states 0, 2 and 3 it waits for the client
    // to have become idle twice (the first entry arms it, the next opens;
    // `armNow` arms it at once, so the next idle entry opens it); else it
    // opens at once, once more after 100 ms when that fails, and a final
    // failure is internal error 16 with the address.
    bool OpenAddress(const std::string& address, bool armNow = false);
    bool HasPendingAddress() const { return m_pending; }
    bool AddressArmed() const { return m_armed; }
    const std::string& PendingAddress() const { return m_pendingAddress; }
    // "LOGIN", "REGISTER", "LOSTPWD": opens at the next idle state (at
    // once in states 0, 2 and 3).
    bool OpenServerPage(const std::string& key);
    // The help page with number n; empty (after showing why) when there is none.
    std::string HelpAddress(int number);

    // The end. Close: state 30 and the saves of a normal shutdown (settings
    // with the window's placement already in them, the stored codes, the
    // server cache, the caches), unless the first-run wizard never
    // completed. Only while idle; false otherwise.
    bool CanClose() const { return State() == CDocState::Idle; }
    bool Close();
    // The session ends (commit request, SIGTERM, SIGHUP): a running batch is
    // cancelled and waited for (at most kEndSessionWait), then state 30 and
    // every save. Works in any state.
    void EndSession();
    bool Closing() const { return State() == CDocState::Closing; }

    // The message routines. Each brings a hidden window back first.
    // Internal error: 50080 with number, module and line, then the extra text.
    void ShowInternalError(int number, std::string_view module, long line, std::string_view extra = {});
    // A text, then "Error Code = " and the code.
    void ShowError(int textId, int code, const std::vector<std::string>& inserts = {});
    // "Warning " and the code, then the text.
    void ShowWarning(int textId, int code, const std::vector<std::string>& inserts = {});
    void ShowInformation(int textId, const std::vector<std::string>& inserts = {});
    // The message a caught library exception carries.
    void ShowException(const std::string& message);

    // Language texts, for the view and the listeners.
    std::string Text(int id) const;
    std::string Format(int id, const std::vector<std::string>& inserts) const;

private:
    class ScannerHost;

    void EnterState(CDocState state);
    void AdvancePendingAddress();
    bool OpenNow(const std::string& address);
    void ShowBox(CMessageBoxRequest::Kind kind, std::string text);
    bool LoadCoreCacheOrEnd();
    bool CheckIdentity();
    bool OpenUserFiles(CStartUpResult& result);
    void SelectConfiguredScanner();
    bool FirstRunWizardDone() const;
    void SaveSettings();
    void SaveStoredCodes();
    void SaveCoreCache();
    void SaveUserCaches();
    void WaitForBatch(std::chrono::milliseconds limit);

    CAppContext& m_context;
    CUiPort& m_port;
    std::atomic<CDocState> m_state{CDocState::StartUp};
    std::atomic<bool> m_cancelling{false};
    bool m_controlsEnabled = false;
    bool m_hidden = false;
    bool m_storageOnly = false;
    bool m_workOffline = false;
    bool m_webViewMode = false;
    bool m_pageOpened = false;
    CDocState m_beforeRegistration = CDocState::StartUp;
    bool m_pending = false;
    bool m_armed = false;
    std::string m_pendingAddress;
    VTBatchCodeList m_batchList;
    mutable std::mutex m_recordLock;
    CBatchErrorRecord m_batchError;
    std::unique_ptr<CWebLauncher> m_webLauncher;
    std::unique_ptr<CWebPageView> m_webPageView;
    std::unique_ptr<CBatchListener> m_batchListener;
    std::unique_ptr<CRegistrationServerListener> m_registrationListener;
    std::unique_ptr<ScannerHost> m_scannerHost;
    std::unique_ptr<CScannerMgr> m_scanner;
};
