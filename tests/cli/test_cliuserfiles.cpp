// What lumora-cli leaves behind: nothing in the user's session but the
// identity that attach stores, per-user files only in the user's data
// folder, nothing in the program folder, and caches written only when a run
// changed them.
#include "client/config.h"
#include "platform/folders.h"
#include "platform/registry.h"
#include "tests/cli/clirefserver.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

const std::string kConfigKey = std::string(CClientConfig::kUserKey) + "\\Config";

// A file's identity on disk: a rewrite through a temporary file and a
// rename gives a new inode, an update in place a new modification time.
struct FileStamp {
    ino_t inode = 0;
    std::int64_t modifiedNs = 0;
    bool operator==(const FileStamp&) const = default;
};

FileStamp Stamp(const fs::path& file)
{
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0)
        return {};
    return {info.st_ino, info.st_mtim.tv_sec * 1'000'000'000LL + info.st_mtim.tv_nsec};
}

// Every entry under a folder (the folder itself included) with its stamp.
std::map<std::string, FileStamp> Snapshot(const fs::path& folder)
{
    std::map<std::string, FileStamp> entries{{".", Stamp(folder)}};
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        entries[fs::relative(entry.path(), folder).string()] = Stamp(entry.path());
    return entries;
}

class CliUserFiles : public RefServerCliTest {
protected:
    ProgramResult Cli(const std::vector<std::string>& args, const fs::path& program = LUMORA_CLI_PATH)
    {
        return RunProgram(program.string(), args);
    }

    fs::path UserHive() const { return m_home.ConfigHome() / "lumora/user.reg"; }
    fs::path Autostart() const { return m_home.ConfigHome() / "autostart/lumora.desktop"; }
    fs::path UserData() const { return m_home.DataHome() / "lumora"; }

    // Nothing that starts a program at log-on, and no settings written.
    void ExpectNoSessionChange()
    {
        EXPECT_FALSE(fs::exists(Autostart()));
        EXPECT_FALSE(fs::exists(Autostart().parent_path())) << "not even the autostart folder";
        platform::Registry registry(UserHive(), m_home.Dir() / "system.reg");
        platform::RegistryHive& user = registry.Hive(platform::RegistryRoot::CurrentUser);
        EXPECT_FALSE(user.KeyExists(CClientConfig::kRunKey)) << TempDir::ReadFile(UserHive());
        EXPECT_FALSE(user.KeyExists(kConfigKey)) << "no \"Auto Run\", no \"Installing\", no defaults";
    }

    // The user key holds the identity and nothing else.
    void ExpectOnlyTheIdentityStored()
    {
        platform::Registry registry(UserHive(), m_home.Dir() / "system.reg");
        platform::RegistryHive& user = registry.Hive(platform::RegistryRoot::CurrentUser);
        EXPECT_EQ(user.ValueNames(CClientConfig::kUserKey), std::vector<std::string>{"UID"});
        EXPECT_TRUE(user.SubKeyNames(CClientConfig::kUserKey).empty());
        const auto uid = user.QueryValue(CClientConfig::kUserKey, "UID");
        ASSERT_TRUE(uid.has_value());
        EXPECT_EQ(uid->AsString(), kDemoUser);
    }

    // A program folder as installed: the program and the shipped Server.dat
    // (this server's), read-only.
    fs::path InstallProgram()
    {
        const fs::path folder = m_home.Dir() / "opt";
        fs::create_directories(folder);
        fs::copy_file(LUMORA_CLI_PATH, folder / "lumora-cli");
        fs::copy_file(m_serverDat, folder / "Server.dat");
        fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
        return folder;
    }

    void TearDown() override
    {
        // Let the temporary folder go even where permissions hold.
        std::error_code ignored;
        fs::permissions(m_home.Dir() / "opt", fs::perms::owner_all, fs::perm_options::add, ignored);
    }
};

TEST_F(CliUserFiles, LookupsLeaveTheSessionAloneAndAttachStoresOnlyTheIdentity)
{
    const fs::path deadServerDat = m_home.Dir().WriteFile(
        "dead.dat", "<CORE_SERVER_LIST><SERVER TYPE='ROUTING'><TEMPLATE CMD='SPLIT'>http://127.0.0.1:1/route"
                    "</TEMPLATE></SERVER></CORE_SERVER_LIST>");
    const std::string cacheDir = (m_home.Dir() / "caches").string();
    struct Case {
        const char* what;
        std::vector<std::string> args;
        int exitStatus;
    } const lookups[] = {
        {"offline, no caches yet", {"resolve", "--offline", "--uid", kDemoUser, "42"}, 1},
        {"no identity stored", {"resolve", "--server-dat", m_serverDat.string(), "036000291452"}, 1},
        {"a server that does not answer",
         {"resolve", "--uid", kDemoUser, "--server-dat", deadServerDat.string(), "036000291452"},
         1},
        {"resolved",
         {"resolve", "--uid", kDemoUser, "--server-dat", m_serverDat.string(), "036000291452"},
         0},
        {"resolved into a cache folder",
         {"resolve", "--uid", kDemoUser, "--server-dat", m_serverDat.string(), "--cache-dir", cacheDir,
          "96385074"},
         0},
        {"wrong password", {"attach", "demo", "wrong", "--server-dat", m_serverDat.string()}, 1},
    };
    for (const Case& c : lookups) {
        SCOPED_TRACE(c.what);
        const ProgramResult result = Cli(c.args);
        EXPECT_EQ(result.exitStatus, c.exitStatus) << result.out << result.err;
        ExpectNoSessionChange();
        EXPECT_FALSE(fs::exists(UserHive())) << "nothing asked to be stored";
    }

    const ProgramResult attached = Cli({"attach", "demo", "demo", "--server-dat", m_serverDat.string()});
    ASSERT_EQ(attached.exitStatus, 0) << attached.err;
    ExpectNoSessionChange();
    ExpectOnlyTheIdentityStored();

    // The stored identity serves the next lookup, which stores nothing more.
    const ProgramResult stored = Cli({"resolve", "--server-dat", m_serverDat.string(), "036000291452"});
    EXPECT_EQ(stored.exitStatus, 0) << stored.err;
    ExpectNoSessionChange();
    ExpectOnlyTheIdentityStored();
}

