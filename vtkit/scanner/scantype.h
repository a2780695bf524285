#pragma once

#include <cstdint>

// The symbology a device reported for a scan, so that code analysis tries
// only the code families that fit. The scanner drivers make it and the code
// model reads it; other programs hand it over as a number, and a value
// outside 0 to 8 fits no family.
enum ScanType : std::int32_t {
    kScanTypeUnknown = 0, // every code family is tried
    kScanTypeCode128 = 1, // the family that carries Vantrel codes
    kScanTypeUPC = 2,
    kScanTypeEAN = 3,
    kScanTypeUPCOrEAN = 4,
    kScanTypeUPCA = 5,
    kScanTypeUPCE = 6,
    kScanTypeEAN13 = 7,
    kScanTypeEAN8 = 8,
};
