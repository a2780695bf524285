#include "tests/core/coretest.h"

#include "client/uitextids.h"
#include "tests/support/loopbackserver.h"
#include "tests/support/tinyproxy.h"

#include <fstream>
#include <thread>

namespace {

using namespace std::chrono_literals;

const std::string kOatCrunch = "036000291452";
const std::string kNoPage =
    "The code you selected has not been associated to a web page/URL.\n\n\tError Code = 10\n";
// Fits a Vantrel code and an EAN-8 code.
const std::string kAmbiguous = "02103822";
// Fits no type.
const std::string kNoType = "12345678";

const CStoredCode* Stored(CAppContext& context, const std::string& text)
{
    for (const CStoredCode& entry : context.StoredCodes().Entries())
        if (entry.codeText == text)
            return &entry;
    return nullptr;
}

bool Contains(const std::vector<std::string>& texts, const std::string& text)
{
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

class ProcessingTest : public RefServerCoreTest {
protected:
    void SetUp() override
    {
        RefServerCoreTest::SetUp();
        Start();
        ASSERT_EQ(Doc().State(), CDocState::Idle);
        m_port.ClearEvents();
    }
};

TEST_F(ProcessingTest, GoWithValidInvalidAndAmbiguousCodes)
{
    const struct {
        const char* what;
        std::string text;
        std::optional<std::optional<VTCodeType>> choice; // none: no choice asked
        int storedType;
        int storedStatus;
        std::string description; // shown
        std::vector<std::string> boxes;
        bool opens;
        bool asksServer;
    } table[] = {
        {"valid", kOatCrunch, {}, kCodeUpcA, CStoredCode::kShown, "Oat Crunch cereal, 500 g", {}, true, true},
        {"no type", kNoType, {}, 0, CStoredCode::kInvalid, "INVALID", {kNoPage}, false, false},
        {"ambiguous, EAN-8 chosen",
         kAmbiguous,
         std::optional<VTCodeType>(kCodeEan8),
         kCodeEan8,
         CStoredCode::kNotShown,
         "",
         {kNoPage},
         false,
         true},
        {"ambiguous, cancelled",
         kAmbiguous,
         std::optional<VTCodeType>(),
         0,
         CStoredCode::kNew,
         "Ambiguous Code",
         {"User has canceled processing."},
         false,
         false},
    };
    std::size_t opened = 0;
    for (const auto& row : table) {
        m_port.ClearEvents();
        if (row.choice)
            m_port.AnswerChooseType(*row.choice);
        const std::size_t requests = RequestCount();
        ASSERT_TRUE(View().Go(row.text)) << row.what;
        ASSERT_TRUE(PumpUntilIdle()) << row.what;

        EXPECT_EQ(m_port.Boxes(), row.boxes) << row.what;
        const auto choices = m_port.Events(Kind::kChooseType);
        EXPECT_EQ(choices.size(), row.choice ? 1u : 0u) << row.what;
        if (!choices.empty()) {
            EXPECT_EQ(choices.front().first, 2) << "both candidates offered";
        }
        const CStoredCode& first = Context().StoredCodes().Entries().front();
        EXPECT_EQ(first.codeText, row.text) << row.what;
        EXPECT_EQ(first.codeType, row.storedType) << row.what;
        EXPECT_EQ(first.status, row.storedStatus) << row.what;
        if (!row.description.empty()) {
            EXPECT_EQ(first.ShownDescription(), row.description) << row.what;
        }
        EXPECT_EQ(RequestCount() > requests, row.asksServer) << row.what;
        // Waits for one more than opened before, so that an address opened by mistake shows.
        const auto addresses = m_opener.WaitForAddresses(opened + 1, row.opens ? 10s : 300ms);
        opened += row.opens;
        EXPECT_EQ(addresses.size(), opened) << row.what;
        if (row.opens) {
            EXPECT_EQ(addresses.back().rfind(m_base + "item?type=UPCA&sid=036000&iid=29145", 0), 0u)
                << addresses.back();
        }
        EXPECT_EQ(Doc().State(), CDocState::Idle);
    }
}

TEST_F(ProcessingTest, GoShowsTheStatesAndKeepsTheEntrySelected)
{
    ASSERT_TRUE(View().Go(kOatCrunch));
    ASSERT_TRUE(PumpUntilIdle());
    std::vector<CDocState> states;
    for (const auto& [state, enabled] : m_port.States())
        states.push_back(state);
    // The second idle entry opens the page the batch asked for.
    EXPECT_EQ(states,
              (std::vector<CDocState>{CDocState::ListBusy, CDocState::StartingBatch, CDocState::Processing,
                                      CDocState::TakingResults, CDocState::Idle, CDocState::Idle}));
    EXPECT_EQ(m_opener.WaitForAddresses(1).size(), 1u);
    const auto statuses = m_port.Texts(Kind::kStatus);
    EXPECT_TRUE(Contains(statuses, "Processing ... Please wait"));
    EXPECT_TRUE(Contains(statuses, "Getting Descriptions...")) << "Auto Descriptions is on by default";
    EXPECT_EQ(m_port.Events(Kind::kSelectEntry).size(), 1u);
    EXPECT_FALSE(m_port.Events(Kind::kProgress).empty());

    // Commands wait for the idle state.
    Doc().SetState(CDocState::Processing);
    EXPECT_FALSE(View().Go(kOatCrunch));
    EXPECT_FALSE(View().AddToList(kOatCrunch));
    EXPECT_FALSE(View().GetDescriptions(CDescriptionKind::All));
    EXPECT_FALSE(View().DeleteAll());
    EXPECT_FALSE(View().IsCommandEnabled(kCmdGo));
    EXPECT_TRUE(View().IsCommandEnabled(kCmdAbout));
    EXPECT_EQ(View().HideToTray(), std::nullopt);
    Doc().SetState(CDocState::Idle);
    EXPECT_EQ(View().HideToTray(), true);
    EXPECT_EQ(View().HideToTray(), false);
}

TEST_F(ProcessingTest, AddToListStoresWithoutAskingAServer)
{
    const struct {
        std::string text;
        std::optional<VTCodeType> choice;
        int storedType; // -1: not stored
    } table[] = {
        {kOatCrunch, std::nullopt, kCodeUpcA},
        {kNoType, std::nullopt, -1},
        {kAmbiguous, kCodeVantrel, kCodeVantrel},
    };
    for (const auto& row : table) {
        m_port.ClearEvents();
        if (row.choice)
            m_port.AnswerChooseType(row.choice);
        ASSERT_TRUE(View().AddToList(row.text));
        EXPECT_EQ(Doc().State(), CDocState::Idle);
        const CStoredCode* stored = Stored(Context(), row.text);
        if (row.storedType < 0) {
            EXPECT_EQ(stored, nullptr) << row.text;
            EXPECT_EQ(m_port.LastStatus(), "INVALID CODE");
            continue;
        }
        ASSERT_NE(stored, nullptr) << row.text;
        EXPECT_EQ(stored->codeType, row.storedType);
        EXPECT_EQ(stored->number, 1u);
        EXPECT_EQ(m_port.Events(Kind::kShowStoredCode).size(), 1u);
    }
    EXPECT_EQ(RequestCount(), 0u);
    EXPECT_TRUE(m_opener.WaitForAddresses(1, 300ms).empty());
}

TEST_F(ProcessingTest, AnEmptyBatchListReturnsToIdleWithoutAServer)
{
    Doc().BatchList().Clear();
    EXPECT_FALSE(Doc().StartProcessing(true));
    EXPECT_EQ(m_port.States(), (std::vector<std::pair<CDocState, bool>>{{CDocState::StartingBatch, true},
                                                                        {CDocState::Idle, true}}));
    EXPECT_FALSE(Doc().BatchRunning());
    // A description request for a list with nothing to describe ends the same way.
    ASSERT_TRUE(View().GetDescriptions(CDescriptionKind::All));
    EXPECT_EQ(Doc().State(), CDocState::Idle);
    EXPECT_EQ(m_port.Queued(), 0u);
    EXPECT_TRUE(m_port.Boxes().empty());
    EXPECT_EQ(RequestCount(), 0u);
}

TEST_F(ProcessingTest, GetDescriptionsForNewCodesFillsTheListAndOpensNothing)
{
    for (const char* code : {"036000291452", "4006381333931", "42"})
        ASSERT_TRUE(View().AddToList(code));
    ASSERT_TRUE(View().EditDescription(3, "my own words")); // 036000291452, added first
    ASSERT_TRUE(View().GetDescriptions(CDescriptionKind::New));
    ASSERT_TRUE(PumpUntilIdle());
    EXPECT_EQ(Stored(Context(), "4006381333931")->itemDescription, "Fine-liner pen, black");
    EXPECT_EQ(Stored(Context(), "42")->itemDescription, "Weekly offers");
    EXPECT_EQ(Stored(Context(), "036000291452")->itemDescription, "")
        << "a code with its own words is left out";
    EXPECT_EQ(Stored(Context(), "036000291452")->userDescription, "my own words");

    ASSERT_TRUE(View().GetDescriptions(CDescriptionKind::All));
    ASSERT_TRUE(PumpUntilIdle());
    EXPECT_EQ(Stored(Context(), "036000291452")->itemDescription, "Oat Crunch cereal, 500 g");
    EXPECT_TRUE(m_opener.WaitForAddresses(1, 300ms).empty());
    EXPECT_TRUE(m_port.Boxes().empty()) << m_port.Boxes().front();
}

TEST_F(ProcessingTest, HelpAndRegistrationPagesOpenAtOnceWhenIdle)
{
    ASSERT_TRUE(View().Help());
    ASSERT_TRUE(View().RegistrationInformation());
    const auto addresses = m_opener.WaitForAddresses(2);
    ASSERT_EQ(addresses.size(), 2u);
    EXPECT_EQ(addresses[0], m_base + "help?IID=1&clang=en");
    EXPECT_EQ(addresses[1].rfind(m_base + "login?user=", 0), 0u) << addresses[1];
    EXPECT_GT(addresses[1].size(), (m_base + "login?user=").size()) << "the user's blinded id";
    EXPECT_FALSE(Doc().HasPendingAddress());
}

// A routing server that never answers: the batch waits in its first query.
class StalledServerTest : public CoreTest {
protected:
    void SetUp() override
    {
        WriteCoreCache(m_server.Url("/"));
        Start();
        ASSERT_TRUE(View().Go(kOatCrunch));
        ASSERT_FALSE(m_server.WaitForRequest(0).empty());
        ASSERT_EQ(Doc().State(), CDocState::Processing);
    }

    LoopbackHttpServer m_server{ServerScript::Silent()};
};

TEST_F(StalledServerTest, CancellingShowsCancelingThenTheCancelledBox)
{
    ASSERT_TRUE(View().CancelProcessing());
    EXPECT_EQ(Doc().State(), CDocState::Idle) << "idle while the worker winds down";
    ASSERT_TRUE(m_port.PumpUntil([&] { return !m_port.Boxes().empty() && !Doc().BatchRunning(); }));
    std::vector<std::string> shown;
    for (const Event& event : EventsOf({Kind::kStatus, Kind::kMessageBox}))
        if (event.text == "Canceling ..." || event.kind == Kind::kMessageBox)
            shown.push_back(event.text);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.front(), "Canceling ...");
    EXPECT_EQ(shown.back(), "User has canceled processing.");
    EXPECT_EQ(m_port.Boxes(), std::vector<std::string>{"User has canceled processing."});
    EXPECT_FALSE(Doc().IsCancelling());
    EXPECT_EQ(Stored(Context(), kOatCrunch)->status, CStoredCode::kNew) << "kept as it was";
    EXPECT_TRUE(m_opener.WaitForAddresses(1, 300ms).empty());
}

TEST_F(StalledServerTest, TheSessionEndsDuringProcessingWithNothingLost)
{
    Doc().EndSession();
    EXPECT_EQ(Doc().State(), CDocState::Closing);
    EXPECT_FALSE(Doc().BatchRunning()) << "the worker was cancelled and ended";
    std::ifstream in(StoredCodesFile());
    std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(text.find("\t" + kOatCrunch + "\t2\t"), std::string::npos) << text;
    EXPECT_TRUE(m_port.Boxes().empty());
    EXPECT_FALSE(View().Go(kOatCrunch)) << "nothing starts any more";
}

// A routing server that answers each format query as the test says.
class BatchErrorTest : public CoreTest {
protected:
    void SetUp() override
    {
        WriteCoreCache(m_server.Url("/"));
        Start();
        m_port.ClearEvents();
    }