TEST_F(CliUserFiles, ProgramFolderIsNeverWrittenAndTheUsersServerListComesFirst)
{
    const fs::path program = InstallProgram();
    const auto installed = Snapshot(program);

    // The shipped Server.dat beside the program, the caches in the user's folder.
    const ProgramResult resolved =
        Cli({"resolve", "--uid", kDemoUser, "--json", "036000291452"}, program / "lumora-cli");
    EXPECT_EQ(resolved.exitStatus, 0) << resolved.err;
    EXPECT_TRUE(Field(resolved.out, "url").starts_with(m_base + "item?type=UPCA")) << resolved.out;
    EXPECT_TRUE(fs::exists(UserData() / (kDemoUser + "Format.cache")));
    EXPECT_TRUE(fs::exists(UserData() / (kDemoUser + "Templates.cache")));
    const ProgramResult attached = Cli({"attach", "demo", "demo"}, program / "lumora-cli");
    EXPECT_EQ(attached.exitStatus, 0) << attached.err;
    EXPECT_EQ(Snapshot(program), installed) << "the program folder holds only what ships";

    // The user's own copy is read first: one pointing at a closed port
    // fails a code the caches do not answer, as the shipped one would not.
    std::string text = TempDir::ReadFile(m_serverDat);
    for (auto at = text.find(m_base); at != std::string::npos; at = text.find(m_base))
        text.replace(at, m_base.size(), "http://127.0.0.1:1/");
    m_home.Dir().WriteFile("home/.local/share/lumora/Server.dat", text);
    const ProgramResult own = Cli({"resolve", "--json", "4006381333931"}, program / "lumora-cli");
    EXPECT_EQ(own.exitStatus, 1) << own.out;
    EXPECT_NE(Field(own.out, "error").find("127.0.0.1:1 could not be reached"), std::string::npos) << own.out;
    EXPECT_TRUE(Field(own.out, "detail").starts_with("T-")) << own.out;

    fs::remove(UserData() / "Server.dat");
    const ProgramResult shipped = Cli({"resolve", "--json", "4006381333931"}, program / "lumora-cli");
    EXPECT_EQ(shipped.exitStatus, 0) << shipped.out << shipped.err;
    EXPECT_EQ(Snapshot(program), installed);
}

TEST_F(CliUserFiles, CachesAreWrittenOnlyWhenARunChangedThem)
{
    const fs::path cacheDir = m_home.Dir() / "new/caches";
    const std::vector<std::string> common{
        "resolve",     "--uid",          kDemoUser, "--server-dat", m_serverDat.string(),
        "--cache-dir", cacheDir.string()};
    const auto run = [&](std::vector<std::string> extra) {
        std::vector<std::string> args = common;
        args.insert(args.end(), extra.begin(), extra.end());
        return Cli(args);
    };

    // Nothing learnt, nothing saved: the folder given is not even made.
    EXPECT_EQ(run({"--offline", "036000291452"}).exitStatus, 1);
    EXPECT_FALSE(fs::exists(cacheDir.parent_path()));

    ASSERT_EQ(run({"036000291452"}).exitStatus, 0);
    const fs::path formats = cacheDir / (kDemoUser + "Format.cache");
    const fs::path templates = cacheDir / (kDemoUser + "Templates.cache");
    const FileStamp formatStamp = Stamp(formats);
    const FileStamp templateStamp = Stamp(templates);
    ASSERT_NE(formatStamp.inode, 0u);
    ASSERT_NE(templateStamp.inode, 0u);

    // Answered from the warm caches alone: both stay as they are.
    for (const char* flag : {"--json", "--offline"}) {
        SCOPED_TRACE(flag);
        const ProgramResult warm = run({flag, "036000291452"});
        EXPECT_EQ(warm.exitStatus, 0) << warm.err;
        EXPECT_EQ(Stamp(formats), formatStamp);
        EXPECT_EQ(Stamp(templates), templateStamp);
    }

    // A code of another format and server is learnt and saved.
    ASSERT_EQ(run({"4006381333931"}).exitStatus, 0);
    EXPECT_NE(Stamp(formats), formatStamp);
    EXPECT_NE(Stamp(templates), templateStamp);
    EXPECT_NE(TempDir::ReadFile(formats).find("4006381"), std::string::npos);
}

} // namespace
