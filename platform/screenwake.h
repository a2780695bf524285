#pragma once

#include <mutex>
#include <string>
#include <sys/types.h>
#include <vector>

namespace platform {

// Wakes the screen when codes arrive: runs "xdg-screensaver reset" found on
// PATH in the background, which ends a running screen saver and restarts the
// idle timer. One run at a time: a wake while the last is still going is
// not repeated. Without the program nothing happens.
class ScreenWaker {
public:
    using Command = std::vector<std::string>;

    explicit ScreenWaker(Command command = {"xdg-screensaver", "reset"});
    // Gives the last run a moment to end, then ends it.
    ~ScreenWaker();
    ScreenWaker(const ScreenWaker&) = delete;
    ScreenWaker& operator=(const ScreenWaker&) = delete;

    // Any thread; never waits for the program.
    void Wake();

private:
    // True when no earlier run is still going (it is reaped then).
    bool LastRunEnded();

    const Command m_command;
    std::mutex m_lock;
    pid_t m_child = 0;
};

} // namespace platform
