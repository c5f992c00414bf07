#include "capture/AVCaptureMgr.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/RunLoop.h"
#include "support/MediaFixtures.h"
#include "support/VirtualCameraTest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

namespace tx {
namespace {

struct Reports : Object, AVCaptureMgrDelegate {
    std::vector<float> updates;
    std::vector<double> updateTimes; // seconds of the monotonic clock
    std::vector<std::string> finished;
    std::vector<ErrorPtr> errors;
    std::vector<int> orientations;
    bool allOnMainThread = true;

    void note() { allOnMainThread = allOnMainThread && RunLoop::isMainThread(); }
    void avCaptureMgrDidUpdate(AVCaptureMgr&, float seconds) override {
        note();
        updates.push_back(seconds);
        updateTimes.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
                .count());
    }
    void avCaptureMgrDidFinish(AVCaptureMgr&, const std::string& url) override {
        note();
        finished.push_back(url);
    }
    void avCaptureMgrDidError(AVCaptureMgr&, const ErrorPtr& error) override {
        note();
        errors.push_back(error);
    }
    void avCaptureMgrDidChangeOrientation(AVCaptureMgr&, int code) override {
        note();
        orientations.push_back(code);
    }
    bool ended() const { return !finished.empty() || !errors.empty(); }
};

class CaptureMgrTest : public test::VirtualCameraTest {
protected:
    // A manager as the main screen makes it, with the accelerometer's own samples turned off
    // so a test decides what the device feels.
    AVCaptureMgrPtr makeManager(const std::string& preset = kCaptureSessionPresetMedium) {
        auto made = AVCaptureMgr::initWithPreview(parent, preset);
        made->setDelegate(reports);
        Accelerometer::sharedAccelerometer().setDelegate(nullptr);
        made->startup();
        return made;
    }
    void feel(AVCaptureMgr& target, double x, double y) {
        target.accelerometerDidAccelerate(Accelerometer::sharedAccelerometer(),
                                          Acceleration{x, y, 0, 0});
    }
    bool waitForEnd(double seconds = 5.0) {
        return RunLoop::runUntil([&] { return reports->ended(); }, seconds);
    }

    LayerPtr parent = Layer::create();
    std::shared_ptr<Reports> reports = std::make_shared<Reports>();
};

TEST(OrientationTable, ClassifiesSamplesWithInclusiveBoundsAndADeadZone) {
    struct Case {
        float x;
        float y;
        int want;
    };
    const Case cases[] = {
        {0, -1, 1},          // upright
        {-1, 0, 3},          // top to the left
        {1, 0, 4},           // top to the right
        {0, 1, 1},           // upside down still gives portrait
        {0.005f, 0.005f, 0}, // lying flat: ignored
        {0.005f, 0.02f, 1},  // one axis above the dead zone is enough
        {-0.7f, -0.7f, 1},   // angle -0.785: portrait side of the bound
        {-0.8f, -0.6f, 3},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AVCaptureMgr::orientationForAcceleration(c.x, c.y), c.want) << c.x << ", " << c.y;
    }
    // On a bound the earlier range wins.
    EXPECT_EQ(AVCaptureMgr::orientationForAngle(-0.75f), 1);
    EXPECT_EQ(AVCaptureMgr::orientationForAngle(0.75f), 3);
    EXPECT_EQ(AVCaptureMgr::orientationForAngle(-2.25f), 1);
    EXPECT_EQ(AVCaptureMgr::orientationForAngle(2.25f), 1);
    EXPECT_EQ(AVCaptureMgr::orientationForAngle(2.26f), 4);
    EXPECT_EQ(AVCaptureMgr::orientationForAngle(-3.0f), 4);
}

TEST_F(CaptureMgrTest, ReportsEachOrientationOnceAcrossManagers) {
    AVCaptureMgr::resetLastReportedOrientation();
    mgr = makeManager();
    EXPECT_EQ(mgr->videoOrientation(), 1);
    feel(*mgr, 0, -1); // the first classified sample is reported even though it is the initial 1
    feel(*mgr, 0, -1);
    feel(*mgr, 0.005, 0.005);
    feel(*mgr, -1, 0);
    EXPECT_EQ(reports->orientations, (std::vector<int>{1, 3}));
    EXPECT_EQ(mgr->videoOrientation(), 3);

    // A later manager shares the last report: the same orientation is not told again.
    auto second = makeManager();
    feel(*second, -1, 0);
    EXPECT_EQ(second->videoOrientation(), 3);
    EXPECT_EQ(reports->orientations.size(), 2u);
    feel(*second, 1, 0);
    EXPECT_EQ(reports->orientations.back(), 4);
    EXPECT_EQ(AVCaptureMgr::lastReportedOrientation(), 4);
}

