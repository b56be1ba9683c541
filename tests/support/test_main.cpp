#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char **argv) {
    // Real timings, scaled down, unless the caller chose a scale.
    setenv("SWATHLINK_TIME_SCALE", "0.01", 0);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
