#include "client/gui/proxyauthdlg.h"

#include "ui_proxyauthdlg.h"

#include "client/gui/uitexts.h"
#include "client/langmgr.h"
#include "client/uitextids.h"

#include <QPushButton>
#include <QStyle>

CProxyAuthDlg::CProxyAuthDlg(const CLanguageMgr& language, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::CProxyAuthDlg>()), m_language(language)
{
    m_ui->setupUi(this);
    m_ui->buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("okButton"));
    m_ui->buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancelButton"));
    SetMessageIcon(*m_ui->iconLabel, QStyle::SP_MessageBoxQuestion);
    connect(m_ui->buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_ui->buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_ui->userEdit, &QLineEdit::textChanged, this, &CProxyAuthDlg::UpdateOk);
    Retranslate();
    UpdateOk();
}

CProxyAuthDlg::~CProxyAuthDlg() = default;

void CProxyAuthDlg::Retranslate()
{
    ApplyDialogTexts(*this, m_language.LoadDialog(kDlgProxyAuth),
                     {{kCtlProxyAuthText, m_ui->promptLabel},
                      {kCtlProxyUser, m_ui->userLabel},
                      {kCtlProxyPassword, m_ui->passwordLabel},
                      {kCtlOk, m_ui->buttons->button(QDialogButtonBox::Ok)},
                      {kCtlCancel, m_ui->buttons->button(QDialogButtonBox::Cancel)}});
}

void CProxyAuthDlg::UpdateOk()
{
    m_ui->buttons->button(QDialogButtonBox::Ok)->setEnabled(!m_ui->userEdit->text().trimmed().isEmpty());
}

bool CProxyAuthDlg::Ask(std::string& user, std::string& password)
{
    m_ui->userEdit->setText(ToQString(user));
    m_ui->passwordEdit->clear();
    (user.empty() ? m_ui->userEdit : m_ui->passwordEdit)->setFocus();
    if (exec() != QDialog::Accepted)
        return false;
    user = FromQString(m_ui->userEdit->text());
    password = FromQString(m_ui->passwordEdit->text());
    return true;
}
