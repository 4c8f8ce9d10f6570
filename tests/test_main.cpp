// The main of the test executables without windows: the test locale first.
#include <gtest/gtest.h>

#include "tests/test_locale.h"

int main(int argc, char** argv) {
    thermo::testing::applyTestLocale();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
