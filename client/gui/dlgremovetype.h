#pragma once

#include <QDialog>

class CLanguageMgr;
class QCheckBox;
class QLabel;
class QPushButton;

// Before a removal: what goes besides the program, its menu entries and
// registry entries. "Registry Entries" is the user key with every setting,
// "Personal Settings" the stored codes, caches and pages of the user.
class CDlgRemoveType : public QDialog {
    Q_OBJECT

public:
    explicit CDlgRemoveType(const CLanguageMgr& language, QWidget* parent = nullptr);

    void Retranslate();
    bool RegistryEntries() const;
    bool PersonalSettings() const;

private:
    const CLanguageMgr& m_language;
    QLabel* m_icon;
    QLabel* m_text;
    QCheckBox* m_registry;
    QCheckBox* m_personal;
    QPushButton* m_remove;
    QPushButton* m_cancel;
};
