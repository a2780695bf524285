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
constexpr qreal kSmallestPoints = 6;
constexpr qreal kTitlePoints = 14;
constexpr qreal kSubtitlePoints = 11;
// Texts wrap between words, and within a word (a long code or address)
// only when it is wider than its column.
constexpr QTextOption::WrapMode kTitleWrap = QTextOption::WrapAtWordBoundaryOrAnywhere;
constexpr QTextOption::WrapMode kCellWrap = QTextOption::WrapAtWordBoundaryOrAnywhere;

QFont Font(qreal points, bool bold)
{
    QFont font;
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

// The columns on the paper, in the printer's device pixels.
struct Columns {
    std::vector<qreal> left;
    std::vector<qreal> width;
    qreal padding = 0;

    Columns(const QRectF& paper, const std::vector<int>& widths, qreal charWidth) : padding(charWidth / 2)
    {
        const double total = std::max(1, std::accumulate(widths.begin(), widths.end(), 0));
        qreal x = paper.left();
        for (int w : widths) {
            left.push_back(x);
            width.push_back(paper.width() * std::max(0, w) / total);
            x += width.back();
        }
    }

    QRectF Cell(std::size_t column, qreal top, qreal height) const
    {
        return QRectF(left[column] + padding, top, std::max<qreal>(1, width[column] - 2 * padding), height);
    }

    // The height a row of these texts needs, each wrapped in its column.
    qreal RowHeight(QPainter& painter, const std::vector<QString>& texts, QTextOption::WrapMode wrap) const
    {
        qreal height = QFontMetricsF(painter.font(), painter.device()).height();
        QTextOption option;
        option.setWrapMode(wrap);
        for (std::size_t column = 0; column < texts.size(); ++column)
            height =
                std::max(height, painter.boundingRect(Cell(column, 0, 1e6), texts[column], option).height());
        return height + padding;
    }

    void DrawRow(QPainter& painter, const std::vector<QString>& texts,
                 const std::vector<Qt::Alignment>& align, qreal top, qreal height,
                 QTextOption::WrapMode wrap) const
    {
        for (std::size_t column = 0; column < texts.size(); ++column) {
            QTextOption option(align[column] | Qt::AlignTop);
            option.setWrapMode(wrap);
            painter.save();
            painter.setClipRect(Cell(column, top, height));
            painter.drawText(Cell(column, top, height), texts[column], option);
            painter.restore();
        }
    }
};

} // namespace

// One print: the text size fitted to the paper, the page being filled.
class CListPrinter::Job {
public:
    Job(const CLanguageMgr& language, QPrinter& printer, QPainter& painter, const QAbstractItemModel& model,
        const std::vector<int>& widths, int charWidth)
        : m_language(language), m_printer(printer), m_painter(painter), m_model(model),
          m_paper(printer.pageLayout().paintRectPixels(printer.resolution()))
    {
        m_paper.moveTopLeft({0, 0}); // the painter starts at the printable area
        for (int column = 0; column < static_cast<int>(widths.size()); ++column) {
            m_titles.push_back(model.headerData(column, Qt::Horizontal).toString().trimmed());
            const QVariant alignment = model.index(0, column).data(Qt::TextAlignmentRole);
            m_align.push_back(alignment.isValid()
                                  ? Qt::Alignment(alignment.toInt()) & Qt::AlignHorizontal_Mask
                                  : Qt::Alignment(Qt::AlignLeft));
        }
        // The list's width in characters, and the size at which they fit the paper.
        const double characters = std::accumulate(widths.begin(), widths.end(), 0.0) / std::max(1, charWidth);
        m_painter.setFont(Font(kBodyPoints, false));
        const qreal average = QFontMetricsF(m_painter.font(), m_painter.device()).averageCharWidth();
        m_points = std::clamp(kBodyPoints * m_paper.width() / std::max(1.0, characters * average),
                              kSmallestPoints, kBodyPoints);
        m_painter.setFont(Font(m_points, false));
        const QFontMetricsF body(m_painter.font(), m_painter.device());
        m_columns = std::make_unique<Columns>(m_paper, widths, body.averageCharWidth());
        m_lineHeight = body.height();
        m_footerTop = m_paper.bottom() - m_lineHeight;
    }

