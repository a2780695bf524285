#include "client/reglistener.h"

#include "client/clidoc.h"
#include "tst/tsexcep.h"

namespace {

constexpr std::string_view kModule = "reglistener";

} // namespace

void CRegistrationServerListener::OnServerProgress(int done, int total)
{
    const CDocState state = m_doc.State();
    if (m_doc.IsCancelling() || state == CDocState::Idle)
        return;
    if (state != CDocState::Registering)
        RaiseInternalError(kModule, 114);
    m_doc.Port().PostViewMessage(MakeViewMessage(CViewMessageId::RegistrationProgress, done, total));
}

void CRegistrationServerListener::OnServerSuccess()
{
    if (m_doc.State() != CDocState::Registering)
        RaiseInternalError(kModule, 154);
    m_doc.Port().PostViewMessage(MakeViewMessage(CViewMessageId::RegistrationSuccess));
}

void CRegistrationServerListener::OnServerFailure()
{
    if (m_doc.State() != CDocState::Registering)
        RaiseInternalError(kModule, 193);
    m_doc.Port().PostViewMessage(MakeViewMessage(CViewMessageId::RegistrationFailure));
}
