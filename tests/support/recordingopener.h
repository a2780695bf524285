#pragma once

#include "tests/support/scopedenv.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

// A stand-in `xdg-open` first on PATH, as a user's desktop would have the
// real one: a shell script that appends its argument to a log (and says so
// when it was not given exactly one). PATH is put back afterwards.
class RecordingOpener {
public:
    // The script and its log go into `folder`; `keepPath` keeps the rest of
    // PATH behind it (else only the script's folder is on PATH).
    explicit RecordingOpener(const std::filesystem::path& folder, bool keepPath = true);
    ~RecordingOpener();
    RecordingOpener(const RecordingOpener&) = delete;
    RecordingOpener& operator=(const RecordingOpener&) = delete;

    const std::filesystem::path& Script() const { return m_script; }
    // The addresses opened so far, in order.
    std::vector<std::string> Addresses() const;
    // Waits until at least `count` addresses were opened; what was opened then.
    std::vector<std::string>
    WaitForAddresses(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    // Makes the script one that cannot be started (a missing interpreter).
    void Break() const;

private:
    std::filesystem::path m_script;
    std::filesystem::path m_log;
    std::unique_ptr<ScopedEnv> m_path;
};
