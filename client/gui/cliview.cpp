#include "client/gui/cliview.h"

#include "client/gui/uitexts.h"
#include "client/uitextids.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

CClientView::CClientView(const CLanguageMgr& language, QWidget* parent)
    : QWidget(parent), m_language(language), m_entryLabel(new QLabel(this)), m_entry(new QLineEdit(this)),
      m_go(new QPushButton(this)), m_add(new QPushButton(this)), m_filterLabel(new QLabel(this)),
      m_filter(new QLineEdit(this)), m_listArea(new QVBoxLayout), m_progress(new QProgressBar(this)),
      m_status(new QLabel(this))
{
    setObjectName(QStringLiteral("clientView"));
    m_entryLabel->setObjectName(QStringLiteral("entryLabel"));
    m_entry->setObjectName(QStringLiteral("codeEntry"));
    m_go->setObjectName(QStringLiteral("goButton"));
    m_add->setObjectName(QStringLiteral("addToListButton"));
    m_filterLabel->setObjectName(QStringLiteral("filterLabel"));
    m_filter->setObjectName(QStringLiteral("filterEntry"));
    m_progress->setObjectName(QStringLiteral("progressBar"));
    m_status->setObjectName(QStringLiteral("statusText"));

    m_entryLabel->setBuddy(m_entry);
    m_filterLabel->setBuddy(m_filter);
    m_filter->setClearButtonEnabled(true);
    m_go->setDefault(true);
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
    // Shown while a batch reports its progress; the status text keeps the row.
    m_progress->hide();
    m_status->setMinimumHeight(m_progress->sizeHint().height());
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* grid = new QGridLayout;
    grid->addWidget(m_entryLabel, 0, 0);
    grid->addWidget(m_entry, 0, 1);
    grid->addWidget(m_go, 0, 2);
    grid->addWidget(m_add, 0, 3);
    grid->addWidget(m_filterLabel, 1, 0);
    grid->addWidget(m_filter, 1, 1, 1, 3);
    grid->setColumnStretch(1, 1);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_progress, 1);
    bottom->addWidget(m_status, 2);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(m_listArea, 1);
    layout->addLayout(bottom);

    setTabOrder(m_entry, m_go);
    setTabOrder(m_go, m_add);
    setTabOrder(m_add, m_filter);

    connect(m_go, &QPushButton::clicked, this, &CClientView::GoRequested);
    connect(m_add, &QPushButton::clicked, this, &CClientView::AddToListRequested);
    connect(m_entry, &QLineEdit::returnPressed, this, &CClientView::GoRequested);
    Retranslate();
}

void CClientView::SetList(QWidget* list)
{
    if (m_list)
        m_list->deleteLater();
    m_list = list;
    if (!list)
        return;
    m_listArea->addWidget(list);
    setTabOrder(m_filter, list);
}

QString CClientView::EntryText() const
{
    return m_entry->text();
}

void CClientView::SetEntryText(const QString& text)
{
    m_entry->setText(text);
}

void CClientView::SelectEntryText()
{
    m_entry->selectAll();
    m_entry->setFocus(Qt::OtherFocusReason);
}

void CClientView::FocusEntry()
{
    m_entry->setFocus(Qt::OtherFocusReason);
}

void CClientView::SetControlsEnabled(bool enabled)
{
    for (QWidget* control : {static_cast<QWidget*>(m_entry), static_cast<QWidget*>(m_go),
                             static_cast<QWidget*>(m_add), static_cast<QWidget*>(m_filter), m_list})
        if (control)
            control->setEnabled(enabled);
}

void CClientView::SetStatusText(const QString& text)
{
    m_status->setText(text);
}

QString CClientView::StatusText() const
{
    return m_status->text();
}

void CClientView::SetProgress(std::int32_t position, std::int32_t range)
{
    m_progress->setRange(0, range > 0 ? range : 1);
    m_progress->setValue(range > 0 ? position : 0);
    m_progress->setVisible(range > 0);
}

void CClientView::Retranslate()
{
    m_entryLabel->setText(UiText(m_language, kStrEnterCodeLabel));
    m_go->setText(UiText(m_language, kStrGoButton));
    m_add->setText(UiText(m_language, kStrAddToListButton));
    m_filterLabel->setText(UiText(m_language, kStrFilterLabel));
    m_filter->setPlaceholderText(UiText(m_language, kStrFilterHint));
}
