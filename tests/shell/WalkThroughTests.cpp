// The application's main road driven from outside: keys, the camera, the render and the screens
// it leads to, with real files in a temporary Documents folder.
#include "ShellTestSupport.h"

#include "library/MoviesViewController.h"
#include "platform/system/ImagePickerController.h"
#include "platform/system/MovieTrimViewController.h"
#include "share/ShareViewController.h"

namespace tx::test {
namespace {

constexpr double kRenderTimeoutSeconds = 90;

class WalkThroughTest : public LaunchedAppTest {
protected:
    // Records from the virtual camera for about `seconds` with the record key.
    void recordWithKeys(double seconds) {
        press(" ");
        ASSERT_TRUE(RunLoop::runUntil([&] { return main->avCaptureMgr()->isCapture(); }, 5));
        RunLoop::runFor(seconds);
        press(" ");
    }
    bool waitForShareScreen() {
        return RunLoop::runUntil([&] { return presents<ShareViewController>(); },
                                 kRenderTimeoutSeconds);
    }
};

TEST_F(WalkThroughTest, RecordStopRenderShareAndBackShowsTheNewMovie) {
    AppConfigureInfo::shareAppConfigureInfo()->setVideoSpeed(130);
    launch();
    EXPECT_FALSE(main->ivLastThumb()->image()); // no movie yet

    EXPECT_FALSE(main->isHoldingScreensaver());
    recordWithKeys(2.0);
    EXPECT_TRUE(main->isHoldingScreensaver());
    // Stopped: the overlay rises and the camera rests while the render runs.
    ASSERT_TRUE(RunLoop::runUntil([&] { return main->fileRenderProgressView() != nullptr; }, 10));
    EXPECT_FALSE(main->avCaptureMgr()->running());
    EXPECT_FALSE(main->recordButton()->isEnabled());
    EXPECT_FALSE(main->settingViewController()->isEnabled());
    EXPECT_TRUE(main->isHoldingScreensaver());
    ASSERT_TRUE(waitForShareScreen());
    EXPECT_FALSE(main->fileRenderProgressView());
    EXPECT_FALSE(main->isHoldingScreensaver());

    const auto movies = documentsWith("mov");
    const auto thumbs = documentsWith("jpg");
    ASSERT_EQ(movies.size(), 1u);
    ASSERT_EQ(thumbs.size(), 1u);
    EXPECT_EQ(pathByReplacingExtension(movies[0], "jpg"), thumbs[0]);
    EXPECT_EQ(dynamic_cast<ShareViewController*>(presented())->path(), movies[0]);
    const double recorded = probeDuration(TaluvexViewController::capturePath(), "v:0");
    EXPECT_GT(recorded, 1.5);
    EXPECT_NEAR(probeDuration(movies[0], "v:0"), recorded * 100 / 130, 0.25);

    // Back on the main screen: the newest thumbnail shows and the camera runs again.
    pressKey(KeyEvent::Key::Escape);
    ASSERT_TRUE(RunLoop::runUntil([&] { return presented() == nullptr; }, 5));
    EXPECT_TRUE(main->ivLastThumb()->image());
    EXPECT_EQ(main->lastVideoPath(), thumbs[0]);
    EXPECT_TRUE(RunLoop::runUntil([&] { return main->avCaptureMgr()->running(); }, 5));
    EXPECT_TRUE(isIdle());
}

TEST_F(WalkThroughTest, CancellingMidRenderLeavesNoMovieAndTheCameraRunsAgain) {
    launch();
    startLongRender();
    pressKey(KeyEvent::Key::Escape);
    EXPECT_FALSE(main->avRenderMgr());
    EXPECT_TRUE(RunLoop::runUntil([&] { return main->avCaptureMgr()->running(); }, 5));
    RunLoop::runFor(0.5);
    EXPECT_TRUE(documentsWith("mov").empty());
    EXPECT_EQ(presented(), nullptr);
    EXPECT_TRUE(isIdle());
}

TEST_F(WalkThroughTest, CancellingBeforeTheDelayedStartStartsNothing) {
    launch();
    ClipSpec spec;
    spec.seconds = 3.4;
    main->avCaptureMgrDidFinish(*main->avCaptureMgr(), makeClip(spec));
    ASSERT_TRUE(main->isRenderStartPending());
    auto engine = main->avRenderMgr();
    pressKey(KeyEvent::Key::Escape);
    EXPECT_FALSE(main->isRenderStartPending());
    RunLoop::runFor(TaluvexViewController::kRenderStartDelaySeconds + 0.3);
    EXPECT_FLOAT_EQ(engine->progress(), 0);
    EXPECT_TRUE(documentsWith("mov").empty());
    EXPECT_TRUE(main->avCaptureMgr()->running());
    EXPECT_TRUE(isIdle());
}

TEST_F(WalkThroughTest, APickedMovieIsRenderedAtTheStoredSpeed) {
    AppConfigureInfo::shareAppConfigureInfo()->setVideoSpeed(70);
    launch();
    ClipSpec spec;
    spec.seconds = 3.4;
    spec.fps = 24;
    pick(makeClip(spec));
    ASSERT_TRUE(main->fileRenderProgressView());
    ASSERT_TRUE(waitForShareScreen());
    const auto movies = documentsWith("mov");
    ASSERT_EQ(movies.size(), 1u);
    EXPECT_NEAR(probeDuration(movies[0], "v:0"), 3.4 * 100 / 70, 0.25);
    EXPECT_EQ(documentsWith("jpg").size(), 1u);
}

TEST_F(WalkThroughTest, AMovieThatCannotBeReadIsNamedAndTheScreenReturnsToIdle) {
    launch();
    const std::string broken = brokenMovie();
    pick(broken);
    EXPECT_FALSE(main->fileRenderProgressView());
    ASSERT_TRUE(main->lastAlert());
    EXPECT_NE(main->lastAlert()->message().find(lastPathComponent(broken)), std::string::npos)
        << main->lastAlert()->message();
    EXPECT_TRUE(isIdle());
    EXPECT_TRUE(RunLoop::runUntil([&] { return main->avCaptureMgr()->running(); }, 5));
    EXPECT_TRUE(documentsWith("mov").empty());
}

TEST_F(WalkThroughTest, ACameraRenderThatCannotStartReturnsToIdleWithAnAlert) {
    launch();
    const std::string broken = brokenMovie();
    main->avCaptureMgrDidFinish(*main->avCaptureMgr(), broken);
    ASSERT_TRUE(main->fileRenderProgressView());
    ASSERT_TRUE(RunLoop::runUntil([&] { return main->lastAlert() != nullptr; }, 3));
    EXPECT_NE(main->lastAlert()->message().find(lastPathComponent(broken)), std::string::npos);
    EXPECT_FALSE(main->fileRenderProgressView());
    EXPECT_TRUE(isIdle());
    EXPECT_TRUE(RunLoop::runUntil([&] { return main->avCaptureMgr()->running(); }, 5));
}

TEST_F(WalkThroughTest, ASecondPressBeforeTheRecordingBeginsCallsItOff) {
    launch();
    press(" ");
    EXPECT_TRUE(main->isRecording());
    press(" ");
    RunLoop::runFor(0.4);
    EXPECT_FALSE(main->avCaptureMgr()->isCapture());
    EXPECT_FALSE(main->avRenderMgr());
    EXPECT_TRUE(isIdle());
}

TEST_F(WalkThroughTest, PressingRecordWhileTheLastRecordingCompletesKeepsIt) {
    launch();
    recordWithKeys(1.2);
    press(" "); // at once after the stop: must neither start anew nor lose the recording
    ASSERT_TRUE(waitForShareScreen());
    EXPECT_EQ(documentsWith("mov").size(), 1u);
    EXPECT_FALSE(main->avCaptureMgr()->isCapture());
}

TEST_F(WalkThroughTest, ResigningDuringThePendingStartRecordsNothing) {
    launch();
    Application& application = Application::sharedApplication();
    application.setActive(true);
    press(" ");
    application.setActive(false);
    RunLoop::runFor(0.4);
    EXPECT_FALSE(main->avCaptureMgr()->isCapture());
    EXPECT_TRUE(isIdle());
    application.setActive(true);
}

TEST_F(WalkThroughTest, ResigningWhileRecordingEndsItAndRendersIt) {
    launch();
    Application& application = Application::sharedApplication();
    application.setActive(true);
    press(" ");
    ASSERT_TRUE(RunLoop::runUntil([&] { return main->avCaptureMgr()->isCapture(); }, 5));
    RunLoop::runFor(1.0);
    application.setActive(false);
    EXPECT_FALSE(main->recordButton()->isSelected());
    ASSERT_TRUE(waitForShareScreen());
    EXPECT_EQ(documentsWith("mov").size(), 1u);
    application.setActive(true);
}

TEST_F(WalkThroughTest, ARecordingStoppedAtItsLongestIsRendered) {
    launch();
    main->avCaptureMgr()->setMaxRecordedDuration(1);
    press(" ");
    ASSERT_TRUE(waitForShareScreen());
    EXPECT_EQ(documentsWith("mov").size(), 1u);
    EXPECT_FALSE(main->lastAlert());
}

TEST_F(WalkThroughTest, KeysOpenTheLibraryAndThePickerAndEscapeComesBack) {
    launch();
    press("l");
    ASSERT_TRUE(presents<MoviesViewController>());
    EXPECT_TRUE(RunLoop::runUntil([&] { return !main->avCaptureMgr()->running(); }, 5));
    pressKey(KeyEvent::Key::Escape);
    ASSERT_TRUE(RunLoop::runUntil([&] { return presented() == nullptr; }, 5));
    EXPECT_TRUE(main->avCaptureMgr()->running());

    press("o");
    ASSERT_TRUE(presents<ImagePickerController>());
    EXPECT_TRUE(dynamic_cast<ImagePickerController*>(presented())->allowsEditing());
    pressKey(KeyEvent::Key::Escape);
    ASSERT_TRUE(RunLoop::runUntil([&] { return presented() == nullptr; }, 5));
    EXPECT_TRUE(isIdle());
}

TEST_F(WalkThroughTest, AMovieDroppedOnTheWindowOpensThePickerOnIt) {
    launch();
    ClipSpec spec;
    const std::string clip = makeClip(spec);
    window().platformFilesDropped({clip});
    auto* picker = dynamic_cast<ImagePickerController*>(presented());
    ASSERT_NE(picker, nullptr);
    EXPECT_EQ(picker->initialMoviePath(), clip);
    // Not while something else is on top.
    pressKey(KeyEvent::Key::Escape);
    ASSERT_TRUE(RunLoop::runUntil([&] { return presented() == nullptr; }, 5));
    press("l");
    window().platformFilesDropped({clip});
    EXPECT_TRUE(presents<MoviesViewController>());
}

// A phone's clip dropped on the window, its start moved on with the keys in the trim screen: the
// chosen stretch, not the whole clip, comes out backwards, and the original is left as it was.
TEST_F(WalkThroughTest, ATrimmedStretchOfADroppedMovieIsWhatGetsRendered) {
    AppConfigureInfo::shareAppConfigureInfo()->setVideoSpeed(100);
    launch();
    ClipSpec spec;
    spec.seconds = 7.9;
    spec.timescale = 600;
    const std::string clip = makeClip(spec);
    const long long clipBytes = fileSize(clip);
    window().platformFilesDropped({clip});
    auto* picker = dynamic_cast<ImagePickerController*>(presented());
    ASSERT_NE(picker, nullptr);
    ASSERT_TRUE(RunLoop::runUntil(
        [&] { return picker->trimViewController() && picker->trimViewController()->isReady(); },
        10));
    MovieTrimViewController& trim = *picker->trimViewController();
    trim.setActiveHandle(TrimHandle::Start);
    trim.moveActiveHandleTo(3.0);
    ASSERT_TRUE(trim.isTrimmed());
    const double stretchSeconds = trim.range().length();
    pressKey(KeyEvent::Key::Return);
    ASSERT_TRUE(waitForShareScreen());
    const auto movies = documentsWith("mov");
    ASSERT_EQ(movies.size(), 1u);
    EXPECT_NEAR(probeDuration(movies[0], "v:0"), stretchSeconds, 0.25);
    EXPECT_LT(probeDuration(movies[0], "v:0"), 7.9 - 2.5);
    EXPECT_EQ(fileSize(clip), clipBytes);
}

} // namespace
} // namespace tx::test
