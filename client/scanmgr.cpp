#include "client/scanmgr.h"

#include "client/appcontext.h"
#include "client/uiport.h"
#include "client/uitextids.h"
#include "platform/screenwake.h"
#include "tst/tsexcep.h"
#include "vtkit/bcdblock.h"
#include "vtkit/scanner/scinfopen.h"
#include "vtkit/scanner/scqoder.h"
#include "vtkit/scanner/scserial.h"
#include "vtkit/scanner/srexcep.h"
#include "vtkit/scanner/srport.h"

namespace {

// The Pennyscanner and the keyboard scanners give no sound of their own
// when they hand over their codes.
bool BeepsOnDelivery(CScannerType type)
{
    return type == CScannerType::Pennyscanner || type == CScannerType::Qoder || type == CScannerType::Keyfob;
}

// Port indices outside 0 to 8 open COM1 for these kinds (the settings page
// of the serial scanners never stores one).
std::int32_t PortOrFirst(std::int32_t index)
{
    return index >= 0 && index < CScannerMgr::kPortCount ? index : 0;
}

// Volume indices High, Medium, Low give the device's levels 3, 2, 1.
std::int32_t VolumeLevel(std::int32_t index)
{
    switch (index) {
    case 1:
        return 2;
    case 2:
        return 1;
    default:
        return 3;
    }
}

int DetectInstruction(CScannerType type)
{
    switch (type) {
    case CScannerType::Pennyscanner:
        return kStrDetectInstructPenny;
    case CScannerType::Cs1504:
        return kStrDetectInstructCs1504;
    case CScannerType::Cs2000:
        return kStrDetectInstructCs2000;
    default:
        return kStrDetectInstructGeneric;
    }
}

} // namespace

struct CScannerMgr::Detection {
    Detection(CScannerType type, CAutoDetectUi& ui, std::int32_t previousPort)
        : type(type), ui(ui), previousPort(previousPort)
    {
    }

    CScannerType type;
    CAutoDetectUi& ui;
    std::int32_t previousPort;
    std::int32_t probeIndex = 0;
    std::unique_ptr<VTBarcodeScanner> driver;
    std::chrono::steady_clock::time_point start;
    // One result per probe: a driver that reports an error and then its
    // result must not advance the probing twice.
    bool awaitingResult = false;
    bool nextProbePosted = false;
};

CScannerHost::~CScannerHost() = default;
CAutoDetectUi::~CAutoDetectUi() = default;

CScannerListener::CScannerListener(CScannerMgr& manager, Role role) : m_manager(manager), m_role(role) {}

CScannerListener::~CScannerListener()
{
    DetachFromScanner();
}

void CScannerListener::OnScanData(VTScanDataSet scans)
{
    if (m_role == Role::kReading)
        m_manager.ScanDataArrived(scans);
}

void CScannerListener::OnDetectResult(int found)
{
    if (m_role == Role::kDetecting)
        m_manager.DetectResultArrived(found);
}

void CScannerListener::OnScannerStopped()
{
    m_manager.ScannerStopped(m_role);
}

void CScannerListener::OnDownloadError(int code)
{
    if (m_role == Role::kReading)
        m_manager.DownloadErrorArrived(code);
}

void CScannerListener::OnScannerError(const char* message)
{
    m_manager.ScannerErrorArrived(m_role, message ? message : "");
}

CScannerMgr::CScannerMgr(CScannerHost& host)
    : m_host(host), m_screenWaker(std::make_unique<platform::ScreenWaker>()),
      m_clock([] { return std::chrono::steady_clock::now(); })
{
}

CScannerMgr::~CScannerMgr()
{
    if (m_detection && m_detection->driver)
        m_detection->driver->Stop(true);
    m_detection.reset();
    DeleteScanner();
}

// Selecting

bool CScannerMgr::CanAutoDetect(CScannerType type)
{
    const CScannerPort port = ScannerPort(type);
    return port == CScannerPort::Pen || port == CScannerPort::Symbol || port == CScannerPort::Penny;
}

