#include "client/uiport.h"

CUiPort::~CUiPort() = default;

bool CUiPort::RunFirstRunWizard()
{
    return false;
}

void CUiPort::RegistrationProgress(std::int32_t, std::int32_t) {}

void CUiPort::RegistrationEnded(bool, const std::string&) {}
