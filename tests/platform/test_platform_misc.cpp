#include "platform/codepage.h"
#include "platform/dynlib.h"
#include "platform/folders.h"

#include "tests/support/temphome.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(Folders, XdgFoldersFallBackToTheHome)
{
    TempHome home;
    EXPECT_EQ(platform::XdgConfigHome(), home.ConfigHome());
    EXPECT_EQ(platform::CurrentUserHivePath(), home.ConfigHome() / "lumora/user.reg");
    EXPECT_EQ(platform::AutostartEntryPath(), home.ConfigHome() / "autostart/lumora.desktop");
    for (const char* unusable : {"", "relative/path"}) {
        ::setenv("XDG_CONFIG_HOME", unusable, 1);
        ::setenv("XDG_DATA_HOME", unusable, 1);
        EXPECT_EQ(platform::XdgConfigHome(), home.Home() / ".config") << '"' << unusable << '"';
        EXPECT_EQ(platform::XdgDataHome(), home.Home() / ".local/share");
    }
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_TRUE(platform::XdgRuntimeDir().empty());
}

TEST(Folders, MachineHiveAndUserDataFollowTheInstall)
{
    TempHome home;
    EXPECT_EQ(platform::LocalMachineHivePath("/opt/lumora"), "/opt/lumora/system.reg");
    EXPECT_EQ(platform::LocalMachineHivePath(home.Home() / "apps/lumora"),
              home.DataHome() / "lumora/system.reg");
    EXPECT_EQ(platform::UserDataFolder(), home.DataHome() / "lumora") << "even beside a writable program";
    EXPECT_TRUE(platform::ProgramPath().is_absolute());
    EXPECT_EQ(platform::ProgramPath().filename(), "test_platform");
}

TEST(DynamicLibrary, LoadsLooksUpAndUnloads)
{
    platform::DynamicLibrary library;
    EXPECT_FALSE(library.Open("/no/such/library.so"));
    EXPECT_FALSE(library.Error().empty());
    EXPECT_EQ(library.Symbol("anything"), nullptr);

    ASSERT_TRUE(library.Open(LUMORA_TEST_PLAIN_LIBRARY)) << library.Error();
    using AnswerFn = int (*)();
    const auto answer = library.Function<AnswerFn>("lumora_test_plain_answer");
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    EXPECT_EQ(library.Symbol("LumoraDllGetVersionInfo"), nullptr);

    platform::DynamicLibrary moved(std::move(library));
    EXPECT_FALSE(library.IsOpen());
    EXPECT_TRUE(moved.IsOpen());
    moved.Close();
    EXPECT_FALSE(moved.IsOpen());
}

TEST(CodePage, Windows1252ToUtf8)
{
    const std::pair<std::string, std::string> cases[] = {
        {"Espa\xF1ol", "Español"},
        {"plain", "plain"},
        {"\x80\x99\x9F", "€™Ÿ"},
        {"\xA0\xFF", "\u00A0ÿ"},
        {"\x81\x8D\x8F\x90\x9D", "\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(platform::Cp1252ToUtf8(in), out);
}

} // namespace
