#include "client/gui/dlgremovetype.h"

#include "client/gui/uitexts.h"
#include "client/langmgr.h"
#include "client/uitextids.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CDlgRemoveType::CDlgRemoveType(const CLanguageMgr& language, QWidget* parent)
    : QDialog(parent), m_language(language), m_icon(new QLabel(this)), m_text(new QLabel(this)),
      m_registry(new QCheckBox(this)), m_personal(new QCheckBox(this)), m_remove(nullptr), m_cancel(nullptr)
{
    setObjectName(QStringLiteral("removeType"));
    m_registry->setObjectName(QStringLiteral("registryCheck"));
    m_personal->setObjectName(QStringLiteral("personalCheck"));
    m_text->setWordWrap(true);
    SetMessageIcon(*m_icon, QStyle::SP_MessageBoxQuestion);
    m_icon->setAlignment(Qt::AlignTop);
    auto* buttons = new QDialogButtonBox(this);
    m_remove = buttons->addButton(QString(), QDialogButtonBox::AcceptRole);
    m_remove->setObjectName(QStringLiteral("removeButton"));
    m_remove->setDefault(true);
    m_cancel = buttons->addButton(QDialogButtonBox::Cancel);
    m_cancel->setObjectName(QStringLiteral("cancelButton"));
    auto* choices = new QVBoxLayout;
    choices->addWidget(m_text);
    choices->addWidget(m_registry);
    choices->addWidget(m_personal);
    auto* row = new QHBoxLayout;
    row->addWidget(m_icon);
    row->addLayout(choices, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addStretch();
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    Retranslate();
    setMinimumWidth(420);
}

void CDlgRemoveType::Retranslate()
{
    ApplyDialogTexts(*this, m_language.LoadDialog(kDlgRemoveType),
                     {{kCtlRemoveTypeText, m_text}, {kCtlCancel, m_cancel}});
    m_registry->setText(UiText(m_language, kStrRemoveRegistryEntries));
    m_personal->setText(UiText(m_language, kStrRemovePersonalSettings));
    m_remove->setText(UiText(m_language, kStrSetupRemove));
}

bool CDlgRemoveType::RegistryEntries() const
{
    return m_registry->isChecked();
}

bool CDlgRemoveType::PersonalSettings() const
{
    return m_personal->isChecked();
}
