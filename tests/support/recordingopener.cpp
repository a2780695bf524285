#include "tests/support/recordingopener.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace {

void WriteExecutable(const std::filesystem::path& file, const std::string& text)
{
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::trunc) << text;
    std::filesystem::permissions(file, std::filesystem::perms::owner_all);
}

} // namespace

RecordingOpener::RecordingOpener(const std::filesystem::path& folder, bool keepPath)
    : m_script(folder / "bin/xdg-open"), m_log(folder / "opened.log")
{
    // Builtins only, so the script also runs with nothing else on PATH.
    WriteExecutable(m_script, "#!/bin/sh\n"
                              "if [ $# -ne 1 ]; then echo \"argument count $#\" >> '" +
                                  m_log.string() +
                                  "'; fi\n"
                                  "printf '%s\\n' \"$1\" >> '" +
                                  m_log.string() + "'\n");
    std::string path = m_script.parent_path().string();
    if (const char* rest = std::getenv("PATH"); keepPath && rest && *rest)
        path += std::string(":") + rest;
    m_path = std::make_unique<ScopedEnv>("PATH", path.c_str());
}

RecordingOpener::~RecordingOpener() = default;

std::vector<std::string> RecordingOpener::Addresses() const
{
    std::vector<std::string> addresses;
    std::ifstream in(m_log);
    for (std::string line; std::getline(in, line);)
        addresses.push_back(line);
    return addresses;
}

std::vector<std::string> RecordingOpener::WaitForAddresses(std::size_t count,
                                                           std::chrono::milliseconds timeout) const
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::vector<std::string> addresses = Addresses();
    while (addresses.size() < count && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        addresses = Addresses();
    }
    return addresses;
}

void RecordingOpener::Break() const
{
    WriteExecutable(m_script, "#!/nonexistent/interpreter\n");
}
