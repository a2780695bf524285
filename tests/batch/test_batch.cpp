// The batch code processor against a scriptable loopback server: the
// phases from warm and cold caches, offline work, failed queries and the
// listener's decisions, worker failures and cancellation.
#include "tests/batch/batchtest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <thread>

namespace {

using Codes = std::vector<std::int32_t>;

const std::string kOat = "036000291452";        // SID 036000, IID 29145
const std::string kOat2 = UpcA("03600012345");  // SID 036000, IID 12345
const std::string kPretzel = "042100005264";    // SID 042100, IID 00526
const std::string kPen = "4006381333931";       // SID 4006381, IID 33393
const std::string kSpring = "PRINTSHOP/SPRING"; // vanity: SID PRINTSHOP, IID SPRING

constexpr std::int32_t kAddress = VTBatchCode::kAddressOnly;
constexpr std::int32_t kDescribe = VTBatchCode::kDescribe;
constexpr std::int32_t kRecognise = VTBatchCode::kRecognitionOnly;

const std::string kGrocerRange[] = {"036000000000", "036000999999"};
const std::string kSnackRange[] = {"042100000000", "042100999999"};

HttpReply HtmlReply()
{
    return HttpReply::Ok("<html/>", "text/html");
}

HttpReply NotFound()
{
    HttpReply reply = HttpReply::Ok("gone", "text/plain");
    reply.m_statusLine = "HTTP/1.0 404 Not Found";
    return reply;
}

HttpReply ServerError(int number)
{
    return XmlReply("<ERROR NUM='" + std::to_string(number) + "'><REASON>Busy</REASON></ERROR>");
}

// A recorder whose error or address call waits until the test lets it go,
// as the client's does until its main thread has answered; at most 30 s,
// so that a failing test never hangs.
class HoldingRecorder : public BatchRecorder {
public:
    enum class Where { kError, kUrlsReady };

    explicit HoldingRecorder(Where where) : m_where(where) {}

    Decision OnBatchError(std::int32_t phase, const VTServerError& error,
                          const std::string& serverName) override
    {
        Hold(Where::kError);
        return BatchRecorder::OnBatchError(phase, error, serverName);
    }
    void OnBatchUrlsReady(const VTBatchCodeList& list) override
    {
        Hold(Where::kUrlsReady);
        BatchRecorder::OnBatchUrlsReady(list);
    }

    bool WaitHeld()
    {
        std::unique_lock guard(m_lock);
        return m_changed.wait_for(guard, std::chrono::seconds(10), [&] { return m_held; });
    }
    void Release()
    {
        {
            std::lock_guard guard(m_lock);
            m_released = true;
        }
        m_changed.notify_all();
    }

private:
    void Hold(Where where)
    {
        if (where != m_where)
            return;
        std::unique_lock guard(m_lock);
        m_held = true;
        m_changed.notify_all();
        m_changed.wait_for(guard, std::chrono::seconds(30), [&] { return m_released; });
    }

    const Where m_where;
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_held = false;
    bool m_released = false;
};

class BatchProcessing : public BatchTest {
protected:
    void CacheGroceryFormats(VTTime grocer, VTTime snacks)
    {
        CacheFormat(kCodeUpcA, kGrocerRange[0], kGrocerRange[1], 6, 5, grocer);
        CacheFormat(kCodeUpcA, kSnackRange[0], kSnackRange[1], 6, 5, snacks);
    }

    void Clear()
    {
        m_toolkit.GetCache().ClearFormats();
        m_toolkit.GetCache().ClearTemplates();
    }

