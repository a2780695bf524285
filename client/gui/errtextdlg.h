#pragma once

#include <QDialog>
#include <QStyle>

#include <memory>
#include <string>

class CLanguageMgr;
namespace Ui {
class CErrorTextDlg;
}

// An error shown with OK: an icon, an optional lead-in line of the dialog's
// template and the text of the error. The scanner and process code error
// dialogs are made of it.
class CErrorTextDlg : public QDialog {
    Q_OBJECT

public:
    // `introControl` 0: the dialog has no lead-in line.
    CErrorTextDlg(const CLanguageMgr& language, int dialogId, int introControl, QStyle::StandardPixmap icon,
                  const std::string& text, QWidget* parent = nullptr);
    ~CErrorTextDlg() override;

    void Retranslate();

private:
    const std::unique_ptr<Ui::CErrorTextDlg> m_ui;
    const CLanguageMgr& m_language;
    const int m_dialogId;
    const int m_introControl;
};
