#include "platform/inifile.h"

#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

using platform::IniFile;

namespace {

const char* const kCust = "\xEF\xBB\xBF; distributor file\r\n"
                          "stray=before any section\r\n"
                          "[Source]\r\n"
                          "  CSRCM = ACME  \r\n"
                          "CSRCString=\"  Acme Books  \"\r\n"
                          "csrcm=second one is ignored\r\n"
                          "[icons]\r\n"
                          "traybad='bad.ico'\r\n"
                          "app\r\n"
                          "about=\r\n"
                          "half=\"open\r\n"
                          "[SOURCE]\r\n"
                          "late=never seen\r\n"
                          "[ webview ] trailing words\r\n"
                          "framesrc=frame.htm\r\n"
                          "[numbers]\r\n"
                          "count=  42 files\r\n"
                          "neg=-7\r\n"
                          "none=abc\r\n"
                          "empty=\r\n"
                          "huge=99999999999999\r\n";

TEST(IniFile, ReadsValuesAsTheProfileFunctionsDo)
{
    IniFile ini;
    ini.Parse(kCust);
    struct Case {
        const char* section;
        const char* key;
        const char* expected;
    } const cases[] = {
        {"source", "csrcm", "ACME"},                // names in any case, blanks trimmed
        {"Source", "CSRCString", "  Acme Books  "}, // quotes removed, blanks inside kept
        {"icons", "traybad", "bad.ico"},            // single quotes too
        {"icons", "about", ""},                     // present but empty
        {"icons", "app", "dflt"},                   // no '=': the default
        {"icons", "half", "\"open"},                // unmatched quote stays
        {"icons", "missing", "dflt"},
        {"nosuch", "csrcm", "dflt"},
        {"source", "late", "dflt"},           // a repeated section is not searched
        {"webview", "framesrc", "frame.htm"}, // header blanks and trailing words ignored
        {"", "stray", "dflt"},                // lines before the first section belong to none
    };
    for (const auto& c : cases)
        EXPECT_EQ(ini.GetString(c.section, c.key, "dflt   ", 1024), c.expected) << c.section << "/" << c.key;
    EXPECT_EQ(ini.SectionNames(),
              (std::vector<std::string>{"Source", "icons", "SOURCE", "webview", "numbers"}));
}

TEST(IniFile, ValuesAreCutToTheBuffer)
{
    IniFile ini;
    const std::string longValue(2000, 'x');
    ini.Parse("[s]\nlong=" + longValue + "\nquoted=\"" + std::string(1030, 'q') + "\"\nshort=abc\n");
    EXPECT_EQ(ini.GetString("s", "long", "", 1024), std::string(1023, 'x'));
    EXPECT_EQ(ini.GetString("s", "quoted", "", 1024), std::string(1023, 'q'));
    EXPECT_EQ(ini.GetString("s", "short", "", 3), "ab");
    EXPECT_EQ(ini.GetString("s", "short", "", 1), "");
    EXPECT_EQ(ini.GetString("s", "short", "", 0), "");
    EXPECT_EQ(ini.GetString("s", "missing", "default", 4), "def");
}

TEST(IniFile, Numbers)
{
    IniFile ini;
    ini.Parse(kCust);
    EXPECT_EQ(ini.GetInt("numbers", "count", -1), 42);
    EXPECT_EQ(ini.GetInt("numbers", "neg", 0), -7);
    EXPECT_EQ(ini.GetInt("numbers", "none", 5), 0);
    EXPECT_EQ(ini.GetInt("numbers", "empty", 5), 5);
    EXPECT_EQ(ini.GetInt("numbers", "missing", 5), 5);
    EXPECT_EQ(ini.GetInt("numbers", "huge", 0), 2147483647);
}

TEST(IniFile, LoadsFromDisk)
{
    TempDir dir;
    IniFile ini;
    EXPECT_FALSE(ini.Load(dir / "absent.cust"));
    ASSERT_TRUE(ini.Load(dir.WriteFile("a.cust", "[bitmaps]\nbackground=0,128,255\n")));
    EXPECT_EQ(ini.GetString("BITMAPS", "Background", "255,255,255", 1024), "0,128,255");
    EXPECT_FALSE(ini.Load(dir.Path())) << "a folder is not a file";
    EXPECT_FALSE(ini.HasSection("bitmaps")) << "a failed load leaves nothing behind";
}

} // namespace
