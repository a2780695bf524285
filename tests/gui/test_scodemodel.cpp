#include "client/gui/scodemodel.h"

#include "client/uitextids.h"
#include "tests/gui/guitest.h"

#include <QAbstractItemModelTester>
#include <QLocale>
#include <QPersistentModelIndex>

#include <functional>
#include <sstream>

namespace {

QStringList SortedCodes(const CStoredCodeMgr& codes)
{
    QStringList texts;
    for (const CStoredCode* entry : codes.SortedEntries())
        texts << QString::fromStdString(entry->codeText);
    return texts;
}

} // namespace

class StoredCodeModelTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void columnsShowTheEntries()
    {
        ListFixture list;
        list.Fill(12);
        CStoredCodeModel model(list.codes, list.language);
        QCOMPARE(model.columnCount(), 9);
        QStringList titles;
        for (int column = 0; column < model.columnCount(); ++column)
            titles << model.headerData(column, Qt::Horizontal).toString();
        QCOMPARE(titles, (QStringList{" # ", "Code", "Description", "Type", "Enter Date", "Last Accessed",
                                      "Item ID", "Server ID", "@"}));

        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        model.Retranslate();
        // Row 0 is number 1, the code added last; the fill added these in turn.
        const auto row = [&](const char* code) {
            const QStringList codes = ShownCodes(model);
            return static_cast<int>(codes.indexOf(QString::fromLatin1(code)));
        };
        struct Expected {
            const char* code;
            QStringList shown; // number, code, description, type, ..., item, server, status
        };
        const Expected expected[] = {
            // The user's description wins over the item's and the generic one.
            {"4006381333931",
             {"10", "4006381333931", "Office", "EAN13 Code", "", "", "33393", "4006381", "Not Shown"}},
            {"036000291452",
             {"12", "036000291452", "Oat Crunch cereal, 500 g", "UPCA Code", "", "", "29145", "036000",
              "Shown"}},
            {"96385074", {"9", "96385074", "EAN8 Code", "EAN8 Code", "", "", "", "", "New"}},
            {"12345678", {"2", "12345678", "Ambiguous Code", "UNKNOWN", "", "", "", "", "Invalid"}},
        };
        for (const Expected& e : expected) {
            const int r = row(e.code);
            QVERIFY2(r >= 0, e.code);
            for (int column : {0, 1, 2, 3, 6, 7, 8})
                QCOMPARE(model.index(r, column).data().toString(), e.shown[column]);
            QCOMPARE(model.index(r, 0).data(CStoredCodeModel::kNumberRole).toUInt(), e.shown[0].toUInt());
        }
        // Dates in the long date format of the locale, with the time of day.
        const int upca = row("036000291452");
        QCOMPARE(model.index(upca, kColumnEnterDate).data().toString().left(25),
                 QString("Saturday, January 1, 2000"));
        QVERIFY(model.index(upca, kColumnLastAccessed).data().toString().contains("1:00"));
        QCOMPARE(model.index(row("96385074"), kColumnLastAccessed).data().toString(), QString());
        QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Portugal));
        QCOMPARE(model.index(upca, kColumnEnterDate).data().toString(),
                 QString("sábado, 1 de janeiro de 2000 00:00"));
        QCOMPARE(model.index(upca, kColumnNumber).data(Qt::TextAlignmentRole).value<Qt::Alignment>() &
                     Qt::AlignHorizontal_Mask,
                 Qt::AlignRight);
        QVERIFY(model.flags(model.index(upca, kColumnDescription)) & Qt::ItemIsEditable);
        QVERIFY(!(model.flags(model.index(upca, kColumnCode)) & Qt::ItemIsEditable));

        // The language changes: titles, type and status names with it.
        QVERIFY(list.SelectLanguage("pt"));
        model.Retranslate();
        QCOMPARE(model.headerData(kColumnCode, Qt::Horizontal).toString(), QString("Código"));
        QCOMPARE(model.index(upca, kColumnType).data().toString(), QString("Código UPCA"));
        QCOMPARE(model.index(upca, kColumnStatus).data().toString(), QString("Mostrado"));
    }

    // Every way the list changes, with Qt's model tester watching the model
    // and the proxy, and after each the model equal to the list and the
    // proxy in the list's own sort order.
    void followsEveryChange()
    {
        ListFixture list;
        list.Fill(12);
        CStoredCodeModel model(list.codes, list.language);
        CStoredCodeProxy proxy(model);
        QAbstractItemModelTester modelTester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QAbstractItemModelTester proxyTester(&proxy, QAbstractItemModelTester::FailureReportingMode::QtTest);
        const auto select = [&](std::initializer_list<unsigned> numbers) {
            for (unsigned number : numbers)
                list.codes.Select(number, true);
        };
        std::string saved;
        const std::pair<const char*, std::function<void()>> steps[] = {
            {"a new code", [&] { list.Add("555", 9); }},
            {"a known code moves to the top", [&] { list.Add("96385074", 5, "again"); }},
            {"sorted by description", [&] { list.codes.Sort(kColumnDescription, true); }},
            {"a description that moves the row", [&] { list.codes.EditDescription(3, "aaa first"); }},
            {"undo of it", [&] { list.codes.Undo(); }},
            {"sorted by type, descending", [&] { list.codes.Sort(kColumnType, false); }},
            {"codes taken from a batch",
             [&] {
                 std::vector<CPendingCode> pending(3);
                 pending[0].text = "0306406152";
                 pending[1].text = "4006381333931";
                 pending[1].type = 4;
                 pending[2].text = "77";
                 list.codes.TakeCodes(
                     pending, CodeModelRecognizer(),
                     [](std::string_view, const std::vector<int>& types) { return types.front(); }, false);
             }},
            {"results of processing",
             [&] {
                 list.codes.UpdateAfterProcessing(
                     {{"77", 9, CProcessedCode::Outcome::Linked, "R", "77", "Server", "Seventy-seven", true},
                      {"555", 9, CProcessedCode::Outcome::Invalid, "", "", "", "", false}},
                     false);
             }},
            {"filtered by 'code'", [&] { proxy.SetFilterText("code"); }},
            {"sorted by number, descending", [&] { list.codes.Sort(kColumnNumber, false); }},
            {"two runs of rows deleted",
             [&] {
                 select({1, 2, 5, 9, 10});
                 list.codes.DeleteSelected();
             }},
            {"in Portuguese, sorted by type",
             [&] {
                 list.SelectLanguage("pt");
                 model.Retranslate();
                 list.codes.Sort(kColumnType, true);
             }},
            {"filter removed", [&] { proxy.SetFilterText(""); }},
            {"the list read in anew",
             [&] {
                 saved = list.codes.FormatList();
                 std::istringstream in("Version Format: 2.0\n1\tX1\t9\t\t\t1\t\t\t\t\t" +
                                       std::string(ListFixture::kY2k) + "\t\n");
                 list.codes.Read(in, false);
             }},
            {"a list appended",
             [&] {
                 std::istringstream in(saved);
                 list.codes.Read(in, true);
             }},
            {"sorted by enter date", [&] { list.codes.Sort(kColumnEnterDate, true); }},
            {"an access time refreshed",
             [&] {
                 list.codes.SetRefreshingAccessTimes(true);
                 list.Add("X1", 9);
                 list.codes.SetRefreshingAccessTimes(false);
             }},
            {"sorted by last access, descending", [&] { list.codes.Sort(kColumnLastAccessed, false); }},
            {"a file replacing the list",
             [&] {
                 const auto file = list.program.WriteFile("saved.codelist", saved);
                 list.codes.Replace(file);
             }},
            {"a file inserted",
             [&] {
                 const auto file = list.program.WriteFile(
                     "more.codelist", "080442957X,6,08044,Field guide\n5551212,9,NUMI\nX1,9,NUMI\n");
                 list.codes.Insert(file);
             }},
            {"full: the oldest goes",
             [&] {
                 for (int i = 0; i < 200; ++i)
                     list.Add("9" + std::to_string(1000 + i), 9);
             }},
            {"everything deleted", [&] { list.codes.DeleteAll(); }},
            {"and back", [&] { list.codes.Undo(); }},
        };
        for (const auto& [name, step] : steps) {
            // Every row held across the change still shows its own code.
            std::vector<std::pair<QPersistentModelIndex, QString>> held;
            for (const QAbstractItemModel* shown : {static_cast<const QAbstractItemModel*>(&model),
                                                    static_cast<const QAbstractItemModel*>(&proxy)})
                for (int row = 0; row < shown->rowCount(); ++row)
                    held.emplace_back(shown->index(row, kColumnCode),
                                      shown->index(row, kColumnCode).data().toString());
            step();
            QVERIFY2(!QTest::currentTestFailed(), name);
            for (const auto& [index, code] : held)
                if (index.isValid())
                    QVERIFY2(index.data().toString() == code, name);
            QCOMPARE(model.rowCount(), static_cast<int>(list.codes.Entries().size()));
            for (int row = 0; row < model.rowCount(); ++row) {
                const CStoredCode& entry = list.codes.Entries()[static_cast<std::size_t>(row)];
                QCOMPARE(model.index(row, kColumnCode).data().toString(),
                         QString::fromStdString(entry.codeText));
                QCOMPARE(model.index(row, kColumnNumber).data().toString(), QString::number(row + 1));
                QCOMPARE(model.index(row, kColumnDescription).data().toString(),
                         QString::fromStdString(entry.ShownDescription()));
            }
            QStringList expected = SortedCodes(list.codes);
            if (!proxy.FilterText().isEmpty()) {
                QStringList shown;
                for (const CStoredCode* entry : list.codes.SortedEntries())
                    if (QString::fromStdString(entry->ShownDescription() + " " + entry->codeText + " " +
                                               list.codes.TypeName(entry->codeType))
                            .contains(proxy.FilterText(), Qt::CaseInsensitive))
                        shown << QString::fromStdString(entry->codeText);
                expected = shown;
            }
            QVERIFY2(ShownCodes(proxy) == expected, name);
        }
        QCOMPARE(list.codes.Entries().size(), std::size_t{200});
    }

    void persistentRowsFollowMoves()
    {
        ListFixture list;
        list.Fill(12);
        CStoredCodeModel model(list.codes, list.language);
        CStoredCodeProxy proxy(model);
        list.codes.Sort(kColumnCode, true);
        const QPersistentModelIndex isbn =
            proxy.index(static_cast<int>(ShownCodes(proxy).indexOf("080442957X")), 2);
        const QPersistentModelIndex source =
            model.index(static_cast<int>(ShownCodes(model).indexOf("080442957X")), 2);
        list.Add("96385074", 5); // another code moves to the top
        list.Add("1111", 9);     // a new one above all
        list.codes.Sort(kColumnNumber, false);
        list.codes.EditDescription(1, "x");
        for (const QPersistentModelIndex& index : {isbn, source}) {
            QVERIFY(index.isValid());
            QCOMPARE(index.sibling(index.row(), kColumnCode).data().toString(), QString("080442957X"));
            QCOMPARE(index.column(), 2);
        }
        QCOMPARE(source.row(), 9); // two rows came above it
    }

    void proxySortsByTheListsRules_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<bool>("ascending");
        QTest::addColumn<QStringList>("expected");
        // Added in turn: b, A, c10..c2, so numbers are 11 for "b" down to 1 for "c2".
        QTest::newRow("number compares numerically")
            << int(kColumnNumber) << true
            << QStringList{"c2", "c3", "c4", "c5", "c6", "c7", "c8", "c9", "c10", "A", "b"};
        QTest::newRow("code compares case-folded")
            << int(kColumnCode) << true
            << QStringList{"A", "b", "c10", "c2", "c3", "c4", "c5", "c6", "c7", "c8", "c9"};
        QTest::newRow("equal keys keep number order, descending too")
            << int(kColumnDescription) << false
            << QStringList{"c2", "c3", "c4", "c5", "c6", "c7", "c8", "c9", "c10", "A", "b"};
        QTest::newRow("type names: Lumora, Numicode, UPCA")
            << int(kColumnType) << true
            << QStringList{"c2", "c3", "c4", "c5", "c6", "c7", "c8", "c9", "c10", "b", "A"};
    }

    void proxySortsByTheListsRules()
    {
        QFETCH(int, column);
        QFETCH(bool, ascending);
        QFETCH(QStringList, expected);
        ListFixture list;
        list.Add("b", 9, "same");
        list.Add("A", 2, "same");
        for (int i = 10; i >= 2; --i)
            list.Add("c" + std::to_string(i), 7, "same");
        CStoredCodeModel model(list.codes, list.language);
        CStoredCodeProxy proxy(model);
        list.codes.Sort(column, ascending);
        QCOMPARE(ShownCodes(proxy), expected);
    }

    void filterNarrowsByCodeTypeOrDescription_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("all") << "en"
                             << "" << QStringList{};
        QTest::newRow("part of a code") << "en"
                                        << "0360" << QStringList{"036000291452"};
        QTest::newRow("a type, any case") << "en"
                                          << "ean13" << QStringList{"4006381123457", "4006381333931"};
        QTest::newRow("an item's description") << "en"
                                               << "PRETZEL" << QStringList{"04252614"};
        QTest::newRow("the user's description, trimmed") << "en"
                                                         << "  office " << QStringList{"4006381333931"};
        QTest::newRow("status and IDs are not searched") << "en"
                                                         << "Not Shown" << QStringList{"-"};
        QTest::newRow("a translated type, accents folded") << "pt"
                                                           << "CÓDIGO ISBN" << QStringList{"080442957X"};
    }

    void filterNarrowsByCodeTypeOrDescription()
    {
        QFETCH(QString, language);
        QFETCH(QString, filter);
        QFETCH(QStringList, expected);
        ListFixture list;
        list.Fill(12);
        QVERIFY(list.SelectLanguage(language.toStdString()));
        CStoredCodeModel model(list.codes, list.language);
        CStoredCodeProxy proxy(model);
        list.codes.Sort(kColumnCode, true);
        proxy.SetFilterText(filter);
        if (expected.isEmpty())
            QCOMPARE(proxy.rowCount(), 12);
        else if (expected == QStringList{"-"})
            QCOMPARE(proxy.rowCount(), 0);
        else
            QCOMPARE(ShownCodes(proxy), expected);
    }

    void filterHoldsForNewRows()
    {
        ListFixture list;
        list.Fill(12);
        CStoredCodeModel model(list.codes, list.language);
        CStoredCodeProxy proxy(model);
        proxy.SetFilterText("tea");
        QCOMPARE(proxy.rowCount(), 0);
        list.Add("111", 9, "Green tea, 20 bags");
        list.Add("222", 9, "Coffee");
        QCOMPARE(ShownCodes(proxy), QStringList{"111"});
        list.codes.EditDescription(2, "Iced tea"); // "111" is number 2 now
        list.codes.EditDescription(1, "Tea again");
        QCOMPARE(ShownCodes(proxy), (QStringList{"222", "111"}));
        list.codes.EditDescription(2, "Water");
        QCOMPARE(ShownCodes(proxy), QStringList{"222"});
    }

    // A server's description may hold terminal commands, bells and line
    // breaks: the cell writes them out, the editor has the text itself.
    void controlCharactersAreWrittenOut()
    {
        ListFixture list;
        list.Fill(3);
        CStoredCodeModel model(list.codes, list.language);
        QAbstractItemModelTester tester(&model);
        const std::string hostile = "\x1b[2J\x1b[31mRed\a\rover\nline\x7f";
        QVERIFY(list.codes.EditDescription(list.codes.Entries()[0].number, hostile));
        const QModelIndex cell = model.index(0, kColumnDescription);
        const QString written("\\e[2J\\e[31mRed\\a\\rover\\nline\\x7f");
        QCOMPARE(cell.data().toString(), written);
        QCOMPARE(cell.data(Qt::ToolTipRole).toString(), written);
        QCOMPARE(cell.data(Qt::EditRole).toString(), QString::fromStdString(hostile));
        QVERIFY(model.setData(cell, cell.data(Qt::EditRole)));
        QCOMPARE(list.codes.Entries()[0].userDescription, hostile); // an edit left as it was changes nothing
    }

    void editedDescriptionsAreCommitted()
    {
        ListFixture list;
        list.Fill(5);
        CStoredCodeModel model(list.codes, list.language);
        const QModelIndex cell = model.index(0, kColumnDescription);
        QVERIFY(model.setData(cell, cell.data()));
        QCOMPARE(list.codes.UndoTextId(), 0); // nothing changed, nothing to undo
        QVERIFY(!model.setData(model.index(0, kColumnCode), "other"));
        QVERIFY(model.setData(cell, QString("Café au lait")));
        QCOMPARE(list.codes.Entries()[0].userDescription, std::string("Café au lait"));
        QCOMPARE(cell.data().toString(), QString("Café au lait"));
        QCOMPARE(list.codes.UndoTextId(), kStrUndoDescription);
        QVERIFY(list.codes.Undo());
        QCOMPARE(cell.data().toString(), QString("Field Guide to Printed Codes"));

        // Through the view's core instead: the hook decides.
        std::vector<std::pair<unsigned, std::string>> committed;
        model.SetEditCommit([&](unsigned number, const std::string& text) {
            committed.emplace_back(number, text);
            return false;
        });
        QVERIFY(!model.setData(model.index(3, kColumnDescription), QString("refused")));
        QCOMPARE(committed, (std::vector<std::pair<unsigned, std::string>>{{4, "refused"}}));
        QCOMPARE(list.codes.Entries()[3].userDescription, std::string());
    }
};

LUMORA_QTEST_MAIN(StoredCodeModelTest)
#include "test_scodemodel.moc"
