#include "RenderSupport.h"
#include "support/MediaFixtures.h"

#include "platform/foundation/Paths.h"
#include "render/ReversedSoundPump.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>

using namespace tx;
using namespace tx::test;

namespace {

ClipSpec tinyClip(double seconds, bool sound) {
    ClipSpec spec;
    spec.seconds = seconds;
    spec.sound = sound;
    spec.width = 64;
    spec.height = 48;
    spec.fps = 10;
    spec.keyint = 10;
    spec.indexInBrightness = false;
    return spec;
}

class NotADelegate : public Object {};

} // namespace

TEST(RenderJob, OutputLengthFollowsTheSpeed) {
    struct Case {
        double sourceSeconds;
        int tempo;
        double wantSeconds;
    };
    for (const Case c : {Case{13, 130, 10}, Case{7, 70, 10}, Case{4, 100, 4}}) {
        RenderRun run(makeClip(tinyClip(c.sourceSeconds, false)), "", false, c.tempo,
                      tempPath("mov"));
        ASSERT_TRUE(run.engine->start());
        EXPECT_NEAR(run.engine->actualVideoTime().seconds(), c.wantSeconds, 1e-5);
        EXPECT_NEAR(run.engine->videoTime().seconds(), c.sourceSeconds, 1e-6);
        run.engine->stop();
    }
}

TEST(RenderJob, ReportsFinishOnceAndProgressUpToOne) {
    const std::string out = tempPath("mov");
    RenderRun run(makeClip(tinyClip(2.5, true)), makeClip(tinyClip(2.5, true)), true, 100, out);
    ASSERT_TRUE(run.runToEnd());
    RunLoop::runFor(0.1);
    EXPECT_EQ(run.delegate->finishes, 1);
    EXPECT_TRUE(run.delegate->finishedFlag);
    EXPECT_TRUE(run.delegate->errors.empty());
    ASSERT_FALSE(run.delegate->updates.empty());
    EXPECT_FLOAT_EQ(run.engine->progress(), 1.0f);
    EXPECT_TRUE(fileExists(out));
    std::filesystem::remove(out);
}

TEST(RenderJob, StopEndsTheJobSilentlyAndLeavesNoFile) {
    ClipSpec spec;
    spec.seconds = 6;
    const std::string out = tempPath("mov");
    RenderRun run(makeClip(spec), makeClip(spec), true, 100, out);
    ASSERT_TRUE(run.engine->start());
    ASSERT_TRUE(RunLoop::runUntil([&] { return run.delegate->updates.size() > 5; }, 20));
    run.engine->stop();
    RunLoop::runFor(0.3);
    EXPECT_EQ(run.delegate->finishes, 0);
    EXPECT_TRUE(run.delegate->errors.empty());
    EXPECT_FALSE(fileExists(out));
    EXPECT_TRUE(!workingFilesBeside(out));
}

TEST(RenderJob, ANonConformingDelegateHearsNothingButTheMovieIsMade) {
    const std::string out = tempPath("mov");
    auto engine = AVFileRenderMgr::create();
    auto stranger = std::make_shared<NotADelegate>();
    engine->setInputVideoUrl(makeClip(tinyClip(1.5, false)));
    engine->setTempo(100);
    engine->setOutputPath(out);
    engine->setDelegate(stranger);
    ASSERT_TRUE(engine->start());
    ASSERT_TRUE(RunLoop::runUntil([&] { return fileExists(out); }, 20));
    std::filesystem::remove(out);
}

TEST(RenderJob, SoundSourcesWithoutSound) {
    // Reversed: the job goes on and completes on the picture alone.
    const std::string silentSource = makeClip(tinyClip(1.5, false));
    const std::string out = tempPath("mov");
    RenderRun reversed(silentSource, silentSource, true, 100, out);
    ASSERT_TRUE(reversed.runToEnd());
    EXPECT_EQ(reversed.delegate->finishes, 1);
    EXPECT_EQ(reversed.engine->audioTime(), MediaTime::zero());
    std::filesystem::remove(out);

    // Forwards there is nothing to lay: refused at the start, with the reason.
    RenderRun forward(silentSource, silentSource, false, 100, tempPath("mov"));
    EXPECT_FALSE(forward.engine->start());
    ASSERT_TRUE(forward.engine->startError());
    EXPECT_NE(forward.engine->startError()->localizedDescription().find(silentSource),
              std::string::npos);
    RunLoop::runFor(0.05);
    EXPECT_FALSE(forward.delegate->ended());
}

