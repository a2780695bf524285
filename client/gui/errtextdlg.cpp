#include "client/gui/errtextdlg.h"

#include "ui_errtextdlg.h"

#include "client/gui/uitexts.h"
#include "client/langmgr.h"
#include "client/uitextids.h"

#include <QPushButton>

CErrorTextDlg::CErrorTextDlg(const CLanguageMgr& language, int dialogId, int introControl,
                             QStyle::StandardPixmap icon, const std::string& text, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::CErrorTextDlg>()), m_language(language),
      m_dialogId(dialogId), m_introControl(introControl)
{
    m_ui->setupUi(this);
    m_ui->buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("okButton"));
    SetMessageIcon(*m_ui->iconLabel, icon);
    m_ui->introLabel->setVisible(introControl != 0);
    m_ui->errorText->setText(ToQString(text));
    connect(m_ui->buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    Retranslate();
}

CErrorTextDlg::~CErrorTextDlg() = default;

void CErrorTextDlg::Retranslate()
{
    ApplyDialogTexts(
        *this, m_language.LoadDialog(m_dialogId),
        {{m_introControl, m_ui->introLabel}, {kCtlOk, m_ui->buttons->button(QDialogButtonBox::Ok)}});
}
