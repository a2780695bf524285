#include "tests/core/coretest.h"

#include "client/batchlistener.h"
#include "client/reglistener.h"
#include "client/scanmgr.h"
#include "tests/support/ptydevice.h"
#include "tst/tsexcep.h"

#include <thread>

namespace {

using namespace std::chrono_literals;

// A client reading a Welch Allyn wand on COM1, a pseudo-terminal here.
class DocStateTest : public CoreTest {
protected:
    void SetUp() override
    {
        UseWand(m_wand.SlavePath());
        Start();
        ASSERT_EQ(Doc().State(), CDocState::Idle);
    }

    PtyDevice m_wand;
};

TEST_F(DocStateTest, EachStateSetsControlsScannerAndStatus)
{
    const struct {
        CDocState state;
        bool controlsEnabled;
        bool reading;
    } table[] = {
        {CDocState::Idle, true, true},
        {CDocState::ModalDialog, false, false},
        {CDocState::SettingsOpen, false, false},
        {CDocState::ListBusy, false, false},
        {CDocState::HandlingScans, false, false},
        {CDocState::StartingBatch, true, false},
        {CDocState::Processing, false, false},
        {CDocState::TakingResults, false, false},
        {CDocState::Registering, true, true},
        {CDocState::Closing, false, false},
        {CDocState::StartUp, true, true},
    };
    EXPECT_TRUE(Doc().Scanner()->IsReading()) << "start-up ends idle, reading";
    for (const auto& row : table) {
        Doc().SetState(CDocState::TakingResults);
        Doc().SetState(CDocState::Idle);
        m_port.ClearEvents();
        Doc().SetState(row.state);
        const auto states = m_port.States();
        const auto number = static_cast<int>(row.state);
        ASSERT_EQ(states.size(), row.state == CDocState::Idle ? 0u : 1u) << number;
        if (!states.empty()) {
            EXPECT_EQ(states.front(), std::make_pair(row.state, row.controlsEnabled)) << number;
        }
        EXPECT_EQ(Doc().Scanner()->IsReading(), row.reading) << number;
        const auto statuses = m_port.Texts(Kind::kStatus);
        EXPECT_EQ(statuses, row.state == CDocState::Processing
                                ? std::vector<std::string>{"Processing ... Please wait"}
                                : std::vector<std::string>{})
            << number;
    }
    Doc().SetState(CDocState::ListBusy);
    m_port.ClearEvents();
    Doc().SetState(CDocState::ListBusy);
    EXPECT_TRUE(m_port.Events().empty()) << "entering the state it is in does nothing";

    for (const int unknown : {5, 12, 31, -1}) {
        try {
            Doc().SetStateNumber(unknown);
            ADD_FAILURE() << unknown << " was taken";
        } catch (const TSInternalError& error) {
            EXPECT_EQ(error.GetMessage().rfind("Internal error at clidoc line ", 0), 0u)
                << error.GetMessage();
        }
    }
    EXPECT_EQ(Doc().State(), CDocState::ListBusy);
    Doc().SetStateNumber(1);
    EXPECT_EQ(Doc().State(), CDocState::Idle);
}

TEST_F(DocStateTest, LeavingABusyStateWithScansPendingBringsTheWindowForward)
{
    Doc().SetState(CDocState::ListBusy);
    ASSERT_EQ(Doc().Scanner()->AddDataBlock(DataBlock({"036000291452"})), CScannerMgr::BlockResult::kAdded);
    EXPECT_EQ(m_port.Queued(), 0u) << "no message while busy";
    Doc().SetState(CDocState::ModalDialog);
    EXPECT_EQ(m_port.Events(Kind::kForeground).size(), 1u);
    m_port.ClearEvents();
    Doc().SetState(CDocState::Idle);
    EXPECT_EQ(m_port.Events(Kind::kForeground).size(), 1u);
    ASSERT_EQ(m_port.QueuedMessages().size(), 1u) << "the scans are posted at the idle state";
    EXPECT_EQ(m_port.QueuedMessages().front().id, CViewMessageId::ScanDataArrived);

    m_port.ClearEvents();
    Doc().SetState(CDocState::ListBusy);
    EXPECT_TRUE(m_port.Events(Kind::kForeground).empty()) << "leaving idle is not leaving a busy state";
}

TEST_F(DocStateTest, AnAddressAskedForWhileBusyOpensAtTheSecondIdleEntry)
{
    Doc().SetState(CDocState::Processing);
    ASSERT_TRUE(Doc().OpenAddress("http://127.0.0.1:1/first"));
    EXPECT_TRUE(Doc().HasPendingAddress());
    Doc().SetState(CDocState::TakingResults);
    Doc().SetState(CDocState::Idle);
    EXPECT_TRUE(Doc().AddressArmed()) << "the first idle entry arms it";
    EXPECT_TRUE(Doc().HasPendingAddress());
    Doc().SetState(CDocState::Idle);
    EXPECT_FALSE(Doc().HasPendingAddress()) << "the second opens it";
    EXPECT_EQ(m_opener.WaitForAddresses(1), std::vector<std::string>{"http://127.0.0.1:1/first"});

    // In start-up, a modal dialog or the settings the address opens at once;
    // in other states, while one is pending, so does the next.
    const CDocState atOnce[] = {CDocState::StartUp, CDocState::ModalDialog, CDocState::SettingsOpen};
    for (const CDocState state : atOnce) {
        Doc().SetState(state);
        EXPECT_TRUE(Doc().OpenAddress("http://127.0.0.1:1/state" + std::to_string(static_cast<int>(state))));
        EXPECT_FALSE(Doc().HasPendingAddress());
    }
    Doc().SetState(CDocState::ListBusy);
    Doc().OpenAddress("http://127.0.0.1:1/pending");
    Doc().OpenAddress("http://127.0.0.1:1/while-pending");
    Doc().SetState(CDocState::Idle);
    Doc().SetState(CDocState::ListBusy);
    Doc().SetState(CDocState::Idle);
    EXPECT_EQ(m_opener.WaitForAddresses(6),
              (std::vector<std::string>{"http://127.0.0.1:1/first", "http://127.0.0.1:1/state0",
                                        "http://127.0.0.1:1/state2", "http://127.0.0.1:1/state3",
                                        "http://127.0.0.1:1/while-pending", "http://127.0.0.1:1/pending"}));
}

TEST_F(DocStateTest, AnAddressTheShellCannotOpenIsInternalError16)
{
    m_opener.Break();
    Doc().SetState(CDocState::ModalDialog);
    EXPECT_FALSE(Doc().OpenAddress("http://127.0.0.1:1/page"));
    EXPECT_EQ(m_port.Boxes(), std::vector<std::string>{
                                  "Internal error 16 at file clidoc line 1247. http://127.0.0.1:1/page"});
}

// Listener calls by state ---------------------------------------------------

enum class Expect { kPost, kSend, kNothing, kInternalError };

struct ListenerCase {
    const char* call;
    CDocState state;
    bool cancelling;
    Expect expect;
    CViewMessageId id = CViewMessageId::BatchFinished;
    long line = 0;
    std::int32_t phase = 0;
};

class ListenerTest : public CoreTest {
protected:
    void SetUp() override { Start(); }

