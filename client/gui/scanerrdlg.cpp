#include "client/gui/scanerrdlg.h"

#include "client/uitextids.h"

CScannerErrorDlg::CScannerErrorDlg(const CLanguageMgr& language, const std::string& text, QWidget* parent)
    : CErrorTextDlg(language, kDlgScannerError, 0, QStyle::SP_MessageBoxCritical, text, parent)
{
    setObjectName(QStringLiteral("scannerErrorDialog"));
}
