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
    QFont bold = m_ui->descriptionHeading->font();
    bold.setBold(true);
    m_ui->descriptionHeading->setFont(bold);
    // Values (a long date on one line) wrap between words at about sixty
    // characters; a longer word
    // is cut, its whole text in the tooltip.
    const int charWidth = fontMetrics().averageCharWidth();
    for (QLabel* label : findChildren<QLabel*>()) {
        if (label->objectName().endsWith(QLatin1String("Value"))) {
            label->setMinimumWidth(40 * charWidth);
            label->setMaximumWidth(60 * charWidth);
        } else {
            // A title beside a value of several lines stays on its first line.
            label->setAlignment(Qt::AlignLeading | Qt::AlignTop);
            label->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::MinimumExpanding);
        }
    }
    // The three descriptions stand under their heading.
    for (QLabel* label :
         {m_ui->userDescriptionLabel, m_ui->itemDescriptionLabel, m_ui->genericDescriptionLabel})
        label->setContentsMargins(2 * charWidth, 0, 0, 0);
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
    m_ui->descriptionHeading->setText(UiText(m_language, kStrColumnDescription));
    const QString none = UiText(m_language, kStrNone);
    const auto show = [&none](QLabel* label, const QString& text) {
        label->setText(text.isEmpty() ? none : text);
        label->setToolTip(text);
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
