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

// Holds every decode off the test's thread until let go: what a slow or stuck decoder does.
// After a long while a watchdog lets go, so that a test that would wait for the held decode
// fails instead of hanging.
class HeldDecodes : public ::testing::Test {
protected:
    void SetUp() override {
        gHold = this;
        _testThread = std::this_thread::get_id();
        TrackDecoder::setFrameHookForTesting(&HeldDecodes::hold);
        _watchdog = std::thread([this] {
            std::unique_lock lock(_mutex);
            if (!_changed.wait_for(lock, std::chrono::seconds(30), [this] { return _letGo; })) {
                _letGo = _letGoByWatchdog = true;
                _changed.notify_all();
            }
        });
    }
    void TearDown() override {
        letGo();
        _watchdog.join();
        leftBehind::waitForAll();
        TrackDecoder::setFrameHookForTesting(nullptr);
        gHold = nullptr;
    }
    void waitUntilADecodeIsHeld() {
        std::unique_lock lock(_mutex);
        _changed.wait(lock, [this] { return _held > 0 || _letGo; });
    }
    // Lets the held decodes go on; false when the watchdog had to.
    bool letGo() {
        std::lock_guard lock(_mutex);
        const bool byTest = !_letGoByWatchdog;
        _letGo = true;
        _changed.notify_all();
        return byTest;
    }

    static AssetReaderPtr startWindow(const AssetPtr& asset, double start, double following) {
        auto reader = AssetReader::create(asset);
        reader->addOutput(AssetReaderTrackOutput::create(
            asset->tracksWithMediaType(kMediaTypeVideo).front(), {}));
        const auto seconds = [](double s) { return MediaTime::makeWithSeconds(s, 600); };
        reader->setTimeRange(TimeRange::make(seconds(start), seconds(1.0)));
        reader->setFollowingTimeRange(TimeRange::make(seconds(following), seconds(1.0)));
        EXPECT_TRUE(reader->startReading());
        return reader;
    }
    static int readAll(const AssetReaderPtr& reader) {
        int pictures = 0;
        while (reader->outputs().front()->copyNextSampleBuffer()) {
            ++pictures;
        }
        return pictures;
    }

private:
    static void hold() {
        HeldDecodes* self = gHold;
        if (self == nullptr || std::this_thread::get_id() == self->_testThread) {
            return;
        }
        std::unique_lock lock(self->_mutex);
        ++self->_held;
        self->_changed.notify_all();
        self->_changed.wait(lock, [self] { return self->_letGo; });
    }

    static inline HeldDecodes* gHold = nullptr;
    std::thread::id _testThread;
    std::mutex _mutex;
    std::condition_variable _changed;
    int _held = 0;
    bool _letGo = false;
    bool _letGoByWatchdog = false;
    std::thread _watchdog;
};

ClipSpec oneKeyframeASecond() {
    ClipSpec spec;
    spec.seconds = 3.0;
    spec.keyint = 30;
    spec.sound = false;
    return spec;
}

} // namespace

// A stop drops the readers, tracks and assets of a render at once, while the window before the
// last one read is being decoded ahead on a thread of its own. It must not wait for that decode.
TEST_F(HeldDecodes, AStopDoesNotWaitForTheWindowBeingDecodedAhead) {
    const std::string path = makeClip(oneKeyframeASecond());
    {
        AssetPtr asset = Asset::urlAsset(path, true);
        ASSERT_TRUE(asset);
        AssetReaderPtr last = startWindow(asset, 2.0, 1.0);
        EXPECT_EQ(readAll(last), 30);
        waitUntilADecodeIsHeld(); // the read's end started the window before it
        last.reset();
        asset.reset();
    }
    EXPECT_TRUE(letGo()) << "the stop waited for the decode ahead";
}

// The window decoded ahead is waited for in turns, each ending at its deadline, so that whoever
// reads on the main loop can still hear a stop; let go, it delivers every picture in order.
TEST_F(HeldDecodes, TheWindowDecodedAheadIsWaitedForInTurns) {
    AssetPtr asset = Asset::urlAsset(makeClip(oneKeyframeASecond()), true);
    ASSERT_TRUE(asset);
    AssetReaderPtr last = startWindow(asset, 2.0, 1.0);
    EXPECT_EQ(readAll(last), 30);
    waitUntilADecodeIsHeld();
    AssetReaderPtr before = startWindow(asset, 1.0, 0.0);
    const AssetReaderTrackOutputPtr& output = before->outputs().front();
    EXPECT_FALSE(output->copyNextSampleBuffer(std::chrono::steady_clock::now()));
    EXPECT_TRUE(output->timedOut());
    EXPECT_EQ(before->status(), AssetReaderStatus::Reading);
    EXPECT_TRUE(letGo()) << "the read waited for the decode ahead";
    std::vector<double> times;
    for (;;) {
        SampleBufferPtr sample = output->copyNextSampleBuffer(std::chrono::steady_clock::now());
        if (!sample && output->timedOut()) {
            continue;
        }
        if (!sample) {
            break;
        }
        times.push_back(sample->presentationTime().seconds());
    }
    EXPECT_EQ(before->status(), AssetReaderStatus::Completed);
    ASSERT_EQ(times.size(), 30u);
    for (std::size_t i = 0; i < times.size(); ++i) {
        EXPECT_NEAR(times[i], 1.0 + static_cast<double>(i) / 30.0, 1e-3) << i;
    }
    EXPECT_EQ(asset->tracksWithMediaType(kMediaTypeVideo).front()->readCounts().decodedAhead, 1);
}
