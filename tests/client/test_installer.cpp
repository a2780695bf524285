#include "client/installer.h"

#include "client/config.h"
#include "client/langmgr.h"
#include "client/remover.h"
#include "client/uitextids.h"
#include "platform/atomicfile.h"
#include "platform/folders.h"
#include "platform/instance.h"
#include "platform/registry.h"
#include "tests/support/runprogram.h"
#include "tests/support/temphome.h"
#include "tests/support/unprivileged.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <sys/stat.h>
#include <thread>

namespace fs = std::filesystem;
using platform::RegistryRoot;
using platform::RegistryValue;

namespace {

const std::string kConfigKey = std::string(CClientConfig::kUserKey) + "\\Config";
const std::string kAppPath = std::string(CInstaller::kAppPathsKey) + "\\" + CInstaller::kProgramEntry;

// Records each step's text.
class RecordingProgress : public CSetupProgress {
public:
    void Step(const std::string& text) override { steps.push_back(text); }
    std::vector<std::string> steps;
};

// A program that answers --version as the client does.
std::string VersionScript(const std::string& version)
{
    return "#!/bin/sh\necho 'lumora " + version + "'\n";
}

void WriteExecutable(const fs::path& path, const std::string& text)
{
    ASSERT_TRUE(platform::EnsureFolder(path.parent_path()));
    ASSERT_TRUE(platform::WriteFileAtomically(path, text, 0755));
}

std::string ReadText(const fs::path& path)
{
    std::string text;
    platform::ReadWholeFile(path, text, 1u << 20);
    return text;
}

bool PathExists(const fs::path& path)
{
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error));
}

// An installation source as the build lays it out: the program, its
// description file and what that lists.
class InstallerTest : public ::testing::Test {
protected:
    InstallerTest()
    {
        MakeSource("0.2.0");
        m_language.Initialize(Source() / "lumora");
    }

    fs::path Source() const { return m_home.Dir() / "dist"; }
    fs::path Target() const { return m_home.Home() / ".local/lib/lumora"; }
    fs::path UserHive() const { return m_home.ConfigHome() / "lumora/user.reg"; }
    fs::path MachineHive() const { return m_home.DataHome() / "lumora/system.reg"; }
    fs::path Applications() const { return m_home.DataHome() / "applications"; }

    void MakeSource(const std::string& version)
    {
        WriteExecutable(Source() / "lumora", VersionScript(version));
        m_home.Dir().WriteFile("dist/Server.dat", "core records\n");
        m_home.Dir().WriteFile("dist/pages/wvmenusrc.htm", "<html></html>\n");
        m_home.Dir().WriteFile("dist/lumora.svg", "<svg xmlns=\"http://www.w3.org/2000/svg\"/>\n");
        m_home.Dir().WriteFile("dist/lumora.inst",
                               "; what the installer copies\n"
                               "[Install]\nfileCount=4\nfile1=lumora\nfile2=Server.dat\n"
                               "file3=pages/wvmenusrc.htm,wvmenusrc.htm\nfile4=dir cache\n"
                               "[icons]\napp=lumora.svg\n");
    }

    CSetupOptions Options(const std::string& version = "0.2.0")
    {
        CSetupOptions options;
        options.sourceProgram = Source() / "lumora";
        options.version = version;
        options.folder = Target();
        return options;
    }

    std::vector<std::string> Install(CSetupOptions options)
    {
        CInstaller installer(m_language, std::move(options));
        RecordingProgress progress;
        installer.Install(progress);
        return progress.steps;
    }

    // An installed copy of another version, as an earlier installation left it.
    void InstallVersion(const std::string& version)
    {
        MakeSource(version);
        Install(Options(version));
        MakeSource("0.2.0");
    }

    std::optional<RegistryValue> Machine(const std::string& key, const std::string& name)
    {
        return platform::RegistryHive(RegistryRoot::LocalMachine, MachineHive()).QueryValue(key, name);
    }
    std::optional<RegistryValue> User(const std::string& key, const std::string& name)
    {
        return platform::RegistryHive(RegistryRoot::CurrentUser, UserHive()).QueryValue(key, name);
    }

    std::string Expect(int id, std::vector<std::string> inserts = {}) const
    {
        return m_language.FormatMessage(id, std::move(inserts));
    }

    TempHome m_home;
    CLanguageMgr m_language;
};

