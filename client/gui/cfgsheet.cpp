#include "client/gui/cfgsheet.h"

#include "client/appcontext.h"
#include "client/clidoc.h"
#include "client/gui/ppagenet.h"
#include "client/gui/ppageopts.h"
#include "client/gui/ppagescan.h"
#include "client/gui/qtuiport.h"
#include "client/gui/uitexts.h"
#include "client/gui/wizpage.h"
#include "client/langmgr.h"
#include "client/uitextids.h"

#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QStyle>
#include <QVBoxLayout>

namespace {

QPushButton* Button(QWidget* parent, const char* name)
{
    auto* button = new QPushButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}

// The wizard bitmap, as tall as the pages.
QPixmap WizardBitmap(int height)
{
    const QIcon bitmap(QStringLiteral(":/lumora/icons/wizard.svg"));
    return bitmap.pixmap(QSize(height * 164 / 314, height));
}

} // namespace

CCfgPropertySheet::CCfgPropertySheet(CClientDoc& doc, CQtUiPort& port, CSheetMode mode,
                                     std::function<void()> languageChanged, QWidget* parent)
    : QDialog(parent), m_doc(doc), m_port(port), m_logic(doc, mode),
      m_sequence(mode, SheetPages(mode, doc.Context().LoadIdentity() == CAppContext::IdentityState::kLoaded)),
      m_before(doc.Context().Config().Settings()), m_bitmap(new QLabel(this)), m_title(new QLabel(this)),
      m_stack(new QStackedWidget(this)), m_help(Button(this, "helpButton")),
      m_back(Button(this, "backButton")), m_next(Button(this, "nextButton")),
      m_finish(Button(this, "finishButton")), m_cancel(Button(this, "cancelButton"))
{
    setObjectName(QStringLiteral("settingsSheet"));
    setModal(true);
    m_bitmap->setObjectName(QStringLiteral("wizardBitmap"));
    m_title->setObjectName(QStringLiteral("pageTitle"));
    QFont bold = m_title->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.2);
    m_title->setFont(bold);
    m_bitmap->setPixmap(WizardBitmap(300));
    m_bitmap->setAlignment(Qt::AlignTop);

    auto* pageColumn = new QVBoxLayout;
    pageColumn->addWidget(m_title);
    pageColumn->addSpacing(8);
    pageColumn->addWidget(m_stack, 1);
    auto* top = new QHBoxLayout;
    top->addWidget(m_bitmap);
    top->addSpacing(12);
    top->addLayout(pageColumn, 1);
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_help);
    buttons->addStretch();
    buttons->addWidget(m_back);
    buttons->addWidget(m_next);
    buttons->addWidget(m_finish);
    buttons->addSpacing(8);
    buttons->addWidget(m_cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(line);
    layout->addLayout(buttons);

    AddPages(languageChanged);
    // Tab goes through the page first, then Help, Back, Next, Finish and Cancel.
    QWidget* previous = m_stack;
    for (QWidget* control : m_stack->findChildren<QWidget*>())
        if (control->focusPolicy() & Qt::TabFocus)
            previous = control;
    for (QWidget* button : {m_help, m_back, m_next, m_finish, m_cancel}) {
        setTabOrder(previous, button);
        previous = button;
    }
    connect(m_back, &QPushButton::clicked, this, &CCfgPropertySheet::Back);
    connect(m_next, &QPushButton::clicked, this, &CCfgPropertySheet::Next);
    connect(m_finish, &QPushButton::clicked, this, &CCfgPropertySheet::Finish);
    connect(m_cancel, &QPushButton::clicked, this, &CCfgPropertySheet::reject);
    connect(m_help, &QPushButton::clicked, this, &CCfgPropertySheet::Help);
    Retranslate();
    ShowPage(m_sequence.Pages().front());
    setMinimumSize(620, 400);
}

CCfgPropertySheet::~CCfgPropertySheet()
{
    m_port.SetRegistrationObserver({}, {});
}

