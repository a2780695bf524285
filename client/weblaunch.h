#pragma once

#include "platform/browser.h"

#include <chrono>
#include <functional>
#include <string>

class VTServerData;
class VTToolkit;

// An address built from a template of the core server records, or why
// there is none: the record lacks the command (the caller shows 50077 with
// "Server.dat"), or the template does not substitute (the caller shows the
// exception's message).
struct CLaunchAddress {
    enum class Problem { kNone, kMissingCommand, kSubstitution };
    std::string address;
    Problem problem = Problem::kNone;
    std::string detail;

    bool Ok() const { return problem == Problem::kNone; }
};

// Opens addresses in the user's browser through the shell, and builds the
// addresses of the server's own pages (log-on, registration, lost password,
// help) from the core records with the client's variables. When an address
// opens is the document's business (pending and armed addresses).
class CWebLauncher {
public:
    using Opener = std::function<bool(const std::string& address)>;
    static constexpr std::chrono::milliseconds kRetryDelay{100};

    // The opener defaults to the shell (xdg-open).
    explicit CWebLauncher(const VTToolkit& toolkit, Opener opener = {});

    // Opens the address; when the shell fails, once more after kRetryDelay.
    bool Open(const std::string& address) const;
    // "LOGIN", "REGISTER" or "LOSTPWD" of the REGISTRATION record.
    CLaunchAddress ServerPage(const std::string& key) const;
    // The HELP record's "GET" with IID = number.
    CLaunchAddress HelpAddress(int number) const;

    // The message that judges the default browser: 32806 (none), 32807
    // (too old), 28680 or 28679 (not tested, with or without a direct
    // interface to it), or 0 for a supported browser.
    static int BrowserVerdict(const platform::BrowserInfo& browser);

private:
    CLaunchAddress Build(const VTServerData& record, const std::string& command,
                         const std::string& itemId) const;

    const VTToolkit& m_toolkit;
    Opener m_opener;
};
