#include "client/gui/scodeview.h"

#include "client/gui/scodemodel.h"
#include "client/uitextids.h"
#include "tests/gui/guitest.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTimer>

#include <cmath>

namespace {

// A list of the sample codes shown on its own, as the main view holds it.
struct ShownList {
    explicit ShownList(std::size_t count = 12)
    {
        fixture.Fill(count);
        list = std::make_unique<CScListCtrl>(fixture.codes, fixture.language);
        list->resize(900, 400);
        list->show();
        list->activateWindow();
        list->setFocus();
    }

    int RowOf(const QString& code) const { return static_cast<int>(ShownCodes(list->Proxy()).indexOf(code)); }
    void Select(std::initializer_list<QString> codes) const
    {
        list->clearSelection();
        for (const QString& code : codes)
            list->selectionModel()->setCurrentIndex(list->Proxy().index(RowOf(code), 0),
                                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    QAction* Action(const char* name) const { return list->findChild<QAction*>(QString::fromLatin1(name)); }
    void ClickHeader(int column) const
    {
        QHeaderView* header = list->header();
        const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }

    ListFixture fixture;
    std::unique_ptr<CScListCtrl> list;
};

} // namespace

class ScListCtrlTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void headerClicksSortTheList()
    {
        ShownList shown;
        QVERIFY(QTest::qWaitForWindowExposed(shown.list.get()));
        const struct {
            int column;
            int sortColumn;
            bool ascending;
        } clicks[] = {
            {kColumnCode, kColumnCode, true},
            {kColumnCode, kColumnCode, false}, // the same column again turns the order
            {kColumnType, kColumnType, true},
            {kColumnNumber, kColumnNumber, true},
            {kColumnNumber, kColumnNumber, false},
        };
        for (const auto& click : clicks) {
            shown.ClickHeader(click.column);
            QCOMPARE(shown.fixture.codes.SortColumn(), click.sortColumn);
            QCOMPARE(shown.fixture.codes.SortAscending(), click.ascending);
            QCOMPARE(shown.list->header()->sortIndicatorSection(), click.sortColumn);
            QCOMPARE(shown.list->header()->sortIndicatorOrder(),
                     click.ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
            QStringList expected;
            for (const CStoredCode* entry : shown.fixture.codes.SortedEntries())
                expected << QString::fromStdString(entry->codeText);
            QCOMPARE(ShownCodes(shown.list->Proxy()), expected);
        }
        // The export follows what the list shows.
        QCOMPARE(QString::fromStdString(shown.fixture.codes.FormatText()).split('\n').at(5).split('\t').at(1),
                 ShownCodes(shown.list->Proxy()).front());
    }

    void columnDataKeepsWidthsAndSort()
    {
        ShownList shown;
        const int charWidth = shown.list->fontMetrics().averageCharWidth();
        const int defaultItemId = shown.list->header()->sectionSize(kColumnItemId);
        // At first as wide as it says, or as its title where that is wider.
        QCOMPARE(defaultItemId, std::max(CScListCtrl::kDefaultWidths[kColumnItemId] * charWidth,
                                         shown.list->header()->sectionSizeHint(kColumnItemId)));
        CClientSettings settings;
        settings.colWidth = {4, 20, 40, 12, 30, 30, -1, 0, 6};
        settings.sortCol = kColumnDescription;
        settings.sortAsc = 0;
        shown.list->ApplyColumnData(settings);
        const std::vector<int> widths = shown.list->ColumnWidths();
        QCOMPARE(widths[kColumnCode], 20 * charWidth);
        QCOMPARE(widths[kColumnDescription], 40 * charWidth);
        QCOMPARE(widths[kColumnItemId], defaultItemId);                                // -1 keeps the width
        QCOMPARE(widths[kColumnServerId], shown.list->header()->minimumSectionSize()); // 0 would hide it
        QCOMPARE(shown.fixture.codes.SortColumn(), int(kColumnDescription));
        QVERIFY(!shown.fixture.codes.SortAscending());
        QCOMPARE(shown.list->header()->sortIndicatorOrder(), Qt::DescendingOrder);

        shown.list->header()->resizeSection(kColumnType, 17 * charWidth + charWidth / 3);
        CClientSettings stored;
        shown.list->StoreColumnData(stored);
        QCOMPARE(stored.colWidth[kColumnCode], 20);
        QCOMPARE(stored.colWidth[kColumnType], 17);
        QCOMPARE(stored.colWidth[kColumnItemId],
                 static_cast<int>(std::lround(double(defaultItemId) / charWidth)));
        QCOMPARE(stored.sortCol, int(kColumnDescription));
        QCOMPARE(stored.sortAsc, 0);

        // Missing sort values leave the sort as it is; the direction alone is kept too.
        CClientSettings partial;
        shown.list->ApplyColumnData(partial);
        QCOMPARE(shown.fixture.codes.SortColumn(), int(kColumnDescription));
        partial.sortCol = kColumnCode;
        shown.list->ApplyColumnData(partial);
        QCOMPARE(shown.fixture.codes.SortColumn(), int(kColumnCode));
        QVERIFY(!shown.fixture.codes.SortAscending());
        partial.sortCol = 42;
        shown.list->ApplyColumnData(partial);
        QCOMPARE(shown.fixture.codes.SortColumn(), int(kColumnCode));
    }

