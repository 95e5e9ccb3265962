// Tables of text for a terminal, as list and recover print the trailers of a disc.
#pragma once

#include <string>
#include <vector>

using TableRow = std::vector<std::string>;

// Prints the rows, their cells two blanks apart, each column as wide as its widest cell. The
// columns `leftAligned` names are aligned to the left, the others (numbers) to the right. No
// line ends in a blank.
void PrintTable(const std::vector<TableRow>& rows, const std::vector<bool>& leftAligned);
