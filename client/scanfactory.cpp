#include "client/scanfactory.h"

#include "vtkit/scanner/sccs1504.h"
#include "vtkit/scanner/scinfopen.h"
#include "vtkit/scanner/scpassive.h"
#include "vtkit/scanner/scpenny.h"
#include "vtkit/scanner/scqoder.h"

std::unique_ptr<VTBarcodeScanner> MakeScannerDriver(CScannerType type,
                                                    const std::filesystem::path& programFolder)
{
    switch (type) {
    case CScannerType::NetPen: // the NetPen speaks the CyberPen's protocol
    case CScannerType::CyberPen:
        return std::make_unique<VTBarcodeScannerInfoPen>();
    case CScannerType::Aim:
        return std::make_unique<VTBarcodeScannerAIM>();
    case CScannerType::OtherSerial:
        return std::make_unique<VTPassiveSerialBarcodeScanner>();
    case CScannerType::Cs2000:
        return std::make_unique<VTBarcodeScannerCS2000>();
    case CScannerType::WelchAllyn6180:
        return std::make_unique<VTBarcodeScannerWelchAllyn6180>();
    case CScannerType::Pennyscanner:
        return std::make_unique<VTPennyScanner>();
    case CScannerType::Qoder: // the Qoder and the Keyfob type their downloads alike
    case CScannerType::Keyfob:
        return std::make_unique<VTQoderScanner>((programFolder / VTKeyboardHook::kLibraryName).string());
    case CScannerType::Cs1504:
        return std::make_unique<VTBarcodeScannerCS1504>();
    default:
        return nullptr;
    }
}
