#include "bench/benchclient.h"

std::string BenchRequestBody()
{
    return "<?xml version=\"1.0\"?>\n<SPLIT>" + std::string(984, 'q') + "</SPLIT>\n";
}

TSHttpRequest BenchRequest(const std::string& host, const std::string& port)
{
    TSHttpRequest request;
    request.SetVerb(kHttpPost);
    request.SetUrl("http://" + host + ":" + port + "/route");
    request.SetContentType(kContentTextXml);
    request.SetBody(BenchRequestBody());
    request.SetContentLengthAndHost();
    return request;
}

void EndListener::OnHttpStateChange()
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

void EndListener::Wait()
{
    std::unique_lock guard(m_lock);
    m_changed.wait(guard, [&] { return m_ended; });
    m_ended = false;
}

TSHttpStateRecord RunTransaction(TSHttpTransactionClient& client, EndListener& listener,
                                 const TSHttpRequest& request)
{
    client.ResetCancel();
    client.SetRequest(request);
    client.Start();
    listener.Wait();
    // As the owners do once they have been told of the end.
    return client.GetState(true);
}