    std::string GroceryFormats() const
    {
        return "<XSPLIT>" + SplitFormat("UPCA", kGrocerRange[0], kGrocerRange[1], 6, 5) +
               SplitFormat("UPCA", kSnackRange[0], kSnackRange[1], 6, 5) + "</XSPLIT>";
    }
};

TEST_F(BatchProcessing, StartRefusesAnEmptyListAndASecondStart)
{
    Processor().SetList(VTBatchCodeList());
    EXPECT_EQ(Processor().Start(false, false), VTBatchCodeProcessor::kListEmpty);
    EXPECT_FALSE(Processor().IsRunning());

    m_server.Enqueue(ServerScript().ReadRequest().Pause(std::chrono::seconds(30)));
    Processor().SetList(Batch({{kCodeUpcA, kOat, kAddress}}));
    ASSERT_EQ(Processor().Start(false, false), VTBatchCodeProcessor::kStarted);
    EXPECT_TRUE(Processor().IsRunning());
    EXPECT_EQ(Processor().Start(false, false), VTBatchCodeProcessor::kAlreadyRunning);
    EXPECT_EQ(m_recorder.Finished(), 0);
}

TEST_F(BatchProcessing, CancelDuringASlowQueryEndsTheBatch)
{
    m_server.Enqueue(ServerScript().ReadRequest().Pause(std::chrono::seconds(30)));
    Processor().SetList(Batch({{kCodeUpcA, kOat, kDescribe}, {kCodeVanity, kSpring, kDescribe}}));
    ASSERT_EQ(Processor().Start(false, false), VTBatchCodeProcessor::kStarted);
    ASSERT_FALSE(m_server.WaitForRequest(0).empty());

    Processor().Cancel();
    // The server would hold the query for 30 s and the time-outs are longer
    // still: an end within this bound can only come from the cancel.
    ASSERT_TRUE(m_recorder.WaitFinished(std::chrono::seconds(10)));
    EXPECT_FALSE(Processor().IsRunning());
    const VTBatchCodeList list = Processor().GetList();
    EXPECT_EQ(Statuses(list), (Codes{VTBatchCode::kCancelled, VTBatchCode::kRecognised}));
    VTServerError error;
    Processor().GetLastError(error);
    EXPECT_EQ(error.GetKind(), VTServerError::kTransaction);
    EXPECT_EQ(error.GetCode(), VTServerError::kCodeAborted);
    EXPECT_TRUE(m_recorder.Errors().empty()) << "an abort is not a question for the listener";
    EXPECT_EQ(m_server.ConnectionCount(), 1u) << "nothing was asked after the cancel";
}

// A cancel during the template query: the code already routed from a valid
// cached template gets no address after it, and none is announced.
TEST_F(BatchProcessing, CancelDuringTheTemplateQueryBuildsNoAddress)
{
    CacheGroceryFormats(Later(), Later());
    CacheTemplate(kCodeUpcA, "036000", "Grocer", {{kCommandGet, "http://shop.example/<^IID^>"}}, Later());
    m_server.Enqueue(ServerScript().ReadRequest().Pause(std::chrono::seconds(30)));
    Processor().SetList(Batch({{kCodeUpcA, kOat, kAddress}, {kCodeUpcA, kPretzel, kAddress}}));
    ASSERT_EQ(Processor().Start(true, false), VTBatchCodeProcessor::kStarted);
    const std::string query = m_server.WaitForRequest(0);
    ASSERT_NE(query.find("<GET "), std::string::npos) << query;

    Processor().Cancel();
    ASSERT_TRUE(m_recorder.WaitFinished(std::chrono::seconds(10)));
    const VTBatchCodeList list = Processor().GetList();
    EXPECT_EQ(Statuses(list), (Codes{VTBatchCode::kRouted, VTBatchCode::kCancelled}));
    EXPECT_EQ(list.Get(0).GetUrl(), "");
    EXPECT_TRUE(m_recorder.UrlsReady().empty());
    EXPECT_EQ(m_server.ConnectionCount(), 1u);
}

TEST_F(BatchProcessing, AddressBatchFromWarmCaches)
{
    CacheGroceryFormats(Later(), Later());
    CacheTemplate(
        kCodeUpcA, "036000", "Grocer",
        {{kCommandGet, "http://shop.example/<^CODETYPE^>/<^SID^>/<^IID^>?u=<^USERC^>&v=<^%CVER^>&x=<^NOPE^>"},
         {kCommandDesc, m_server.Url("/desc")}},
        Later());
    CacheTemplate(kCodeUpcA, "042100", "Snacks", {{kCommandDesc, m_server.Url("/desc")}}, Later());
    CacheTemplate(kCodeVanity, "PRINTSHOP", "Print Shop", {{kCommandGet, "http://print.example/<^SID"}},
                  Later());

    const VTBatchCodeList list = Run(Batch({{kCodeUpcA, kOat, kAddress},
                                            {kCodeUpcA, kPretzel, kAddress},
                                            {kCodeVanity, kSpring, kAddress},
                                            {kCodeUrl, "example.org/page", kAddress},
                                            {kCodeUnknown, "???", kAddress},
                                            {kCodeUpcA, "036000291453", kAddress}}),
                                     true);

    EXPECT_EQ(Statuses(list),
              (Codes{VTBatchCode::kDone, VTBatchCode::kNoTemplate, VTBatchCode::kAddressFailed,
                     VTBatchCode::kDone, VTBatchCode::kTypeUnknown, VTBatchCode::kInvalidCode}));
    const VTBatchCode oat = list.Get(0);
    EXPECT_EQ(oat.GetUrl(), "http://shop.example/UPCA/036000/29145?u=123456789&v=4.1&x=");
    EXPECT_EQ(oat.GetText(), "0 36000 29145 2");
    EXPECT_EQ(oat.GetContents().GetItemId(), "29145");
    EXPECT_EQ(oat.GetServerData().GetName(), "Grocer");
    EXPECT_EQ(list.Get(1).GetUrl(), "");
    EXPECT_TRUE(list.Get(2).GetErrorText().starts_with("TSStringSubstException::"))
        << list.Get(2).GetErrorText();
    EXPECT_EQ(list.Get(3).GetUrl(), "http://example.org/page");
    EXPECT_EQ(list.Get(3).GetText(), "http://example.org/page");
    EXPECT_EQ(list.Get(4).GetText(), "???");
    EXPECT_TRUE(list.Get(5).GetErrorText().starts_with("VTToolkitException: Invalid code"));
    EXPECT_EQ(Processor().GetLastErrorSource(), VTBatchCodeProcessor::kCodeErrors);

    EXPECT_EQ(m_server.ConnectionCount(), 0u);
    ASSERT_EQ(m_recorder.UrlsReady().size(), 1u);
    EXPECT_EQ(m_recorder.UrlsReady()[0][0].GetUrl(), oat.GetUrl());
    for (const auto& call : m_recorder.ProgressCalls()) {
        EXPECT_EQ(call.total, 10);
        EXPECT_NE(call.phase, VTBatchCodeProcessor::kPhaseDescriptions);
    }
}

TEST_F(BatchProcessing, RecognitionOnlyBatchStopsAfterRecognition)
{
    CacheGroceryFormats(Later(), Later());
    CacheTemplate(kCodeUpcA, "036000", "Grocer", {{kCommandGet, "http://shop.example/"}}, Later());
    const VTBatchCodeList list = Run(Batch({{kCodeUpcA, kOat, kRecognise},
                                            {kCodeUnknown, "x", kRecognise},
                                            {kCodeUrl, "example.org", kRecognise},
                                            {kCodeVanity, kSpring, kRecognise}}),
                                     true);
    EXPECT_EQ(Statuses(list), (Codes{VTBatchCode::kRecognised, VTBatchCode::kTypeUnknown, VTBatchCode::kNew,
                                     VTBatchCode::kRecognised}));
    EXPECT_EQ(list.Get(0).GetContents().GetServerId(), "036000");
    EXPECT_EQ(list.Get(0).GetUrl(), "");
    EXPECT_EQ(list.Get(3).GetContents().GetServerId(), "PRINTSHOP");
    EXPECT_EQ(list.Get(3).GetContents().GetItemId(), "SPRING");
    EXPECT_TRUE(m_recorder.UrlsReady().empty());
    EXPECT_TRUE(m_recorder.ProgressCalls().empty());
    EXPECT_EQ(m_server.ConnectionCount(), 0u);
}

TEST_F(BatchProcessing, ColdCachesAreFilledByOneQueryOfEachKind)
{
    m_server.Enqueue(ServerScript::Answer(XmlReply(GroceryFormats())));
    m_server.Enqueue(ServerScript::Answer(
        XmlReply("<XGET>" +
                 RoutingKey("UPC", "036000", "Grocer", {{kCommandGet, "http://shop.example/&lt;^IID^&gt;"}}) +
                 "</XGET>")));
    const VTBatchCodeList list = Run(Batch({{kCodeUpcA, kOat, kAddress},
                                            {kCodeUpcA, kOat2, kAddress},
                                            {kCodeUpcA, kPretzel, kAddress},
                                            {kCodeEan13, kPen, kAddress}}));

    EXPECT_EQ(Statuses(list), (Codes{VTBatchCode::kDone, VTBatchCode::kDone, VTBatchCode::kNoTemplate,
                                     VTBatchCode::kNoFormat}));
    EXPECT_EQ(list.Get(0).GetUrl(), "http://shop.example/29145");
    EXPECT_EQ(list.Get(1).GetUrl(), "http://shop.example/12345");
    ASSERT_EQ(m_server.ConnectionCount(), 2u);
    const std::string split = m_server.WaitForRequest(0);
    EXPECT_NE(split.find("<BARCODE TYPE='EAN13' CODE='" + kPen + "'/>"), std::string::npos) << split;
    const std::string get = m_server.WaitForRequest(1);
    EXPECT_NE(get.find("RID='042100'"), std::string::npos) << get;
    EXPECT_EQ(get.find("EAN13"), std::string::npos) << "a code without a format is not routed";
    EXPECT_TRUE(m_recorder.Errors().empty());
    EXPECT_FALSE(m_toolkit.GetTemplateDate().empty());

    VTCodeFormat format;
    EXPECT_TRUE(m_toolkit.GetCache().FindFormat(kCodeUpcA, kPretzel, format, false));
    VTServerData record;
    EXPECT_TRUE(m_toolkit.GetCache().FindTemplate(kCodeUpcA, "036000", record, false));

    const VTBatchCodeList again = Run(Batch({{kCodeUpcA, kOat2, kAddress}, {kCodeUpcA, kOat, kAddress}}));
    EXPECT_EQ(Statuses(again), (Codes{VTBatchCode::kDone, VTBatchCode::kDone}));
    EXPECT_EQ(again.Get(0).GetUrl(), "http://shop.example/12345");
    EXPECT_EQ(m_server.ConnectionCount(), 2u) << "the second batch is served by the caches";
}

TEST_F(BatchProcessing, OfflineTakesExpiredEntriesAndSkipsDescriptions)
{
    CacheFormat(kCodeUpcA, kGrocerRange[0], kGrocerRange[1], 6, 5, Earlier());
    CacheFormat(kCodeEan13, "4006381000000", "4006381999999", 7, 5, Earlier());
    CacheTemplate(kCodeUpcA, "036000", "Grocer",
                  {{kCommandGet, "http://shop.example/<^IID^>"}, {kCommandDesc, m_server.Url("/desc")}},
                  Earlier());

    const VTBatchCodeList list = Run(
        Batch(
            {{kCodeUpcA, kOat, kDescribe}, {kCodeUpcA, kPretzel, kDescribe}, {kCodeEan13, kPen, kDescribe}}),
        true, true);

    const auto readyCalls = m_recorder.UrlsReady();
    ASSERT_EQ(readyCalls.size(), 1u);
    const std::vector<VTBatchCode>& ready = readyCalls[0];
    EXPECT_EQ(ready[0].GetStatus(), VTBatchCode::kRouted);
    EXPECT_EQ(ready[0].GetUrl(), "http://shop.example/29145");
    EXPECT_EQ(Statuses(list), (Codes{VTBatchCode::kOfflineNoDescription, VTBatchCode::kOfflineNoFormat,
                                     VTBatchCode::kOfflineNoTemplate}));
    EXPECT_EQ(list.Get(0).GetUrl(), "http://shop.example/29145");
    EXPECT_EQ(m_server.ConnectionCount(), 0u);
}

TEST_F(BatchProcessing, ServerBusyRepeatsTheQueryWithoutAsking)
{
    CacheTemplate(kCodeUpcA, "036000", "Grocer", {{kCommandGet, "http://shop.example/<^IID^>"}}, Later());
    CacheTemplate(kCodeUpcA, "042100", "Snacks", {{kCommandGet, "http://snacks.example/<^IID^>"}}, Later());
    m_server.Enqueue(ServerScript::Answer(ServerError(100)));
    m_server.Enqueue(ServerScript::Answer(ServerError(100)));
    m_server.Enqueue(ServerScript::Answer(XmlReply(GroceryFormats())));
    const VTBatchCodeList list = Run(Batch({{kCodeUpcA, kOat, kAddress}}));
    EXPECT_EQ(Statuses(list), Codes{VTBatchCode::kDone});
    EXPECT_TRUE(m_recorder.Errors().empty());
    ASSERT_EQ(m_server.ConnectionCount(), 3u);
    EXPECT_EQ(m_server.WaitForRequest(0), m_server.WaitForRequest(2)) << "the same query, repeated";

    // A server that never stops being busy is put to the listener in the end.
    m_server.SetDefault(ServerScript::Answer(ServerError(100)));
    m_recorder.Answer({VTBatchCodeListener::kCancel});
    const VTBatchCodeList busy = Run(Batch({{kCodeEan13, kPen, kAddress}}));
    EXPECT_EQ(Statuses(busy), Codes{VTBatchCode::kCancelled});
    ASSERT_EQ(m_recorder.Errors().size(), 1u);
    EXPECT_EQ(m_recorder.Errors()[0].error.GetServerNumber(), 100);
    EXPECT_EQ(m_server.ConnectionCount(), 3u + VTBatchCodeProcessor::kMaxBusyRetries + 1);
}

// Each phase's failed query, answered cancel, retry or go on.
TEST_F(BatchProcessing, ListenerDecidesAfterAFailedQuery)
{
    using Listener = VTBatchCodeListener;
    struct Case {
        std::int32_t phase;
        Listener::Decision decision;
        Codes statuses;
    };
    const Case cases[] = {
        {0, Listener::kCancel, {VTBatchCode::kCancelled, VTBatchCode::kCancelled}},
        {0, Listener::kRetry, {VTBatchCode::kDone, VTBatchCode::kDone}},
        {0, Listener::kGoOn, {VTBatchCode::kFormatQuerySkipped, VTBatchCode::kDone}},
        {1, Listener::kCancel, {VTBatchCode::kCancelled, VTBatchCode::kCancelled}},
        {1, Listener::kRetry, {VTBatchCode::kDone, VTBatchCode::kDone}},
        {1, Listener::kGoOn, {VTBatchCode::kTemplateQuerySkipped, VTBatchCode::kDone}},
        {2, Listener::kCancel, {VTBatchCode::kCancelled, VTBatchCode::kCancelled}},
        {2, Listener::kRetry, {VTBatchCode::kDone, VTBatchCode::kDone}},
        // Skipping one description server's query still asks the next.
        {2, Listener::kGoOn, {VTBatchCode::kDescriptionQuerySkipped, VTBatchCode::kDone}},
    };
    const std::string grocerGet = "http://shop.example/<^IID^>";
    const std::string snackGet = "http://snacks.example/<^IID^>";
    for (const Case& c : cases) {
        SCOPED_TRACE("phase " + std::to_string(c.phase) + ", decision " + std::to_string(c.decision));
        Clear();
        const bool retry = c.decision == VTBatchCodeListener::kRetry;
        // The failing phase finds an expired entry for the pretzel code and
        // none for the oat code; the other phases find valid ones.
        if (c.phase == 0)
            CacheFormat(kCodeUpcA, kSnackRange[0], kSnackRange[1], 6, 5, Earlier());
        else
            CacheGroceryFormats(Later(), Later());
        const auto descCommand = [&](const char* path) {
            return std::pair<std::string, std::string>(c.phase == 2 ? kCommandDesc : "NONE",
                                                       m_server.Url(path));
        };
        if (c.phase != 1)
            CacheTemplate(kCodeUpcA, "036000", "Grocer", {{kCommandGet, grocerGet}, descCommand("/a")},
                          Later());
        CacheTemplate(kCodeUpcA, "042100", "Snacks", {{kCommandGet, snackGet}, descCommand("/b")},
                      c.phase == 1 ? Earlier() : Later());

        m_server.Enqueue(ServerScript::Answer(c.phase == 2 ? NotFound() : HtmlReply()));
        if (retry && c.phase == 0)
            m_server.Enqueue(ServerScript::Answer(XmlReply(GroceryFormats())));
        if (retry && c.phase == 1)
            m_server.Enqueue(ServerScript::Answer(XmlReply(
                "<XGET>" + RoutingKey("UPC", "036000", "Grocer", {{kCommandGet, "http://shop.example/x"}}) +
                RoutingKey("UPC", "042100", "Snacks", {{kCommandGet, "http://snacks.example/x"}}) +
                "</XGET>")));
        const bool asksNext = c.phase == 2 && c.decision != VTBatchCodeListener::kCancel;
        if (retry && c.phase == 2)
            m_server.Enqueue(ServerScript::Answer(
                XmlReply("<XDESC>" + DescAnswer("UPC", "036000", "29145", "Oat Crunch") + "</XDESC>")));
        if (asksNext)
            m_server.Enqueue(ServerScript::Answer(
                XmlReply("<XDESC>" + DescAnswer("UPC", "042100", "00526", "Pretzel bites") + "</XDESC>")));
        const std::size_t connections = m_server.ConnectionCount();
        m_recorder.Answer({c.decision});
        const std::int32_t mode = c.phase == 2 ? kDescribe : kAddress;
        const VTBatchCodeList list = Run(Batch({{kCodeUpcA, kOat, mode}, {kCodeUpcA, kPretzel, mode}}));

        EXPECT_EQ(Statuses(list), c.statuses);
        const auto errors = m_recorder.Errors();
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors[0].phase, c.phase);
        EXPECT_EQ(errors[0].error.GetKind(), VTServerError::kTransaction);
        EXPECT_EQ(errors[0].serverName, c.phase == 2 ? "Grocer" : "");
        const std::size_t expected = 1 + (retry ? 1 : 0) + (asksNext ? 1 : 0);
        EXPECT_EQ(m_server.ConnectionCount() - connections, expected);
        if (asksNext) {
            EXPECT_EQ(list.Get(1).GetDescription(), "Pretzel bites");
        }
        if (c.decision == VTBatchCodeListener::kGoOn) {
            EXPECT_EQ(list.Get(1).GetUrl(), "http://snacks.example/00526") << "built from the expired entry";
        }
    }
}