TEST(VersionCompare, FieldByField)
{
    struct Case {
        const char* a;
        const char* b;
        int sign;
    };
    const Case cases[] = {
        {"1.0.0", "1.0.0", 0},
        {"1.0", "1.0.0.0", 0},
        {"", "0.0.0.0", 0},
        {"1.2.3", "1.2.4", -1},
        {"1.10.0", "1.9.9", 1},
        {"2.5.0.0", "2.4.99", 1},
        {"2.4.1", "2.5.0.0", -1},
        {"3.2.1.0", "3.2.1.9", -1},
        {"1.2.3.4.5", "1.2.3.4.9", 0},
        {"1.x.3", "1.0.3", -1},
        {"v1", "0", 0},
        {"10", "9", 1},
        {"1.2", "1.2.1", -1},
        {"0.1.0", "0.0.9", 1},
        {"007.1", "7.1", 0},
    };
    for (const Case& c : cases) {
        const int result = CompareVersions(c.a, c.b);
        EXPECT_EQ((result > 0) - (result < 0), c.sign) << c.a << " vs " << c.b;
        const int back = CompareVersions(c.b, c.a);
        EXPECT_EQ((back > 0) - (back < 0), -c.sign) << c.b << " vs " << c.a;
    }
}

TEST(InstDescription, ListsEntriesAndWritesThemBack)
{
    CInstDescription description;
    description.Parse("[Install]\nfileCount=3\nfile1=lumora\nfile2=a/b.htm,b.htm\nfile3=dir cache\n"
                      "[Remove]\nfileCount=1\nfile1=extra.log\n[icons]\napp=lumora.svg\nuninstall=u.svg\n",
                      "installer");
    const std::vector<CInstEntry> install{
        {"lumora", "lumora", false}, {"a/b.htm", "b.htm", false}, {"cache", "cache", true}};
    EXPECT_EQ(description.install, install);
    ASSERT_EQ(description.remove.size(), 1u);
    EXPECT_EQ(description.remove[0].destination, "extra.log");
    EXPECT_EQ(description.appIcon, "lumora.svg");
    EXPECT_EQ(description.uninstallIcon, "u.svg");

    description.createdFiles = {"/opt/lumora/lumora", "/opt/lumora"};
    description.createdShortcuts = {"/usr/local/share/applications/lumora.desktop"};
    CInstDescription again;
    again.Parse(description.Text(), "remover");
    EXPECT_EQ(again.install, description.install);
    EXPECT_EQ(again.remove, description.remove);
    EXPECT_EQ(again.createdFiles, description.createdFiles);
    EXPECT_EQ(again.createdShortcuts, description.createdShortcuts);
    EXPECT_EQ(again.appIcon, description.appIcon);
}

TEST(InstDescription, BrokenListsAreInternalErrors)
{
    struct Case {
        std::string text;
        int number;
        long line;
    };
    const Case cases[] = {
        {"[Remove]\nfileCount=1\nfile1=x\n", 108, 170},
        {"[Install]\nfileCount=1\nfile1=" + std::string(255, 'a') + "\n", 110, 192},
        {"[Install]\nfileCount=1\nfile1=a\n[Remove]\nfileCount=1\nfile1=" + std::string(300, 'b') + "\n", 110,
         192},
    };
    for (const Case& c : cases) {
        CInstDescription description;
        try {
            description.Parse(c.text, "installer");
            ADD_FAILURE() << "accepted " << c.text.substr(0, 40);
        } catch (const CSetupError& error) {
            EXPECT_EQ(error.internalNumber, c.number);
            EXPECT_EQ(error.line, c.line);
            EXPECT_EQ(error.module, "installer");
        }
    }
    CInstDescription longest;
    longest.Parse("[Install]\nfileCount=1\nfile1=" + std::string(254, 'a') + "\n", "installer");
    EXPECT_EQ(longest.install.at(0).source.size(), 254u);
}

TEST(InstDescription, OneFilePerFolder)
{
    TempDir dir;
    auto number = [&] {
        try {
            FindDescriptionFile(dir.Path(), "remover");
            return 0;
        } catch (const CSetupError& error) {
            return error.internalNumber;
        }
    };
    EXPECT_EQ(number(), 100);
    dir.WriteFile("lumora.inst", "[Install]\nfileCount=0\n");
    EXPECT_EQ(number(), 0);
    dir.WriteFile("OTHER.INST", "[Install]\nfileCount=0\n");
    EXPECT_EQ(number(), 101);
}

