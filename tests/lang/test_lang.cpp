#include "client/langmgr.h"
#include "client/uitextids.h"
#include "platform/codepage.h"
#include "platform/dynlib.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>

namespace {

struct Identity {
    const char* path;
    const char* code;
    std::int32_t number;
    const char* text; // Windows-1252
    std::int32_t languageTag;
    const char* description;
};
const Identity kLibraries[] = {
    {LUMORA_LIB_POR, "pt", 3, "Portuguese", 2070, "Lumora PC Software Portuguese Language DLL"},
    {LUMORA_LIB_SPA, "es", 2, "Espa\xF1ol", 2058, "Lumora PC Software Spanish Language DLL"},
};

// Texts that stay the same in every language: names and symbols.
const std::set<int> kSameInEveryLanguage = {
    kStrProgramsFolder, kStrProgramShortcut, kStrDefaultInstallFolder, kStrAppTitle,
    kStrColumnStatus,   kStrColumnNumber,    kStrTypeNumicode,         kStrTypeUrl,
};

// "%1".."%9", "%u", "%ld" and "%%" in order: a translation must keep them all.
std::vector<std::string> Placeholders(std::string_view text)
{
    std::vector<std::string> found;
    for (auto at = text.find('%'); at != std::string_view::npos; at = text.find('%', at + 1)) {
        const std::string_view rest = text.substr(at + 1);
        std::size_t length = 0;
        if (rest.starts_with("%") || rest.starts_with("u") ||
            (!rest.empty() && rest[0] >= '1' && rest[0] <= '9'))
            length = 1;
        else if (rest.starts_with("ld"))
            length = 2;
        if (length) {
            found.emplace_back(text.substr(at, length + 1));
            at += length;
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

class LanguageLibrary : public ::testing::TestWithParam<Identity> {
protected:
    void SetUp() override { ASSERT_TRUE(m_library.Open(GetParam().path)) << m_library.Error(); }
    platform::DynamicLibrary m_library;
};

TEST_P(LanguageLibrary, FourQueriesAnswerTheSameEveryTime)
{
    const auto getCode = m_library.Function<LumoraGetLangCodeFn>(LUMORA_EXPORT_LANG_CODE);
    const auto getNumber = m_library.Function<LumoraGetLangIdFn>(LUMORA_EXPORT_LANG_ID);
    const auto getText = m_library.Function<LumoraGetLangTextFn>(LUMORA_EXPORT_LANG_TEXT);
    const auto getVersion = m_library.Function<LumoraGetVersionInfoFn>(LUMORA_EXPORT_VERSION_INFO);
    ASSERT_TRUE(getCode && getNumber && getText && getVersion);
    for (int round = 0; round < 2; ++round) {
        LumoraVersionInfo version;
        std::memset(&version, 0x7F, sizeof version);
        EXPECT_EQ(getVersion(&version), &version);
        EXPECT_EQ(version.major, 1);
        EXPECT_EQ(version.minor, 0) << "the zero fields are written too";
        EXPECT_EQ(version.build, 0);
        EXPECT_STREQ(getText(), GetParam().text);
        EXPECT_STREQ(getCode(), GetParam().code);
        EXPECT_EQ(getNumber(), GetParam().number);
    }
    EXPECT_EQ(getVersion(nullptr), nullptr);
}

TEST_P(LanguageLibrary, TranslatesEveryTextOfTheProgram)
{
    const auto* table = static_cast<const LumoraResourceTable*>(m_library.Symbol(LUMORA_EXPORT_RESOURCES));
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->format, LUMORA_RESOURCE_FORMAT);
    EXPECT_EQ(table->languageTag, GetParam().languageTag);
    EXPECT_STREQ(table->fileDescription, GetParam().description);
    EXPECT_STREQ(table->fileVersion, "3.2.1.0");
    EXPECT_STREQ(table->productVersion, "3.2.1.0");

    ASSERT_EQ(table->stringCount, kProgramResources.stringCount);
    for (std::uint32_t i = 0; i < table->stringCount; ++i) {
        const LumoraStringResource& ours = kProgramResources.strings[i];
        const LumoraStringResource& theirs = table->strings[i];
        ASSERT_EQ(theirs.id, ours.id);
        EXPECT_EQ(Placeholders(theirs.text), Placeholders(ours.text)) << ours.id << ": " << theirs.text;
        if (!kSameInEveryLanguage.count(ours.id)) {
            EXPECT_STRNE(theirs.text, ours.text) << ours.id << " is not translated";
        }
    }
    ASSERT_EQ(table->menuCount, kProgramResources.menuCount);
    for (std::uint32_t i = 0; i < table->menuCount; ++i) {
        const LumoraMenuResource& ours = kProgramResources.menus[i];
        const LumoraMenuResource& theirs = table->menus[i];
        EXPECT_EQ(theirs.menuId, ours.menuId);
        EXPECT_EQ(theirs.kind, ours.kind);
        EXPECT_EQ(theirs.itemId, ours.itemId);
        if (ours.kind == LUMORA_MENU_ITEM && ours.itemId != kCmdSettingsProxy) {
            EXPECT_STRNE(theirs.text, ours.text) << "menu item " << ours.itemId;
        }
    }
    ASSERT_EQ(table->dialogCount, kProgramResources.dialogCount);
    for (std::uint32_t i = 0; i < table->dialogCount; ++i) {
        EXPECT_EQ(table->dialogs[i].dialogId, kProgramResources.dialogs[i].dialogId);
        EXPECT_EQ(table->dialogs[i].controlId, kProgramResources.dialogs[i].controlId);
    }
}

INSTANTIATE_TEST_SUITE_P(Delivered, LanguageLibrary, ::testing::ValuesIn(kLibraries),
                         [](const auto& info) { return std::string(info.param.code); });

TEST(LanguageLibraries, SwitchEnglishSpanishPortugueseEnglish)
{
    TempDir program;
    program.WriteFile("lumora", "");
    std::filesystem::copy_file(LUMORA_LIB_POR, program / "lumorapor.so");
    std::filesystem::copy_file(LUMORA_LIB_SPA, program / "lumoraspa.so");
    CLanguageMgr manager;
    manager.Initialize(program / "lumora");
    ASSERT_EQ(manager.Entries().size(), 3u);

    // The manager hands out UTF-8: the Windows-1252 of the libraries stays inside it.
    const auto check = [&](const char* language, const char* storedCodes, const char* badLine,
                           const char* fileMenu, const char* proxyPage, const char* current) {
        SCOPED_TRACE(language);
        EXPECT_EQ(manager.LoadText(kStrStoredCodes), storedCodes);
        EXPECT_EQ(manager.FormatMessage(kStrListFileBadLine, {"x.codelist"}), badLine);
        EXPECT_EQ(manager.LoadMenu(kMenuMain).at(0).text, fileMenu);
        EXPECT_EQ(manager.LoadDialog(kDlgPageProxy).caption, proxyPage);
        EXPECT_NE(manager.LanguageListText().find(current), std::string::npos);
    };

    check("English", "Stored Codes",
          "File x.codelist is not validly formatted.\n\nCan only import files with *.codelist extension.",
          "&File", "Proxy Settings", "English\t\t1.0.0  (current)\r\n");
    ASSERT_TRUE(manager.SelectByCode("es"));
    EXPECT_EQ(manager.Current().text, "Español");
    check("Spanish", "Códigos almacenados",
          "El archivo x.codelist no tiene un formato válido.\n\nSolo se pueden importar archivos con la "
          "extensión "
          "*.codelist.",
          "&Archivo", "Configuración del proxy", "Español\t\t1.0.0  (actual)\r\n");
    ASSERT_TRUE(manager.SelectByNumber(3));
    check(
        "Portuguese", "Códigos guardados",
        "O ficheiro x.codelist não tem um formato válido.\n\nSó é possível importar ficheiros com a extensão "
        "*.codelist.",
        "&Ficheiro", "Definições de proxy", "Portuguese\t1.0.0  (atual)\r\n");
    ASSERT_TRUE(manager.SelectByNumber(0));
    check("English again", "Stored Codes",
          "File x.codelist is not validly formatted.\n\nCan only import files with *.codelist extension.",
          "&File", "Proxy Settings", "English\t\t1.0.0  (current)\r\n");
}

// Every string, menu text and dialog text of each language, as the manager
// gives it, is UTF-8 and says what the library's Windows-1252 says.
TEST(LanguageLibraries, EveryTextLeavesTheManagerAsUtf8)
{
    TempDir program;
    program.WriteFile("lumora", "");
    for (const Identity& library : kLibraries)
        std::filesystem::copy_file(library.path, program / std::filesystem::path(library.path).filename());
    CLanguageMgr manager;
    manager.Initialize(program / "lumora");
    ASSERT_EQ(manager.Entries().size(), 3u);
    for (const Identity& library : kLibraries) {
        SCOPED_TRACE(library.code);
        ASSERT_TRUE(manager.SelectByCode(library.code));
        platform::DynamicLibrary raw;
        ASSERT_TRUE(raw.Open(library.path)) << raw.Error();
        const auto* table = static_cast<const LumoraResourceTable*>(raw.Symbol(LUMORA_EXPORT_RESOURCES));
        ASSERT_NE(table, nullptr);
        std::size_t accented = 0;
        for (std::uint32_t i = 0; i < table->stringCount; ++i) {
            const std::string text = manager.LoadText(table->strings[i].id);
            EXPECT_TRUE(platform::IsUtf8(text)) << table->strings[i].id;
            EXPECT_EQ(text, platform::Cp1252ToUtf8(table->strings[i].text)) << table->strings[i].id;
            accented += text != table->strings[i].text;
        }
        EXPECT_GT(accented, 50u) << "the translations are full of accents";
        std::set<int> menus, dialogs;
        for (std::uint32_t i = 0; i < table->menuCount; ++i)
            menus.insert(table->menus[i].menuId);
        for (std::uint32_t i = 0; i < table->dialogCount; ++i)
            dialogs.insert(table->dialogs[i].dialogId);
        const auto checkMenu = [](const auto& self, const std::vector<CMenuItem>& items) -> void {
            for (const CMenuItem& item : items) {
                EXPECT_TRUE(platform::IsUtf8(item.text)) << item.text;
                self(self, item.children);
            }
        };
        for (int menu : menus)
            checkMenu(checkMenu, manager.LoadMenu(menu));
        for (int dialog : dialogs) {
            const CDialogTexts texts = manager.LoadDialog(dialog);
            EXPECT_TRUE(platform::IsUtf8(texts.caption)) << dialog;
            for (const auto& [control, text] : texts.controls)
                EXPECT_TRUE(platform::IsUtf8(text)) << dialog << "/" << control;
        }
        EXPECT_TRUE(platform::IsUtf8(manager.LanguageListText()));
        EXPECT_TRUE(platform::IsUtf8(manager.Current().text));
    }
}

} // namespace
