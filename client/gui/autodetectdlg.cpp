#include "client/gui/autodetectdlg.h"

#include "ui_autodetectdlg.h"

#include "client/gui/uitexts.h"
#include "client/langmgr.h"
#include "client/uitextids.h"

#include <QPushButton>
#include <QStyle>

CScanAutoDetectInstructDlg::CScanAutoDetectInstructDlg(const CLanguageMgr& language, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::CScanAutoDetectInstructDlg>()), m_language(language)
{
    m_ui->setupUi(this);
    setWindowModality(Qt::ApplicationModal);
    m_ui->buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("okButton"));
    m_ui->buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancelButton"));
    SetMessageIcon(*m_ui->iconLabel, QStyle::SP_MessageBoxInformation);
    connect(m_ui->buttons, &QDialogButtonBox::accepted, this, [this] {
        if (m_answer)
            m_answer->exit(1);
    });
    connect(m_ui->buttons, &QDialogButtonBox::rejected, this, &CScanAutoDetectInstructDlg::reject);
    ShowProbing(false);
    Retranslate();
}

CScanAutoDetectInstructDlg::~CScanAutoDetectInstructDlg()
{
    if (m_answer)
        m_answer->exit(0);
}

void CScanAutoDetectInstructDlg::Retranslate()
{
    ApplyDialogTexts(*this, m_language.LoadDialog(kDlgScanAutoDetect),
                     {{kCtlOk, m_ui->buttons->button(QDialogButtonBox::Ok)},
                      {kCtlCancel, m_ui->buttons->button(QDialogButtonBox::Cancel)}});
}

void CScanAutoDetectInstructDlg::ShowProbing(bool probing)
{
    m_probing = probing;
    m_ui->buttons->setVisible(!probing);
    m_ui->progressBar->setVisible(probing);
    m_ui->progressText->setVisible(probing);
}

bool CScanAutoDetectInstructDlg::ShowInstructions(const std::string& text)
{
    m_ui->instructionText->setText(ToQString(text));
    ShowProbing(false);
    show();
    m_ui->buttons->button(QDialogButtonBox::Ok)->setFocus();
    QEventLoop answer;
    m_answer = &answer;
    const bool ok = answer.exec() == 1;
    m_answer = nullptr;
    if (!ok) {
        hide();
        return false;
    }
    ShowProbing(true);
    adjustSize();
    return true;
}

void CScanAutoDetectInstructDlg::SetProgress(std::int32_t position, std::int32_t range)
{
    m_ui->progressBar->setRange(0, range);
    m_ui->progressBar->setValue(position);
}

void CScanAutoDetectInstructDlg::SetText(const std::string& text)
{
    m_ui->progressText->setText(ToQString(text));
}

void CScanAutoDetectInstructDlg::Finish(std::optional<std::int32_t>)
{
    ShowProbing(false);
    hide();
    if (parentWidget())
        parentWidget()->activateWindow();
    Q_EMIT detectionEnded();
}

void CScanAutoDetectInstructDlg::reject()
{
    // The probing ends by itself (found, or the time-out); until then
    // Escape and closing the window do nothing.
    if (m_probing)
        return;
    if (m_answer)
        m_answer->exit(0);
    else
        QDialog::reject();
}
