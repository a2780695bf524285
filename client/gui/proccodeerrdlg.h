#pragma once

#include "client/gui/errtextdlg.h"

// The error of a code that cannot be processed at all (errors 18, 19 and
// 10108): shown with OK, the processing of the code ends.
class CProcessCodeErrorDlg : public CErrorTextDlg {
    Q_OBJECT

public:
    CProcessCodeErrorDlg(const CLanguageMgr& language, const std::string& text, QWidget* parent = nullptr);
};
