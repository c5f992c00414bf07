// The main screen's tests run the GUI application on the offscreen platform, record from the
// virtual camera and play the interface sounds into the silent sink.
#include "app/ThumbnailQueue.h"
#include "platform/media/AudioPlayer.h"
#include "platform/system/SerialWorker.h"
#include "platform/ui/Application.h"

#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    tx::Application::ensureGuiApplication();
    tx::AudioPlayer::setSinkFactory([] { return tx::AudioPlayer::makeSilentSink(); });
    testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    // A job still running (a thumbnail, a still) must not outlive main().
    tx::ThumbnailQueue::shared().stop();
    tx::SerialWorker::finishAll();
    return status;
}
