// Runs the tests inside one run-time engine, off-screen unless told otherwise.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/runtime.h"
#include "support.h"
#include "ui/quorvex.h"

int main(int argc, char** argv)
{
    // Test discovery runs this binary at build time, without any display.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // A recordings folder of the tests' own: the user's real one is never read.
    char userData[] = "/tmp/quorvex-tests-XDG-XXXXXX";
    if (!mkdtemp(userData)) return 1;
    setenv("XDG_DATA_HOME", userData, 1);
    testing::InitGoogleTest(&argc, argv);
    int result = 0;
    {
        RunTimeEngine engine(argc, argv);
        RegisterUirFile(QuorvexUir());
        failOnUnexpectedBoxes();
        result = RUN_ALL_TESTS();
    }
    std::error_code ignored;
    std::filesystem::remove_all(userData, ignored);
    return result;
}