TEST(RenderJob, StartRefusesWhatCannotBeRendered) {
    const std::string clip = makeClip(tinyClip(1, true));
    struct Case {
        std::string input;
        std::string sound;
        std::string output;
        std::string mention;
    };
    const std::vector<Case> cases = {
        {"/nonexistent/in.mov", "", tempPath("mov"), "/nonexistent/in.mov"},
        {makeSound(1.0), "", tempPath("mov"), "pictures"},
        {clip, "/nonexistent/sound.m4a", tempPath("mov"), "/nonexistent/sound.m4a"},
        {clip, "", "/nonexistent-folder/out.mov", "/nonexistent-folder/out.mov"},
    };
    for (const Case& c : cases) {
        RenderRun run(c.input, c.sound, false, 100, c.output);
        EXPECT_FALSE(run.engine->start()) << c.input;
        ASSERT_TRUE(run.engine->startError()) << c.input;
        EXPECT_NE(run.engine->startError()->localizedDescription().find(c.mention),
                  std::string::npos)
            << run.engine->startError()->localizedDescription();
        RunLoop::runFor(0.02);
        EXPECT_FALSE(run.delegate->ended());
    }
}

TEST(RenderJob, AFileAlreadyAtTheOutputIsReplaced) {
    const std::string out = tempPath("mov");
    { std::ofstream(out) << "old"; }
    RenderRun run(makeClip(tinyClip(1, false)), "", false, 100, out);
    ASSERT_TRUE(run.runToEnd());
    EXPECT_GT(fileSize(out), 100);
    std::filesystem::remove(out);
}

TEST(RenderJob, SilenceIsMadeOfBlocksOfAtMost44100Bytes) {
    struct Case {
        double seconds;
        int tempo;
        std::vector<std::size_t> blocks;
    };
    const std::vector<Case> cases = {
        {0.5, 100, {44100, 44100}},
        {0.25, 100, {44100}},
        {0.1, 100, {17640}},
        {0.5,
         130,
         {44100, 23744}}, // lengthened like the sound beside it: 0.5 s at x1.3 is 0.3846 s
    };
    for (const Case& c : cases) {
        AudioStreamBasicDescription asbd;
        asbd.sampleRate = 44100;
        asbd.bytesPerFrame = 4;
        asbd.channelsPerFrame = 2;
        asbd.bitsPerChannel = 16;
        const std::vector<DataBlockPtr> list = ReversedSoundPump::silenceBlocks(
            MediaTime::makeWithSeconds(c.seconds, 1000000), c.tempo, asbd);
        std::vector<std::size_t> sizes;
        for (const auto& b : list) {
            sizes.push_back(b->dataLength());
            EXPECT_EQ(b->data()[0], 0);
        }
        EXPECT_EQ(sizes, c.blocks) << c.seconds << " s at " << c.tempo;
    }
}

TEST(RenderJob, AWriterThatFailsEndsTheJobWithTheRenderError) {
    ClipSpec spec;
    spec.seconds = 3;
    spec.width = 320;
    spec.height = 240;
    spec.indexInBrightness = false;
    const std::string clip = makeClip(spec);
    const std::string out = tempPath("mov");
    RenderRun run(clip, clip, true, 100, out);
    // A small file-size limit stands in for a full disk.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 16 * 1024;
    setrlimit(RLIMIT_FSIZE, &small);
    const bool ended = run.runToEnd(30);
    setrlimit(RLIMIT_FSIZE, &old);
    ASSERT_TRUE(ended);
    EXPECT_EQ(run.delegate->finishes, 0);
    ASSERT_EQ(run.delegate->errors.size(), 1u);
    const std::string domain = run.delegate->errors[0]->domain();
    EXPECT_TRUE(domain == kVideoRenderErrorDomain || domain == kAudioRenderErrorDomain) << domain;
    EXPECT_EQ(run.delegate->errors[0]->code(), 0);
    ASSERT_TRUE(run.engine->failureCause());
    EXPECT_FALSE(fileExists(out));
    EXPECT_TRUE(!workingFilesBeside(out));
}

