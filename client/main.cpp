// The desktop client `lumora`.
#include "client/gui/clientapp.h"
#include "client/langmgr.h"
#include "client/setupcmd.h"
#include "client/startmode.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

// Settings for benchmarks and tests: the splash's delay in milliseconds, and
// ending at the first idle state.
std::optional<int> SplashDelayFromEnvironment()
{
    const char* value = std::getenv("LUMORA_SPLASH_MS");
    if (!value || !*value)
        return std::nullopt;
    return std::atoi(value);
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> arguments(argv + 1, argv + argc);
    for (const std::string& argument : arguments)
        if (argument == "--version") {
            std::printf("lumora %s\n", LUMORA_VERSION);
            return 0;
        }
    // Unattended installation or removal needs no display.
    const CStartMode mode = ParseStartMode(arguments);
    if (mode == CStartMode::Install || mode == CStartMode::Remove) {
        const CSetupArguments setup = ParseSetupArguments(arguments);
        if (setup.quiet) {
            CLanguageMgr language;
            language.Initialize();
            return RunQuietSetup(mode, setup, language, stderr);
        }
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("lumora"));
    QApplication::setApplicationVersion(QStringLiteral(LUMORA_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("lumora"));

    CClientApp::Options options;
    options.arguments = std::move(arguments);
    options.splashDelayMs = SplashDelayFromEnvironment();
    const char* exitAtIdle = std::getenv("LUMORA_EXIT_AT_IDLE");
    options.exitAtIdle = exitAtIdle && std::strcmp(exitAtIdle, "1") == 0;
    CClientApp client(std::move(options));
    if (const std::optional<int> status = client.Start())
        return *status;
    return QApplication::exec();
}
