#include "client/gui/proccodeerrdlg.h"

#include "client/uitextids.h"

CProcessCodeErrorDlg::CProcessCodeErrorDlg(const CLanguageMgr& language, const std::string& text,
                                           QWidget* parent)
    : CErrorTextDlg(language, kDlgProcessCodeError, kCtlProcessCodeIntro, QStyle::SP_MessageBoxWarning, text,
                    parent)
{
    setObjectName(QStringLiteral("processCodeErrorDialog"));
}
