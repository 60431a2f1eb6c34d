// Test entry point: one application object for the whole test program, on Qt's offscreen
// platform, with the tests answering every modal box.
#include "forms.h"

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Listing or running the tests by hand needs no display either.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    Application->Initialize();
    return RUN_ALL_TESTS();
}
