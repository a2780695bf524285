#pragma once

#include "tst/http/htreq.h"
#include "tst/http/htrsp.h"
#include "tst/socket/skdata.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

// States of a transaction; 1 to 6 are busy.
enum TSHttpClientState : int32_t {
    kHttpIdle = 0,
    kHttpStarted = 1,
    kHttpPreparing = 2,
    kHttpConnecting = 3,
    kHttpSending = 4,
    kHttpWaiting = 5,
    kHttpReceiving = 6,
    kHttpDone = 7,
    kHttpFailed = 8,
};

// Why a transaction ended in kHttpFailed.
enum TSHttpClientError : int32_t {
    kHttpErrorNone = 0,
    kHttpErrorCancelled = 1,
    kHttpErrorUnknownHost = 3,
    kHttpErrorConnectFailed = 4,
    kHttpErrorConnectTimedOut = 5,
    kHttpErrorSendFailed = 6,
    kHttpErrorSendTimedOut = 7,
    kHttpErrorReceiveFailed = 8,
    kHttpErrorReceiveTimedOut = 9,
    kHttpErrorPeerClosed = 10,
    kHttpErrorNoHost = 15,
    kHttpErrorBadHead = 16,
    kHttpErrorException = 18,
};

// What a listener is told: the state, and for kHttpFailed the error and
// any message that came with it.
struct TSHttpStateRecord {
    int32_t m_state = kHttpIdle;
    int32_t m_error = kHttpErrorNone;
    std::string m_text;
};

// Seconds each step may take.
struct TSHttpTimeouts {
    uint32_t m_connect = 30;
    uint32_t m_send = 5; // per chunk
    uint32_t m_firstByte = 30;
    uint32_t m_headLine = 1; // each line
    uint32_t m_firstBody = 5;
    uint32_t m_nextBody = 10; // each further read
    // The whole transaction, from the connect to the last body byte; 0 for
    // no bound beyond the steps'.
    uint32_t m_total = 60;
};

struct TSHttpProgress {
    int32_t m_step = 0;
    int32_t m_total = 5;
    bool m_busy = false;
};

class TSHttpTransactionClient;

// Told of every change of a client's state, on the client's worker thread
// (and on the starting thread for kHttpStarted). The owner reads the
// client's state with GetState(false) inside OnHttpStateChange.
class TSHttpTransactionClientListener {
public:
    TSHttpTransactionClientListener() = default;
    TSHttpTransactionClientListener(const TSHttpTransactionClientListener&) = delete;
    TSHttpTransactionClientListener& operator=(const TSHttpTransactionClientListener&) = delete;
    // Detaches from the client it listens to.
    virtual ~TSHttpTransactionClientListener();

    // Calls OnHttpStateChange unless state and error equal the ones last told.
    virtual void Notify(const TSHttpStateRecord& record);
    virtual TSHttpStateRecord GetLastState() const;
    virtual void OnHttpStateChange() = 0;

    TSHttpTransactionClient* GetClient() const { return m_client.load(); }

private:
    friend class TSHttpTransactionClient;

    mutable std::mutex m_lastLock;
    TSHttpStateRecord m_lastState;
    std::atomic<TSHttpTransactionClient*> m_client{nullptr};
};

// Runs one HTTP/1.0 transaction at a time on a worker thread of its own:
// connect (directly or through a proxy), send the request, read the
// response, and tell the listener each state on the way. The worker is
// started with the first transaction and waits for the next one until the
// client goes.
class TSHttpTransactionClient {
public:
    static constexpr int32_t kProgressTotal = 5;
    static constexpr uint32_t kDefaultChunkSize = 1024;
    static constexpr uint64_t kDefaultMaxBodySize = 16u * 1024 * 1024;

    TSHttpTransactionClient();
    // Cancels and waits for a running transaction, then detaches the listener.
    ~TSHttpTransactionClient();
    TSHttpTransactionClient(const TSHttpTransactionClient&) = delete;
    TSHttpTransactionClient& operator=(const TSHttpTransactionClient&) = delete;

    // Takes a copy; "Invalid state" while busy.
    void SetRequest(const TSHttpRequest& request);
    TSHttpRequest GetRequest() const;
    // "host:port", or empty for a direct connection; anything else is
    // "Invalid address" and nothing is stored.
    void SetProxy(std::string_view proxy);
    // A host without blanks or control characters, ':' and a port from 1 to 65535.
    static bool IsValidProxy(std::string_view proxy);
    std::string GetProxy() const;
    void SetTimeouts(const TSHttpTimeouts& timeouts);
    TSHttpTimeouts GetTimeouts() const;
    // Bytes per send; zero is a programming error.
    void SetChunkSize(uint32_t bytes);
    uint32_t GetChunkSize() const;
    // A response body larger than this fails the transaction with
    // kHttpErrorReceiveFailed rather than filling the memory.
    void SetMaxBodySize(uint64_t bytes);
    uint64_t GetMaxBodySize() const;

    // "Invalid state" when attaching while busy; detaching (null) is always
    // allowed and waits for a notification in progress.
    void SetListener(TSHttpTransactionClientListener* listener);

    // kHttpStarted, then the worker; "Invalid state" while busy, "Thread
    // error" when no thread can be started.
    void Start();
    // With `join`, a finished worker (state 7 or 8) is joined, except from
    // the worker itself.
    TSHttpStateRecord GetState(bool join = false);
    TSHttpProgress GetProgress() const;
    bool IsBusy() const;
    // Valid in kHttpDone.
    TSHttpResponse GetResponse() const;

    // Ends a running transaction with kHttpErrorCancelled at its next step
    // or within about a second of waiting on the socket.
    void Cancel();
    void ResetCancel();

private:
    struct Settings;
    struct Failure;
    class Worker;
    enum class Step { kConnect, kSend, kReceive };

    void Run();
    void Transact();
    Settings TakeSettings();
    std::string TargetOf(const Settings& settings, std::string& requestText) const;
    void SendRequest(TSDataSocket& socket, const std::string& text, const Settings& settings);
    TSHttpResponse ReceiveResponse(TSDataSocket& socket, const Settings& settings);
    void ReceiveBody(TSDataSocket& socket, TSHttpResponse& response, const Settings& settings);
    static void Check(int32_t socketResult, Step step, std::string why = {});
    // A time-out past the whole transaction's deadline says so, naming the peer.
    void NoteDeadline(Failure& failure, const Settings& settings, const std::string& target) const;
    void CheckCancel() const;
    void SetState(int32_t state, int32_t error = kHttpErrorNone, std::string text = {});
    void NotifyListener(const TSHttpStateRecord& record);
    void JoinWorker();
    static bool IsBusyState(int32_t state) { return state >= kHttpStarted && state <= kHttpReceiving; }

    mutable std::mutex m_lock;
    TSHttpRequest m_request;
    TSHttpResponse m_response;
    TSHttpTransactionClientListener* m_listener = nullptr;
    std::mutex m_listenerLock;
    TSHttpStateRecord m_state;
    std::string m_proxy;
    std::atomic<bool> m_cancel{false};
    TSClientSocket m_socket;
    std::unique_ptr<Worker> m_worker;
    uint32_t m_chunkSize = kDefaultChunkSize;
    TSHttpTimeouts m_timeouts;
    uint64_t m_maxBodySize = kDefaultMaxBodySize;
};