std::string CScannerMgr::PortName(std::int32_t portIndex)
{
    return "COM" + std::to_string(static_cast<std::int64_t>(portIndex) + 1);
}

std::optional<std::int32_t> CScannerMgr::ConfiguredPortIndex(CScannerType type) const
{
    const CClientSettings& settings = m_host.Context().Config().Settings();
    switch (ScannerPort(type)) {
    case CScannerPort::Pen:
        return PortOrFirst(settings.penPort);
    case CScannerPort::Symbol:
        return PortOrFirst(settings.symbolPort);
    case CScannerPort::Penny:
        return PortOrFirst(settings.pennyPort);
    case CScannerPort::Serial:
        return settings.scannerPort;
    default:
        return std::nullopt;
    }
}

std::optional<std::int32_t> CScannerMgr::ConfiguredVolumeLevel(CScannerType type) const
{
    const CClientSettings& settings = m_host.Context().Config().Settings();
    switch (ScannerVolume(type)) {
    case CScannerVolume::Pen:
        return VolumeLevel(settings.penVolume);
    case CScannerVolume::Symbol:
        return VolumeLevel(settings.symbolVolume);
    default:
        return std::nullopt;
    }
}

bool CScannerMgr::SelectScanner(CScannerType type)
{
    DeleteScanner();
    {
        std::lock_guard guard(m_lock);
        m_beepOnDelivery = BeepsOnDelivery(type);
    }
    m_type = type;
    LoadTexts();
    if (type == CScannerType::Pocket)
        return true;
    m_scanner = MakeDriver(type, ConfiguredPortIndex(type), m_listener);
    return m_scanner != nullptr;
}

std::unique_ptr<VTBarcodeScanner>
CScannerMgr::MakeDriver(CScannerType type, std::optional<std::int32_t> portIndex, VTScannerListener& listener)
{
    std::unique_ptr<VTBarcodeScanner> driver = m_host.Context().MakeScanner(type);
    if (!driver)
        return nullptr;
    driver->SetListener(&listener);
    auto* serial = dynamic_cast<VTSerialBarcodeScanner*>(driver.get());
    if (portIndex.has_value() != (serial != nullptr))
        return nullptr;
    try {
        if (serial && !ConfigurePort(*serial, type, *portIndex))
            return nullptr;
    } catch (const TSException& error) {
        ShowText(error.GetMessage());
        return nullptr;
    }
    return driver;
}

bool CScannerMgr::ConfigurePort(VTSerialBarcodeScanner& driver, CScannerType type, std::int32_t portIndex)
{
    VTSerialPortConfig config = driver.GetPortConfig();
    config.portName = PortName(portIndex);
    if (!config.IsValid())
        return false;
    driver.SetPortConfig(config);
    if (const auto level = ConfiguredVolumeLevel(type))
        if (auto* pen = dynamic_cast<VTInfoPenBase*>(&driver))
            pen->SetParameter2Value(*level);
    return true;
}

void CScannerMgr::DeleteScanner()
{
    if (!m_scanner)
        return;
    StopReading();
    m_scanner.reset();
}

bool CScannerMgr::HasScanner() const
{
    return m_scanner != nullptr;
}

std::optional<CScannerType> CScannerMgr::ScannerType() const
{
    return m_type;
}

// Reading

void CScannerMgr::LoadTexts()
{
    const CLanguageMgr& language = m_host.Context().Language();
    std::lock_guard guard(m_lock);
    m_downloadTexts[0] = language.LoadText(kStrDownloadTransmissionError);
    m_downloadTexts[1] = language.LoadText(kStrDownloadTimedOut);
    m_downloadTexts[2] = language.LoadText(kStrDownloadFailed);
}

