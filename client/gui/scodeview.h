#pragma once

#include <QPointer>
#include <QTreeView>

#include <array>
#include <vector>

class CLanguageMgr;
class CStoredCodeMgr;
class CStoredCodeModel;
class CStoredCodeProxy;
struct CClientSettings;
class QAction;
class QLineEdit;
class QMenu;

// The stored code list of the main view: nine columns over the stored code
// manager, sorted by the manager's rules (a header click sorts the manager),
// narrowed by a filter field, with the description edited in place and the
// context menu of the list. Commands that change the document are only
// forwarded as signals; the view runs them through its core.
class CScListCtrl : public QTreeView {
    Q_OBJECT

public:
    // Widths a column has until the stored column data says otherwise, in
    // average character widths.
    static constexpr std::array<int, 9> kDefaultWidths = {5, 20, 32, 18, 38, 38, 11, 11, 14};

    CScListCtrl(CStoredCodeMgr& codes, const CLanguageMgr& language, QWidget* parent = nullptr);
    ~CScListCtrl() override;

    CStoredCodeModel& Model() const { return *m_model; }
    CStoredCodeProxy& Proxy() const { return *m_proxy; }
    QMenu& ContextMenu() const { return *m_menu; }

    void Retranslate();
    // The view's filter field: typing narrows the rows at once.
    void SetFilterEdit(QLineEdit* edit);

    // "ColData": widths in units of the average character width (-1 keeps
    // a column as it is), the sort column and direction (-1 keeps them).
    void ApplyColumnData(const CClientSettings& settings);
    void StoreColumnData(CClientSettings& settings) const;
    // Each column's width in pixels, as the list shows it.
    std::vector<int> ColumnWidths() const;

    // The numbers of the selected codes in the order shown, and the code
    // of the current row when it is selected (0 for none).
    std::vector<unsigned> SelectedNumbers() const;
    unsigned CurrentNumber() const;
    // Marks exactly the selected rows as selected in the manager, which
    // deletes and describes "the selected codes".
    void MirrorSelection();
    // Selects the code with this number alone and scrolls it into view.
    bool ShowNumber(unsigned number);
    // Opens the editor of the current code's description.
    bool EditCurrentDescription();

Q_SIGNALS:
    // The context menu, Enter and a double click: process this code.
    void goRequested(unsigned number);
    // The selection is mirrored into the manager before these two.
    void describeSelectedRequested();
    void deleteRequested();
    void propertiesRequested(unsigned number);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QAction* AddCommand(int commandId, const char* name, QKeySequence key, void (CScListCtrl::*slot)());
    void Go();
    void DescribeSelected();
    void Delete();
    void EditDescription();
    void Properties();
    void OnHeaderClicked(int column);
    void OnSortChanged(int column, Qt::SortOrder order);
    void UpdateCommands();
    int CharWidth() const;

    CStoredCodeMgr& m_codes;
    const CLanguageMgr& m_language;
    CStoredCodeModel* m_model;
    CStoredCodeProxy* m_proxy;
    QMenu* m_menu;
    std::vector<std::pair<int, QAction*>> m_commands; // by menu command identifier
    QPointer<QLineEdit> m_filterEdit;
};
