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

TEST(CodePage, Utf8Checks)
{
    const std::pair<std::string, bool> cases[] = {
        {"", true},
        {"plain", true},
        {"Código ação €™ \U0010FFFF", true},
        {"Espa\xF1ol", false},       // Windows-1252
        {"\xC3", false},             // cut off
        {"\x80", false},             // stray continuation byte
        {"\xC0\xAF", false},         // overlong "/"
        {"\xE0\x80\xAF", false},     // overlong
        {"\xED\xA0\x80", false},     // a surrogate
        {"\xF4\x90\x80\x80", false}, // above U+10FFFF
        {"\xE2\x82", false},         // three-byte form cut off
        {"a\xE2\x82\xAC"
         "b\xC3\xA7",
         true}, // "a€bç"
    };
    for (const auto& [text, utf8] : cases)
        EXPECT_EQ(platform::IsUtf8(text), utf8) << testing::PrintToString(text);
    EXPECT_EQ(platform::Utf8Length("Códigos almacenados"), 19u);
    EXPECT_EQ(platform::Utf8Length("€™"), 2u);
    EXPECT_EQ(platform::Utf8OrCp1252("Espa\xF1ol"), "Español");
    EXPECT_EQ(platform::Utf8OrCp1252("Español"), "Español") << "UTF-8 is left as it is";
    EXPECT_EQ(platform::Utf8OrCp1252("Caf\xC3\xA9 C\xF3"
                                     "digo \x80"),
              "Café Código €")
        << "both in one text";
}

} // namespace
