#include "tests/hostile/figures.h"

#include <cstdio>
#include <mutex>

namespace hostile {

namespace {
    std::mutex mutex;
    std::string heading;
    std::vector<std::string> rows;
}

void Figure(const std::string& row)
{
    std::lock_guard<std::mutex> lock(mutex);
    rows.push_back(row);
    std::printf("%s\n", row.c_str());
    std::fflush(stdout);
}

void FigureHeading(const std::string& text)
{
    std::lock_guard<std::mutex> lock(mutex);
    heading = text;
}

void PrintFigures()
{
    std::lock_guard<std::mutex> lock(mutex);
    if (rows.empty())
        return;
    std::printf("\n%s\n", heading.c_str());
    for (const std::string& row : rows)
        std::printf("%s\n", row.c_str());
    std::fflush(stdout);
}

} // namespace hostile
