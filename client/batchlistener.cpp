#include "client/batchlistener.h"

#include "client/clidoc.h"
#include "tst/tsexcep.h"

namespace {

constexpr std::string_view kModule = "batchlistener";

CViewMessage Progress(std::int32_t position, std::int32_t total, std::int32_t phase)
{
    CViewMessage message = MakeViewMessage(CViewMessageId::BatchProgress, position, total);
    message.phase = phase;
    return message;
}

} // namespace

VTBatchCodeListener::Decision CBatchListener::OnBatchError(std::int32_t phase, const VTServerError& error,
                                                           const std::string& serverName)
{
    if (m_doc.State() != CDocState::Processing)
        RaiseInternalError(kModule, 100);
    m_doc.SetBatchError({phase, error, serverName, kRetry});
    m_doc.Port().SendViewMessage(MakeViewMessage(CViewMessageId::BatchError));
    return m_doc.BatchError().answer;
}

void CBatchListener::OnBatchProgress(std::int32_t phase, std::int32_t position, std::int32_t total)
{
    const CDocState state = m_doc.State();
    if (m_doc.IsCancelling()) {
        if (state == CDocState::Idle)
            m_doc.Port().PostViewMessage(Progress(0, 0, kCancellingPhase));
        return;
    }
    if (phase < VTBatchCodeProcessor::kPhaseFormats || phase > VTBatchCodeProcessor::kPhaseDescriptions)
        RaiseInternalError(kModule, 146);
    if (state != CDocState::Processing)
        RaiseInternalError(kModule, 171);
    m_doc.Port().PostViewMessage(Progress(position, total, phase));
}

void CBatchListener::OnBatchUrlsReady(const VTBatchCodeList& list)
{
    if (m_doc.State() != CDocState::Processing)
        RaiseInternalError(kModule, 214);
    CViewMessage message = MakeViewMessage(CViewMessageId::BatchUrlsReady);
    message.list = list;
    m_doc.Port().SendViewMessage(std::move(message));
}

void CBatchListener::OnBatchFinished()
{
    const CDocState state = m_doc.State();
    if (state != CDocState::Processing && !(state == CDocState::Idle && m_doc.IsCancelling()))
        RaiseInternalError(kModule, 258);
    m_doc.Port().PostViewMessage(MakeViewMessage(CViewMessageId::BatchFinished));
}
