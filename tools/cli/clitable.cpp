#include "tools/cli/clitable.h"

#include "tools/cli/cliutf8.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr std::string_view kEllipsis = "\u2026";
constexpr std::size_t kColumnGap = 2;

std::string ByteEscape(unsigned char byte)
{
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\x%02x", byte);
    return escape;
}

std::string ControlEscape(char32_t c)
{
    switch (c) {
    case 0x1B:
        return "\\e";
    case '\a':
        return "\\a";
    case '\b':
        return "\\b";
    case '\t':
        return "\\t";
    case '\n':
        return "\\n";
    case '\r':
        return "\\r";
    case '\f':
        return "\\f";
    case '\v':
        return "\\v";
    default:
        return c < 0x100 ? ByteEscape(static_cast<unsigned char>(c)) : "\\u" + CodePointName(c).substr(2);
    }
}

bool IsControl(char32_t c)
{
    return c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0) || c == 0x2028 || c == 0x2029;
}

std::size_t TerminalColumns()
{
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    if (const char* columns = std::getenv("COLUMNS"); columns && std::atoi(columns) > 0)
        return static_cast<std::size_t>(std::atoi(columns));
    return 80;
}

// Narrows the widest columns, never below their header, until the line fits.
void FitWidths(std::vector<std::size_t>& widths, const std::vector<std::size_t>& minimum,
               std::size_t maxWidth)
{
    auto total = [&] {
        return std::accumulate(widths.begin(), widths.end(), std::size_t{0}) +
               kColumnGap * (widths.size() - 1);
    };
    while (total() > maxWidth) {
        std::size_t widest = widths.size();
        for (std::size_t c = 0; c < widths.size(); ++c)
            if (widths[c] > minimum[c] && (widest == widths.size() || widths[c] >= widths[widest]))
                widest = c;
        if (widest == widths.size())
            return;
        --widths[widest];
    }
}

void PrintTsv(std::ostream& out, const std::vector<std::string>& header,
              const std::vector<std::vector<std::string>>& rows)
{
    auto printRow = [&](const std::vector<std::string>& row) {
        for (std::size_t c = 0; c < header.size(); ++c)
            out << (c ? "\t" : "") << (c < row.size() ? EscapeCell(row[c]) : "");
        out << '\n';
    };
    printRow(header);
    for (const auto& row : rows)
        printRow(row);
}

} // namespace

TableStyle OutputTableStyle(bool tsv)
{
    TableStyle style;
    style.tsv = tsv;
    if (!tsv && isatty(STDOUT_FILENO))
        style.maxWidth = TerminalColumns();
    return style;
}

std::string EscapeCell(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const Utf8Char c = DecodeUtf8(text, i);
        if (c.length == 0) {
            out += ByteEscape(static_cast<unsigned char>(text[i]));
            ++i;
            continue;
        }
        if (IsControl(c.codePoint))
            out += ControlEscape(c.codePoint);
        else
            out.append(text.substr(i, c.length));
        i += c.length;
    }
    return out;
}

std::size_t DisplayWidth(std::string_view text)
{
    std::size_t width = 0;
    for (std::size_t i = 0; i < text.size();) {
        const Utf8Char c = DecodeUtf8(text, i);
        width += c.length ? static_cast<std::size_t>(DisplayColumns(c.codePoint)) : 1;
        i += std::max<std::size_t>(c.length, 1);
    }
    return width;
}

std::string ShortenToWidth(std::string_view text, std::size_t width)
{
    if (DisplayWidth(text) <= width)
        return std::string(text);
    if (width == 0)
        return "";
    std::string out;
    std::size_t used = 0;
    for (std::size_t i = 0; i < text.size();) {
        const Utf8Char c = DecodeUtf8(text, i);
        const std::size_t length = std::max<std::size_t>(c.length, 1);
        const std::size_t columns = c.length ? static_cast<std::size_t>(DisplayColumns(c.codePoint)) : 1;
        if (used + columns > width - 1)
            break;
        out.append(text.substr(i, length));
        used += columns;
        i += length;
    }
    return out.append(kEllipsis);
}

void PrintTable(std::ostream& out, const std::vector<std::string>& header,
                const std::vector<std::vector<std::string>>& rows, const TableStyle& style)
{
    if (style.tsv)
        return PrintTsv(out, header, rows);
    auto cellOf = [](const std::vector<std::string>& row, std::size_t c) {
        const std::string cell = c < row.size() ? EscapeCell(row[c]) : "";
        return cell.empty() ? std::string("-") : cell;
    };
    std::vector<std::size_t> widths(header.size());
    std::vector<std::size_t> minimum(header.size());
    for (std::size_t c = 0; c < header.size(); ++c)
        widths[c] = minimum[c] = std::max<std::size_t>(DisplayWidth(header[c]), 1);
    for (const auto& row : rows)
        for (std::size_t c = 0; c < widths.size(); ++c)
            widths[c] = std::max(widths[c], DisplayWidth(cellOf(row, c)));
    if (style.maxWidth && !widths.empty())
        FitWidths(widths, minimum, style.maxWidth);

    auto printRow = [&](const std::vector<std::string>& row, bool isHeader) {
        std::string line;
        for (std::size_t c = 0; c < widths.size(); ++c) {
            const std::string cell = ShortenToWidth(isHeader ? header[c] : cellOf(row, c), widths[c]);
            line += cell;
            if (c + 1 < widths.size())
                line += std::string(widths[c] - DisplayWidth(cell) + kColumnGap, ' ');
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        out << (style.maxWidth ? ShortenToWidth(line, style.maxWidth) : line) << '\n';
    };
    printRow(header, true);
    for (const auto& row : rows)
        printRow(row, false);
}
