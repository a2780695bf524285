#pragma once

#include "tst/tsobject.h"
#include "vtkit/scanner/scantype.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One scan: the code as the device sent it, without symbology identifier,
// time stamp or line end.
struct VTScanData {
    ScanType type = kScanTypeUnknown;
    std::string text;

    bool operator==(const VTScanData&) const = default;
};

// The body of a scan list. It keeps the base Clone(), so every handle of a
// set shares it even across changes.
class VTScanDataSetImpl : public TSObjectImpl {
public:
    static constexpr std::size_t kInitialCapacity = 64;

    VTScanDataSetImpl();
    ~VTScanDataSetImpl() override;

    std::vector<VTScanData> m_scans;
};

// A list of scans in arrival order, handed to the listener in one call.
class VTScanDataSet : public TSObjectRef {
public:
    VTScanDataSet();
    ~VTScanDataSet() override;
    VTScanDataSet(const VTScanDataSet&) = default;
    VTScanDataSet& operator=(const VTScanDataSet&) = default;

    std::size_t GetCount() const { return Scans().size(); }
    // 0-based; an index past the end is a programming error.
    const VTScanData& GetAt(std::size_t index) const;
    void Add(const VTScanData& scan) { Scans().push_back(scan); }
    void Add(ScanType type, const std::string& text) { Scans().push_back({type, text}); }
    // Empties the list; a list that grew beyond 64 entries goes back to 64.
    void Clear();
    std::size_t GetCapacity() const { return Scans().capacity(); }

private:
    std::vector<VTScanData>& Scans() const;
};

class VTBarcodeScanner;

// Receives the events of one scanner, on the scanner's worker thread. The
// default bodies do nothing. A listener must not block and must not wait for
// its scanner to stop from inside a callback.
class VTScannerListener {
public:
    VTScannerListener() = default;
    VTScannerListener(const VTScannerListener&) = delete;
    VTScannerListener& operator=(const VTScannerListener&) = delete;
    // Detaches itself from its scanner.
    virtual ~VTScannerListener();

    // Never called with an empty set by the serial drivers.
    virtual void OnScanData(VTScanDataSet scans);
    // 1 = a device answered, 0 = none did.
    virtual void OnDetectResult(int found);
    virtual void OnScannerStopped();
    // 2 = timed out, 3 = transmission error, other = general failure.
    virtual void OnDownloadError(int code);
    virtual void OnScannerError(const char* message);

    VTBarcodeScanner* GetScanner() const { return m_scanner.load(); }
    // Detaches from the scanner, waiting for a callback in progress. A
    // listener with state of its own calls this first in its destructor:
    // the base destructor runs only after that state is gone.
    void DetachFromScanner();

private:
    friend class VTBarcodeScanner;
    std::atomic<VTBarcodeScanner*> m_scanner{nullptr};
};
