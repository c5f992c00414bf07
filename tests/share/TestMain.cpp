// Screens need the GUI application (fonts) on the offscreen platform.
#include "app/ThumbnailQueue.h"
#include "platform/system/SerialWorker.h"
#include "platform/ui/Application.h"

#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    tx::Application::ensureGuiApplication();
    testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    // A job still running (a thumbnail, a music folder scan) must not outlive main().
    tx::ThumbnailQueue::shared().stop();
    tx::SerialWorker::finishAll();
    return status;
}
