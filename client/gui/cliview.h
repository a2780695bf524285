#pragma once

#include "client/langmgr.h"

#include <QWidget>

#include <cstdint>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QVBoxLayout;

// The main view: the code entry with Go and Add To List, the filter above
// the stored code list, the list itself (set in by the frame), a progress
// bar and the status text. It only shows and forwards: the buttons emit
// what was typed, the core decides.
class CClientView : public QWidget {
    Q_OBJECT

public:
    explicit CClientView(const CLanguageMgr& language, QWidget* parent = nullptr);

    // The stored code list's widget, placed between the filter and the progress bar.
    void SetList(QWidget* list);
    QWidget* List() const { return m_list; }

    QString EntryText() const;
    void SetEntryText(const QString& text);
    // The whole entry selected and focused, so the next code replaces it.
    void SelectEntryText();
    void FocusEntry();
    QLineEdit* Entry() const { return m_entry; }
    QLineEdit* FilterEntry() const { return m_filter; }

    void SetControlsEnabled(bool enabled);
    void SetStatusText(const QString& text);
    QString StatusText() const;
    void SetProgress(std::int32_t position, std::int32_t range);
    void Retranslate();

Q_SIGNALS:
    void GoRequested();
    void AddToListRequested();

private:
    const CLanguageMgr& m_language;
    QLabel* m_entryLabel;
    QLineEdit* m_entry;
    QPushButton* m_go;
    QPushButton* m_add;
    QLabel* m_filterLabel;
    QLineEdit* m_filter;
    QVBoxLayout* m_listArea;
    QWidget* m_list = nullptr;
    QProgressBar* m_progress;
    QLabel* m_status;
};
