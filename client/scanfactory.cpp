#include "client/scanfactory.h"

#include "vtkit/scanner/sccs1504.h"
#include "vtkit/scanner/scinfopen.h"
#include "vtkit/scanner/scpassive.h"
#include "vtkit/scanner/scpenny.h"

std::unique_ptr<VTBarcodeScanner> MakeScannerDriver(int scannerType)
{
    switch (scannerType) {
    case 0: // the NetPen speaks the CyberPen's protocol
    case 5:
        return std::make_unique<VTBarcodeScannerInfoPen>();
    case 1:
        return std::make_unique<VTBarcodeScannerAIM>();
    case 2:
        return std::make_unique<VTPassiveSerialBarcodeScanner>();
    case 4:
        return std::make_unique<VTBarcodeScannerCS2000>();
    case 6:
        return std::make_unique<VTBarcodeScannerWelchAllyn6180>();
    case 7:
        return std::make_unique<VTPennyScanner>();
    case 10:
        return std::make_unique<VTBarcodeScannerCS1504>();
    default:
        return nullptr;
    }
}