// While the listener holds the worker in an error or an address call,
// another thread still gets its answers (and can cancel: the cancel wins
// over the listener's retry).
TEST_F(BatchProcessing, ClientThreadIsAnsweredWhileTheListenerHoldsTheWorker)
{
    struct Polled {
        bool running = false;
        std::size_t codes = 0;
        VTServerError error;
    };
    for (const auto where : {HoldingRecorder::Where::kError, HoldingRecorder::Where::kUrlsReady}) {
        const bool error = where == HoldingRecorder::Where::kError;
        SCOPED_TRACE(error ? "OnBatchError" : "OnBatchUrlsReady");
        Clear();
        if (!error) {
            CacheGroceryFormats(Later(), Later());
            CacheTemplate(kCodeUpcA, "036000", "Grocer", {{kCommandGet, "http://shop.example/<^IID^>"}},
                          Later());
            CacheTemplate(kCodeUpcA, "042100", "Snacks", {{kCommandGet, "http://snacks.example/<^IID^>"}},
                          Later());
        }
        if (error)
            m_server.Enqueue(ServerScript::Answer(HtmlReply()));
        const std::size_t connections = m_server.ConnectionCount();
        HoldingRecorder holding(where);
        holding.Answer({VTBatchCodeListener::kRetry});
        Processor().SetListener(&holding);
        Processor().SetList(Batch({{kCodeUpcA, kOat, kAddress}, {kCodeUpcA, kPretzel, kAddress}}));
        ASSERT_EQ(Processor().Start(true, false), VTBatchCodeProcessor::kStarted);
        ASSERT_TRUE(holding.WaitHeld());

        std::promise<Polled> polled;
        std::thread client([&] {
            Polled answers;
            answers.running = Processor().IsRunning();
            answers.codes = Processor().GetList().Size();
            Processor().GetLastError(answers.error);
            if (error)
                Processor().Cancel();
            polled.set_value(answers);
        });
        std::future<Polled> answered = polled.get_future();
        const bool inTime = answered.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
        holding.Release();
        client.join();
        ASSERT_TRUE(holding.WaitFinished());
        Processor().SetListener(&m_recorder);

        EXPECT_TRUE(inTime) << "the client thread waited for the listener";
        if (!inTime)
            continue;
        const Polled answers = answered.get();
        EXPECT_TRUE(answers.running);
        EXPECT_EQ(answers.codes, 2u);
        EXPECT_EQ(answers.error.GetKind(), error ? VTServerError::kTransaction : VTServerError::kNone);
        const VTBatchCodeList list = Processor().GetList();
        const Codes expected = error ? Codes{VTBatchCode::kCancelled, VTBatchCode::kCancelled}
                                     : Codes{VTBatchCode::kDone, VTBatchCode::kDone};
        EXPECT_EQ(Statuses(list), expected);
        EXPECT_EQ(m_server.ConnectionCount() - connections, error ? 1u : 0u)
            << "nothing asked after the cancel";
    }
}

