#include "platform/media/MoviePlayback.h"

#include "platform/foundation/RunLoop.h"
#include "support/MediaFixtures.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tx {
namespace {

// The fixtures' pictures carry their index in their brightness (luma 16 + 2 × index); read it
// back from the middle pixel's blue byte.
int pictureIndex(const PlaybackPicture& picture) {
    const std::size_t middle =
        static_cast<std::size_t>(picture.height / 2) * picture.bytesPerRow() +
        picture.width / 2 * 4;
    return static_cast<int>(std::lround(picture.pixels[middle] * 219.0 / 255.0 / 2.0));
}

struct Recorder : MoviePlaybackDelegate {
    std::vector<int> shown;
    std::vector<double> shownAt;
    std::uint64_t serial = 0;
    int finishes = 0;
    ErrorPtr error;
    std::function<double()> clock;
    void moviePlaybackDidChange(MoviePlayback& playback) override {
        if (playback.pictureSerial() != serial && playback.currentPicture()) {
            serial = playback.pictureSerial();
            shown.push_back(pictureIndex(*playback.currentPicture()));
            shownAt.push_back(playback.currentTime());
        }
    }
    void moviePlaybackDidFinish(MoviePlayback&, const ErrorPtr& e) override {
        ++finishes;
        error = e;
    }
};

class MoviePlaybackTest : public ::testing::Test {
protected:
    void SetUp() override {
        RunLoop::ensureApplication();
        AudioPlayer::setSinkFactory([] { return AudioPlayer::makeSilentSink(); });
    }
    void TearDown() override { AudioPlayer::setSinkFactory(nullptr); }

