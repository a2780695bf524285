#pragma once

#include <memory>

class VTBarcodeScanner;

// The client's scanner types, as the "Scanner" setting numbers them: 0 to 10.
inline constexpr int kScannerTypeCount = 11;

// The driver the client starts for a scanner type, or none: type 3 has no
// driver (starting it succeeds at once), the keyboard scanners 8 and 9 are
// not built here, and a number outside 0 to 10 names no scanner. The drivers
// of this build all read a serial port.
std::unique_ptr<VTBarcodeScanner> MakeScannerDriver(int scannerType);
