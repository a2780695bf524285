#include "tests/core/coretest.h"

#include "client/uitextids.h"

#include <fstream>

namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

std::vector<std::string> Codes(CAppContext& context)
{
    std::vector<std::string> codes;
    for (const CStoredCode& entry : context.StoredCodes().Entries())
        codes.push_back(entry.codeText);
    return codes;
}

class ListOpsTest : public CoreTest {
protected:
    void SetUp() override
    {
        Start();
        for (const char* code : {"036000291452", "4006381333931", "96385074"})
            ASSERT_TRUE(View().AddToList(code));
        m_port.ClearEvents();
    }

    std::optional<CFileAnswer> File(const fs::path& path, std::size_t filterIndex = 0) const
    {
        return CFileAnswer{path, filterIndex};
    }
};

TEST_F(ListOpsTest, FilesComeThroughTheFileDialogWithTheirTitlesAndFilters)
{
    const fs::path list =
        m_home.Dir().WriteFile("more.codelist", "080442957X,6,08044,Field guide\n42,9,NUMI\n");
    m_port.AnswerFileName(File(list));
    ASSERT_TRUE(View().InsertCodes());
    EXPECT_EQ(Codes(Context()),
              (std::vector<std::string>{"96385074", "4006381333931", "036000291452", "080442957X", "42"}));
    EXPECT_EQ(View().UndoMenuText(), "Undo Insert Codes");
    ASSERT_TRUE(View().Undo());
    EXPECT_EQ(Codes(Context()).size(), 3u);
    EXPECT_EQ(View().UndoMenuText(), "");

    m_port.AnswerFileName(File(list));
    ASSERT_TRUE(View().ReplaceCodes());
    EXPECT_EQ(Codes(Context()), (std::vector<std::string>{"080442957X", "42"}));
    EXPECT_EQ(View().UndoMenuText(), "Undo Replace Codes");

    m_port.AnswerFileName(File(m_home.Dir() / "out", 1));
    ASSERT_TRUE(View().ExportCodes());
    EXPECT_EQ(Read(m_home.Dir() / "out.txt").rfind("  Stored Codes\n  ============\n", 0), 0u);
    m_port.AnswerFileName(File(m_home.Dir() / "out"));
    ASSERT_TRUE(View().ExportCodes());
    EXPECT_EQ(Read(m_home.Dir() / "out.codelist").rfind("Version Format: 2.0\n", 0), 0u);
    m_port.AnswerFileName(File(m_home.Dir() / "out", 2));
    ASSERT_TRUE(View().ExportCodes());
    EXPECT_EQ(Read(m_home.Dir() / "out.csv").rfind("#,Code,Description,Type,Enter Date,", 0), 0u);
    m_port.AnswerFileName(File(m_home.Dir() / "sheet.CSV", 0));
    ASSERT_TRUE(View().ExportCodes());
    EXPECT_EQ(Read(m_home.Dir() / "sheet.CSV"), Context().StoredCodes().FormatCsv()) << "the name wins";
    m_port.AnswerFileName(std::nullopt);
    EXPECT_TRUE(View().ExportCodes()) << "a cancelled dialog does nothing";

    const auto requests = m_port.FileRequests();
    ASSERT_EQ(requests.size(), 7u);
    const struct {
        CFileRequest::Mode mode;
        const char* title;
        const char* filter;
    } expected[] = {
        {CFileRequest::Mode::kOpen, "Select file containing codes to add.",
         "Code Files (*.codelist)|*.codelist||"},
        {CFileRequest::Mode::kOpen, "Select file containing codes to replace current list.",
         "Code Files (*.codelist)|*.codelist||"},
        {CFileRequest::Mode::kSave, "Select file to copy list into.",
         "Code Files (*.codelist)|*.codelist|Text Files (*.txt)|*.txt|CSV Files (*.csv)|*.csv||"},
    };
    for (std::size_t i = 0; i < requests.size(); ++i) {
        const auto& want = expected[std::min<std::size_t>(i, 2)];
        EXPECT_EQ(requests[i].mode, want.mode) << i;
        EXPECT_EQ(requests[i].title, want.title) << i;
        EXPECT_EQ(requests[i].filter, want.filter) << i;
    }
    EXPECT_TRUE(m_port.Boxes().empty());
    EXPECT_EQ(Doc().State(), CDocState::Idle);
}

TEST_F(ListOpsTest, AFileOfTheWrongFormatIsRefusedWithItsMessage)
{
    const fs::path wrong = m_home.Dir().WriteFile("wrong.codelist", "Version Format: 9.9\n");
    m_port.AnswerFileName(File(wrong));
    ASSERT_TRUE(View().InsertCodes());
    EXPECT_EQ(m_port.Boxes(),
              std::vector<std::string>{"The file you are trying to load is not the\ncorrect format of a "
                                       "stored codes list data file.\n\nVerify the file name and try "
                                       "again.\n\n\tError Code = 8\n"});
    EXPECT_EQ(Codes(Context()).size(), 3u);
}

