#include "platform/media/capture/CaptureSession.h"
#include "platform/media/capture/MovieFileOutput.h"
#include "platform/media/capture/VideoPreviewLayer.h"

#include <gtest/gtest.h>

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
    EXPECT_EQ(MovieFileOutput::quarterTurnsForOrientation(kCaptureVideoOrientationPortraitUpsideDown), 2);
    EXPECT_EQ(MovieFileOutput::quarterTurnsForOrientation(kCaptureVideoOrientationLandscapeRight), 3);
    EXPECT_EQ(MovieFileOutput::quarterTurnsForOrientation(kCaptureVideoOrientationLandscapeLeft), 1);
}

TEST(VideoPreviewLayerGravity, AspectFillCropsTheLongerSideAroundTheCentre) {
    auto layer = VideoPreviewLayer::create(nullptr);
    layer->setFrame({0, 0, 320, 382});
    EXPECT_EQ(layer->visibleRegion(480, 360), (LayerFrame{0, 0, 480, 360})); // resize-aspect default
    layer->setVideoGravity(kLayerVideoGravityResizeAspectFill);
    const LayerFrame region = layer->visibleRegion(480, 360);
    EXPECT_NEAR(region.width, 360 * 320.0 / 382, 1e-9);
    EXPECT_NEAR(region.x, (480 - region.width) / 2, 1e-9);
    EXPECT_EQ(region.height, 360);

    auto parent = Layer::create();
    parent->addSublayer(layer);
    EXPECT_EQ(layer->superlayer(), parent);
    layer->removeFromSuperlayer();
    EXPECT_TRUE(parent->sublayers().empty());
}

} // namespace
} // namespace tx