void CScannerMgr::StartReading()
{
    if (m_scanner && m_host.Context().Config().Settings().useScanner != 0 &&
        m_scanner->GetState() == VTBarcodeScanner::kIdle)
        StartDriver(false);
    bool pending;
    {
        std::lock_guard guard(m_lock);
        pending = m_pending.any && !m_downloading;
    }
    if (pending && m_host.State() == CDocState::Idle)
        Post(CViewMessageId::ScanDataArrived);
}

bool CScannerMgr::StartDriver(bool download)
{
    LoadTexts();
    if (auto* pen = dynamic_cast<VTInfoPenBase*>(m_scanner.get()))
        pen->SetKeepPolling(!download);
    {
        std::lock_guard guard(m_lock);
        m_stopRequested = false;
        m_downloading = download;
    }
    try {
        if (const int result = m_scanner->Start(); result != VTBarcodeScanner::kStarted) {
            ShowStartFailure(result);
            std::lock_guard guard(m_lock);
            m_downloading = false;
            return false;
        }
        return true;
    } catch (const TSException& error) {
        {
            std::lock_guard guard(m_lock);
            m_downloading = false;
        }
        ShowText(error.GetMessage());
        return false;
    }
}

void CScannerMgr::ShowStartFailure(int /*result*/)
{
    // The keyboard scanners hear keys only where an X server delivers them.
    const auto* keyboard = dynamic_cast<const VTQoderScanner*>(m_scanner.get());
    if (keyboard && keyboard->GetHookError() == VTKeyboardHook::kWaylandSession)
        ShowErrorWithCode(kStrKeyboardScannerNeedsX11, kScannerErrorCode);
    else
        ShowErrorWithCode(kStrScannerNotStarted, kScannerErrorCode);
}

void CScannerMgr::StopReading()
{
    if (!m_scanner)
        return;
    {
        std::lock_guard guard(m_lock);
        m_stopRequested = true;
    }
    // Joining the worker is the wait: it ends within its next poll.
    m_scanner->Stop(true);
}

bool CScannerMgr::IsReading() const
{
    return m_scanner && m_scanner->GetState() == VTBarcodeScanner::kScanning;
}

bool CScannerMgr::Download()
{
    if (!m_scanner || !m_type || !IsMemoryScanner(*m_type) || !dynamic_cast<VTInfoPenBase*>(m_scanner.get()))
        return false;
    StopReading();
    return StartDriver(true);
}

bool CScannerMgr::IsBusy() const
{
    std::lock_guard guard(m_lock);
    return m_downloading;
}

// Pending scans

bool CScannerMgr::HasPendingScans() const
{
    std::lock_guard guard(m_lock);
    return m_pending.any;
}

std::size_t CScannerMgr::PendingScanCount() const
{
    std::lock_guard guard(m_lock);
    return m_pending.scans.size();
}

VTScanDataSet CScannerMgr::TakePendingScans()
{
    Pending taken;
    {
        std::lock_guard guard(m_lock);
        std::swap(taken, m_pending);
    }
    if (taken.beep)
        m_host.Port().Beep();
    VTScanDataSet set;
    for (const VTScanData& scan : taken.scans)
        set.Add(scan);
    return set;
}

bool CScannerMgr::ScansFromOtherProgram() const
{
    std::lock_guard guard(m_lock);
    return m_pending.fromOtherProgram;
}

CScannerMgr::BlockResult CScannerMgr::AddDataBlock(const std::string& bytes)
{
    VTBarcodeDataBlock block;
    if (!block.Parse(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()))
        return BlockResult::kMalformed;
    if (block.Size() == 0)
        return BlockResult::kEmpty;
    {
        std::lock_guard guard(m_lock);
        if (m_pending.any)
            return BlockResult::kDropped;
        m_pending.any = true;
        m_pending.fromOtherProgram = true;
        for (const VTBarcodeDataBlockEntry& entry : block.Entries())
            m_pending.scans.push_back({entry.type, entry.text});
    }
    if (m_host.State() == CDocState::Idle)
        Post(CViewMessageId::ScanDataArrived);
    return BlockResult::kAdded;
}

// The listeners' calls, on the drivers' threads

