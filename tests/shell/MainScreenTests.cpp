// The main screen's own rules: the time label, the sound and speed handed to the engine, the
// controls' rotation, the rating prompt, failures, and the camera's start-up quality.
#include "ShellTestSupport.h"

#include "platform/foundation/NotificationCenter.h"
#include "platform/system/PhotoAlbum.h"
#include "share/ShareViewController.h"

#include <cmath>

namespace tx::test {
namespace {

TEST(RecordTime, ShowsHoursMinutesAndSecondsWithHoursWrappingAtSixty) {
    struct Case {
        float seconds;
        const char* want;
    };
    for (const Case& c :
         {Case{0, "00:00:00"}, Case{0.99f, "00:00:00"}, Case{65.9f, "00:01:05"},
          Case{3599.5f, "00:59:59"}, Case{3600, "01:00:00"}, Case{61 * 3600 + 7, "01:00:07"}}) {
        EXPECT_EQ(TaluvexViewController::recordTimeText(c.seconds), c.want) << c.seconds;
    }
}

TEST(RenderTempo, OnlyTheOfferedSpeedsReachTheEngineOthersRenderAtNormalSpeed) {
    struct Case {
        std::int32_t stored;
        std::int32_t want;
    };
    for (const Case& c : {Case{70, 70}, Case{100, 100}, Case{130, 130}, Case{0, 100}, Case{85, 100},
                          Case{-70, 100}, Case{1000, 100}}) {
        EXPECT_EQ(TaluvexViewController::renderTempo(c.stored), c.want) << c.stored;
    }
}

class MainScreenTest : public LaunchedAppTest {
protected:
    void cancelRender() {
        if (main->fileRenderProgressView()) {
            main->fileRenderProgressView()->onCancel();
        }
    }
};

TEST_F(MainScreenTest, TheSoundChoiceDecidesTheEnginesSoundAndReversal) {
    launch();
    ClipSpec spec;
    spec.seconds = 3.4;
    const std::string clip = makeClip(spec);
    struct Case {
        unsigned code;
        bool reversed;
        bool sourceIsSound;
        bool trackIsSound;
    };
    for (const Case& c :
         {Case{1, true, true, false}, Case{2, false, false, false}, Case{3, false, false, true}}) {
        SCOPED_TRACE(c.code);
        ASSERT_TRUE(delegate->selectAudioTrack(c.code));
        pick(clip);
        auto engine = main->avRenderMgr();
        ASSERT_TRUE(engine);
        EXPECT_EQ(engine->isReverseSpeed(), c.reversed);
        EXPECT_EQ(engine->inputVideoUrl(), clip);
        if (c.sourceIsSound) {
            EXPECT_EQ(engine->inputAudioUrl(), clip);
        } else if (c.trackIsSound) {
            EXPECT_EQ(engine->inputAudioUrl(), delegate->soundTrackInfo().front());
        } else {
            EXPECT_EQ(engine->inputAudioUrl(), "");
        }
        EXPECT_EQ(engine->tempo(), 100);
        cancelRender();
        EXPECT_FALSE(main->avRenderMgr());
    }
    // A library song comes with its own file.
    const std::string song = makeSound(2.5);
    delegate->selectAudioTrack(0, "Song", song);
    pick(clip);
    ASSERT_TRUE(main->avRenderMgr());
    EXPECT_EQ(main->avRenderMgr()->inputAudioUrl(), song);
    EXPECT_FALSE(main->avRenderMgr()->isReverseSpeed());
    cancelRender();
}

TEST_F(MainScreenTest, AStoredSpeedThePanelDoesNotOfferRendersAtNormalSpeed) {
    AppConfigureInfo::shareAppConfigureInfo()->setVideoSpeed(85);
    launch();
    ClipSpec spec;
    pick(makeClip(spec));
    ASSERT_TRUE(main->avRenderMgr());
    EXPECT_EQ(main->avRenderMgr()->tempo(), 100);
    // The bar starts at a tenth: the engine's progress fills the other nine.
    ASSERT_TRUE(main->fileRenderProgressView());
    for (float p : {0.0f, 0.5f, 1.0f}) {
        main->avFileRenderMgrDidUpdate(main->avRenderMgr().get(), p);
        EXPECT_NEAR(main->fileRenderProgressView()->progress(), p * 0.9f + 0.1f, 1e-5);
    }
    cancelRender();
}

TEST_F(MainScreenTest, TwoRendersGetTwoNamesInDocuments) {
    launch();
    ClipSpec spec;
    const std::string clip = makeClip(spec);
    pick(clip);
    const std::string first = main->avRenderMgr()->outputPath();
    cancelRender();
    pick(clip);
    const std::string second = main->avRenderMgr()->outputPath();
    cancelRender();
    EXPECT_NE(first, second);
    EXPECT_EQ(deletingLastPathComponent(first), documents);
    EXPECT_EQ(pathExtension(second), "mov");
}

TEST_F(MainScreenTest, TheCameraStartsAtTheStoredQuality) {
    struct Case {
        std::int32_t quality;
        const std::string& preset;
    };
    for (const Case& c :
         {Case{0, kCaptureSessionPreset640x480}, Case{1, kCaptureSessionPresetMedium}}) {
        SCOPED_TRACE(c.quality);
        AppConfigureInfo::shareAppConfigureInfo()->setQuality(c.quality);
        launch();
        EXPECT_EQ(main->avCaptureMgr()->captureSession()->sessionPreset(), c.preset);
        Application::sharedApplication().setDelegate(nullptr);
        delegate.reset();
        main.reset();
    }
}

TEST_F(MainScreenTest, ARecordingFailureAlwaysSaysSomething) {
    launch();
    auto& mgr = *main->avCaptureMgr();
    main->avCaptureMgrDidError(mgr,
                               Error::make("CaptureErrorDomain", -11814, "The camera went away.",
                                           "Connect the camera and try again."));
    ASSERT_TRUE(main->lastAlert());
    EXPECT_EQ(main->lastAlert()->message(), "Connect the camera and try again.");
    main->avCaptureMgrDidError(mgr,
                               Error::make("CaptureErrorDomain", -11814, "The camera went away."));
    EXPECT_EQ(main->lastAlert()->message(), "The camera went away.");
    main->avCaptureMgrDidError(
        mgr, Error::make("CaptureErrorDomain", -11814, "The camera went away.", ""));
    EXPECT_EQ(main->lastAlert()->message(), "The camera went away.");
    EXPECT_TRUE(isIdle());
}

TEST_F(MainScreenTest, TheRatingPromptComesAfterTheThirdAndSixthRendersUntilAccepted) {
    launch();
    ClipSpec spec;
    const std::string movie = pathByAppending(documents, "made.mov");
    std::filesystem::copy_file(makeClip(spec), movie);
    auto engine = AVFileRenderMgr::create();
    engine->setOutputPath(movie);
    std::vector<int> prompted;
    for (int render = 1; render <= 7; ++render) {
        main->avFileRenderMgrDidFinish(engine.get(), true);
        if (main->ratingAlert()) {
            prompted.push_back(render);
            EXPECT_EQ(main->ratingAlert()->message(),
                      "If you like this app, please rate it 5 stars!");
            EXPECT_EQ(
                main->ratingAlert()->buttonTitleAtIndex(main->ratingAlert()->cancelButtonIndex()),
                "NO");
            // "NO" leaves the prompt to come again.
            main->alertViewClickedButtonAtIndex(*main->ratingAlert(),
                                                main->ratingAlert()->cancelButtonIndex());
        }
    }
    EXPECT_EQ(prompted, (std::vector<int>{3, 6}));
    EXPECT_TRUE(fileExists(pathByReplacingExtension(movie, "jpg")));
    EXPECT_TRUE(dynamic_cast<ShareViewController*>(main->presentedViewController()));
    EXPECT_TRUE(openedURLs.empty());

    // "YES" is remembered and opens the application's page in the software centre.
    auto config = AppConfigureInfo::shareAppConfigureInfo();
    config->setEncodeCount(2);
    main->avFileRenderMgrDidFinish(engine.get(), true);
    ASSERT_TRUE(main->ratingAlert());
    main->alertViewClickedButtonAtIndex(*main->ratingAlert(),
                                        main->ratingAlert()->firstOtherButtonIndex());
    EXPECT_TRUE(config->rate());
    EXPECT_EQ(openedURLs, (std::vector<std::string>{"appstream://org.taluvex.Taluvex"}));
    EXPECT_TRUE(AppConfigureInfo::appConfigureInfoWithPath(AppConfigureInfo::kFileName)->rate());
    config->setEncodeCount(5);
    main->avFileRenderMgrDidFinish(engine.get(), true);
    EXPECT_FALSE(main->ratingAlert());
}

TEST_F(MainScreenTest, ARenderFailureShowsItsDescriptionAndReturnsToIdle) {
    launch();
    ClipSpec spec;
    pick(makeClip(spec));
    ASSERT_TRUE(main->avRenderMgr());
    main->avRenderMgr()->stop();
    // What the engine wrote before it failed is not left in the library.
    const std::string output = main->avRenderMgr()->outputPath();
    std::ofstream(output) << "cut short";
    main->avFileRenderMgrDidError(main->avRenderMgr().get(),
                                  Error::make("\uBE44\uB514\uC5B4 \uBCC0\uD658 \uC2E4\uD328", 0));
    EXPECT_FALSE(fileExists(output));
    ASSERT_TRUE(main->lastAlert());
    EXPECT_EQ(
        main->lastAlert()->message(),
        Error::make("\uBE44\uB514\uC5B4 \uBCC0\uD658 \uC2E4\uD328", 0)->localizedDescription());
    EXPECT_TRUE(isIdle());
    EXPECT_FALSE(main->fileRenderProgressView());
}

// The recording lives in the private folder that goes at quit: a failed render must not take
// it with it. A picked movie is the user's own file and stays where it is.
TEST_F(MainScreenTest, ARecordingWhoseMovieCannotBeMadeIsKeptInVideos) {
    const char* previousHome = std::getenv("HOME");
    const std::string savedHome = previousHome ? previousHome : "";
    const std::string home = pathByReplacingExtension(tempPath("mov"), "home");
    std::filesystem::create_directories(home);
    setenv("HOME", home.c_str(), 1);
    launch();
    ClipSpec spec;
    spec.seconds = 1.3;
    std::filesystem::copy_file(makeClip(spec), TaluvexViewController::capturePath(),
                               std::filesystem::copy_options::overwrite_existing);
    main->avCaptureMgrDidFinish(*main->avCaptureMgr(), TaluvexViewController::capturePath());
    ASSERT_TRUE(main->avRenderMgr());
    main->avRenderMgr()->stop();
    const std::string failure = "\uBE44\uB514\uC5B4 \uBCC0\uD658 \uC2E4\uD328";
    main->avFileRenderMgrDidError(main->avRenderMgr().get(), Error::make(failure, 0));
    ASSERT_TRUE(RunLoop::runUntil([&] { return main->lastAlert() != nullptr; }, 10));
    const std::string said = main->lastAlert()->message();
    EXPECT_EQ(said.rfind(Error::make(failure, 0)->localizedDescription() + "\n", 0), 0u) << said;
    EXPECT_NE(said.find("The recording is kept as ~/Videos/Taluvex/Taluvex "), std::string::npos)
        << said;
    std::vector<std::string> kept;
    for (const auto& entry : std::filesystem::directory_iterator(PhotoAlbum::albumDirectory())) {
        kept.push_back(entry.path().string());
    }
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(std::filesystem::file_size(kept.front()),
              std::filesystem::file_size(TaluvexViewController::capturePath()));
    EXPECT_TRUE(isIdle());

    // A picked movie's failure says only what failed.
    pick(makeClip(spec));
    ASSERT_TRUE(main->avRenderMgr());
    main->avRenderMgr()->stop();
    main->avFileRenderMgrDidError(main->avRenderMgr().get(), Error::make(failure, 0));
    EXPECT_EQ(main->lastAlert()->message(), Error::make(failure, 0)->localizedDescription());
    if (previousHome) {
        setenv("HOME", savedHome.c_str(), 1);
    } else {
        unsetenv("HOME");
    }
    std::filesystem::remove_all(home);
}

TEST_F(MainScreenTest, NotificationsAroundARenderAndTheSettingsPanelTurnTheControls) {
    launch();
    auto& center = NotificationCenter::defaultCenter();
    center.post(kSettingWillAppear);
    EXPECT_FALSE(main->recordButton()->isEnabled());
    EXPECT_FALSE(main->moviesButton()->isEnabled());
    EXPECT_FALSE(main->loadVideoButton()->isEnabled());
    EXPECT_FALSE(main->switchCameraPosition()->isEnabled());
    center.post(kSettingDidAppear);
    center.post(kSettingWillDisappear);
    EXPECT_FALSE(main->recordButton()->isEnabled());
    center.post(kSettingDidDisappear);
    EXPECT_TRUE(main->recordButton()->isEnabled());
    EXPECT_TRUE(main->switchCameraPosition()->isEnabled());

    center.post(kConvertingWillStart);
    EXPECT_FALSE(main->loadVideoButton()->isEnabled());
    EXPECT_FALSE(main->settingViewController()->isEnabled());
    EXPECT_FALSE(main->avCaptureMgr()->running());
    center.post(kConvertingWillStop);
    EXPECT_TRUE(main->loadVideoButton()->isEnabled());
    EXPECT_TRUE(main->settingViewController()->isEnabled());
    EXPECT_TRUE(main->avCaptureMgr()->running());
}

class OrientationTest : public LaunchedAppTest, public ::testing::WithParamInterface<double> {
protected:
    void SetUp() override {
        LaunchedAppTest::SetUp();
        Screen::mainScreen().setHeight(GetParam());
    }
};

TEST_P(OrientationTest, TheTwoRotatingControlsFollowTheTable) {
    launch();
    const double h = GetParam();
    ASSERT_TRUE(main->isSupportedFrontCamera());
    EXPECT_EQ(main->captureView()->frame(), Rect(0, 0, 320, h - 98));
    struct Case {
        int code;
        double radians;
        Point switchOrigin;
        Point statusOrigin;
    };
    const Case cases[] = {
        {1, 0, {10, 10}, {217, 10}},
        {2, 3.14159, {10, 10}, {217, 10}},
        {3, 1.570795, {270, 10}, {281, std::trunc(h - 98) - 103}},
        {4, 4.712385, {10, std::trunc(h - 54) - 100}, {10, 10}},
        {7, 0, {0, 0}, {0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        main->setNewSwitchPosition(c.code);
        main->setNewStatusPosition(c.code);
        const AffineTransform want = AffineTransform::rotation(c.radians);
        EXPECT_NEAR(main->switchCameraPosition()->transform().a, want.a, 1e-9);
        EXPECT_NEAR(main->switchCameraPosition()->transform().b, want.b, 1e-9);
        EXPECT_NEAR(main->statusRecordTime()->transform().b, want.b, 1e-9);
        EXPECT_NEAR(main->switchCameraPosition()->frame().origin.x, c.switchOrigin.x, 1e-6);
        EXPECT_NEAR(main->switchCameraPosition()->frame().origin.y, c.switchOrigin.y, 1e-6);
        EXPECT_NEAR(main->statusRecordTime()->frame().origin.x, c.statusOrigin.x, 1e-6);
        EXPECT_NEAR(main->statusRecordTime()->frame().origin.y, c.statusOrigin.y, 1e-6);
    }
}

TEST_P(OrientationTest, TurningTheDeviceRotatesTheControlsButNotWhileRecording) {
    launch();
    auto& mgr = *main->avCaptureMgr();
    main->avCaptureMgrDidChangeOrientation(mgr, 1); // the screen starts at 1: nothing moves
    EXPECT_FALSE(main->switchCameraPosition()->hasAnimations());

    // Ctrl+Right turns the simulated device; the controls fade out, turn and fade back in.
    pressKey(KeyEvent::Key::Right, true);
    ASSERT_TRUE(RunLoop::runUntil([&] { return main->currentOrientation() != 1; }, 3));
    const int turned = main->currentOrientation();
    EXPECT_TRUE(turned == 3 || turned == 4) << turned;
    ASSERT_TRUE(RunLoop::runUntil(
        [&] { return !main->switchCameraPosition()->transform().isIdentity(); }, 2));
    EXPECT_TRUE(RunLoop::runUntil([&] { return main->switchCameraPosition()->alpha() == 1; }, 2));

    // While recording, turns are ignored.
    press(" ");
    ASSERT_TRUE(RunLoop::runUntil([&] { return mgr.isCapture(); }, 5));
    pressKey(KeyEvent::Key::Left, true);
    RunLoop::runFor(0.4);
    EXPECT_EQ(main->currentOrientation(), turned);
    main->stopForQuit();
}

INSTANTIATE_TEST_SUITE_P(BothScreenHeights, OrientationTest, ::testing::Values(480, 568));

TEST_F(MainScreenTest, ThePreviewFetchesEachCameraPictureOnce) {
    launch();
    auto preview = main->captureView();
    ASSERT_TRUE(preview->currentImage());
    // Fetched at the view's pixel size, so drawn without scaling.
    EXPECT_EQ(preview->currentImage()->pixels().size(),
              QSize(640, static_cast<int>(2 * (Screen::mainScreen().bounds().height() - 98))));
    EXPECT_EQ(preview->currentImage()->scale(), 2.0);
    const auto serial = main->avCaptureMgr()->getVideoLayer()->pictureSerial();
    const auto fetched = preview->fetchCount();
    // Redraws do not fetch; only a new picture does.
    main->avCaptureMgr()->stop();
    RunLoop::runFor(0.1);
    const auto settled = preview->fetchCount();
    for (int i = 0; i < 5; ++i) {
        preview->setNeedsDisplay();
        window().displayNow();
        EXPECT_FALSE(preview->poll());
    }
    EXPECT_EQ(preview->fetchCount(), settled);
    EXPECT_LE(settled - fetched,
              main->avCaptureMgr()->getVideoLayer()->pictureSerial() - serial + 1);
}

TEST_F(MainScreenTest, ClosingWhileRecordingAsksThenQuitsWithoutRendering) {
    launch();
    press(" ");
    ASSERT_TRUE(RunLoop::runUntil([&] { return main->avCaptureMgr()->isCapture(); }, 5));
    EXPECT_TRUE(main->isBusy());
    EXPECT_FALSE(window().platformCloseRequested());
    main->stopForQuit();
    RunLoop::runFor(1.0);
    EXPECT_FALSE(main->avRenderMgr());
    EXPECT_FALSE(main->fileRenderProgressView());
    EXPECT_TRUE(documentsWith("mov").empty());
}

// Quitting while a movie is being saved to Videos asks first, like a render, and then stops
// the copy without leaving any of it.
TEST_F(MainScreenTest, QuittingMidSaveAsksThenLeavesNoPartialCopy) {
    launch();
    ClipSpec spec;
    spec.seconds = 1.0;
    PhotoAlbum::setCopyPauseForTesting(0.3);
    PhotoAlbum::writeVideoAtPathToSavedPhotosAlbum(makeClip(spec), {});
    EXPECT_TRUE(main->isBusy());
    main->stopForQuit();
    PhotoAlbum::setCopyPauseForTesting(0);
    EXPECT_FALSE(PhotoAlbum::isSaving());
    std::error_code ec;
    EXPECT_TRUE(std::filesystem::is_empty(PhotoAlbum::albumDirectory(), ec) || ec);
}

TEST_F(MainScreenTest, QuittingMidRenderLeavesNoPartialMovie) {
    launch();
    startLongRender();
    EXPECT_TRUE(main->isBusy());
    main->stopForQuit();
    RunLoop::runFor(0.3);
    EXPECT_TRUE(documentsWith("mov").empty());
    EXPECT_TRUE(workingFilesBeside(pathByAppending(documents, "x.mov")) == false);
}

} // namespace
} // namespace tx::test

namespace tx::test {
namespace {

TEST_F(MainScreenTest, WithoutAFrontCameraTheSwitchStaysHiddenInEveryLayoutAndNeverMoves) {
    std::vector<CaptureDevicePtr> devices;
    for (const CaptureDevicePtr& device : CaptureDevice::virtualDevices()) {
        if (device->position() != CaptureDevicePosition::Front) {
            devices.push_back(device);
        }
    }
    CaptureDevice::setDevicesOverride(devices);
    launch();
    ASSERT_FALSE(main->isSupportedFrontCamera());
    auto switchButton = main->switchCameraPosition();
    const Rect frame = switchButton->frame();
    auto check = [&] {
        EXPECT_TRUE(switchButton->isHidden());
        EXPECT_FALSE(switchButton->isEnabled());
        EXPECT_EQ(switchButton->frame(), frame);
    };
    check();
    main->recordingLayout();
    check();
    main->idleLayout();
    NotificationCenter::defaultCenter().post(kSettingDidDisappear);
    NotificationCenter::defaultCenter().post(kConvertingWillStop);
    check();
    main->setNewSwitchPosition(3);
    main->setNewStatusPosition(3);
    check();
    EXPECT_FALSE(main->statusRecordTime()->transform().isIdentity()); // the time still turns
    press("c");
    check();
}

TEST_F(MainScreenTest, AMovieWithoutAThumbnailGetsOneWhenTheScreenShows) {
    ClipSpec spec;
    spec.seconds = 3.4;
    const std::string folder = pathByAppending(documents, "older");
    std::filesystem::create_directories(folder);
    const std::string movie = pathByAppending(folder, "kept.mov");
    std::filesystem::copy_file(makeClip(spec), movie);
    launch();
    // Made on the thumbnail queue's thread, and shown once written.
    ASSERT_TRUE(RunLoop::runUntil([&] { return main->ivLastThumb()->image() != nullptr; }, 10));
    EXPECT_TRUE(fileExists(pathByReplacingExtension(movie, "jpg")));
    EXPECT_EQ(main->lastVideoPath(), pathByReplacingExtension(movie, "jpg"));
}

} // namespace
} // namespace tx::test
