#include "platform/media/capture/CaptureSession.h"
#include "platform/media/capture/MovieFileOutput.h"
#include "platform/media/capture/VideoPreviewLayer.h"

#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/RunLoop.h"
#include "support/MediaFixtures.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>

namespace tx {
namespace {

TEST(CaptureDevices, TheVirtualCamerasStandAtBothPositionsWithAMicrophone) {
    CaptureDevice::setDevicesOverride(CaptureDevice::virtualDevices());
    const auto cameras = CaptureDevice::devicesWithMediaType(kMediaTypeVideo);
    ASSERT_EQ(cameras.size(), 2u);
    EXPECT_EQ(cameras[0]->position(), CaptureDevicePosition::Back);
    EXPECT_EQ(cameras[1]->position(), CaptureDevicePosition::Front);
    EXPECT_NE(cameras[0]->source().url, cameras[1]->source().url);
    auto microphone = CaptureDevice::defaultDeviceWithMediaType(kMediaTypeAudio);
    ASSERT_TRUE(microphone);
    EXPECT_TRUE(microphone->isVirtual());
    CaptureDevice::setDevicesOverride(std::nullopt);
}

TEST(CaptureDevices, ASoundServerThatDiedLeavesTheVirtualMicrophoneInItsPlace) {
    // A server that died leaves its socket file behind; nobody answers on it.
    const std::string runtime = pathByAppending(temporaryDirectory(), "runtime-" + uniqueString());
    std::filesystem::create_directories(runtime + "/pulse");
    const std::string socketPath = runtime + "/pulse/native";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(fd);

    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string savedRuntime = saved != nullptr ? saved : "";
    const char* savedServer = std::getenv("PULSE_SERVER");
    const std::string savedServerValue = savedServer != nullptr ? savedServer : "";
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    ::unsetenv("PULSE_SERVER");
    const auto microphones = CaptureDevice::devicesWithMediaType(kMediaTypeAudio);
    for (const auto& microphone : microphones) {
        EXPECT_NE(microphone->source().format, "pulse");
    }
    saved != nullptr ? ::setenv("XDG_RUNTIME_DIR", savedRuntime.c_str(), 1)
                     : ::unsetenv("XDG_RUNTIME_DIR");
    if (savedServer != nullptr) {
        ::setenv("PULSE_SERVER", savedServerValue.c_str(), 1);
    }
    std::filesystem::remove_all(runtime);
}

TEST(CaptureSessionRules, OneInputPerMediaTypeOneOutputAndKnownPresets) {
    auto session = CaptureSession::create();
    const auto devices = CaptureDevice::virtualDevices();
    auto back = CaptureDeviceInput::deviceInputWithDevice(devices[0]);
    auto front = CaptureDeviceInput::deviceInputWithDevice(devices[1]);
    auto microphone = CaptureDeviceInput::deviceInputWithDevice(devices[2]);
    ErrorPtr error;
    EXPECT_EQ(CaptureDeviceInput::deviceInputWithDevice(nullptr, &error), nullptr);
    EXPECT_TRUE(error);

    ASSERT_TRUE(session->canAddInput(back));
    session->addInput(back);
    EXPECT_FALSE(session->canAddInput(back));
    EXPECT_FALSE(session->canAddInput(front)); // a second camera
    EXPECT_TRUE(session->canAddInput(microphone));
    session->addInput(microphone);

    auto output = MovieFileOutput::create();
    ASSERT_TRUE(session->canAddOutput(output));
    session->addOutput(output);
    EXPECT_FALSE(session->canAddOutput(MovieFileOutput::create()));
    ASSERT_EQ(output->connections().size(), 2u);
    EXPECT_TRUE(output->connections()[0]->isVideoOrientationSupported());
    EXPECT_FALSE(output->connections()[1]->isVideoOrientationSupported());

    // A connection keeps its orientation while its input stays; a new input gets a new one.
    output->connections()[0]->setVideoOrientation(kCaptureVideoOrientationLandscapeLeft);
    session->beginConfiguration();
    session->removeInput(microphone);
    EXPECT_EQ(output->connections().size(), 2u); // not before the commit
    session->commitConfiguration();
    ASSERT_EQ(output->connections().size(), 1u);
    EXPECT_EQ(output->connections()[0]->videoOrientation(), kCaptureVideoOrientationLandscapeLeft);

    EXPECT_TRUE(session->canSetSessionPreset(kCaptureSessionPresetMedium));
    EXPECT_FALSE(session->canSetSessionPreset("AVCaptureSessionPresetPhoto"));
    EXPECT_EQ(CaptureSession::pictureSizeForPreset(kCaptureSessionPresetMedium).width, 480);
    EXPECT_EQ(CaptureSession::pictureSizeForPreset(kCaptureSessionPresetMedium).height, 360);
    EXPECT_EQ(CaptureSession::pictureSizeForPreset(kCaptureSessionPreset640x480).width, 640);
}

TEST(MovieFileOutputRules, KeyframesEverySecondAndOrientationAsATurn) {
    EXPECT_EQ(MovieFileOutput::keyFrameInterval(30), 30);
    EXPECT_EQ(MovieFileOutput::keyFrameInterval(14.985), 15);
    EXPECT_EQ(MovieFileOutput::keyFrameInterval(0), 30);
    EXPECT_EQ(MovieFileOutput::quarterTurnsForOrientation(kCaptureVideoOrientationPortrait), 0);
    EXPECT_EQ(
        MovieFileOutput::quarterTurnsForOrientation(kCaptureVideoOrientationPortraitUpsideDown), 2);
    EXPECT_EQ(MovieFileOutput::quarterTurnsForOrientation(kCaptureVideoOrientationLandscapeRight),
              3);
    EXPECT_EQ(MovieFileOutput::quarterTurnsForOrientation(kCaptureVideoOrientationLandscapeLeft),
              1);
}

TEST(VideoPreviewLayerGravity, AspectFillCropsTheLongerSideAroundTheCentre) {
    auto layer = VideoPreviewLayer::create(nullptr);
    layer->setFrame({0, 0, 320, 382});
    EXPECT_EQ(layer->visibleRegion(480, 360),
              (LayerFrame{0, 0, 480, 360})); // resize-aspect default
    layer->setVideoGravity(kLayerVideoGravityResizeAspectFill);
    const LayerFrame region = layer->visibleRegion(480, 360);
    EXPECT_NEAR(region.width, 360 * 320.0 / 382, 1e-9);
    EXPECT_NEAR(region.x, (480 - region.width) / 2, 1e-9);
    EXPECT_EQ(region.height, 360);

    // A picture converts for drawing: video-range grey stays grey, opaque.
    EXPECT_TRUE(layer->latestImage().isEmpty());
    auto picture = PixelBuffer::create(64, 48);
    std::memset(picture->baseAddressOfPlane(0), 126,
                static_cast<std::size_t>(picture->bytesPerRowOfPlane(0)) * 48);
    layer->enqueuePicture(picture);
    const PreviewImage image = layer->latestImage();
    ASSERT_EQ(image.width, 64);
    ASSERT_EQ(image.height, 48);
    ASSERT_EQ(image.pixels.size(), 64u * 48 * 4);
    const std::uint8_t* middle = image.pixels.data() + 24 * image.bytesPerRow() + 32 * 4;
    EXPECT_NEAR(middle[0], 128, 3);
    EXPECT_NEAR(middle[1], 128, 3);
    EXPECT_NEAR(middle[2], 128, 3);
    EXPECT_EQ(middle[3], 255);

    auto parent = Layer::create();
    parent->addSublayer(layer);
    EXPECT_EQ(layer->superlayer(), parent);
    layer->removeFromSuperlayer();
    EXPECT_TRUE(parent->sublayers().empty());
}

TEST(CaptureLayer, PreviewPicturesComeCroppedAndScaledToTheSizeAsked) {
    // A 64x48 picture dark on its outer quarters and light in the middle half: aspect fill into
    // a square layer keeps only the middle 48 columns, which the conversion scales to 96x96.
    auto layer = VideoPreviewLayer::create(nullptr);
    layer->setFrame({0, 0, 100, 100});
    layer->setVideoGravity(kLayerVideoGravityResizeAspectFill);
    auto picture = PixelBuffer::create(64, 48);
    for (int row = 0; row < 48; ++row) {
        std::uint8_t* line = picture->baseAddressOfPlane(0) + row * picture->bytesPerRowOfPlane(0);
        for (int column = 0; column < 64; ++column) {
            line[column] = column < 8 || column >= 56 ? 16 : 235;
        }
    }
    std::memset(picture->baseAddressOfPlane(1), 128,
                static_cast<std::size_t>(picture->bytesPerRowOfPlane(1)) * 24);
    layer->enqueuePicture(picture);
    const PreviewImage image = layer->latestImage(96, 96);
    ASSERT_EQ(image.width, 96);
    ASSERT_EQ(image.height, 96);
    for (int column : {0, 48, 95}) {
        const std::uint8_t* pixel = image.pixels.data() + 48 * image.bytesPerRow() + column * 4;
        EXPECT_GT(pixel[1], 200) << column; // the dark edges were cropped away
    }
    // Without a size, the whole picture at its own size.
    EXPECT_EQ(layer->latestImage().width, 64);
}

// Keeps what the output reports, from its callback thread.
struct Outcome : CaptureFileOutputRecordingDelegate {
    std::mutex mutex;
    bool started = false;
    bool finished = false;
    std::string url;
    ErrorPtr error;
    std::thread::id thread;
    void captureOutputDidStartRecording(MovieFileOutput&, const std::string&,
                                        const std::vector<CaptureConnectionPtr>&) override {
        std::lock_guard lock(mutex);
        started = true;
    }
    void captureOutputDidFinishRecording(MovieFileOutput&, const std::string& fileURL,
                                         const std::vector<CaptureConnectionPtr>&,
                                         const ErrorPtr& e) override {
        std::lock_guard lock(mutex);
        finished = true;
        url = fileURL;
        error = e;
        thread = std::this_thread::get_id();
    }
    bool done() {
        std::lock_guard lock(mutex);
        return finished;
    }
};

class RunningSession : public ::testing::Test {
protected:
    void SetUp() override { RunLoop::ensureApplication(); }
    // A running session with the given devices and a movie output.
    void run(const std::vector<CaptureDevicePtr>& devices) {
        session = CaptureSession::create();
        session->setSessionPreset(kCaptureSessionPresetMedium);
        for (const auto& device : devices) {
            session->addInput(CaptureDeviceInput::deviceInputWithDevice(device));
        }
        output = MovieFileOutput::create();
        session->addOutput(output);
        session->startRunning();
    }
    bool waitForEnd(double seconds = 4.0) {
        return RunLoop::runUntil([&] { return outcome->done(); }, seconds);
    }
    CaptureSessionPtr session;
    MovieFileOutputPtr output;
    std::shared_ptr<Outcome> outcome = std::make_shared<Outcome>();
    std::string path = test::tempPath("mov");
};

TEST_F(RunningSession, WithoutACameraOnlyTheSoundIsRecorded) {
    run({CaptureDevice::virtualDevices()[2]});
    output->startRecordingToOutputFileURL(path, outcome);
    ASSERT_TRUE(output->isRecording());
    RunLoop::runUntil([&] { return output->recordedDuration().seconds() >= 0.5; }, 3.0);
    output->stopRecording();
    ASSERT_TRUE(waitForEnd());
    EXPECT_TRUE(outcome->started);
    ASSERT_FALSE(outcome->error) << outcome->error->localizedDescription();
    EXPECT_NE(outcome->thread, std::this_thread::get_id()); // reported on a thread of its own
    EXPECT_EQ(test::probeStream(path, "a:0", "codec_name"), "aac");
    EXPECT_EQ(test::probeStream(path, "v:0", "codec_name"), "");
    EXPECT_NEAR(test::probeDuration(path, "a:0"), 0.5, 0.15);
    removeFile(path);
}

TEST_F(RunningSession, StoppingTheSessionEndsTheRecordingWithAnErrorButKeepsTheMovie) {
    run({CaptureDevice::virtualDevices()[0]});
    output->startRecordingToOutputFileURL(path, outcome);
    RunLoop::runUntil([&] { return output->recordedDuration().seconds() >= 0.5; }, 3.0);
    session->stopRunning();
    EXPECT_FALSE(output->isRecording());
    ASSERT_TRUE(waitForEnd());
    ASSERT_TRUE(outcome->error);
    EXPECT_EQ(outcome->error->code(), kCaptureErrorSessionNotRunning);
    EXPECT_EQ(test::probeStream(path, "v:0", "codec_name"), "h264");
    removeFile(path);
}

TEST_F(RunningSession, AStopBeforeAnyPictureLeavesNoFileAndSaysNothingWasRecorded) {
    run({CaptureDevice::virtualDevices()[0]});
    output->startRecordingToOutputFileURL(path, outcome);
    output->stopRecording(); // before the main loop handed over a single picture
    ASSERT_TRUE(waitForEnd());
    ASSERT_TRUE(outcome->error);
    EXPECT_EQ(outcome->error->code(), kCaptureErrorNoDataCaptured);
    EXPECT_FALSE(fileExists(path));
}

TEST_F(RunningSession, ACameraThatDoesNotOpenIsReportedAndRefusesToRecord) {
    std::vector<ErrorPtr> runtimeErrors;
    NotificationCenter::defaultCenter().addObserver(
        &runtimeErrors, kCaptureSessionRuntimeErrorNotification, [&](const Notification& n) {
            runtimeErrors.push_back(std::dynamic_pointer_cast<Error>(n.object));
        });
    run({CaptureDevice::create("test:broken", "Broken Camera", kMediaTypeVideo,
                               CaptureDevicePosition::Back,
                               {"v4l2", "/dev/video-that-is-not-there", {}})});
    NotificationCenter::defaultCenter().removeObserver(&runtimeErrors);
    ASSERT_EQ(runtimeErrors.size(), 1u);
    ASSERT_TRUE(runtimeErrors[0]);
    EXPECT_NE(runtimeErrors[0]->localizedDescription().find("Broken Camera"), std::string::npos);
    EXPECT_TRUE(session->isRunning());

    output->startRecordingToOutputFileURL(path, outcome);
    EXPECT_FALSE(output->isRecording());
    ASSERT_TRUE(waitForEnd());
    ASSERT_TRUE(outcome->error);
    EXPECT_EQ(outcome->error->code(), kCaptureErrorDeviceNotConnected);
    EXPECT_TRUE(outcome->error->recoverySuggestion().has_value());
    EXPECT_FALSE(fileExists(path));
}

TEST_F(RunningSession, ThePreviewShowsPicturesOnlyWhileTheSessionRuns) {
    run({});
    auto layer = VideoPreviewLayer::create(session);
    session->addInput(
        CaptureDeviceInput::deviceInputWithDevice(CaptureDevice::virtualDevices()[1]));
    ASSERT_TRUE(RunLoop::runUntil([&] { return layer->latestPicture() != nullptr; }, 3.0));
    const auto serial = layer->pictureSerial();
    RunLoop::runUntil([&] { return layer->pictureSerial() > serial + 2; }, 2.0);
    session->stopRunning();
    EXPECT_EQ(layer->latestPicture(), nullptr);
    const auto stopped = layer->pictureSerial();
    RunLoop::runFor(0.1);
    EXPECT_EQ(layer->pictureSerial(), stopped);
}

} // namespace
} // namespace tx
