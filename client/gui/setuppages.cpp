#include "client/gui/setuppages.h"

#include "client/gui/uitexts.h"
#include "client/instutil.h"
#include "client/langmgr.h"
#include "client/uitextids.h"

#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString DialogCaption(const CLanguageMgr& language, int dialog)
{
    return ToQString(language.LoadDialog(dialog).caption);
}

QString ControlText(const CLanguageMgr& language, int dialog, int control)
{
    const CDialogTexts texts = language.LoadDialog(dialog);
    const auto found = texts.controls.find(control);
    return found == texts.controls.end() ? QString() : ToQString(found->second);
}

} // namespace

CSetupPage::CSetupPage(const CLanguageMgr& language, QWidget* parent)
    : QWizardPage(parent), m_language(language)
{
    // Paragraphs apart, as the page's texts are.
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(layout->spacing() * 2);
}

QLabel* CSetupPage::AddText(const char* objectName)
{
    auto* label = new QLabel(this);
    label->setObjectName(QString::fromLatin1(objectName));
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    layout()->addWidget(label);
    return label;
}

CPageSetupLanguage::CPageSetupLanguage(const CLanguageMgr& language, QWidget* parent)
    : CSetupPage(language, parent), m_text(AddText("languageText")), m_label(new QLabel(this)),
      m_languages(new QComboBox(this))
{
    setObjectName(QStringLiteral("languagePage"));
    m_languages->setObjectName(QStringLiteral("languageCombo"));
    for (const CLanguageEntry& entry : language.Entries())
        m_languages->addItem(ToQString(entry.text));
    m_languages->setCurrentIndex(static_cast<int>(language.CurrentIndex()));
    m_label->setBuddy(m_languages);
    auto* row = new QHBoxLayout;
    row->addWidget(m_label);
    row->addWidget(m_languages, 1);
    static_cast<QVBoxLayout*>(layout())->addLayout(row);
    static_cast<QVBoxLayout*>(layout())->addStretch();
    connect(m_languages, &QComboBox::activated, this, &CPageSetupLanguage::LanguageChosen);
}

void CPageSetupLanguage::Retranslate()
{
    setTitle(UiText(Language(), kStrInstallWelcome));
    m_text->setText(UiText(Language(), kStrInstallChooseLanguage));
    m_label->setText(ControlText(Language(), kDlgSetupLanguage, kCtlSetupLanguageLabel));
    m_languages->setCurrentIndex(static_cast<int>(Language().CurrentIndex()));
}

void CPageSetupLanguage::initializePage()
{
    m_languages->setFocus();
}

CPageSetupFolder::CPageSetupFolder(const CLanguageMgr& language, const std::filesystem::path& folder,
                                   QWidget* parent)
    : CSetupPage(language, parent), m_text(AddText("folderText")), m_label(new QLabel(this)),
      m_folder(new QLineEdit(ToQString(folder.string()), this)), m_browse(new QPushButton(this)),
      m_note(nullptr), m_error(nullptr)
{
    setObjectName(QStringLiteral("folderPage"));
    m_folder->setObjectName(QStringLiteral("folderEdit"));
    m_browse->setObjectName(QStringLiteral("browseButton"));
    m_label->setBuddy(m_folder);
    auto* row = new QHBoxLayout;
    row->addWidget(m_label);
    row->addWidget(m_folder, 1);
    row->addWidget(m_browse);
    static_cast<QVBoxLayout*>(layout())->addLayout(row);
    m_note = AddText("folderNote");
    m_error = AddText("folderError");
    m_error->setStyleSheet(QStringLiteral("color: #b00020"));
    m_error->hide();
    static_cast<QVBoxLayout*>(layout())->addStretch();
    connect(m_browse, &QPushButton::clicked, this, &CPageSetupFolder::Browse);
    connect(m_folder, &QLineEdit::textChanged, this, [this] {
        m_problem = 0;
        ShowProblem();
    });
}

void CPageSetupFolder::Retranslate()
{
    setTitle(DialogCaption(Language(), kDlgSetupFolder));
    m_text->setText(ControlText(Language(), kDlgSetupFolder, kCtlSetupFolderText));
    m_label->setText(ControlText(Language(), kDlgSetupFolder, kCtlSetupFolderLabel));
    m_browse->setText(ControlText(Language(), kDlgSetupFolder, kCtlSetupBrowse));
    m_note->setText(ControlText(Language(), kDlgSetupFolder, kCtlSetupFolderNote));
    ShowProblem();
}

