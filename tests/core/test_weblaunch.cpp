#include "client/weblaunch.h"

#include "client/uitextids.h"
#include "tests/core/coretest.h"
#include "tests/support/tempdir.h"
#include "vtkit/vttoolkit.h"

namespace {

TEST(WebLauncher, AFailedOpenIsTriedOnceMore)
{
    const struct {
        int failures;
        int calls;
        bool opened;
    } table[] = {{0, 1, true}, {1, 2, true}, {5, 2, false}};
    VTToolkit toolkit;
    for (const auto& row : table) {
        int calls = 0;
        std::vector<std::string> addresses;
        const CWebLauncher launcher(toolkit, [&](const std::string& address) {
            addresses.push_back(address);
            return ++calls > row.failures;
        });
        EXPECT_EQ(launcher.Open("http://127.0.0.1:1/page"), row.opened) << row.failures;
        EXPECT_EQ(calls, row.calls) << row.failures;
        EXPECT_EQ(addresses,
                  std::vector<std::string>(static_cast<std::size_t>(row.calls), "http://127.0.0.1:1/page"));
    }
}

TEST(WebLauncher, ServerPagesAndHelpTakeTheClientsVariables)
{
    TempDir folder;
    const auto file = folder.WriteFile(
        "Server.dat",
        "<CORE_SERVER_LIST><SERVER TYPE='REGISTRATION'>"
        "<TEMPLATE CMD='LOGIN'>http://h/login?user=&lt;^%USER^&gt;</TEMPLATE>"
        "<TEMPLATE "
        "CMD='REGISTER'>http://h/register?capp=&lt;^%CAPP^&gt;&amp;clang=&lt;^%CLANG^&gt;</TEMPLATE>"
        "<TEMPLATE CMD='LOSTPWD'>http://h/lost?v=&lt;^CVER</TEMPLATE>"
        "</SERVER><SERVER TYPE='HELP'><TEMPLATE CMD='GET'>http://h/help/&lt;^IID^&gt;.html?os=&lt;^%OS^&gt;"
        "</TEMPLATE></SERVER></CORE_SERVER_LIST>");
    VTToolkit toolkit;
    ASSERT_EQ(toolkit.LoadCoreCache(file), VTCacheFile::kLoaded);
    VTClientVariables variables;
    variables.capp = "PC";
    variables.clang = "pt";
    variables.os = "Linux";
    toolkit.SetClientVariables(variables);
    VTUserId user;
    user.SetBlindedId(kDemoUser);
    toolkit.SetUserId(user);
    const CWebLauncher launcher(toolkit);

    EXPECT_EQ(launcher.ServerPage("REGISTER").address, "http://h/register?capp=PC&clang=pt");
    const CLaunchAddress login = launcher.ServerPage("LOGIN");
    EXPECT_TRUE(login.Ok());
    EXPECT_EQ(login.address.substr(0, 19), "http://h/login?user");
    EXPECT_EQ(login.address.size(), std::string("http://h/login?user=").size() + 15) << login.address;
    EXPECT_EQ(launcher.HelpAddress(1).address, "http://h/help/1.html?os=Linux");
    EXPECT_EQ(launcher.HelpAddress(12).address, "http://h/help/12.html?os=Linux");

    EXPECT_EQ(launcher.ServerPage("NOPE").problem, CLaunchAddress::Problem::kMissingCommand);
    const CLaunchAddress lost = launcher.ServerPage("LOSTPWD");
    EXPECT_EQ(lost.problem, CLaunchAddress::Problem::kSubstitution);
    EXPECT_EQ(lost.address, "");
    EXPECT_NE(lost.detail.find("TSStringSubstException"), std::string::npos) << lost.detail;

    VTToolkit empty;
    EXPECT_EQ(CWebLauncher(empty).HelpAddress(1).problem, CLaunchAddress::Problem::kMissingCommand);
}

TEST(WebLauncher, TheBrowserVerdict)
{
    const struct {
        std::string program;
        int compatibility;
        int message;
    } table[] = {
        {"", platform::kBrowserSupported, kStrNoDefaultBrowser},
        {"gone", platform::kBrowserNone, kStrNoDefaultBrowser},
        {"old", platform::kBrowserOlder, kStrBrowserTooOld},
        {"firefox", platform::kBrowserSupported, 0},
        {"lynx", platform::kBrowserUntested, kStrBrowserPartlyCompatible},
    };
    for (const auto& row : table) {
        platform::BrowserInfo browser;
        browser.programName = row.program;
        browser.compatibility = row.compatibility;
        EXPECT_EQ(CWebLauncher::BrowserVerdict(browser), row.message) << row.program;
    }
}

class ServerPageTest : public CoreTest {};

TEST_F(ServerPageTest, AMissingPageSaysWhichFileLacksIt)
{
    WriteCoreCache("http://127.0.0.1:1/");
    Start();
    EXPECT_TRUE(View().RegistrationInformation());
    EXPECT_EQ(m_port.Boxes(),
              std::vector<std::string>{"Lumora PC Software Fatal Error:\n\n     Missing or invalid file "
                                       "Server.dat\n\nContact technical support for recovery "
                                       "procedure.\n\n\tError Code = 6\n"});
    EXPECT_FALSE(Doc().HasPendingAddress());
    EXPECT_EQ(Doc().State(), CDocState::Idle);
}

} // namespace
