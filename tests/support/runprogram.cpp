#include "tests/support/runprogram.h"

#include "tests/support/tempdir.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <stdexcept>

extern char** environ;

pid_t SpawnProgram(const std::string& program, const std::vector<std::string>& args,
                   const std::string& outPath, const std::string& errPath)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        throw std::runtime_error("cannot start " + program);
    return pid;
}

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args)
{
    const TempDir dir;
    const std::string outPath = (dir / "out").string();
    const std::string errPath = (dir / "err").string();
    const pid_t pid = SpawnProgram(program, args, outPath, errPath);

    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    ProgramResult result;
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = TempDir::ReadFile(outPath);
    result.err = TempDir::ReadFile(errPath);
    return result;
}