std::filesystem::path CPageSetupFolder::Folder() const
{
    return FromQString(m_folder->text().trimmed());
}

bool CPageSetupFolder::validatePage()
{
    const std::filesystem::path folder = Folder();
    m_problem = 0;
    if (folder.empty() || !folder.is_absolute())
        m_problem = kStrCannotCreateFolder;
    else if (!CanWriteFolder(folder))
        m_problem = kStrNeedAdminToInstall;
    ShowProblem();
    if (m_problem == 0)
        return true;
    m_folder->setFocus();
    return false;
}

void CPageSetupFolder::ShowProblem()
{
    m_error->setVisible(m_problem != 0);
    if (m_problem != 0)
        m_error->setText(ToQString(Language().FormatMessage(m_problem, {FromQString(m_folder->text())})));
}

void CPageSetupFolder::Browse()
{
    const QString chosen =
        QFileDialog::getExistingDirectory(this, UiText(Language(), kStrSetupChooseFolder), m_folder->text());
    if (!chosen.isEmpty())
        m_folder->setText(chosen);
}

CPageBrowserWarning::CPageBrowserWarning(const CLanguageMgr& language, int verdict, QWidget* parent)
    : CSetupPage(language, parent), m_verdict(verdict), m_icon(new QLabel(this)), m_text(new QLabel(this)),
      m_note(nullptr)
{
    setObjectName(QStringLiteral("browserPage"));
    m_text->setObjectName(QStringLiteral("browserText"));
    m_text->setWordWrap(true);
    m_text->setTextFormat(Qt::PlainText);
    const bool stopping = verdict == kStrNoDefaultBrowser || verdict == kStrBrowserTooOld;
    SetMessageIcon(*m_icon, stopping ? QStyle::SP_MessageBoxCritical : QStyle::SP_MessageBoxWarning);
    m_icon->setAlignment(Qt::AlignTop);
    auto* row = new QHBoxLayout;
    row->addWidget(m_icon);
    row->addWidget(m_text, 1);
    static_cast<QVBoxLayout*>(layout())->addLayout(row);
    m_note = AddText("browserNote");
    static_cast<QVBoxLayout*>(layout())->addStretch();
}

void CPageBrowserWarning::Retranslate()
{
    setTitle(DialogCaption(Language(), kDlgBrowserWarning));
    m_text->setText(UiText(Language(), m_verdict));
    m_note->setText(UiText(Language(), kStrBrowserUsesDefault));
}

CPageSetupReady::CPageSetupReady(const CLanguageMgr& language, std::function<std::filesystem::path()> folder,
                                 QWidget* parent)
    : CSetupPage(language, parent), m_folderOf(std::move(folder)), m_text(AddText("readyText")),
      m_folder(AddText("readyFolder"))
{
    setObjectName(QStringLiteral("readyPage"));
    static_cast<QVBoxLayout*>(layout())->addStretch();
}

void CPageSetupReady::Retranslate()
{
    setTitle(DialogCaption(Language(), kDlgSetupReady));
    m_text->setText(ControlText(Language(), kDlgSetupReady, kCtlSetupReadyText));
    m_folder->setText(ToQString(Language().FormatMessage(kStrSetupFolderChosen, {m_folderOf().string()})));
}

void CPageSetupReady::initializePage()
{
    Retranslate();
}

CPageSetupUpgrade::CPageSetupUpgrade(const CLanguageMgr& language,
                                     std::function<std::vector<std::string>()> texts, QWidget* parent)
    : CSetupPage(language, parent), m_texts(std::move(texts)), m_situation(AddText("upgradeText")),
      m_question(AddText("upgradeQuestion"))
{
    setObjectName(QStringLiteral("upgradePage"));
    static_cast<QVBoxLayout*>(layout())->addStretch();
}

void CPageSetupUpgrade::Retranslate()
{
    setTitle(DialogCaption(Language(), kDlgSetupUpgrade));
    QStringList paragraphs;
    for (const std::string& text : m_texts())
        paragraphs << ToQString(text);
    m_situation->setText(paragraphs.join(QStringLiteral("\n\n")));
    m_question->setText(ControlText(Language(), kDlgSetupUpgrade, kCtlSetupUpgradeQuestion));
}
