// The desktop client as a user runs it: the real `lumora` under an X server
// of the test's own, the real reference server, a recording xdg-open first
// on PATH, a throw-away home. Codes come from `lumora-cli send` and from a
// Welch Allyn wand on a pseudo-terminal; the page opens; SIGTERM ends the
// session and the stored list keeps the code with its description.
#include "client/config.h"
#include "platform/folders.h"
#include "platform/instance.h"
#include "platform/registry.h"
#include "tests/support/ptydevice.h"
#include "tests/support/runprogram.h"
#include "tests/support/scopedenv.h"
#include "tests/support/serverprocess.h"
#include "tests/support/temphome.h"
#include "tests/support/xvfbserver.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <thread>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The demo account of the sample data and what its codes resolve to.
const std::string kDemoUser = "116306380970205";
const std::string kCode = "036000291452";
const std::string kPageOfCode = "iid=29145";
const std::string kDescription = "Oat Crunch cereal, 500 g";
const std::string kTitle = "Lumora PC Software";

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout = 20s)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

std::string ReadAll(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class DesktopClient : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!XvfbServer::Available())
            GTEST_SKIP() << XvfbServer::SkipReason();
        m_xvfb = std::make_unique<XvfbServer>();
        fs::create_directories(UserFolder());
        StartReferenceServer();
        WriteRecordingOpener();
        if (!FirstStart()) {
            const ProgramResult attach = RunProgram(LUMORA_CLI_PATH, {"attach", "demo", "demo"});
            ASSERT_EQ(attach.exitStatus, 0) << attach.err;
            StoreSettings([](CClientSettings&) {});
        }
    }

    // A user who has never run the client: no identity, no settings.
    virtual bool FirstStart() const { return false; }

    // The settings as the first start's wizard leaves them, without the
    // log-on start, and what a test changes in them.
    void StoreSettings(const std::function<void(CClientSettings&)>& change)
    {
        platform::Registry registry(platform::CurrentUserHivePath(), platform::LocalMachineHivePath());
        CClientConfig config(registry);
        ASSERT_TRUE(config.Initialize());
        CClientSettings& settings = config.Settings();
        settings.installing = 0;
        settings.autoRun = 0;
        change(settings);
        ASSERT_TRUE(config.Save(CConfigGroup::Everything));
    }

    void TearDown() override
    {
        if (m_client && m_client->IsRunning())
            m_client->Stop(SIGKILL);
    }

    fs::path UserFolder() const { return m_home.DataHome() / "lumora"; }
    fs::path StoredCodes() const { return UserFolder() / (kDemoUser + "Codes.dat"); }

    void StartReferenceServer()
    {
        const fs::path portFile = m_home.Dir() / "port";
        m_server = std::make_unique<ServerProcess>(
            LUMORA_REFSERVER_PATH,
            std::vector<std::string>{"--listen", "127.0.0.1:0", "--port-file", portFile.string(), "--data",
                                     fs::path(LUMORA_SOURCE_DIR) / "data/refserver", "--core-cache",
                                     (UserFolder() / "Server.dat").string()});
        ASSERT_NE(m_server->WaitForPortFile(portFile), 0) << m_server->ErrorOutput();
    }

    // Opening an address runs xdg-open from PATH: this one notes the address.
    void WriteRecordingOpener()
    {
        const fs::path bin = m_home.Dir() / "bin";
        fs::create_directories(bin);
        const fs::path opener = bin / "xdg-open";
        std::ofstream(opener) << "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" << m_opened.string() << "'\n";
        fs::permissions(opener, fs::perms::owner_all);
        m_path = std::make_unique<ScopedEnv>("PATH", (bin.string() + ":" + std::getenv("PATH")).c_str());
    }

    std::string Opened() const { return ReadAll(m_opened); }

    // The client, up to its first idle state: its channel answers, and its
    // window is there unless it starts hidden.
    void StartClient(const std::vector<std::string>& args = {}, bool hidden = false)
    {
        const ScopedEnv splash("LUMORA_SPLASH_MS", "100");
        const ScopedEnv sanitizer("ASAN_OPTIONS", XClientSanitizerOptions().c_str());
        m_client = std::make_unique<ServerProcess>(LUMORA_PATH, args);
        ASSERT_TRUE(WaitFor([] { return platform::FindRunningClient(); })) << m_client->ErrorOutput();
        if (!hidden) {
            ASSERT_TRUE(WaitFor([&] { return !Windows(true).empty(); })) << m_client->ErrorOutput();
        }
    }

    // The client's main windows, only those shown or all of them; or the
    // windows of another title.
    static std::vector<std::string> Windows(bool visibleOnly, const std::string& title = kTitle)
    {
        std::vector<std::string> args{"search"};
        if (visibleOnly)
            args.push_back("--onlyvisible");
        args.insert(args.end(), {"--name", "^" + title + "$"});
        static const std::string xdotool = FindOnPath("xdotool");
        const ProgramResult found = RunProgram(xdotool, args);
        std::vector<std::string> windows;
        std::istringstream lines(found.out);
        for (std::string line; std::getline(lines, line);)
            windows.push_back(line);
        return windows;
    }

    // The page opened, the descriptions came back and were taken in; then
    // the session ends as a log-out ends it.
    void ExpectPageThenEndSession()
    {
        ASSERT_TRUE(WaitFor([&] { return Opened().find(kPageOfCode) != std::string::npos; }))
            << "opened: " << Opened() << "\n"
            << m_client->ErrorOutput();
        ASSERT_TRUE(WaitFor([&] { return m_server->ErrorOutput().find("XDESC") != std::string::npos; }))
            << m_server->ErrorOutput();
        std::this_thread::sleep_for(1500ms); // the batch's end reaches the view
        EXPECT_EQ(m_client->Stop(SIGTERM), 0) << m_client->ErrorOutput();
        const std::string stored = ReadAll(StoredCodes());
        EXPECT_NE(stored.find(kCode), std::string::npos) << stored;
        EXPECT_NE(stored.find(kDescription), std::string::npos) << stored;
    }

    TempHome m_home;
    std::unique_ptr<XvfbServer> m_xvfb;
    std::unique_ptr<ServerProcess> m_server;
    std::unique_ptr<ServerProcess> m_client;
    std::unique_ptr<ScopedEnv> m_path;
    fs::path m_opened = m_home.Dir() / "opened.txt";
};

