#pragma once

#include "tests/support/tempdir.h"

#include <filesystem>
#include <optional>
#include <string>

// A temporary $XDG_CONFIG_HOME whose lumora/dosdevices folder maps "COMn"
// names to devices, as a user's configuration would. The previous value of
// XDG_CONFIG_HOME comes back when the object goes away.
class DosDevices {
public:
    DosDevices();
    ~DosDevices();
    DosDevices(const DosDevices&) = delete;
    DosDevices& operator=(const DosDevices&) = delete;

    // "comN" -> target.
    void Link(int number, const std::string& target);
    // "comN" -> a path that does not exist: the port is missing.
    void LinkMissing(int number);
    const std::filesystem::path& ConfigHome() const { return m_dir.Path(); }

private:
    TempDir m_dir;
    std::optional<std::string> m_previous;
};