    static ServerScript Status(int status)
    {
        HttpReply reply = HttpReply::Ok("<p>failed</p>", "text/html");
        reply.m_statusLine = "HTTP/1.0 " + std::to_string(status) + " Trouble";
        return ServerScript::Answer(reply);
    }
    static ServerScript ErrorDocument(int number)
    {
        return ServerScript::Answer(HttpReply::Ok("<ERROR NUM='" + std::to_string(number) +
                                                  "'><REASON>No such user</REASON></ERROR>"));
    }

    LoopbackHttpServer m_server{ServerScript::Answer(HttpReply::Ok("<failed/>"))};
};

TEST_F(BatchErrorTest, TheDialogDependsOnTheErrorNumber)
{
    const std::string unexpected =
        "An unexpected condition was experienced when\nattempting to perform the "
        "transaction.\n\nContact technical support with the following error code to "
        "investigate a possible recovery procedure.";
    const struct {
        const char* what;
        std::vector<ServerScript> replies;
        std::vector<VTBatchCodeListener::Decision> answers;
        Kind dialog;
        std::string text;
        std::size_t requests;
        std::vector<std::string> boxes;
    } table[] = {
        {"server fault, retried then skipped",
         {Status(500), Status(500)},
         {VTBatchCodeListener::kRetry, VTBatchCodeListener::kGoOn},
         Kind::kBatchError,
         unexpected + "\n\n\tError Code = T-302-1500",
         2,
         {kNoPage}},
        {"server fault, cancelled",
         {Status(503)},
         {VTBatchCodeListener::kCancel},
         Kind::kBatchError,
         unexpected + "\n\n\tError Code = T-302-1503",
         1,
         {"User has canceled processing."}},
        {"unknown user",
         {ErrorDocument(10108)},
         {},
         Kind::kProcessCodeError,
         "No such user\n\n\tError Code = S-304-10108",
         1,
         {}},
    };
    for (const auto& row : table) {
        m_port.ClearEvents();
        const std::size_t before = m_server.ConnectionCount();
        for (const ServerScript& reply : row.replies)
            m_server.Enqueue(reply);
        for (const auto answer : row.answers)
            m_port.AnswerBatchError(answer);
        ASSERT_TRUE(View().Go(kOatCrunch)) << row.what;
        ASSERT_TRUE(PumpUntilIdle()) << row.what;
        const auto dialogs = m_port.Texts(row.dialog);
        ASSERT_FALSE(dialogs.empty()) << row.what;
        EXPECT_EQ(dialogs.front(), row.text) << row.what;
        EXPECT_EQ(dialogs.size(), row.answers.empty() ? 1u : row.answers.size()) << row.what;
        EXPECT_EQ(m_server.ConnectionCount() - before, row.requests) << row.what;
        EXPECT_EQ(m_port.Boxes(), row.boxes) << row.what;
        EXPECT_TRUE(m_port.Events(Kind::kProxyCredentials).empty());
    }
}

TEST_F(BatchErrorTest, AConnectionFailureThroughAProxySaysToCheckIt)
{
    Settings().useProxy = 1;
    Settings().proxyAddr = "127.0.0.1";
    Settings().proxyPort = std::to_string(UnusedLoopbackPort());
    Context().Config().DeriveProxyString();
    Context().ConfigureToolkit();
    m_port.AnswerBatchError(VTBatchCodeListener::kGoOn);
    ASSERT_TRUE(View().Go(kOatCrunch));
    ASSERT_TRUE(PumpUntilIdle());
    const auto dialogs = m_port.Texts(Kind::kBatchError);
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs.front(),
              "There was some kind of connection failure.\n\nVerify that your internet connection is "
              "functioning properly.  If you are running through a proxy, confirm the proxy "
              "settings are correct.\n\n\tError Code = T-304-4");
}

