#include "platform/registry.h"

#include "tests/support/filelimit.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <sys/wait.h>
#include <unistd.h>

using platform::HiveProblem;
using platform::RegistryHive;
using platform::RegistryNode;
using platform::RegistryRoot;
using platform::RegistryType;
using platform::RegistryValue;

namespace {

constexpr const char* kUserKey = "Software\\Tessaly Technologies\\Lumora";

std::vector<HiveProblem> Parse(const std::string& text, RegistryNode& tree)
{
    std::vector<HiveProblem> problems;
    tree = platform::ParseHive(text, "HKEY_CURRENT_USER", problems);
    return problems;
}

std::vector<std::string> FilesIn(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(Registry, TypedValuesSurviveTheFile)
{
    TempDir dir;
    const auto file = dir / "lumora/user.reg";
    const std::vector<std::uint8_t> placement = [] {
        std::vector<std::uint8_t> bytes(44);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<std::uint8_t>(i * 7);
        return bytes;
    }();
    const std::pair<const char*, RegistryValue> values[] = {
        {"Scanner", RegistryValue::Number(10)},
        {"Port", RegistryValue::Number(0xFFFFFFFFu)},
        {"ProxyAddr", RegistryValue::String("proxy.example")},
        {"Quoted", RegistryValue::String("say \"hi\" \\ C:\\Program Files\\")},
        {"Lines", RegistryValue::String("two\r\nlines")},
        {"Nul", RegistryValue::String(std::string("a\0b", 3))},
        {"Latin", RegistryValue::String("Espa\xF1ol")},
        {"Empty", RegistryValue::String("")},
        {"Window Placement", RegistryValue::Binary(placement)},
        {"NoBytes", RegistryValue::Binary({})},
        {"", RegistryValue::String("the default value")},
    };
    {
        RegistryHive hive(RegistryRoot::CurrentUser, file);
        ASSERT_TRUE(hive.CreateKey(std::string(kUserKey) + "\\Config")) << hive.LastError();
        ASSERT_TRUE(hive.CreateKey(std::string(kUserKey) + "\\Config\\ColData"));
        for (const auto& [name, value] : values)
            ASSERT_TRUE(hive.SetValue(std::string(kUserKey) + "\\Config", name, value)) << name;
    }
    // A second object stands for the next start of the program.
    RegistryHive again(RegistryRoot::CurrentUser, file);
    EXPECT_TRUE(again.Problems().empty());
    for (const auto& [name, value] : values) {
        const auto read = again.QueryValue("SOFTWARE\\tessaly technologies\\LUMORA\\config", name);
        ASSERT_TRUE(read.has_value()) << name;
        EXPECT_EQ(*read, value) << name;
    }
    EXPECT_TRUE(again.KeyExists(std::string(kUserKey) + "\\Config\\ColData")) << "an empty key is kept";
    EXPECT_EQ(again.SubKeyNames("software"), std::vector<std::string>{"Tessaly Technologies"});

    const std::string text = TempDir::ReadFile(file);
    EXPECT_TRUE(text.starts_with("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software]\r\n")) << text;
    EXPECT_NE(text.find("\"Scanner\"=dword:0000000a\r\n"), std::string::npos);
    EXPECT_NE(text.find("\"Quoted\"=\"say \\\"hi\\\" \\\\ C:\\\\Program Files\\\\\"\r\n"), std::string::npos);
    EXPECT_NE(text.find("@=\"the default value\"\r\n"), std::string::npos);

    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(file.parent_path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST(Registry, KeysAndValuesAreFoundInAnyCaseAndKeepTheirSpelling)
{
    TempDir dir;
    RegistryHive hive(RegistryRoot::CurrentUser, dir / "user.reg");
    ASSERT_TRUE(hive.CreateKey("Software\\Run"));
    ASSERT_TRUE(hive.SetValue("software\\run", "Lumora PC Software", RegistryValue::String("x")));
    ASSERT_TRUE(hive.SetValue("SOFTWARE\\RUN", "LUMORA PC SOFTWARE", RegistryValue::String("y")));
    EXPECT_EQ(hive.ValueNames("Software\\Run"), std::vector<std::string>{"Lumora PC Software"});
    EXPECT_EQ(hive.QueryValue("Software\\Run", "lumora pc software")->AsString(), "y");

    EXPECT_FALSE(hive.SetValue("Software\\Missing", "v", RegistryValue::Number(1))) << "the key must exist";
    EXPECT_FALSE(hive.CreateKey("Software\\bad\x01name"));
    EXPECT_FALSE(hive.CreateKey("Software\\" + std::string(256, 'k')));

    EXPECT_TRUE(hive.DeleteValue("Software\\Run", "LUMORA pc software"));
    EXPECT_FALSE(hive.QueryValue("Software\\Run", "Lumora PC Software").has_value());
    EXPECT_TRUE(hive.DeleteValue("Software\\Run", "Lumora PC Software")) << "already absent counts as done";
    EXPECT_TRUE(hive.DeleteKey("software"));
    EXPECT_FALSE(hive.KeyExists("Software\\Run"));
}

TEST(Registry, ReaderTakesWhatRegeditWrites)
{
    RegistryNode tree;
    const auto problems = Parse("\xEF\xBB\xBFREGEDIT4\n"
                                "; a comment\n"
                                "[HKEY_CURRENT_USER\\Software\\Lumora]\n"
                                "\"Long\"=hex:01,02,\\\n"
                                "  03,04\n"
                                "\"Text\"=hex(1):41,42,00\n"
                                "\"Expand\"=hex(2):25,41,25,00\n"
                                "\"Num\"=hex(4):0a,00,00,80\n"
                                "\"Short\"=dword:1F\n"
                                "  \"Spaced\" = \"x\"  \n"
                                "[hkey_current_user\\SOFTWARE\\lumora]\n"
                                "\"Second\"=dword:00000002\n",
                                tree);
    EXPECT_TRUE(problems.empty()) << problems.front().line << ": " << problems.front().reason;
    const RegistryNode* key = tree.SubKey("Software")->SubKey("Lumora");
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->Value("Long")->AsBinary(), (std::vector<std::uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(key->Value("Text")->AsString(), "AB");
    EXPECT_EQ(key->Value("Expand")->AsString(), "%A%");
    EXPECT_EQ(key->Value("Num")->AsNumber(), 0x8000000Au);
    EXPECT_EQ(key->Value("Short")->AsNumber(), 0x1Fu);
    EXPECT_EQ(key->Value("Spaced")->AsString(), "x");
    EXPECT_EQ(key->Value("Second")->AsNumber(), 2u) << "a repeated key section adds to the same key";
}

TEST(Registry, DamagedLinesAreNamedAndTheRestKept)
{
    const std::string damaged = "REGEDIT4\r\n"                                              // 1
                                "\r\n"                                                      // 2
                                "[HKEY_CURRENT_USER\\Software\\Lumora\\Config]\r\n"         // 3
                                "\"Scanner\"=dword:0000000a\r\n"                            // 4
                                "\"Auto Go\"=dword:zz\r\n"                                  // 5
                                "\"ProxyAddr\"=\"unterminated\r\n"                          // 6
                                "this line means nothing\r\n"                               // 7
                                "\"ProxyPort\"=\"8080\"\r\n"                                // 8
                                "[HKEY_LOCAL_MACHINE\\Software]\r\n"                        // 9
                                "\"Elsewhere\"=dword:00000001\r\n"                          // 10
                                "[HKEY_CURRENT_USER\\Software\\Lumora\\Config\\ColData\r\n" // 11
                                "\"Gone\"=-\r\n"                                            // 12
                                "[HKEY_CURRENT_USER\\Software\\Lumora\\PenConfig]\r\n"      // 13
                                "\"Port\"=hex(4):01,00\r\n"                                 // 14
                                "\"Pen Volume\"=dword:00000002\r\n";                        // 15
    RegistryNode tree;
    const auto problems = Parse(damaged, tree);
    const std::vector<std::size_t> expectedLines = {5, 6, 7, 9, 10, 11, 12, 14};
    std::vector<std::size_t> lines;
    for (const auto& problem : problems)
        lines.push_back(problem.line);
    EXPECT_EQ(lines, expectedLines);
    EXPECT_EQ(problems[3].reason, "key is not under HKEY_CURRENT_USER");
    EXPECT_EQ(problems[4].reason, "value of the key rejected at line 9");

    const RegistryNode* config = tree.SubKey("Software")->SubKey("Lumora")->SubKey("Config");
    EXPECT_EQ(config->Value("Scanner")->AsNumber(), 10u);
    EXPECT_EQ(config->Value("ProxyPort")->AsString(), "8080");
    EXPECT_EQ(config->Values().size(), 2u);
    EXPECT_EQ(tree.SubKey("Software")->SubKey("Lumora")->SubKey("PenConfig")->Value("Pen Volume")->AsNumber(),
              2u);

    RegistryNode headless;
    const auto noHeader = Parse("[HKEY_CURRENT_USER\\A]\n\"v\"=dword:1\n", headless);
    ASSERT_EQ(noHeader.size(), 1u);
    EXPECT_EQ(noHeader[0].line, 1u);
    EXPECT_EQ(headless.SubKey("A")->Value("v")->AsNumber(), 1u) << "the first line still counts as content";
}

TEST(Registry, DamagedHiveIsReportedAndItsOriginalKept)
{
    TempDir dir;
    const std::string original = "REGEDIT4\n[HKEY_CURRENT_USER\\Config]\n\"Scanner\"=dword:0000000a\n"
                                 "\"Auto Run\"=dword:nonsense\n";
    const auto file = dir.WriteFile("user.reg", original);
    RegistryHive hive(RegistryRoot::CurrentUser, file);
    std::vector<std::string> reported;
    hive.SetProblemReporter([&](const std::filesystem::path& where, const HiveProblem& problem) {
        reported.push_back(where.filename().string() + ":" + std::to_string(problem.line));
    });
    EXPECT_EQ(hive.QueryValue("Config", "Scanner")->AsNumber(), 10u);
    EXPECT_EQ(reported, std::vector<std::string>{"user.reg:4"});
    // Reading alone keeps the original and writes the hive back without
    // the rejected line, so the next run has nothing to say.
    EXPECT_EQ(TempDir::ReadFile(dir / "user.reg.damaged"), original) << "the rejected line is not lost";
    EXPECT_TRUE(hive.Problems().empty()) << "the file written back is clean";
    RegistryHive nextRun(RegistryRoot::CurrentUser, file);
    nextRun.SetProblemReporter(
        [&](const std::filesystem::path&, const HiveProblem&) { reported.push_back("again"); });
    EXPECT_EQ(nextRun.QueryValue("Config", "Scanner")->AsNumber(), 10u);
    EXPECT_EQ(reported.size(), 1u) << "each damage is reported once";

    ASSERT_TRUE(hive.SetValue("Config", "Auto Run", RegistryValue::Number(1)));
    EXPECT_EQ(TempDir::ReadFile(dir / "user.reg.damaged"), original);
    ASSERT_TRUE(hive.SetValue("Config", "Auto Go", RegistryValue::Number(2)));
    EXPECT_EQ(FilesIn(dir.Path()),
              (std::vector<std::string>{"user.reg", "user.reg.damaged", "user.reg.lock"}));
}

TEST(Registry, InterruptedSaveLeavesThePreviousHiveLoadable)
{
    TempDir dir;
    const auto file = dir / "user.reg";
    RegistryHive hive(RegistryRoot::CurrentUser, file);
    ASSERT_TRUE(hive.CreateKey("Software\\Lumora\\Config"));
    ASSERT_TRUE(hive.SetValue("Software\\Lumora\\Config", "ProxyAddr", RegistryValue::String("old.example")));
    const std::string before = TempDir::ReadFile(file);

    const auto placement = RegistryValue::Binary(std::vector<std::uint8_t>(44, 0xAB));
    std::size_t limit = 0;
    for (;; ++limit) {
        bool saved = false;
        {
            FileSizeLimit disk(limit);
            saved = hive.SetValue("Software\\Lumora\\Config", "Window Placement", placement);
        }
        if (saved)
            break;
        EXPECT_FALSE(hive.LastError().empty());
        EXPECT_EQ(TempDir::ReadFile(file), before) << "stopped after " << limit << " bytes";
        RegistryHive reader(RegistryRoot::CurrentUser, file);
        EXPECT_TRUE(reader.Problems().empty());
        EXPECT_EQ(reader.QueryValue("Software\\Lumora\\Config", "ProxyAddr")->AsString(), "old.example");
        EXPECT_FALSE(hive.QueryValue("Software\\Lumora\\Config", "Window Placement").has_value())
            << "a failed write is not kept in memory either";
        ASSERT_EQ(FilesIn(dir.Path()), (std::vector<std::string>{"user.reg", "user.reg.lock"}))
            << "no temporary file left behind";
    }
    EXPECT_GT(limit, before.size()) << "the whole new hive had to be written";
    EXPECT_EQ(RegistryHive(RegistryRoot::CurrentUser, file)
                  .QueryValue("Software\\Lumora\\Config", "Window Placement"),
              placement);
}

// A half-written last line (a save cut short by an older version) is
// kept aside once, whatever reads the hive first.
TEST(Registry, PartialLineIsKeptOnceAndTheRestWrittenBack)
{
    TempDir dir;
    const std::string original =
        "REGEDIT4\n\n[HKEY_CURRENT_USER\\Config]\n\"Scanner\"=dword:0000000a\n\"Proxy";
    const auto file = dir.WriteFile("user.reg", original);
    std::size_t reports = 0;
    for (int run = 0; run < 3; ++run) {
        RegistryHive hive(RegistryRoot::CurrentUser, file);
        hive.SetProblemReporter([&](const std::filesystem::path&, const HiveProblem&) { ++reports; });
        EXPECT_TRUE(hive.KeyExists("Config"));
        EXPECT_EQ(hive.QueryValue("Config", "Scanner")->AsNumber(), 10u);
    }
    EXPECT_EQ(reports, 1u);
    EXPECT_EQ(TempDir::ReadFile(dir / "user.reg.damaged"), original);
    EXPECT_EQ(FilesIn(dir.Path()),
              (std::vector<std::string>{"user.reg", "user.reg.damaged", "user.reg.lock"}));
}

TEST(Registry, ValuesHaveASizeLimitNamedInTheError)
{
    TempDir dir;
    const auto file = dir / "user.reg";
    RegistryHive hive(RegistryRoot::CurrentUser, file);
    ASSERT_TRUE(hive.CreateKey("Software\\Lumora\\Config"));
    const std::string fits(RegistryHive::kMaxValueBytes, 'a');
    EXPECT_TRUE(hive.SetValue("Software\\Lumora\\Config", "ProxyAddr", RegistryValue::String(fits)));
    EXPECT_FALSE(hive.SetValue("Software\\Lumora\\Config", "ProxyAddr", RegistryValue::String(fits + "a")));
    EXPECT_EQ(hive.LastError(), file.string() +
                                    ": value \"ProxyAddr\" of 65537 bytes is larger than the 65536 "
                                    "a value may have (key Software\\Lumora\\Config)");
    EXPECT_FALSE(hive.SetValue("Software\\Lumora\\Config", "ColData",
                               RegistryValue::Binary(std::vector<std::uint8_t>(8u << 20, 1))));
    EXPECT_EQ(
        RegistryHive(RegistryRoot::CurrentUser, file).QueryValue("Software\\Lumora\\Config", "ProxyAddr"),
        RegistryValue::String(fits));

    // One already in a file (written by hand or by an older version) is a
    // rejected line: the rest of the hive stays readable.
    const std::string huge = "REGEDIT4\n[HKEY_CURRENT_USER\\Config]\n\"Scanner\"=dword:00000003\n\"Big\"=\"" +
                             std::string(RegistryHive::kMaxValueBytes + 1, 'x') + "\"\n";
    const auto other = dir.WriteFile("other.reg", huge);
    RegistryHive reader(RegistryRoot::CurrentUser, other);
    std::vector<std::string> reasons;
    reader.SetProblemReporter([&](const std::filesystem::path&, const HiveProblem& problem) {
        reasons.push_back(std::to_string(problem.line) + ": " + problem.reason);
    });
    EXPECT_EQ(reader.QueryValue("Config", "Scanner")->AsNumber(), 3u);
    EXPECT_FALSE(reader.QueryValue("Config", "Big").has_value());
    EXPECT_EQ(reasons, std::vector<std::string>{"4: value \"Big\" of 65537 bytes is larger than the 65536 a "
                                                "value may have (key Config)"});

    // A file larger than any hive is named with its size, once, and left as it is.
    const auto oversized = dir.WriteFile("oversized.reg", std::string(RegistryHive::kMaxHiveBytes + 1, ';'));
    RegistryHive unreadable(RegistryRoot::CurrentUser, oversized);
    reasons.clear();
    unreadable.SetProblemReporter([&](const std::filesystem::path&, const HiveProblem& problem) {
        reasons.push_back(std::to_string(problem.line) + ": " + problem.reason);
    });
    EXPECT_FALSE(unreadable.KeyExists("Config"));
    EXPECT_FALSE(unreadable.SetValue("Config", "Scanner", RegistryValue::Number(1)));
    EXPECT_FALSE(unreadable.QueryValue("Config", "Scanner").has_value());
    EXPECT_EQ(reasons, std::vector<std::string>{"0: " + oversized.string() +
                                                " is 16777217 bytes, more than the "
                                                "16777216 a settings file may have"});
    EXPECT_EQ(std::filesystem::file_size(oversized), RegistryHive::kMaxHiveBytes + 1);
}

// Another process holding the lock makes a change wait a bounded time,
// saying once what it waits for, and then fail naming the lock file.
TEST(Registry, HeldLockIsWaitedForABoundedTime)
{
    TempDir dir;
    const auto file = dir / "user.reg";
    RegistryHive hive(RegistryRoot::CurrentUser, file);
    ASSERT_TRUE(hive.CreateKey("Config"));
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        const int fd = ::open((file.string() + ".lock").c_str(), O_RDWR);
        const bool locked = fd >= 0 && ::flock(fd, LOCK_EX) == 0;
        (void)!::write(ready[1], locked ? "y" : "n", 1);
        ::pause();
        ::_exit(0);
    }
    char answer = 0;
    ASSERT_EQ(::read(ready[0], &answer, 1), 1);
    ASSERT_EQ(answer, 'y');
    std::vector<std::string> waits;
    hive.SetWaitReporter([&](const std::filesystem::path& lock) { waits.push_back(lock.string()); });
    EXPECT_FALSE(hive.SetValue("Config", "Scanner", RegistryValue::Number(3)));
    EXPECT_EQ(waits, std::vector<std::string>{file.string() + ".lock"});
    EXPECT_EQ(hive.LastError(), "another process holds the lock " + file.string() + ".lock (waited 5 s)");
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_TRUE(hive.SetValue("Config", "Scanner", RegistryValue::Number(3)))
        << "the lock goes with its holder";
}

// Saves killed half-way leave their temporaries; a later save of the same
// file removes those nobody holds, and leaves the others alone.
TEST(Registry, StaleTemporariesOfKilledSavesAreRemoved)
{
    TempDir dir;
    const auto file = dir / "user.reg";
    RegistryHive hive(RegistryRoot::CurrentUser, file);
    ASSERT_TRUE(hive.CreateKey("Config"));
    const auto temporaries = [&] {
        std::vector<std::string> names;
        for (const auto& name : FilesIn(dir.Path()))
            if (name.starts_with("user.reg.tmp."))
                names.push_back(name);
        return names;
    };
    for (int kill = 0; kill < 3; ++kill) {
        const pid_t saver = ::fork();
        ASSERT_GE(saver, 0);
        if (saver == 0) {
            RegistryHive theirs(RegistryRoot::CurrentUser, file);
            for (std::uint8_t fill = 0;; ++fill)
                theirs.SetValue(
                    "Config", "ColData",
                    RegistryValue::Binary(std::vector<std::uint8_t>(RegistryHive::kMaxValueBytes, fill)));
        }
        // Killed as soon as one of its saves is under way.
        while (temporaries().size() <= static_cast<std::size_t>(kill))
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        ::kill(saver, SIGKILL);
        ::waitpid(saver, nullptr, 0);
    }
    ASSERT_GE(temporaries().size(), 3u);
    // One held by a live save (its lock) stays whatever its age.
    const auto held = dir.WriteFile("user.reg.tmp.HELD01", "in progress");
    const int heldFd = ::open(held.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(heldFd, LOCK_EX), 0);
    const auto old = std::filesystem::file_time_type::clock::now() - std::chrono::minutes(1);
    for (const auto& name : temporaries())
        std::filesystem::last_write_time(dir / name, old);

    ASSERT_TRUE(hive.SetValue("Config", "Scanner", RegistryValue::Number(4)));
    EXPECT_EQ(temporaries(), std::vector<std::string>{"user.reg.tmp.HELD01"});
    ::close(heldFd);
    EXPECT_EQ(RegistryHive(RegistryRoot::CurrentUser, file).QueryValue("Config", "Scanner")->AsNumber(), 4u);
}

TEST(Registry, UnreadableHiveIsNeverReplaced)
{
    TempDir dir;
    const auto file = dir / "user.reg";
    {
        // Larger than any hive the store accepts: it may be something the user needs.
        const std::string head = "REGEDIT4\n";
        dir.WriteFile("user.reg", head);
        std::filesystem::resize_file(file, RegistryHive::kMaxHiveBytes + 1);
    }
    RegistryHive hive(RegistryRoot::CurrentUser, file);
    EXPECT_FALSE(hive.KeyExists("Software"));
    EXPECT_FALSE(hive.CreateKey("Software"));
    EXPECT_NE(hive.LastError().find("user.reg"), std::string::npos) << hive.LastError();
    EXPECT_EQ(std::filesystem::file_size(file), RegistryHive::kMaxHiveBytes + 1);
}

TEST(Registry, ChangesOfOtherProcessesAreSeenAndNoneIsLost)
{
    TempDir dir;
    const auto file = dir / "user.reg";
    RegistryHive mine(RegistryRoot::CurrentUser, file);
    ASSERT_TRUE(mine.CreateKey("Counters"));
    constexpr int kWriters = 3, kValuesEach = 30;
    std::vector<pid_t> children;
    for (int writer = 0; writer < kWriters; ++writer) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            RegistryHive theirs(RegistryRoot::CurrentUser, file);
            bool ok = true;
            for (int i = 0; i < kValuesEach; ++i)
                ok = theirs.SetValue("Counters", "w" + std::to_string(writer) + "-" + std::to_string(i),
                                     RegistryValue::Number(static_cast<std::uint32_t>(i))) &&
                     ok;
            ::_exit(ok ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(mine.ValueNames("Counters").size(), static_cast<std::size_t>(kWriters * kValuesEach))
        << "every read-modify-write ran under the lock";
    EXPECT_EQ(mine.QueryValue("Counters", "w2-29")->AsNumber(), 29u);
}

TEST(Registry, FormattedTreeReadsBackUnchanged)
{
    RegistryNode root;
    RegistryNode& key = root.AddSubKey("Mixed Case").AddSubKey("a]b [c]");
    key.SetValue("tab\there", RegistryValue::String("; not a comment"));
    key.SetValue("@", RegistryValue::String("a value named @"));
    key.SetValue("", RegistryValue::Number(7));
    key.SetValue("big", RegistryValue::Binary(std::vector<std::uint8_t>(100, 0x5A)));
    root.SetValue("AtRoot", RegistryValue::String("\n"));
    root.AddSubKey("Empty");

    RegistryNode back;
    EXPECT_TRUE(Parse(platform::FormatHive(root, "HKEY_CURRENT_USER"), back).empty());
    EXPECT_TRUE(back == root);
}

} // namespace
