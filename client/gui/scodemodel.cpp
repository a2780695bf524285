#include "client/gui/scodemodel.h"

#include "client/gui/uitexts.h"
#include "client/langmgr.h"
#include "tst/tsstrutl.h"

namespace {

int Row(std::size_t row)
{
    return static_cast<int>(row);
}

// Control characters of a stored text (a server's description, say)
// written out, so that a cell never breaks its line or shows nothing.
QString Shown(const QString& text)
{
    return ToQString(ShowControlCharacters(FromQString(text)));
}

} // namespace

CStoredCodeModel::CStoredCodeModel(CStoredCodeMgr& codes, const CLanguageMgr& language, QObject* parent)
    : QAbstractTableModel(parent), m_codes(codes), m_language(language)
{
    UpdateRanks();
    m_codes.SetListener(this);
}

CStoredCodeModel::~CStoredCodeModel()
{
    m_codes.SetListener(nullptr);
}

void CStoredCodeModel::Retranslate()
{
    Q_EMIT headerDataChanged(Qt::Horizontal, 0, kColumnCount - 1);
    UpdateRanks(); // type and status names sort by their text
    if (rowCount() > 0)
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, kColumnCount - 1));
}

int CStoredCodeModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : Row(m_codes.Entries().size());
}

int CStoredCodeModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

QString CStoredCodeModel::Text(const CStoredCode& entry, int column) const
{
    switch (column) {
    case kColumnNumber:
        return QString::number(entry.number);
    case kColumnCode:
        return ToQString(entry.codeText);
    case kColumnDescription:
        return ToQString(entry.ShownDescription());
    case kColumnType:
        return UiText(m_language, StoredTypeNameId(entry.codeType));
    case kColumnEnterDate:
        return DisplayDate(entry.enterDate);
    case kColumnLastAccessed:
        return DisplayDate(entry.lastAccessed);
    case kColumnItemId:
        return ToQString(entry.itemId);
    case kColumnServerId:
        return ToQString(entry.serverId);
    case kColumnStatus:
        return UiText(m_language, StoredStatusNameId(entry.status));
    default:
        return {};
    }
}

QVariant CStoredCodeModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const CStoredCode& entry = m_codes.Entries()[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return Shown(Text(entry, index.column()));
    case Qt::EditRole:
        return Text(entry, index.column());
    case Qt::ToolTipRole:
        return index.column() == kColumnDescription ? QVariant(Shown(Text(entry, index.column())))
                                                    : QVariant();
    case Qt::TextAlignmentRole:
        if (index.column() == kColumnNumber)
            return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
        return {};
    case kNumberRole:
        return entry.number;
    case kRankRole:
        return m_rank[static_cast<std::size_t>(index.row())];
    default:
        return {};
    }
}

QVariant CStoredCodeModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole)
        return UiText(m_language, StoredColumnTitleId(section));
    return {};
}

Qt::ItemFlags CStoredCodeModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return QAbstractTableModel::flags(index);
    Qt::ItemFlags flags = QAbstractTableModel::flags(index) | Qt::ItemNeverHasChildren;
    if (index.column() == kColumnDescription)
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool CStoredCodeModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || index.column() != kColumnDescription ||
        !checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return false;
    const CStoredCode& entry = m_codes.Entries()[static_cast<std::size_t>(index.row())];
    const std::string text = FromQString(value.toString());
    if (text == entry.ShownDescription())
        return true; // left as it was: nothing to undo later
    // The manager tells of the change (OnRowsChanged), which updates the views.
    return m_commit ? m_commit(entry.number, text) : m_codes.EditDescription(entry.number, text);
}

void CStoredCodeModel::UpdateRanks()
{
    const std::vector<const CStoredCode*> sorted = m_codes.SortedEntries();
    const CStoredCode* first = m_codes.Entries().data();
    m_rank.assign(sorted.size(), 0);
    for (std::size_t place = 0; place < sorted.size(); ++place)
        m_rank[static_cast<std::size_t>(sorted[place] - first)] = Row(place);
}

void CStoredCodeModel::OnRowsAboutToBeInserted(std::size_t first, std::size_t last)
{
    beginInsertRows({}, Row(first), Row(last));
}

void CStoredCodeModel::OnRowsInserted(std::size_t, std::size_t)
{
    UpdateRanks();
    endInsertRows();
}

void CStoredCodeModel::OnRowsAboutToBeRemoved(std::size_t first, std::size_t last)
{
    beginRemoveRows({}, Row(first), Row(last));
}

void CStoredCodeModel::OnRowsRemoved(std::size_t, std::size_t)
{
    UpdateRanks();
    endRemoveRows();
}

void CStoredCodeModel::OnRowsAboutToBeMoved(std::size_t first, std::size_t last, std::size_t destination)
{
    beginMoveRows({}, Row(first), Row(last), {}, Row(destination));
}

void CStoredCodeModel::OnRowsMoved(std::size_t, std::size_t, std::size_t)
{
    UpdateRanks();
    endMoveRows();
}

void CStoredCodeModel::OnRowsChanged(std::size_t first, std::size_t last)
{
    // Rows whose keys did not change keep their order among themselves, so
    // the proxy re-sorts only the rows told of here.
    UpdateRanks();
    Q_EMIT dataChanged(index(Row(first), 0), index(Row(last), kColumnCount - 1));
}

void CStoredCodeModel::OnAboutToReset()
{
    beginResetModel();
}

void CStoredCodeModel::OnReset()
{
    UpdateRanks();
    endResetModel();
}

void CStoredCodeModel::OnSortChanged(int column, bool ascending)
{
    UpdateRanks();
    if (rowCount() > 0)
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, 0), {kRankRole});
    Q_EMIT sortChanged(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

CStoredCodeProxy::CStoredCodeProxy(CStoredCodeModel& model, QObject* parent) : QSortFilterProxyModel(parent)
{
    setSourceModel(&model);
    setSortRole(CStoredCodeModel::kRankRole);
    setDynamicSortFilter(true);
    sort(0, Qt::AscendingOrder);
}

void CStoredCodeProxy::SetFilterText(const QString& text)
{
    const QString filter = text.trimmed();
    if (filter == m_filter)
        return;
    m_filter = filter;
    invalidateFilter();
}

bool CStoredCodeProxy::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const
{
    if (m_filter.isEmpty())
        return true;
    for (int column : {kColumnCode, kColumnType, kColumnDescription}) {
        const QModelIndex index = sourceModel()->index(sourceRow, column, sourceParent);
        if (index.data().toString().contains(m_filter, Qt::CaseInsensitive))
            return true;
    }
    return false;
}
