#pragma once

#include <string>
#include <vector>

namespace hostile {

/// Rows of figures gathered while the tests run and printed as one table when they end.
void Figure(const std::string& row);
/// The line printed above the rows.
void FigureHeading(const std::string& heading);
/// Prints the heading and every row; called once the tests are done.
void PrintFigures();

} // namespace hostile
