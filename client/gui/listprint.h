#pragma once

#include <memory>
#include <vector>

class CLanguageMgr;
class CScListCtrl;
class QAbstractItemModel;
class QPrinter;
class QWidget;

// Prints the stored code list as a table over as many pages as it needs:
// each page headed by the product name and "Stored Codes" and the list's
// column titles, the columns as wide, in proportion, as the list shows
// them, long texts wrapped, and "Page N" at the foot. The printer (landscape
// to begin with: the table is wide) and its page set-up are kept from one
// print to the next.
class CListPrinter {
public:
    explicit CListPrinter(const CLanguageMgr& language);
    ~CListPrinter();

    QPrinter& Printer() const { return *m_printer; }

    // The page set-up dialog; false when cancelled.
    bool PageSetup(QWidget* parent);
    // The print dialog, then the rows the list shows in the order shown;
    // false when cancelled or when nothing could be printed.
    bool Print(const CScListCtrl& list, QWidget* parent);

    // Prints without asking; the number of pages printed, 0 on failure.
    int PrintTo(QPrinter& printer, const CScListCtrl& list) const;
    // Any table: its rows and header titles, columns in proportion to
    // `widths` (pixels of a font whose average character is `charWidth`
    // wide). The text is made as small as needed, within limits, for what
    // fits a column on the screen to fit it on paper.
    int PrintTo(QPrinter& printer, const QAbstractItemModel& model, const std::vector<int>& widths,
                int charWidth) const;

private:
    class Job;

    const CLanguageMgr& m_language;
    const std::unique_ptr<QPrinter> m_printer;
};