void CScannerMgr::ScanDataArrived(const VTScanDataSet& scans)
{
    m_screenWaker->Wake();
    const bool idle = m_host.State() == CDocState::Idle;
    bool post;
    {
        std::lock_guard guard(m_lock);
        // A delivery while earlier scans wait joins them: a memory scanner
        // has already emptied itself, so dropping it would lose the codes.
        post = !m_pending.any && idle && !m_downloading;
        m_pending.any = true;
        for (std::size_t i = 0; i < scans.GetCount(); ++i)
            m_pending.scans.push_back(scans.GetAt(i));
        if (idle && m_beepOnDelivery)
            m_pending.beep = true;
    }
    if (post)
        Post(CViewMessageId::ScanDataArrived);
}

void CScannerMgr::DetectResultArrived(int found)
{
    Post(CViewMessageId::DetectResult, found, 1);
}

void CScannerMgr::ScannerStopped(CScannerListener::Role role)
{
    if (role != CScannerListener::Role::kReading)
        return;
    bool downloaded = false;
    {
        std::lock_guard guard(m_lock);
        if (m_downloading) {
            m_downloading = false;
            downloaded = true;
            if (!m_pending.any)
                return;
        } else if (m_stopRequested) {
            return;
        }
    }
    if (downloaded)
        Post(CViewMessageId::ScanDataArrived);
    else if (m_host.State() == CDocState::Idle)
        Post(CViewMessageId::ScannerStopped);
}

void CScannerMgr::DownloadErrorArrived(int code)
{
    std::string text;
    {
        std::lock_guard guard(m_lock);
        text = m_downloadTexts[code == 3 ? 0 : code == 2 ? 1 : 2];
    }
    Post(CViewMessageId::ScannerError, code, 0, std::move(text));
}

void CScannerMgr::ScannerErrorArrived(CScannerListener::Role role, const std::string& message)
{
    // During auto-detection an error is a probe that found nothing there.
    if (role == CScannerListener::Role::kDetecting)
        Post(CViewMessageId::DetectResult, 0, 1);
    else
        Post(CViewMessageId::ScannerError, 0, 0, message);
}

void CScannerMgr::Post(CViewMessageId id, std::int32_t first, std::int32_t second, std::string text)
{
    CViewMessage message;
    message.id = id;
    message.first = first;
    message.second = second;
    message.text = std::move(text);
    m_host.Port().PostViewMessage(std::move(message));
}

// Messages

void CScannerMgr::ShowText(const std::string& text)
{
    CMessageBoxRequest request;
    request.kind = CMessageBoxRequest::Kind::kError;
    request.text = text;
    m_host.Port().ShowMessageBox(request);
}

void CScannerMgr::ShowErrorWithCode(int textId, int code)
{
    const CLanguageMgr& language = m_host.Context().Language();
    ShowText(language.LoadText(textId) + "\n\n\t" + language.LoadText(kStrErrorCode) + std::to_string(code) +
             "\n");
}

// Auto-detection

std::int32_t& CScannerMgr::StoredPort(CScannerType type)
{
    CClientSettings& settings = m_host.Context().Config().Settings();
    switch (ScannerPort(type)) {
    case CScannerPort::Pen:
        return settings.penPort;
    case CScannerPort::Symbol:
        return settings.symbolPort;
    default:
        return settings.pennyPort;
    }
}

void CScannerMgr::SetClock(Clock clock)
{
    m_clock = std::move(clock);
}

bool CScannerMgr::IsDetecting() const
{
    return m_detection != nullptr;
}

std::chrono::milliseconds CScannerMgr::Elapsed() const
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(m_clock() - m_detection->start);
}

