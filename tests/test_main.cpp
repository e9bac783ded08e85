// Runs the tests inside one run-time engine, off-screen unless told otherwise.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/runtime.h"
#include "support.h"
#include "ui/quorvex.h"

int main(int argc, char** argv)
{
    // Test discovery runs this binary at build time, without any display.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    testing::InitGoogleTest(&argc, argv);
    RunTimeEngine engine(argc, argv);
    RegisterUirFile(QuorvexUir());
    failOnUnexpectedBoxes();
    return RUN_ALL_TESTS();
}
