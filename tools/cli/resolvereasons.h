#pragma once

#include "tst/http/htclient.h"
#include "vtkit/svrdata.h"
#include "vtkit/svrerror.h"

#include <cstdint>
#include <string>
#include <string_view>

// The status of a batch code by name, for the table beside its number.
std::string StatusName(std::int32_t status);

// "host:port" of the server a record's commands go to; "" when it has none.
std::string ServerAddress(const VTServerData& record);

// Where the requests of one server went: its role ("the routing server"),
// its address, and the proxy in between, if any.
struct ServerRoute {
    std::string role;
    std::string address;
    std::string proxy;
};

// Why an exchange with the server failed, in plain words, from the
// toolkit's error record: "the routing server 127.0.0.1:8470 could not be
// reached: connection refused".
std::string ExchangeFailure(const VTServerError& error, const ServerRoute& route,
                            const TSHttpTimeouts& timeouts);

// The error is the network's (no connection, no answer), not the server's.
bool IsNetworkFailure(const VTServerError& error);

// For a text of digits that no code type takes: which type it would be with
// another last digit ("as UPCA its check digit would be 2"); "" when none.
std::string CheckDigitHint(std::string_view text);
