// The GUI tests' main: one application object for the whole run, drawn
// offscreen unless the environment chose a platform.
#include <gtest/gtest.h>

#include "host/toolkit/toolkit.h"

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    ZApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
