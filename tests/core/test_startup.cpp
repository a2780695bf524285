#include "tests/core/coretest.h"
#include "tests/support/filelimit.h"

#include <fstream>

namespace {

namespace fs = std::filesystem;
using Outcome = CStartUpResult::Outcome;

std::string Read(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

const std::string kInvalidUserId =
    "Lumora PC Software Error:\n\nThe user ID found in th registry is invalid.\n\nContact "
    "technical support for recovery procedure.\n\n\tError Code = 5\n";

class StartUpTest : public CoreTest {
protected:
    std::string Hive() const { return Read(m_home.ConfigHome() / "lumora/user.reg"); }
    bool HiveHas(const std::string& line) const { return Hive().find(line) != std::string::npos; }
    void WriteHiveText(const std::string& body) const
    {
        m_home.Dir().WriteFile("home/.config/lumora/user.reg", "REGEDIT4\r\n\r\n" + body);
    }
};

TEST_F(StartUpTest, TheWizardRunsOnAFirstStartOrWithoutAnIdentity)
{
    const std::string userKey = "[HKEY_CURRENT_USER\\Software\\Tessaly Technologies\\Lumora]\r\n";
    const std::string identity = "\"UID\"=\"" + std::string(kDemoUser) + "\"\r\n";
    const std::string config =
        "\r\n" + userKey.substr(0, userKey.size() - 3) +
        "\\Config]\r\n\"Installing\"=dword:00000000\r\n\"Auto Run\"=dword:00000000\r\n";
    const struct {
        const char* what;
        std::string hive;
        std::optional<bool> wizardAnswer; // none: no wizard expected
        Outcome outcome;
        std::vector<std::string> boxes;
        const char* autoRun;
    } table[] = {
        {"set up before", userKey + identity + config, std::nullopt, Outcome::kRunning, {}, "00000000"},
        {"first start, wizard cancelled", userKey + identity, false, Outcome::kQuit, {}, "00000000"},
        {"first start, wizard completed", userKey + identity, true, Outcome::kRunning, {}, "00000001"},
        {"no identity, wizard cancelled", userKey + config, false, Outcome::kQuit, {}, "00000000"},
        {"no identity after the wizard",
         userKey + config,
         true,
         Outcome::kQuit,
         {kInvalidUserId, "Internal error 530 at file clidoc line 581."},
         "00000000"},
    };
    for (const auto& row : table) {
        Stop();
        m_port.ClearEvents();
        WriteHiveText(row.hive);
        if (row.wizardAnswer)
            m_port.AnswerWizard(*row.wizardAnswer);
        Start();
        EXPECT_EQ(StartUpResult().outcome, row.outcome) << row.what;
        EXPECT_EQ(StartUpResult().wizardRan, row.wizardAnswer.has_value()) << row.what;
        EXPECT_EQ(m_port.Events(Kind::kWizard).size(), row.wizardAnswer ? 1u : 0u) << row.what;
        EXPECT_EQ(m_port.Boxes(), row.boxes) << row.what;
        EXPECT_TRUE(HiveHas("\"Auto Run\"=dword:" + std::string(row.autoRun))) << row.what << "\n" << Hive();
        EXPECT_EQ(Doc().State(), row.outcome == Outcome::kRunning ? CDocState::Idle : CDocState::StartUp)
            << row.what;
    }
}

TEST_F(StartUpTest, TheCoreCacheFallsBackToItsBackupOnce)
{
    const fs::path shipped = ProgramFolder() / "Server.dat";
    const fs::path backup = ProgramFolder() / "Server.bak";
    fs::copy_file(shipped, backup);
    std::ofstream(shipped, std::ios::trunc) << "<CORE_SERVER_LIST><SERVER"; // cut short
    Start();
    EXPECT_EQ(StartUpResult().outcome, Outcome::kRunning);
    EXPECT_EQ(m_port.Boxes(), std::vector<std::string>{"Warning 6\nInvalid filename or file not found.\n\n" +
                                                       shipped.string()});

    Stop();
    m_port.ClearEvents();
    fs::remove(shipped);
    fs::remove(backup);
    Start();
    EXPECT_EQ(StartUpResult().outcome, Outcome::kQuit);
    EXPECT_EQ(m_port.Boxes(),
              (std::vector<std::string>{
                  "Warning 6\nInvalid filename or file not found.\n\n" + shipped.string(),
                  "Lumora PC Software Fatal Error:\n\n     Missing or invalid file " + backup.string() +
                      "\n\nContact technical support for recovery procedure.\n\n\t"
                      "Error Code = 6\n"}));
}

TEST_F(StartUpTest, AnInvalidStoredIdentityEndsTheProgramAndTheLogOnStart)
{
    WriteHiveText("[HKEY_CURRENT_USER\\Software\\Tessaly Technologies\\Lumora]\r\n\"UID\"=\"12345\"\r\n"
                  "\r\n[HKEY_CURRENT_USER\\Software\\Tessaly Technologies\\Lumora\\Config]\r\n"
                  "\"Installing\"=dword:00000000\r\n\"Auto Run\"=dword:00000001\r\n");
    Start();
    EXPECT_EQ(StartUpResult().outcome, Outcome::kQuit);
    EXPECT_EQ(m_port.Boxes(),
              (std::vector<std::string>{kInvalidUserId, "Internal error 530 at file clidoc line 581."}));
    EXPECT_TRUE(HiveHas("\"Auto Run\"=dword:00000000")) << Hive();
    EXPECT_FALSE(fs::exists(m_home.ConfigHome() / "autostart/lumora.desktop"));
}

TEST_F(StartUpTest, AListOfTheSingleUserVersionIsMovedToThePerUserName)
{
    const std::string list = "Version Format: 2.0\n"
                             "1\t036000291452\t2\t\t\t1\tUPCA Code\t\t\t\t133000000000000000\t\n";
    m_home.Dir().WriteFile("home/.local/share/lumora/Codes.dat", list);
    Start();
    ASSERT_EQ(StartUpResult().outcome, Outcome::kRunning);
    ASSERT_EQ(Context().StoredCodes().Entries().size(), 1u);
    EXPECT_EQ(Context().StoredCodes().Entries().front().codeText, "036000291452");
    EXPECT_FALSE(fs::exists(UserFolder() / "Codes.dat"));
    EXPECT_EQ(Read(StoredCodesFile()), list);
}

TEST_F(StartUpTest, ClosingSavesOnlyWhileIdle)
{
    Start();
    ASSERT_TRUE(View().AddToList("4006381333931"));
    Settings().maximized = 1;
    Doc().SetState(CDocState::ListBusy);
    EXPECT_FALSE(Doc().CanClose());
    EXPECT_FALSE(Doc().Close());
    EXPECT_FALSE(fs::exists(StoredCodesFile()));
    EXPECT_FALSE(HiveHas("\"Maximized\"=dword:00000001"));

    Doc().SetState(CDocState::Idle);
    ASSERT_TRUE(Doc().Close());
    EXPECT_EQ(Doc().State(), CDocState::Closing);
    EXPECT_NE(Read(StoredCodesFile()).find("\t4006381333931\t4\t"), std::string::npos);
    EXPECT_TRUE(HiveHas("\"Maximized\"=dword:00000001")) << Hive();
    EXPECT_TRUE(m_port.Boxes().empty());
}

TEST_F(StartUpTest, AFailedSaveIsReportedAndKeepsTheOldList)
{
    Start();
    ASSERT_TRUE(View().AddToList("4006381333931"));
    ASSERT_TRUE(Doc().Close());
    const std::string saved = Read(StoredCodesFile());
    Stop();

    Start();
    ASSERT_TRUE(View().AddToList("96385074"));
    {
        FileSizeLimit fullDisk(saved.size() + 10); // the new list is longer
        Doc().EndSession();
    }
    EXPECT_EQ(Read(StoredCodesFile()), saved);
    EXPECT_EQ(m_port.Boxes(),
              std::vector<std::string>{"Lumora PC Software Fatal Error:\n\n     Missing or invalid file " +
                                       StoredCodesFile().string() +
                                       "\n\nContact technical support for recovery procedure.\n\n\t"
                                       "Error Code = 560\n"});
}

} // namespace
