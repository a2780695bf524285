#include "vtkit/vtbatch.h"

#include "tst/tsexcep.h"
#include "tst/tsstrmap.h"
#include "tst/tsstrsub.h"
#include "vtkit/cdanalyze.h"
#include "vtkit/cddescrip.h"
#include "vtkit/cdurlcode.h"
#include "vtkit/cdvanity.h"
#include "vtkit/vtexcep.h"
#include "vtkit/vttoolkit.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <system_error>

namespace {

constexpr std::int32_t kProgressPerCode = 5;
constexpr std::int32_t kProgressPerPhase = 5;
constexpr std::int32_t kServerBusy = 100;

// The processor whose listener this thread is calling, if any.
thread_local const VTBatchCodeProcessor* t_callingListenerOf = nullptr;

bool IsUrl(const VTBatchCode& code)
{
    return code.GetCodeType() == kCodeUrl;
}

// The client's variables go in first and leave every other key in place
// for the code's own pairs.
TSStringSubst ClientVariableSubst(const TSStringMap& values)
{
    TSStringSubst subst(values, TSStringSubst::kByPrefix, 0, '^', 0);
    subst.SetDelimiters("<^", "^>");
    return subst;
}

} // namespace

VTBatchCodeListener::~VTBatchCodeListener() = default;

VTBatchCodeListener::Decision VTBatchCodeListener::OnBatchError(std::int32_t, const VTServerError&,
                                                                const std::string&)
{
    return kGoOn;
}

void VTBatchCodeListener::OnBatchProgress(std::int32_t, std::int32_t, std::int32_t) {}

void VTBatchCodeListener::OnBatchUrlsReady(const VTBatchCodeList&) {}

void VTBatchCodeListener::OnBatchFinished() {}

// One listener call made without the monitor: counted while it lasts, so
// that SetListener can wait for it, and marked on the calling thread, so
// that a listener that sets the listener does not wait for itself.
class VTBatchCodeProcessor::ListenerCall {
public:
    explicit ListenerCall(VTBatchCodeProcessor* processor)
        : m_processor(processor), m_outer(t_callingListenerOf)
    {
        t_callingListenerOf = processor;
    }
    ~ListenerCall()
    {
        t_callingListenerOf = m_outer;
        std::lock_guard guard(m_processor->m_monitor);
        if (--m_processor->m_callsOutside == 0)
            m_processor->m_callsDone.notify_all();
    }
    ListenerCall(const ListenerCall&) = delete;
    ListenerCall& operator=(const ListenerCall&) = delete;

private:
    VTBatchCodeProcessor* m_processor;
    const VTBatchCodeProcessor* m_outer;
};

// The exchanges' listener: progress is passed on, and the end of an
// exchange, good or bad, wakes the worker.
class VTBatchCodeProcessor::InternalListener : public VTToolkitServerListener {
public:
    explicit InternalListener(VTBatchCodeProcessor* processor) : m_processor(processor) {}

    void OnServerProgress(int done, int) override { m_processor->ReportProgress(done); }
    void OnServerSuccess() override { m_processor->m_semaphore.Release(); }
    void OnServerFailure() override { m_processor->m_semaphore.Release(); }

private:
    VTBatchCodeProcessor* m_processor;
};

void VTBatchCodeProcessor::Semaphore::Release()
{
    {
        std::lock_guard guard(m_lock);
        ++m_count;
    }
    m_changed.notify_one();
}

void VTBatchCodeProcessor::Semaphore::Acquire()
{
    std::unique_lock guard(m_lock);
    m_changed.wait(guard, [&] { return m_count > 0; });
    --m_count;
}

void VTBatchCodeProcessor::Semaphore::Drain()
{
    std::lock_guard guard(m_lock);
    m_count = 0;
}

VTBatchCodeProcessor::VTBatchCodeProcessor(VTToolkit* toolkit)
    : m_toolkit(toolkit), m_internalListener(std::make_unique<InternalListener>(this))
{
    TS_CHECK_NULL(toolkit);
    m_lastError.SetToolkit(toolkit);
}

VTBatchCodeProcessor::~VTBatchCodeProcessor()
{
    if (IsRunning())
        Cancel();
    std::thread worker;
    {
        std::lock_guard guard(m_monitor);
        worker = std::move(m_thread);
    }
    if (worker.joinable())
        worker.join();
    for (VTServerExchange* exchange : {static_cast<VTServerExchange*>(&m_toolkit->GetRoutingServer()),
                                       static_cast<VTServerExchange*>(&m_toolkit->GetResolutionServer())})
        if (exchange->GetListener() == m_internalListener.get())
            exchange->SetListener(nullptr);
}

