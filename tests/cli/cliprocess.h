#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <sys/types.h>
#include <vector>

// Where a CliProcess's standard streams go.
struct CliStreams {
    // Standard error on a terminal of the test's: the program then talks to a person.
    bool errorsOnTerminal = false;
    // Standard input read from this file; "" for the test's own.
    std::string inputFile;
    // Above 0: standard input, output and error all on one terminal this
    // many columns wide; Stdout() then holds everything it showed.
    unsigned short terminalColumns = 0;
};

// lumora-cli running as a child process, its output on pipes or a terminal
// of the test's. Killed when the object goes away.
class CliProcess {
public:
    using Ms = std::chrono::milliseconds;
    using Clock = std::chrono::steady_clock;

    explicit CliProcess(std::vector<std::string> args, bool errorsOnTerminal = false);
    CliProcess(std::vector<std::string> args, const CliStreams& streams);
    ~CliProcess();
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    // Reads standard output until it holds `lines` lines or the time runs out.
    bool WaitForLines(std::size_t lines, Ms timeout = Ms(10000));
    // Reads standard output until it holds `text` or the time runs out.
    bool WaitForOutput(const std::string& text, Ms timeout = Ms(10000));
    // Reads standard error until it holds `text` or the time runs out.
    bool WaitForError(const std::string& text, Ms timeout = Ms(10000));

    // Types on the terminal of a process started with terminalColumns.
    void Type(const std::string& keys);
    void Interrupt();
    void Kill();
    // The exit status, once the process has ended within the time; -1 if
    // it had to be killed.
    int Wait(Ms timeout = Ms(10000));

    const std::string& Stdout() const { return m_stdout; }
    const std::string& Stderr() const { return m_stderr; }

private:
    static bool WaitForText(int fd, std::string& into, const std::string& text, Ms timeout);
    // False at end of file or when the time ran out.
    static bool ReadSome(int fd, std::string& into, Clock::time_point deadline);

    pid_t m_pid = -1;
    int m_out = -1;
    int m_err = -1;
    bool m_terminal = false;
    std::string m_stdout;
    std::string m_stderr;
};
