#include "client/gui/listprint.h"

#include "client/gui/scodemodel.h"
#include "client/gui/scodeview.h"
#include "tests/gui/guitest.h"
#include "tests/support/runprogram.h"

#include <QHeaderView>
#include <QPageLayout>
#include <QPrinter>
#include <QRegularExpression>
#include <QStandardPaths>

#include <cmath>
#include <map>
#include <numeric>

namespace {

// A poppler tool (poppler-utils) found on PATH.
QString Run(const std::string& tool, const std::vector<std::string>& args)
{
    const QString program = QStandardPaths::findExecutable(QString::fromStdString(tool));
    if (program.isEmpty()) {
        qWarning("%s is not installed (scripts/install-deps.sh installs it)", tool.c_str());
        return {};
    }
    const ProgramResult result = RunProgram(program.toStdString(), args);
    if (result.exitStatus != 0)
        qWarning("%s failed: %s", tool.c_str(), result.err.c_str());
    return QString::fromStdString(result.out);
}

// The list printer's own printer, as the print dialog leaves it when the
// user prints to a PDF file on A4.
QPrinter& ToPdf(CListPrinter& printer, const std::filesystem::path& file)
{
    printer.Printer().setOutputFormat(QPrinter::PdfFormat);
    printer.Printer().setOutputFileName(QString::fromStdString(file.string()));
    printer.Printer().setPageSize(QPageSize(QPageSize::A4));
    return printer.Printer();
}

int PdfPages(const std::filesystem::path& file)
{
    const QRegularExpressionMatch match =
        QRegularExpression(R"(^Pages:\s+(\d+)$)", QRegularExpression::MultilineOption)
            .match(Run("pdfinfo", {file.string()}));
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

QString PageText(const std::filesystem::path& file, int page)
{
    const std::string number = std::to_string(page);
    return Run("pdftotext", {"-f", number, "-l", number, "-layout", file.string(), "-"});
}

// The left edge of each column title on page 1, in points: the words of
// the row that begins with "#". A title wider than its column wraps, so its
// first four letters are enough.
std::map<QString, double> TitleLefts(const std::filesystem::path& file, const QStringList& titles)
{
    const QString html = Run("pdftotext", {"-f", "1", "-l", "1", "-bbox", file.string(), "-"});
    const QRegularExpression word(
        R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="[\d.]+" yMax="[\d.]+">([^<]*)</word>)re");
    std::map<QString, double> lefts;
    double row = -1;
    for (auto it = word.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const QString text = match.captured(3);
        const double top = match.captured(2).toDouble();
        if (text == "#" && row < 0)
            row = top;
        if (row < 0 || std::abs(top - row) > 2)
            continue;
        for (const QString& title : titles)
            if (title.left(4) == text.left(4) && !lefts.count(title))
                lefts[title] = match.captured(1).toDouble();
    }
    return lefts;
}

} // namespace

class ListPrintTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void twoHundredCodesOnHeadedPages()
    {
        ListFixture list;
        list.Fill(200);
        CScListCtrl view(list.codes, list.language);
        list.codes.Sort(kColumnCode, true);
        CListPrinter printer(list.language);
        const auto file = list.program / "list.pdf";
        const int pages = printer.PrintTo(ToPdf(printer, file), view);
        QVERIFY2(pages >= 2, "200 codes do not fit one page");
        QCOMPARE(PdfPages(file), pages);

        QString all;
        for (int page = 1; page <= pages; ++page) {
            const QString text = PageText(file, page);
            // Column titles may wrap between their words.
            for (const char* heading :
                 {"Lumora PC Software", "Stored Codes", "#", "Code", "Description", "Type", "Enter", "Date",
                  "Last", "Accessed", "Item", "Server", "ID", "@"})
                QVERIFY2(text.contains(QString::fromUtf8(heading)),
                         qPrintable(QString("page %1: %2").arg(page).arg(heading)));
            QVERIFY2(QRegularExpression(QString(R"(\bPage %1\b)").arg(page)).match(text).hasMatch(),
                     qPrintable(text.right(200)));
            QVERIFY(!text.contains(QString("Page %1").arg(page + 1)));
            all += text;
        }
        // Every code once, in the order the list shows them.
        qsizetype at = 0;
        for (int row = 0; row < view.model()->rowCount(); ++row) {
            // A code wider than its cell may wrap after a slash.
            QString code = view.model()->index(row, kColumnCode).data().toString();
            if (const qsizetype slash = code.indexOf('/'); slash >= 0)
                code = code.left(slash + 1);
            const qsizetype found = all.indexOf(
                QRegularExpression(QString(R"((^|\s)%1)").arg(QRegularExpression::escape(code))), at);
            QVERIFY2(found >= 0, qPrintable(code));
            at = found + 1;
        }
        // The description the list shows: the user's over the item's.
        QVERIFY(all.contains("Spring catalogue") && !all.contains("Unlinked"));
    }

    void columnsAsWideAsInTheList_data()
    {
        QTest::addColumn<int>("descriptionWidth");
        QTest::newRow("a wide description") << 60;
        QTest::newRow("a narrow description") << 12;
    }

    void columnsAsWideAsInTheList()
    {
        QFETCH(int, descriptionWidth);
        ListFixture list;
        list.Fill(12);
        CScListCtrl view(list.codes, list.language);
        CClientSettings settings;
        settings.colWidth = {4, 16, descriptionWidth, 14, 24, 24, 9, 9, 8};
        view.ApplyColumnData(settings);
        CListPrinter printer(list.language);
        const auto file = list.program / "columns.pdf";
        QPrinter& pdf = ToPdf(printer, file);
        QCOMPARE(printer.PrintTo(pdf, view), 1);

        const std::vector<int> widths = view.ColumnWidths();
        const double total = std::accumulate(widths.begin(), widths.end(), 0.0);
        const QRectF paper = pdf.pageLayout().paintRect(QPageLayout::Point);
        const QStringList titles{"Code", "Description", "Type", "Enter", "Last", "Item", "Server", "@"};
        const std::map<QString, double> lefts = TitleLefts(file, titles);
        double before = widths[0];
        for (int column = 1; column < kColumnCount; ++column) {
            const QString& title = titles[column - 1];
            QVERIFY2(lefts.count(title), qPrintable(title));
            const double expected = paper.left() + paper.width() * before / total;
            // The title starts half a character inside its column.
            QVERIFY2(
                lefts.at(title) >= expected && lefts.at(title) < expected + 5,
                qPrintable(
                    QString("%1 at %2, its column at %3").arg(title).arg(lefts.at(title)).arg(expected)));
            before += widths[static_cast<std::size_t>(column)];
        }
    }

    void anEmptyListIsOneHeadedPage()
    {
        ListFixture list;
        CScListCtrl view(list.codes, list.language);
        QVERIFY(list.SelectLanguage("pt"));
        view.Retranslate();
        CListPrinter printer(list.language);
        const auto file = list.program / "empty.pdf";
        QCOMPARE(printer.PrintTo(ToPdf(printer, file), view), 1);
        const QString text = PageText(file, 1);
        for (const char* expected : {"Códigos guardados", "Código", "Descrição", "Página 1"})
            QVERIFY2(text.contains(QString::fromUtf8(expected)), expected);
    }
};

LUMORA_QTEST_MAIN(ListPrintTest)
#include "test_listprint.moc"