void CCfgPropertySheet::AddPages(const std::function<void()>& languageChanged)
{
    for (CPageId id : m_sequence.Pages()) {
        CWizPropertyPage* page = nullptr;
        switch (id) {
        case CPageId::Begin:
        case CPageId::InstallIntro:
            page = new CPPageText(id, kCtlWelcomeText, m_logic, m_stack);
            break;
        case CPageId::End:
            page = new CPPageText(id, kCtlSummaryText, m_logic, m_stack);
            break;
        case CPageId::ScanSel:
            page = new CPPageScanSel(m_logic, m_stack);
            break;
        case CPageId::ScanSetGen:
            page = new CPPageScanSetGen(m_logic, m_stack);
            break;
        case CPageId::ScanSetPen:
            page = new CPPageScanSetPen(m_logic, m_stack);
            break;
        case CPageId::Proxy:
            page = new CPPageProxy(m_logic, m_stack);
            break;
        case CPageId::AutoRun:
            page = new CPPageAutoRun(m_logic, m_stack);
            break;
        case CPageId::AutoDesc:
            page = new CPPageAutoDesc(m_logic, m_stack);
            break;
        case CPageId::AutoGo:
            page = new CPPageAutoGo(m_logic, m_stack);
            break;
        case CPageId::Registration:
            page = new CPPageInstallUserIDPassword(m_logic, m_stack);
            break;
        case CPageId::Advanced:
            page = new CPPageAdvanced(m_logic, m_stack);
            break;
        case CPageId::LangSel:
            page = new CPPageLangSel(
                m_logic,
                [this, languageChanged] {
                    Retranslate();
                    if (languageChanged)
                        languageChanged();
                },
                m_stack);
            break;
        }
        page->setObjectName(QStringLiteral("page%1").arg(static_cast<int>(id)));
        connect(page, &CWizPropertyPage::sequenceChanged, this, &CCfgPropertySheet::UpdateButtons);
        m_stack->addWidget(page);
        m_pages.push_back(page);
    }
}

CWizPropertyPage* CCfgPropertySheet::CurrentPage() const
{
    return static_cast<CWizPropertyPage*>(m_stack->currentWidget());
}

CWizPropertyPage* CCfgPropertySheet::Page(CPageId id) const
{
    for (CWizPropertyPage* page : m_pages)
        if (page->Id() == id)
            return page;
    return nullptr;
}

void CCfgPropertySheet::Retranslate()
{
    const CLanguageMgr& language = m_doc.Context().Language();
    m_help->setText(UiText(language, kStrSheetHelp));
    m_back->setText(UiText(language, kStrSheetBack));
    m_next->setText(UiText(language, kStrSheetNext));
    m_finish->setText(UiText(language, kStrSheetFinish));
    m_cancel->setText(UiText(language, kStrSheetCancel));
    for (CWizPropertyPage* page : m_pages)
        page->Retranslate();
    if (CWizPropertyPage* page = CurrentPage())
        m_title->setText(page->Title());
    setWindowTitle(Mode() == CSheetMode::Wizard ? UiText(language, kStrSettingsWizard)
                                                : (CurrentPage() ? CurrentPage()->Title() : QString()));
}

int CCfgPropertySheet::exec()
{
    // Centred on the desktop.
    adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    if (Mode() == CSheetMode::Wizard)
        if (const int warning = m_logic.BrowserWarning())
            QMetaObject::invokeMethod(
                this, [this, warning] { m_doc.ShowWarning(warning, kCodeBrowser); }, Qt::QueuedConnection);
    // A loop of its own rather than QDialog's, which would end when the
    // sheet hides itself for the registration.
    QEventLoop loop;
    connect(this, &QDialog::finished, &loop, &QEventLoop::exit);
    setWindowModality(Qt::ApplicationModal);
    show();
    return loop.exec(QEventLoop::DialogExec);
}

void CCfgPropertySheet::ShowPage(CPageId id)
{
    CWizPropertyPage* page = Page(id);
    if (!page)
        return;
    m_visited.insert(id);
    page->Load();
    m_stack->setCurrentWidget(page);
    m_title->setText(page->Title());
    if (Mode() != CSheetMode::Wizard)
        setWindowTitle(page->Title());
    UpdateButtons();
    // The focus on the page's first control.
    for (QWidget* control : page->findChildren<QWidget*>())
        if ((control->focusPolicy() & Qt::TabFocus) && control->isEnabled() && control->isVisibleTo(page)) {
            control->setFocus(Qt::OtherFocusReason);
            break;
        }
}

void CCfgPropertySheet::UpdateButtons()
{
    const CWizPropertyPage* page = CurrentPage();
    if (!page)
        return;
    const CPageButtons buttons = m_sequence.Buttons(page->Id(), m_logic.Settings());
    const bool wizard = IsWizardMode(Mode());
    m_back->setVisible(wizard);
    m_next->setVisible(wizard);
    m_back->setEnabled(buttons.back);
    m_next->setEnabled(buttons.next);
    m_finish->setVisible(!wizard || buttons.finish);
    m_finish->setEnabled(buttons.finish);
    QPushButton* forward = buttons.next ? m_next : m_finish;
    forward->setDefault(true);
    (buttons.next ? m_finish : m_next)->setDefault(false);
}