TEST_F(CaptureMgrTest, RecordsTwoSecondsOfTurnedVideoWithSoundAndReportsTenTimesASecond) {
    mgr = makeManager();
    EXPECT_EQ(mgr->getVideoLayer()->videoGravity(), kLayerVideoGravityResizeAspectFill);
    EXPECT_EQ(parent->sublayers().size(), 1u);
    mgr->setMaxRecordedDuration(900);
    EXPECT_FLOAT_EQ(mgr->getMaxRecordedDuration(), 900.0f);
    mgr->start();
    ASSERT_TRUE(mgr->running());
    EXPECT_FALSE(mgr->getVideoLayer()->isHidden());
    ASSERT_TRUE(
        RunLoop::runUntil([&] { return mgr->getVideoLayer()->latestPicture() != nullptr; }, 3.0));
    EXPECT_EQ(mgr->getVideoLayer()->latestPicture()->width(), 480);
    EXPECT_EQ(mgr->getVideoLayer()->latestPicture()->height(), 360);

    feel(*mgr, -1, 0); // landscape, top to the left
    const std::string path =
        pathByAppending(temporaryDirectory(), "capture-" + uniqueString() + ".mov");
    writeFileAtomically(path, "old", 3); // an earlier recording is replaced
    ASSERT_TRUE(mgr->startCaptureWithPath(path));
    EXPECT_TRUE(mgr->isCapture());
    EXPECT_FALSE(fileExists(path));
    RunLoop::runUntil([&] { return mgr->getRecordedDuration() >= 2.0f; }, 5.0);
    const std::size_t updatesWhileRecording = reports->updates.size();
    mgr->stopCapture();
    EXPECT_FALSE(mgr->isCapture());
    EXPECT_FALSE(mgr->hasUpdateTimer());
    ASSERT_TRUE(waitForEnd());
    ASSERT_TRUE(reports->errors.empty()) << reports->errors.front()->localizedDescription();
    ASSERT_EQ(reports->finished, std::vector<std::string>{path});
    EXPECT_TRUE(reports->allOnMainThread);
    // Reports come every 0.1 s (the typical gap; a busy machine delays some), rising.
    ASSERT_GE(updatesWhileRecording, 10u);
    std::vector<double> gaps;
    for (std::size_t i = 1; i < reports->updates.size(); ++i) {
        EXPECT_GE(reports->updates[i], reports->updates[i - 1]);
        gaps.push_back(reports->updateTimes[i] - reports->updateTimes[i - 1]);
    }
    std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
    EXPECT_NEAR(gaps[gaps.size() / 2], 0.1, 0.03);

    EXPECT_EQ(test::probeStream(path, "v:0", "codec_name"), "h264");
    EXPECT_EQ(test::probeStream(path, "a:0", "codec_name"), "aac");
    EXPECT_EQ(test::probeStream(path, "v:0", "width"), "480");
    EXPECT_NEAR(test::probeDuration(path, "v:0"), 2.0, 0.25);
    EXPECT_NEAR(test::probeDuration(path, "a:0"), 2.0, 0.3);
    // Turned to the left: the movie is shown turned back a quarter.
    EXPECT_NE(test::capture(
                  "ffprobe -v error -select_streams v:0 -show_entries stream_side_data=rotation "
                  "-of csv=p=0 '" +
                  path + "'")
                  .find("90"),
              std::string::npos);
    // A keyframe every second.
    const std::string keys =
        test::capture("ffprobe -v error -select_streams v:0 -show_entries packet=flags "
                      "-of csv=p=0 '" +
                      path + "' | grep -c K");
    EXPECT_GE(std::stoi(keys), 2);
    removeFile(path);
}

