#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// What a finished child program left behind.
struct ProgramResult {
    int exitStatus = -1; // -1 when it did not exit normally
    std::string out;
    std::string err;
};

// Runs a program with the arguments (no shell involved) and waits for it,
// collecting its standard output and error.
ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args);

// Starts a program with the arguments (no shell involved), standard input
// from /dev/null, standard output and error written to the files given
// ("/dev/null" to drop them). Throws std::runtime_error when it cannot start.
pid_t SpawnProgram(const std::string& program, const std::vector<std::string>& args,
                   const std::string& outPath, const std::string& errPath);
