#include "platform/instance.h"
#include "tests/cli/cliprocess.h"
#include "tests/support/deadsocket.h"
#include "tests/support/temphome.h"
#include "vtkit/bcdblock.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

namespace {

using platform::InstanceMessage;
using Entries = std::vector<VTBarcodeDataBlockEntry>;

// A stand-in for the running client on the channel, in a throw-away home:
// it keeps what it is handed.
class CliSendTest : public ::testing::Test {
protected:
    void Listen() { ASSERT_EQ(m_server.Start(), platform::InstanceServer::StartResult::kListening); }
    std::vector<InstanceMessage> Received()
    {
        std::lock_guard guard(m_lock);
        return m_received;
    }
    // The codes of the one data block received.
    Entries ReceivedCodes()
    {
        const auto received = Received();
        if (received.size() != 1 || received[0].kind != InstanceMessage::Kind::kDataCopy ||
            received[0].number != InstanceMessage::kBarcodeDataBlock)
            return {{kScanTypeUnknown, "not one data block"}};
        VTBarcodeDataBlock block;
        const std::string& bytes = received[0].data;
        if (!block.Parse(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()))
            return {{kScanTypeUnknown, "malformed"}};
        return block.Entries();
    }

    TempHome m_home;
    std::mutex m_lock;
    std::vector<InstanceMessage> m_received;
    platform::InstanceServer m_server{[this](const InstanceMessage& message) {
        std::lock_guard guard(m_lock);
        m_received.push_back(message);
    }};
};

TEST_F(CliSendTest, CodesReachTheRunningClientAsOneDataBlock)
{
    Listen();
    CliProcess cli({"send", "--type", "b", "012345678905", "0 12345 67890 5"});
    EXPECT_EQ(cli.Wait(), 0) << cli.Stderr();
    EXPECT_EQ(cli.Stdout(), "TYPE  TEXT\n"
                            "2     012345678905\n"
                            "2     0 12345 67890 5\n");
    EXPECT_EQ(cli.Stderr(), "");
    EXPECT_EQ(ReceivedCodes(), (Entries{{kScanTypeUPC, "012345678905"}, {kScanTypeUPC, "0 12345 67890 5"}}));
}

// The client gets the bytes as they are; the table shows them escaped.
TEST_F(CliSendTest, TablesShowControlCharactersEscaped)
{
    Listen();
    CliProcess tsv({"send", "--tsv", "a\x1b[1mb"});
    EXPECT_EQ(tsv.Wait(), 0) << tsv.Stderr();
    EXPECT_EQ(tsv.Stdout(), "TYPE\tTEXT\n0\ta\\e[1mb\n");
    EXPECT_EQ(ReceivedCodes(), (Entries{{kScanTypeUnknown, "a\x1b[1mb"}}));
}

TEST_F(CliSendTest, WithoutATypeEveryCodeFamilyIsTried)
{
    Listen();
    CliProcess cli({"send", "--json", "http://example.com/a?b=\"c\"", "V12"});
    EXPECT_EQ(cli.Wait(), 0) << cli.Stderr();
    EXPECT_EQ(cli.Stdout(), "{\"type\":0,\"text\":\"http://example.com/a?b=\\\"c\\\"\"}\n"
                            "{\"type\":0,\"text\":\"V12\"}\n");
    EXPECT_EQ(ReceivedCodes(),
              (Entries{{kScanTypeUnknown, "http://example.com/a?b=\"c\""}, {kScanTypeUnknown, "V12"}}));
}

// With no client running, or only the socket of one that died, it says so.
TEST_F(CliSendTest, NoClientRunning)
{
    for (const bool stale : {false, true}) {
        SCOPED_TRACE(stale);
        if (stale)
            LeaveDeadSocket(platform::InstanceSocketPath());
        CliProcess cli({"send", "012345678905"});
        EXPECT_EQ(cli.Wait(), 1);
        EXPECT_EQ(cli.Stdout(), "");
        EXPECT_EQ(cli.Stderr(), "lumora-cli: no Lumora client is running for this user\n");
    }
}

TEST_F(CliSendTest, BadUsageAndTooMuch)
{
    Listen();
    const struct {
        std::vector<std::string> args;
        int status;
        std::string error;
    } cases[] = {
        {{}, 2, "lumora-cli send: no code to send\n"},
        {{"--type", "Q", "1"}, 2, "lumora-cli send: --type takes one of the letters A to H, or Z\n"},
        {{"--type", "AB", "1"}, 2, "lumora-cli send: --type takes one of the letters A to H, or Z\n"},
        {{"1", ""}, 2, "lumora-cli send: a code is 1 to 254 bytes long\n"},
        {{std::string(255, '7')}, 2, "lumora-cli send: a code is 1 to 254 bytes long\n"},
        {std::vector<std::string>(300, std::string(254, '7')), 1,
         "lumora-cli: too many codes for one hand-over; send fewer at a time\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"send"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        CliProcess cli(args);
        EXPECT_EQ(cli.Wait(), c.status) << c.error;
        EXPECT_EQ(cli.Stderr().substr(0, cli.Stderr().find('\n') + 1), c.error);
    }
    EXPECT_TRUE(Received().empty());
    // The longest code fits.
    CliProcess longest({"send", std::string(254, '7')});
    EXPECT_EQ(longest.Wait(), 0) << longest.Stderr();
    EXPECT_EQ(ReceivedCodes(), (Entries{{kScanTypeUnknown, std::string(254, '7')}}));
}

} // namespace
