#pragma once

#include "tests/exchange/exchangewaiter.h"
#include "tests/support/loopbackserver.h"
#include "tests/vtkit/codetest.h"
#include "tst/tsexcep.h"
#include "vtkit/svrdata.h"
#include "vtkit/svrerror.h"
#include "vtkit/vtcrypt.h"
#include "vtkit/vtcsum.h"
#include "vtkit/vtexcep.h"
#include "vtkit/vttoolkit.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

// A blinded id built from its parts as the server would: the check value
// of clear id and salt, then both scrambled with it as seed.
inline std::string BlindedFor(const std::string& clearId, const std::string& salt)
{
    const std::string body = clearId + salt;
    const int check = PositionalChecksum(body);
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02d", check);
    return digits + VTDigitScrambler(static_cast<std::uint32_t>(check)).Scramble(body);
}

inline const std::string kClearId = "123456789";
inline const std::string kBlindedId = BlindedFor(kClearId, "0042");

// A toolkit whose servers are one scriptable loopback server, with a valid
// user id and the client's description filled in.
class ExchangeTest : public ::testing::Test {
protected:
    ExchangeTest()
    {
        VTUserId userId;
        userId.SetBlindedId(kBlindedId);
        m_toolkit.SetUserId(userId);
        m_toolkit.SetClientVariables({.capp = "PC", .cver = "4.1"});
        m_toolkit.SetTimeouts(TSHttpTimeouts{5, 5, 10, 5, 5, 5});
        SetCoreRecord(kServerTypeRouting,
                      {{kCommandSplit, m_server.Url("/split")}, {kCommandGet, m_server.Url("/get")}});
        SetCoreRecord(kServerTypeRegistration,
                      {{kCommandAttach, m_server.Url("/attach?login=<^LOGIN^>&pw=<^PASSWORD^>")}});
        SetCoreRecord(kServerTypeHelp, {{"HELP1", "http://help.example/1"}});
        m_toolkit.GetRoutingServer().SetListener(&m_waiter);
        m_toolkit.GetResolutionServer().SetListener(&m_waiter);
        m_toolkit.GetRegistrationServer().SetListener(&m_waiter);
    }

    void SetCoreRecord(const char* type, const std::vector<std::pair<std::string, std::string>>& commands)
    {
        VTServerData record;
        record.SetServerType(type);
        for (const auto& [name, urlTemplate] : commands)
            record.SetCommand(name, urlTemplate);
        m_toolkit.GetCoreCache().SetRecord(record);
    }

    // The head a POST of `body` carries to this server.
    std::string PostHead(const std::string& path, const std::string& contentType, std::size_t length) const
    {
        return "POST " + path + " HTTP/1.0\r\nContent-Length: " + std::to_string(length) +
               "\r\nContent-Type: " + contentType + "\r\nHost: " + m_server.Address() + "\r\n\r\n";
    }

    // Runs one exchange to its end: the outcome told and the state after it.
    template <class Exchange> ExchangeWaiter::Outcome Finish(Exchange& exchange)
    {
        const ExchangeWaiter::Outcome outcome = m_waiter.Wait();
        exchange.GetState(true);
        return outcome;
    }

    template <class Exchange> std::string ErrorCode(const Exchange& exchange) const
    {
        VTServerError error;
        exchange.GetError(error);
        return error.GetErrorCode();
    }

    template <class Exchange> VTServerError Error(const Exchange& exchange) const
    {
        VTServerError error;
        exchange.GetError(error);
        return error;
    }

    // The toolkit goes first, ending any exchange before its listener and server.
    LoopbackHttpServer m_server;
    ExchangeWaiter m_waiter;
    VTToolkit m_toolkit;
};

// A reply document with the declaration the servers send.
inline HttpReply XmlReply(const std::string& body, const std::string& status = "HTTP/1.0 200 OK",
                          const std::string& contentType = "text/xml")
{
    HttpReply reply = HttpReply::Ok("<?xml version='1.0'?>\n" + body, contentType);
    reply.m_statusLine = status;
    return reply;
}