TEST_F(CaptureMgrTest, AMaximumDurationEndsThroughTheErrorAndTheTimerRunsOn) {
    mgr = makeManager();
    mgr->setMaxRecordedDuration(1);
    mgr->start();
    const std::string path =
        pathByAppending(temporaryDirectory(), "capture-" + uniqueString() + ".mov");
    mgr->startCaptureWithPath(path);
    EXPECT_TRUE(mgr->hasUpdateTimer());
    ASSERT_TRUE(waitForEnd(4.0));
    EXPECT_TRUE(reports->finished.empty());
    ASSERT_EQ(reports->errors.size(), 1u);
    EXPECT_EQ(reports->errors[0]->code(), kCaptureErrorMaximumDurationReached);
    EXPECT_TRUE(reports->errors[0]->recoverySuggestion().has_value());
    EXPECT_FALSE(mgr->isCapture());
    EXPECT_NEAR(test::probeDuration(path, "v:0"), 1.0, 0.2); // what was recorded is kept

    // The timer keeps reporting until the next stopCapture.
    EXPECT_TRUE(mgr->hasUpdateTimer());
    const std::size_t before = reports->updates.size();
    RunLoop::runFor(0.3);
    EXPECT_GT(reports->updates.size(), before);
    mgr->stopCapture();
    EXPECT_FALSE(mgr->hasUpdateTimer());
    removeFile(path);
}

TEST_F(CaptureMgrTest, TwoStartsMakeOneTimerAndStopWithoutRecordingOnlyClearsIt) {
    mgr = makeManager();
    // The session is not running: the recording fails, through the error report.
    const std::string path =
        pathByAppending(temporaryDirectory(), "capture-" + uniqueString() + ".mov");
    mgr->startCaptureWithPath(path);
    mgr->startCaptureWithPath(path);
    ASSERT_TRUE(waitForEnd(2.0));
    RunLoop::runFor(0.35);
    ASSERT_EQ(reports->errors.size(), 2u);
    EXPECT_EQ(reports->errors[0]->code(), kCaptureErrorSessionNotRunning);
    // One timer: about one report per 0.1 s, not two.
    EXPECT_GE(reports->updates.size(), 3u);
    EXPECT_LE(reports->updates.size(), 6u);

    mgr->stopCapture();
    EXPECT_FALSE(mgr->hasUpdateTimer());
    const std::size_t count = reports->updates.size();
    RunLoop::runFor(0.25);
    EXPECT_EQ(reports->updates.size(), count);
    EXPECT_EQ(reports->errors.size(), 2u);
    EXPECT_TRUE(reports->finished.empty());
    EXPECT_FALSE(fileExists(path));
}

TEST_F(CaptureMgrTest, SwapStopsReconfiguresAndRestartsARunningSession) {
    EXPECT_TRUE(AVCaptureMgr::canCamera(true));
    EXPECT_TRUE(AVCaptureMgr::canCamera(false));
    mgr = makeManager();
    EXPECT_EQ(mgr->getCurDevicePosition(), 1);
    std::vector<std::string> events;
    auto& center = NotificationCenter::defaultCenter();
    for (const auto& name :
         {kCaptureSessionDidStartRunningNotification, kCaptureSessionDidStopRunningNotification}) {
        center.addObserver(&events, name,
                           [&events](const Notification& n) { events.push_back(n.name); });
    }
    mgr->start();
    events.clear();
    mgr->swapFrontAndBackCameras();
    EXPECT_EQ(mgr->getCurDevicePosition(), 2);
    EXPECT_TRUE(mgr->running());
    EXPECT_EQ(events, (std::vector<std::string>{kCaptureSessionDidStopRunningNotification,
                                                kCaptureSessionDidStartRunningNotification}));
    ASSERT_EQ(mgr->captureSession()->inputs().size(), 2u);

    events.clear();
    mgr->showCameras(true); // already front: nothing happens
    EXPECT_TRUE(events.empty());
    mgr->showCameras(false);
    EXPECT_EQ(mgr->getCurDevicePosition(), 1);
    EXPECT_EQ(events.size(), 2u);

    // A stopped session is reconfigured but not started.
    mgr->stop();
    EXPECT_TRUE(mgr->getVideoLayer()->isHidden());
    events.clear();
    mgr->swapFrontAndBackCameras();
    EXPECT_EQ(mgr->getCurDevicePosition(), 2);
    EXPECT_FALSE(mgr->running());
    EXPECT_TRUE(events.empty());
    center.removeObserver(&events);
}

