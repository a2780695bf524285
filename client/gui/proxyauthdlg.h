#pragma once

#include <QDialog>

#include <memory>
#include <string>

class CLanguageMgr;
namespace Ui {
class CProxyAuthDlg;
}

// The proxy asks for credentials: user name and password, OK or Cancel.
// OK needs a user name.
class CProxyAuthDlg : public QDialog {
    Q_OBJECT

public:
    explicit CProxyAuthDlg(const CLanguageMgr& language, QWidget* parent = nullptr);
    ~CProxyAuthDlg() override;

    void Retranslate();
    // Modal; `user` is offered as it is. OK fills both and returns true.
    bool Ask(std::string& user, std::string& password);

private:
    void UpdateOk();

    const std::unique_ptr<Ui::CProxyAuthDlg> m_ui;
    const CLanguageMgr& m_language;
};