    MoviePlaybackPtr open(const test::ClipSpec& spec) {
        ErrorPtr error;
        auto playback = MoviePlayback::create(test::makeClip(spec), &error, 320, 240);
        EXPECT_TRUE(playback) << (error ? error->localizedDescription() : "");
        if (playback) {
            playback->setDelegate(recorder);
        }
        return playback;
    }

    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
};

TEST_F(MoviePlaybackTest, ShowsEachPictureInOrderWhenTheClockReachesIt) {
    test::ClipSpec spec;
    spec.seconds = 1.4;
    spec.fps = 25;
    auto playback = open(spec);
    ASSERT_TRUE(playback);
    double now = 0;
    playback->setClock([&] { return now; });
    // The first picture shows before playing starts.
    ASSERT_TRUE(RunLoop::runUntil([&] { return !recorder->shown.empty(); }, 2));
    EXPECT_EQ(recorder->shown.front(), 0);
    playback->play();
    // Step the clock a third of a picture at a time: every picture shows, none early.
    for (int step = 1; step <= 3 * 34; ++step) {
        now = step / 75.0;
        const int due = static_cast<int>(std::floor(now * 25 + 1e-9));
        ASSERT_TRUE(RunLoop::runUntil(
            [&] { return !recorder->shown.empty() && recorder->shown.back() == due; }, 2))
            << "at " << now << " s picture " << due << " should show, not "
            << recorder->shown.back();
    }
    for (std::size_t i = 0; i < recorder->shown.size(); ++i) {
        EXPECT_EQ(recorder->shown[i], static_cast<int>(i));
        EXPECT_GE(recorder->shownAt[i] + 1e-9, i / 25.0);
    }
    EXPECT_EQ(playback->droppedPictures(), 0);
    EXPECT_EQ(recorder->finishes, 0);
    now = 1.4;
    ASSERT_TRUE(RunLoop::runUntil([&] { return recorder->finishes == 1; }, 2));
    EXPECT_FALSE(recorder->error);
    EXPECT_EQ(recorder->shown.back(), 34);
}

TEST_F(MoviePlaybackTest, SeekShowsThePictureOnShowAtThatTimeAlsoWhilePaused) {
    test::ClipSpec spec;
    spec.seconds = 3.4;
    spec.fps = 30;
    spec.keyint = 30;
    auto playback = open(spec);
    ASSERT_TRUE(playback);
    ASSERT_TRUE(RunLoop::runUntil([&] { return !recorder->shown.empty(); }, 2));
    struct Case {
        double seconds;
        int picture;
    };
    // Within a picture, on a keyframe, just before one, backwards, and past the end.
    for (Case c : {Case{1.25, 37}, Case{2.0, 60}, Case{1.99, 59}, Case{0.3, 9}, Case{9.0, 101}}) {
        SCOPED_TRACE(c.seconds);
        const std::uint64_t before = playback->pictureSerial();
        playback->seekToTime(c.seconds);
        ASSERT_TRUE(RunLoop::runUntil([&] { return playback->pictureSerial() > before; }, 2));
        EXPECT_EQ(recorder->shown.back(), c.picture);
        EXPECT_FALSE(playback->isPlaying());
    }
    EXPECT_EQ(recorder->finishes, 0) << "a paused movie does not end by seeking";
}

TEST_F(MoviePlaybackTest, PlaysToItsEndOnTheSoundClockAndReportsOnce) {
    test::ClipSpec spec;
    spec.seconds = 0.8;
    auto playback = open(spec);
    ASSERT_TRUE(playback);
    EXPECT_TRUE(playback->hasSound());
    EXPECT_NEAR(playback->duration(), 0.8, 0.05);
    const auto start = std::chrono::steady_clock::now();
    playback->play();
    ASSERT_TRUE(RunLoop::runUntil([&] { return recorder->finishes > 0; }, 4));
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_NEAR(took, 0.8, 0.2);
    EXPECT_FALSE(recorder->error);
    EXPECT_TRUE(playback->isFinished());
    EXPECT_DOUBLE_EQ(playback->currentTime(), playback->duration());
    EXPECT_GE(recorder->shown.size(), 20u) << "most of the 24 pictures were shown";
    RunLoop::runFor(0.1);
    EXPECT_EQ(recorder->finishes, 1);
}

TEST_F(MoviePlaybackTest, MovieWithoutSoundKeepsTimeByTheWallClock) {
    test::ClipSpec spec;
    spec.seconds = 0.6;
    spec.sound = false;
    auto playback = open(spec);
    ASSERT_TRUE(playback);
    EXPECT_FALSE(playback->hasSound());
    playback->play();
    RunLoop::runFor(0.2);
    playback->pause();
    const double paused = playback->currentTime();
    EXPECT_NEAR(paused, 0.2, 0.08);
    RunLoop::runFor(0.1);
    EXPECT_DOUBLE_EQ(playback->currentTime(), paused);
    playback->play();
    ASSERT_TRUE(RunLoop::runUntil([&] { return recorder->finishes > 0; }, 3));
    EXPECT_FALSE(recorder->error);
}

TEST_F(MoviePlaybackTest, MissingOrPicturelessFilesGiveNoPlaybackAndSayWhy) {
    ErrorPtr error;
    EXPECT_FALSE(MoviePlayback::create("/nonexistent/movie.mov", &error));
    ASSERT_TRUE(error);
    EXPECT_NE(error->localizedDescription().find("/nonexistent/movie.mov"), std::string::npos);
    error.reset();
    EXPECT_FALSE(MoviePlayback::create(test::makeSound(0.3), &error));
    EXPECT_TRUE(error);
}

TEST_F(MoviePlaybackTest, StoppingOrDroppingWhileDecodingEndsQuietly) {
    test::ClipSpec spec;
    spec.seconds = 3.4;
    auto playback = open(spec);
    ASSERT_TRUE(playback);
    playback->play();
    RunLoop::runFor(0.05);
    playback->stop();
    RunLoop::runFor(0.1);
    EXPECT_EQ(recorder->finishes, 0);
    playback.reset(); // joins the decoder, which may be waiting for room in its queue
    RunLoop::runFor(0.05);
}

} // namespace
} // namespace tx