TEST(RenderJob, DurationAndTracksOfStoredMovies) {
    const std::string clip = makeClip(tinyClip(2, true));
    EXPECT_NEAR(AVFileRenderMgr::getDuration(clip), 2.0f, 0.03f);
    EXPECT_EQ(AVFileRenderMgr::getDuration("/nonexistent.mov"), 0.0f);
    AssetTrackPtr video;
    AssetTrackPtr audio;
    ASSERT_TRUE(AVFileRenderMgr::getTrack(clip, &video, &audio));
    EXPECT_TRUE(video && audio);
    ASSERT_TRUE(AVFileRenderMgr::getTrack(makeClip(tinyClip(1, false)), &video, &audio));
    EXPECT_TRUE(video);
    EXPECT_FALSE(audio);
    EXPECT_FALSE(AVFileRenderMgr::getTrack("/nonexistent.mov", &video, nullptr));
}

namespace {

// Records the order of what the delegate hears: 'u' update, 'f' finish, 'e' error.
class OrderDelegate : public Object, public AVFileRenderMgrDelegate {
public:
    void avFileRenderMgrDidUpdate(AVFileRenderMgr*, float) override { heard += 'u'; }
    void avFileRenderMgrDidFinish(AVFileRenderMgr*, bool) override { heard += 'f'; }
    void avFileRenderMgrDidError(AVFileRenderMgr*, const ErrorPtr&) override { heard += 'e'; }
    std::string heard;
};

} // namespace

TEST(RenderJob, ASpeedOfZeroOrBelowIsRefused) {
    for (const int tempo : {0, -30}) {
        RenderRun run(makeClip(tinyClip(1, true)), "", false, tempo, tempPath("mov"));
        EXPECT_FALSE(run.engine->start()) << tempo;
        ASSERT_TRUE(run.engine->startError());
        EXPECT_NE(run.engine->startError()->localizedDescription().find("speed"),
                  std::string::npos);
        RunLoop::runFor(0.05);
        EXPECT_FALSE(run.delegate->ended());
    }
}

TEST(RenderJob, ForwardSoundTooShortToLayIsRefusedAndShortSoundEnds) {
    const std::string clip = makeClip(tinyClip(2, false));
    const std::string blip = tempPath("m4a");
    ASSERT_EQ(run("ffmpeg -nostdin -loglevel error -y -f lavfi -i sine=duration=0.005 -c:a aac "
                  "-f mp4 \"" +
                  blip + "\""),
              0);
    RenderRun refused(clip, blip, false, 100, tempPath("mov"));
    EXPECT_FALSE(refused.engine->start());
    ASSERT_TRUE(refused.engine->startError());
    EXPECT_NE(refused.engine->startError()->localizedDescription().find(blip), std::string::npos);

    // A sound of a tenth of a second is laid twenty times under two seconds of pictures.
    const std::string out = tempPath("mov");
    RenderRun laid(clip, makeSound(0.1), false, 100, out);
    ASSERT_TRUE(laid.runToEnd(30));
    EXPECT_EQ(laid.delegate->finishes, 1);
    EXPECT_NEAR(probeDuration(out, "a:0"), 2.0, 0.05);
    std::filesystem::remove(out);
    std::filesystem::remove(blip);
}

TEST(RenderJob, NothingReachesTheDelegateAfterTheJobEnds) {
    // Finished: the sound pumps' queued updates come before the finish or not at all.
    for (const bool reverse : {true, false}) {
        const std::string clip = makeClip(tinyClip(3.4, true));
        const std::string out = tempPath("mov");
        auto engine = AVFileRenderMgr::create();
        auto delegate = std::make_shared<OrderDelegate>();
        engine->setInputVideoUrl(clip);
        engine->setInputAudioUrl(reverse ? clip : makeSound(1.3));
        engine->setIsReverseSpeed(reverse);
        engine->setTempo(130);
        engine->setOutputPath(out);
        engine->setDelegate(delegate);
        ASSERT_TRUE(engine->start());
        ASSERT_TRUE(
            RunLoop::runUntil([&] { return delegate->heard.find('f') != std::string::npos; }, 30));
        RunLoop::runFor(0.1);
        EXPECT_EQ(delegate->heard.back(), 'f') << reverse;
        EXPECT_EQ(std::count(delegate->heard.begin(), delegate->heard.end(), 'f'), 1);
        std::filesystem::remove(out);
    }

    // Stopped: nothing at all afterwards.
    const std::string clip = makeClip(tinyClip(6, true));
    auto engine = AVFileRenderMgr::create();
    auto delegate = std::make_shared<OrderDelegate>();
    engine->setInputVideoUrl(clip);
    engine->setInputAudioUrl(clip);
    engine->setIsReverseSpeed(true);
    engine->setTempo(100);
    engine->setOutputPath(tempPath("mov"));
    engine->setDelegate(delegate);
    ASSERT_TRUE(engine->start());
    ASSERT_TRUE(RunLoop::runUntil([&] { return delegate->heard.size() > 3; }, 20));
    engine->stop();
    const std::size_t heardAtStop = delegate->heard.size();
    RunLoop::runFor(0.2);
    EXPECT_EQ(delegate->heard.size(), heardAtStop);
}

