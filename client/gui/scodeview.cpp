#include "client/gui/scodeview.h"

#include "client/config.h"
#include "client/gui/scodemodel.h"
#include "client/gui/uitexts.h"
#include "client/langmgr.h"
#include "client/uitextids.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>

#include <algorithm>
#include <cmath>

CScListCtrl::CScListCtrl(CStoredCodeMgr& codes, const CLanguageMgr& language, QWidget* parent)
    : QTreeView(parent), m_codes(codes), m_language(language),
      m_model(new CStoredCodeModel(codes, language, this)), m_proxy(new CStoredCodeProxy(*m_model, this)),
      m_menu(new QMenu(this))
{
    setObjectName(QStringLiteral("storedCodeList"));
    m_menu->setObjectName(QStringLiteral("storedCodeMenu"));
    setModel(m_proxy);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);
    header()->setSectionsClickable(true);
    header()->setSortIndicatorShown(true);
    for (int column = 0; column < static_cast<int>(kDefaultWidths.size()); ++column)
        header()->resizeSection(column, kDefaultWidths[static_cast<std::size_t>(column)] * CharWidth());

    AddCommand(kCmdListGo, "listGo", QKeySequence(Qt::Key_Return), &CScListCtrl::Go)
        ->setShortcuts({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    AddCommand(kCmdListGetDescriptions, "listGetDescriptions", {}, &CScListCtrl::DescribeSelected);
    AddCommand(kCmdListEditDescription, "listEditDescription", QKeySequence(Qt::Key_F2),
               &CScListCtrl::EditDescription);
    AddCommand(kCmdListDelete, "listDelete", QKeySequence(QKeySequence::Delete), &CScListCtrl::Delete);
    AddCommand(kCmdListProperties, "listProperties", QKeySequence(Qt::ALT | Qt::Key_Return),
               &CScListCtrl::Properties);

    connect(header(), &QHeaderView::sectionClicked, this, &CScListCtrl::OnHeaderClicked);
    connect(m_model, &CStoredCodeModel::sortChanged, this, &CScListCtrl::OnSortChanged);
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid() && index.column() != kColumnDescription)
            Go();
    });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, &CScListCtrl::UpdateCommands);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, &CScListCtrl::UpdateCommands);
    // Removing rows changes the selection without telling of it.
    connect(m_proxy, &QAbstractItemModel::rowsRemoved, this, &CScListCtrl::UpdateCommands);
    connect(m_proxy, &QAbstractItemModel::modelReset, this, &CScListCtrl::UpdateCommands);
    connect(m_proxy, &QAbstractItemModel::layoutChanged, this, &CScListCtrl::UpdateCommands);

    OnSortChanged(m_codes.SortColumn(), m_codes.SortAscending() ? Qt::AscendingOrder : Qt::DescendingOrder);
    Retranslate();
    UpdateCommands();
}

CScListCtrl::~CScListCtrl() = default;

QAction* CScListCtrl::AddCommand(int commandId, const char* name, QKeySequence key,
                                 void (CScListCtrl::*slot)())
{
    auto* action = new QAction(this);
    action->setObjectName(QString::fromLatin1(name));
    action->setData(commandId);
    action->setShortcut(key);
    action->setShortcutContext(Qt::WidgetShortcut);
    connect(action, &QAction::triggered, this, slot);
    addAction(action);
    m_menu->addAction(action);
    m_commands.emplace_back(commandId, action);
    return action;
}

void CScListCtrl::Retranslate()
{
    const std::vector<CMenuItem> menu = m_language.LoadMenu(kMenuCodeList);
    for (const CMenuItem& item : menu.empty() ? std::vector<CMenuItem>{} : menu.front().children)
        for (const auto& [id, action] : m_commands)
            if (id == item.id)
                action->setText(ToQString(item.text));
    m_model->Retranslate();
    // A column never hides its own title (a longer one in another language).
    for (int column = 0; column < kColumnCount; ++column)
        if (header()->sectionSize(column) < header()->sectionSizeHint(column))
            header()->resizeSection(column, header()->sectionSizeHint(column));
}

void CScListCtrl::SetFilterEdit(QLineEdit* edit)
{
    if (m_filterEdit)
        disconnect(m_filterEdit, nullptr, this, nullptr);
    m_filterEdit = edit;
    if (!edit)
        return;
    connect(edit, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_proxy->SetFilterText(text); });
    m_proxy->SetFilterText(edit->text());
}

int CScListCtrl::CharWidth() const
{
    return std::max(1, fontMetrics().averageCharWidth());
}

