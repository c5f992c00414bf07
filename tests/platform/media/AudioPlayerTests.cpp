#include "platform/media/AudioPlayer.h"

#include "platform/foundation/RunLoop.h"
#include "support/MediaFixtures.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <vector>

namespace tx {
namespace {

constexpr double kSoundSeconds = 0.2;

struct RecordingDelegate : AudioPlayerDelegate {
    std::vector<bool> finishes;
    std::vector<bool> onMainThread;
    void audioPlayerDidFinishPlaying(AudioPlayer& player, bool successfully) override {
        EXPECT_FALSE(player.isPlaying());
        finishes.push_back(successfully);
        onMainThread.push_back(RunLoop::isMainThread());
    }
};

// A sink the test ends by hand, remembering what it was given.
struct ScriptedSink : AudioPlayerSink {
    struct Log {
        std::shared_ptr<const AudioPlayerPcm> pcm;
        std::vector<float> volumes;
        int starts = 0;
        int stops = 0;
        FinishHandler finished;
    };
    explicit ScriptedSink(std::shared_ptr<Log> log) : log(std::move(log)) {}
    bool start(std::shared_ptr<const AudioPlayerPcm> pcm, float volume,
               FinishHandler finished) override {
        log->pcm = std::move(pcm);
        log->volumes.push_back(volume);
        log->finished = std::move(finished);
        ++log->starts;
        return true;
    }
    void stop() override { ++log->stops; }
    void setVolume(float volume) override { log->volumes.push_back(volume); }
    std::shared_ptr<Log> log;
};

class AudioPlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        RunLoop::ensureApplication();
        AudioPlayer::setSinkFactory([] { return AudioPlayer::makeSilentSink(); });
    }
    void TearDown() override { AudioPlayer::setSinkFactory(nullptr); }

    AudioPlayerPtr openShortSound() {
        ErrorPtr error;
        auto player = AudioPlayer::create(test::makeSound(kSoundSeconds), &error);
        EXPECT_TRUE(player) << (error ? error->localizedDescription() : "");
        if (player) {
            player->setDelegate(delegate);
        }
        return player;
    }

    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
};

using SteadyClock = std::chrono::steady_clock;

double secondsSince(SteadyClock::time_point start) {
    return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

TEST_F(AudioPlayerTest, SilentSinkFinishesOnceInRealTimeAndPlaysAgain) {
    auto player = openShortSound();
    ASSERT_TRUE(player);
    ASSERT_TRUE(player->prepareToPlay());
    EXPECT_NEAR(player->duration(), kSoundSeconds, 0.05);

    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE(round);
        const auto start = SteadyClock::now();
        ASSERT_TRUE(player->play());
        EXPECT_TRUE(player->isPlaying());
        ASSERT_TRUE(
            RunLoop::runUntil([&] { return delegate->finishes.size() == size_t(round); }, 3.0));
        EXPECT_GE(secondsSince(start), kSoundSeconds - 0.03);
        EXPECT_FALSE(player->isPlaying());
    }
    RunLoop::runFor(kSoundSeconds + 0.1);
    EXPECT_EQ(delegate->finishes, (std::vector<bool>{true, true}));
    EXPECT_EQ(delegate->onMainThread, (std::vector<bool>{true, true}));
}

TEST_F(AudioPlayerTest, StopEndsPlayingWithoutAReport) {
    auto player = openShortSound();
    ASSERT_TRUE(player);
    ASSERT_TRUE(player->play());
    EXPECT_TRUE(player->play()) << "playing again while playing keeps playing";
    player->stop();
    EXPECT_FALSE(player->isPlaying());
    RunLoop::runFor(kSoundSeconds + 0.15);
    EXPECT_TRUE(delegate->finishes.empty());

    // A player dropped while playing reports nothing either.
    ASSERT_TRUE(player->play());
    player.reset();
    RunLoop::runFor(kSoundSeconds + 0.15);
    EXPECT_TRUE(delegate->finishes.empty());
}

