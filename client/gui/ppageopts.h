#pragma once

#include "client/gui/wizpage.h"

#include <functional>

class QCheckBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

// "Start-up Setting": run at log-on or from the menu.
class CPPageAutoRun : public CWizPropertyPage {
    Q_OBJECT

public:
    explicit CPPageAutoRun(CPageLogic& logic, QWidget* parent = nullptr);
    void Load() override;
    void Retranslate() override;

private:
    QRadioButton* m_automatic;
    QRadioButton* m_manual;
};

// "Stored Code List Settings": where the list shows, and whether
// descriptions come by themselves (always so in the web browser).
class CPPageAutoDesc : public CWizPropertyPage {
    Q_OBJECT

public:
    explicit CPPageAutoDesc(CPageLogic& logic, QWidget* parent = nullptr);
    void Load() override;
    void Retranslate() override;

private:
    QRadioButton* m_browser;
    QRadioButton* m_window;
    QRadioButton* m_automatic;
    QRadioButton* m_manual;
};

// "Batch Process Settings": whether the first code of a download is processed.
class CPPageAutoGo : public CWizPropertyPage {
    Q_OBJECT

public:
    explicit CPPageAutoGo(CPageLogic& logic, QWidget* parent = nullptr);
    void Load() override;
    void Retranslate() override;

private:
    QRadioButton* m_choices[3];
    QLabel* m_note;
};

// "Advanced Settings": Clear Cache, Work OffLine (where offered), Storage
// Only for this run, and the versions of the program and its languages.
class CPPageAdvanced : public CWizPropertyPage {
    Q_OBJECT

public:
    explicit CPPageAdvanced(CPageLogic& logic, QWidget* parent = nullptr);
    void Load() override;
    void Retranslate() override;
    bool Apply() override;

private:
    QPushButton* m_clearCache;
    QCheckBox* m_offline;
    QCheckBox* m_storageOnly;
    QLabel* m_versionLabel;
    QPlainTextEdit* m_version;
};

// "Language Selection": the languages the language manager found.
class CPPageLangSel : public CWizPropertyPage {
    Q_OBJECT

public:
    // `languageChanged` re-titles every window once another language is current.
    CPPageLangSel(CPageLogic& logic, std::function<void()> languageChanged, QWidget* parent = nullptr);
    void Load() override;
    void Retranslate() override;
    bool Apply() override;

private:
    QLabel* m_label;
    QListWidget* m_list;
    std::function<void()> m_languageChanged;
};