    // Headings, column titles and the page number.
    bool StartPage()
    {
        if (m_pages > 0 && !m_printer.newPage())
            return false;
        ++m_pages;
        m_y = m_paper.top();
        for (const auto& [id, size] :
             {std::pair{kStrAppTitle, kTitlePoints}, std::pair{kStrStoredCodes, kSubtitlePoints}}) {
            m_painter.setFont(Font(size, true));
            const qreal height = QFontMetricsF(m_painter.font(), m_painter.device()).height();
            m_painter.drawText(QRectF(m_paper.left(), m_y, m_paper.width(), height), Qt::AlignLeft,
                               UiText(m_language, id));
            m_y += height;
        }
        m_y += m_lineHeight / 2;
        m_painter.setFont(Font(m_points, true));
        const qreal height = m_columns->RowHeight(m_painter, m_titles, kTitleWrap);
        m_columns->DrawRow(m_painter, m_titles, m_align, m_y, height, kTitleWrap);
        m_y += height;
        m_painter.drawLine(QPointF(m_paper.left(), m_y), QPointF(m_paper.right(), m_y));
        m_y += m_columns->padding / 2;
        m_bodyTop = m_y;
        m_painter.setFont(Font(m_points, false));
        const std::string footer = CLanguageMgr::FormatNumbers(m_language.LoadText(kStrPrintPage), {m_pages});
        m_painter.drawText(QRectF(m_paper.left(), m_footerTop, m_paper.width(), m_lineHeight),
                           Qt::AlignHCenter, ToQString(footer));
        return true;
    }

    bool PrintRow(int row)
    {
        std::vector<QString> texts;
        for (int column = 0; column < static_cast<int>(m_titles.size()); ++column)
            texts.push_back(m_model.index(row, column).data().toString());
        // A row taller than a whole page is cut off rather than moved on for ever.
        const qreal height =
            std::min(m_columns->RowHeight(m_painter, texts, kCellWrap), m_footerTop - m_bodyTop);
        if (m_y + height > m_footerTop && !StartPage())
            return false;
        m_columns->DrawRow(m_painter, texts, m_align, m_y, height, kCellWrap);
        m_y += height;
        m_painter.save();
        m_painter.setPen(QPen(QColor(0xc0, 0xc0, 0xc0), 0));
        m_painter.drawLine(QPointF(m_paper.left(), m_y), QPointF(m_paper.right(), m_y));
        m_painter.restore();
        return true;
    }

    int Pages() const { return m_pages; }

private:
    const CLanguageMgr& m_language;
    QPrinter& m_printer;
    QPainter& m_painter;
    const QAbstractItemModel& m_model;
    QRectF m_paper;
    std::vector<QString> m_titles;
    std::vector<Qt::Alignment> m_align;
    std::unique_ptr<Columns> m_columns;
    qreal m_points = kBodyPoints;
    qreal m_lineHeight = 0;
    qreal m_footerTop = 0;
    qreal m_bodyTop = 0;
    qreal m_y = 0;
    int m_pages = 0;
};

CListPrinter::CListPrinter(const CLanguageMgr& language)
    : m_language(language), m_printer(std::make_unique<QPrinter>(QPrinter::HighResolution))
{
    m_printer->setPageOrientation(QPageLayout::Landscape);
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
    return PrintTo(printer, list.Proxy(), list.ColumnWidths(), list.fontMetrics().averageCharWidth());
}

int CListPrinter::PrintTo(QPrinter& printer, const QAbstractItemModel& model, const std::vector<int>& widths,
                          int charWidth) const
{
    const int columns = std::min<int>(model.columnCount(), static_cast<int>(widths.size()));
    if (columns <= 0)
        return 0;
    printer.setDocName(UiText(m_language, kStrStoredCodes));
    QPainter painter;
    if (!painter.begin(&printer))
        return 0;
    Job job(m_language, printer, painter, model, std::vector<int>(widths.begin(), widths.begin() + columns),
            charWidth);
    if (!job.StartPage())
        return 0;
    for (int row = 0; row < model.rowCount(); ++row)
        if (!job.PrintRow(row))
            return 0;
    return painter.end() ? job.Pages() : 0;
}