TEST_F(AudioPlayerTest, DefaultOutputEndsEvenWithoutASoundDevice) {
    AudioPlayer::setSinkFactory(nullptr);
    auto player = openShortSound();
    ASSERT_TRUE(player);
    ASSERT_TRUE(player->play());
    ASSERT_TRUE(RunLoop::runUntil([&] { return !delegate->finishes.empty(); }, 5.0));
    EXPECT_EQ(delegate->finishes, std::vector<bool>{true});
    ASSERT_TRUE(player->play());
    ASSERT_TRUE(RunLoop::runUntil([&] { return delegate->finishes.size() == 2; }, 5.0));
}

TEST_F(AudioPlayerTest, SinkGetsTheDecodedSoundAndVolumeAndReportsItsOutcome) {
    auto log = std::make_shared<ScriptedSink::Log>();
    AudioPlayer::setSinkFactory([log] { return std::make_unique<ScriptedSink>(log); });
    ErrorPtr error;
    auto player = AudioPlayer::create(test::makeSound(0.5, 22050, 1), &error);
    ASSERT_TRUE(player) << (error ? error->localizedDescription() : "");
    player->setDelegate(delegate);
    player->setVolume(0.05f);
    ASSERT_TRUE(player->play());
    ASSERT_TRUE(log->pcm);
    EXPECT_EQ(log->pcm->sampleRate, 22050);
    EXPECT_EQ(log->pcm->channels, 1);
    EXPECT_NEAR(log->pcm->durationSeconds(), 0.5, 0.05);
    player->setVolume(3.0f);
    EXPECT_EQ(log->volumes, (std::vector<float>{0.05f, 1.0f}));

    // A failed output ends the playing with the flag off; a late report of it is ignored.
    auto finished = log->finished;
    finished(false);
    finished(true);
    EXPECT_EQ(delegate->finishes, std::vector<bool>{false});
    // The report of a playing that was stopped and restarted is ignored too.
    ASSERT_TRUE(player->play());
    auto second = log->finished;
    player->stop();
    ASSERT_TRUE(player->play());
    second(true);
    EXPECT_TRUE(player->isPlaying());
    log->finished(true);
    EXPECT_EQ(delegate->finishes, (std::vector<bool>{false, true}));
}

TEST_F(AudioPlayerTest, PositionRunsWhilePlayingAndPauseKeepsIt) {
    ErrorPtr error;
    auto player = AudioPlayer::create(test::makeSound(1.0), &error);
    ASSERT_TRUE(player) << (error ? error->localizedDescription() : "");
    player->setDelegate(delegate);
    ASSERT_TRUE(player->playAtTime(0.5));
    EXPECT_NEAR(player->currentTime(), 0.5, 0.02);
    RunLoop::runFor(0.15);
    const double running = player->currentTime();
    EXPECT_GT(running, 0.6);
    EXPECT_LT(running, 0.8);

    player->pause();
    const double paused = player->currentTime();
    RunLoop::runFor(0.1);
    EXPECT_DOUBLE_EQ(player->currentTime(), paused) << "the position stands still while paused";

    // Playing on continues from the pause and reaches the end in the time that was left.
    const auto start = SteadyClock::now();
    ASSERT_TRUE(player->play());
    ASSERT_TRUE(RunLoop::runUntil([&] { return !delegate->finishes.empty(); }, 3.0));
    EXPECT_NEAR(secondsSince(start), 1.0 - paused, 0.1);
    EXPECT_EQ(player->currentTime(), 0.0) << "after the end the next play starts over";

    // A time past the end reports the end at once.
    ASSERT_TRUE(player->playAtTime(5.0));
    ASSERT_TRUE(RunLoop::runUntil([&] { return delegate->finishes.size() == 2; }, 0.5));
}

TEST_F(AudioPlayerTest, FilesWithoutSoundGiveNoPlayerAndAnError) {
    const std::string text = test::tempPath("txt");
    std::ofstream(text) << "not a sound";
    test::ClipSpec silentClip;
    silentClip.sound = false;
    silentClip.seconds = 0.5;
    for (const std::string& path :
         {std::string("/nonexistent/sound.caf"), text, test::makeClip(silentClip)}) {
        SCOPED_TRACE(path);
        ErrorPtr error;
        EXPECT_FALSE(AudioPlayer::create(path, &error));
        EXPECT_TRUE(error);
    }
}

} // namespace
} // namespace tx
