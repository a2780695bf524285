#include "tools/cli/clipassword.h"

#include <csignal>
#include <iostream>
#include <termios.h>
#include <unistd.h>

namespace {

// The settings to restore; the signal handler only calls tcsetattr.
termios g_saved{};

extern "C" void RestoreAndDie(int signal)
{
    tcsetattr(STDIN_FILENO, TCSANOW, &g_saved);
    std::signal(signal, SIG_DFL);
    raise(signal);
}

std::optional<std::string> ReadLine(std::istream& in)
{
    std::string line;
    if (!std::getline(in, line) && line.empty())
        return std::nullopt;
    if (line.ends_with('\r'))
        line.pop_back();
    return line;
}

} // namespace

std::optional<std::string> PromptPassword(const std::string& prompt)
{
    if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &g_saved) != 0)
        return std::nullopt;
    std::cerr << prompt << std::flush;
    termios quiet = g_saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    auto* const previousInt = std::signal(SIGINT, RestoreAndDie);
    auto* const previousTerm = std::signal(SIGTERM, RestoreAndDie);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    auto password = ReadLine(std::cin);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_saved);
    std::signal(SIGINT, previousInt);
    std::signal(SIGTERM, previousTerm);
    return password;
}

std::optional<std::string> ReadPasswordLine()
{
    return ReadLine(std::cin);
}
