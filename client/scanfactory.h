#pragma once

#include "client/scannertype.h"

#include <filesystem>
#include <memory>

class VTBarcodeScanner;

// The driver the client starts for a kind of scanner, or none: the Pocket
// has no driver (starting it succeeds at once). The keyboard scanners load
// their hook library from the program folder.
std::unique_ptr<VTBarcodeScanner> MakeScannerDriver(CScannerType type,
                                                    const std::filesystem::path& programFolder);