bool CScannerMgr::RunAutoDetect(CScannerType type, CAutoDetectUi& ui)
{
    if (!CanAutoDetect(type) || m_detection)
        return false;
    std::int32_t& port = StoredPort(type);
    auto detection = std::make_unique<Detection>(type, ui, port);
    port = 0;
    detection->driver = MakeDriver(type, 0, m_detectListener);
    if (!detection->driver ||
        !ui.ShowInstructions(m_host.Context().Language().LoadText(DetectInstruction(type)))) {
        port = detection->previousPort;
        return false;
    }
    m_detection = std::move(detection);
    ui.SetProgress(kDetectStart, kDetectRange);
    ui.SetText(m_host.Context().Language().LoadText(kStrDetectInProgress));
    m_detection->start = m_clock();
    StartProbe();
    return true;
}

void CScannerMgr::OnDetectResult(std::int32_t result, std::int32_t flag)
{
    if (IsBusy() || !m_detection)
        return;
    if (flag != 0) {
        if (!m_detection->awaitingResult)
            return;
        m_detection->awaitingResult = false;
        // The worker has reported and is ending.
        m_detection->driver->Stop(true);
        EvaluateProbe(result);
        return;
    }
    if (!m_detection->nextProbePosted)
        return;
    m_detection->nextProbePosted = false;
    m_detection->ui.SetProgress(result, kDetectRange);
    StartProbe();
}

void CScannerMgr::StartProbe()
{
    m_detection->awaitingResult = true;
    int started;
    try {
        started = m_detection->driver->Detect();
    } catch (const TSException& error) {
        EndDetection(std::nullopt);
        ShowText(error.GetMessage());
        return;
    }
    if (started == VTBarcodeScanner::kStarted)
        return;
    // The port could not be opened: nothing answers there.
    m_detection->awaitingResult = false;
    m_detection->driver->Stop(true);
    EvaluateProbe(0);
}

void CScannerMgr::EvaluateProbe(std::int32_t found)
{
    Detection& detection = *m_detection;
    if (found != 0) {
        const std::int32_t port = detection.probeIndex;
        StoredPort(detection.type) = port;
        if (detection.type == CScannerType::Pennyscanner)
            m_host.Port().Beep();
        EndDetection(port);
        return;
    }
    const std::chrono::milliseconds elapsed = Elapsed();
    if (elapsed >= kDetectTimeout) {
        EndDetection(std::nullopt);
        ShowErrorWithCode(kStrDetectTimedOut, kScannerErrorCode);
        return;
    }
    detection.probeIndex = (detection.probeIndex + 1) % kPortCount;
    try {
        ConfigurePort(static_cast<VTSerialBarcodeScanner&>(*detection.driver), detection.type,
                      detection.probeIndex);
    } catch (const TSException& error) {
        EndDetection(std::nullopt);
        ShowText(error.GetMessage());
        return;
    }
    detection.nextProbePosted = true;
    Post(CViewMessageId::DetectResult, static_cast<std::int32_t>(elapsed.count()), 0);
}

void CScannerMgr::EndDetection(std::optional<std::int32_t> foundPort)
{
    std::unique_ptr<Detection> detection = std::move(m_detection);
    detection->driver->Stop(true);
    detection->driver.reset();
    // Nothing found: the port chosen before the detection stays.
    if (!foundPort)
        StoredPort(detection->type) = detection->previousPort;
    detection->ui.Finish(foundPort);
}

// Port check

int CScannerMgr::CheckPort(std::int32_t portIndex) const
{
    if (portIndex < 0 || portIndex >= kPortCount)
        return kStrPortNotFound;
    VTSerialPortConfig config;
    config.portName = PortName(portIndex);
    config.baudRate = 9600;
    config.dataBits = 8;
    config.parity = VTSerialPortConfig::kParityNone;
    config.stopBits = VTSerialPortConfig::kOneStopBit;
    VTSerialPort port;
    try {
        port.Open(config);
        port.Close();
        return 0;
    } catch (const VTSerialPortException& error) {
        switch (error.GetCode()) {
        case VTSerialPortException::kInvalidPort:
            return kStrPortNotFound;
        case VTSerialPortException::kPortInUse:
            return kStrPortInUse;
        default:
            return kStrPortFailed;
        }
    }
}
