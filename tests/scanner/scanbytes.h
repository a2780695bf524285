#pragma once

#include "vtkit/scanner/scandata.h"

#include <initializer_list>
#include <string>
#include <vector>

// Bytes written as numbers, as the device tables give them.
std::string Hex(std::initializer_list<int> bytes);
// One byte as a string, e.g. a record's header byte.
std::string Byte(int value);
// The scans of a set, in order.
std::vector<VTScanData> Contents(const VTScanDataSet& scans);
