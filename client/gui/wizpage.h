#pragma once

#include "client/ppage.h"

#include <QWidget>

struct CDialogTexts;
class CLanguageMgr;
class QLabel;

// One page of the settings sheet: it shows values of the settings, writes
// each choice into them as the user makes it, and leaves checking and
// saving to the page logic. The sheet around it shows the wizard bitmap,
// the page's title and the Help button.
class CWizPropertyPage : public QWidget {
    Q_OBJECT

public:
    CWizPropertyPage(CPageId id, CPageLogic& logic, QWidget* parent = nullptr);
    ~CWizPropertyPage() override;

    CPageId Id() const { return m_id; }
    QString Title() const;
    // The settings into the controls, when the page becomes active.
    virtual void Load() {}
    // Every text again from the language manager.
    virtual void Retranslate() {}
    // Leaving forwards: false keeps the page, the focus on the field refused.
    virtual bool Leave();
    // Finish: saves what the page edits.
    virtual bool Apply();
    // The help page the Help button opens.
    virtual int HelpNumber() const { return 1; }

Q_SIGNALS:
    // A choice changed which pages follow.
    void sequenceChanged();

protected:
    CPageLogic& Logic() { return m_logic; }
    CClientSettings& Settings() { return m_logic.Settings(); }
    const CLanguageMgr& Language() const;
    CDialogTexts Texts() const;
    QString Text(int stringId) const;
    // The control of a field the checks refuse, for the focus.
    virtual QWidget* FieldWidget(CPageField) { return nullptr; }
    bool Focus(const CPageProblem& problem);

private:
    const CPageId m_id;
    CPageLogic& m_logic;
};

// A page of text only: the welcomes and the summary.
class CPPageText : public CWizPropertyPage {
    Q_OBJECT

public:
    CPPageText(CPageId id, int textControl, CPageLogic& logic, QWidget* parent = nullptr);
    void Retranslate() override;
    int HelpNumber() const override;

private:
    const int m_textControl;
    QLabel* m_text;
};