void CCfgPropertySheet::Next()
{
    CWizPropertyPage* page = CurrentPage();
    if (!page || !page->Leave())
        return;
    if (const auto next = m_sequence.Next(page->Id(), m_logic.Settings()))
        ShowPage(*next);
}

void CCfgPropertySheet::Back()
{
    if (const CWizPropertyPage* page = CurrentPage())
        if (const auto back = m_sequence.Back(page->Id(), m_logic.Settings()))
            ShowPage(*back);
}

void CCfgPropertySheet::Finish()
{
    CWizPropertyPage* page = CurrentPage();
    if (!page || !page->Leave())
        return;
    if (page->Id() == CPageId::Registration) {
        Register();
        return;
    }
    if (ApplyShownPages())
        accept();
}

bool CCfgPropertySheet::ApplyShownPages()
{
    for (CWizPropertyPage* page : m_pages) {
        if (!m_visited.count(page->Id()) || !m_sequence.Shows(page->Id(), m_logic.Settings()))
            continue;
        if (!page->Apply()) {
            ShowPage(page->Id());
            return false;
        }
    }
    return true;
}

void CCfgPropertySheet::Register()
{
    auto* page = static_cast<CPPageInstallUserIDPassword*>(CurrentPage());
    hide();
    m_registering = true;
    auto* progress = new QProgressDialog(UiText(m_doc.Context().Language(), kStrRegistering), QString(), 0, 0,
                                         parentWidget());
    progress->setObjectName(QStringLiteral("registrationProgress"));
    progress->setWindowTitle(page->Title());
    progress->setCancelButton(nullptr);
    progress->setMinimumDuration(0);
    progress->setWindowModality(Qt::ApplicationModal);
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    m_progress = progress;
    m_port.SetRegistrationObserver(
        [progress](std::int32_t position, std::int32_t range) {
            progress->setRange(0, range);
            progress->setValue(position);
        },
        [this](bool attached, const std::string& failure) { RegistrationEnded(attached, failure); });
    progress->show();
    if (!m_logic.StartRegistration(page->UserId(), page->Password()))
        RegistrationEnded(false, {});
}

void CCfgPropertySheet::RegistrationEnded(bool attached, const std::string& failure)
{
    m_port.SetRegistrationObserver({}, {});
    m_registering = false;
    if (m_progress) {
        m_progress->deleteLater();
        m_progress = nullptr;
    }
    if (attached) {
        // The account is attached; a page whose values no longer pass
        // shows itself, the rest is saved.
        if (ApplyShownPages()) {
            CRegFinishDlg finished(m_doc.Context().Language(), parentWidget());
            finished.exec();
            accept();
        } else {
            show();
        }
        return;
    }
    if (!failure.empty()) {
        CMessageBoxRequest request;
        request.text = m_doc.Format(kStrRegistrationFailed, {failure});
        m_port.ShowMessageBox(request);
    }
    show();
    ShowPage(CPageId::Registration);
    static_cast<CPPageInstallUserIDPassword*>(CurrentPage())->FocusPassword();
}

void CCfgPropertySheet::reject()
{
    if (m_registering)
        return;
    // Nothing the user changed stays behind.
    m_doc.Context().Config().Settings() = m_before;
    QDialog::reject();
}

void CCfgPropertySheet::Help()
{
    const CWizPropertyPage* page = CurrentPage();
    const std::string address = m_doc.HelpAddress(page ? page->HelpNumber() : 1);
    if (!address.empty())
        m_doc.OpenAddress(address);
}

// Registration complete ---------------------------------------------------------

CRegFinishDlg::CRegFinishDlg(const CLanguageMgr& language, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("registrationComplete"));
    auto* icon = new QLabel(this);
    SetMessageIcon(*icon, QStyle::SP_MessageBoxInformation);
    auto* text = new QLabel(this);
    text->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setObjectName(QStringLiteral("okButton"));
    auto* row = new QHBoxLayout;
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addWidget(text, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    ApplyDialogTexts(*this, language.LoadDialog(kDlgRegistrationComplete),
                     {{kCtlRegisteredText, text}, {kCtlOk, ok}});
    setMinimumWidth(360);
}
