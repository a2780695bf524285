#pragma once

#include <QWizard>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

class CLanguageMgr;
class CPageSetupFolder;
class CSetupPage;

// The frame of the installer's wizards: the language page first, the
// buttons in the installation language, every page re-titled when the user
// picks another language.
class CSetupSheet : public QWizard {
    Q_OBJECT

public:
    explicit CSetupSheet(CLanguageMgr& language, QWidget* parent = nullptr);

    void Retranslate();
    // The pages' object names in the order they come.
    QStringList PageOrder() const;

protected:
    void AddPage(CSetupPage* page);
    // The text of the button that ends the pages.
    virtual int FinishText() const = 0;

private:
    void ChooseLanguage(int entry);

    CLanguageMgr& m_language;
    std::vector<CSetupPage*> m_pages;
};

// A new installation: language, folder, the browser's verdict when it is
// not a supported browser, then what Install will do.
class CSheetInstall : public CSetupSheet {
    Q_OBJECT

public:
    // `browserVerdict`: the message that judges the default browser, 0 for
    // a supported one (no page then).
    CSheetInstall(CLanguageMgr& language, const std::filesystem::path& folder, int browserVerdict,
                  QWidget* parent = nullptr);
    std::filesystem::path Folder() const;

protected:
    int FinishText() const override;

private:
    CPageSetupFolder* m_folder;
};

// An upgrade of what is installed: language, then what is installed and
// what the upgrade does; it goes where the installed copy is.
class CSheetUpgrade : public CSetupSheet {
    Q_OBJECT

public:
    CSheetUpgrade(CLanguageMgr& language, std::function<std::vector<std::string>()> texts,
                  QWidget* parent = nullptr);

protected:
    int FinishText() const override;
};
