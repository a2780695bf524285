// Arbitrary bytes as a memory scanner's answer. The first byte picks the
// CS1504's time stamp, UPC-A and UPC-E settings; the rest is decoded as a
// get-parameters answer and as an upload answer of the CS1504, and as an
// upload answer of the CyberPen. Decoding never reads outside the answer,
// and every code keeps the rules of its settings.
#include "vtkit/scanner/sccs1504.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

void CheckCodes(const VTScanDataSet& scans, std::string_view answer,
                const VTBarcodeScannerCS1504::Parameters& parameters)
{
    std::size_t characters = 0;
    for (std::size_t i = 0; i < scans.GetCount(); ++i) {
        const VTScanData& scan = scans.GetAt(i);
        if (scan.text.empty() || scan.type < kScanTypeUnknown || scan.type > kScanTypeEAN8 ||
            answer.find(scan.text) == std::string_view::npos)
            __builtin_trap();
        if ((scan.type == kScanTypeUPCA && !parameters[VTBarcodeScannerCS1504::kUPCA]) ||
            (scan.type == kScanTypeUPCE && !parameters[VTBarcodeScannerCS1504::kUPCE]))
            __builtin_trap();
        characters += scan.text.size();
    }
    if (characters > answer.size())
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::string_view answer(reinterpret_cast<const char*>(data + 1), size - 1);

    VTBarcodeScannerCS1504::Parameters read;
    VTBarcodeScannerCS1504::ParseParameters(answer, read);

    VTBarcodeScannerCS1504::Parameters parameters{};
    parameters[VTBarcodeScannerCS1504::kTimeStamps] = data[0] & 1;
    parameters[VTBarcodeScannerCS1504::kUPCA] = data[0] & 2;
    parameters[VTBarcodeScannerCS1504::kUPCE] = data[0] & 4;
    VTScanDataSet scans;
    VTBarcodeScannerCS1504::DecodeUpload(answer, parameters, scans);
    CheckCodes(scans, answer, parameters);

    VTScanDataSet penScans;
    VTInfoPenBase::DecodeUpload(answer, penScans);
    CheckCodes(penScans, answer, VTBarcodeScannerCS1504::Parameters{{0}});
    return 0;
}
