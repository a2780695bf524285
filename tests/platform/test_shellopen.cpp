#include "platform/shellopen.h"

#include "tests/support/recordingopener.h"
#include "tests/support/scopedenv.h"
#include "tests/support/temphome.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// A stand-in that tells how it was started: its session, its blocked
// signals and whether a descriptor of the test reached it.
std::string ProbeScript(const fs::path& log, int watchedFd)
{
    const std::string out = " >> '" + log.string() + "'\n";
    return "#!/bin/sh\n"
           "printf 'arg=%s\\n' \"$1\"" +
           out + "read -r stat < /proc/$$/stat; set -- $stat; echo \"session=$6\"" + out +
           "while read -r key value; do [ \"$key\" = SigBlk: ] && echo \"blocked=$value\"; done < "
           "/proc/$$/status" +
           out + "if [ -e /proc/$$/fd/" + std::to_string(watchedFd) + " ]; then echo fd=open" + out +
           "else echo fd=closed" + out + "fi\n";
}

std::vector<std::string> WaitForLines(const fs::path& log, std::size_t count)
{
    std::vector<std::string> lines;
    for (int i = 0; i < 500 && lines.size() < count; ++i) {
        usleep(20000);
        lines.clear();
        std::ifstream in(log);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
    }
    return lines;
}

bool HasChildren()
{
    return ::waitpid(-1, nullptr, WNOHANG) != -1 || errno != ECHILD;
}

TEST(ShellOpen, PassesTheAddressAsItsOneArgumentToTheProgramOnPath)
{
    TempHome home;
    RecordingOpener opener(home.Dir() / "opener");
    const std::string addresses[] = {
        "http://127.0.0.1:8470/item?sid=1&iid=2",
        "https://example.test/a b/'quoted' \"double\" $HOME `id`",
        "-not-an-option",
    };
    for (const std::string& address : addresses)
        EXPECT_TRUE(platform::ShellOpen(address)) << address;
    EXPECT_EQ(opener.WaitForAddresses(3),
              std::vector<std::string>(std::begin(addresses), std::end(addresses)));
    EXPECT_FALSE(HasChildren()) << "the starter is reaped and the program is not our child";
}

TEST(ShellOpen, StartsTheProgramInItsOwnSessionWithoutOurDescriptorsOrSignalMask)
{
    TempHome home;
    RecordingOpener opener(home.Dir() / "opener");
    const fs::path log = home.Dir() / "probe.log";
    const int watched = ::open("/dev/null", O_RDONLY); // inheritable on purpose
    ASSERT_GE(watched, 0);
    {
        std::ofstream(opener.Script(), std::ios::trunc) << ProbeScript(log, watched);
    }
    sigset_t blocked, previous;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGHUP);
    ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &blocked, &previous), 0);
    const bool started = platform::ShellOpen("http://example.test/");
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    ::close(watched);
    ASSERT_TRUE(started);

    const std::vector<std::string> lines = WaitForLines(log, 4);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "arg=http://example.test/");
    EXPECT_NE(lines[1], "session=" + std::to_string(::getsid(0)));
    EXPECT_EQ(lines[2], "blocked=0000000000000000");
    EXPECT_EQ(lines[3], "fd=closed");
}

TEST(ShellOpen, FailsWhenTheProgramIsMissingOrCannotStart)
{
    TempHome home;
    {
        RecordingOpener broken(home.Dir() / "broken", false);
        broken.Break();
        EXPECT_FALSE(platform::ShellOpen("http://example.test/")) << "an interpreter that is not there";
        EXPECT_TRUE(broken.Addresses().empty());
    }
    ScopedEnv emptyPath("PATH", (home.Dir() / "nothing-here").c_str());
    EXPECT_TRUE(platform::FindOnPath(platform::kShellOpenProgram).empty());
    EXPECT_FALSE(platform::ShellOpen("http://example.test/"));
    EXPECT_FALSE(HasChildren());
}

} // namespace
