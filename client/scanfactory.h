#pragma once

#include "client/scannertype.h"

#include <memory>

class VTBarcodeScanner;

// The driver the client starts for a kind of scanner, or none: the Pocket
// has no driver (starting it succeeds at once) and the keyboard scanners
// (Qoder, Keyfob) are not built here. The drivers of this build all read a
// serial port.
std::unique_ptr<VTBarcodeScanner> MakeScannerDriver(CScannerType type);
