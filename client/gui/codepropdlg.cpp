#include "client/gui/codepropdlg.h"

#include "ui_codepropdlg.h"

#include "client/gui/uitexts.h"
#include "client/langmgr.h"
#include "client/scode.h"
#include "client/uitextids.h"

#include <QPushButton>

CCodePropDlg::CCodePropDlg(const CLanguageMgr& language, const CStoredCode& code, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::CCodePropDlg>()), m_language(language),
      m_code(std::make_unique<const CStoredCode>(code))
{
    m_ui->setupUi(this);
    m_ui->buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("okButton"));
    connect(m_ui->buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    Retranslate();
}

CCodePropDlg::~CCodePropDlg() = default;

void CCodePropDlg::Retranslate()
{
    ApplyDialogTexts(*this, m_language.LoadDialog(kDlgCodeProperties),
                     {{kCtlPropNumber, m_ui->numberLabel},
                      {kCtlPropCode, m_ui->codeLabel},
                      {kCtlPropType, m_ui->typeLabel},
                      {kCtlPropUserDefined, m_ui->userDescriptionLabel},
                      {kCtlPropItemLevel, m_ui->itemDescriptionLabel},
                      {kCtlPropGenericServer, m_ui->genericDescriptionLabel},
                      {kCtlPropEnterDate, m_ui->enterDateLabel},
                      {kCtlPropLastAccessed, m_ui->lastAccessedLabel},
                      {kCtlPropStatus, m_ui->statusLabel},
                      {kCtlOk, m_ui->buttons->button(QDialogButtonBox::Ok)}});
    m_ui->descriptionGroup->setTitle(UiText(m_language, kStrColumnDescription));
    const QString none = UiText(m_language, kStrNone);
    const auto show = [&none](QLabel* label, const QString& text) {
        label->setText(text.isEmpty() ? none : text);
    };
    show(m_ui->numberValue, QString::number(m_code->number));
    show(m_ui->codeValue, ToQString(m_code->codeText));
    show(m_ui->typeValue, UiText(m_language, StoredTypeNameId(m_code->codeType)));
    show(m_ui->userDescriptionValue, ToQString(m_code->userDescription));
    show(m_ui->itemDescriptionValue, ToQString(m_code->itemDescription));
    show(m_ui->genericDescriptionValue, ToQString(m_code->genericDescription));
    show(m_ui->enterDateValue, DisplayDate(m_code->enterDate));
    show(m_ui->lastAccessedValue, DisplayDate(m_code->lastAccessed));
    show(m_ui->statusValue, UiText(m_language, StoredStatusNameId(m_code->status)));
}
