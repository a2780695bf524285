#include "tests/support/temphome.h"

#include <cstdlib>

TempHome::TempHome()
{
    Set("HOME", Home());
    Set("XDG_CONFIG_HOME", ConfigHome());
    Set("XDG_DATA_HOME", DataHome());
    Set("XDG_RUNTIME_DIR", m_dir / "run");
    Set("TMPDIR", m_dir / "tmp");
    for (const char* folder : {"home/.config", "home/.local/share", "run", "tmp"})
        std::filesystem::create_directories(m_dir / folder);
    // A session's runtime folder is private; Qt warns about any other mode.
    std::filesystem::permissions(m_dir / "run", std::filesystem::perms::owner_all);
}

TempHome::~TempHome()
{
    for (const auto& [name, value] : m_saved) {
        if (value)
            ::setenv(name.c_str(), value->c_str(), 1);
        else
            ::unsetenv(name.c_str());
    }
}

void TempHome::Set(const char* name, const std::filesystem::path& value)
{
    const char* old = std::getenv(name);
    m_saved.emplace(name, old ? std::optional<std::string>(old) : std::nullopt);
    ::setenv(name, value.c_str(), 1);
}
