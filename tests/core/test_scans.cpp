#include "tests/core/coretest.h"

#include "client/scanmgr.h"
#include "tests/support/ptydevice.h"

namespace {

using namespace std::chrono_literals;

const char* const kOatCrunch = "036000291452";
const char* const kPen = "4006381333931";

// Codes from another program: handled as a memory scanner's download.
class DataBlockTest : public RefServerCoreTest {
protected:
    void SetUp() override
    {
        RefServerCoreTest::SetUp();
        Start();
        m_port.ClearEvents();
    }

    void Hand(const std::vector<std::string>& codes)
    {
        View().OnDataCopy(CViewCore::kDataCopyId, DataBlock(codes));
    }
};

TEST_F(DataBlockTest, AutoGoStorageOnlyAndTheHiddenWindowDecideWhatHappens)
{
    const struct {
        int autoGo;
        std::vector<std::string> codes;
        bool storageOnly;
        bool hidden;
        bool processed;
        bool shown; // a hidden window comes back
        std::string tray;
    } table[] = {
        {0, {kOatCrunch, kPen}, false, false, true, false, ""},
        {1, {kOatCrunch}, false, false, true, false, ""},
        {1, {kOatCrunch, kPen}, false, false, false, false, ""},
        {2, {kOatCrunch}, false, false, false, false, ""},
        {0, {kOatCrunch}, true, false, false, false, ""},
        {0, {kOatCrunch}, false, true, true, false, ""},
        {0, {kOatCrunch, kPen}, false, true, true, true, ""},
        {2, {kOatCrunch}, false, true, false, true, ""},
        {1, {kPen}, true, true, false, false, "A code was added to the stored code list."},
        {0,
         {kOatCrunch, kPen, "96385074"},
         true,
         true,
         false,
         false,
         "3 codes were added to the stored code list."},
    };
    std::size_t opened = 0;
    for (const auto& row : table) {
        const std::string what = "Auto Go " + std::to_string(row.autoGo) + ", " +
                                 std::to_string(row.codes.size()) + " codes" +
                                 (row.storageOnly ? ", Storage Only" : "") + (row.hidden ? ", hidden" : "");
        m_port.ClearEvents();
        Settings().autoGo = row.autoGo;
        Doc().SetStorageOnly(row.storageOnly);
        Doc().SetHidden(row.hidden);
        Hand(row.codes);
        ASSERT_TRUE(m_port.PumpUntilHandled(CViewMessageId::ScanDataArrived)) << what;
        ASSERT_TRUE(PumpUntilIdle()) << what;

        // One more than before, so that a page opened by mistake shows.
        const std::size_t seen = m_opener.WaitForAddresses(opened + 1, row.processed ? 10s : 300ms).size();
        opened += row.processed;
        EXPECT_EQ(seen, opened) << what;
        EXPECT_EQ(m_port.Events(Kind::kShowWindow).size(), row.shown ? 1u : 0u) << what;
        EXPECT_EQ(Doc().IsHidden(), row.hidden && !row.shown) << what;
        EXPECT_EQ(m_port.Texts(Kind::kTray),
                  row.tray.empty() ? std::vector<std::string>{} : std::vector<std::string>{row.tray})
            << what;
        EXPECT_EQ(Context().StoredCodes().Entries().front().codeText, row.codes.back()) << what;
        EXPECT_EQ(m_port.Boxes(), std::vector<std::string>{}) << what;
    }
}

TEST_F(DataBlockTest, ScansWhileBusyWaitForTheIdleStateAndFurtherBlocksAreDropped)
{
    Settings().autoGo = 0;
    Doc().SetState(CDocState::ListBusy);
    Hand({kOatCrunch});
    Hand({kPen}); // scans are pending: dropped
    EXPECT_EQ(m_port.Queued(), 0u) << "nothing is posted while busy";
    EXPECT_EQ(Context().StoredCodes().Entries().size(), 0u);
    Doc().SetState(CDocState::Idle);
    ASSERT_TRUE(PumpUntilIdle());
    ASSERT_EQ(Context().StoredCodes().Entries().size(), 1u);
    EXPECT_EQ(Context().StoredCodes().Entries().front().codeText, kOatCrunch);
    EXPECT_EQ(m_opener.WaitForAddresses(1).size(), 1u);
}

TEST_F(DataBlockTest, ABlockThatDoesNotParseIsRefused)
{
    const std::string bad[] = {
        std::string("\x05Xab", 4),     // shorter than its length
        std::string("\x03X12"),        // no end byte
        std::string("\x03X12\0\0", 6), // bytes after the end
    };
    for (const std::string& block : bad) {
        m_port.ClearEvents();
        View().OnDataCopy(CViewCore::kDataCopyId, block);
        EXPECT_EQ(
            m_port.Boxes(),
            std::vector<std::string>{"Lumora PC Software Error:\n\nData from sending program is not properly "
                                     "formatted.\n\nConfirm you have the latest release of the sending "
                                     "program.\n\nor Contact technical support for recovery procedure.\n\n\t"
                                     "Error Code = 17\n"});
        EXPECT_EQ(m_port.Queued(), 0u);
    }
    m_port.ClearEvents();
    View().OnDataCopy(0x12345678, DataBlock({kOatCrunch}));
    EXPECT_EQ(m_port.Queued(), 0u) << "another program's message is not a data block";
    EXPECT_TRUE(m_port.Boxes().empty());
    EXPECT_TRUE(Context().StoredCodes().Entries().empty());
}

// A wand reads one code at a time: each is processed, whatever Auto Go says.
class WandTest : public RefServerCoreTest {
protected:
    void SetUp() override
    {
        RefServerCoreTest::SetUp();
        UseWand(m_wand.SlavePath());
        Start();
        ASSERT_TRUE(m_wand.WaitForOpen());
        m_port.ClearEvents();
    }

    PtyDevice m_wand;
};

TEST_F(WandTest, AnOnLineScanIsProcessedEvenWithAutoGoNever)
{
    Settings().autoGo = 2;
    m_wand.Send(std::string("c") + kOatCrunch + "\r\n");
    ASSERT_TRUE(m_port.PumpUntilHandled(CViewMessageId::ScanDataArrived));
    ASSERT_TRUE(PumpUntilIdle());
    const auto opened = m_opener.WaitForAddresses(1);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_NE(opened.front().find("sid=036000&iid=29145"), std::string::npos) << opened.front();
    EXPECT_EQ(Context().StoredCodes().Entries().front().status, CStoredCode::kShown);
    EXPECT_TRUE(m_port.Boxes().empty());
    EXPECT_TRUE(Doc().Scanner()->IsReading()) << "reading again once idle";
}

} // namespace
