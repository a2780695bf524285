#include "client/gui/setupsheets.h"

#include "client/gui/setuppages.h"
#include "client/gui/uitexts.h"
#include "client/langmgr.h"
#include "client/uitextids.h"

#include <QAbstractButton>
#include <QApplication>

CSetupSheet::CSetupSheet(CLanguageMgr& language, QWidget* parent) : QWizard(parent), m_language(language)
{
    setObjectName(QStringLiteral("setupSheet"));
    setWizardStyle(QWizard::ClassicStyle);
    setOption(QWizard::NoBackButtonOnStartPage);
    setWindowIcon(QApplication::windowIcon());
    auto* languagePage = new CPageSetupLanguage(language, this);
    connect(languagePage, &CPageSetupLanguage::LanguageChosen, this, &CSetupSheet::ChooseLanguage);
    AddPage(languagePage);
    resize(560, 400);
}

void CSetupSheet::AddPage(CSetupPage* page)
{
    addPage(page);
    m_pages.push_back(page);
}

QStringList CSetupSheet::PageOrder() const
{
    QStringList names;
    for (const int id : pageIds())
        names << page(id)->objectName();
    return names;
}

void CSetupSheet::ChooseLanguage(int entry)
{
    if (entry < 0 || static_cast<std::size_t>(entry) == m_language.CurrentIndex())
        return;
    // A library that cannot be loaded leaves English current, and the page shows that.
    m_language.SelectByCode(m_language.Entries().at(static_cast<std::size_t>(entry)).code);
    Retranslate();
}

void CSetupSheet::Retranslate()
{
    setWindowTitle(UiText(m_language, kStrSetupTitle));
    setButtonText(QWizard::BackButton, UiText(m_language, kStrSetupBack));
    setButtonText(QWizard::NextButton, UiText(m_language, kStrSetupNext));
    setButtonText(QWizard::CancelButton, UiText(m_language, kStrSetupCancel));
    setButtonText(QWizard::FinishButton, UiText(m_language, FinishText()));
    for (CSetupPage* page : m_pages)
        page->Retranslate();
}

CSheetInstall::CSheetInstall(CLanguageMgr& language, const std::filesystem::path& folder, int browserVerdict,
                             QWidget* parent)
    : CSetupSheet(language, parent), m_folder(new CPageSetupFolder(language, folder, this))
{
    setObjectName(QStringLiteral("sheetInstall"));
    AddPage(m_folder);
    if (browserVerdict != 0)
        AddPage(new CPageBrowserWarning(language, browserVerdict, this));
    AddPage(new CPageSetupReady(
        language, [this] { return Folder(); }, this));
    Retranslate();
}

std::filesystem::path CSheetInstall::Folder() const
{
    return m_folder->Folder();
}

int CSheetInstall::FinishText() const
{
    return kStrSetupInstall;
}

CSheetUpgrade::CSheetUpgrade(CLanguageMgr& language, std::function<std::vector<std::string>()> texts,
                             QWidget* parent)
    : CSetupSheet(language, parent)
{
    setObjectName(QStringLiteral("sheetUpgrade"));
    AddPage(new CPageSetupUpgrade(language, std::move(texts), this));
    Retranslate();
}

int CSheetUpgrade::FinishText() const
{
    return kStrSetupNext;
}
