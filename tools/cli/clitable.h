#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

// How a table is printed: aligned columns, at most `maxWidth` columns wide
// when that is not 0, or tab-separated values.
struct TableStyle {
    bool tsv = false;
    std::size_t maxWidth = 0;
};

// The style for standard output: capped to the terminal's width when it is
// a terminal, never capped in a pipe or a file.
TableStyle OutputTableStyle(bool tsv);

// A text as one cell shows it: control characters and bytes that are not
// UTF-8 written as escapes (\e, \r, \x01, ...), so the cell stays on its
// line and cannot move the terminal's cursor.
std::string EscapeCell(std::string_view text);

// Columns the (escaped) text takes on a terminal.
std::size_t DisplayWidth(std::string_view text);

// The text cut to `width` columns, ending in "…" when it was longer; never
// cut inside a character.
std::string ShortenToWidth(std::string_view text, std::size_t width);

// Prints rows under a header line, for the readable (non-JSON) output of the
// subcommands. Empty cells show "-" in aligned columns and stay empty in
// tab-separated values.
void PrintTable(std::ostream& out, const std::vector<std::string>& header,
                const std::vector<std::vector<std::string>>& rows, const TableStyle& style = {});
