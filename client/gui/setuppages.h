#pragma once

#include <QWizardPage>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

class CLanguageMgr;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// A page of the installer's wizards: its texts come from the language
// manager, again whenever the installation language changes.
class CSetupPage : public QWizardPage {
    Q_OBJECT

public:
    explicit CSetupPage(const CLanguageMgr& language, QWidget* parent = nullptr);
    virtual void Retranslate() = 0;

protected:
    const CLanguageMgr& Language() const { return m_language; }
    // A wrapped text label added to the page's layout.
    QLabel* AddText(const char* objectName);

private:
    const CLanguageMgr& m_language;
};

// Welcome: the installation language, chosen first.
class CPageSetupLanguage : public CSetupPage {
    Q_OBJECT

public:
    explicit CPageSetupLanguage(const CLanguageMgr& language, QWidget* parent = nullptr);
    void Retranslate() override;
    void initializePage() override;

Q_SIGNALS:
    // The index of the language manager's entry the user picked.
    void LanguageChosen(int entry);

private:
    QLabel* m_text;
    QLabel* m_label;
    QComboBox* m_languages;
};

// The installation folder; a folder the user cannot write to is refused.
class CPageSetupFolder : public CSetupPage {
    Q_OBJECT

public:
    CPageSetupFolder(const CLanguageMgr& language, const std::filesystem::path& folder,
                     QWidget* parent = nullptr);
    void Retranslate() override;
    bool validatePage() override;
    std::filesystem::path Folder() const;

private:
    void Browse();
    void ShowProblem();

    int m_problem = 0; // the message that refused the folder
    QLabel* m_text;
    QLabel* m_label;
    QLineEdit* m_folder;
    QPushButton* m_browse;
    QLabel* m_note;
    QLabel* m_error;
};

// What the installer found out about the default browser: `verdict` is the
// message that judges it (no browser, too old, not tested).
class CPageBrowserWarning : public CSetupPage {
    Q_OBJECT

public:
    CPageBrowserWarning(const CLanguageMgr& language, int verdict, QWidget* parent = nullptr);
    void Retranslate() override;

private:
    const int m_verdict;
    QLabel* m_icon;
    QLabel* m_text;
    QLabel* m_note;
};

// The last page before copying: what Install will do, and where.
class CPageSetupReady : public CSetupPage {
    Q_OBJECT

public:
    CPageSetupReady(const CLanguageMgr& language, std::function<std::filesystem::path()> folder,
                    QWidget* parent = nullptr);
    void Retranslate() override;
    void initializePage() override;

private:
    std::function<std::filesystem::path()> m_folderOf;
    QLabel* m_text;
    QLabel* m_folder;
};

// What is installed and what the upgrade will do with it; the texts are
// asked for again in each language.
class CPageSetupUpgrade : public CSetupPage {
    Q_OBJECT

public:
    CPageSetupUpgrade(const CLanguageMgr& language, std::function<std::vector<std::string>()> texts,
                      QWidget* parent = nullptr);
    void Retranslate() override;

private:
    std::function<std::vector<std::string>()> m_texts;
    QLabel* m_situation;
    QLabel* m_question;
};
