#pragma once

#include "tests/support/scopedenv.h"
#include "tests/support/tempdir.h"

#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

// The program's path on PATH, or "" when there is none.
std::string FindOnPath(const std::string& program);

// An X server of a test's own: Xvfb on a display it picks itself, which
// only clients with a throw-away cookie may use. DISPLAY and XAUTHORITY
// point at it, and WAYLAND_DISPLAY is cleared, while it lives.
class XvfbServer {
public:
    // False when Xvfb is not installed; tests then skip with SkipReason().
    static bool Available();
    static const char* SkipReason();

    // Throws std::runtime_error when the server does not come up.
    XvfbServer();
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    // ":N".
    const std::string& Display() const { return m_display; }
    // Ends the server at once, as a crashed one would.
    void Kill();

private:
    void WriteCookie() const;

    TempDir m_dir;
    pid_t m_pid = -1;
    std::string m_display;
    std::vector<std::unique_ptr<ScopedEnv>> m_environment;
};

// Runs xdotool with the arguments and waits for it; false when it failed.
bool XdoTool(const std::vector<std::string>& args);

// ASAN_OPTIONS for a Qt program under the X server: the X client library's
// keyboard part (libxkbcommon-x11) copies atom names with strndup from
// buffers that hold no terminator, which the address sanitizer's strict
// string checks take for an overflow, so that one check is off.
std::string XClientSanitizerOptions();
