// One `lumora-cli resolve --offline` of a single code from warm caches of
// 10,000 and 40,000 formats and routing keys, beside `lumora-cli analyze`
// of the same code (the floor: start-up, analysis and output alone), in
// rounds of one run. Each child's CPU time (user + system) and peak
// resident set come from wait4, as the kernel accounted them.
//
//   bench_resolve [ROUNDS] [--cli PATH]... [--keep DIR]
//
// Each --cli adds a lumora-cli to time (default: the one of this build),
// an older build's for a before-and-after in the same run. --keep writes
// the caches under DIR and leaves them there, for profiling by hand.
#include "bench/batchdata.h"
#include "tests/support/runprogram.h"
#include "tests/support/tempdir.h"
#include "vtkit/vttoolkit.h"
#include "vtkit/vtuserid.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kDefaultRounds = 9;
constexpr std::size_t kSizes[] = {10000, 40000};
// The identity the caches are kept under.
const std::string kUid = VTUserId::Blind("123456789", 42);

struct Usage {
    double cpuMs = 0;
    double peakMb = 0;
};

struct Measured {
    std::vector<double> cpuMs;
    std::vector<double> peakMb;
};

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// Runs the program to its end; its output goes to `outPath`. Nothing when
// it did not exit with status 0.
std::optional<Usage> Run(const std::string& program, const std::vector<std::string>& args,
                         const fs::path& outPath)
{
    const pid_t pid = SpawnProgram(program, args, outPath.string(), (outPath.string() + ".err"));
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0)
        if (errno != EINTR)
            return std::nullopt;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    const auto ms = [](const timeval& time) { return time.tv_sec * 1e3 + time.tv_usec / 1e3; };
    return Usage{ms(usage.ru_utime) + ms(usage.ru_stime), usage.ru_maxrss / 1024.0};
}

std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Warm caches of `entries` formats and routing keys saved as the client
// keeps them, and one code they answer.
struct Caches {
    fs::path dir;
    std::string code;
    std::string serverId;

    Caches(const fs::path& root, std::size_t entries) : dir(root / ("caches" + std::to_string(entries)))
    {
        const BatchData data = MakeBatchData(entries, 200, static_cast<unsigned>(entries));
        VTToolkit toolkit;
        for (const auto& format : data.formats)
            toolkit.GetCache().AddFormat(format);
        for (const auto& record : data.records)
            toolkit.GetCache().AddTemplate(record);
        fs::create_directories(dir);
        if (!toolkit.GetCache().SaveFormats(dir / (kUid + "Format.cache")) ||
            !toolkit.GetCache().SaveTemplates(dir / (kUid + "Templates.cache")))
            throw std::runtime_error("cannot write the caches in " + dir.string());
        // An EAN-13 code from the middle of the list, so neither end of it
        // answers by luck.
        const auto chosen = std::find_if(data.codes.begin() + data.codes.size() / 2, data.codes.end(),
                                         [](const BatchCode& c) { return c.type == kCodeEan13; });
        if (chosen == data.codes.end())
            throw std::runtime_error("no EAN-13 code among the generated ones");
        code = chosen->text;
        serverId = chosen->serverId;
    }
};

struct Command {
    std::string name;
    std::string program;
    std::vector<std::string> args;
    // What its output must hold.
    std::string expect;
    Measured measured = {};
};

// One command a line: name, program, expected output, arguments, split by tabs.
void WritePlan(const fs::path& path, const std::vector<Command>& commands)
{
    std::ofstream plan(path);
    for (const Command& command : commands) {
        plan << command.name << '\t' << command.program << '\t' << command.expect;
        for (const std::string& arg : command.args)
            plan << '\t' << arg;
        plan << '\n';
    }
}

std::vector<Command> ReadPlan(const fs::path& path)
{
    std::vector<Command> commands;
    std::ifstream plan(path);
    for (std::string line; std::getline(plan, line);) {
        std::vector<std::string> fields;
        for (std::size_t from = 0;;) {
            const std::size_t tab = line.find('\t', from);
            fields.push_back(line.substr(from, tab - from));
            if (tab == std::string::npos)
                break;
            from = tab + 1;
        }
        if (fields.size() < 3)
            throw std::runtime_error("broken plan line: " + line);
        commands.push_back({fields[0], fields[1], {fields.begin() + 3, fields.end()}, fields[2]});
    }
    return commands;
}