TEST_F(ListOpsTest, EditingDeletingAndPropertiesGoThroughTheirStates)
{
    ASSERT_TRUE(View().EditDescription(2, "my pen"));
    EXPECT_EQ(Context().StoredCodes().Entries()[1].userDescription, "my pen");
    EXPECT_EQ(View().UndoMenuText(), "Undo Description Change");

    Context().StoredCodes().Select(1, true);
    ASSERT_TRUE(View().DeleteSelected());
    EXPECT_EQ(Codes(Context()), (std::vector<std::string>{"4006381333931", "036000291452"}));
    EXPECT_EQ(View().UndoMenuText(), "Undo Delete Code(s)");
    ASSERT_TRUE(View().Undo());
    EXPECT_EQ(Codes(Context()).size(), 3u);

    ASSERT_TRUE(View().Properties(3));
    const auto shown = m_port.Events(Kind::kCodeProperties);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown.front().text, "036000291452");
    EXPECT_FALSE(View().Properties(4)) << "no such code";

    ASSERT_TRUE(View().DeleteAll());
    EXPECT_TRUE(Codes(Context()).empty());
    std::vector<CDocState> states;
    for (const auto& [state, enabled] : m_port.States())
        states.push_back(state);
    const auto busy = CDocState::ListBusy;
    const auto idle = CDocState::Idle;
    EXPECT_EQ(states, (std::vector<CDocState>{busy, idle, busy, idle, busy, idle, CDocState::ModalDialog,
                                              idle, busy, idle}));
}

TEST_F(ListOpsTest, ScannerMessagesAndMessageBoxesBringTheirDialogs)
{
    CViewMessage error = MakeViewMessage(CViewMessageId::ScannerError);
    error.text = "The scanner download has timed out.";
    View().HandleViewMessage(error);
    EXPECT_EQ(m_port.Texts(Kind::kScannerError), std::vector<std::string>{error.text});
    EXPECT_EQ(m_port.States(), (std::vector<std::pair<CDocState, bool>>{{CDocState::ModalDialog, false},
                                                                        {CDocState::Idle, true}}));

    View().HandleViewMessage(MakeViewMessage(CViewMessageId::ScannerStopped));
    EXPECT_EQ(m_port.Boxes(), std::vector<std::string>{"Internal error 565 at file cliview line 2961."});
    Doc().SetState(CDocState::Processing);
    View().HandleViewMessage(MakeViewMessage(CViewMessageId::ScannerStopped));
    EXPECT_EQ(m_port.Boxes().size(), 1u) << "a scanner stopped for processing is no error";
    Doc().SetState(CDocState::Idle);

    // A box brings a hidden window back first.
    m_port.ClearEvents();
    Doc().SetHidden(true);
    Doc().ShowInformation(kStrUserCanceled);
    const auto events = EventsOf({Kind::kShowWindow, Kind::kMessageBox});
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].kind, Kind::kShowWindow);
    EXPECT_EQ(events[1].text, "User has canceled processing.");
    EXPECT_FALSE(Doc().IsHidden());
}

// The wizard's registration against the reference server's accounts.
class RegistrationTest : public RefServerCoreTest {
protected:
    void SetUp() override
    {
        RefServerCoreTest::SetUp();
        WriteHive({}, false);
        Start(false);
        ASSERT_TRUE(Context().LoadCoreCache().Loaded());
        Doc().SetState(CDocState::SettingsOpen);
        m_port.ClearEvents();
    }
};

TEST_F(RegistrationTest, AnAttachStoresTheIdentityOrSaysWhyNot)
{
    const struct {
        const char* login;
        const char* password;
        bool attached;
    } table[] = {{"demo", "wrong", false}, {"demo", "demo", true}};
    for (const auto& row : table) {
        m_port.ClearEvents();
        ASSERT_TRUE(Doc().StartRegistration(row.login, row.password));
        EXPECT_EQ(Doc().State(), CDocState::Registering);
        ASSERT_TRUE(m_port.PumpUntil([&] { return !m_port.Events(Kind::kRegistrationEnded).empty(); }));
        const auto ended = m_port.Events(Kind::kRegistrationEnded).front();
        EXPECT_EQ(ended.flag, row.attached) << row.password;
        EXPECT_EQ(ended.text.empty(), row.attached) << ended.text;
        EXPECT_EQ(Doc().State(), CDocState::SettingsOpen) << "back to the wizard";
    }
    std::string uid;
    ASSERT_TRUE(Context().Config().ReadUserId(uid));
    EXPECT_EQ(uid, kDemoUser);
    EXPECT_EQ(Context().Toolkit().GetUserId().GetBlindedId(), kDemoUser);
}

} // namespace
