#include "client/gui/dlgremovefailed.h"

#include "client/gui/uitexts.h"
#include "client/langmgr.h"
#include "client/uitextids.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

CDlgRemoveFailed::CDlgRemoveFailed(const CLanguageMgr& language, const std::vector<std::string>& left,
                                   QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("removeFailed"));
    auto* icon = new QLabel(this);
    SetMessageIcon(*icon, QStyle::SP_MessageBoxWarning);
    icon->setAlignment(Qt::AlignTop);
    auto* text = new QLabel(this);
    text->setWordWrap(true);
    auto* items = new QListWidget(this);
    items->setObjectName(QStringLiteral("leftList"));
    for (const std::string& item : left)
        items->addItem(ToQString(item));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setObjectName(QStringLiteral("okButton"));
    auto* column = new QVBoxLayout;
    column->addWidget(text);
    column->addWidget(items, 1);
    auto* row = new QHBoxLayout;
    row->addWidget(icon);
    row->addLayout(column, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row, 1);
    layout->addWidget(buttons);
    ApplyDialogTexts(*this, language.LoadDialog(kDlgRemoveFailed),
                     {{kCtlRemoveFailedText, text}, {kCtlOk, ok}});
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    resize(520, 300);
}
