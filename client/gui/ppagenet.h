#pragma once

#include "client/gui/wizpage.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// "Proxy Settings": a direct connection or a proxy's address and port, and
// Auto-Detect from the system's settings.
class CPPageProxy : public CWizPropertyPage {
    Q_OBJECT

public:
    explicit CPPageProxy(CPageLogic& logic, QWidget* parent = nullptr);
    void Load() override;
    void Retranslate() override;

protected:
    QWidget* FieldWidget(CPageField field) override;

private:
    void Choose();
    void Detect();

    QRadioButton* m_direct;
    QRadioButton* m_viaProxy;
    QLabel* m_addressLabel;
    QLineEdit* m_address;
    QLabel* m_portLabel;
    QLineEdit* m_port;
    QPushButton* m_detect;
};

// "Registration" of the first start: the account's user id and password,
// with New User and Forgot opening the server's pages. The sheet runs the
// registration itself when this page finishes.
class CPPageInstallUserIDPassword : public CWizPropertyPage {
    Q_OBJECT

public:
    explicit CPPageInstallUserIDPassword(CPageLogic& logic, QWidget* parent = nullptr);
    void Retranslate() override;
    // The fields' checks (shown, the focus on the field).
    bool Leave() override;
    int HelpNumber() const override { return 3; }
    std::string UserId() const;
    std::string Password() const;
    void FocusPassword();

protected:
    QWidget* FieldWidget(CPageField field) override;

private:
    QLabel* m_intro;
    QLabel* m_userLabel;
    QLineEdit* m_user;
    QLabel* m_passwordLabel;
    QLineEdit* m_password;
    QPushButton* m_newUser;
    QPushButton* m_forgot;
};
