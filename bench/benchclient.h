#pragma once

#include "tst/http/htclient.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

// The request every HTTP benchmark sends: a POST of about 1 KB of XML.
TSHttpRequest BenchRequest(const std::string& host, const std::string& port);
std::string BenchRequestBody();

// Lets the thread that started a transaction wait for its end.
class EndListener : public TSHttpTransactionClientListener {
public:
    void OnHttpStateChange() override;
    void Wait();

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_ended = false;
};

// Runs one transaction on `client` and waits for it; the final state.
TSHttpStateRecord RunTransaction(TSHttpTransactionClient& client, EndListener& listener,
                                 const TSHttpRequest& request);
