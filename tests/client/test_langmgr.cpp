#include "client/langmgr.h"

#include "client/uitextids.h"
#include "tests/support/tempdir.h"
#include "tst/tsexcep.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> Codes(const CLanguageMgr& manager)
{
    std::vector<std::string> codes;
    for (const auto& entry : manager.Entries())
        codes.push_back(entry.code);
    return codes;
}

// A program folder holding the stand-in libraries the way a user might
// have them: some real languages, some other libraries, a nested folder.
class LanguageFolder : public ::testing::Test {
protected:
    LanguageFolder()
    {
        Copy(FAKE_LANG_A, "a_lang.so");
        Copy(FAKE_LANG_B, "b_lang.SO"); // the suffix counts in any case
        Copy(FAKE_LANG_NESTED, "sub.so/nested.so");
        Copy(FAKE_LANG_HIDDEN, "other/hidden.so");
        Copy(FAKE_LANG_NO_VERSION, "noversion.so");
        Copy(FAKE_LANG_NO_TEXT, "notext.so");
        Copy(FAKE_LANG_NULL_CODE, "nullcode.so");
        Copy(PLAIN_LIBRARY, "plain.so");
        m_dir.WriteFile("garbage.so", "not a library at all");
        m_dir.WriteFile("readme.txt", "");
        std::filesystem::create_directory_symlink(m_dir.Path(), m_dir / "loop.so");
        m_manager.Initialize(m_dir / "lumora");
    }

    void Copy(const char* from, const std::string& to)
    {
        std::filesystem::create_directories((m_dir / to).parent_path());
        std::filesystem::copy_file(from, m_dir / to);
    }

    TempDir m_dir;
    CLanguageMgr m_manager;
};

TEST_F(LanguageFolder, ScanFindsLanguageLibrariesOnly)
{
    EXPECT_EQ(Codes(m_manager), (std::vector<std::string>{"en", "xx", "yy", "zz"}))
        << "other/ is not listed, plain.so and the incomplete ones are skipped, loop.so is not followed "
           "twice";
    const auto& english = m_manager.Entries()[0];
    EXPECT_EQ(english.text, "English");
    EXPECT_EQ(english.number, 0);
    EXPECT_EQ(english.VersionText(), "1.0.0");
    EXPECT_EQ(english.fileName, "lumora");
    const auto& first = m_manager.Entries()[1];
    EXPECT_EQ(first.text, "Fake A");
    EXPECT_EQ(first.number, 7);
    EXPECT_EQ(first.VersionText(), "2.5.9");
    EXPECT_EQ(first.fileName, "a_lang.so");
    EXPECT_EQ(first.path, m_dir / "a_lang.so");
    EXPECT_EQ(m_manager.Entries()[3].path, m_dir / "sub.so/nested.so");
    EXPECT_EQ(m_manager.CurrentIndex(), 0u);
}

TEST_F(LanguageFolder, SelectionByNumberAndCode)
{
    EXPECT_TRUE(m_manager.SelectByNumber(7));
    EXPECT_EQ(m_manager.Current().code, "xx") << "of two libraries with one number, the first found";
    EXPECT_TRUE(m_manager.SelectByCode("yy"));
    EXPECT_EQ(m_manager.Current().code, "yy");
    EXPECT_TRUE(m_manager.SelectByNumber(7));
    EXPECT_EQ(m_manager.Current().code, "yy") << "already a number-7 language: nothing changes";
    EXPECT_TRUE(m_manager.SelectByNumber(7, true));
    EXPECT_EQ(m_manager.Current().code, "xx");
    EXPECT_FALSE(m_manager.SelectByCode("XX")) << "codes compare exactly";
    EXPECT_FALSE(m_manager.SelectByNumber(42));
    EXPECT_EQ(m_manager.Current().code, "xx") << "a failed selection changes nothing";

    m_manager.SelectConfigured("zz");
    EXPECT_EQ(m_manager.Current().code, "zz");
    m_manager.SelectConfigured("qq");
    EXPECT_EQ(m_manager.CurrentIndex(), 0u) << "an unknown stored code selects English";
}

TEST_F(LanguageFolder, TextsFallBackToTheProgram)
{
    ASSERT_TRUE(m_manager.SelectByCode("xx"));
    // The library's Windows-1252 comes out as UTF-8.
    EXPECT_EQ(m_manager.LoadText(kStrStoredCodes), "Fake Códigos");
    EXPECT_EQ(m_manager.LoadText(kStrColumnCode), "Code") << "missing from the library: the program's";
    EXPECT_EQ(m_manager.FormatMessage(kStrCannotSaveFile, {"Codes.dat"}), "Unable to save file Codes.dat.");

    const auto tray = m_manager.LoadMenu(kMenuTray);
    ASSERT_EQ(tray.size(), 1u);
    ASSERT_EQ(tray[0].children.size(), 1u);
    EXPECT_EQ(tray[0].children[0].text, "Fake &Show €");
    const auto main = m_manager.LoadMenu(kMenuMain);
    ASSERT_EQ(main.size(), 6u);
    EXPECT_EQ(main[0].text, "&File");

    const CDialogTexts proxy = m_manager.LoadDialog(kDlgPageProxy);
    EXPECT_EQ(proxy.caption, "Fake Configuração");
    EXPECT_EQ(proxy.controls.at(kCtlProxyAddress), "Fake &Address");
    EXPECT_EQ(proxy.controls.at(kCtlProxyPort), "Proxy &Port") << "a control the library lacks";
    EXPECT_EQ(m_manager.LoadDialog(kDlgPageAutoGo).caption, "Batch Process Settings");

    const std::pair<std::function<void()>, const char*> missing[] = {
        {[&] { m_manager.LoadText(12345); }, "at langmgr line 380"},
        {[&] { m_manager.LoadMenu(999); }, "at langmgr line 445"},
        {[&] { m_manager.LoadDialog(999); }, "at langmgr line 473"},
    };
    for (const auto& [load, where] : missing) {
        try {
            load();
            ADD_FAILURE() << "no error for " << where;
        } catch (const TSInternalError& error) {
            EXPECT_NE(error.GetMessage().find(where), std::string::npos) << error.GetMessage();
        }
    }

    ASSERT_TRUE(m_manager.SelectByNumber(0));
    EXPECT_EQ(m_manager.LoadText(kStrStoredCodes), "Stored Codes") << "back in English, all from the program";
    EXPECT_EQ(m_manager.LoadMenu(kMenuTray)[0].children[0].text, "&Show Lumora PC Software window");
}

