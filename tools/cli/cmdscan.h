#pragma once

#include <string>
#include <vector>

// lumora-cli scan: reads the scanner the client would configure on a serial
// port and prints each scan as it arrives, until --once, --timeout or Ctrl-C.
int CmdScan(const std::vector<std::string>& words);
