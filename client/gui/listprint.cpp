#include "client/gui/listprint.h"

#include "client/gui/scodemodel.h"
#include "client/gui/scodeview.h"
#include "client/gui/uitexts.h"
#include "client/langmgr.h"
#include "client/uitextids.h"

#include <QAbstractItemModel>
#include <QFontMetricsF>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QTextOption>

#include <algorithm>
#include <numeric>

namespace {

constexpr qreal kBodyPoints = 9;
constexpr qreal kTitlePoints = 14;
constexpr qreal kSubtitlePoints = 11;
// Where a cell may wrap a long code or address that has no blanks.
const QTextOption::WrapMode kWrap = QTextOption::WrapAtWordBoundaryOrAnywhere;

QFont Font(qreal points, bool bold)
{
    QFont font;
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

} // namespace

// Positions on the page, in the printer's device pixels.
struct CListPrinter::Layout {
    QRectF page;
    std::vector<qreal> left;  // each column's left edge
    std::vector<qreal> width; // and its width
    qreal padding = 0;
    qreal footer = 0;

    Layout(const QRectF& pageRect, const std::vector<int>& widths, qreal charWidth)
        : page(pageRect), padding(charWidth / 2)
    {
        const double total = std::max(1, std::accumulate(widths.begin(), widths.end(), 0));
        qreal x = page.left();
        for (int w : widths) {
            left.push_back(x);
            width.push_back(page.width() * std::max(0, w) / total);
            x += width.back();
        }
    }

    QRectF Cell(std::size_t column, qreal top, qreal height) const
    {
        return QRectF(left[column] + padding, top, std::max<qreal>(1, width[column] - 2 * padding), height);
    }

    // The height a row of these texts needs, wrapped in their columns.
    qreal RowHeight(QPainter& painter, const std::vector<QString>& texts) const
    {
        const QFontMetricsF metrics(painter.font(), painter.device());
        qreal height = metrics.height();
        QTextOption option;
        option.setWrapMode(kWrap);
        for (std::size_t column = 0; column < texts.size(); ++column)
            height =
                std::max(height, painter.boundingRect(Cell(column, 0, 1e6), texts[column], option).height());
        return height + padding;
    }

    void DrawRow(QPainter& painter, const std::vector<QString>& texts,
                 const std::vector<Qt::Alignment>& align, qreal top, qreal height) const
    {
        for (std::size_t column = 0; column < texts.size(); ++column) {
            QTextOption option(align[column] | Qt::AlignTop);
            option.setWrapMode(kWrap);
            painter.save();
            painter.setClipRect(Cell(column, top, height));
            painter.drawText(Cell(column, top, height), texts[column], option);
            painter.restore();
        }
    }
};

CListPrinter::CListPrinter(const CLanguageMgr& language)
    : m_language(language), m_printer(std::make_unique<QPrinter>(QPrinter::HighResolution))
{
}

CListPrinter::~CListPrinter() = default;

bool CListPrinter::PageSetup(QWidget* parent)
{
    QPageSetupDialog dialog(m_printer.get(), parent);
    return dialog.exec() == QDialog::Accepted;
}

bool CListPrinter::Print(const CScListCtrl& list, QWidget* parent)
{
    QPrintDialog dialog(m_printer.get(), parent);
    dialog.setWindowTitle(UiText(m_language, kStrStoredCodes));
    if (dialog.exec() != QDialog::Accepted)
        return false;
    return PrintTo(*m_printer, list) > 0;
}

int CListPrinter::PrintTo(QPrinter& printer, const CScListCtrl& list) const
{
    return PrintTo(printer, list.Proxy(), list.ColumnWidths());
}

int CListPrinter::PrintTo(QPrinter& printer, const QAbstractItemModel& model,
                          const std::vector<int>& widths) const
{
    const int columns = std::min<int>(model.columnCount(), static_cast<int>(widths.size()));
    if (columns <= 0)
        return 0;
    const QString product = UiText(m_language, kStrAppTitle);
    const QString title = UiText(m_language, kStrStoredCodes);
    printer.setDocName(title);
    QPainter painter;
    if (!painter.begin(&printer))
        return 0;

    std::vector<QString> titles;
    std::vector<Qt::Alignment> align;
    for (int column = 0; column < columns; ++column) {
        titles.push_back(model.headerData(column, Qt::Horizontal).toString().trimmed());
        const QVariant alignment = model.index(0, column).data(Qt::TextAlignmentRole);
        align.push_back(alignment.isValid() ? Qt::Alignment(alignment.toInt()) & Qt::AlignHorizontal_Mask
                                            : Qt::Alignment(Qt::AlignLeft));
    }
    painter.setFont(Font(kBodyPoints, false));
    const QFontMetricsF body(painter.font(), painter.device());
    const Layout layout(
        printer.pageLayout()
            .paintRectPixels(printer.resolution())
            .translated(-printer.pageLayout().paintRectPixels(printer.resolution()).topLeft()),
        std::vector<int>(widths.begin(), widths.begin() + columns), body.averageCharWidth());
    const qreal footerTop = layout.page.bottom() - body.height();

    int page = 0;
    qreal y = 0;
    const auto startPage = [&] {
        if (page > 0 && !printer.newPage())
            return false;
        ++page;
        y = layout.page.top();
        for (const auto& [text, points] :
             {std::pair{product, kTitlePoints}, std::pair{title, kSubtitlePoints}}) {
            painter.setFont(Font(points, true));
            const qreal height = QFontMetricsF(painter.font(), painter.device()).height();
            painter.drawText(QRectF(layout.page.left(), y, layout.page.width(), height), Qt::AlignLeft, text);
            y += height;
        }
        y += body.height() / 2;
        painter.setFont(Font(kBodyPoints, true));
        const qreal height = layout.RowHeight(painter, titles);
        layout.DrawRow(painter, titles, align, y, height);
        y += height;
        painter.drawLine(QPointF(layout.page.left(), y), QPointF(layout.page.right(), y));
        y += layout.padding / 2;
        painter.setFont(Font(kBodyPoints, false));
        painter.drawText(QRectF(layout.page.left(), footerTop, layout.page.width(), body.height()),
                         Qt::AlignHCenter,
                         ToQString(CLanguageMgr::FormatNumbers(m_language.LoadText(kStrPrintPage), {page})));
        return true;
    };
    if (!startPage())
        return 0;
    const qreal bodyTop = y;
    const QPen rule(QColor(0xc0, 0xc0, 0xc0), 0);
    for (int row = 0; row < model.rowCount(); ++row) {
        std::vector<QString> texts;
        for (int column = 0; column < columns; ++column)
            texts.push_back(model.index(row, column).data().toString());
        // A row taller than a whole page is cut off rather than moved on for ever.
        const qreal height = std::min(layout.RowHeight(painter, texts), footerTop - bodyTop);
        if (y + height > footerTop && !startPage())
            return 0;
        layout.DrawRow(painter, texts, align, y, height);
        y += height;
        painter.save();
        painter.setPen(rule);
        painter.drawLine(QPointF(layout.page.left(), y), QPointF(layout.page.right(), y));
        painter.restore();
    }
    return painter.end() ? page : 0;
}