    // Runs the call on a thread of its own, as a worker would, answering
    // what it sends.
    void Check(const ListenerCase& row, const std::function<void()>& call, std::string_view module)
    {
        Doc().SetState(CDocState::Idle);
        Doc().SetState(row.state);
        Doc().SetCancelling(row.cancelling);
        m_port.ClearEvents();
        const std::string what = std::string(row.call) + " in state " +
                                 std::to_string(static_cast<int>(row.state)) +
                                 (row.cancelling ? ", cancelling" : "");
        std::string error;
        std::thread worker([&] {
            try {
                call();
            } catch (const TSInternalError& internal) {
                error = internal.GetMessage();
            }
        });
        if (row.expect == Expect::kSend) {
            EXPECT_TRUE(m_port.PumpUntilHandled(row.id, 10s)) << what;
        }
        worker.join();
        const auto queued = m_port.QueuedMessages();
        switch (row.expect) {
        case Expect::kPost:
            ASSERT_EQ(queued.size(), 1u) << what;
            EXPECT_EQ(queued.front().id, row.id) << what;
            EXPECT_EQ(queued.front().phase, row.phase) << what;
            break;
        case Expect::kSend:
            EXPECT_EQ(m_port.Handled(), std::vector<CViewMessageId>{row.id}) << what;
            break;
        case Expect::kNothing:
            EXPECT_TRUE(queued.empty()) << what;
            break;
        case Expect::kInternalError:
            EXPECT_TRUE(queued.empty()) << what;
            EXPECT_EQ(error, "Internal error at " + std::string(module) + " line " + std::to_string(row.line))
                << what;
            return;
        }
        EXPECT_EQ(error, "") << what;
        Doc().SetCancelling(false);
        m_port.DiscardQueued();
    }
};

TEST_F(ListenerTest, BatchListenerByState)
{
    CBatchListener& listener = Doc().BatchListener();
    constexpr CDocState kIdle = CDocState::Idle;
    constexpr CDocState kBusy = CDocState::Processing;
    const ListenerCase table[] = {
        {"error", kBusy, false, Expect::kSend, CViewMessageId::BatchError},
        {"error", kIdle, false, Expect::kInternalError, {}, 100},
        {"error", CDocState::TakingResults, false, Expect::kInternalError, {}, 100},
        {"progress 1", kBusy, false, Expect::kPost, CViewMessageId::BatchProgress, 0, 1},
        {"progress 1", kBusy, true, Expect::kNothing},
        {"progress 1", kIdle, true, Expect::kPost, CViewMessageId::BatchProgress, 0,
         CBatchListener::kCancellingPhase},
        {"progress 1", kIdle, false, Expect::kInternalError, {}, 171},
        {"progress 1", CDocState::ListBusy, false, Expect::kInternalError, {}, 171},
        {"progress 3", kBusy, false, Expect::kInternalError, {}, 146},
        {"urls", kBusy, false, Expect::kSend, CViewMessageId::BatchUrlsReady},
        {"urls", kIdle, true, Expect::kInternalError, {}, 214},
        {"finished", kBusy, false, Expect::kPost, CViewMessageId::BatchFinished},
        {"finished", kIdle, true, Expect::kPost, CViewMessageId::BatchFinished},
        {"finished", kIdle, false, Expect::kInternalError, {}, 258},
        {"finished", CDocState::TakingResults, false, Expect::kInternalError, {}, 258},
    };
    VTBatchCodeList list;
    list.Add(VTBatchCode(kCodeUpcA, "036000291452", VTBatchCode::kAddressOnly));
    for (const ListenerCase& row : table) {
        const std::string call = row.call;
        Check(
            row,
            [&] {
                if (call == "error") {
                    m_port.AnswerBatchError(VTBatchCodeListener::kGoOn);
                    VTServerError error;
                    error.FromTransactionError(1500, "Internal Server Error");
                    EXPECT_EQ(listener.OnBatchError(1, error, ""), VTBatchCodeListener::kGoOn);
                } else if (call == "progress 1") {
                    listener.OnBatchProgress(1, 3, 10);
                } else if (call == "progress 3") {
                    listener.OnBatchProgress(3, 3, 10);
                } else if (call == "urls") {
                    listener.OnBatchUrlsReady(list);
                } else {
                    listener.OnBatchFinished();
                }
            },
            "batchlistener");
    }
}

TEST_F(ListenerTest, RegistrationListenerByState)
{
    CRegistrationServerListener& listener = Doc().RegistrationListener();
    constexpr CDocState kWizard = CDocState::Registering;
    const ListenerCase table[] = {
        {"progress", kWizard, false, Expect::kPost, CViewMessageId::RegistrationProgress},
        {"progress", kWizard, true, Expect::kNothing},
        {"progress", CDocState::Idle, false, Expect::kNothing},
        {"progress", CDocState::Processing, false, Expect::kInternalError, {}, 114},
        {"success", kWizard, false, Expect::kPost, CViewMessageId::RegistrationSuccess},
        {"success", CDocState::Idle, false, Expect::kInternalError, {}, 154},
        {"failure", kWizard, false, Expect::kPost, CViewMessageId::RegistrationFailure},
        {"failure", CDocState::SettingsOpen, false, Expect::kInternalError, {}, 193},
    };
    for (const ListenerCase& row : table) {
        const std::string call = row.call;
        Check(
            row,
            [&] {
                if (call == "progress")
                    listener.OnServerProgress(2, 5);
                else if (call == "success")
                    listener.OnServerSuccess();
                else
                    listener.OnServerFailure();
            },
            "reglistener");
    }
}

} // namespace
