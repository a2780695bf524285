#pragma once

#include "client/setupcmd.h"
#include "client/startmode.h"

class CLanguageMgr;

// "-install" or "-remove" with pages: the installer or upgrade wizard, or
// the remove dialog, each followed by the progress dialog. The exit status.
int RunSetup(CStartMode mode, const CSetupArguments& arguments, CLanguageMgr& language);
