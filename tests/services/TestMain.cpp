// The service clients' tests run the real run loop; the overlay's tests need the GUI application
// on the offscreen platform.
#include "platform/foundation/RunLoop.h"

#include <cstdlib>
#include <gtest/gtest.h>

#if __has_include("platform/ui/Application.h")
#include "platform/ui/Application.h"
#endif

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    for (const char* name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy",
                             "ALL_PROXY", "no_proxy", "NO_PROXY"}) {
        unsetenv(name);
    }
#if __has_include("platform/ui/Application.h")
    tx::Application::ensureGuiApplication();
#else
    tx::RunLoop::ensureApplication();
#endif
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
