#pragma once

#include <QDialog>

#include <string>
#include <vector>

class CLanguageMgr;

// After a removal that could not delete everything: what is left, for the
// user to delete.
class CDlgRemoveFailed : public QDialog {
    Q_OBJECT

public:
    CDlgRemoveFailed(const CLanguageMgr& language, const std::vector<std::string>& left,
                     QWidget* parent = nullptr);
};
