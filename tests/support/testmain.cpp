// Test entry point: one application object for the whole test program, on Qt's offscreen
// platform, with the tests answering every modal box.
#include "forms.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    Application->Initialize();
    return RUN_ALL_TESTS();
}
