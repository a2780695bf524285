#include "client/gui/setupprogress.h"

#include "client/gui/uitexts.h"
#include "client/instutil.h"
#include "client/langmgr.h"
#include "client/uitextids.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <exception>

namespace {

// Hands each step from the worker to the dialog's thread.
class CPostingProgress : public CSetupProgress {
public:
    explicit CPostingProgress(std::function<void(const QString&)> post) : m_post(std::move(post)) {}
    void Step(const std::string& text) override { m_post(ToQString(text)); }

private:
    std::function<void(const QString&)> m_post;
};

} // namespace

CSetupProgressDlg::CSetupProgressDlg(const CLanguageMgr& language, int failedHeading, QWidget* parent)
    : QDialog(parent), m_language(language), m_failedHeading(failedHeading), m_steps(new QListWidget(this)),
      m_busy(new QProgressBar(this)), m_result(new QLabel(this)),
      m_buttons(new QDialogButtonBox(QDialogButtonBox::Ok, this))
{
    setObjectName(QStringLiteral("setupProgress"));
    m_steps->setObjectName(QStringLiteral("stepList"));
    m_steps->setSelectionMode(QAbstractItemView::NoSelection);
    m_steps->setFocusPolicy(Qt::NoFocus);
    m_busy->setRange(0, 0);
    m_busy->setTextVisible(false);
    m_result->setObjectName(QStringLiteral("resultLabel"));
    m_result->setWordWrap(true);
    m_result->setTextFormat(Qt::PlainText);
    m_result->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QPushButton* ok = m_buttons->button(QDialogButtonBox::Ok);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setEnabled(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_steps, 1);
    layout->addWidget(m_busy);
    layout->addWidget(m_result);
    layout->addWidget(m_buttons);
    ApplyDialogTexts(*this, language.LoadDialog(kDlgSetupProgress), {{kCtlOk, ok}});
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    resize(520, 320);
}

CSetupProgressDlg::~CSetupProgressDlg()
{
    if (m_worker.joinable())
        m_worker.join();
}

void CSetupProgressDlg::Start(Job job)
{
    m_worker = std::thread([this, job = std::move(job)] {
        const auto post = [this](std::function<void()> call) {
            QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
        };
        CPostingProgress progress([&](const QString& text) { post([this, text] { AddStep(text); }); });
        try {
            job(progress);
            post([this] { Finish(true, {}); });
        } catch (const CSetupError& error) {
            const QString text = ToQString(error.Text(m_language));
            post([this, text] { Finish(false, text); });
        } catch (const std::exception& error) {
            const QString text = QString::fromUtf8(error.what());
            post([this, text] { Finish(false, text); });
        }
    });
}

bool CSetupProgressDlg::Run(Job job)
{
    Start(std::move(job));
    exec();
    return m_succeeded;
}

QStringList CSetupProgressDlg::Steps() const
{
    QStringList steps;
    for (int row = 0; row < m_steps->count(); ++row)
        steps << m_steps->item(row)->text();
    return steps;
}

QString CSetupProgressDlg::Result() const
{
    return m_result->text();
}

void CSetupProgressDlg::AddStep(const QString& text)
{
    m_steps->addItem(text);
    m_steps->scrollToBottom();
}

void CSetupProgressDlg::Finish(bool succeeded, const QString& text)
{
    if (m_worker.joinable())
        m_worker.join();
    m_done = true;
    m_succeeded = succeeded;
    m_busy->hide();
    // A success's last step is its final word; a failure's message comes below.
    if (!succeeded)
        m_result->setText(UiText(m_language, m_failedHeading) + QStringLiteral("\n\n") + text);
    QPushButton* ok = m_buttons->button(QDialogButtonBox::Ok);
    ok->setEnabled(true);
    ok->setDefault(true);
    ok->setFocus();
    Q_EMIT Finished(succeeded);
}

void CSetupProgressDlg::reject()
{
    // Nothing is rolled back, so a running step is never cut short.
    if (m_done)
        QDialog::reject();
}
