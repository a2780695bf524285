#include "tests/support/dosdevices.h"

#include <cstdlib>

DosDevices::DosDevices()
{
    if (const char* previous = std::getenv("XDG_CONFIG_HOME"))
        m_previous = previous;
    std::filesystem::create_directories(m_dir / "lumora/dosdevices");
    setenv("XDG_CONFIG_HOME", m_dir.Path().c_str(), 1);
}

DosDevices::~DosDevices()
{
    if (m_previous)
        setenv("XDG_CONFIG_HOME", m_previous->c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
}

void DosDevices::Link(int number, const std::string& target)
{
    const auto link = m_dir / ("lumora/dosdevices/com" + std::to_string(number));
    std::filesystem::remove(link);
    std::filesystem::create_symlink(target, link);
}

void DosDevices::LinkMissing(int number)
{
    Link(number, (m_dir / "no-such-device").string());
}
