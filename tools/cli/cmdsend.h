#pragma once

#include <string>
#include <vector>

// lumora-cli send: hands codes to the running desktop client as another
// program would, a barcode data block through the single-instance channel.
int CmdSend(const std::vector<std::string>& words);
