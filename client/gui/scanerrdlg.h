#pragma once

#include "client/gui/errtextdlg.h"

// "Scanner Error": the scanner driver's message, shown with OK.
class CScannerErrorDlg : public CErrorTextDlg {
    Q_OBJECT

public:
    CScannerErrorDlg(const CLanguageMgr& language, const std::string& text, QWidget* parent = nullptr);
};
