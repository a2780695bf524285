// http_client HOST PORT COUNT: COUNT sequential POST transactions of about
// 1 KB to http://HOST:PORT/route, one line per transaction with its time
// in microseconds (and the error when it failed).
#include "bench/benchclient.h"
#include "tst/tsexcep.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: http_client HOST PORT COUNT\n");
        return 2;
    }
    const long count = std::atol(argv[3]);
    TSHttpRequest request;
    try {
        request = BenchRequest(argv[1], argv[2]);
    } catch (const TSException& error) {
        std::fprintf(stderr, "%s\n", error.GetMessage().c_str());
        return 2;
    }

    TSHttpTransactionClient client;
    EndListener listener;
    client.SetListener(&listener);
    int failed = 0;
    for (long i = 0; i < count; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const TSHttpStateRecord end = RunTransaction(client, listener, request);
        const auto micros =
            std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start)
                .count();
        if (end.m_state == kHttpDone) {
            std::printf("%lld\n", static_cast<long long>(micros));
        } else {
            ++failed;
            std::printf("%lld error %d %s\n", static_cast<long long>(micros), end.m_error,
                        end.m_text.c_str());
        }
    }
    return failed == 0 ? 0 : 1;
}
