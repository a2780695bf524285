// Unattended installation and removal with the built installation source
// folder, as a system administrator runs them.
#include "tests/support/runprogram.h"
#include "tests/support/temphome.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool PathExists(const fs::path& path)
{
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error));
}

class QuietSetupTest : public ::testing::Test {
protected:
    fs::path Dist() const { return LUMORA_DIST; }
    fs::path Target() const { return m_home.Home() / "apps/lumora"; }
    fs::path MenuEntry() const { return m_home.DataHome() / "applications/lumora.desktop"; }

    ProgramResult Install(std::vector<std::string> extra = {})
    {
        std::vector<std::string> args{"-install", "-quiet", "-dir", Target().string()};
        args.insert(args.end(), extra.begin(), extra.end());
        return RunProgram((Dist() / "lumora").string(), args);
    }

    TempHome m_home;
};

TEST_F(QuietSetupTest, InstallsRunsAndRemoves)
{
    const ProgramResult installed = Install();
    ASSERT_EQ(installed.exitStatus, 0) << installed.err;
    EXPECT_EQ(
        Lines(installed.err),
        (std::vector<std::string>{"Copying files...", "Making registry entries...", "Creating shortcuts...",
                                  "The installation has completed successfully."}));
    for (const char* file : {"lumora", "lumora-cli", "lumorapor.so", "lumoraspa.so", "vtkbdhook.so",
                             "Server.dat", "wvmenusrc.htm", "wvframesrc.htm", "lumora.inst"})
        EXPECT_TRUE(fs::is_regular_file(Target() / file)) << file;
    const ProgramResult version = RunProgram((m_home.Home() / ".local/bin/lumora").string(), {"--version"});
    EXPECT_EQ(version.exitStatus, 0);
    EXPECT_EQ(version.out.rfind("lumora ", 0), 0u) << version.out;
    EXPECT_EQ(RunProgram("/usr/bin/desktop-file-validate", {MenuEntry().string()}).exitStatus, 0);

    // Again from the installed copy's menu entry: the same version.
    const ProgramResult again = Install();
    EXPECT_EQ(again.exitStatus, 0) << again.err;
    EXPECT_EQ(Lines(again.err).back(), "The upgrade has completed successfully.");

    const ProgramResult removed = RunProgram((Target() / "lumora").string(), {"-remove", "-quiet"});
    ASSERT_EQ(removed.exitStatus, 0) << removed.err;
    EXPECT_EQ(Lines(removed.err), std::vector<std::string>{"Remove complete"});
    for (int i = 0; i < 200 && PathExists(Target()); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(PathExists(Target()));
    EXPECT_FALSE(PathExists(MenuEntry()));
    EXPECT_FALSE(PathExists(m_home.Home() / ".local/bin/lumora"));
}

TEST_F(QuietSetupTest, LanguageAndOptions)
{
    const ProgramResult portuguese = Install({"-lang", "pt"});
    ASSERT_EQ(portuguese.exitStatus, 0) << portuguese.err;
    EXPECT_EQ(Lines(portuguese.err).front(), "A copiar ficheiros...");

    struct Case {
        std::vector<std::string> args;
        int status;
        std::string message;
    };
    const Case cases[] = {
        {{"-install", "-quiet", "-lang", "xx"},
         2,
         "lumora: The language 'xx' is not included in this installation."},
        {{"-install", "-quiet", "-dir"}, 2, "lumora: The option -dir needs a value."},
        {{"/REMOVE", "/Quiet", "-lang", "es"},
         1,
         "lumora: Esta copia de Lumora PC Software no fue instalada por su instalador; aquí no hay nada que "
         "eliminar."},
    };
    for (const Case& c : cases) {
        const ProgramResult result = RunProgram((Dist() / "lumora").string(), c.args);
        EXPECT_EQ(result.exitStatus, c.status) << result.err;
        EXPECT_EQ(Lines(result.err).front(), c.message);
    }
}

TEST_F(QuietSetupTest, RemovingTheSourceFolderIsRefused)
{
    // The build's folder was never installed: it has no lists of what was made.
    const ProgramResult removed = RunProgram((Dist() / "lumora").string(), {"-remove", "-quiet"});
    EXPECT_EQ(removed.exitStatus, 1);
    EXPECT_EQ(Lines(removed.err).front(),
              "lumora: This copy of the Lumora PC Software was not installed by its "
              "installer, so there is nothing to remove here.");
    for (const char* file : {"lumora", "lumora-cli", "Server.dat", "lumora.inst"})
        EXPECT_TRUE(fs::is_regular_file(Dist() / file)) << file;
}

} // namespace