void CScListCtrl::ApplyColumnData(const CClientSettings& settings)
{
    for (std::size_t column = 0; column < settings.colWidth.size(); ++column) {
        const std::int32_t width = settings.colWidth[column];
        // A stored 0 would hide the column for good: it gets the narrowest width instead.
        if (width >= 0)
            header()->resizeSection(static_cast<int>(column),
                                    std::max(header()->minimumSectionSize(), width * CharWidth()));
    }
    if (settings.sortCol >= 0 && settings.sortCol < kColumnCount)
        m_codes.Sort(settings.sortCol,
                     settings.sortAsc < 0 ? m_codes.SortAscending() : settings.sortAsc != 0);
}

void CScListCtrl::StoreColumnData(CClientSettings& settings) const
{
    const double charWidth = CharWidth();
    for (std::size_t column = 0; column < settings.colWidth.size(); ++column)
        settings.colWidth[column] = static_cast<std::int32_t>(
            std::lround(header()->sectionSize(static_cast<int>(column)) / charWidth));
    settings.sortCol = m_codes.SortColumn();
    settings.sortAsc = m_codes.SortAscending() ? 1 : 0;
}

std::vector<int> CScListCtrl::ColumnWidths() const
{
    std::vector<int> widths;
    for (int column = 0; column < kColumnCount; ++column)
        widths.push_back(header()->sectionSize(column));
    return widths;
}

std::vector<unsigned> CScListCtrl::SelectedNumbers() const
{
    QModelIndexList rows = selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    std::vector<unsigned> numbers;
    for (const QModelIndex& row : rows)
        numbers.push_back(row.data(CStoredCodeModel::kNumberRole).toUInt());
    return numbers;
}

unsigned CScListCtrl::CurrentNumber() const
{
    const QModelIndex current = currentIndex();
    if (current.isValid() && selectionModel()->isRowSelected(current.row(), current.parent()))
        return current.data(CStoredCodeModel::kNumberRole).toUInt();
    const std::vector<unsigned> selected = SelectedNumbers();
    return selected.size() == 1 ? selected.front() : 0;
}

void CScListCtrl::MirrorSelection()
{
    const std::vector<unsigned> selected = SelectedNumbers();
    for (const CStoredCode& entry : m_codes.Entries())
        m_codes.Select(entry.number,
                       std::find(selected.begin(), selected.end(), entry.number) != selected.end());
}

bool CScListCtrl::ShowNumber(unsigned number)
{
    if (number < 1 || number > m_codes.Entries().size())
        return false;
    const QModelIndex source = m_model->index(static_cast<int>(number - 1), 0);
    if (!m_proxy->mapFromSource(source).isValid() && m_filterEdit)
        m_filterEdit->clear(); // the filter hides the code the user asked for
    const QModelIndex shown = m_proxy->mapFromSource(source);
    if (!shown.isValid())
        return false;
    selectionModel()->setCurrentIndex(shown, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(shown);
    return true;
}

bool CScListCtrl::EditCurrentDescription()
{
    const unsigned number = CurrentNumber();
    if (number == 0)
        return false;
    const QModelIndex cell =
        m_proxy->mapFromSource(m_model->index(static_cast<int>(number - 1), kColumnDescription));
    if (!cell.isValid())
        return false;
    selectionModel()->setCurrentIndex(cell, QItemSelectionModel::NoUpdate);
    scrollTo(cell);
    return edit(cell, QAbstractItemView::AllEditTriggers, nullptr);
}

void CScListCtrl::contextMenuEvent(QContextMenuEvent* event)
{
    UpdateCommands();
    m_menu->exec(event->globalPos());
}

void CScListCtrl::Go()
{
    if (SelectedNumbers().size() != 1)
        return;
    if (const unsigned number = CurrentNumber())
        Q_EMIT goRequested(number);
}

void CScListCtrl::DescribeSelected()
{
    MirrorSelection();
    Q_EMIT describeSelectedRequested();
}

void CScListCtrl::Delete()
{
    if (SelectedNumbers().empty())
        return;
    MirrorSelection();
    Q_EMIT deleteRequested();
}

void CScListCtrl::EditDescription()
{
    EditCurrentDescription();
}

void CScListCtrl::Properties()
{
    if (const unsigned number = CurrentNumber())
        Q_EMIT propertiesRequested(number);
}

void CScListCtrl::OnHeaderClicked(int column)
{
    const bool ascending = column == m_codes.SortColumn() ? !m_codes.SortAscending() : true;
    m_codes.Sort(column, ascending);
}

void CScListCtrl::OnSortChanged(int column, Qt::SortOrder order)
{
    header()->setSortIndicator(column, order);
}

void CScListCtrl::UpdateCommands()
{
    // Go, Edit Description and Properties act on one code.
    const std::size_t selected = SelectedNumbers().size();
    const bool one = selected == 1;
    const bool any = selected > 0;
    for (const auto& [id, action] : m_commands)
        action->setEnabled(id == kCmdListGetDescriptions || id == kCmdListDelete ? any : one);
}