    void descriptionEditedInPlaceWithUndo()
    {
        ShownList shown;
        QVERIFY(QTest::qWaitForWindowExposed(shown.list.get()));
        shown.fixture.codes.Sort(kColumnCode, true);
        shown.Select({"96385074"});
        const unsigned number = shown.list->CurrentNumber();
        QCOMPARE(number, 9u);
        QTest::keyClick(shown.list.get(), Qt::Key_F2);
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        QVERIFY(editor);
        QCOMPARE(editor->text(), QString("EAN8 Code")); // the description shown
        editor->selectAll();
        QTest::keyClicks(editor, "Zebra tea");
        QTest::keyClick(editor, Qt::Key_Return);
        const CStoredCode& entry = shown.fixture.codes.Entries()[number - 1];
        QTRY_COMPARE(entry.userDescription, std::string("Zebra tea")); // committed once the editor is done
        QCOMPARE(shown.list->Proxy().index(shown.RowOf("96385074"), kColumnDescription).data().toString(),
                 QString("Zebra tea"));
        QCOMPARE(shown.fixture.codes.UndoTextId(), kStrUndoDescription);
        QVERIFY(shown.fixture.codes.Undo());
        QCOMPARE(shown.fixture.codes.Entries()[number - 1].userDescription, std::string());

        // Escape leaves it as it was; the description column only.
        shown.Select({"96385074"});
        QVERIFY(shown.list->EditCurrentDescription());
        editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        QVERIFY(editor);
        QTest::keyClicks(editor, "never");
        QTest::keyClick(editor, Qt::Key_Escape);
        QTRY_VERIFY(!shown.list->findChild<QLineEdit*>());
        QCOMPARE(shown.fixture.codes.Entries()[number - 1].userDescription, std::string());
        QCOMPARE(shown.fixture.codes.UndoTextId(), 0);

        // The view's core commits when it is given: here it refuses.
        std::vector<std::pair<unsigned, std::string>> committed;
        shown.list->Model().SetEditCommit([&](unsigned n, const std::string& text) {
            committed.emplace_back(n, text);
            return false;
        });
        shown.Select({"96385074"});
        QTest::keyClick(shown.list.get(), Qt::Key_F2);
        editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        QVERIFY(editor);
        editor->setText("through the core");
        QTest::keyClick(editor, Qt::Key_Enter);
        QTRY_COMPARE(committed,
                     (std::vector<std::pair<unsigned, std::string>>{{number, "through the core"}}));
        QCOMPARE(shown.fixture.codes.Entries()[number - 1].userDescription, std::string());
    }