TEST_F(DesktopClient, CodeSentByAnotherProgramOpensItsPageAndIsKeptAtTheSessionEnd)
{
    StartClient();
    EXPECT_EQ(Windows(true).size(), 1u);
    const ProgramResult send = RunProgram(LUMORA_CLI_PATH, {"send", kCode});
    ASSERT_EQ(send.exitStatus, 0) << send.err;
    ExpectPageThenEndSession();
    // Starting at log-on was left off: nothing was set up for it.
    EXPECT_FALSE(fs::exists(platform::AutostartEntryPath()));
}

TEST_F(DesktopClient, CodeReadWithAWandOpensItsPageAndIsKeptAtTheSessionEnd)
{
    PtyDevice wand;
    const fs::path devices = m_home.ConfigHome() / "lumora/dosdevices";
    fs::create_directories(devices);
    fs::create_symlink(wand.SlavePath(), devices / "com1");
    // The settings pages would store these: the Welch Allyn wand on COM1.
    StoreSettings([](CClientSettings& settings) {
        settings.useScanner = 1;
        settings.scanner = ScannerTypeNumber(CScannerType::WelchAllyn6180);
        settings.scannerPort = 0;
    });
    StartClient();
    ASSERT_TRUE(wand.WaitForOpen()) << m_client->ErrorOutput();
    wand.Send("c" + kCode + "\r\n");
    ExpectPageThenEndSession();
    EXPECT_TRUE(wand.Failures().empty());
}

TEST_F(DesktopClient, SecondStartShowsTheHiddenClientAndEndsAtOnce)
{
    const fs::path ready = m_home.Dir() / "tray.out";
    const pid_t tray = SpawnProgram(LUMORA_TRAYMANAGER, {}, ready.string(), "/dev/null");
    ASSERT_TRUE(WaitFor([&] { return ReadAll(ready) == "ready\n"; }));

    // Started at log-on: straight into the tray.
    StartClient({"-autorun"}, true);
    // Auto-run waits twice as long on its splash; the window must not show after it.
    std::this_thread::sleep_for(1500ms);
    ASSERT_TRUE(Windows(true).empty()) << "the auto-run window stays hidden";

    const ScopedEnv splash("LUMORA_SPLASH_MS", "100");
    const ScopedEnv sanitizer("ASAN_OPTIONS", XClientSanitizerOptions().c_str());
    ServerProcess second(LUMORA_PATH, {});
    EXPECT_EQ(second.Wait(10s), 0) << second.ErrorOutput();
    EXPECT_TRUE(WaitFor([] { return Windows(true).size() == 1; })) << "the first client came back";
    EXPECT_EQ(Windows(false).size(), 1u) << "the second start made no window of its own";
    EXPECT_TRUE(m_client->IsRunning());
    ::kill(tray, SIGTERM);
}

// A user who has never run the client, with no account attached yet.
class FirstStartClient : public DesktopClient {
protected:
    bool FirstStart() const override { return true; }
};

TEST_F(FirstStartClient, TheWizardRunsBeforeTheWindowAndCancellingItEndsTheProgram)
{
    const ScopedEnv splash("LUMORA_SPLASH_MS", "100");
    const ScopedEnv sanitizer("ASAN_OPTIONS", XClientSanitizerOptions().c_str());
    m_client = std::make_unique<ServerProcess>(LUMORA_PATH, std::vector<std::string>{});
    std::vector<std::string> wizard;
    ASSERT_TRUE(WaitFor([&] { return !(wizard = Windows(true, "New User Setup")).empty(); }))
        << m_client->ErrorOutput();
    EXPECT_TRUE(Windows(true).empty()) << "the main window waits for the wizard";
    ASSERT_TRUE(XdoTool({"windowfocus", "--sync", wizard.front(), "key", "Escape"}));
    EXPECT_EQ(m_client->Wait(10s), 0) << m_client->ErrorOutput();
    platform::Registry registry(platform::CurrentUserHivePath(), platform::LocalMachineHivePath());
    CClientConfig config(registry);
    std::string uid;
    EXPECT_TRUE(!config.ReadUserId(uid) || uid.empty()) << uid;
    EXPECT_FALSE(fs::exists(platform::AutostartEntryPath()))
        << "no start at log-on before the wizard completes";
}

} // namespace
