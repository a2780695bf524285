#include "vtkit/scanner/scandata.h"

#include "tst/tsexcep.h"
#include "vtkit/scanner/scbase.h"

VTScanDataSetImpl::VTScanDataSetImpl()
{
    m_scans.reserve(kInitialCapacity);
}

VTScanDataSetImpl::~VTScanDataSetImpl() = default;

VTScanDataSet::VTScanDataSet() : TSObjectRef(new VTScanDataSetImpl) {}

VTScanDataSet::~VTScanDataSet() = default;

std::vector<VTScanData>& VTScanDataSet::Scans() const
{
    auto* body = BodyAs<VTScanDataSetImpl>();
    TS_CHECK_NULL(body);
    return body->m_scans;
}

const VTScanData& VTScanDataSet::GetAt(std::size_t index) const
{
    TS_ASSERT(index < GetCount());
    return Scans()[index];
}

void VTScanDataSet::Clear()
{
    auto& scans = Scans();
    scans.clear();
    if (scans.capacity() > VTScanDataSetImpl::kInitialCapacity) {
        std::vector<VTScanData> fresh;
        fresh.reserve(VTScanDataSetImpl::kInitialCapacity);
        scans.swap(fresh);
    }
}

VTScannerListener::~VTScannerListener()
{
    DetachFromScanner();
}

void VTScannerListener::DetachFromScanner()
{
    if (VTBarcodeScanner* scanner = m_scanner.load())
        scanner->Detach(this);
}

void VTScannerListener::OnScanData(VTScanDataSet) {}
void VTScannerListener::OnDetectResult(int) {}
void VTScannerListener::OnScannerStopped() {}
void VTScannerListener::OnDownloadError(int) {}
void VTScannerListener::OnScannerError(const char*) {}
