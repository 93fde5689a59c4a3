#include <gtest/gtest.h>

#include "tests/hostile/child.h"
#include "tests/hostile/figures.h"

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    hostile::LimitSanitizerQuarantine();
    const int status = RUN_ALL_TESTS();
    hostile::PrintFigures();
    return status;
}
