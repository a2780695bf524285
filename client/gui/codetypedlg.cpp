#include "client/gui/codetypedlg.h"

#include "ui_codetypedlg.h"

#include "client/gui/uitexts.h"
#include "client/langmgr.h"
#include "client/scode.h"
#include "client/uitextids.h"

#include <QPushButton>

CCodeTypeChoiceDlg::CCodeTypeChoiceDlg(const CLanguageMgr& language, const std::string& code,
                                       std::vector<int> types, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::CCodeTypeChoiceDlg>()), m_language(language),
      m_types(std::move(types))
{
    m_ui->setupUi(this);
    m_ui->buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("okButton"));
    m_ui->buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancelButton"));
    m_ui->codeValue->setText(ToQString(code));
    QFont bold = m_ui->codeValue->font();
    bold.setBold(true);
    m_ui->codeValue->setFont(bold);
    for (std::size_t i = 0; i < m_types.size(); ++i)
        new QTreeWidgetItem(m_ui->typeList);
    if (m_ui->typeList->topLevelItemCount() > 0)
        m_ui->typeList->setCurrentItem(m_ui->typeList->topLevelItem(0));
    connect(m_ui->buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_ui->buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_ui->typeList, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);
    connect(m_ui->typeList, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
        m_ui->buttons->button(QDialogButtonBox::Ok)->setEnabled(current != nullptr);
    });
    m_ui->buttons->button(QDialogButtonBox::Ok)->setEnabled(m_ui->typeList->currentItem() != nullptr);
    Retranslate();
}

CCodeTypeChoiceDlg::~CCodeTypeChoiceDlg() = default;

void CCodeTypeChoiceDlg::Retranslate()
{
    ApplyDialogTexts(*this, m_language.LoadDialog(kDlgCodeTypeChoice),
                     {{kCtlChoiceText, m_ui->choiceLabel},
                      {kCtlChoiceCode, m_ui->codeLabel},
                      {kCtlOk, m_ui->buttons->button(QDialogButtonBox::Ok)},
                      {kCtlCancel, m_ui->buttons->button(QDialogButtonBox::Cancel)}});
    m_ui->typeList->setHeaderLabels({UiText(m_language, kStrTypeDescription)});
    for (std::size_t i = 0; i < m_types.size(); ++i)
        m_ui->typeList->topLevelItem(static_cast<int>(i))
            ->setText(0, UiText(m_language, StoredTypeNameId(m_types[i])));
}

std::optional<int> CCodeTypeChoiceDlg::Ask()
{
    m_ui->typeList->setFocus();
    exec();
    return ChosenType();
}

std::optional<int> CCodeTypeChoiceDlg::ChosenType() const
{
    const int row = m_ui->typeList->indexOfTopLevelItem(m_ui->typeList->currentItem());
    if (result() != QDialog::Accepted || row < 0)
        return std::nullopt;
    return m_types[static_cast<std::size_t>(row)];
}
