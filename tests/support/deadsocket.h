#pragma once

#include <filesystem>

// Leaves at `path` what a process that died while listening leaves behind:
// a socket file nobody listens on. Its folder is made private first.
void LeaveDeadSocket(const std::filesystem::path& path);
