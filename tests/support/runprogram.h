#pragma once

#include <string>
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
