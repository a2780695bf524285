#include "tests/core/coretest.h"

#include "platform/registry.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

std::string DataBlock(const std::vector<std::string>& codes)
{
    std::string block;
    for (const std::string& code : codes)
        block += static_cast<char>(code.size() + 1) + std::string("X") + code;
    return block + '\0';
}

CoreTest::CoreTest()
{
    fs::create_directories(ProgramFolder());
    for (const char* page : {"wvmenusrc.htm", "wvframesrc.htm"})
        fs::copy_file(fs::path(LUMORA_SOURCE_DIR) / "data" / page, ProgramFolder() / page);
    fs::copy_file(fs::path(LUMORA_SOURCE_DIR) / "data/Server.dat", ProgramFolder() / "Server.dat");
    WriteHive();
}

CoreTest::~CoreTest()
{
    Stop();
}

void CoreTest::WriteHive(const std::string& extraConfig, bool withIdentity) const
{
    const std::string user = "[HKEY_CURRENT_USER\\Software\\Tessaly Technologies\\Lumora]\r\n";
    std::string hive = "REGEDIT4\r\n\r\n" + user;
    if (withIdentity)
        hive += "\"UID\"=\"" + std::string(kDemoUser) + "\"\r\n";
    hive += "\r\n[HKEY_CURRENT_USER\\Software\\Tessaly Technologies\\Lumora\\Config]\r\n"
            "\"Installing\"=dword:00000000\r\n\"Auto Run\"=dword:00000000\r\n" +
            extraConfig;
    m_home.Dir().WriteFile("home/.config/lumora/user.reg", hive);
}

void CoreTest::UseWand(const std::string& device) const
{
    fs::create_directories(m_home.ConfigHome() / "lumora/dosdevices");
    fs::create_symlink(device, m_home.ConfigHome() / "lumora/dosdevices/com1");
    WriteHive("\"UseScanner\"=dword:00000001\r\n\"Scanner\"=dword:00000006\r\n"
              "\r\n[HKEY_CURRENT_USER\\Software\\Tessaly Technologies\\Lumora\\Config\\ScannerConfig]\r\n"
              "\"Port\"=dword:00000000\r\n");
}

void CoreTest::WriteCoreCache(const std::string& base) const
{
    m_home.Dir().WriteFile("opt/lumora/Server.dat",
                           "<?xml version='1.0' standalone='yes'?>\n<CORE_SERVER_LIST>"
                           "<SERVER TYPE='ROUTING'><TEMPLATE CMD='SPLIT'>" +
                               base +
                               "route</TEMPLATE></SERVER>"
                               "<SERVER TYPE='HELP'><TEMPLATE CMD='GET'>" +
                               base + "help?IID=&lt;^IID^&gt;</TEMPLATE></SERVER></CORE_SERVER_LIST>\n");
}

void CoreTest::Start(bool startUp)
{
    CAppOptions options;
    options.programPath = ProgramFolder() / "lumora";
    options.registry = std::make_unique<platform::Registry>(m_home.ConfigHome() / "lumora/user.reg",
                                                            m_home.Dir() / "system.reg");
    options.soundOutput = platform::SoundPlayer::Command{};
    options.clientVersion = "9.8.7";
    m_context = std::make_unique<CAppContext>(std::move(options));
    m_context->SelectLanguage();
    m_doc = std::make_unique<CClientDoc>(*m_context, m_port);
    m_view = std::make_unique<CViewCore>(*m_doc);
    m_port.SetView(m_view.get());
    ASSERT_TRUE(m_doc->Create());
    if (startUp)
        m_startUp = m_doc->StartUp();
}

void CoreTest::Stop()
{
    if (m_doc && m_doc->BatchRunning())
        m_doc->EndSession();
    m_port.Pump();
    m_port.SetView(nullptr);
    m_view.reset();
    m_doc.reset();
    m_context.reset();
}

std::vector<std::string> CoreTest::Boxes(CMessageBoxRequest::Kind kind) const
{
    std::vector<std::string> texts;
    for (const Event& event : m_port.Events(Kind::kMessageBox))
        if (event.boxKind == kind)
            texts.push_back(event.text);
    return texts;
}

std::vector<CoreTest::Event> CoreTest::EventsOf(std::initializer_list<Kind> kinds) const
{
    std::vector<Event> events;
    for (const Event& event : m_port.Events())
        if (std::find(kinds.begin(), kinds.end(), event.kind) != kinds.end())
            events.push_back(event);
    return events;
}

bool CoreTest::PumpUntilIdle(std::chrono::milliseconds timeout)
{
    return m_port.PumpUntil(
        [&] { return m_doc->State() == CDocState::Idle && !m_doc->BatchRunning() && m_port.Queued() == 0; },
        timeout);
}

void RefServerCoreTest::SetUp()
{
    StartServer(SampleData());
}

fs::path RefServerCoreTest::SampleData()
{
    return fs::path(LUMORA_SOURCE_DIR) / "data/refserver";
}

void RefServerCoreTest::StartServer(const fs::path& data)
{
    m_server.reset();
    const fs::path portFile = m_home.Dir() / "refserver.port";
    fs::remove(portFile);
    fs::remove(ProgramFolder() / "Server.dat");
    m_server = std::make_unique<ServerProcess>(
        LUMORA_REFSERVER_PATH,
        std::vector<std::string>{"--listen", "127.0.0.1:0", "--port-file", portFile.string(), "--data",
                                 data.string(), "--core-cache", (ProgramFolder() / "Server.dat").string()});
    const std::uint16_t port = m_server->WaitForPortFile(portFile);
    ASSERT_NE(port, 0) << m_server->ErrorOutput();
    m_base = "http://127.0.0.1:" + std::to_string(port) + "/";
    for (int i = 0; i < 500 && !fs::exists(ProgramFolder() / "Server.dat"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

std::size_t RefServerCoreTest::RequestCount() const
{
    std::istringstream log(m_server->ErrorOutput());
    std::size_t count = 0;
    for (std::string line; std::getline(log, line);)
        count += line.find("GET ") != std::string::npos || line.find("POST ") != std::string::npos;
    return count;
}
