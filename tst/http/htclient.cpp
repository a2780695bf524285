#include "tst/http/htclient.h"

#include "tst/http/htexcep.h"
#include "tst/http/htskutil.h"
#include "tst/socket/skexcep.h"
#include "tst/tsexcep.h"
#include "tst/tsstrutl.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <system_error>
#include <thread>

namespace {

// The client whose worker runs on this thread, so that it never joins itself.
thread_local const TSHttpTransactionClient* t_workerOf = nullptr;

constexpr int32_t kProgressSteps[] = {0, 0, 0, 1, 2, 3, 4, 5, 0};

} // namespace

bool TSHttpTransactionClient::IsValidProxy(std::string_view proxy)
{
    const auto colon = proxy.rfind(':');
    if (colon == std::string_view::npos || colon == 0 || colon + 1 == proxy.size())
        return false;
    const std::string_view host = proxy.substr(0, colon);
    if (std::any_of(host.begin(), host.end(),
                    [](char c) { return static_cast<unsigned char>(c) <= ' ' || c == 0x7F; }))
        return false;
    const std::string_view port = proxy.substr(colon + 1);
    if (!IsAllDigits(port))
        return false;
    // Port 0 reaches nothing; beyond TCP's range a port would wrap.
    const std::string digits = StripLeadingZeros(port);
    if (digits.size() > 5)
        return false;
    const long value = digits.empty() ? 0 : ParseDecimal(digits.data(), static_cast<int>(digits.size()));
    return value >= 1 && value <= 65535;
}

// What a transaction works from, copied under the lock when it begins.
struct TSHttpTransactionClient::Settings {
    TSHttpRequest m_request;
    std::string m_proxy;
    TSHttpTimeouts m_timeouts;
    uint32_t m_chunkSize = kDefaultChunkSize;
    uint64_t m_maxBodySize = kDefaultMaxBodySize;
};

// Ends a transaction in kHttpFailed.
struct TSHttpTransactionClient::Failure {
    int32_t m_error;
    std::string m_text;
};

