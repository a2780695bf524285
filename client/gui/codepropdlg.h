#pragma once

#include <QDialog>

#include <memory>

class CLanguageMgr;
struct CStoredCode;
namespace Ui {
class CCodePropDlg;
}

// "Code Properties": everything the list keeps of one code, read only.
// Empty texts show "-none-".
class CCodePropDlg : public QDialog {
    Q_OBJECT

public:
    CCodePropDlg(const CLanguageMgr& language, const CStoredCode& code, QWidget* parent = nullptr);
    ~CCodePropDlg() override;

    void Retranslate();

private:
    const std::unique_ptr<Ui::CCodePropDlg> m_ui;
    const CLanguageMgr& m_language;
    const std::unique_ptr<const CStoredCode> m_code;
};
