// http_client HOST PORT COUNT: COUNT sequential POST transactions of about
// 1 KB against http://HOST:PORT/, one line per transaction with its time
// in microseconds (and the error when it failed).
#include "tst/http/htclient.h"
#include "tst/tsexcep.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

namespace {

class EndListener : public TSHttpTransactionClientListener {
public:
    void OnHttpStateChange() override
    {
        const int32_t state = GetLastState().m_state;
        if (state != kHttpDone && state != kHttpFailed)
            return;
        {
            std::lock_guard guard(m_lock);
            m_ended = true;
        }
        m_changed.notify_one();
    }

    void Wait()
    {
        std::unique_lock guard(m_lock);
        m_changed.wait(guard, [&] { return m_ended; });
        m_ended = false;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_ended = false;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: http_client HOST PORT COUNT\n");
        return 2;
    }
    const long count = std::atol(argv[3]);
    TSHttpRequest request;
    try {
        request.SetVerb(kHttpPost);
        request.SetUrl(std::string("http://") + argv[1] + ":" + argv[2] + "/");
    } catch (const TSException& error) {
        std::fprintf(stderr, "%s\n", error.GetMessage().c_str());
        return 2;
    }
    request.SetContentType(kContentTextXml);
    request.SetBody("<?xml version=\"1.0\"?>\n<SPLIT>" + std::string(984, 'q') + "</SPLIT>\n");
    request.SetContentLengthAndHost();

    TSHttpTransactionClient client;
    EndListener listener;
    client.SetListener(&listener);
    int failed = 0;
    for (long i = 0; i < count; ++i) {
        const auto start = std::chrono::steady_clock::now();
        client.ResetCancel();
        client.SetRequest(request);
        client.Start();
        listener.Wait();
        const TSHttpStateRecord end = client.GetState(true);
        const auto micros =
            std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count();
        if (end.m_state == kHttpDone) {
            std::printf("%lld\n", static_cast<long long>(micros));
        } else {
            ++failed;
            std::printf("%lld error %d %s\n", static_cast<long long>(micros), end.m_error, end.m_text.c_str());
        }
    }
    return failed == 0 ? 0 : 1;
}
