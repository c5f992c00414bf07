// The settings panel and the sound track picker on the application's window: speed and sound
// chosen with keys and taps, then a recording rendered with them.
#include "ShellTestSupport.h"

#include "platform/system/MediaPickerController.h"
#include "settings/SoundTrackViewController.h"

#include <cstdlib>

namespace tx::test {
namespace {

constexpr double kRenderTimeoutSeconds = 90;

class SettingsWalkThroughTest : public LaunchedAppTest {
protected:
    void TearDown() override {
        if (!_music.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(_music, ec);
            unsetenv("XDG_CONFIG_HOME");
        }
        LaunchedAppTest::TearDown();
    }
    SettingViewController& panel() { return *main->settingViewController(); }
    // Waits until the panel has slid open or shut.
    bool waitForPanel(bool open) {
        return RunLoop::runUntil(
            [&] {
                return panel().isOpen() == open && !panel().view()->hasAnimations() &&
                       main->recordButton()->isEnabled() == !open;
            },
            3);
    }
    void tap(View& view) {
        const Point centre = view.convertPointToView(
            {view.bounds().width() / 2, view.bounds().height() / 2}, &window());
        window().sendTouch(TouchPhase::Began, centre);
        window().sendTouch(TouchPhase::Ended, centre);
    }
    template <typename T> T* waitForPresented() {
        T* found = nullptr;
        RunLoop::runUntil(
            [&] {
                ViewController* top = presented();
                while (top && top->presentedViewController())
                    top = top->presentedViewController();
                found = dynamic_cast<T*>(top);
                return found != nullptr && !found->view()->hasAnimations();
            },
            5);
        return found;
    }
    // Records about two seconds and returns the engine that renders it, as it starts.
    std::shared_ptr<AVFileRenderMgr> recordAndCatchTheEngine() {
        press(" ");
        EXPECT_TRUE(RunLoop::runUntil([&] { return main->avCaptureMgr()->isCapture(); }, 5));
        RunLoop::runFor(2.0);
        press(" ");
        EXPECT_TRUE(RunLoop::runUntil([&] { return main->avRenderMgr() != nullptr; }, 10));
        return main->avRenderMgr();
    }
    // Waits until the job is over and `movie` is in Documents.
    bool waitForTheMovie(const std::string& movie) {
        return RunLoop::runUntil(
            [&] { return main->avRenderMgr() == nullptr && fileExists(movie); },
            kRenderTimeoutSeconds);
    }
    static void expectSoundAsLongAsThePicture(const std::string& movie) {
        EXPECT_EQ(probeStream(movie, "a:0", "codec_name"), "aac");
        EXPECT_NEAR(probeDuration(movie, "a:0"), probeDuration(movie, "v:0"), 0.2);
    }
    // A Music folder of the user's own, as the desktop's user-dirs file names it.
    std::string useMusicFolder() {
        _music = std::filesystem::temp_directory_path() / ("taluvex-walk-" + uniqueString());
        std::filesystem::create_directories(_music / "config");
        std::filesystem::create_directories(_music / "Music" / "Mixes");
        std::ofstream(_music / "config" / "user-dirs.dirs")
            << "XDG_MUSIC_DIR=\"" << (_music / "Music").string() << "\"\n";
        setenv("XDG_CONFIG_HOME", (_music / "config").c_str(), 1);
        return (_music / "Music").string();
    }

