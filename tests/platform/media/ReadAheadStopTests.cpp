#include "platform/media/AssetReader.h"
#include "platform/media/LeftBehind.h"
#include "platform/media/TrackDecoder.h"
#include "support/MediaFixtures.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

using namespace tx;
using namespace tx::test;

namespace {

// Decodes off the test's thread wait here until let go.
struct Hold {
    std::mutex mutex;
    std::condition_variable changed;
    std::thread::id testThread;
    int waiting = 0;
    bool letGo = false;
    bool letGoByWatchdog = false;
};
Hold gHold;

void holdDecodesOffTheTestThread() {
    if (std::this_thread::get_id() == gHold.testThread) {
        return;
    }
    std::unique_lock lock(gHold.mutex);
    ++gHold.waiting;
    gHold.changed.notify_all();
    gHold.changed.wait(lock, [] { return gHold.letGo; });
}

AssetReaderPtr startWindow(const AssetPtr& asset, double start, double following) {
    auto reader = AssetReader::create(asset);
    auto output =
        AssetReaderTrackOutput::create(asset->tracksWithMediaType(kMediaTypeVideo).front(), {});
    reader->addOutput(output);
    const auto seconds = [](double s) { return MediaTime::makeWithSeconds(s, 600); };
    reader->setTimeRange(TimeRange::make(seconds(start), seconds(1.0)));
    reader->setFollowingTimeRange(TimeRange::make(seconds(following), seconds(1.0)));
    EXPECT_TRUE(reader->startReading());
    return reader;
}

} // namespace

// A stop drops the readers, tracks and assets of a render at once; the window before the last
// one read is being decoded ahead on a thread of its own then. The stop must not wait for that
// decode, however long it takes: here it is held until the stop is over.
TEST(ReadingAhead, AStopDoesNotWaitForTheWindowBeingDecodedAhead) {
    ClipSpec spec;
    spec.seconds = 3.0;
    spec.keyint = 30;
    spec.sound = false;
    const std::string path = makeClip(spec);
    gHold.testThread = std::this_thread::get_id();
    TrackDecoder::setFrameHookForTesting(holdDecodesOffTheTestThread);
    // Lets go after a long while if the stop below hangs on the held decode, so that the test
    // fails instead of hanging.
    std::thread watchdog([] {
        std::unique_lock lock(gHold.mutex);
        if (!gHold.changed.wait_for(lock, std::chrono::seconds(30), [] { return gHold.letGo; })) {
            gHold.letGo = gHold.letGoByWatchdog = true;
            gHold.changed.notify_all();
        }
    });
    {
        AssetPtr asset = Asset::urlAsset(path, true);
        ASSERT_TRUE(asset);
        AssetReaderPtr last = startWindow(asset, 2.0, 1.0);
        int pictures = 0;
        while (last->outputs().front()->copyNextSampleBuffer()) {
            ++pictures;
        }
        EXPECT_EQ(pictures, 30);
        {
            // The read's end started the window before it on a thread of its own.
            std::unique_lock lock(gHold.mutex);
            gHold.changed.wait(lock, [] { return gHold.waiting > 0 || gHold.letGo; });
        }
        // The stop: everything of the render is let go while that decode is held.
        last.reset();
        asset.reset();
    }
    {
        std::lock_guard lock(gHold.mutex);
        EXPECT_FALSE(gHold.letGoByWatchdog) << "the stop waited for the decode ahead";
        gHold.letGo = true;
    }
    gHold.changed.notify_all();
    watchdog.join();
    // Let go, the abandoned decode ends on its own at its next picture.
    leftBehind::waitForAll();
    TrackDecoder::setFrameHookForTesting(nullptr);
}
