#pragma once

// lumora-cli as a user runs it: the built program against the real
// reference server with its sample data, in a throw-away home.
#include "tests/support/runprogram.h"
#include "tests/support/serverprocess.h"
#include "tests/support/temphome.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

// The blinded id of the sample data's demo account (login demo, password demo).
inline const std::string kDemoUser = "116306380970205";

// The value of one key of a JSON line written by the CLI: a string with its
// escapes undone as far as the samples need, or a number as its digits.
inline std::string Field(const std::string& line, const std::string& key)
{
    const std::string marker = "\"" + key + "\":";
    const auto at = line.find(marker);
    if (at == std::string::npos)
        return "(missing)";
    std::size_t pos = at + marker.size();
    if (line[pos] != '"') {
        const auto end = line.find_first_of(",}", pos);
        return line.substr(pos, end - pos);
    }
    std::string value;
    for (++pos; pos < line.size() && line[pos] != '"'; ++pos) {
        if (line[pos] == '\\')
            ++pos;
        value += line[pos];
    }
    return value;
}

inline std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Starts the reference server on a loopback port of its own with the
// sample data, with a Server.dat that points at it.
class RefServerCliTest : public ::testing::Test {
protected:
    void SetUp() override { StartServer(SampleData()); }

    static std::filesystem::path SampleData()
    {
        return std::filesystem::path(LUMORA_SOURCE_DIR) / "data/refserver";
    }

    // The reference server on `data`, in place of the one before; Server.dat points at it.
    void StartServer(const std::filesystem::path& data)
    {
        m_server.reset();
        const auto portFile = m_home.Dir() / "port";
        std::filesystem::remove(portFile);
        m_server = std::make_unique<ServerProcess>(
            LUMORA_REFSERVER_PATH,
            std::vector<std::string>{"--listen", "127.0.0.1:0", "--port-file", portFile.string(), "--data",
                                     data.string(), "--core-cache", m_serverDat.string()});
        m_port = m_server->WaitForPortFile(portFile);
        ASSERT_NE(m_port, 0) << m_server->ErrorOutput();
        m_base = "http://127.0.0.1:" + std::to_string(m_port) + "/";
    }

    TempHome m_home;
    std::filesystem::path m_serverDat = m_home.Dir() / "Server.dat";
    std::unique_ptr<ServerProcess> m_server;
    std::uint16_t m_port = 0;
    std::string m_base;
};