TEST_F(BatchProcessing, CodesOfOneDescriptionServerShareOneQuery)
{
    CacheGroceryFormats(Later(), Later());
    CacheFormat(kCodeEan13, "4006381000000", "4006381999999", 7, 5, Later());
    CacheTemplate(kCodeUpcA, "036000", "Grocer",
                  {{kCommandGet, "http://shop.example/<^IID^>"}, {kCommandDesc, m_server.Url("/desc")}},
                  Later());
    CacheTemplate(kCodeUpcA, "042100", "Snacks", {{kCommandGet, "http://snacks.example/<^IID^>"}}, Later());
    CacheTemplate(kCodeVanity, "PRINTSHOP", "Print Shop",
                  {{kCommandGet, "http://print.example/<^IID^>"}, {kCommandDesc, m_server.Url("/vanity")}},
                  Later());
    CacheTemplate(kCodeEan13, "4006381", "Stationery",
                  {{kCommandGet, "http://pens.example/<^IID^>"}, {kCommandDesc, m_server.Url("/pens")}},
                  Later());
    m_server.Enqueue(ServerScript::Answer(
        XmlReply("<XDESC>" + DescAnswer("UPC", "036000", "29145", "Oat Crunch", "0 36000 29145 2") +
                 DescAnswer("UPC", "036000", "12345", "Oat Flakes") + "</XDESC>")));
    m_server.Enqueue(ServerScript::Answer(XmlReply(
        "<XDESC>" + DescAnswer("VANITY", "PRINTSHOP", "SPRING", "Spring catalogue", "PrintShop/Spring") +
        "</XDESC>")));

    VTBatchCodeList batch = Batch({{kCodeUpcA, kOat, kDescribe},
                                   {kCodeVanity, kSpring, kDescribe},
                                   {kCodeUpcA, kPretzel, kDescribe},
                                   {kCodeUpcA, kOat2, kDescribe},
                                   {kCodeEan13, kPen, kDescribe}});
    batch.Update(4, [](VTBatchCode& code) { code.SetUserDescription("my pen"); });
    const VTBatchCodeList list = Run(batch);

    EXPECT_EQ(Statuses(list), (Codes{VTBatchCode::kDone, VTBatchCode::kDone, VTBatchCode::kNoDescription,
                                     VTBatchCode::kDone, VTBatchCode::kHasDescription}));
    EXPECT_EQ(list.Get(0).GetDescription(), "Oat Crunch");
    EXPECT_EQ(list.Get(3).GetDescription(), "Oat Flakes");
    EXPECT_EQ(list.Get(0).GetText(), "0 36000 29145 2");
    EXPECT_EQ(list.Get(1).GetText(), "PrintShop/Spring") << "a vanity canonical form is shown";
    EXPECT_EQ(list.Get(2).GetDescription(), "Snacks");
    EXPECT_EQ(list.Get(4).GetDescription(), "");
    EXPECT_EQ(list.Get(0).GetUrl(), "http://shop.example/29145");

    ASSERT_EQ(m_server.ConnectionCount(), 2u);
    const std::string grocer = m_server.WaitForRequest(0);
    EXPECT_TRUE(grocer.starts_with("POST /desc HTTP/1.0")) << grocer;
    EXPECT_NE(grocer.find("<CODE TYPE='UPC' RID='036000' IID='29145'/>"), std::string::npos) << grocer;
    EXPECT_NE(grocer.find("<CODE TYPE='UPC' RID='036000' IID='12345'/>"), std::string::npos) << grocer;
    EXPECT_TRUE(m_server.WaitForRequest(1).starts_with("POST /vanity HTTP/1.0"));

    const auto progress = m_recorder.ProgressCalls();
    ASSERT_FALSE(progress.empty());
    int last = 0;
    for (const auto& call : progress) {
        EXPECT_EQ(call.total, 5 * 5 + 10);
        EXPECT_GE(call.position, last);
        last = call.position;
    }
    EXPECT_EQ(last, 35);
    EXPECT_EQ(progress.back().phase, VTBatchCodeProcessor::kPhaseDescriptions);
}

