#pragma once

#include "vtkit/scanner/scbase.h"
#include "vtkit/scanner/srport.h"

#include <string>

// Base of the drivers on a serial port: the port is opened by the open step
// of Start and Detect and closed when the worker ends.
class VTSerialBarcodeScanner : public VTBarcodeScanner {
public:
    // Results of the open step.
    static constexpr int kPortOpened = 0;
    static constexpr int kPortMissing = 2;
    static constexpr int kPortInUse = 3;
    static constexpr int kPortFailed = 4;

    explicit VTSerialBarcodeScanner(VTSerialSystem& system = VTSerialSystem::Real());
    ~VTSerialBarcodeScanner() override;

    // Only while idle; otherwise VTBarcodeScannerException "State Error".
    void SetPortConfig(const VTSerialPortConfig& config);
    VTSerialPortConfig GetPortConfig() const;
    // The message of the exception behind the last failed open step, for
    // callers that show more than the result code.
    std::string GetLastOpenError() const;

protected:
    int OpenForDetect() override;
    int OpenForScan() override;
    void CloseAfterDetect() override;
    void CloseAfterScan() override;
    // Forces the settings a device needs over the configured ones.
    virtual void AdjustPortConfig(VTSerialPortConfig& config);

    VTSerialPort& GetPort() { return m_port; }

private:
    int OpenPort();
    int TryOpenPort();

    VTSerialPort m_port;
    VTSerialPortConfig m_config;
    std::string m_lastOpenError;
};
