#include "client/config.h"

#include "platform/folders.h"
#include "tests/support/filelimit.h"
#include "tests/support/temphome.h"

#include <gtest/gtest.h>

#include <algorithm>

using platform::Registry;
using platform::RegistryRoot;
using platform::RegistryValue;

namespace {

const std::string kConfigPath = std::string(CClientConfig::kUserKey) + "\\Config";

class ConfigTest : public ::testing::Test {
protected:
    ConfigTest() : m_registry(m_home.ConfigHome() / "lumora/user.reg", m_home.Dir() / "system.reg") {}

    std::unique_ptr<CClientConfig> MakeConfig()
    {
        auto config = std::make_unique<CClientConfig>(m_registry);
        config->SetClientVersion("3.2.1");
        config->SetProgramPath("/opt/lumora/lumora");
        return config;
    }
    platform::RegistryHive& User() { return m_registry.Hive(RegistryRoot::CurrentUser); }
    std::filesystem::path HiveFile() const { return m_home.ConfigHome() / "lumora/user.reg"; }
    std::filesystem::path Autostart() const { return m_home.ConfigHome() / "autostart/lumora.desktop"; }
    void WriteHive(const std::string& body)
    {
        m_home.Dir().WriteFile("home/.config/lumora/user.reg", "REGEDIT4\r\n\r\n" + body);
    }
    std::vector<std::string> Values(const std::string& key) { return User().ValueNames(key); }
    std::int32_t Number(const std::string& key, const char* name)
    {
        const auto value = User().QueryValue(key, name);
        return value ? static_cast<std::int32_t>(value->AsNumber()) : 0;
    }