// Whatever goes wrong on the worker, every code says so and the listener
// hears the end.
TEST_F(BatchProcessing, FailureInsideTheWorkerFailsEveryCode)
{
    struct Case {
        const char* what;
        std::function<void()> arrange;
        std::string errorStart;
    };
    const Case cases[] = {
        {"a decision out of range",
         [&] {
             m_server.Enqueue(ServerScript::Answer(HtmlReply()));
             m_recorder.Answer({static_cast<VTBatchCodeListener::Decision>(7)});
         },
         "unknown decision of the batch listener at "},
        {"no valid user id", [&] { m_toolkit.SetUserId(VTUserId()); }, "VTToolkitException: Invalid user id"},
    };
    CacheTemplate(kCodeVanity, "PRINTSHOP", "Print Shop", {{kCommandGet, "http://print.example/"}}, Later());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m_recorder.Reset();
        c.arrange();
        Processor().SetList(Batch({{kCodeUpcA, kOat, kAddress}, {kCodeVanity, kSpring, kAddress}}));
        ASSERT_EQ(Processor().Start(false, false), VTBatchCodeProcessor::kStarted);
        ASSERT_TRUE(m_recorder.WaitFinished());
        const VTBatchCodeList list = Processor().GetList();
        EXPECT_EQ(Statuses(list), (Codes{VTBatchCode::kFailed, VTBatchCode::kFailed}));
        for (const VTBatchCode& code : list.GetAll())
            EXPECT_TRUE(code.GetErrorText().starts_with(c.errorStart)) << code.GetErrorText();
        EXPECT_EQ(Processor().GetLastErrorSource(), VTBatchCodeProcessor::kCodeErrors);
        EXPECT_EQ(m_recorder.Finished(), 1);
    }
}