    std::filesystem::path _music;
};

TEST_F(SettingsWalkThroughTest, FasterWithTrackFourRendersWithThatTrackForwards) {
    launch();
    press(",");
    ASSERT_TRUE(waitForPanel(true));
    pressKey(KeyEvent::Key::Right);
    EXPECT_EQ(panel().labelSpeed()->text(), "x 1.3");
    EXPECT_EQ(AppConfigureInfo::shareAppConfigureInfo()->videoSpeed(), 130);

    tap(*panel().soundTrackButton());
    auto* picker = waitForPresented<SoundTrackViewController>();
    ASSERT_NE(picker, nullptr);
    // From Track 1 three rows down to Track 4.
    for (int i = 0; i < 3; i++)
        pressKey(KeyEvent::Key::Down);
    pressKey(KeyEvent::Key::Return);
    EXPECT_EQ(panel().labelSound()->text(), "Track 4");
    pressKey(KeyEvent::Key::Escape);
    ASSERT_TRUE(RunLoop::runUntil([&] { return presented() == nullptr; }, 5));
    EXPECT_EQ(panel().labelSound()->text(), "Track 4");
    press(",");
    ASSERT_TRUE(waitForPanel(false));

    auto engine = recordAndCatchTheEngine();
    ASSERT_TRUE(engine);
    EXPECT_EQ(engine->inputAudioUrl(), delegate->soundTrackInfo()[3]);
    EXPECT_FALSE(engine->isReverseSpeed());
    EXPECT_EQ(engine->tempo(), 130);
    const std::string movie = engine->outputPath();
    engine.reset();
    ASSERT_TRUE(waitForTheMovie(movie));
    const double recorded = probeDuration(TaluvexViewController::capturePath(), "v:0");
    EXPECT_NEAR(probeDuration(movie, "v:0"), recorded * 100 / 130, 0.25);
    EXPECT_EQ(probeStream(movie, "a:0", "codec_name"), "aac");
}

// The sound road with the keyboard alone: the panel, Choose Sound, Track 4, back, record.
TEST_F(SettingsWalkThroughTest, KeysAloneChooseTrackFourAndRecordWithIt) {
    launch();
    press(",");
    ASSERT_TRUE(waitForPanel(true));
    // The focus ring reaches the sound button; its key does the same.
    auto* soundButton = panel().soundTrackButton().get();
    for (int i = 0; i < 8 && window().focusRingView() != soundButton; i++)
        pressKey(KeyEvent::Key::Tab);
    ASSERT_EQ(window().focusRingView(), soundButton);
    press(" ");
    auto* picker = waitForPresented<SoundTrackViewController>();
    ASSERT_NE(picker, nullptr);
    pressKey(KeyEvent::Key::Escape);
    ASSERT_TRUE(RunLoop::runUntil(
        [&] { return window().topLayer() && window().topLayer()->viewController() == main.get(); },
        5));
    press("s");
    picker = waitForPresented<SoundTrackViewController>();
    ASSERT_NE(picker, nullptr);
    for (int i = 0; i < 3; i++)
        pressKey(KeyEvent::Key::Down);
    pressKey(KeyEvent::Key::Return);
    EXPECT_EQ(panel().labelSound()->text(), "Track 4");
    pressKey(KeyEvent::Key::Escape);
    ASSERT_TRUE(RunLoop::runUntil(
        [&] { return window().topLayer() && window().topLayer()->viewController() == main.get(); },
        5));
    // Main-screen keys wait while the panel is open (Space would press the sound button, which
    // has the focus ring again).
    EXPECT_EQ(window().focusRingView(), soundButton);
    press("l");
    press("o");
    RunLoop::runFor(0.1);
    EXPECT_FALSE(main->avCaptureMgr()->isCapture());
    EXPECT_FALSE(main->presentedViewController());
    press(",");
    ASSERT_TRUE(waitForPanel(false));
    // The sound button slid away with the panel and gave the focus to the next shown control
    // (the settings button): Space would not press what cannot be seen. Tab brings the ring to
    // Record, and Space records and stops there.
    ASSERT_NE(window().focusRingView(), nullptr);
    EXPECT_NE(window().focusRingView(), soundButton);
    const std::vector<View*> shown = window().focusableViews();
    EXPECT_NE(std::find(shown.begin(), shown.end(), window().focusRingView()), shown.end());
    for (int i = 0; i < 8 && window().focusRingView() != main->recordButton().get(); i++)
        pressKey(KeyEvent::Key::Tab);
    ASSERT_EQ(window().focusRingView(), main->recordButton().get());

    auto engine = recordAndCatchTheEngine();
    ASSERT_TRUE(engine);
    EXPECT_EQ(engine->inputAudioUrl(), delegate->soundTrackInfo()[3]);
    const std::string movie = engine->outputPath();
    engine.reset();
    ASSERT_TRUE(waitForTheMovie(movie));
    expectSoundAsLongAsThePicture(movie);
}

TEST_F(SettingsWalkThroughTest, ASongFromTheMusicFolderBecomesTheMoviesSound) {
    const std::string music = useMusicFolder();
    const std::string song = music + "/Mixes/evening.m4a";
    ASSERT_EQ(run("ffmpeg -nostdin -loglevel error -y -f lavfi -i sine=frequency=523:duration=6.3 "
                  "-ac 2 -c:a aac -metadata title=\"Evening Walk\" \"" +
                  song + "\""),
              0);
    AppConfigureInfo::shareAppConfigureInfo()->setSoundtrackNotice(false);
    launch();
    press(",");
    ASSERT_TRUE(waitForPanel(true));
    tap(*panel().soundTrackButton());
    auto* picker = waitForPresented<SoundTrackViewController>();
    ASSERT_NE(picker, nullptr);
    // From Track 1 up to the music library.
    for (int i = 0; i < 3; i++)
        pressKey(KeyEvent::Key::Up);
    pressKey(KeyEvent::Key::Return);
    auto* library = waitForPresented<MediaPickerController>();
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(library->musicDirectory(), music);
    ASSERT_TRUE(RunLoop::runUntil([&] { return !library->isScanning(); }, 10));
    press("e"); // typing searches
    press("v");
    ASSERT_EQ(library->filteredItems().size(), 1u);
    pressKey(KeyEvent::Key::Return); // leaves the search field
    pressKey(KeyEvent::Key::Down);
    pressKey(KeyEvent::Key::Down);
    pressKey(KeyEvent::Key::Return);
    EXPECT_EQ(delegate->audioType(), TaluvexAppDelegate::kAudioTypeLibrarySong);
    EXPECT_EQ(delegate->audioTitle(), "Evening Walk");
    EXPECT_EQ(panel().labelSound()->text(), "Evening Walk");
    // The rights notice: Return answers "Never Show Again".
    ASSERT_TRUE(picker->notice());
    EXPECT_EQ(picker->notice()->message(), kSoundTrackNoticeMessage);
    pressKey(KeyEvent::Key::Return);
    EXPECT_TRUE(AppConfigureInfo::shareAppConfigureInfo()->soundtrackNotice());
    ASSERT_TRUE(RunLoop::runUntil([&] { return !picker->presentedViewController(); }, 5));
    pressKey(KeyEvent::Key::Escape);
    ASSERT_TRUE(RunLoop::runUntil([&] { return presented() == nullptr; }, 5));
    press(",");
    ASSERT_TRUE(waitForPanel(false));

    auto engine = recordAndCatchTheEngine();
    ASSERT_TRUE(engine);
    EXPECT_EQ(engine->inputAudioUrl(), song);
    EXPECT_FALSE(engine->isReverseSpeed());
    const std::string movie = engine->outputPath();
    engine.reset();
    ASSERT_TRUE(waitForTheMovie(movie));
    expectSoundAsLongAsThePicture(movie);
}

} // namespace
} // namespace tx::test
