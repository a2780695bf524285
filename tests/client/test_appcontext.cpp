#include "client/appcontext.h"

#include "tests/support/tempdir.h"
#include "tests/support/temphome.h"
#include "vtkit/scanner/sccs1504.h"
#include "vtkit/scanner/scinfopen.h"
#include "vtkit/scanner/scpassive.h"
#include "vtkit/scanner/scpenny.h"
#include "vtkit/scanner/scqoder.h"
#include "vtkit/vtparsers.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sys/stat.h>
#include <typeinfo>

namespace {

namespace fs = std::filesystem;

const std::string kDemoUser = "116306380970205";
const std::string kConfigPath = std::string(CClientConfig::kUserKey) + "\\Config";

// A routing record that names `host`, so tests can tell files apart.
std::string RoutingServer(const std::string& host)
{
    return "<SERVER TYPE='ROUTING'><TEMPLATE CMD='SPLIT'>http://" + host + "/route</TEMPLATE></SERVER>";
}

std::string CoreCacheText(const std::string& host)
{
    return "<CORE_SERVER_LIST>" + RoutingServer(host) + "</CORE_SERVER_LIST>";
}

std::string RoutingHost(VTToolkit& toolkit)
{
    std::string split;
    toolkit.GetRoutingRecord().GetCommand("SPLIT", split);
    return split.substr(7, split.find("/route") - 7);
}

// A rewrite through a temporary file and a rename gives a new inode.
std::pair<ino_t, std::int64_t> Stamp(const fs::path& file)
{
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0)
        return {0, 0};
    return {info.st_ino, info.st_mtim.tv_sec * 1'000'000'000LL + info.st_mtim.tv_nsec};
}

class AppContextTest : public ::testing::Test {
protected:
    AppContextTest() { fs::create_directories(m_program); }

    CAppOptions Options() const
    {
        CAppOptions options;
        options.programPath = m_program / "lumora";
        options.registry = std::make_unique<platform::Registry>(UserHive(), m_home.Dir() / "system.reg");
        options.soundOutput = platform::SoundPlayer::Command{};
        options.clientVersion = "9.8.7";
        return options;
    }
    std::unique_ptr<CAppContext> Make() const { return std::make_unique<CAppContext>(Options()); }

    fs::path UserHive() const { return m_home.ConfigHome() / "lumora/user.reg"; }
    fs::path UserData() const { return m_home.DataHome() / "lumora"; }
    void WriteHive(const std::string& body) const
    {
        m_home.Dir().WriteFile("home/.config/lumora/user.reg", "REGEDIT4\r\n\r\n" + body);
    }
    static bool IsEmptyFolder(const fs::path& folder) { return fs::is_empty(folder); }