TEST_F(BatchProcessing, QueryThatCannotBeSentCancelsTheBatch)
{
    SetCoreRecord(kServerTypeRouting, {{kCommandGet, m_server.Url("/get")}});
    CacheTemplate(kCodeVanity, "PRINTSHOP", "Print Shop", {{kCommandGet, "http://print.example/"}}, Later());
    const VTBatchCodeList list = Run(Batch({{kCodeUpcA, kOat, kAddress}, {kCodeVanity, kSpring, kAddress}}));
    EXPECT_EQ(Statuses(list), (Codes{VTBatchCode::kFailed, VTBatchCode::kRecognised}));
    ASSERT_EQ(m_recorder.Errors().size(), 1u) << "the end of the batch says why";
    EXPECT_EQ(m_recorder.Errors()[0].phase, VTBatchCodeProcessor::kPhaseFormats);
    EXPECT_EQ(m_recorder.Errors()[0].error.GetStateNumber(), 304);
    EXPECT_EQ(m_server.ConnectionCount(), 0u);

    // A description query that cannot be sent cancels the codes of the
    // servers not asked yet; none is left routed without a word.
    CacheGroceryFormats(Later(), Later());
    CacheTemplate(kCodeUpcA, "036000", "Grocer",
                  {{kCommandGet, "http://shop.example/<^IID^>"}, {kCommandDesc, "ftp://shop.example/desc"}},
                  Later());
    CacheTemplate(kCodeVanity, "PRINTSHOP", "Print Shop",
                  {{kCommandGet, "http://print.example/"}, {kCommandDesc, m_server.Url("/vanity")}}, Later());
    const VTBatchCodeList described =
        Run(Batch({{kCodeUpcA, kOat, kDescribe}, {kCodeVanity, kSpring, kDescribe}}));
    EXPECT_EQ(Statuses(described), (Codes{VTBatchCode::kFailed, VTBatchCode::kCancelled}));
    VTServerError error;
    Processor().GetLastError(error);
    EXPECT_EQ(error.GetCode(), VTServerError::kCodeToolkit);
    EXPECT_EQ(m_server.ConnectionCount(), 0u);
}