void Report(int rounds, const std::vector<Command>& commands)
{
    std::printf("%d rounds; medians of each child's CPU (user + system) and peak RSS\n", rounds);
    std::printf("%-22s %10s %10s %12s %12s\n", "", "CPU ms", "peak MB", "CPU / floor", "peak / floor");
    // Each resolve follows its floor.
    for (std::size_t i = 0; i + 1 < commands.size(); i += 2) {
        const Measured& floor = commands[i].measured;
        for (std::size_t j = i; j < i + 2; ++j) {
            const Measured& m = commands[j].measured;
            std::printf("%-22s %10.1f %10.1f %12.2f %12.2f\n", commands[j].name.c_str(), Median(m.cpuMs),
                        Median(m.peakMb), Median(m.cpuMs) / Median(floor.cpuMs),
                        Median(m.peakMb) / Median(floor.peakMb));
        }
    }
    std::printf("goal for resolve 10k: at most 100 ms of CPU and 30 MB\n");
}

// The timed part, in a process of its own: a child started from a large
// process would count that process's peak as its own.
int Measure(int rounds, const fs::path& planPath)
{
    std::vector<Command> commands = ReadPlan(planPath);
    const fs::path out = planPath.parent_path() / "out.txt";
    for (int round = 0; round < rounds; ++round) {
        for (Command& command : commands) {
            const std::optional<Usage> usage = Run(command.program, command.args, out);
            const std::string printed = ReadAll(out);
            if (!usage || printed.find(command.expect) == std::string::npos) {
                std::fprintf(stderr, "%s failed or printed no \"%s\":\n%s%s\n", command.name.c_str(),
                             command.expect.c_str(), printed.c_str(), ReadAll(out.string() + ".err").c_str());
                return 1;
            }
            command.measured.cpuMs.push_back(usage->cpuMs);
            command.measured.peakMb.push_back(usage->peakMb);
        }
    }
    Report(rounds, commands);
    return 0;
}

int Bench(int rounds, std::vector<std::string> clis, const std::optional<fs::path>& keep)
{
    if (clis.empty())
        clis.push_back(LUMORA_CLI_PATH);
    TempDir temp;
    const fs::path root = keep ? *keep : temp.Path();
    // The children keep off the real user's files.
    const fs::path home = root / "home";
    fs::create_directories(home);
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
    setenv("XDG_DATA_HOME", (home / ".local/share").c_str(), 1);

    std::vector<Command> commands;
    for (const std::size_t entries : kSizes) {
        const Caches caches(root, entries);
        std::printf("%zu entries: code %s, user id %s, caches in %s\n", entries, caches.code.c_str(),
                    kUid.c_str(), caches.dir.c_str());
        const std::string size = std::to_string(entries / 1000) + "k";
        for (std::size_t i = 0; i < clis.size(); ++i) {
            const std::string which = clis.size() > 1 ? " [" + std::to_string(i + 1) + "]" : "";
            commands.push_back(
                {"analyze " + size + which, clis[i], {"analyze", "--json", caches.code}, "EAN13"});
            commands.push_back({"resolve " + size + which,
                                clis[i],
                                {"resolve", "--offline", "--json", "--uid", kUid, "--cache-dir",
                                 caches.dir.string(), "--server-dat", LUMORA_SERVER_DAT, caches.code},
                                "sid=" + caches.serverId + "&"});
        }
    }
    for (std::size_t i = 0; i < clis.size(); ++i)
        std::printf("[%zu] %s\n", i + 1, clis[i].c_str());
    std::fflush(stdout);
    const fs::path plan = temp / "plan.txt";
    WritePlan(plan, commands);
    // The same program on the same output streams.
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    const std::string count = std::to_string(rounds);
    const std::string planPath = plan.string();
    char* const argv[] = {const_cast<char*>(self.c_str()), const_cast<char*>("measure"),
                          const_cast<char*>(count.c_str()), const_cast<char*>(planPath.c_str()), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv, environ) != 0)
        throw std::runtime_error("cannot start " + self);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return 1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::string(argv[1]) == "measure") {
        try {
            return Measure(std::max(1, std::atoi(argv[2])), argv[3]);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "bench_resolve: %s\n", error.what());
            return 1;
        }
    }
    int rounds = kDefaultRounds;
    std::vector<std::string> clis;
    std::optional<fs::path> keep;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--cli" && i + 1 < argc) {
            clis.push_back(argv[++i]);
        } else if (arg == "--keep" && i + 1 < argc) {
            keep = argv[++i];
        } else if (const int number = std::atoi(arg.c_str()); number > 0) {
            rounds = number;
        } else {
            std::fprintf(stderr, "usage: bench_resolve [ROUNDS] [--cli PATH]... [--keep DIR]\n");
            return 2;
        }
    }
    try {
        return Bench(rounds, clis, keep);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_resolve: %s\n", error.what());
        return 1;
    }
}
