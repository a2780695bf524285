#include "tools/cli/scanevents.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <stdexcept>
#include <unistd.h>

namespace {

// The write end of the pipe that wakes the main loop; also written by the
// signal handler, so nothing but write() happens there.
int g_wakeFd = -1;
volatile sig_atomic_t g_interrupted = 0;

extern "C" void OnInterrupt(int)
{
    const int savedErrno = errno;
    g_interrupted = 1;
    [[maybe_unused]] const ssize_t ignored = write(g_wakeFd, "!", 1);
    errno = savedErrno;
}

void Wake(int fd)
{
    [[maybe_unused]] const ssize_t ignored = write(fd, "!", 1);
}

} // namespace

void ScanEvents::Push(Event event)
{
    {
        std::lock_guard lock(m_lock);
        m_events.push_back(std::move(event));
    }
    Wake(m_wakeFd);
}

Interruption::Interruption()
{
    if (pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::runtime_error("cannot create a pipe");
    g_wakeFd = m_pipe[1];
    g_interrupted = 0;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &m_previousInt);
    sigaction(SIGTERM, &action, &m_previousTerm);
}

Interruption::~Interruption()
{
    sigaction(SIGINT, &m_previousInt, nullptr);
    sigaction(SIGTERM, &m_previousTerm, nullptr);
    g_wakeFd = -1;
    close(m_pipe[0]);
    close(m_pipe[1]);
}

void Interruption::Wait(int timeoutMs)
{
    pollfd entry{m_pipe[0], POLLIN, 0};
    poll(&entry, 1, timeoutMs);
    char bytes[64];
    while (read(m_pipe[0], bytes, sizeof bytes) > 0) {
    }
}

bool Interruption::Interrupted() const
{
    return g_interrupted != 0;
}

// Starts the worker with Ctrl-C blocked, so the handler runs on this thread.
int StartWorker(VTBarcodeScanner& scanner, bool detect)
{
    sigset_t blocked, previous;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGINT);
    sigaddset(&blocked, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &blocked, &previous);
    int result;
    try {
        result = detect ? scanner.Detect() : scanner.Start();
    } catch (...) {
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        throw;
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return result;
}
