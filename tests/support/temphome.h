#pragma once

#include "tests/support/tempdir.h"

#include <map>
#include <optional>
#include <string>

// A throw-away home for one test: HOME, XDG_CONFIG_HOME, XDG_DATA_HOME,
// XDG_RUNTIME_DIR and TMPDIR point into a fresh temporary folder, and are
// put back as they were afterwards. Keeps tests off the real user's files.
class TempHome {
public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    const TempDir& Dir() const { return m_dir; }
    std::filesystem::path Home() const { return m_dir / "home"; }
    std::filesystem::path ConfigHome() const { return m_dir / "home/.config"; }
    std::filesystem::path DataHome() const { return m_dir / "home/.local/share"; }

private:
    void Set(const char* name, const std::filesystem::path& value);

    TempDir m_dir;
    std::map<std::string, std::optional<std::string>> m_saved;
};