// The reference server behind a real tinyproxy that wants a password.
class ProxyTest : public RefServerCoreTest {
protected:
    void SetUp() override
    {
        if (TinyProxy::Executable().empty())
            GTEST_SKIP() << "tinyproxy is not installed (scripts/install-deps.sh installs it)";
        RefServerCoreTest::SetUp();
        m_proxy = std::make_unique<TinyProxy>("lumora", "s3cret.pw");
        Start();
        Settings().useProxy = 1;
        Settings().proxyAddr = "127.0.0.1";
        Settings().proxyPort = std::to_string(m_proxy->Port());
        Context().Config().DeriveProxyString();
        Context().ConfigureToolkit();
        m_port.ClearEvents();
    }

    std::unique_ptr<TinyProxy> m_proxy;
};

TEST_F(ProxyTest, TheProxysQuestionIsAnsweredAndTheRequestRepeated)
{
    m_port.AnswerProxyCredentials(RecordingPort::Credentials{"lumora", "s3cret.pw"});
    ASSERT_TRUE(View().Go(kOatCrunch));
    ASSERT_TRUE(PumpUntilIdle());
    EXPECT_EQ(m_port.Events(Kind::kProxyCredentials).size(), 1u) << "asked once, then remembered";
    EXPECT_TRUE(m_port.Events(Kind::kBatchError).empty());
    EXPECT_TRUE(m_port.Boxes().empty());
    EXPECT_EQ(Stored(Context(), kOatCrunch)->itemDescription, "Oat Crunch cereal, 500 g");
    const auto addresses = m_opener.WaitForAddresses(1);
    ASSERT_EQ(addresses.size(), 1u);
    EXPECT_EQ(addresses.front().rfind(m_base + "item?", 0), 0u);
    EXPECT_GE(RequestCount(), 2u) << "routing and description, through the proxy\n" << m_proxy->Log();
}

TEST_F(ProxyTest, CancellingTheProxysQuestionStopsTheBatch)
{
    m_port.AnswerProxyCredentials(std::nullopt);
    ASSERT_TRUE(View().Go(kOatCrunch));
    ASSERT_TRUE(PumpUntilIdle());
    EXPECT_EQ(m_port.Events(Kind::kProxyCredentials).size(), 1u);
    EXPECT_EQ(RequestCount(), 0u);
    EXPECT_EQ(Stored(Context(), kOatCrunch)->status, CStoredCode::kNew);
    EXPECT_TRUE(m_opener.WaitForAddresses(1, 300ms).empty());
}

} // namespace
