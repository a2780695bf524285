#pragma once

// The client's document core as the desktop client runs it, in a
// throw-away home: a program folder with the shipped page templates, hives
// of its own, the recording port standing for the windows and a recording
// xdg-open first on PATH.
#include "client/appcontext.h"
#include "client/clidoc.h"
#include "client/viewcore.h"
#include "tests/support/recordingopener.h"
#include "tests/support/recordingport.h"
#include "tests/support/serverprocess.h"
#include "tests/support/temphome.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

// The blinded id of the sample data's demo account.
inline constexpr const char* kDemoUser = "116306380970205";

// A barcode data block as another program hands it over: each code with
// the type letter "X" (any symbology).
std::string DataBlock(const std::vector<std::string>& codes);

class CoreTest : public ::testing::Test {
protected:
    using Event = RecordingPort::Event;
    using Kind = RecordingPort::Event::Kind;

    CoreTest();
    ~CoreTest() override;

    std::filesystem::path ProgramFolder() const { return m_home.Dir() / "opt/lumora"; }
    std::filesystem::path UserFolder() const { return m_home.DataHome() / "lumora"; }
    std::filesystem::path StoredCodesFile() const
    {
        return UserFolder() / (std::string(kDemoUser) + "Codes.dat");
    }

    // The current user's hive: the identity and the settings of a client
    // that was set up before (no wizard), plus `extra` lines for "Config".
    void WriteHive(const std::string& extraConfig = {}, bool withIdentity = true) const;
    // The settings of a Welch Allyn wand on COM1, which is `device`.
    void UseWand(const std::string& device) const;
    // A Server.dat in the program folder whose routing record points at `base`.
    void WriteCoreCache(const std::string& base) const;

    // The context, the document and the view; Create and, unless told not
    // to, the rest of start-up.
    void Start(bool startUp = true);
    CStartUpResult StartUpResult() const { return m_startUp; }
    void Stop();

    CAppContext& Context() { return *m_context; }
    CClientDoc& Doc() { return *m_doc; }
    CViewCore& View() { return *m_view; }
    CClientSettings& Settings() { return m_context->Config().Settings(); }

    // Message boxes of one kind, in order.
    std::vector<std::string> Boxes(CMessageBoxRequest::Kind kind) const;
    // The kinds of events in order, from the first of `from` on.
    std::vector<Event> EventsOf(std::initializer_list<Kind> kinds) const;
    // Pumps until the document is idle and no batch runs.
    bool PumpUntilIdle(std::chrono::milliseconds timeout = std::chrono::seconds(20));

    RecordingPort m_port;
    TempHome m_home;
    RecordingOpener m_opener{m_home.Dir() / "opener"};
    std::unique_ptr<CAppContext> m_context;
    std::unique_ptr<CClientDoc> m_doc;
    std::unique_ptr<CViewCore> m_view;
    CStartUpResult m_startUp;
};

// The same with the reference server and its sample data behind Server.dat.
class RefServerCoreTest : public CoreTest {
protected:
    void SetUp() override;
    // The server on another data folder (a copy of the samples, changed).
    void StartServer(const std::filesystem::path& data);
    static std::filesystem::path SampleData();
    // How many requests the server has logged.
    std::size_t RequestCount() const;

    std::unique_ptr<ServerProcess> m_server;
    std::string m_base;
};