    TempHome m_home;
    fs::path m_program = m_home.Dir() / "opt/lumora";
};

TEST_F(AppContextTest, PerUserFilesLiveInTheUsersDataFolder)
{
    auto context = Make();
    EXPECT_EQ(context->Paths().programFolder, m_program);
    EXPECT_EQ(context->Paths().userFolder, UserData());
    EXPECT_EQ(context->Paths().cacheFolder, UserData());
    EXPECT_EQ(context->Paths().desktopProgram, m_program / "lumora");
    EXPECT_EQ(context->Config().ProgramPath(), m_program / "lumora") << "what the log-on entry starts";
    EXPECT_EQ(context->UserServerFile(), UserData() / "Server.dat");

    context->UseIdentity([] {
        VTUserId id;
        id.SetBlindedId(kDemoUser);
        return id;
    }());
    EXPECT_EQ(context->FormatCachePath(), UserData() / (kDemoUser + "Format.cache"));
    EXPECT_EQ(context->TemplateCachePath(), UserData() / (kDemoUser + "Templates.cache"));
    EXPECT_EQ(context->StoredCodesPath(), UserData() / (kDemoUser + "Codes.dat"));

    CAppOptions options = Options();
    options.cacheFolder = m_home.Dir() / "caches";
    options.desktopProgram = "/usr/bin/lumora";
    CAppContext given(std::move(options));
    EXPECT_EQ(given.Paths().cacheFolder, m_home.Dir() / "caches");
    EXPECT_EQ(given.Config().ProgramPath(), "/usr/bin/lumora");
}

TEST_F(AppContextTest, CommandLineStepsWriteNothingAndTheDesktopStartUpStoresTheDefaults)
{
    {
        auto context = Make();
        context->SelectLanguage();
        ASSERT_TRUE(context->LoadConfiguration());
        context->ConfigureToolkit();
        EXPECT_EQ(context->LoadIdentity(), CAppContext::IdentityState::kMissing);
        EXPECT_EQ(context->Config().Settings().installing, 1) << "a first start, as far as the settings go";
    }
    EXPECT_TRUE(IsEmptyFolder(m_home.ConfigHome()));
    EXPECT_TRUE(IsEmptyFolder(m_home.DataHome()));

    auto desktop = Make();
    ASSERT_TRUE(desktop->InitializeConfiguration());
    platform::RegistryHive& user = desktop->Registry().Hive(platform::RegistryRoot::CurrentUser);
    EXPECT_EQ(user.QueryValue(kConfigPath, "Installing")->AsNumber(), 1u);
    EXPECT_EQ(user.QueryValue(CClientConfig::kRunKey, CClientConfig::kRunValue)->AsString(),
              CClientConfig::RunCommand(m_program / "lumora"));
    const std::string entry = TempDir::ReadFile(m_home.ConfigHome() / "autostart/lumora.desktop");
    EXPECT_NE(entry.find("Exec=\"" + (m_program / "lumora").string() + "\" -autorun"), std::string::npos)
        << entry;
}

TEST_F(AppContextTest, ToolkitIsDescribedAndConnectedFromTheSettings)
{
    fs::copy_file(FAKE_LANG_A, m_program / "lumoraxx.so");
    m_home.Dir().WriteFile("opt/lumora/brand.cust", "[source]\r\nCSRCM=mag42\r\n");
    WriteHive("[HKEY_CURRENT_USER\\Software\\Tessaly Technologies\\Lumora\\Config]\r\n"
              "\"Language\"=\"xx\"\r\n\"Use Proxy\"=dword:00000001\r\n"
              "\"ProxyAddr\"=\"proxy.example\"\r\n\"ProxyPort\"=\"3128\"\r\n");
    auto context = Make();
    context->SelectLanguage();
    ASSERT_TRUE(context->LoadConfiguration());
    context->ConfigureToolkit();

    VTToolkit& toolkit = context->Toolkit();
    const VTClientVariables variables = toolkit.GetClientVariables();
    EXPECT_EQ(variables.capp, "PC");
    EXPECT_EQ(variables.cver, "9.8.7");
    EXPECT_EQ(variables.csrc, "TSLY");
    EXPECT_EQ(variables.csrcm, "mag42");
    EXPECT_EQ(variables.clang, "xx");
    EXPECT_FALSE(variables.os.empty());
    EXPECT_EQ(toolkit.GetDomain(), "PC");
    EXPECT_EQ(toolkit.GetDomainId(), "");
    EXPECT_EQ(toolkit.GetProxy(), "proxy.example:3128");
    std::string credential;
    EXPECT_FALSE(toolkit.GetProxyCredential(credential));

    CConnectionOverrides overrides;
    overrides.proxy = "127.0.0.1:8888";
    overrides.proxyUser = "me";
    overrides.proxyPassword = "pw";
    overrides.timeouts = TSHttpTimeouts{7, 2, 3, 4, 5, 6};
    context->ConfigureToolkit(overrides);
    EXPECT_EQ(toolkit.GetProxy(), "127.0.0.1:8888");
    EXPECT_TRUE(toolkit.GetProxyCredential(credential));
    EXPECT_EQ(toolkit.GetTimeouts().m_connect, 7u);

    overrides.proxy = "";
    context->ConfigureToolkit(overrides);
    EXPECT_EQ(toolkit.GetProxy(), "") << "an empty proxy given means a direct connection";
}

TEST_F(AppContextTest, ServerListIsTheUsersCopyFirstThenTheShippedOne)
{
    struct Case {
        const char* what;
        std::map<std::string, std::string> files; // "user/..." or "opt/..." to content
        std::string loadedFrom;                   // "" when nothing loads
        std::vector<std::string> failed;
    } const cases[] = {
        {"shipped only", {{"opt/Server.dat", "shipped"}}, "opt/Server.dat", {}},
        {"the user's copy",
         {{"user/Server.dat", "own"}, {"opt/Server.dat", "shipped"}},
         "user/Server.dat",
         {}},
        {"the user's backup",
         {{"user/Server.dat", "<broken"}, {"user/Server.bak", "ownbak"}, {"opt/Server.dat", "shipped"}},
         "user/Server.bak",
         {"user/Server.dat"}},
        {"a broken copy falls back to the shipped one",
         {{"user/Server.dat", "<broken"}, {"opt/Server.dat", "shipped"}},
         "opt/Server.dat",
         {"user/Server.dat"}},
        {"the shipped backup",
         {{"opt/Server.dat", "<broken"}, {"opt/Server.bak", "shippedbak"}},
         "opt/Server.bak",
         {"opt/Server.dat"}},
        {"nothing", {}, "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        CAppOptions options = Options();
        options.programPath = dir / "opt/lumora";
        options.userFolder = dir / "user";
        fs::create_directories(dir / "opt");
        for (const auto& [name, content] : c.files)
            dir.WriteFile(name, content.starts_with("<") ? content : CoreCacheText(content));
        CAppContext context(std::move(options));
        const CCoreCacheLoad load = context.LoadCoreCache();
        std::vector<std::string> failed;
        for (const auto& file : load.failed)
            failed.push_back(fs::relative(file, dir.Path()).string());
        EXPECT_EQ(failed, c.failed);
        if (c.loadedFrom.empty()) {
            EXPECT_FALSE(load.Loaded());
            EXPECT_EQ(load.file, dir / "opt/Server.bak") << "the last file looked for";
            continue;
        }
        ASSERT_TRUE(load.Loaded());
        EXPECT_EQ(load.file, dir / c.loadedFrom);
        EXPECT_EQ(RoutingHost(context.Toolkit()), c.files.at(c.loadedFrom));
    }
}

TEST_F(AppContextTest, ServerListIsSavedToTheUsersCopyOnlyWhenRepliesChangedIt)
{
    m_home.Dir().WriteFile("opt/lumora/Server.dat", CoreCacheText("shipped"));
    auto context = Make();
    ASSERT_TRUE(context->LoadCoreCache().Loaded());
    // A reply that carries the same records changes nothing.
    context->Toolkit().UpdateCoreServers(ParseDocument(CoreCacheText("shipped")));
    ASSERT_TRUE(context->SaveCoreCache());
    EXPECT_FALSE(fs::exists(UserData())) << "nothing changed, nothing written";

    context->Toolkit().UpdateCoreServers(ParseDocument("<XSPLIT>" + RoutingServer("moved") + "</XSPLIT>"));
    ASSERT_TRUE(context->SaveCoreCache());
    EXPECT_NE(TempDir::ReadFile(UserData() / "Server.dat").find("//moved/"), std::string::npos);
    EXPECT_FALSE(fs::exists(UserData() / "Server.bak"));
    EXPECT_EQ(TempDir::ReadFile(m_program / "Server.dat"), CoreCacheText("shipped"));

    context->Toolkit().UpdateCoreServers(ParseDocument(CoreCacheText("again")));
    ASSERT_TRUE(context->SaveCoreCache());
    EXPECT_NE(TempDir::ReadFile(UserData() / "Server.dat").find("//again/"), std::string::npos);
    EXPECT_NE(TempDir::ReadFile(UserData() / "Server.bak").find("//moved/"), std::string::npos)
        << "the copy replaced stays as the backup";

    auto next = Make();
    ASSERT_TRUE(next->LoadCoreCache().Loaded());
    EXPECT_EQ(RoutingHost(next->Toolkit()), "again");
}

TEST_F(AppContextTest, UserCachesAreSavedOnlyWhenTheyChanged)
{
    const fs::path caches = m_home.Dir() / "not/yet/caches";
    const auto make = [&] {
        CAppOptions options = Options();
        options.cacheFolder = caches;
        auto context = std::make_unique<CAppContext>(std::move(options));
        VTUserId id;
        id.SetBlindedId(kDemoUser);
        context->UseIdentity(id);
        return context;
    };
    auto context = make();
    EXPECT_TRUE(context->LoadUserCaches().empty()) << "no caches yet is no problem";
    ASSERT_TRUE(context->SaveUserCaches());
    EXPECT_FALSE(fs::exists(m_home.Dir() / "not")) << "the folder is made only to save something";

    VTCodeFormat format;
    format.SetCodeType(kCodeUpcA);
    format.SetLowCode("036000000000");
    format.SetHighCode("036000999999");
    context->Toolkit().GetCache().AddFormat(format);
    ASSERT_TRUE(context->SaveUserCaches());
    const fs::path formats = context->FormatCachePath();
    ASSERT_TRUE(fs::exists(formats));
    EXPECT_FALSE(fs::exists(context->TemplateCachePath())) << "the template cache did not change";
    const auto stamp = Stamp(formats);
    ASSERT_TRUE(context->SaveUserCaches());
    EXPECT_EQ(Stamp(formats), stamp);

    auto next = make();
    EXPECT_TRUE(next->LoadUserCaches().empty());
    VTCodeFormat found;
    EXPECT_TRUE(next->Toolkit().GetCache().FindFormat(kCodeUpcA, "036000291452", found, true));
    ASSERT_TRUE(next->SaveUserCaches());
    EXPECT_EQ(Stamp(formats), stamp) << "loaded is not changed";

    auto background = make();
    background->StartLoadingUserCaches();
    EXPECT_TRUE(background->Toolkit().GetCache().FindFormat(kCodeUpcA, "036000291452", found, true))
        << "read on a worker, there when asked for";
    ASSERT_TRUE(background->SaveUserCaches());
    EXPECT_EQ(Stamp(formats), stamp);

    // An unreadable cache is reported and kept aside, every one of them,
    // before a save could replace it.
    const fs::path templates = next->TemplateCachePath();
    for (const char* kept : {".damaged", ".damaged.1"}) {
        std::ofstream(templates) << "<CODE_FORMAT_LIST/>" << kept;
        auto damaged = make();
        const auto problems = damaged->LoadUserCaches();
        ASSERT_EQ(problems.size(), 1u);
        EXPECT_EQ(problems[0].file, templates);
        EXPECT_EQ(problems[0].result, VTCacheFile::kInvalid);
        EXPECT_EQ(problems[0].keptAs, templates.string() + kept);
        EXPECT_EQ(TempDir::ReadFile(problems[0].keptAs), std::string("<CODE_FORMAT_LIST/>") + kept);
        EXPECT_FALSE(fs::exists(templates));
    }
    // One too large for the reader is kept the same way; the formats beside it load.
    std::ofstream(templates) << std::string(VTCacheFile::kMaxFileBytes + 1, ' ');
    const auto problems = make()->LoadUserCaches();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].result, VTCacheFile::kCannotRead);
    EXPECT_EQ(problems[0].keptAs, templates.string() + ".damaged.2");
}