void VTBatchCodeProcessor::SetListener(VTBatchCodeListener* listener)
{
    std::unique_lock guard(m_monitor);
    if (t_callingListenerOf != this)
        m_callsDone.wait(guard, [&] { return m_callsOutside == 0; });
    m_listener = listener;
}

bool VTBatchCodeProcessor::CallListener(const std::function<void(VTBatchCodeListener&)>& call)
{
    VTBatchCodeListener* listener = nullptr;
    {
        std::lock_guard guard(m_monitor);
        listener = m_listener;
        if (!listener)
            return false;
        ++m_callsOutside;
    }
    const ListenerCall counted(this);
    call(*listener);
    return true;
}

void VTBatchCodeProcessor::SetList(const VTBatchCodeList& list)
{
    std::lock_guard guard(m_monitor);
    m_list = list;
}

VTBatchCodeList VTBatchCodeProcessor::GetList()
{
    JoinFinished();
    std::lock_guard guard(m_monitor);
    return m_list;
}

bool VTBatchCodeProcessor::IsRunning()
{
    JoinFinished();
    std::lock_guard guard(m_monitor);
    return m_running;
}

void VTBatchCodeProcessor::JoinFinished()
{
    std::thread worker;
    {
        std::lock_guard guard(m_monitor);
        // A listener that asks from the worker itself must not join it.
        if (!m_running && m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
            worker = std::move(m_thread);
    }
    if (worker.joinable())
        worker.join();
}

std::int32_t VTBatchCodeProcessor::Start(bool urlsReady, bool offline)
{
    JoinFinished();
    std::lock_guard guard(m_monitor);
    if (m_running || m_thread.joinable())
        return kAlreadyRunning;
    const std::size_t count = m_list.Size();
    if (count == 0)
        return kListEmpty;
    const auto allOfMode = [&](std::int32_t mode) {
        return m_list.AllOf([&](const VTBatchCode& code) { return code.GetDescriptionMode() == mode; });
    };
    m_allAddressOnly = allOfMode(VTBatchCode::kAddressOnly);
    m_allRecognitionOnly = allOfMode(VTBatchCode::kRecognitionOnly);
    m_progressBase = 0;
    m_progressTotal = m_allAddressOnly
                          ? 2 * kProgressPerPhase
                          : kProgressPerCode * static_cast<std::int32_t>(count) + 2 * kProgressPerPhase;
    m_cancel = false;
    m_urlsReady = urlsReady;
    m_offline = offline;
    m_phase = kPhaseFormats;
    m_multiplier = 1;
    m_lastError.Clear();
    m_lastErrorSource = kNoErrorSource;
    m_running = true;
    try {
        m_thread = std::thread(&VTBatchCodeProcessor::Run, this, m_list);
    } catch (const std::system_error&) {
        m_running = false;
        return kThreadFailed;
    }
    return kStarted;
}

void VTBatchCodeProcessor::Cancel()
{
    m_cancel = true;
    m_toolkit->GetRoutingServer().Abort();
    m_toolkit->GetResolutionServer().Abort();
}

void VTBatchCodeProcessor::GetLastError(VTServerError& record)
{
    std::lock_guard guard(m_monitor);
    record = m_lastError;
}

std::int32_t VTBatchCodeProcessor::GetLastErrorSource()
{
    std::lock_guard guard(m_monitor);
    return m_lastErrorSource;
}

void VTBatchCodeProcessor::Run(VTBatchCodeList list)
{
    std::optional<std::string> failure;
    try {
        RunPhases(list);
    } catch (const TSException& error) {
        failure = error.GetMessage();
    } catch (...) {
        failure = "Unknown exception";
    }
    if (failure) {
        try {
            list.ForEach([&](std::size_t, VTBatchCode& code) {
                code.SetStatus(VTBatchCode::kFailed);
                code.SetErrorText(*failure);
            });
        } catch (...) {
            // Out of memory while marking the codes: the listener is still told.
        }
        std::lock_guard guard(m_monitor);
        m_lastErrorSource = kCodeErrors;
    }
    EndRun(list);
}

void VTBatchCodeProcessor::RunPhases(VTBatchCodeList& list)
{
    Recognise(list);
    if (m_cancel || m_allRecognitionOnly)
        return;
    AddProgressBase(kProgressPerPhase);
    ReportProgress(0);
    Route(list);
    if (m_cancel)
        return;
    BuildAddresses(list);
    if (m_urlsReady)
        CallListener([&](VTBatchCodeListener& listener) { listener.OnBatchUrlsReady(list); });
    if (m_allAddressOnly)
        return;
    AddProgressBase(kProgressPerPhase);
    ReportProgress(0);
    Describe(list);
}

void VTBatchCodeProcessor::EndRun(VTBatchCodeList& list)
{
    // Nothing may leave the worker; the batch ends either way.
    try {
        // A query that could not be sent cancelled the batch: say why. The
        // batch still runs while the listener is asked, so that a client that
        // asks IsRunning meanwhile is not held joining a worker that waits
        // for that client's answer.
        if (m_cancel && !list.IsEmpty() && list.Get(0).GetStatus() == VTBatchCode::kFailed) {
            VTServerError error;
            std::int32_t phase = kPhaseFormats;
            {
                std::lock_guard guard(m_monitor);
                error = m_lastError;
                phase = m_phase;
            }
            CallListener(
                [&](VTBatchCodeListener& listener) { listener.OnBatchError(phase, error, std::string()); });
        }
    } catch (...) {
    }
    {
        std::lock_guard guard(m_monitor);
        m_running = false;
    }
    try {
        CallListener([](VTBatchCodeListener& listener) { listener.OnBatchFinished(); });
    } catch (...) {
    }
}

void VTBatchCodeProcessor::Decompose(VTBatchCode& code, const VTCodeFormat& format)
{
    try {
        const std::string raw = code.GetRawCode();
        VTCodeContents contents;
        DecomposeAs(raw.c_str(), code.GetCodeType(), format, contents);
        const std::string display = format.FormatForDisplay(raw);
        code.SetContents(contents);
        code.SetText(display);
        code.SetStatus(VTBatchCode::kRecognised);
    } catch (const VTToolkitException& error) {
        code.SetStatus(VTBatchCode::kInvalidCode);
        code.SetErrorText(error.GetMessage());
    }
}

void VTBatchCodeProcessor::Recognise(VTBatchCodeList& list)
{
    const VTCache& cache = m_toolkit->GetCache();
    VTCodeFormatQueryList items;
    list.ForEach([&](std::size_t, VTBatchCode& code) {
        if (IsUrl(code))
            return;
        code.SetText(code.GetRawCode());
        const int type = code.GetCodeType();
        if (type <= kCodeUnknown || type > kCodeTypeLast) {
            code.SetStatus(VTBatchCode::kTypeUnknown);
        } else if (!RequiresCodeFormat(type)) {
            VTCodeFormat format;
            format.SetCodeType(static_cast<VTCodeType>(type));
            Decompose(code, format);
        } else if (VTCodeFormat format;
                   cache.FindFormat(type, code.GetContents().GetScannedCode(), format, m_offline)) {
            Decompose(code, format);
        } else if (m_offline) {
            code.SetStatus(VTBatchCode::kOfflineNoFormat);
        } else {
            items.push_back({static_cast<VTCodeType>(type), code.GetRawCode()});
            code.SetStatus(VTBatchCode::kWaitingForFormat);
        }
    });
    if (m_offline)
        return ExpiredFormatPass(list);
    if (items.empty())
        return;
    const QueryResult result =
        QueryLoop(list, kPhaseFormats, [&] { return m_toolkit->GetRoutingServer().RequestFormats(items); });
    if (result != QueryResult::kNotSent)
        ReceiveFormats(list);
}

void VTBatchCodeProcessor::ReceiveFormats(VTBatchCodeList& list)
{
    VTRoutingServer& routing = m_toolkit->GetRoutingServer();
    if (routing.GetState(true) != VTRoutingServer::kFormatsAnswered)
        return SetStatus(list, VTBatchCode::kWaitingForFormat, VTBatchCode::kFormatQuerySkipped);
    m_toolkit->StampTemplateDate();
    VTCodeFormatList received;
    routing.GetFormats(received);
    list.ForEach([&](std::size_t, VTBatchCode& code) {
        if (code.GetStatus() != VTBatchCode::kWaitingForFormat)
            return;
        VTCodeFormat format;
        if (received.Find(code.GetCodeType(), code.GetContents().GetScannedCode(), format))
            Decompose(code, format);
        else
            code.SetStatus(VTBatchCode::kNoFormat);
    });
    VTCache& cache = m_toolkit->GetCache();
    for (const VTCodeFormat& format : received)
        cache.AddFormat(format);
}

void VTBatchCodeProcessor::ExpiredFormatPass(VTBatchCodeList& list)
{
    const VTCache& cache = m_toolkit->GetCache();
    list.ForEach([&](std::size_t, VTBatchCode& code) {
        if (code.GetStatus() != VTBatchCode::kWaitingForFormat &&
            code.GetStatus() != VTBatchCode::kOfflineNoFormat)
            return;
        VTCodeFormat format;
        if (cache.FindFormat(code.GetCodeType(), code.GetContents().GetScannedCode(), format, true))
            Decompose(code, format);
    });
}

void VTBatchCodeProcessor::Route(VTBatchCodeList& list)
{
    const VTCache& cache = m_toolkit->GetCache();
    VTTemplateQueryList items;
    list.ForEach([&](std::size_t, VTBatchCode& code) {
        if (IsUrl(code)) {
            code.SetStatus(VTBatchCode::kRouted);
            return;
        }
        if (code.GetStatus() != VTBatchCode::kRecognised)
            return;
        const std::string serverId = code.GetContents().GetServerId();
        if (VTServerData record; cache.FindTemplate(code.GetCodeType(), serverId, record, m_offline)) {
            code.SetServerData(record);
            code.SetStatus(VTBatchCode::kRouted);
        } else if (m_offline) {
            code.SetStatus(VTBatchCode::kOfflineNoTemplate);
        } else {
            if (code.GetDescriptionMode() == VTBatchCode::kDescribe)
                code.SetDescription("");
            items.push_back({code.GetCodeType(), serverId});
            code.SetStatus(VTBatchCode::kWaitingForTemplate);
        }
    });
    if (m_offline)
        return ExpiredTemplatePass(list);
    if (items.empty())
        return;
    const QueryResult result = QueryLoop(
        list, kPhaseTemplates, [&] { return m_toolkit->GetRoutingServer().RequestTemplates(items); });
    if (result != QueryResult::kNotSent)
        ReceiveTemplates(list);
}

void VTBatchCodeProcessor::ReceiveTemplates(VTBatchCodeList& list)
{
    VTRoutingServer& routing = m_toolkit->GetRoutingServer();
    if (routing.GetState(true) != VTRoutingServer::kTemplatesAnswered)
        return SetStatus(list, VTBatchCode::kWaitingForTemplate, VTBatchCode::kTemplateQuerySkipped);
    m_toolkit->StampTemplateDate();
    VTServerDataList received;
    routing.GetTemplates(received);
    list.ForEach([&](std::size_t, VTBatchCode& code) {
        if (code.GetStatus() != VTBatchCode::kWaitingForTemplate)
            return;
        VTServerData record;
        if (received.Find(code.GetCodeType(), code.GetContents().GetServerId(), record)) {
            code.SetServerData(record);
            code.SetStatus(VTBatchCode::kRouted);
        } else {
            code.SetStatus(VTBatchCode::kNoTemplate);
        }
    });
    VTCache& cache = m_toolkit->GetCache();
    for (const VTServerData& record : received)
        cache.AddTemplate(record);
}

void VTBatchCodeProcessor::ExpiredTemplatePass(VTBatchCodeList& list)
{
    const VTCache& cache = m_toolkit->GetCache();
    list.ForEach([&](std::size_t, VTBatchCode& code) {
        if (code.GetStatus() != VTBatchCode::kWaitingForTemplate &&
            code.GetStatus() != VTBatchCode::kOfflineNoTemplate)
            return;
        VTServerData record;
        if (cache.FindTemplate(code.GetCodeType(), code.GetContents().GetServerId(), record, true)) {
            code.SetServerData(record);
            code.SetStatus(VTBatchCode::kRouted);
        }
    });
}

void VTBatchCodeProcessor::BuildAddresses(VTBatchCodeList& list)
{
    TSStringMap clientVariables;
    m_toolkit->AddClientVariables(clientVariables);
    const TSStringSubst clientSubst = ClientVariableSubst(clientVariables);
    // One map for every code's pairs: each code sets all of its keys, so
    // nothing of the code before it is left.
    TSStringSubst codeSubst = TSStringSubst::ForTemplates(TSStringMap());
    bool substitutionFailed = false;
    list.ForEach([&](std::size_t, VTBatchCode& code) {
        if (IsUrl(code)) {
            std::string address = code.GetRawCode();
            if (!VTUrlCode::IsOpenable(address)) {
                code.SetStatus(VTBatchCode::kInvalidCode);
                code.SetErrorText(VTToolkitException(VTToolkitException::kInvalidCode,
                                                     "the address holds blanks or control characters")
                                      .GetMessage());
                return;
            }
            if (!VTUrlCode::HasScheme(address))
                VTUrlCode::AddScheme(address);
            code.SetUrl(address);
            code.SetText(address);
            // Its address is all a URL code needs: in a batch of addresses it is done.
            if (code.GetStatus() == VTBatchCode::kRouted &&
                code.GetDescriptionMode() == VTBatchCode::kAddressOnly)
                code.SetStatus(VTBatchCode::kDone);
            return;
        }
        if (code.GetStatus() != VTBatchCode::kRouted)
            return;
        std::string address;
        if (!code.GetServerData().GetCommand(kCommandGet, address)) {
            code.SetUrl("");
            code.SetStatus(VTBatchCode::kNoTemplate);
            return;
        }
        try {
            code.GetContents().ExportTo(codeSubst);
            clientSubst.Substitute(address);
            codeSubst.Substitute(address);
            code.SetUrl(address);
            if (code.GetDescriptionMode() == VTBatchCode::kAddressOnly)
                code.SetStatus(VTBatchCode::kDone);
        } catch (const TSStringSubstException& error) {
            code.SetStatus(VTBatchCode::kAddressFailed);
            code.SetErrorText(error.GetMessage());
            substitutionFailed = true;
        }
    });
    if (substitutionFailed) {
        std::lock_guard guard(m_monitor);
        m_lastErrorSource = kCodeErrors;
    }
}

void VTBatchCodeProcessor::Describe(VTBatchCodeList& list)
{
    if (m_offline)
        return SetStatus(list, VTBatchCode::kRouted, VTBatchCode::kOfflineNoDescription);
    std::vector<VTBatchDescriptionServer> groups;
    std::size_t grouped = 0;
    list.ForEach([&](std::size_t index, VTBatchCode& code) {
        if (code.GetStatus() != VTBatchCode::kRouted)
            return;
        if (IsUrl(code)) {
            // Nothing is asked about a URL code; it is done with its address.
            code.SetStatus(VTBatchCode::kDone);
            return;
        }
        if (code.GetDescriptionMode() == VTBatchCode::kDescribe &&
            (!code.GetDescription().empty() || !code.GetUserDescription().empty())) {
            code.SetStatus(VTBatchCode::kHasDescription);
            return;
        }
        const VTServerData& record = code.GetServerData();
        if (!record.HasCommand(kCommandDesc) && !record.HasCommand(kCommandDesc2)) {
            code.SetDescription(record.GetName());
            code.SetStatus(VTBatchCode::kNoDescription);
            return;
        }
        auto group = std::find_if(groups.begin(), groups.end(), [&](const VTBatchDescriptionServer& server) {
            return server.record == record;
        });
        if (group == groups.end())
            group = groups.insert(groups.end(), VTBatchDescriptionServer{record, {}});
        group->items.push_back(
            {code.GetContents().GetItemId(), code.GetContents().GetCode(), static_cast<std::int32_t>(index)});
        ++grouped;
    });
    AddProgressBase(kProgressPerCode * static_cast<std::int32_t>(list.Size() - grouped));
    ReportProgress(0);
    for (const VTBatchDescriptionServer& group : groups) {
        if (m_cancel || !DescribeGroup(list, group)) {
            // The codes not asked about yet go down with the batch.
            SetStatus(list, VTBatchCode::kRouted, VTBatchCode::kCancelled);
            return;
        }
        AddProgressBase(kProgressPerCode * static_cast<std::int32_t>(group.items.size()));
        ReportProgress(0);
    }
}

// False when the batch was cancelled here. A query that failed and was
// skipped holds back only its own group: the other servers are still asked.
bool VTBatchCodeProcessor::DescribeGroup(VTBatchCodeList& list, const VTBatchDescriptionServer& group)
{
    VTResolutionServer& resolution = m_toolkit->GetResolutionServer();
    resolution.SetServerData(group.record);
    resolution.SetListener(m_internalListener.get());
    SetReporting(kPhaseDescriptions, static_cast<std::int32_t>(group.items.size()));
    VTCodeDescriptionList requests;
    for (const VTBatchItem& item : group.items)
        list.Update(static_cast<std::size_t>(item.index), [&](VTBatchCode& code) {
            code.SetStatus(VTBatchCode::kDescriptionRequested);
            requests.Add(VTCodeDescription(code.GetContents()));
        });
    const auto setGroupStatus = [&](std::int32_t status) {
        for (const VTBatchItem& item : group.items)
            list.Update(static_cast<std::size_t>(item.index),
                        [&](VTBatchCode& code) { code.SetStatus(status); });
    };
    const auto cancelBatch = [&] {
        setGroupStatus(VTBatchCode::kCancelled);
        SetStatus(list, VTBatchCode::kRouted, VTBatchCode::kCancelled);
        m_cancel = true;
        return false;
    };
    for (int busyRetries = 0;;) {
        m_semaphore.Drain();
        if (!resolution.RequestDescriptions(requests)) {
            setGroupStatus(VTBatchCode::kFailed);
            VTServerError error;
            resolution.GetError(error);
            KeepError(error);
            const bool libraryError = error.GetKind() == VTServerError::kTransaction &&
                                      error.GetCode() == VTServerError::kCodeToolkit;
            if (libraryError)
                m_cancel = true;
            return !libraryError;
        }
        const VTServerError error = AwaitExchange(resolution);
        if (!error.HasError()) {
            if (resolution.GetState(true) != VTResolutionServer::kAnswered) {
                setGroupStatus(VTBatchCode::kDescriptionQuerySkipped);
                return true;
            }
            VTCodeDescriptionList answers;
            resolution.GetDescriptions(answers);
            TakeAnswers(list, group, answers);
            return true;
        }
        KeepError(error);
        if (IsAborted(error))
            return cancelBatch();
        if (IsBusy(error, busyRetries))
            continue;
        busyRetries = 0;
        const std::int32_t decision = AskListener(kPhaseDescriptions, error, group.record.GetName());
        // A cancel that came while the listener was asked wins over its answer.
        if (m_cancel)
            return cancelBatch();
        switch (decision) {
        case VTBatchCodeListener::kCancel:
            return cancelBatch();
        case VTBatchCodeListener::kRetry:
            continue;
        case VTBatchCodeListener::kGoOn:
            setGroupStatus(VTBatchCode::kDescriptionQuerySkipped);
            return true;
        default:
            TS_INTERNAL_ERROR("unknown decision of the batch listener");
        }
    }
}

void VTBatchCodeProcessor::TakeAnswers(VTBatchCodeList& list, const VTBatchDescriptionServer& group,
                                       const VTCodeDescriptionList& answers)
{
    for (const VTBatchItem& item : group.items) {
        list.Update(static_cast<std::size_t>(item.index), [&](VTBatchCode& code) {
            const auto answer =
                std::find_if(answers.begin(), answers.end(), [&](const VTCodeDescription& entry) {
                    return entry.GetItemId() == item.itemId;
                });
            if (answer == answers.end()) {
                code.SetDescription(group.record.GetName());
                code.SetStatus(VTBatchCode::kNoDescription);
                return;
            }
            code.SetDescription(answer->GetDescription());
            const std::string canonical = answer->GetCanonical();
            if (!canonical.empty() && VTVanityCode::ValidlyFormed(canonical, true))
                code.SetText(canonical);
            code.SetStatus(VTBatchCode::kDone);
        });
    }
}

VTBatchCodeProcessor::QueryResult VTBatchCodeProcessor::QueryLoop(VTBatchCodeList& list, std::int32_t phase,
                                                                  const std::function<bool()>& send)
{
    VTRoutingServer& routing = m_toolkit->GetRoutingServer();
    routing.SetListener(m_internalListener.get());
    SetReporting(phase, 1);
    const bool formats = phase == kPhaseFormats;
    const std::int32_t waiting = formats ? VTBatchCode::kWaitingForFormat : VTBatchCode::kWaitingForTemplate;
    const auto cancelQuery = [&] {
        SetStatus(list, waiting, VTBatchCode::kCancelled);
        m_cancel = true;
        return QueryResult::kCancelled;
    };
    for (int busyRetries = 0;;) {
        m_semaphore.Drain();
        if (!send()) {
            SetStatus(list, waiting, VTBatchCode::kFailed);
            VTServerError error;
            routing.GetError(error);
            KeepError(error);
            m_cancel = true;
            return QueryResult::kNotSent;
        }
        const VTServerError error = AwaitExchange(routing);
        const std::int32_t state = routing.GetState(true);
        const bool answered = state == VTRoutingServer::kFormatsAnswered ||
                              (!formats && state == VTRoutingServer::kTemplatesAnswered);
        if (!m_cancel && answered)
            return QueryResult::kGood;
        KeepError(error);
        if (IsAborted(error))
            return cancelQuery();
        if (IsBusy(error, busyRetries))
            continue;
        busyRetries = 0;
        const std::int32_t decision = AskListener(phase, error, std::string());
        if (m_cancel)
            return cancelQuery();
        switch (decision) {
        case VTBatchCodeListener::kCancel:
            return cancelQuery();
        case VTBatchCodeListener::kRetry:
            continue;
        case VTBatchCodeListener::kGoOn:
            if (formats)
                ExpiredFormatPass(list);
            else
                ExpiredTemplatePass(list);
            SetStatus(list, waiting,
                      formats ? VTBatchCode::kFormatQuerySkipped : VTBatchCode::kTemplateQuerySkipped);
            return QueryResult::kSkipped;
        default:
            TS_INTERNAL_ERROR("unknown decision of the batch listener");
        }
    }
}

VTServerError VTBatchCodeProcessor::AwaitExchange(VTServerExchange& exchange)
{
    // A cancel that came before the request started found nothing to abort.
    if (m_cancel)
        exchange.Abort();
    m_semaphore.Acquire();
    exchange.GetState(true);
    VTServerError error;
    if (m_cancel) {
        error.FromTransactionError(VTServerError::kCodeAborted, VTServerError::kTextAborted);
        error.SetToolkit(m_toolkit);
    } else {
        exchange.GetError(error);
    }
    return error;
}

bool VTBatchCodeProcessor::IsBusy(const VTServerError& error, int& busyRetries) const
{
    return error.GetKind() == VTServerError::kServer && error.GetServerNumber() == kServerBusy &&
           ++busyRetries <= kMaxBusyRetries;
}

bool VTBatchCodeProcessor::IsAborted(const VTServerError& error)
{
    return error.GetKind() == VTServerError::kTransaction && error.GetCode() == VTServerError::kCodeAborted;
}

std::int32_t VTBatchCodeProcessor::AskListener(std::int32_t phase, const VTServerError& error,
                                               const std::string& serverName)
{
    std::int32_t decision = VTBatchCodeListener::kGoOn;
    CallListener(
        [&](VTBatchCodeListener& listener) { decision = listener.OnBatchError(phase, error, serverName); });
    return decision;
}

void VTBatchCodeProcessor::KeepError(const VTServerError& error)
{
    std::lock_guard guard(m_monitor);
    m_lastError = error;
    m_lastErrorSource = kServerError;
}

void VTBatchCodeProcessor::SetReporting(std::int32_t phase, std::int32_t multiplier)
{
    std::lock_guard guard(m_monitor);
    m_phase = phase;
    m_multiplier = multiplier;
    m_reporting = true;
}

void VTBatchCodeProcessor::AddProgressBase(std::int32_t amount)
{
    std::lock_guard guard(m_monitor);
    m_progressBase += amount;
}

void VTBatchCodeProcessor::ReportProgress(std::int32_t step)
{
    std::int32_t phase = kPhaseFormats;
    std::int32_t position = 0;
    std::int32_t total = 0;
    {
        std::lock_guard guard(m_monitor);
        if (!m_reporting)
            return;
        phase = m_phase;
        position = step * m_multiplier + m_progressBase;
        total = m_progressTotal;
    }
    CallListener([&](VTBatchCodeListener& listener) { listener.OnBatchProgress(phase, position, total); });
}

void VTBatchCodeProcessor::SetStatus(VTBatchCodeList& list, std::int32_t from, std::int32_t to)
{
    list.ForEach([&](std::size_t, VTBatchCode& code) {
        if (code.GetStatus() == from)
            code.SetStatus(to);
    });
}
