#include "client/gui/batcherrdlg.h"

#include "ui_batcherrdlg.h"

#include "client/gui/uitexts.h"
#include "client/langmgr.h"
#include "client/uitextids.h"

#include <QStyle>

CBatchErrorDlg::CBatchErrorDlg(const CLanguageMgr& language, const std::string& text, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::CBatchErrorDlg>()), m_language(language)
{
    m_ui->setupUi(this);
    SetMessageIcon(*m_ui->iconLabel, QStyle::SP_MessageBoxWarning);
    m_ui->errorText->setText(ToQString(text));
    connect(m_ui->retryButton, &QPushButton::clicked, this, [this] { done(VTBatchCodeListener::kRetry); });
    connect(m_ui->skipButton, &QPushButton::clicked, this, [this] { done(VTBatchCodeListener::kGoOn); });
    connect(m_ui->cancelButton, &QPushButton::clicked, this, [this] { done(VTBatchCodeListener::kCancel); });
    Retranslate();
}

CBatchErrorDlg::~CBatchErrorDlg() = default;

void CBatchErrorDlg::Retranslate()
{
    ApplyDialogTexts(*this, m_language.LoadDialog(kDlgBatchError),
                     {{kCtlBatchErrorIntro, m_ui->introLabel},
                      {kCtlBatchErrorQuestion, m_ui->questionLabel},
                      {kCtlRetry, m_ui->retryButton},
                      {kCtlSkip, m_ui->skipButton},
                      {kCtlCancel, m_ui->cancelButton}});
}

VTBatchCodeListener::Decision CBatchErrorDlg::Ask()
{
    exec();
    return Decision();
}

VTBatchCodeListener::Decision CBatchErrorDlg::Decision() const
{
    switch (result()) {
    case VTBatchCodeListener::kRetry:
        return VTBatchCodeListener::kRetry;
    case VTBatchCodeListener::kGoOn:
        return VTBatchCodeListener::kGoOn;
    default:
        return VTBatchCodeListener::kCancel; // Cancel, Escape, the window closed
    }
}
