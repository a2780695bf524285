// Arbitrary bytes from a scanner as one burst: cut into lines and turned
// into scans by each passive driver.
#include "vtkit/scanner/scpassive.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static VTPassiveSerialBarcodeScanner generic;
    static VTBarcodeScannerWelchAllyn6180 welchAllyn;
    static VTBarcodeScannerAIM aim;

    const std::string_view burst(reinterpret_cast<const char*>(data), size);
    const auto lines = VTPassiveSerialBarcodeScanner::SplitBurst(burst);

    // The lines are the text before the first NUL without its line ends.
    std::string expected;
    for (char c : burst.substr(0, burst.find('\0')))
        if (c != '\r' && c != '\n')
            expected += c;
    std::string joined;
    for (const auto& line : lines) {
        if (line.empty() || line.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
            __builtin_trap();
        joined += line;
    }
    if (joined != expected)
        __builtin_trap();

    for (const auto& line : lines) {
        const VTScanData plain = generic.MakeScanData(line);
        const VTScanData wand = welchAllyn.MakeScanData(line);
        const VTScanData prefixed = aim.MakeScanData(line);
        if (plain.type != kScanTypeUnknown || plain.text != line)
            __builtin_trap();
        if (wand.text != line.substr(1) || wand.type < 0 || wand.type > kScanTypeEAN8)
            __builtin_trap();
        if (prefixed.text != line && prefixed.text != line.substr(3))
            __builtin_trap();
        if (prefixed.type != kScanTypeUnknown && prefixed.text == line)
            __builtin_trap();
    }
    return 0;
}
