#pragma once

#include "vtkit/cdformat.h"
#include "vtkit/svrdata.h"
#include "vtkit/svrerror.h"
#include "vtkit/vtbatchlist.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class VTCodeDescriptionList;
class VTToolkit;
class VTServerExchange;

// One code of a description group.
struct VTBatchItem {
    std::string itemId;
    std::string code;       // the canonical code
    std::int32_t index = 0; // where the code stands in the batch list
};

// A description server and the codes to be asked of it, in list order.
struct VTBatchDescriptionServer {
    VTServerData record;
    std::vector<VTBatchItem> items;
};

// How a batch reports. Callbacks run on the batch's worker (progress also
// on an HTTP worker) and never under the processor's monitor: OnBatchError
// and OnBatchUrlsReady may hold the worker until the client's own thread
// has answered, and that thread may meanwhile ask IsRunning, GetList or
// GetLastError. OnBatchProgress must not block. OnBatchFinished comes once
// IsRunning says false; a thread that asks then waits for the worker to
// end, so OnBatchFinished must not wait for such a thread.
class VTBatchCodeListener {
public:
    // What to do about a failed query: cancel the batch, send the query
    // again, or go on without its answer (the client's "Skip").
    enum Decision : std::int32_t { kCancel = 0, kRetry = 1, kGoOn = 2 };

    virtual ~VTBatchCodeListener();

    // A query of `phase` failed; `serverName` names the description server
    // in phase 2. A value outside the three decisions is an internal error.
    virtual Decision OnBatchError(std::int32_t phase, const VTServerError& error,
                                  const std::string& serverName);
    virtual void OnBatchProgress(std::int32_t phase, std::int32_t position, std::int32_t total);
    // Every code that could get an address has one.
    virtual void OnBatchUrlsReady(const VTBatchCodeList& list);
    // The worker is about to end.
    virtual void OnBatchFinished();
};

// Turns a list of codes into web addresses and descriptions on a worker
// thread of its own: recognition with code formats, routing with server
// templates, address building, and descriptions from the description
// servers. Formats and templates come from the toolkit's caches, or from
// the routing server when the caches lack them.
class VTBatchCodeProcessor {
public:
    enum Phase : std::int32_t { kPhaseFormats = 0, kPhaseTemplates = 1, kPhaseDescriptions = 2 };
    enum StartResult : std::int32_t { kStarted = 0, kListEmpty = 1, kAlreadyRunning = 2, kThreadFailed = 3 };
    enum ErrorSource : std::int32_t { kNoErrorSource = 0, kServerError = 1, kCodeErrors = 2 };

    // Answers "NUM" 100 (server busy) are repeated at once without asking
    // the listener, but only this many times in a row: a server that never
    // stops answering so would hold the batch for ever.
    static constexpr int kMaxBusyRetries = 10;

    // The toolkit is required.
    explicit VTBatchCodeProcessor(VTToolkit* toolkit);
    VTBatchCodeProcessor(const VTBatchCodeProcessor&) = delete;
    VTBatchCodeProcessor& operator=(const VTBatchCodeProcessor&) = delete;
    // Cancels a running batch and waits for its worker.
    virtual ~VTBatchCodeProcessor();

    // Not owned; null detaches. Waits until no callback to the previous
    // listener is in progress on another thread, so a replaced listener is
    // never called again; hence not from a thread whose answer a callback
    // is waiting for.
    void SetListener(VTBatchCodeListener* listener);
    void SetList(const VTBatchCodeList& list);
    // A handle to the list, shared with the worker while it runs.
    VTBatchCodeList GetList();
    bool IsRunning();

    // With `urlsReady` the listener hears when the addresses are built;
    // `offline` asks no server and takes expired cache entries.
    std::int32_t Start(bool urlsReady, bool offline);
    // The worker notices between phases and after each query; the running
    // query is aborted.
    void Cancel();

    void GetLastError(VTServerError& record);
    std::int32_t GetLastErrorSource();

private:
    class InternalListener;
    class ListenerCall;
    class Semaphore {
    public:
        void Release();
        void Acquire();
        void Drain();

    private:
        std::mutex m_lock;
        std::condition_variable m_changed;
        std::size_t m_count = 0;
    };
    enum class QueryResult { kGood, kCancelled, kSkipped, kNotSent };

    void Run(VTBatchCodeList list);
    void RunPhases(VTBatchCodeList& list);
    void EndRun(VTBatchCodeList& list);
    // Joins a worker that has ended, outside the monitor.
    void JoinFinished();

    void Recognise(VTBatchCodeList& list);
    void Route(VTBatchCodeList& list);
    void BuildAddresses(VTBatchCodeList& list);
    void Describe(VTBatchCodeList& list);
    bool DescribeGroup(VTBatchCodeList& list, const VTBatchDescriptionServer& group);
    void TakeAnswers(VTBatchCodeList& list, const VTBatchDescriptionServer& group,
                     const VTCodeDescriptionList& answers);

    void ReceiveFormats(VTBatchCodeList& list);
    void ReceiveTemplates(VTBatchCodeList& list);
    void ExpiredFormatPass(VTBatchCodeList& list);
    void ExpiredTemplatePass(VTBatchCodeList& list);
    // Decomposes the code with the format: recognised, or invalid.
    static void Decompose(VTBatchCode& code, const VTCodeFormat& format);

    // Sends the routing query until it is answered, skipped or cancelled.
    QueryResult QueryLoop(VTBatchCodeList& list, std::int32_t phase, const std::function<bool()>& send);
    // Waits for the started exchange; the error is empty when it went well.
    VTServerError AwaitExchange(VTServerExchange& exchange);
    bool IsBusy(const VTServerError& error, int& busyRetries) const;
    std::int32_t AskListener(std::int32_t phase, const VTServerError& error, const std::string& serverName);
    // Calls the listener, when there is one, without holding the monitor;
    // false when there is none.
    bool CallListener(const std::function<void(VTBatchCodeListener&)>& call);
    void KeepError(const VTServerError& error);
    static bool IsAborted(const VTServerError& error);

    void SetReporting(std::int32_t phase, std::int32_t multiplier);
    void AddProgressBase(std::int32_t amount);
    void ReportProgress(std::int32_t step);

    static void SetStatus(VTBatchCodeList& list, std::int32_t from, std::int32_t to);

    std::recursive_mutex m_monitor;
    VTToolkit* m_toolkit;
    VTBatchCodeListener* m_listener = nullptr;
    // Listener calls in progress, and their end for SetListener.
    int m_callsOutside = 0;
    std::condition_variable_any m_callsDone;
    bool m_running = false;
    std::int32_t m_progressBase = 0;
    std::int32_t m_progressTotal = 0;
    std::atomic<bool> m_cancel{false};
    bool m_reporting = true;
    bool m_urlsReady = false;
    bool m_offline = false;
    bool m_allAddressOnly = false;
    bool m_allRecognitionOnly = false;
    VTServerError m_lastError;
    VTBatchCodeList m_list;
    std::thread m_thread;
    std::int32_t m_phase = kPhaseFormats;
    std::int32_t m_multiplier = 1;
    Semaphore m_semaphore;
    std::int32_t m_lastErrorSource = kNoErrorSource;
    std::unique_ptr<InternalListener> m_internalListener;
};