TEST(RenderJob, TwoEnginesRenderAtOnceEachHearingItsOwnPumps) {
    ClipSpec longer = tinyClip(3.4, true);
    longer.indexInBrightness = true;
    const std::string first = makeClip(longer);
    const std::string second = makeClip(tinyClip(1.2, false));
    const std::string outFirst = tempPath("mov");
    const std::string outSecond = tempPath("mov");
    // Neither waits for sound: an engine that heard the other's pictures finish would end early.
    RenderRun a(first, "", false, 100, outFirst);
    RenderRun b(second, "", false, 130, outSecond);
    ASSERT_TRUE(a.engine->start());
    ASSERT_TRUE(b.engine->start());
    ASSERT_TRUE(RunLoop::runUntil([&] { return a.delegate->ended() && b.delegate->ended(); }, 30));
    RunLoop::runFor(0.1);
    EXPECT_EQ(a.delegate->finishes, 1);
    EXPECT_EQ(b.delegate->finishes, 1);
    EXPECT_TRUE(a.delegate->errors.empty() && b.delegate->errors.empty());
    EXPECT_EQ(probeFrameCount(outFirst, "v:0"), 34);
    EXPECT_EQ(probeFrameCount(outSecond, "v:0"), 12);
    EXPECT_NEAR(probeDuration(outFirst, "v:0"), 3.4, 0.03);
    std::filesystem::remove(outFirst);
    std::filesystem::remove(outSecond);
}

TEST(RenderJob, AnEngineStartedAgainAfterStopRendersTheNewJobWhole) {
    // Nothing of the stopped job (a window's pictures or sound blocks) carries into the next.
    const std::string clip = makeClip(tinyClip(3.4, true));
    const std::string out = tempPath("mov");
    RenderRun run(clip, clip, true, 100, out);
    ASSERT_TRUE(run.engine->start());
    ASSERT_TRUE(RunLoop::runUntil([&] { return run.delegate->updates.size() > 3; }, 20));
    run.engine->stop();
    ASSERT_TRUE(run.runToEnd(30));
    EXPECT_EQ(run.delegate->finishes, 1);
    EXPECT_EQ(probeFrameCount(out, "v:0"), 34);
    EXPECT_NEAR(probeDuration(out, "a:0"), 3.4, 0.05);
    std::filesystem::remove(out);
}

TEST(RenderJob, StopIsHeardWithinHalfASecondWhateverTheSound) {
    // Without sound nothing paces the picture pump: it must still let the run loop turn. The
    // clip is large enough that no machine renders it whole before the stop is asked for.
    ClipSpec spec = tinyClip(40, true);
    spec.width = 320;
    spec.height = 240;
    spec.fps = 30;
    spec.keyint = 30;
    const std::string source = makeClip(spec);
    for (const std::string& sound : {std::string(), source}) {
        const std::string out = tempPath("mov");
        RenderRun run(source, sound, true, 100, out);
        ASSERT_TRUE(run.engine->start());
        // Asked early, while the first windows are being written.
        const auto asked = std::chrono::steady_clock::now() + std::chrono::milliseconds(20);
        std::chrono::steady_clock::time_point stopped{};
        RunLoop::postAfter(0.02, [&] {
            stopped = std::chrono::steady_clock::now();
            run.engine->stop();
        });
        ASSERT_TRUE(RunLoop::runUntil(
            [&] { return stopped != std::chrono::steady_clock::time_point{}; }, 60));
        EXPECT_LT(stopped - asked, std::chrono::milliseconds(500)) << "sound: " << sound;
        RunLoop::runFor(0.1);
        EXPECT_EQ(run.delegate->finishes, 0) << "sound: " << sound;
        EXPECT_FALSE(fileExists(out));
        EXPECT_FALSE(workingFilesBeside(out));
    }
}
