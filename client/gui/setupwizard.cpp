#include "client/gui/setupwizard.h"

#include <cstdio>

int RunSetup(CStartMode mode, const CSetupArguments& arguments, CLanguageMgr& language)
{
    return RunQuietSetup(mode, arguments, language, stderr);
}
