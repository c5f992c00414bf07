// The desktop services' tests run the GUI application on the offscreen platform, like the screens.
#include "platform/foundation/RunLoop.h"
#include "platform/system/SerialWorker.h"

#include <cstdlib>
#include <gtest/gtest.h>

#if __has_include("platform/ui/Application.h")
#include "platform/ui/Application.h"
#endif

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
#if __has_include("platform/ui/Application.h")
    tx::Application::ensureGuiApplication();
#else
    tx::RunLoop::ensureApplication();
#endif
    testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    tx::SerialWorker::finishAll();
    return status;
}
