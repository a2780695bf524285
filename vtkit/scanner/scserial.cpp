#include "vtkit/scanner/scserial.h"

#include "vtkit/scanner/scexcep.h"
#include "vtkit/scanner/srexcep.h"

VTSerialBarcodeScanner::VTSerialBarcodeScanner(VTSerialSystem& system) : m_port(system) {}

VTSerialBarcodeScanner::~VTSerialBarcodeScanner()
{
    // The worker uses the port: it must be gone before the port is.
    Stop(true);
}

void VTSerialBarcodeScanner::SetPortConfig(const VTSerialPortConfig& config)
{
    GetState(); // reaps a worker that ended by itself
    std::lock_guard lock(Monitor());
    if (PeekState() != kIdle)
        throw VTBarcodeScannerException(VTBarcodeScannerException::kStateError);
    m_config = config;
}

VTSerialPortConfig VTSerialBarcodeScanner::GetPortConfig() const
{
    std::lock_guard lock(Monitor());
    return m_config;
}

std::string VTSerialBarcodeScanner::GetLastOpenError() const
{
    std::lock_guard lock(Monitor());
    return m_lastOpenError;
}

int VTSerialBarcodeScanner::OpenForDetect()
{
    return OpenPort();
}

int VTSerialBarcodeScanner::OpenForScan()
{
    return OpenPort();
}

void VTSerialBarcodeScanner::CloseAfterDetect()
{
    m_port.Close();
}

void VTSerialBarcodeScanner::CloseAfterScan()
{
    m_port.Close();
}

void VTSerialBarcodeScanner::AdjustPortConfig(VTSerialPortConfig&) {}

// A port that fails for another reason than missing or busy gets one more try.
int VTSerialBarcodeScanner::OpenPort()
{
    const int result = TryOpenPort();
    return result == kPortFailed ? TryOpenPort() : result;
}

int VTSerialBarcodeScanner::TryOpenPort()
{
    VTSerialPortConfig config = GetPortConfig();
    AdjustPortConfig(config);
    int result = kPortFailed;
    std::string message;
    try {
        m_port.Open(config);
        result = kPortOpened;
    } catch (const VTSerialPortInUseException& error) {
        result = kPortInUse;
        message = error.GetMessage();
    } catch (const VTSerialPortInvalidException& error) {
        result = kPortMissing;
        message = error.GetMessage();
    } catch (const VTSerialPortException& error) {
        message = error.GetMessage();
    }
    std::lock_guard lock(Monitor());
    m_lastOpenError = message;
    return result;
}
