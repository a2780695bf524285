#pragma once

#include "client/config.h"
#include "client/ppage.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

class CClientDoc;
class CLanguageMgr;
class CQtUiPort;
class CWizPropertyPage;
class QLabel;
class QPushButton;
class QStackedWidget;

// The settings sheet in one of its modes: a wizard with Back, Next and
// Finish (modes 0, 1 and 6) or a single page with Finish, the wizard
// bitmap at the left and Help on every page. Finish applies every page that
// was shown, in order; in the first start the registration page's Finish
// runs the attach query first, with the sheet hidden, and the sheet ends
// only once an identity is stored. Cancel puts the settings back as they
// were when the sheet opened.
class CCfgPropertySheet : public QDialog {
    Q_OBJECT

public:
    // `languageChanged` re-titles the other windows after the language page.
    CCfgPropertySheet(CClientDoc& doc, CQtUiPort& port, CSheetMode mode,
                      std::function<void()> languageChanged = {}, QWidget* parent = nullptr);
    ~CCfgPropertySheet() override;

    CSheetMode Mode() const { return m_logic.Mode(); }
    CWizPropertyPage* CurrentPage() const;
    CWizPropertyPage* Page(CPageId id) const;
    void Retranslate();

    // The browser's warning (code 16) when the settings wizard opens.
    int exec() override;

public Q_SLOTS:
    void reject() override;

private:
    void AddPages(const std::function<void()>& languageChanged);
    void ShowPage(CPageId id);
    void UpdateButtons();
    void Next();
    void Back();
    void Finish();
    bool ApplyShownPages();
    void Register();
    void RegistrationEnded(bool attached, const std::string& failure);
    void Help();

    CClientDoc& m_doc;
    CQtUiPort& m_port;
    CPageLogic m_logic;
    CSheetSequence m_sequence;
    const CClientSettings m_before;
    std::vector<CWizPropertyPage*> m_pages;
    std::set<CPageId> m_visited;
    QLabel* m_bitmap;
    QLabel* m_title;
    QStackedWidget* m_stack;
    QPushButton* m_help;
    QPushButton* m_back;
    QPushButton* m_next;
    QPushButton* m_finish;
    QPushButton* m_cancel;
    QWidget* m_progress = nullptr;
    bool m_registering = false;
};

// "Registration Complete": this copy is attached to the account.
class CRegFinishDlg : public QDialog {
    Q_OBJECT

public:
    CRegFinishDlg(const CLanguageMgr& language, QWidget* parent = nullptr);
};