TEST(SelfRemoval, ScriptQuotesEveryPath)
{
    const std::string text =
        SelfRemovalScriptText({"/opt/my \"lumora\"/vtkbdhook.so"}, "/opt/my \"lumora\"/lumora",
                              "/opt/my \"lumora\"", "/tmp/lumora0.sh");
    EXPECT_EQ(text, "#!/bin/sh\n"
                    "while :; do\n"
                    "rm -f \"/opt/my \\\"lumora\\\"/vtkbdhook.so\"\n"
                    "rm -f \"/opt/my \\\"lumora\\\"/lumora\"\n"
                    "[ -e \"/opt/my \\\"lumora\\\"/lumora\" ] || break\n"
                    "sleep 1\n"
                    "done\n"
                    "rmdir \"/opt/my \\\"lumora\\\"\"\n"
                    "rm -f \"/tmp/lumora0.sh\"\n");
}

TEST(SelfRemoval, ScriptTakesTheFirstFreeNumberAndRuns)
{
    TempDir dir;
    dir.WriteFile("lumora0.sh", "taken");
    const fs::path folder = dir / "prog $HOME `x`";
    fs::create_directories(folder);
    platform::WriteFileAtomically(folder / "lumora", "x");
    platform::WriteFileAtomically(folder / "left.so", "x");
    const fs::path script =
        WriteSelfRemovalScript(dir.Path(), {folder / "left.so"}, folder / "lumora", folder);
    EXPECT_EQ(script, dir / "lumora1.sh");
    ASSERT_TRUE(StartSelfRemovalScript(script));
    for (int i = 0; i < 100 && (PathExists(folder) || PathExists(script)); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(PathExists(folder));
    EXPECT_FALSE(PathExists(script));
    EXPECT_EQ(TempDir::ReadFile(dir / "lumora0.sh"), "taken");
}

TEST_F(InstallerTest, FreshInstallation)
{
    const std::vector<std::string> steps = Install(Options());
    const std::vector<std::string> expected{Expect(kStrCopyingFiles), Expect(kStrMakingRegistryEntries),
                                            Expect(kStrCreatingShortcuts), Expect(kStrInstallComplete)};
    EXPECT_EQ(steps, expected);

    EXPECT_EQ(ReadText(Target() / "lumora"), VersionScript("0.2.0"));
    EXPECT_EQ(fs::status(Target() / "lumora").permissions() & fs::perms::owner_exec, fs::perms::owner_exec);
    EXPECT_EQ(ReadText(Target() / "Server.dat"), "core records\n");
    EXPECT_TRUE(fs::is_regular_file(Target() / "wvmenusrc.htm"));
    EXPECT_TRUE(fs::is_directory(Target() / "cache"));
    EXPECT_EQ(fs::read_symlink(m_home.Home() / ".local/bin/lumora"), Target() / "lumora");
    EXPECT_TRUE(fs::is_regular_file(m_home.DataHome() / "icons/hicolor/scalable/apps/lumora.svg"));

    for (const char* entry : {CInstaller::kMenuEntry, CInstaller::kUninstallMenuEntry}) {
        const fs::path file = Applications() / entry;
        ASSERT_TRUE(fs::is_regular_file(file)) << file;
        const ProgramResult validated = RunProgram("/usr/bin/desktop-file-validate", {file.string()});
        EXPECT_EQ(validated.exitStatus, 0) << validated.out << validated.err;
        EXPECT_EQ(validated.out, "");
    }
    const std::string menu = ReadText(Applications() / CInstaller::kMenuEntry);
    EXPECT_NE(menu.find("Name=Lumora PC Software\n"), std::string::npos);
    EXPECT_NE(menu.find("Exec=\"" + (Target() / "lumora").string() + "\"\n"), std::string::npos);
    EXPECT_NE(menu.find("Icon=lumora\n"), std::string::npos);
    const std::string uninstall = ReadText(Applications() / CInstaller::kUninstallMenuEntry);
    EXPECT_NE(uninstall.find("Name=Uninstall Lumora PC Software\n"), std::string::npos);
    EXPECT_NE(uninstall.find("\" -remove\n"), std::string::npos);

    const std::string program = (Target() / "lumora").string();
    EXPECT_EQ(Machine(kAppPath, ""), RegistryValue::String(program));
    EXPECT_EQ(Machine(kAppPath, "PATH"), RegistryValue::String(Target().string()));
    EXPECT_EQ(Machine(CInstaller::kUninstallKey, "DisplayName"),
              RegistryValue::String("Lumora PC Software Version 0.2.0."));
    EXPECT_EQ(Machine(CInstaller::kUninstallKey, "UninstallString"),
              RegistryValue::String("\"" + program + "\" -remove"));
    EXPECT_EQ(Machine(std::string(CInstaller::kVersionsKey) + "\\0.2.0", ""), RegistryValue::String(program));
    EXPECT_EQ(User(kConfigKey, "Installing"), RegistryValue::Number(1));
    EXPECT_EQ(User(kConfigKey, "Language"), RegistryValue::String("en"));
    EXPECT_EQ(User(kConfigKey, "LanguageName"), RegistryValue::String("English"));

    // The installed description lists what was made, for the remover.
    CInstDescription installed;
    installed.Load(Target() / "lumora.inst", "remover");
    EXPECT_EQ(installed.install.size(), 4u);
    EXPECT_NE(std::find(installed.createdFiles.begin(), installed.createdFiles.end(), program),
              installed.createdFiles.end());
    EXPECT_EQ(installed.createdShortcuts.size(), 4u); // icon, two menu entries, link
}

TEST_F(InstallerTest, InstallsInTheLanguageChosen)
{
    fs::copy_file(LUMORA_LIB_POR, Source() / "lumorapor.so");
    m_language.Initialize(Source() / "lumora");
    ASSERT_TRUE(m_language.SelectByCode("pt"));
    const std::vector<std::string> steps = Install(Options());
    ASSERT_FALSE(steps.empty());
    EXPECT_EQ(steps.front(), "A copiar ficheiros...");
    EXPECT_EQ(User(kConfigKey, "Language"), RegistryValue::String("pt"));
    EXPECT_EQ(User(kConfigKey, "LanguageName"), RegistryValue::String("Portuguese"));
    EXPECT_NE(ReadText(Applications() / CInstaller::kUninstallMenuEntry)
                  .find("Name=Desinstalar o Lumora PC Software\n"),
              std::string::npos);
}

TEST_F(InstallerTest, UpgradeKinds)
{
    struct Case {
        std::string installed;
        std::string installedSource; // empty: no customisation file
        std::string ownSource;
        CInstallKind kind;
        std::vector<std::string> texts;
    };
    const Case cases[] = {
        {"0.1.9",
         "",
         "",
         CInstallKind::Older,
         {Expect(kStrInstalledVersion, {"0.1.9"}), Expect(kStrWillUpgrade, {"0.2.0"})}},
        {"0.2.0",
         "",
         "",
         CInstallKind::Identical,
         {Expect(kStrInstalledVersion, {"0.2.0"}), Expect(kStrWillReinstall)}},
        {"0.10.0",
         "",
         "",
         CInstallKind::Newer,
         {Expect(kStrInstalledVersion, {"0.10.0"}), Expect(kStrWillDowngrade, {"0.2.0"})}},
        {"0.2.0",
         "Acme Books",
         "Tessaly Technologies",
         CInstallKind::OtherSource,
         {Expect(kStrInstalledVersionFrom, {"0.2.0", "Acme Books"}),
          Expect(kStrWillReplaceFromSource, {"Tessaly Technologies"})}},
        {"0.2.0",
         "Acme Books",
         "Acme Books",
         CInstallKind::Identical,
         {Expect(kStrInstalledVersion, {"0.2.0"}), Expect(kStrWillReinstall)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.installed + " from " + c.installedSource);
        fs::remove_all(Target());
        InstallVersion(c.installed);
        if (!c.installedSource.empty())
            m_home.Dir().WriteFile("home/.local/lib/lumora/a.cust",
                                   "[source]\nCSRCString=" + c.installedSource + "\n");
        fs::remove(Source() / "own.cust");
        if (!c.ownSource.empty())
            m_home.Dir().WriteFile("dist/own.cust", "[source]\nCSRCString=" + c.ownSource + "\n");
        CSetupOptions options = Options();
        options.folder.reset(); // found through the App Paths entry
        platform::RegistryHive(RegistryRoot::CurrentUser, UserHive())
            .SetValue(kConfigKey, "Installing", RegistryValue::Number(0));
        CInstaller installer(m_language, options);
        installer.SetTargetFolder(Target());
        EXPECT_EQ(installer.DetermineKind().kind, c.kind);
        EXPECT_EQ(installer.UpgradeTexts(), c.texts);
        EXPECT_EQ(installer.TargetFolder(), Target());
        RecordingProgress progress;
        EXPECT_EQ(installer.Install(progress), Expect(kStrUpgradeComplete));
        EXPECT_EQ(ReadText(Target() / "lumora"), VersionScript("0.2.0"));
        // Only a new installation runs the settings wizard.
        EXPECT_EQ(User(kConfigKey, "Installing"), RegistryValue::Number(0));
    }
}

TEST_F(InstallerTest, UpgradeFindsTheInstalledFolder)
{
    InstallVersion("0.1.0");
    CSetupOptions options = Options();
    options.folder = m_home.Home() / "elsewhere"; // the hive of this home still names the copy
    CInstaller installer(m_language, options);
    EXPECT_EQ(installer.DetermineKind().kind, CInstallKind::Older);
    EXPECT_EQ(installer.TargetFolder(), Target());
}

TEST_F(InstallerTest, LanguageNotInTheUpgrade)
{
    InstallVersion("0.1.0");
    platform::RegistryHive user(RegistryRoot::CurrentUser, UserHive());
    user.SetValue(kConfigKey, "Language", RegistryValue::String("de"));
    user.SetValue(kConfigKey, "LanguageName", RegistryValue::String("Deutsch"));
    CInstaller installer(m_language, Options());
    installer.DetermineKind();
    const std::vector<std::string> texts = installer.UpgradeTexts();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[2], Expect(kStrLanguageNotInUpgrade, {"Deutsch"}));
}

TEST_F(InstallerTest, EarlierProductIsReplacedAndItsSettingsCarriedOver)
{
    struct Case {
        std::string version;
        CInstallKind kind;
    };
    for (const Case& c :
         {Case{"2.1.7", CInstallKind::EarlierBefore25}, Case{"2.5.0.0", CInstallKind::Earlier25}}) {
        SCOPED_TRACE(c.version);
        const fs::path earlier = m_home.Home() / "vantrel/vantrel";
        WriteExecutable(earlier, "#!/bin/sh\necho 'vantrel " + c.version + "'\n");
        m_home.Dir().WriteFile("home/.local/share/applications/vantrel.desktop", "[Desktop Entry]\n");
        platform::RegistryHive machine(RegistryRoot::LocalMachine, MachineHive());
        const std::string key =
            std::string(CInstaller::kAppPathsKey) + "\\" + CInstaller::kEarlierProgramEntry;
        ASSERT_TRUE(machine.CreateKey(key));
        machine.SetValue(key, "", RegistryValue::String(earlier.string()));
        platform::RegistryHive user(RegistryRoot::CurrentUser, UserHive());
        const std::string earlierConfig = std::string(CInstaller::kEarlierUserKey) + "\\Config";
        ASSERT_TRUE(user.CreateKey(earlierConfig + "\\CS1504Config"));
        user.SetValue(earlierConfig, "Scanner", RegistryValue::Number(10));
        user.SetValue(earlierConfig, "ProxyAddr", RegistryValue::String("proxy.example"));
        user.SetValue(earlierConfig + "\\CS1504Config", "Port", RegistryValue::Number(2));

        CInstaller installer(m_language, Options());
        EXPECT_EQ(installer.DetermineKind().kind, c.kind);
        EXPECT_EQ(installer.UpgradeTexts(),
                  (std::vector<std::string>{Expect(kStrInstalledEarlierProduct, {c.version}),
                                            Expect(kStrWillUpgrade, {"0.2.0"})}));
        RecordingProgress progress;
        installer.Install(progress);
        EXPECT_EQ(progress.steps.front(), Expect(kStrRemovingOldFiles));
        EXPECT_FALSE(PathExists(earlier));
        EXPECT_FALSE(PathExists(Applications() / "vantrel.desktop"));
        EXPECT_FALSE(Machine(key, "").has_value());
        EXPECT_EQ(User(kConfigKey, "Scanner"), RegistryValue::Number(10));
        EXPECT_EQ(User(kConfigKey, "ProxyAddr"), RegistryValue::String("proxy.example"));
        EXPECT_EQ(User(kConfigKey + "\\CS1504Config", "Port"), RegistryValue::Number(2));
        EXPECT_EQ(User(kConfigKey, "Installing"), RegistryValue::Number(1));
    }
}

TEST_F(InstallerTest, FileProblemsStopTheCopy)
{
    struct Case {
        std::function<void()> arrange;
        int textId;
        std::string insert;
    };
    const Case cases[] = {
        {[&] { fs::create_directories(Target() / "Server.dat"); }, kStrFolderInTheWay,
         (Target() / "Server.dat").string()},
        {[&] {
             m_home.Dir().WriteFile("home/.local/lib/lumora/Server.dat", "old");
             fs::permissions(Target() / "Server.dat", fs::perms::owner_read | fs::perms::group_read);
         },
         kStrFileReadOnly, (Target() / "Server.dat").string()},
        {[&] { m_home.Dir().WriteFile("home/.local/lib", "a file where a folder goes"); },
         kStrCannotCreateFolder, (m_home.Home() / ".local/lib").string()},
    };
    for (const Case& c : cases) {
        std::error_code ignored;
        fs::remove_all(m_home.Home() / ".local/lib", ignored);
        c.arrange();
        try {
            Install(Options());
            ADD_FAILURE() << "installed over " << c.insert;
        } catch (const CSetupError& error) {
            EXPECT_EQ(error.textId, c.textId);
            EXPECT_EQ(error.inserts, std::vector<std::string>{c.insert});
        }
    }
}

TEST_F(InstallerTest, ReadOnlyFolderIsRefused)
{
    const fs::path folder = m_home.Home() / "locked";
    fs::create_directories(folder);
    // The way there is open to everyone; the folder itself is not writable.
    for (fs::path at = folder.parent_path(); at != m_home.Dir().Path().parent_path(); at = at.parent_path())
        fs::permissions(at, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                                fs::perms::others_exec);
    const auto readable = fs::perms::others_read | fs::perms::others_exec;
    fs::permissions(Source(), readable, fs::perm_options::add);
    for (const auto& item : fs::recursive_directory_iterator(Source()))
        fs::permissions(item.path(), readable, fs::perm_options::add);
    CSetupOptions options = Options();
    options.folder = folder / "lumora";
    const bool refused = AsUnprivilegedUser([&] {
        try {
            Install(options);
        } catch (const CSetupError& error) {
            return error.textId == kStrNeedAdminToInstall && error.code == 107;
        }
        return false;
    });
    EXPECT_TRUE(refused);
    EXPECT_FALSE(PathExists(folder / "lumora"));
}

// Stands for a running client on the channel; `closes` says whether it
// obeys the close request.
class StandInClient {
public:
    explicit StandInClient(bool closes)
        : m_server([this, closes](const platform::InstanceMessage& message) {
              if (message.kind == platform::InstanceMessage::Kind::kCloseRequest) {
                  ++m_closeRequests;
                  if (closes)
                      m_closer = std::thread([this] { m_server.Stop(); });
              }
          })
    {
        EXPECT_EQ(m_server.Start(), platform::InstanceServer::StartResult::kListening);
    }
    ~StandInClient()
    {
        if (m_closer.joinable())
            m_closer.join();
    }
    int CloseRequests() const { return m_closeRequests; }

private:
    platform::InstanceServer m_server;
    std::atomic<int> m_closeRequests{0};
    std::thread m_closer;
};

TEST_F(InstallerTest, RunningClientThatCloses)
{
    StandInClient client(true);
    const std::vector<std::string> steps = Install(Options());
    ASSERT_GE(steps.size(), 2u);
    EXPECT_EQ(steps[0], Expect(kStrStoppingClient));
    EXPECT_EQ(steps[1], Expect(kStrCopyingFiles));
    EXPECT_EQ(client.CloseRequests(), 1);
}

TEST_F(InstallerTest, RunningClientThatDoesNotCloseStopsTheInstallation)
{
    StandInClient client(false);
    const auto start = std::chrono::steady_clock::now();
    try {
        Install(Options());
        ADD_FAILURE() << "installed beside a running client";
    } catch (const CSetupError& error) {
        EXPECT_EQ(error.textId, kStrCannotStopForInstall);
        EXPECT_EQ(error.code, 702);
    }
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(5000));
    EXPECT_EQ(client.CloseRequests(), 1);
    EXPECT_FALSE(PathExists(Target()));
}

