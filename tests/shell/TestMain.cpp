// The main screen's tests run the GUI application on the offscreen platform, record from the
// virtual camera and play the interface sounds into the silent sink.
#include "platform/media/AudioPlayer.h"
#include "platform/ui/Application.h"

#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    tx::Application::ensureGuiApplication();
    tx::AudioPlayer::setSinkFactory([] { return tx::AudioPlayer::makeSilentSink(); });
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