TEST_F(AppContextTest, IdentityAndStoredCodes)
{
    const auto stored = [&] {
        auto context = Make();
        return context->LoadIdentity();
    };
    EXPECT_EQ(stored(), CAppContext::IdentityState::kMissing);
    WriteHive("[HKEY_CURRENT_USER\\Software\\Tessaly Technologies\\Lumora]\r\n\"UID\"=\"123\"\r\n");
    EXPECT_EQ(stored(), CAppContext::IdentityState::kInvalid);

    VTUserId id;
    id.SetBlindedId(kDemoUser);
    ASSERT_TRUE(Make()->StoreIdentity(id));
    auto context = Make();
    ASSERT_EQ(context->LoadIdentity(), CAppContext::IdentityState::kLoaded);
    EXPECT_EQ(context->Toolkit().GetUserId().GetBlindedId(), kDemoUser);

    // No list yet is an empty one; a list of the single-user version is
    // moved to the per-user name, not copied.
    EXPECT_TRUE(context->LoadStoredCodes().Ok());
    EXPECT_TRUE(context->StoredCodes().Entries().empty());
    CStoredCode code;
    code.codeText = "036000291452";
    code.codeType = kCodeUpcA;
    ASSERT_TRUE(context->StoredCodes().AddEntry(code, false));
    m_home.Dir().WriteFile("home/.local/share/lumora/Codes.dat", context->StoredCodes().FormatList());

    auto next = Make();
    ASSERT_EQ(next->LoadIdentity(), CAppContext::IdentityState::kLoaded);
    ASSERT_TRUE(next->LoadStoredCodes().Ok());
    ASSERT_EQ(next->StoredCodes().Entries().size(), 1u);
    EXPECT_EQ(next->StoredCodes().Entries()[0].codeText, "036000291452");
    EXPECT_FALSE(fs::exists(UserData() / "Codes.dat"));
    EXPECT_TRUE(fs::exists(next->StoredCodesPath()));

    fs::remove_all(UserData());
    ASSERT_TRUE(next->SaveStoredCodes()) << "the folder is made when missing";
    EXPECT_TRUE(fs::exists(next->StoredCodesPath()));
}