    TempHome m_home;
    Registry m_registry;
};

std::vector<std::string> Sorted(std::vector<std::string> names)
{
    std::sort(names.begin(), names.end());
    return names;
}

const std::vector<std::string> kAllConfigValues = Sorted({
    "Auto Descriptions",
    "Auto Go",
    "Auto Run",
    "Installing",
    "Language",
    "LanguageName",
    "Maximized",
    "ProxyAddr",
    "ProxyPort",
    "Scanner",
    "StatusBar",
    "ToolBar",
    "Use Proxy",
    "UseScanner",
    "WebView",
    "Window Placement",
});

TEST_F(ConfigTest, OnlyScannerStoredLoadsDefaultsAndNextSaveWritesAll)
{
    WriteHive("[HKEY_CURRENT_USER\\Software\\Tessaly Technologies\\Lumora\\Config]\r\n"
              "\"Scanner\"=dword:0000000a\r\n");
    auto config = MakeConfig();
    ASSERT_TRUE(config->Load());
    EXPECT_TRUE(config->ConfigKeyExisted());

    const CClientSettings& loaded = config->Settings();
    CClientSettings expected;
    expected.scanner = 10;
    EXPECT_EQ(loaded.scanner, 10);
    EXPECT_EQ(loaded.useScanner, expected.useScanner);
    EXPECT_EQ(loaded.autoRun, 1);
    EXPECT_EQ(loaded.autoDescriptions, 1);
    EXPECT_EQ(loaded.toolBar, 1);
    EXPECT_EQ(loaded.installing, 0) << "an existing Config key is no first run";
    EXPECT_EQ(loaded.penPort, -1);
    EXPECT_EQ(loaded.symbolVolume, 1);
    EXPECT_EQ(loaded.baudRate, 3);
    EXPECT_EQ(loaded.parity, 2);
    EXPECT_EQ(loaded.sortCol, -1);
    EXPECT_EQ(loaded.windowPlacement, expected.windowPlacement);
    EXPECT_TRUE(loaded.language.empty());
    EXPECT_EQ(Values(kConfigPath), std::vector<std::string>{"Scanner"}) << "loading writes nothing";

    ASSERT_TRUE(config->Save(CConfigGroup::Everything));
    EXPECT_EQ(Sorted(Values(kConfigPath)), kAllConfigValues) << "EnableOffline is never written";
    EXPECT_EQ(Number(kConfigPath, "Scanner"), 10);
    EXPECT_EQ(Number(kConfigPath, "Auto Descriptions"), 1);
    EXPECT_EQ(User().QueryValue(CClientConfig::kUserKey, "ClientVersion")->AsString(), "3.2.1");
    EXPECT_TRUE(User().KeyExists(kConfigPath + "\\ColData"));
    EXPECT_TRUE(Values(kConfigPath + "\\ColData").empty()) << "-1 is never written";
    EXPECT_FALSE(User().KeyExists(kConfigPath + "\\PenConfig")) << "no scanner in use";
}

TEST_F(ConfigTest, FirstStartWritesDefaultsAndMarksInstalling)
{
    auto config = MakeConfig();
    ASSERT_TRUE(config->Initialize());
    EXPECT_FALSE(config->ConfigKeyExisted());
    EXPECT_EQ(config->Settings().installing, 1);
    EXPECT_EQ(Sorted(Values(kConfigPath)), kAllConfigValues);
    EXPECT_EQ(Number(kConfigPath, "Installing"), 1);
    EXPECT_EQ(Number(kConfigPath, "Scanner"), 6);
    EXPECT_TRUE(std::filesystem::exists(Autostart())) << "Auto Run is on by default";

    auto next = MakeConfig();
    ASSERT_TRUE(next->Initialize());
    EXPECT_TRUE(next->ConfigKeyExisted());
    EXPECT_EQ(next->Settings().installing, 1) << "the wizard has not finished yet";
}

TEST_F(ConfigTest, LoadingAFreshStoreWritesNothing)
{
    CClientConfig config(m_registry);
    EXPECT_EQ(config.ProgramPath(), platform::ProgramFolder() / "lumora")
        << "the log-on entry starts the desktop client installed beside this program";
    ASSERT_TRUE(config.Load());
    EXPECT_FALSE(config.ConfigKeyExisted());
    EXPECT_EQ(config.Settings().installing, 1);
    EXPECT_EQ(config.Settings().autoRun, 1);
    std::string uid;
    EXPECT_FALSE(config.ReadUserId(uid));
    EXPECT_FALSE(std::filesystem::exists(HiveFile()));
    EXPECT_FALSE(std::filesystem::exists(Autostart()));

    // Storing the identity stores that alone.
    ASSERT_TRUE(config.WriteUserId("116306380970205"));
    EXPECT_EQ(Values(CClientConfig::kUserKey), std::vector<std::string>{"UID"});
    EXPECT_FALSE(User().KeyExists(kConfigPath));
    EXPECT_FALSE(User().KeyExists(CClientConfig::kRunKey));
    EXPECT_FALSE(std::filesystem::exists(Autostart()));
}

TEST_F(ConfigTest, ScannerKeysFollowTheType)
{
    using enum CScannerType;
    struct Case {
        std::int32_t type;
        const char* portKey; // written by groups 2 and 3, or none
    } const cases[] = {
        {ScannerTypeNumber(NetPen), "PenConfig"},
        {ScannerTypeNumber(CyberPen), "PenConfig"},
        {ScannerTypeNumber(Cs2000), "CS2000Config"},
        {ScannerTypeNumber(Cs1504), "CS1504Config"},
        {ScannerTypeNumber(Pennyscanner), "IncaPennyConfig"},
        {ScannerTypeNumber(Aim), "ScannerConfig"},
        {ScannerTypeNumber(OtherSerial), "ScannerConfig"},
        {ScannerTypeNumber(WelchAllyn6180), "ScannerConfig"},
        {ScannerTypeNumber(Pocket), nullptr},
        {ScannerTypeNumber(Qoder), nullptr},
        {ScannerTypeNumber(Keyfob), nullptr},
        {11, nullptr}, // stored by something else: kept, but it has no port
        {-1, nullptr},
    };
    for (const auto& c : cases) {
        User().DeleteKey("Software");
        auto config = MakeConfig();
        ASSERT_TRUE(config->Load());
        config->Settings().useScanner = 1;
        config->Settings().scanner = c.type;
        ASSERT_TRUE(config->Save(CConfigGroup::AllSettings));
        std::vector<std::string> written;
        for (const auto& key : User().SubKeyNames(kConfigPath))
            if (key != "ColData")
                written.push_back(key);
        EXPECT_EQ(written, c.portKey ? std::vector<std::string>{c.portKey} : std::vector<std::string>{})
            << "type " << c.type;
        EXPECT_EQ(Number(kConfigPath, "Scanner"), c.type);
    }

    auto config = MakeConfig();
    config->Settings().useScanner = 0;
    config->Settings().scanner = 5;
    User().DeleteKey("Software");
    ASSERT_TRUE(config->Save(CConfigGroup::AllSettings));
    EXPECT_FALSE(User().KeyExists(kConfigPath + "\\PenConfig")) << "nothing without UseScanner";
}

TEST_F(ConfigTest, CradlesShareOnePortStartingFromThePen)
{
    WriteHive("[HKEY_CURRENT_USER\\Software\\Tessaly Technologies\\Lumora\\Config\\PenConfig]\r\n"
              "\"Port\"=dword:00000002\r\n\"Pen Volume\"=dword:00000000\r\n"
              "[HKEY_CURRENT_USER\\Software\\Tessaly Technologies\\Lumora\\Config\\CS1504Config]\r\n"
              "\"Port\"=dword:00000005\r\n"
              "[HKEY_CURRENT_USER\\Software\\Tessaly Technologies\\Lumora\\Config\\ScannerConfig]\r\n"
              "\"Port\"=dword:ffffffff\r\n\"Baud Rate\"=dword:00000006\r\n");
    auto config = MakeConfig();
    ASSERT_TRUE(config->Load());
    const CClientSettings& loaded = config->Settings();
    EXPECT_EQ(loaded.penPort, 2);
    EXPECT_EQ(loaded.penVolume, 0);
    EXPECT_EQ(loaded.symbolPort, 5) << "the cradle's own port";
    EXPECT_EQ(loaded.symbolVolume, 0) << "the pen's volume, since no cradle stores one";
    EXPECT_EQ(loaded.scannerPort, -1);
    EXPECT_EQ(loaded.baudRate, 6);

    config->Settings().useScanner = 1;
    config->Settings().scanner = 4;
    ASSERT_TRUE(config->Save(CConfigGroup::ScannerPort));
    EXPECT_EQ(Number(kConfigPath + "\\CS2000Config", "Port"), 5);
    EXPECT_EQ(Number(kConfigPath + "\\CS2000Config", "Pen Volume"), 0);
}

TEST_F(ConfigTest, GroupSaveStopsAtTheFirstFailingWrite)
{
    auto config = MakeConfig();
    config->Settings().proxyAddr = "old.example";
    config->Settings().proxyPort = "8080";
    ASSERT_TRUE(config->Initialize());
    const auto hiveSize = std::filesystem::file_size(HiveFile());

    // Group 7 writes "Use Proxy", "ProxyAddr", "ProxyPort" in that order.
    // With the disk full at the hive's present size, the same-sized number
    // and port can be written but the longer address cannot.
    config->Settings().useProxy = 1;
    config->Settings().proxyAddr = "a.much.longer.proxy.example";
    config->Settings().proxyPort = "9090";
    bool saved = true;
    {
        FileSizeLimit diskFull(hiveSize);
        saved = config->Save(CConfigGroup::Proxy);
    }
    EXPECT_FALSE(saved);
    auto reread = MakeConfig();
    ASSERT_TRUE(reread->Load());
    EXPECT_EQ(reread->Settings().useProxy, 1) << "written before the failure";
    EXPECT_EQ(reread->Settings().proxyAddr, "old.example") << "the failing write";
    EXPECT_EQ(reread->Settings().proxyPort, "8080") << "not attempted after the failure";

    ASSERT_TRUE(config->Save(CConfigGroup::Proxy));
    ASSERT_TRUE(reread->Load());
    EXPECT_EQ(reread->Settings().proxyPort, "9090");

    // A ClientVersion that cannot be written stops the save before any group.
    config->SetClientVersion(std::string(200, '9'));
    config->Settings().autoGo = 2;
    {
        FileSizeLimit diskFull(std::filesystem::file_size(HiveFile()));
        EXPECT_FALSE(config->Save(CConfigGroup::AutoGo));
    }
    EXPECT_EQ(Number(kConfigPath, "Auto Go"), 0);
}

TEST_F(ConfigTest, ProxyString)
{
    struct Case {
        int useProxy;
        const char* addr;
        const char* port;
        const char* expected;
    } const cases[] = {
        {1, "proxy.example", "3128", "proxy.example:3128"},
        {1, "proxy.example", "", ""},
        {1, "", "3128", ""},
        {0, "proxy.example", "3128", ""},
    };
    auto config = MakeConfig();
    for (const auto& c : cases) {
        config->Settings().useProxy = c.useProxy;
        config->Settings().proxyAddr = c.addr;
        config->Settings().proxyPort = c.port;
        ASSERT_TRUE(config->Save(CConfigGroup::Proxy));
        EXPECT_EQ(config->ProxyString(), c.expected);
        auto reread = MakeConfig();
        ASSERT_TRUE(reread->Load());
        EXPECT_EQ(reread->ProxyString(), c.expected) << "derived again on load";
    }
}

TEST_F(ConfigTest, SystemProxySettings)
{
    const std::string key = CClientConfig::kInternetSettingsKey;
    EXPECT_FALSE(CClientConfig::ReadSystemProxy(User()).readable) << "no such key";
    ASSERT_TRUE(User().CreateKey(key));

    User().SetValue(key, "ProxyEnable", RegistryValue::Binary({1, 0, 0, 0}));
    User().SetValue(key, "ProxyServer", RegistryValue::String("proxy.example"));
    CSystemProxy proxy = CClientConfig::ReadSystemProxy(User());
    EXPECT_TRUE(proxy.enabled && proxy.readable);
    EXPECT_EQ(proxy.address, "proxy.example") << "without a colon the whole text is the address";
    EXPECT_EQ(proxy.port, "");

    User().SetValue(key, "ProxyEnable", RegistryValue::Number(0));
    User().SetValue(key, "ProxyServer", RegistryValue::String("10.0.0.1:8080:x"));
    proxy = CClientConfig::ReadSystemProxy(User());
    EXPECT_FALSE(proxy.enabled);
    EXPECT_EQ(proxy.address, "10.0.0.1");
    EXPECT_EQ(proxy.port, "8080:x") << "split at the first colon";
}

TEST_F(ConfigTest, AutoRunKeepsRunValueAndAutostartEntryInStep)
{
    auto config = MakeConfig();
    config->SetProgramPath("/opt/Lumora PC/lumora");
    ASSERT_TRUE(config->Load());
    config->Settings().autoRun = 1;
    ASSERT_TRUE(config->Save(CConfigGroup::AutoRun));
    EXPECT_EQ(User().QueryValue(CClientConfig::kRunKey, "Lumora PC Software")->AsString(),
              "\"/opt/Lumora PC/lumora\" -autorun");
    const std::string entry = TempDir::ReadFile(Autostart());
    EXPECT_NE(entry.find("\nExec=\"/opt/Lumora PC/lumora\" -autorun\n"), std::string::npos) << entry;

    config->Settings().autoRun = 0;
    ASSERT_TRUE(config->Save(CConfigGroup::AutoRun));
    EXPECT_FALSE(User().QueryValue(CClientConfig::kRunKey, "Lumora PC Software").has_value());
    EXPECT_FALSE(std::filesystem::exists(Autostart()));
    EXPECT_EQ(Number(kConfigPath, "Auto Run"), 0);
    EXPECT_TRUE(config->Save(CConfigGroup::AutoRun)) << "removing an entry that is already gone is fine";
}

TEST(ConfigAutostart, ExecLineQuotesThePath)
{
    std::string text;
    ASSERT_TRUE(CClientConfig::AutostartEntryText("/home/a b/$x\"q`\\100%/lumora", text));
    EXPECT_NE(text.find("\nExec=\"/home/a b/\\\\$x\\\\\"q\\\\`\\\\\\\\100%%/lumora\" -autorun\n"),
              std::string::npos)
        << text;
    EXPECT_FALSE(CClientConfig::AutostartEntryText("/home/new\nline/lumora", text));
}

TEST_F(ConfigTest, FailedLogOnEntryIsInternalError530)
{
    std::vector<std::string> reported;
    auto config = MakeConfig();
    config->SetInternalErrorHandler([&](int number, std::string_view module, long line) {
        reported.push_back(std::to_string(number) + " " + std::string(module) + " " + std::to_string(line));
    });
    // A folder where the entry should be: neither writing nor deleting it works.
    std::filesystem::create_directories(Autostart());
    ASSERT_TRUE(config->Load());
    EXPECT_TRUE(reported.empty()) << "loading touches no log-on entry";
    config->Settings().autoRun = 1;
    EXPECT_FALSE(config->Save(CConfigGroup::AutoRun));
    config->Settings().autoRun = 0;
    EXPECT_FALSE(config->Save(CConfigGroup::AutoRun));
    EXPECT_EQ(reported, (std::vector<std::string>{"530 config 878", "530 config 878"}));
}

TEST_F(ConfigTest, WindowDataAndColumns)
{
    auto config = MakeConfig();
    ASSERT_TRUE(config->Load());
    for (std::size_t i = 0; i < CClientSettings::kPlacementBytes; ++i)
        config->Settings().windowPlacement[i] = static_cast<std::uint8_t>(i + 1);
    config->Settings().sortAsc = 1;
    config->Settings().colWidth = {5, 20, 30, 10, -1, 12, 8, 8, 3};
    ASSERT_TRUE(config->Save(CConfigGroup::Window));
    config->Settings().colWidth[0] = -1;
    ASSERT_TRUE(config->Save(CConfigGroup::Window));

    auto reread = MakeConfig();
    ASSERT_TRUE(reread->Load());
    EXPECT_EQ(reread->Settings().windowPlacement, config->Settings().windowPlacement);
    EXPECT_EQ(reread->Settings().sortAsc, 1);
    EXPECT_EQ(reread->Settings().sortCol, -1);
    EXPECT_EQ(reread->Settings().colWidth, (std::array<std::int32_t, 9>{5, 20, 30, 10, -1, 12, 8, 8, 3}))
        << "an unset width keeps what was stored";

    // A placement of the wrong size is not taken.
    User().SetValue(kConfigPath, "Window Placement", RegistryValue::Binary({1, 2, 3}));
    auto third = MakeConfig();
    ASSERT_TRUE(third->Load());
    EXPECT_EQ(third->Settings().windowPlacement, CClientSettings().windowPlacement);
}

TEST_F(ConfigTest, UserIdentity)
{
    auto config = MakeConfig();
    std::string uid = "unchanged";
    EXPECT_FALSE(config->ReadUserId(uid));
    EXPECT_EQ(uid, "unchanged");
    ASSERT_TRUE(config->WriteUserId("123456789012345"));
    ASSERT_TRUE(MakeConfig()->ReadUserId(uid));
    EXPECT_EQ(uid, "123456789012345");
}

} // namespace