TEST(BatchCodeList, CopiesShareTheCodesAndCodesCompareByTypeAndText)
{
    VTBatchCodeList list;
    const VTBatchCodeList shared = list;
    list.Add(VTBatchCode(kCodeUpcE, "0425-2614", VTBatchCode::kDescribe));
    ASSERT_EQ(shared.Size(), 1u) << "the processor sees what the client added";
    const VTBatchCode code = shared.Get(0);
    EXPECT_EQ(code.GetContents().GetRawCode(), "0425-2614");
    EXPECT_EQ(code.GetContents().GetScannedCode(), "04252614");
    EXPECT_EQ(code.GetContents().GetCode(), "042100005264");
    EXPECT_EQ(code.GetStatus(), VTBatchCode::kNew);

    const VTBatchCodeList copy = list.Copy();
    list.Update(0, [](VTBatchCode& stored) { stored.SetStatus(VTBatchCode::kDone); });
    EXPECT_EQ(shared.Get(0).GetStatus(), VTBatchCode::kDone);
    EXPECT_EQ(copy.Get(0).GetStatus(), VTBatchCode::kNew);

    const VTBatchCode a(kCodeUpcA, "2", 0), b(kCodeUpcE, "1", 0), c(kCodeUpcA, "2", 3);
    EXPECT_TRUE(a < b);
    EXPECT_FALSE(b < a);
    EXPECT_TRUE(a == c) << "mode and status play no part";
    EXPECT_FALSE(a == b);
    EXPECT_TRUE(IsNullPointerError(
        RaisedMessage([] { VTBatchCode(kCodeUpcA, static_cast<const char*>(nullptr), 0); })));
}

} // namespace
