#include "platform/browser.h"

#include "tests/support/scopedenv.h"
#include "tests/support/temphome.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

namespace fs = std::filesystem;

void WriteProgram(const fs::path& file, const std::string& body)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::trunc) << "#!/bin/sh\n" << body;
    fs::permissions(file, fs::perms::owner_all);
}

// A desktop with nothing but what each test puts on its PATH and into its
// applications folders.
class BrowserTest : public ::testing::Test {
protected:
    fs::path Bin() const { return m_home.Dir() / "bin"; }
    void DefaultHandler(const std::string& tool, const std::string& answer) const
    {
        WriteProgram(Bin() / tool, answer.empty() ? "exit 1\n" : "echo '" + answer + "'\n");
    }
    fs::path Entry(const std::string& relative, const std::string& text) const
    {
        return m_home.Dir().WriteFile("home/.local/share/applications/" + relative, text);
    }
    void Browser(const std::string& name, const std::string& versionLine) const
    {
        WriteProgram(Bin() / name, "[ \"$1\" = --version ] && echo '" + versionLine + "'\n");
    }

    TempHome m_home;
    ScopedEnv m_path{"PATH", Bin().c_str()};
    ScopedEnv m_dataDirs{"XDG_DATA_DIRS", (m_home.Dir() / "system-share").c_str()};
};

TEST_F(BrowserTest, ExecLineGivesTheProgram)
{
    const struct {
        const char* text;
        const char* program;
    } cases[] = {
        {"[Desktop Entry]\nName=Firefox\nExec=firefox %u\n", "firefox"},
        {"[Desktop Entry]\nExec=\"/opt/My Browser/browser\" --new-window %U\n", "/opt/My Browser/browser"},
        {"[Desktop Entry]\nExec=env GDK_BACKEND=x11 MOZ_X=1 /usr/bin/chromium %U\n", "/usr/bin/chromium"},
        {"[Desktop Action new]\nExec=other --new\n[Desktop Entry]\nTryExec=x\nExec=vivaldi-stable\n",
         "vivaldi-stable"},
        {"[Desktop Entry]\nName=No program\n", ""},
    };
    for (const auto& entry : cases)
        EXPECT_EQ(platform::DesktopExecProgram(Entry("case.desktop", entry.text)), entry.program)
            << entry.text;
}

TEST_F(BrowserTest, VersionAndFamilyComeFromTheProgramsOwnWords)
{
    const std::pair<const char*, const char*> versions[] = {
        {"Mozilla Firefox 115.3.1esr", "115.3"},
        {"Chromium 120.0.6099.224 built on Debian 12", "120.0"},
        {"Konqueror 22", ""},
        {"no digits at all", ""},
    };
    for (const auto& [line, version] : versions)
        EXPECT_EQ(platform::VersionFromLine(line), version) << line;
    for (const char* supported :
         {"firefox", "firefox-esr", "chromium", "google-chrome-stable", "microsoft-edge", "brave-browser",
          "Vivaldi", "opera", "epiphany", "konqueror"})
        EXPECT_TRUE(platform::IsSupportedBrowser(supported)) << supported;
    for (const char* other : {"lynx", "flatpak", "xdg-open", ""})
        EXPECT_FALSE(platform::IsSupportedBrowser(other)) << other;
}

TEST_F(BrowserTest, DetectionFollowsHandlerEntryAndProgram)
{
    DefaultHandler("xdg-settings", "firefox.desktop");
    Entry("firefox.desktop", "[Desktop Entry]\nExec=" + (Bin() / "firefox").string() + " %u\n");
    Browser("firefox", "Mozilla Firefox 115.3.1esr");
    platform::BrowserInfo info = platform::DetectDefaultBrowser();
    EXPECT_EQ(info.desktopId, "firefox.desktop");
    EXPECT_EQ(info.programName, "firefox");
    EXPECT_EQ(info.programPath, Bin() / "firefox");
    EXPECT_EQ(info.versionText, "115.3");
    EXPECT_EQ(info.compatibility, platform::kBrowserSupported);

    // Another program, found on PATH by name, in a nested entry, with xdg-mime
    // answering where xdg-settings does not.
    DefaultHandler("xdg-settings", "");
    DefaultHandler("xdg-mime", "text-mybrowser.desktop");
    Entry("text/mybrowser.desktop", "[Desktop Entry]\nExec=mybrowser %u\n");
    Browser("mybrowser", "My Browser 3.1");
    info = platform::DetectDefaultBrowser();
    EXPECT_EQ(info.desktopFile, m_home.DataHome() / "applications/text/mybrowser.desktop");
    EXPECT_EQ(info.versionText, "3.1");
    EXPECT_EQ(info.compatibility, platform::kBrowserUntested);

    // A program that says nothing of its version is still a browser.
    WriteProgram(Bin() / "mybrowser", "exit 0\n");
    info = platform::DetectDefaultBrowser();
    EXPECT_EQ(info.versionText, "UNKNOWN");
    EXPECT_EQ(info.compatibility, platform::kBrowserUntested);
}

TEST_F(BrowserTest, NoHandlerNoEntryOrNoProgramIsNoBrowser)
{
    EXPECT_EQ(platform::DetectDefaultBrowser().compatibility, platform::kBrowserNone) << "no tools at all";

    DefaultHandler("xdg-settings", "missing.desktop");
    EXPECT_EQ(platform::DetectDefaultBrowser().compatibility, platform::kBrowserNone) << "no such entry";

    m_home.Dir().WriteFile("system-share/applications/missing.desktop", "[Desktop Entry]\nExec=gone %u\n");
    const platform::BrowserInfo info = platform::DetectDefaultBrowser();
    EXPECT_EQ(info.desktopFile, m_home.Dir() / "system-share/applications/missing.desktop");
    EXPECT_EQ(info.programName, "gone");
    EXPECT_EQ(info.compatibility, platform::kBrowserNone) << "the program is not there";
}

} // namespace