TEST_F(InstallerTest, PackagedCopyPointsToThePackageManager)
{
    m_home.Dir().WriteFile("dist/lumora.inst",
                           "[Install]\nfileCount=1\nfile1=lumora\n[Package]\nmanager=apt\n");
    try {
        Install(Options());
        ADD_FAILURE() << "installed a packaged copy";
    } catch (const CSetupError& error) {
        EXPECT_EQ(error.textId, kStrInstalledByPackageManager);
        EXPECT_EQ(error.inserts, std::vector<std::string>{"apt"});
    }
    CRemoveOptions options;
    options.program = Source() / "lumora";
    CRemover remover(m_language, options);
    RecordingProgress progress;
    try {
        remover.Remove(progress);
        ADD_FAILURE() << "removed a packaged copy";
    } catch (const CSetupError& error) {
        EXPECT_EQ(error.textId, kStrRemovedByPackageManager);
    }
    EXPECT_TRUE(PathExists(Source() / "lumora"));
}

class RemoverTest : public InstallerTest {
protected:
    CRemoveOptions RemoveOptions()
    {
        CRemoveOptions options;
        options.program = Target() / "lumora";
        options.otherHomes = std::vector<fs::path>{};
        return options;
    }
    void WaitUntilGone(const fs::path& path)
    {
        for (int i = 0; i < 200 && PathExists(path); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    // A log-on entry as the client writes one for a home.
    void WriteLogOnEntry(const fs::path& home)
    {
        platform::RegistryHive hive(RegistryRoot::CurrentUser, home / ".config/lumora/user.reg");
        ASSERT_TRUE(hive.CreateKey(CClientConfig::kRunKey));
        ASSERT_TRUE(hive.SetValue(CClientConfig::kRunKey, CClientConfig::kRunValue,
                                  RegistryValue::String(CClientConfig::RunCommand(Target() / "lumora"))));
        ASSERT_TRUE(hive.SetValue(CClientConfig::kRunKey, "Other Program", RegistryValue::String("other")));
        ASSERT_TRUE(platform::EnsureFolder(home / ".config/autostart"));
        ASSERT_TRUE(
            platform::WriteFileAtomically(home / ".config/autostart/lumora.desktop", "[Desktop Entry]\n"));
    }
    void ExpectNoLogOnEntry(const fs::path& home)
    {
        platform::RegistryHive hive(RegistryRoot::CurrentUser, home / ".config/lumora/user.reg");
        EXPECT_FALSE(hive.QueryValue(CClientConfig::kRunKey, CClientConfig::kRunValue).has_value()) << home;
        EXPECT_TRUE(hive.QueryValue(CClientConfig::kRunKey, "Other Program").has_value()) << home;
        EXPECT_FALSE(PathExists(home / ".config/autostart/lumora.desktop")) << home;
    }
};

TEST_F(RemoverTest, RemovalLeavesNothingBehind)
{
    Install(Options());
    WriteLogOnEntry(m_home.Home());
    TempDir otherUser;
    WriteLogOnEntry(otherUser.Path());
    m_home.Dir().WriteFile("home/.local/share/lumora/ABCCodes.dat", "the user's codes");

    CRemoveOptions options = RemoveOptions();
    options.otherHomes = std::vector<fs::path>{otherUser.Path()};
    CRemover remover(m_language, options);
    RecordingProgress progress;
    EXPECT_EQ(remover.Remove(progress), Expect(kStrRemoveComplete));
    EXPECT_EQ(remover.Left(), std::vector<std::string>{});
    EXPECT_FALSE(remover.Script().empty());
    WaitUntilGone(Target());
    WaitUntilGone(remover.Script());

    EXPECT_FALSE(PathExists(Target()));
    EXPECT_FALSE(PathExists(remover.Script()));
    EXPECT_FALSE(PathExists(Applications() / CInstaller::kMenuEntry));
    EXPECT_FALSE(PathExists(Applications() / CInstaller::kUninstallMenuEntry));
    EXPECT_FALSE(PathExists(m_home.Home() / ".local/bin/lumora"));
    EXPECT_FALSE(PathExists(m_home.DataHome() / "icons/hicolor/scalable/apps/lumora.svg"));
    EXPECT_FALSE(Machine(kAppPath, "").has_value());
    EXPECT_FALSE(Machine(CInstaller::kUninstallKey, "DisplayName").has_value());
    EXPECT_FALSE(Machine(std::string(CInstaller::kVersionsKey) + "\\0.2.0", "").has_value());
    ExpectNoLogOnEntry(m_home.Home());
    ExpectNoLogOnEntry(otherUser.Path());
    // Without the remove dialog's choices the settings and the codes stay.
    EXPECT_EQ(User(kConfigKey, "Language"), RegistryValue::String("en"));
    EXPECT_TRUE(PathExists(m_home.DataHome() / "lumora/ABCCodes.dat"));
}

TEST_F(RemoverTest, ChoicesRemoveSettingsAndPersonalFiles)
{
    Install(Options());
    m_home.Dir().WriteFile("home/.local/share/lumora/ABCCodes.dat", "the user's codes");
    CRemoveOptions options = RemoveOptions();
    options.registryEntries = true;
    options.personalSettings = true;
    CRemover remover(m_language, options);
    RecordingProgress progress;
    remover.Remove(progress);
    EXPECT_FALSE(User(kConfigKey, "Language").has_value());
    EXPECT_FALSE(PathExists(m_home.DataHome() / "lumora/ABCCodes.dat"));
    WaitUntilGone(Target());
    EXPECT_FALSE(PathExists(Target()));
}

TEST_F(RemoverTest, TwoDescriptionFilesStopBeforeAnythingIsDeleted)
{
    Install(Options());
    m_home.Dir().WriteFile("home/.local/lib/lumora/copy.inst", "[Install]\nfileCount=0\n");
    CRemover remover(m_language, RemoveOptions());
    RecordingProgress progress;
    try {
        remover.Remove(progress);
        ADD_FAILURE() << "removed with two description files";
    } catch (const CSetupError& error) {
        EXPECT_EQ(error.internalNumber, 101);
        EXPECT_EQ(error.module, "remover");
    }
    EXPECT_TRUE(progress.steps.empty());
    EXPECT_TRUE(PathExists(Target() / "lumora"));
    EXPECT_TRUE(PathExists(Target() / "Server.dat"));
    EXPECT_TRUE(PathExists(Applications() / CInstaller::kMenuEntry));
    EXPECT_TRUE(Machine(kAppPath, "").has_value());
}

TEST_F(RemoverTest, SourceFolderIsNotRemoved)
{
    CRemoveOptions options = RemoveOptions();
    options.program = Source() / "lumora";
    CRemover remover(m_language, options);
    RecordingProgress progress;
    try {
        remover.Remove(progress);
        ADD_FAILURE() << "removed the installation source";
    } catch (const CSetupError& error) {
        EXPECT_EQ(error.textId, kStrNotAnInstalledCopy);
    }
    EXPECT_TRUE(PathExists(Source() / "lumora"));
    EXPECT_TRUE(PathExists(Source() / "Server.dat"));
}

TEST_F(RemoverTest, RunningClientThatDoesNotCloseStopsTheRemoval)
{
    Install(Options());
    StandInClient client(false);
    CRemoveOptions options = RemoveOptions();
    options.stopLimit = std::chrono::milliseconds(1000);
    CRemover remover(m_language, options);
    RecordingProgress progress;
    try {
        remover.Remove(progress);
        ADD_FAILURE() << "removed beside a running client";
    } catch (const CSetupError& error) {
        EXPECT_EQ(error.textId, kStrCannotStopForRemoval);
        EXPECT_EQ(error.code, 702);
    }
    EXPECT_EQ(progress.steps, std::vector<std::string>{Expect(kStrStoppingClient)});
    EXPECT_TRUE(PathExists(Target() / "lumora"));
}

TEST_F(RemoverTest, FilesPutIntoTheFolderStay)
{
    Install(Options());
    m_home.Dir().WriteFile("home/.local/lib/lumora/cache/mine.txt", "the user's own");
    CRemover remover(m_language, RemoveOptions());
    RecordingProgress progress;
    remover.Remove(progress);
    EXPECT_EQ(remover.Left(), std::vector<std::string>{(Target() / "cache").string()});
    WaitUntilGone(remover.Script());
    EXPECT_EQ(TempDir::ReadFile(Target() / "cache/mine.txt"), "the user's own");
    EXPECT_FALSE(PathExists(Target() / "lumora"));
    EXPECT_FALSE(PathExists(Target() / "Server.dat"));
}

} // namespace
