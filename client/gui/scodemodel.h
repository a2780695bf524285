#pragma once

#include "client/scode.h"

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>

#include <functional>
#include <string>
#include <vector>

class CLanguageMgr;

// The stored code list as a table of nine columns, row i being the entry
// numbered i + 1. It listens to the stored code manager and tells Qt of
// every change as the manager makes it, so views and proxies never read a
// list that is half changed. The manager keeps one listener: this model.
class CStoredCodeModel : public QAbstractTableModel, private CStoredCodeListener {
    Q_OBJECT

public:
    enum Role {
        kNumberRole = Qt::UserRole + 1, // the entry's number
        kRankRole,                      // its place in the manager's sort order
    };
    // How an edited description is committed: the view's core in the
    // client (with its state rules and undo); by default the manager's own
    // EditDescription, which keeps undo too.
    using EditCommit = std::function<bool(unsigned number, const std::string& text)>;

    CStoredCodeModel(CStoredCodeMgr& codes, const CLanguageMgr& language, QObject* parent = nullptr);
    ~CStoredCodeModel() override;

    void SetEditCommit(EditCommit commit) { m_commit = std::move(commit); }
    // Titles, type and status names in the current language.
    void Retranslate();
    const CStoredCodeMgr& Codes() const { return m_codes; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

Q_SIGNALS:
    // The manager's sort changed (a header click, the stored column data).
    void sortChanged(int column, Qt::SortOrder order);

private:
    void OnRowsAboutToBeInserted(std::size_t first, std::size_t last) override;
    void OnRowsInserted(std::size_t first, std::size_t last) override;
    void OnRowsAboutToBeRemoved(std::size_t first, std::size_t last) override;
    void OnRowsRemoved(std::size_t first, std::size_t last) override;
    void OnRowsAboutToBeMoved(std::size_t first, std::size_t last, std::size_t destination) override;
    void OnRowsMoved(std::size_t first, std::size_t last, std::size_t destination) override;
    void OnRowsChanged(std::size_t first, std::size_t last) override;
    void OnAboutToReset() override;
    void OnReset() override;
    void OnSortChanged(int column, bool ascending) override;

    QString Text(const CStoredCode& entry, int column) const;
    // The ranks follow the entries before Qt hears that a change is done.
    void UpdateRanks();

    CStoredCodeMgr& m_codes;
    const CLanguageMgr& m_language;
    EditCommit m_commit;
    std::vector<int> m_rank; // by row
};

// What the list shows of the model: rows in the manager's sort order (the
// proxy sorts by rank, so the list's own comparison rules hold) and only
// those whose code, type or description holds the filter text.
class CStoredCodeProxy : public QSortFilterProxyModel {
    Q_OBJECT

public:
    explicit CStoredCodeProxy(CStoredCodeModel& model, QObject* parent = nullptr);

    void SetFilterText(const QString& text);
    const QString& FilterText() const { return m_filter; }

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    QString m_filter;
};
