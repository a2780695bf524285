// Installation and removal with the built installation source folder:
// unattended, as a system administrator runs them, and through the pages
// under an X server of the test's own, as a user does.
#include "client/config.h"
#include "platform/registry.h"
#include "tests/support/runprogram.h"
#include "tests/support/scopedenv.h"
#include "tests/support/serverprocess.h"
#include "tests/support/temphome.h"
#include "tests/support/xvfbserver.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool PathExists(const fs::path& path)
{
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error));
}

class QuietSetupTest : public ::testing::Test {
protected:
    fs::path Dist() const { return LUMORA_DIST; }
    fs::path Target() const { return m_home.Home() / "apps/lumora"; }
    fs::path MenuEntry() const { return m_home.DataHome() / "applications/lumora.desktop"; }

    ProgramResult Install(std::vector<std::string> extra = {})
    {
        std::vector<std::string> args{"-install", "-quiet", "-dir", Target().string()};
        args.insert(args.end(), extra.begin(), extra.end());
        return RunProgram((Dist() / "lumora").string(), args);
    }

    TempHome m_home;
};

TEST_F(QuietSetupTest, InstallsRunsAndRemoves)
{
    const ProgramResult installed = Install();
    ASSERT_EQ(installed.exitStatus, 0) << installed.err;
    EXPECT_EQ(
        Lines(installed.err),
        (std::vector<std::string>{"Copying files...", "Making registry entries...", "Creating shortcuts...",
                                  "The installation has completed successfully."}));
    for (const char* file : {"lumora", "lumora-cli", "lumorapor.so", "lumoraspa.so", "vtkbdhook.so",
                             "Server.dat", "wvmenusrc.htm", "wvframesrc.htm", "lumora.inst"})
        EXPECT_TRUE(fs::is_regular_file(Target() / file)) << file;
    const ProgramResult version = RunProgram((m_home.Home() / ".local/bin/lumora").string(), {"--version"});
    EXPECT_EQ(version.exitStatus, 0);
    EXPECT_EQ(version.out.rfind("lumora ", 0), 0u) << version.out;
    EXPECT_EQ(RunProgram("/usr/bin/desktop-file-validate", {MenuEntry().string()}).exitStatus, 0);

    // Again from the installed copy's menu entry: the same version.
    const ProgramResult again = Install();
    EXPECT_EQ(again.exitStatus, 0) << again.err;
    EXPECT_EQ(Lines(again.err).back(), "The upgrade has completed successfully.");

    const ProgramResult removed = RunProgram((Target() / "lumora").string(), {"-remove", "-quiet"});
    ASSERT_EQ(removed.exitStatus, 0) << removed.err;
    EXPECT_EQ(Lines(removed.err), std::vector<std::string>{"Remove complete"});
    for (int i = 0; i < 200 && PathExists(Target()); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(PathExists(Target()));
    EXPECT_FALSE(PathExists(MenuEntry()));
    EXPECT_FALSE(PathExists(m_home.Home() / ".local/bin/lumora"));
}

TEST_F(QuietSetupTest, LanguageAndOptions)
{
    const ProgramResult portuguese = Install({"-lang", "pt"});
    ASSERT_EQ(portuguese.exitStatus, 0) << portuguese.err;
    EXPECT_EQ(Lines(portuguese.err).front(), "A copiar ficheiros...");

    struct Case {
        std::vector<std::string> args;
        int status;
        std::string message;
    };
    const Case cases[] = {
        {{"-install", "-quiet", "-lang", "xx"},
         2,
         "lumora: The language 'xx' is not included in this installation."},
        {{"-install", "-quiet", "-dir"}, 2, "lumora: The option -dir needs a value."},
        {{"/REMOVE", "/Quiet", "-lang", "es"},
         1,
         "lumora: Esta copia de Lumora PC Software no fue instalada por su instalador; aquí no hay nada que "
         "eliminar."},
    };
    for (const Case& c : cases) {
        const ProgramResult result = RunProgram((Dist() / "lumora").string(), c.args);
        EXPECT_EQ(result.exitStatus, c.status) << result.err;
        EXPECT_EQ(Lines(result.err).front(), c.message);
    }
}

TEST_F(QuietSetupTest, RemovingTheSourceFolderIsRefused)
{
    // The build's folder was never installed: it has no lists of what was made.
    const ProgramResult removed = RunProgram((Dist() / "lumora").string(), {"-remove", "-quiet"});
    EXPECT_EQ(removed.exitStatus, 1);
    EXPECT_EQ(Lines(removed.err).front(),
              "lumora: This copy of the Lumora PC Software was not installed by its "
              "installer, so there is nothing to remove here.");
    for (const char* file : {"lumora", "lumora-cli", "Server.dat", "lumora.inst"})
        EXPECT_TRUE(fs::is_regular_file(Dist() / file)) << file;
}

// The pages, driven with the keyboard as a user would: the real program
// under an X server of the test's own.
class PagedSetupTest : public QuietSetupTest {
protected:
    static constexpr const char* kSetupTitle =
        "^(Lumora PC Software Setup|Instalação do Lumora PC Software)$";

    void SetUp() override
    {
        if (!XvfbServer::Available())
            GTEST_SKIP() << XvfbServer::SkipReason();
        m_xvfb = std::make_unique<XvfbServer>();
    }

    std::unique_ptr<ServerProcess> Start(const std::vector<std::string>& args)
    {
        const ScopedEnv sanitizer("ASAN_OPTIONS", XClientSanitizerOptions().c_str());
        return std::make_unique<ServerProcess>(args.front(),
                                               std::vector<std::string>(args.begin() + 1, args.end()));
    }

    // Gives the window of that title the keyboard and types the keys, as
    // a keyboard would (a key that closes the window ends its window's
    // events, so the keys are not sent to the window itself).
    static bool Type(const std::string& title, const std::vector<std::string>& keys)
    {
        if (!XdoTool({"search", "--sync", "--onlyvisible", "--name", title, "windowfocus", "--sync"}))
            return false;
        std::vector<std::string> args{"sleep", "0.3", "key", "--delay", "150"};
        args.insert(args.end(), keys.begin(), keys.end());
        return XdoTool(args);
    }

    static bool WaitFor(const std::function<bool()>& done)
    {
        for (int i = 0; i < 400; ++i) {
            if (done())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    std::unique_ptr<XvfbServer> m_xvfb;
};

TEST_F(PagedSetupTest, InstallsInTheLanguageChosenFirstAndRemoves)
{
    auto setup = Start({(Dist() / "lumora").string(), "-install", "-dir", Target().string()});
    // Portuguese on the welcome page, then Next through the folder, the
    // browser's verdict (this home has no browser) and Install.
    ASSERT_TRUE(Type(kSetupTitle, {"Down"})) << setup->ErrorOutput();
    const fs::path description = Target() / "lumora.inst";
    const auto installed = [&] {
        std::ifstream in(description);
        std::stringstream text;
        text << in.rdbuf();
        return text.str().find("[Created]") != std::string::npos;
    };
    // The browser's page comes only where the default browser is not a
    // supported one: Next until the copying begins.
    for (int page = 0; page < 5 && !PathExists(Target()); ++page) {
        ASSERT_TRUE(Type(kSetupTitle, {"Return"})) << setup->ErrorOutput();
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    ASSERT_TRUE(WaitFor(installed)) << setup->ErrorOutput();
    // The progress dialog waits for its OK.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_TRUE(setup->IsRunning());
    ASSERT_TRUE(Type(kSetupTitle, {"Return"}));
    EXPECT_EQ(setup->Wait(), 0) << setup->ErrorOutput();

    EXPECT_TRUE(fs::is_regular_file(Target() / "lumora"));
    EXPECT_EQ(RunProgram("/usr/bin/desktop-file-validate", {MenuEntry().string()}).exitStatus, 0);
    platform::RegistryHive user(platform::RegistryRoot::CurrentUser, m_home.ConfigHome() / "lumora/user.reg");
    const auto language = user.QueryValue(std::string(CClientConfig::kUserKey) + "\\Config", "Language");
    ASSERT_TRUE(language);
    EXPECT_EQ(language->AsString(), "pt");

    // Removal in the stored language: Remove, then OK once it is done.
    auto remove = Start({(Target() / "lumora").string(), "-remove"});
    ASSERT_TRUE(Type("^Remover o Lumora PC Software$", {"Return"})) << remove->ErrorOutput();
    ASSERT_TRUE(WaitFor([&] { return !PathExists(MenuEntry()); })) << remove->ErrorOutput();
    ASSERT_TRUE(Type(kSetupTitle, {"Return"}));
    EXPECT_EQ(remove->Wait(), 0) << remove->ErrorOutput();
    EXPECT_TRUE(WaitFor([&] { return !PathExists(Target()); }));
    EXPECT_FALSE(PathExists(m_home.Home() / ".local/bin/lumora"));
}

} // namespace