// The client's worker thread, started with the first transaction. It then
// waits for the next one: a thread per transaction cost more than a whole
// exchange on loopback (the creation, a fresh stack to fault in, and the
// address-space flush when it ends).
class TSHttpTransactionClient::Worker {
public:
    explicit Worker(TSHttpTransactionClient* client) : m_client(client) {}
    // The owner waits for the transaction first; a pending one still runs.
    ~Worker()
    {
        {
            std::lock_guard guard(m_lock);
            m_stop = true;
        }
        m_changed.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Hands over one transaction; std::system_error when no thread can be started.
    void Submit()
    {
        {
            std::lock_guard guard(m_lock);
            if (!m_thread.joinable())
                m_thread = std::thread(&Worker::Loop, this);
            m_pending = true;
        }
        m_changed.notify_all();
    }

    // Returns once the transaction handed over has ended.
    void Wait()
    {
        std::unique_lock guard(m_lock);
        m_changed.wait(guard, [&] { return !m_pending && !m_running; });
    }

private:
    void Loop()
    {
        t_workerOf = m_client;
        std::unique_lock guard(m_lock);
        for (;;) {
            m_changed.wait(guard, [&] { return m_pending || m_stop; });
            if (!m_pending)
                return;
            m_pending = false;
            m_running = true;
            guard.unlock();
            m_client->Run();
            guard.lock();
            m_running = false;
            m_changed.notify_all();
        }
    }

    TSHttpTransactionClient* m_client;
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_pending = false;
    bool m_running = false;
    bool m_stop = false;
    std::thread m_thread;
};

TSHttpTransactionClientListener::~TSHttpTransactionClientListener()
{
    if (TSHttpTransactionClient* client = m_client.load())
        client->SetListener(nullptr);
}

void TSHttpTransactionClientListener::Notify(const TSHttpStateRecord& record)
{
    {
        std::lock_guard guard(m_lastLock);
        if (record.m_state == m_lastState.m_state && record.m_error == m_lastState.m_error)
            return;
        m_lastState = record;
    }
    OnHttpStateChange();
}

TSHttpStateRecord TSHttpTransactionClientListener::GetLastState() const
{
    std::lock_guard guard(m_lastLock);
    return m_lastState;
}

TSHttpTransactionClient::TSHttpTransactionClient() : m_worker(std::make_unique<Worker>(this)) {}

TSHttpTransactionClient::~TSHttpTransactionClient()
{
    Cancel();
    JoinWorker();
    SetListener(nullptr);
    m_worker.reset();
}

void TSHttpTransactionClient::SetRequest(const TSHttpRequest& request)
{
    std::lock_guard guard(m_lock);
    if (IsBusyState(m_state.m_state))
        throw TSHttpException(TSHttpException::kInvalidState, "a transaction is running");
    m_request = request;
}

TSHttpRequest TSHttpTransactionClient::GetRequest() const
{
    std::lock_guard guard(m_lock);
    return m_request;
}

void TSHttpTransactionClient::SetProxy(std::string_view proxy)
{
    if (!proxy.empty() && !IsValidProxy(proxy))
        throw TSHttpException(TSHttpException::kInvalidAddress, proxy);
    std::lock_guard guard(m_lock);
    m_proxy.assign(proxy);
}

std::string TSHttpTransactionClient::GetProxy() const
{
    std::lock_guard guard(m_lock);
    return m_proxy;
}

void TSHttpTransactionClient::SetTimeouts(const TSHttpTimeouts& timeouts)
{
    std::lock_guard guard(m_lock);
    m_timeouts = timeouts;
}

TSHttpTimeouts TSHttpTransactionClient::GetTimeouts() const
{
    std::lock_guard guard(m_lock);
    return m_timeouts;
}

void TSHttpTransactionClient::SetChunkSize(uint32_t bytes)
{
    TS_ASSERT_MSG(bytes > 0, "chunk size must not be zero");
    std::lock_guard guard(m_lock);
    m_chunkSize = bytes;
}

uint32_t TSHttpTransactionClient::GetChunkSize() const
{
    std::lock_guard guard(m_lock);
    return m_chunkSize;
}

void TSHttpTransactionClient::SetMaxBodySize(uint64_t bytes)
{
    std::lock_guard guard(m_lock);
    m_maxBodySize = bytes;
}

uint64_t TSHttpTransactionClient::GetMaxBodySize() const
{
    std::lock_guard guard(m_lock);
    return m_maxBodySize;
}

void TSHttpTransactionClient::SetListener(TSHttpTransactionClientListener* listener)
{
    // A listener moving over from another client leaves that one first.
    TSHttpTransactionClient* previousClient = listener ? listener->m_client.load() : nullptr;
    if (previousClient && previousClient != this)
        previousClient->SetListener(nullptr);

    std::lock_guard guard(m_listenerLock);
    if (listener && IsBusy())
        throw TSHttpException(TSHttpException::kInvalidState, "a transaction is running");
    if (m_listener)
        m_listener->m_client.store(nullptr);
    m_listener = listener;
    if (m_listener)
        m_listener->m_client.store(this);
}

void TSHttpTransactionClient::Start()
{
    if (IsBusy())
        throw TSHttpException(TSHttpException::kInvalidState, "a transaction is running");
    // The worker of the previous transaction may still be telling its end.
    JoinWorker();
    {
        std::lock_guard guard(m_lock);
        if (IsBusyState(m_state.m_state))
            throw TSHttpException(TSHttpException::kInvalidState, "a transaction is running");
        m_state = TSHttpStateRecord{kHttpStarted, kHttpErrorNone, {}};
    }
    try {
        NotifyListener(TSHttpStateRecord{kHttpStarted, kHttpErrorNone, {}});
        m_worker->Submit();
    } catch (const std::system_error& error) {
        SetState(kHttpIdle);
        throw TSHttpException(TSHttpException::kThreadError, error.what());
    } catch (...) {
        // A listener that throws must not leave the client busy for ever.
        std::lock_guard guard(m_lock);
        m_state = TSHttpStateRecord{};
        throw;
    }
}

TSHttpStateRecord TSHttpTransactionClient::GetState(bool join)
{
    TSHttpStateRecord record;
    {
        std::lock_guard guard(m_lock);
        record = m_state;
    }
    if (join && (record.m_state == kHttpDone || record.m_state == kHttpFailed))
        JoinWorker();
    return record;
}

TSHttpProgress TSHttpTransactionClient::GetProgress() const
{
    std::lock_guard guard(m_lock);
    const int32_t state = m_state.m_state;
    TSHttpProgress progress;
    progress.m_step = state >= kHttpIdle && state <= kHttpFailed ? kProgressSteps[state] : 0;
    progress.m_total = kProgressTotal;
    progress.m_busy = IsBusyState(state);
    return progress;
}

bool TSHttpTransactionClient::IsBusy() const
{
    std::lock_guard guard(m_lock);
    return IsBusyState(m_state.m_state);
}

TSHttpResponse TSHttpTransactionClient::GetResponse() const
{
    std::lock_guard guard(m_lock);
    return m_response;
}

void TSHttpTransactionClient::Cancel()
{
    m_cancel.store(true);
    m_socket->SetCancel(true);
}

void TSHttpTransactionClient::ResetCancel()
{
    m_cancel.store(false);
    m_socket->SetCancel(false);
}

void TSHttpTransactionClient::JoinWorker()
{
    if (t_workerOf == this)
        return;
    m_worker->Wait();
}

void TSHttpTransactionClient::SetState(int32_t state, int32_t error, std::string text)
{
    TSHttpStateRecord record{state, error, std::move(text)};
    {
        std::lock_guard guard(m_lock);
        m_state = record;
    }
    NotifyListener(record);
}

void TSHttpTransactionClient::NotifyListener(const TSHttpStateRecord& record)
{
    std::lock_guard guard(m_listenerLock);
    if (m_listener)
        m_listener->Notify(record);
}

void TSHttpTransactionClient::Run()
{
    Failure failure{kHttpErrorNone, {}};
    try {
        Transact();
    } catch (Failure& ended) {
        failure = std::move(ended);
    } catch (const TSException& error) {
        failure = Failure{kHttpErrorException, error.GetMessage()};
    } catch (const std::exception& error) {
        failure = Failure{kHttpErrorException, error.what()};
    } catch (...) {
        failure = Failure{kHttpErrorException, "Unknown exception type"};
    }
    m_socket->Close();
    if (failure.m_error != kHttpErrorNone) {
        try {
            SetState(kHttpFailed, failure.m_error, std::move(failure.m_text));
        } catch (...) {
            // The state is stored; a listener that throws again is not told twice.
        }
    }
}

void TSHttpTransactionClient::Transact()
{
    CheckCancel();
    SetState(kHttpPreparing);
    const Settings settings = TakeSettings();
    std::string requestText;
    const std::string target = TargetOf(settings, requestText);

    TSDataSocket& socket = *m_socket;
    socket.SetAddress(target);
    if (socket.Resolve() != kSocketDone)
        throw Failure{kHttpErrorUnknownHost, {}};
    CheckCancel();
    const uint32_t total = settings.m_timeouts.m_total;
    socket.SetDeadline(total ? TSDataSocket::Clock::now() + std::chrono::seconds(total)
                             : TSDataSocket::Clock::time_point::max());
    TSHttpResponse response;
    try {
        SetState(kHttpConnecting);
        Check(socket.Connect(settings.m_timeouts.m_connect), Step::kConnect);
        SetState(kHttpSending);
        SendRequest(socket, requestText, settings);
        response = ReceiveResponse(socket, settings);
    } catch (Failure& failure) {
        NoteDeadline(failure, settings, target);
        socket.SetDeadline(TSDataSocket::Clock::time_point::max());
        throw;
    }
    socket.SetDeadline(TSDataSocket::Clock::time_point::max());
    socket.Close();
    {
        std::lock_guard guard(m_lock);
        m_response = std::move(response);
    }
    SetState(kHttpDone);
}

TSHttpTransactionClient::Settings TSHttpTransactionClient::TakeSettings()
{
    std::lock_guard guard(m_lock);
    return Settings{m_request, m_proxy, m_timeouts, m_chunkSize, m_maxBodySize};
}

std::string TSHttpTransactionClient::TargetOf(const Settings& settings, std::string& requestText) const
{
    std::string target;
    if (!settings.m_proxy.empty()) {
        target = settings.m_proxy;
        requestText = settings.m_request.FormatRequest(true);
    } else {
        const TSHttpUrl& url = settings.m_request.GetUrl();
        if (url.m_host.empty())
            throw Failure{kHttpErrorNoHost, {}};
        target = url.m_host;
        if (url.m_port > 0 && url.m_port != 80)
            target.append(":").append(FormatUnsigned(static_cast<unsigned long>(url.m_port)));
        requestText = settings.m_request.FormatRequest(false);
    }
    if (target.find(':') == std::string::npos)
        target.append(":80");
    return target;
}

void TSHttpTransactionClient::SendRequest(TSDataSocket& socket, const std::string& text,
                                          const Settings& settings)
{
    Check(socket.SendChunked(text.data(), text.size(), settings.m_chunkSize, settings.m_timeouts.m_send),
          Step::kSend);
}

TSHttpResponse TSHttpTransactionClient::ReceiveResponse(TSDataSocket& socket, const Settings& settings)
{
    SetState(kHttpWaiting);
    std::string head;
    Check(socket.ReceiveExactly(head, 1, settings.m_timeouts.m_firstByte), Step::kReceive);

    SetState(kHttpReceiving);
    TSHttpResponse response;
    try {
        std::string why;
        const int32_t result = HttpReadHead(socket, head, settings.m_timeouts.m_headLine, why);
        Check(result, Step::kReceive, why);
        try {
            response.ParseHead(head);
        } catch (const TSHttpException& error) {
            throw Failure{kHttpErrorBadHead, error.GetMessage()};
        }
        if (settings.m_request.GetVerb() != kHttpHead)
            ReceiveBody(socket, response, settings);
    } catch (const TSSocketException&) {
        // A call on a connection the peer has ended.
        throw Failure{socket.IsConnected() ? kHttpErrorReceiveFailed : kHttpErrorPeerClosed, {}};
    }
    return response;
}

void TSHttpTransactionClient::ReceiveBody(TSDataSocket& socket, TSHttpResponse& response,
                                          const Settings& settings)
{
    std::optional<uint64_t> length;
    uint64_t declared = 0;
    if (response.GetContentLength(declared))
        length = declared;
    TSHttpBodyRead read;
    read.m_chunkSize = settings.m_chunkSize;
    read.m_firstTimeout = settings.m_timeouts.m_firstBody;
    read.m_nextTimeout = settings.m_timeouts.m_nextBody;
    read.m_maxSize = settings.m_maxBodySize;
    std::string why;
    const int32_t result = HttpReadBody(socket, response.GetBody(), length, read, why);
    Check(result, Step::kReceive, why);
}

void TSHttpTransactionClient::NoteDeadline(Failure& failure, const Settings& settings,
                                           const std::string& target) const
{
    const bool timedOut = failure.m_error == kHttpErrorConnectTimedOut ||
                          failure.m_error == kHttpErrorSendTimedOut ||
                          failure.m_error == kHttpErrorReceiveTimedOut;
    if (!timedOut || settings.m_timeouts.m_total == 0 || !m_socket->IsPastDeadline())
        return;
    failure.m_text = "no complete answer from " + target + " within " +
                     FormatUnsigned(static_cast<unsigned long>(settings.m_timeouts.m_total)) + " s";
}

void TSHttpTransactionClient::CheckCancel() const
{
    if (m_cancel.load())
        throw Failure{kHttpErrorCancelled, {}};
}

void TSHttpTransactionClient::Check(int32_t socketResult, Step step, std::string why)
{
    static constexpr int32_t kErrors[3][5] = {
        // done, timed out, failed, closed, cancelled
        {kHttpErrorNone, kHttpErrorConnectTimedOut, kHttpErrorConnectFailed, kHttpErrorPeerClosed,
         kHttpErrorCancelled},
        {kHttpErrorNone, kHttpErrorSendTimedOut, kHttpErrorSendFailed, kHttpErrorPeerClosed,
         kHttpErrorCancelled},
        {kHttpErrorNone, kHttpErrorReceiveTimedOut, kHttpErrorReceiveFailed, kHttpErrorPeerClosed,
         kHttpErrorCancelled},
    };
    if (socketResult == kSocketDone)
        return;
    const int32_t result = std::clamp<int32_t>(socketResult, kSocketTimedOut, kSocketCancelled);
    throw Failure{kErrors[static_cast<int>(step)][result], std::move(why)};
}