    void commandsForwardTheChosenShownCodes()
    {
        ShownList shown;
        QVERIFY(QTest::qWaitForWindowExposed(shown.list.get()));
        QSignalSpy go(shown.list.get(), &CScListCtrl::goRequested);
        QSignalSpy remove(shown.list.get(), &CScListCtrl::deleteRequested);
        QSignalSpy describe(shown.list.get(), &CScListCtrl::describeSelectedRequested);
        QSignalSpy properties(shown.list.get(), &CScListCtrl::propertiesRequested);
        const auto selectedFlags = [&] {
            std::vector<unsigned> numbers;
            for (const CStoredCode& entry : shown.fixture.codes.Entries())
                if (entry.selected)
                    numbers.push_back(entry.number);
            return numbers;
        };

        // Nothing selected: nothing to do.
        shown.list->clearSelection();
        for (const char* name :
             {"listGo", "listGetDescriptions", "listEditDescription", "listDelete", "listProperties"})
            QVERIFY2(!shown.Action(name)->isEnabled(), name);
        QTest::keyClick(shown.list.get(), Qt::Key_Delete);
        QCOMPARE(remove.count(), 0);

        // One code: each command for it.
        shown.Select({"42"});
        QVERIFY(shown.Action("listGo")->isEnabled() && shown.Action("listProperties")->isEnabled());
        QTest::keyClick(shown.list.get(), Qt::Key_Return);
        QTest::keyClick(shown.list.get(), Qt::Key_Return, Qt::AltModifier);
        QCOMPARE(go.count(), 1);
        QCOMPARE(go.at(0).at(0).toUInt(), 6u);
        QCOMPARE(properties.count(), 1);
        QCOMPARE(properties.at(0).at(0).toUInt(), 6u);
        const QRect cell = shown.list->visualRect(shown.list->Proxy().index(shown.RowOf("42"), kColumnCode));
        QTest::mouseClick(shown.list->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(shown.list->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(go.count(), 2);

        // Several codes: only what acts on a selection; the manager's marks
        // become exactly these (an old mark is cleared).
        shown.fixture.codes.Select(1, true);
        shown.Select({"42", "04252614", "080442957X"});
        QVERIFY(!shown.Action("listGo")->isEnabled());
        QVERIFY(!shown.Action("listEditDescription")->isEnabled());
        QVERIFY(shown.Action("listDelete")->isEnabled() && shown.Action("listGetDescriptions")->isEnabled());
        QTest::keyClick(shown.list.get(), Qt::Key_Delete);
        QCOMPARE(remove.count(), 1);
        QCOMPARE(selectedFlags(), (std::vector<unsigned>{6, 8, 11}));
        shown.Select({"96385074"});
        shown.Action("listGetDescriptions")->trigger();
        QCOMPARE(describe.count(), 1);
        QCOMPARE(selectedFlags(), (std::vector<unsigned>{9}));

        // The menu itself, opened with the mouse's right button.
        shown.Select({"42", "96385074"});
        QTimer::singleShot(0, this, [] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu)
                return;
            for (QAction* action : menu->actions())
                if (action->objectName() == "listDelete" && action->isEnabled())
                    menu->setActiveAction(action);
            if (menu->activeAction())
                QTest::keyClick(menu, Qt::Key_Return);
            else
                menu->close();
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, cell.center(),
                                shown.list->viewport()->mapToGlobal(cell.center()));
        QApplication::sendEvent(shown.list->viewport(), &event);
        QCOMPARE(remove.count(), 2);
        QCOMPARE(selectedFlags(), (std::vector<unsigned>{6, 9}));
    }

    void menuTextsFollowTheLanguage_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("en") << "en"
                            << QStringList{"&Go", "Get &Selected Descriptions", "&Edit Description",
                                           "&Delete", "&Properties..."};
        QTest::newRow("pt") << "pt" << QStringList{};
        QTest::newRow("es") << "es" << QStringList{};
    }

    void menuTextsFollowTheLanguage()
    {
        QFETCH(QString, language);
        QFETCH(QStringList, texts);
        ShownList shown;
        QVERIFY(shown.fixture.SelectLanguage(language.toStdString()));
        shown.list->Retranslate();
        QStringList actual;
        QSet<QChar> keys;
        for (QAction* action : shown.list->ContextMenu().actions()) {
            actual << action->text();
            const int amp = static_cast<int>(action->text().indexOf('&'));
            QVERIFY2(amp >= 0, qPrintable(action->text()));
            keys.insert(action->text().at(amp + 1).toLower());
        }
        QCOMPARE(keys.size(), 5); // every command its own access key
        if (!texts.isEmpty())
            QCOMPARE(actual, texts);
        else
            QVERIFY(actual.at(1) != "Get &Selected Descriptions");
        QCOMPARE(shown.list->model()->headerData(kColumnCode, Qt::Horizontal).toString(),
                 language == "en" ? QString("Code") : QString("Código"));
    }

    void filterFieldNarrowsTheRows()
    {
        ShownList shown;
        QLineEdit filter;
        filter.setText("ean");
        shown.list->SetFilterEdit(&filter);
        QCOMPARE(shown.list->model()->rowCount(), 3); // the EAN8 and two EAN13 codes
        filter.clear();
        QTest::keyClicks(&filter, "pretz");
        QCOMPARE(ShownCodes(*shown.list->model()), QStringList{"04252614"});
        QTest::keyClick(&filter, Qt::Key_Backspace);
        QCOMPARE(ShownCodes(*shown.list->model()), QStringList{"04252614"});
        // A code the view wants shown comes back, the filter cleared.
        QVERIFY(shown.list->ShowNumber(6)); // "42"
        QCOMPARE(filter.text(), QString());
        QCOMPARE(shown.list->model()->rowCount(), 12);
        QCOMPARE(shown.list->SelectedNumbers(), std::vector<unsigned>{6});
        QVERIFY(!shown.list->ShowNumber(13));
        // The filter field may go before the list.
        auto other = std::make_unique<QLineEdit>();
        shown.list->SetFilterEdit(other.get());
        other->setText("oat");
        QCOMPARE(shown.list->model()->rowCount(), 1);
        other.reset();
        filter.setText("tea");
        QCOMPARE(shown.list->model()->rowCount(), 1);
    }
};

LUMORA_QTEST_MAIN(ScListCtrlTest)
#include "test_sclistctrl.moc"