TEST_F(LanguageFolder, LibraryGoneSinceTheScanLeavesEnglish)
{
    ASSERT_TRUE(m_manager.SelectByCode("yy"));
    std::filesystem::remove(m_dir / "a_lang.so");
    EXPECT_FALSE(m_manager.SelectByCode("xx"));
    EXPECT_EQ(m_manager.CurrentIndex(), 0u);
    EXPECT_EQ(m_manager.LoadText(kStrStoredCodes), "Stored Codes");
}

TEST_F(LanguageFolder, LanguageListText)
{
    ASSERT_TRUE(m_manager.SelectByCode("yy"));
    EXPECT_EQ(m_manager.LanguageListText(), "Available Languages\r\n"
                                            "English\t\t1.0.0\r\n"
                                            "Fake A\t\t2.5.9\r\n"
                                            "Fake Bravo Language\t1.0.1  (current)\r\n"
                                            "Français\t\t0.0.3\r\n")
        << "names in UTF-8; the second tab goes by characters, not bytes";
    EXPECT_EQ(m_manager.Entries()[3].text, "Français");
}

TEST(LanguageManager, FolderWithoutLibrariesLeavesEnglish)
{
    TempDir dir;
    dir.WriteFile("lumora", "");
    CLanguageMgr manager;
    manager.Initialize(dir / "lumora");
    EXPECT_EQ(Codes(manager), std::vector<std::string>{"en"});
    EXPECT_EQ(manager.LoadText(kStrNone), "-none-");
}

// The program's own tables are built like the libraries', in Windows-1252,
// and leave the manager as UTF-8 too.
TEST(LanguageManager, ProgramTablesComeOutAsUtf8)
{
    static const LumoraStringResource strings[] = {{kStrNone, "-nenhum \x80-"},
                                                   {kStrStoredCodes, "C\xF3"
                                                                     "digos"}};
    static const LumoraMenuResource menus[] = {
        {kMenuTray, LUMORA_MENU_POPUP, 0, "Bandeja"},
        {kMenuTray, LUMORA_MENU_ITEM, 32803, "&Mostrar a janela \xE0 frente"},
        {kMenuTray, LUMORA_MENU_END, 0, nullptr},
    };
    static const LumoraDialogResource dialogs[] = {{kDlgPageProxy, 0, "Configura\xE7\xE3o"}};
    const LumoraResourceTable table = {sizeof(LumoraResourceTable),
                                       LUMORA_RESOURCE_FORMAT,
                                       2070,
                                       strings,
                                       2,
                                       menus,
                                       3,
                                       dialogs,
                                       1,
                                       "",
                                       "",
                                       "",
                                       ""};
    CLanguageMgr manager(table);
    EXPECT_EQ(manager.LoadText(kStrNone), "-nenhum €-");
    EXPECT_EQ(manager.FormatMessage(kStrStoredCodes), "Códigos");
    EXPECT_EQ(manager.LoadMenu(kMenuTray).at(0).children.at(0).text, "&Mostrar a janela à frente");
    EXPECT_EQ(manager.LoadDialog(kDlgPageProxy).caption, "Configuração");
}

TEST(LanguageManager, MessageInserts)
{
    const std::vector<std::string> two = {"A", "B%1"};
    const std::pair<const char*, const char*> cases[] = {
        {"%1 and %2", "A and B%1"}, // inserts are not read again
        {"%2%1", "B%1A"},
        {"%3 stays", "%3 stays"}, // beyond the inserts
        {"%0 stays", "%0 stays"},
        {"100%% sure", "100% sure"},
        {"%%1", "%1"},
        {"ends with %", "ends with %"},
        {"%a %", "%a %"},
        {"%9", "%9"},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(CLanguageMgr::FormatInserts(text, two), expected) << text;
    EXPECT_EQ(CLanguageMgr::FormatInserts("%1", {}), "%1");
    const std::vector<std::string> nine = {"1", "2", "3", "4", "5", "6", "7", "8", "9"};
    EXPECT_EQ(CLanguageMgr::FormatInserts("%9%8%1", nine), "981");
}

TEST(LanguageTexts, NumbersFillPrintfStyleTexts)
{
    const std::pair<const char*, const char*> cases[] = {
        {"Version %ld.%ld Build %ld", "Version 3.2 Build 17"},
        {"Page %d", "Page 3"},
        {"%u.%u", "3.2"},
        {"%lu%d", "32"},
        {"100%% %d", "100% 3"},
        {"%s %x %", "%s %x %"},       // other conversions stay
        {"%d %d %d %d", "3 2 17 %d"}, // more places than numbers
        {"%l", "%l"},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(CLanguageMgr::FormatNumbers(text, {3, 2, 17}), expected) << text;
    EXPECT_EQ(CLanguageMgr::FormatNumbers("%d", {-5}), "-5");
}

} // namespace
