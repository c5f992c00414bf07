#include "share/ScreenTestSupport.h"

#include "platform/foundation/NotificationCenter.h"
#include "share/MyMPMoviePlayerViewController.h"

using namespace tx;

namespace {

class MoviePlayerScreenTest : public test::ScreenTest {
protected:
    void TearDown() override {
        NotificationCenter::defaultCenter().removeObserver(this);
        ScreenTest::TearDown();
    }
    std::shared_ptr<MyMPMoviePlayerViewController> openPlayer(const std::string& path) {
        auto player = std::make_shared<MyMPMoviePlayerViewController>(path);
        NotificationCenter::defaultCenter().addObserver(
            this, kMPMoviePlayerPlaybackDidFinishNotification,
            [this](const Notification&) { ++finished; }, player->moviePlayer().get());
        root->presentViewController(player, false);
        return player;
    }
    int finished = 0;
};

TEST_F(MoviePlayerScreenTest, KeysPlayPauseSeekAndCloseThePlayer) {
    test::ClipSpec spec;
    spec.seconds = 7.9;
    auto player = openPlayer(addMovie("long.mov", spec));
    const auto& playback = player->moviePlayer()->playback();
    ASSERT_TRUE(playback);
    EXPECT_TRUE(RunLoop::runUntil([&] { return playback->isPlaying(); }, 2))
        << "playing starts as the player appears";
    ASSERT_TRUE(RunLoop::runUntil([&] { return player->pictureView()->picture() != nullptr; }, 2));

    window->sendKey(character(" "));
    EXPECT_FALSE(playback->isPlaying());
    const double paused = playback->currentTime();
    window->sendKey(key(KeyEvent::Key::Right));
    EXPECT_NEAR(playback->currentTime(), paused + 5, 1e-6);
    // The picture at the new time shows while paused; the bar and the time follow.
    ASSERT_TRUE(RunLoop::runUntil(
        [&] {
            const auto& picture = player->pictureView()->picture();
            return picture && picture->seconds > paused + 4.9;
        },
        2));
    EXPECT_NEAR(player->positionBar()->value(), (paused + 5) / playback->duration(), 0.01);
    EXPECT_EQ(player->timeLabel()->text(),
              MyMPMoviePlayerViewController::timeText(paused + 5) + " / 0:07");
    window->sendKey(key(KeyEvent::Key::Right));
    EXPECT_DOUBLE_EQ(playback->currentTime(), playback->duration()) << "a seek stops at the end";
    window->sendKey(key(KeyEvent::Key::Left));
    EXPECT_NEAR(playback->currentTime(), playback->duration() - 5, 1e-6);
    window->sendKey(key(KeyEvent::Key::Left));
    EXPECT_EQ(playback->currentTime(), 0.0) << "and at the start";
    window->sendKey(character(" "));
    EXPECT_TRUE(playback->isPlaying());
    EXPECT_EQ(finished, 0);

    window->sendKey(key(KeyEvent::Key::Escape));
    EXPECT_EQ(finished, 1);
    EXPECT_FALSE(playback->isPlaying());
    ASSERT_TRUE(RunLoop::runUntil([&] { return root->presentedViewController() == nullptr; }, 3));
}

TEST_F(MoviePlayerScreenTest, DraggingThePositionBarSeeks) {
    test::ClipSpec spec;
    spec.seconds = 3.4;
    auto player = openPlayer(addMovie("clip.mov", spec));
    const auto& playback = player->moviePlayer()->playback();
    ASSERT_TRUE(playback);
    window->sendKey(character(" "));
    const auto& bar = player->positionBar();
    const Point start = bar->convertPointToView(Point(7, 14), window.get());
    const double width = bar->bounds().size.width - 14;
    window->sendTouch(TouchPhase::Began, start);
    window->sendTouch(TouchPhase::Moved, Point(start.x + width * 0.25, start.y));
    window->sendTouch(TouchPhase::Moved, Point(start.x + width * 0.5, start.y));
    window->sendTouch(TouchPhase::Ended, Point(start.x + width * 0.5, start.y));
    EXPECT_NEAR(playback->currentTime(), playback->duration() * 0.5, 0.05);
    EXPECT_EQ(finished, 0);
}

TEST_F(MoviePlayerScreenTest, AMovieThatCannotBePlayedClosesThePlayerAndSaysWhy) {
    const std::string broken = documents + "/broken.mov";
    std::filesystem::create_directories(documents);
    std::ofstream(broken) << "not a movie";
    auto player = openPlayer(broken);
    EXPECT_FALSE(player->moviePlayer()->playback());
    EXPECT_EQ(finished, 1);
    EXPECT_NE(waitForAlert().find("broken.mov"), std::string::npos);
    ASSERT_TRUE(RunLoop::runUntil([&] { return root->presentedViewController() == nullptr; }, 3));
}

TEST_F(MoviePlayerScreenTest, TimesReadAsMinutesAndSeconds) {
    EXPECT_EQ(MyMPMoviePlayerViewController::timeText(0), "0:00");
    EXPECT_EQ(MyMPMoviePlayerViewController::timeText(75.9), "1:15");
    EXPECT_EQ(MyMPMoviePlayerViewController::timeText(3725), "1:02:05");
}

} // namespace