TEST_F(CaptureMgrTest,
       APresetChangeReachesTheRunningCameraAndAnUnchangedOrUnknownOneLeavesTheSessionAlone) {
    mgr = makeManager();
    mgr->start();
    mgr->setPreset(kCaptureSessionPreset640x480);
    EXPECT_EQ(mgr->captureSession()->sessionPreset(), kCaptureSessionPreset640x480);
    ASSERT_TRUE(RunLoop::runUntil(
        [&] {
            auto picture = mgr->getVideoLayer()->latestPicture();
            return picture && picture->width() == 640;
        },
        3.0));
    const auto changes = mgr->captureSession()->changeCount();
    mgr->setPreset(kCaptureSessionPreset640x480); // already in use: the session is left alone
    mgr->setPreset("AVCaptureSessionPresetPhoto");
    EXPECT_EQ(mgr->captureSession()->sessionPreset(), kCaptureSessionPreset640x480);
    EXPECT_EQ(mgr->captureSession()->changeCount(), changes);
    mgr->setPreset(kCaptureSessionPresetMedium);
    EXPECT_EQ(mgr->captureSession()->changeCount(), changes + 1);
}

TEST_F(CaptureMgrTest, WithoutAnyDeviceARecordingEndsWithAClearError) {
    CaptureDevice::setDevicesOverride(std::vector<CaptureDevicePtr>{});
    EXPECT_FALSE(AVCaptureMgr::canCamera(false));
    mgr = makeManager();
    EXPECT_EQ(mgr->getCurDevicePosition(), 0);
    mgr->swapFrontAndBackCameras(); // nothing to swap
    mgr->start();
    mgr->startCaptureWithPath(
        pathByAppending(temporaryDirectory(), "capture-" + uniqueString() + ".mov"));
    ASSERT_TRUE(waitForEnd(2.0));
    ASSERT_EQ(reports->errors.size(), 1u);
    EXPECT_EQ(reports->errors[0]->code(), kCaptureErrorDeviceNotConnected);
    EXPECT_NE(reports->errors[0]->localizedDescription().find("no camera or microphone"),
              std::string::npos);
}

TEST_F(CaptureMgrTest, APathInAMissingFolderEndsWithAnError) {
    mgr = makeManager();
    mgr->start();
    const std::string path =
        pathByAppending(temporaryDirectory(), "missing-" + uniqueString() + "/capture.mov");
    mgr->startCaptureWithPath(path);
    ASSERT_TRUE(waitForEnd(2.0));
    ASSERT_EQ(reports->errors.size(), 1u);
    EXPECT_EQ(reports->errors[0]->code(), kCaptureErrorFileWriteFailed);
    EXPECT_NE(reports->errors[0]->localizedDescription().find(path), std::string::npos);
    EXPECT_FALSE(mgr->isCapture());
}

TEST_F(CaptureMgrTest, ACameraThatVanishesMidRecordingEndsItWithAnError) {
    // A camera that delivers half a second of pictures and then nothing more.
    auto devices = CaptureDevice::virtualDevices();
    devices[0] = CaptureDevice::create(
        "test:vanishing", "Vanishing Camera", kMediaTypeVideo, CaptureDevicePosition::Back,
        {"lavfi", "testsrc2=size=320x240:rate=30:duration=0.5,realtime", {}});
    CaptureDevice::setDevicesOverride(devices);
    mgr = makeManager();
    mgr->start();
    const std::string path =
        pathByAppending(temporaryDirectory(), "capture-" + uniqueString() + ".mov");
    mgr->startCaptureWithPath(path);
    ASSERT_TRUE(waitForEnd(4.0));
    ASSERT_EQ(reports->errors.size(), 1u);
    EXPECT_EQ(reports->errors[0]->code(), kCaptureErrorDeviceNotConnected);
    EXPECT_NE(reports->errors[0]->localizedDescription().find("Vanishing Camera"),
              std::string::npos);
    EXPECT_FALSE(mgr->isCapture());
    removeFile(path);
}

} // namespace
} // namespace tx