TEST_F(AppContextTest, ScannerDriversByType)
{
    // Every number the "Scanner" setting can hold, in the settings' order.
    const std::function<bool(const VTBarcodeScanner*)> expected[kScannerTypeCount] = {
        [](auto* s) { return dynamic_cast<const VTBarcodeScannerInfoPen*>(s); },          // NetPen
        [](auto* s) { return dynamic_cast<const VTBarcodeScannerAIM*>(s); },              // AIM
        [](auto* s) { return s && typeid(*s) == typeid(VTPassiveSerialBarcodeScanner); }, // other serial
        [](auto* s) { return s == nullptr; },                                             // Pocket
        [](auto* s) { return dynamic_cast<const VTBarcodeScannerCS2000*>(s); },
        [](auto* s) { return dynamic_cast<const VTBarcodeScannerInfoPen*>(s); }, // CyberPen
        [](auto* s) { return dynamic_cast<const VTBarcodeScannerWelchAllyn6180*>(s); },
        [](auto* s) { return dynamic_cast<const VTPennyScanner*>(s); },
        [](auto* s) { return dynamic_cast<const VTQoderScanner*>(s); },
        [](auto* s) { return dynamic_cast<const VTQoderScanner*>(s); },
        [](auto* s) { return dynamic_cast<const VTBarcodeScannerCS1504*>(s); },
    };
    auto context = Make();
    for (std::int32_t number = 0; number < kScannerTypeCount; ++number) {
        const auto driver = context->MakeScanner(*ScannerTypeFromNumber(number));
        EXPECT_TRUE(expected[number](driver.get())) << "type " << number;
    }
}

} // namespace
