#include "text_table.h"

#include <algorithm>
#include <cstdio>

void PrintTable(const std::vector<TableRow>& rows, const std::vector<bool>& leftAligned) {
    std::vector<std::size_t> widths(leftAligned.size(), 0);
    for (const TableRow& row : rows) {
        for (std::size_t column = 0; column < row.size(); ++column) {
            widths[column] = std::max(widths[column], row[column].size());
        }
    }
    for (const TableRow& row : rows) {
        std::string line;
        for (std::size_t column = 0; column < row.size(); ++column) {
            const std::string padding(widths[column] - row[column].size(), ' ');
            line += leftAligned[column] ? row[column] + padding : padding + row[column];
            line += column + 1 < row.size() ? "  " : "";
        }
        while (!line.empty() && line.back() == ' ') {
            line.pop_back();
        }
        std::printf("%s\n", line.c_str());
    }
}
