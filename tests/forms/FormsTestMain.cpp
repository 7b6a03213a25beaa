// Every console window test executable runs under the offscreen platform with the application object set up as
// at start-up and every box answered by the dialog seam.
#include "tests/forms/TestApplication.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ConsoleTestApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
