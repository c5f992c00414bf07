// Screens need the GUI application (fonts) on the offscreen platform.
#include "platform/ui/Application.h"

#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    tx::Application::ensureGuiApplication();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
