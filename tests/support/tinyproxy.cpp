#include "tests/support/tinyproxy.h"

#include "tests/support/loopbackserver.h"

#include <chrono>
#include <csignal>
#include <stdexcept>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

bool Accepts(uint16_t port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return connected;
}

} // namespace

std::string TinyProxy::Executable()
{
    for (const char* path : {"/usr/bin/tinyproxy", "/usr/sbin/tinyproxy", "/usr/local/bin/tinyproxy"})
        if (access(path, X_OK) == 0)
            return path;
    return {};
}

TinyProxy::TinyProxy(const std::string& user, const std::string& password)
{
    if (Executable().empty())
        throw std::runtime_error("tinyproxy is not installed");
    // The free port may be taken before tinyproxy binds it: try a few.
    for (int attempt = 0; attempt < 5; ++attempt)
        if (TryStart(user, password))
            return;
    throw std::runtime_error("tinyproxy did not start; its log:\n" + Log());
}

TinyProxy::~TinyProxy()
{
    StopProcess();
}

std::string TinyProxy::Address() const
{
    return "127.0.0.1:" + std::to_string(m_port);
}

std::string TinyProxy::Log() const
{
    return TempDir::ReadFile(m_dir / "tinyproxy.log") + TempDir::ReadFile(m_dir / "output.txt");
}

bool TinyProxy::TryStart(const std::string& user, const std::string& password)
{
    m_port = UnusedLoopbackPort();
    const std::string dir = m_dir.Path().string();
    const auto config = m_dir.WriteFile("tinyproxy.conf", "Port " + std::to_string(m_port) +
                                                              "\n"
                                                              "Listen 127.0.0.1\n"
                                                              "Timeout 30\n"
                                                              "MaxClients 20\n"
                                                              "Allow 127.0.0.1\n"
                                                              "BasicAuth " +
                                                              user + " " + password +
                                                              "\n"
                                                              "PidFile \"" +
                                                              dir +
                                                              "/tinyproxy.pid\"\n"
                                                              "LogFile \"" +
                                                              dir +
                                                              "/tinyproxy.log\"\n"
                                                              "LogLevel Info\n");
    const std::string program = Executable();
    const std::string output = dir + "/output.txt";
    m_pid = fork();
    if (m_pid < 0)
        throw std::runtime_error("fork failed");
    if (m_pid == 0) {
        const int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd >= 0) {
            dup2(fd, STDOUT_FILENO);
            dup2(fd, STDERR_FILENO);
        }
        execl(program.c_str(), program.c_str(), "-d", "-c", config.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (Accepts(m_port))
            return true;
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    StopProcess();
    return false;
}

void TinyProxy::StopProcess()
{
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGTERM);
    int status = 0;
    for (int wait = 0; wait < 250 && waitpid(m_pid, &status, WNOHANG) == 0; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (waitpid(m_pid, &status, WNOHANG) == 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, &status, 0);
    }
    m_pid = -1;
}
