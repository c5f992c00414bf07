#include "RenderSupport.h"
#include "SoundAnalysis.h"
#include "support/MediaFixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>

using namespace tx;
using namespace tx::test;

namespace {

std::vector<int> descending(int from, int count) {
    std::vector<int> v;
    for (int i = 0; i < count; ++i) {
        v.push_back(from - i);
    }
    return v;
}

} // namespace

TEST(RenderOutput, PicturesComeOutLatestFirstInEvenSteps) {
    struct Case {
        double sourceSeconds;
        int tempo;
        int pictures;
        int keyint;
    };
    // A keyframe every 250 pictures: the windows before the last are served from the pictures
    // kept while decoding towards it.
    for (const Case c : {Case{3.4, 100, 102, 30}, Case{0.5, 130, 15, 30}, Case{3.4, 70, 102, 30},
                         Case{3.4, 100, 102, 250}}) {
        ClipSpec spec;
        spec.seconds = c.sourceSeconds;
        spec.sound = false;
        spec.keyint = c.keyint;
        const std::string out = tempPath("mov");
        RenderRun run(makeClip(spec), "", false, c.tempo, out);
        ASSERT_TRUE(run.runToEnd()) << c.sourceSeconds;
        EXPECT_EQ(run.delegate->finishes, 1);
        const RenderedPictures pictures = readPictures(out);
        // The encoder may shift a flat picture's brightness by a level: allow one index either way.
        const std::vector<int> want = descending(c.pictures - 1, c.pictures);
        ASSERT_EQ(pictures.indexes.size(), want.size()) << c.sourceSeconds;
        for (std::size_t i = 0; i < want.size(); ++i) {
            EXPECT_NEAR(pictures.indexes[i], want[i], 1)
                << "picture " << i << " of " << c.sourceSeconds;
        }
        const double step = 100.0 / (c.tempo * 30.0);
        for (std::size_t i = 0; i < pictures.seconds.size(); ++i) {
            EXPECT_NEAR(pictures.seconds[i], static_cast<double>(i) * step, 1.5e-5);
        }
        EXPECT_EQ(probeStream(out, "a:0", "codec_name"), ""); // no sound track asked for
        std::filesystem::remove(out);
    }
}

TEST(RenderOutput, IrregularSourceTimesComeOutEvenlySpaced) {
    const std::string source = tempPath("mov");
    // Pictures at 0, 1/30 + 10 ms, 2/30, 3/30 + 10 ms, ...
    ASSERT_EQ(run("ffmpeg -nostdin -loglevel error -y -f lavfi -i "
                  "color=c=black:size=64x48:rate=30:duration=1 "
                  "-vf \"geq=lum='16+2*N':cb=128:cr=128,setpts=PTS+0.01*mod(N\\,2)/TB\" -fps_mode "
                  "passthrough "
                  "-c:v libx264 -preset ultrafast -f mov \"" +
                  source + "\""),
              0);
    const std::string out = tempPath("mov");
    RenderRun r(source, "", false, 100, out);
    ASSERT_TRUE(r.runToEnd());
    const RenderedPictures pictures = readPictures(out);
    ASSERT_GE(pictures.seconds.size(), 29u);
    for (std::size_t i = 1; i < pictures.seconds.size(); ++i) {
        EXPECT_NEAR(pictures.seconds[i] - pictures.seconds[i - 1], 1.0 / 30, 2e-5);
    }
    std::filesystem::remove(out);
    std::filesystem::remove(source);
}

TEST(RenderOutput, ReversedSoundRunsBackwardsContinuouslyAndAsLongAsThePicture) {
    ClipSpec spec;
    spec.seconds = 5.0;
    spec.sweep = true; // rising from 200 Hz by 400 Hz a second
    spec.channels = 2;
    spec.width = 64;
    spec.height = 48;
    const std::string source = makeClip(spec);
    for (const int tempo : {70, 100, 130}) {
        const std::string out = tempPath("mov");
        RenderRun r(source, source, true, tempo, out);
        ASSERT_TRUE(r.runToEnd()) << tempo;
        ASSERT_EQ(r.delegate->finishes, 1);
        const double picture = probeDuration(out, "v:0");
        EXPECT_NEAR(picture, 5.0 * 100 / tempo, 0.05) << tempo;
        const RenderedSound sound = readSound(out);
        EXPECT_EQ(sound.channels, 2);
        EXPECT_NEAR(sound.seconds(), picture, 0.05) << tempo;
        // Continuous: no dropout longer than 5 ms anywhere inside.
        EXPECT_LT(longestSilence(sound, 0.1, sound.seconds() - 0.1), 0.005) << tempo;
        // Backwards, pitch kept: output time t plays source time 5 - t × tempo/100.
        for (const double t : {0.5, 1.5, 2.5}) {
            const double sourceTime = 5.0 - t * tempo / 100.0;
            EXPECT_NEAR(frequencyAt(sound, t), 200 + 400 * sourceTime, 60)
                << "tempo " << tempo << " at " << t;
        }
        std::filesystem::remove(out);
    }
}

TEST(RenderOutput, MonoSoundLongerThanThePictureIsCutToIt) {
    const std::string source = tempPath("mov");
    ASSERT_EQ(run("ffmpeg -nostdin -loglevel error -y -f lavfi -i "
                  "color=c=gray:size=64x48:rate=30:duration=2 "
                  "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=3 -c:v libx264 "
                  "-preset ultrafast "
                  "-c:a aac -ac 1 -f mov \"" +
                  source + "\""),
              0);
    const std::string out = tempPath("mov");
    RenderRun r(source, source, true, 100, out);
    ASSERT_TRUE(r.runToEnd());
    EXPECT_NEAR(r.engine->audioTime().seconds(), r.engine->videoTime().seconds(), 1e-9);
    const RenderedSound sound = readSound(out);
    EXPECT_EQ(sound.channels, 1);
    EXPECT_NEAR(sound.seconds(), 2.0, 0.05);
    EXPECT_LT(longestSilence(sound, 0.05, 1.95), 0.005);
    std::filesystem::remove(out);
    std::filesystem::remove(source);
}

TEST(RenderOutput, SurroundSoundIsMixedDownToStereo) {
    const std::string source = tempPath("mov");
    ASSERT_EQ(run("ffmpeg -nostdin -loglevel error -y -f lavfi -i "
                  "color=c=gray:size=64x48:rate=30:duration=2 "
                  "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=2 -c:v libx264 "
                  "-preset ultrafast "
                  "-c:a aac -ac 6 -f mov \"" +
                  source + "\""),
              0);
    for (const bool reverse : {true, false}) {
        const std::string out = tempPath("mov");
        RenderRun r(source, source, reverse, 130, out);
        ASSERT_TRUE(r.runToEnd()) << reverse;
        EXPECT_EQ(r.delegate->finishes, 1);
        EXPECT_EQ(probeStream(out, "a:0", "channels"), "2");
        const RenderedSound sound = readSound(out);
        EXPECT_EQ(sound.rate, 48000);
        EXPECT_NEAR(sound.seconds(), 2.0 / 1.3, 0.05) << reverse;
        EXPECT_LT(longestSilence(sound, 0.1, sound.seconds() - 0.1), 0.005) << reverse;
        std::filesystem::remove(out);
    }
    std::filesystem::remove(source);
}

TEST(RenderOutput, SurroundIsFoldedDownTheSameWayReversedOrNot) {
    // Six channels with a tone in the centre only: folded down, the centre belongs equally to
    // left and right, whichever pump lays the sound.
    const std::string source = tempPath("mov");
    ASSERT_EQ(run("ffmpeg -nostdin -loglevel error -y -f lavfi -i "
                  "color=c=gray:size=64x48:rate=30:duration=2 -f lavfi -i "
                  "sine=frequency=440:sample_rate=48000:duration=2 -filter_complex "
                  "\"[1:a]pan=5.1|FL=0*c0|FR=0*c0|FC=c0|LFE=0*c0|BL=0*c0|BR=0*c0[a]\" -map 0:v "
                  "-map \"[a]\" -c:v libx264 -preset ultrafast -c:a aac -f mov \"" +
                  source + "\""),
              0);
    ASSERT_EQ(probeStream(source, "a:0", "channels"), "6");
    std::vector<std::vector<double>> levels;
    for (const bool reverse : {true, false}) {
        const std::string out = tempPath("mov");
        RenderRun r(source, source, reverse, 100, out);
        ASSERT_TRUE(r.runToEnd()) << reverse;
        // Per channel RMS levels in dB, from FFmpeg's astats.
        const std::string text = capture("ffmpeg -nostdin -i \"" + out +
                                         "\" -af astats -f null - 2>&1 | grep 'RMS level dB' | "
                                         "head -2 | sed 's/.*: //'");
        std::istringstream in(text);
        std::vector<double> channelLevels;
        double level = 0;
        while (in >> level) {
            channelLevels.push_back(level);
        }
        ASSERT_EQ(channelLevels.size(), 2u) << text;
        EXPECT_NEAR(channelLevels[0], channelLevels[1], 0.5) << reverse;
        levels.push_back(channelLevels);
        std::filesystem::remove(out);
    }
    EXPECT_NEAR(levels[0][0], levels[1][0], 0.5);
    std::filesystem::remove(source);
}

TEST(RenderOutput, SoundShorterThanThePictureStartsAfterSilenceInStep) {
    // Pictures for 3 s, sound only for the first 2 s: backwards, the first second is silent.
    const std::string source = tempPath("mov");
    ASSERT_EQ(run("ffmpeg -nostdin -loglevel error -y -f lavfi -i "
                  "color=c=gray:size=64x48:rate=30:duration=3 "
                  "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=2 -c:v libx264 "
                  "-preset ultrafast "
                  "-c:a aac -ac 1 -f mov \"" +
                  source + "\""),
              0);
    for (const int tempo : {100, 130}) {
        const std::string out = tempPath("mov");
        RenderRun r(source, source, true, tempo, out);
        ASSERT_TRUE(r.runToEnd());
        const RenderedSound sound = readSound(out);
        const double silent = 1.0 * 100 / tempo;
        EXPECT_NEAR(sound.seconds(), 3.0 * 100 / tempo, 0.05);
        EXPECT_GT(longestSilence(sound, 0, silent), silent - 0.05);
        EXPECT_LT(longestSilence(sound, silent + 0.1, sound.seconds() - 0.1), 0.005);
        std::filesystem::remove(out);
    }
    std::filesystem::remove(source);
}

TEST(RenderOutput, ForwardSoundRepeatsInPassesAndIsCutAtTheOutputLength) {
    ClipSpec spec;
    spec.seconds = 10.0;
    spec.sound = false;
    spec.width = 64;
    spec.height = 48;
    spec.fps = 10;
    spec.keyint = 10;
    const std::string source = makeClip(spec);
    struct Case {
        double soundSeconds;
        int tempo;
        double wantSeconds;
    };
    for (const Case c : {Case{4.0, 100, 10.0}, Case{12.0, 100, 10.0}, Case{4.0, 130, 10.0 / 1.3}}) {
        const std::string out = tempPath("mov");
        RenderRun r(source, makeSound(c.soundSeconds), false, c.tempo, out);
        ASSERT_TRUE(r.runToEnd()) << c.soundSeconds;
        EXPECT_EQ(r.delegate->finishes, 1);
        EXPECT_EQ(r.engine->actualVideoTime(), MediaTime::zero()); // counted down to the end
        const RenderedSound sound = readSound(out);
        EXPECT_NEAR(sound.seconds(), c.wantSeconds, 0.05) << c.soundSeconds;
        // The passes follow each other without a gap.
        EXPECT_LT(longestSilence(sound, 0.1, sound.seconds() - 0.1), 0.005) << c.soundSeconds;
        // Progress counts on across passes: were the sound's share counted from nothing again
        // in each pass, the combined value could never pass 0.7. (The sound's last updates are
        // queued, not waited for, and may come after the end: the highest seen is below 1.)
        float highest = 0;
        for (float p : r.delegate->updates) {
            highest = std::max(highest, p);
        }
        EXPECT_GT(highest, 0.9f);
        EXPECT_LE(highest, 1.0f);
        std::filesystem::remove(out);
    }
}

TEST(RenderOutput, AMovieCutByAnEditListRendersOnlyWhatTheEditShows) {
    // 2 s shown from 0.9 s of a 4 s clip whose samples are all kept: the pictures and the sound
    // before the edit point are decoded on the way, never rendered.
    ClipSpec spec;
    spec.seconds = 4.0;
    spec.sweep = true; // rising from 200 Hz by 400 Hz a second
    spec.width = 64;
    spec.height = 48;
    const std::string trimmed = trimmedByEditList(makeClip(spec), 0.9, 2.0);
    for (const int tempo : {100, 130}) {
        const std::string out = tempPath("mov");
        RenderRun r(trimmed, trimmed, true, tempo, out);
        ASSERT_TRUE(r.runToEnd()) << tempo;
        ASSERT_EQ(r.delegate->finishes, 1) << tempo;
        const double picture = probeDuration(out, "v:0");
        EXPECT_NEAR(picture, 2.0 * 100 / tempo, 0.05) << tempo;
        const RenderedSound sound = readSound(out);
        EXPECT_NEAR(sound.seconds(), picture, 0.05) << tempo;
        // The first picture is the last one shown, at 2.9 s of the clip (index 86).
        const RenderedPictures pictures = readPictures(out);
        ASSERT_FALSE(pictures.indexes.empty());
        EXPECT_EQ(pictures.indexes.front(), 86) << tempo;
        EXPECT_EQ(pictures.indexes.size(), 60u) << tempo;
        // Output time t plays clip time 2.9 - t x tempo/100.
        for (const double t : {0.3, 1.0}) {
            const double clipTime = 2.9 - t * tempo / 100.0;
            EXPECT_NEAR(frequencyAt(sound, t), 200 + 400 * clipTime, 60)
                << "tempo " << tempo << " at " << t;
        }
        std::filesystem::remove(out);
    }
}

TEST(RenderOutput, ReversedSoundIsReversedSampleBySample) {
    // A rising tone of amplitude 0.5 under 1 kHz never steps by more than 0.08 between samples;
    // reversed in blocks (each block still forwards) it would jump at every seam.
    ClipSpec spec;
    spec.seconds = 2.0;
    spec.sweep = true;
    spec.width = 64;
    spec.height = 48;
    const std::string source = makeClip(spec);
    for (const int tempo : {100, 130}) {
        const std::string out = tempPath("mov");
        RenderRun r(source, source, true, tempo, out);
        ASSERT_TRUE(r.runToEnd()) << tempo;
        const RenderedSound sound = readSound(out);
        EXPECT_LT(largestStep(sound, 0.1, sound.seconds() - 0.1), 0.2) << tempo;
        std::filesystem::remove(out);
    }
}

TEST(RenderOutput, AStretchRendersAsTheSameStretchCutFirst) {
    ClipSpec spec;
    spec.seconds = 4.0;
    spec.sweep = true;
    spec.channels = 2;
    spec.width = 64;
    spec.height = 48;
    spec.keyint = 45; // the stretch's ends fall between keyframes (pictures up to 109 are told
                      // apart by their brightness)
    const std::string source = makeClip(spec);
    struct Case {
        double from;
        double to;
        int tempo;
    };
    for (const Case c : {Case{1.1, 3.3, 100}, Case{0.5, 2.0, 130}, Case{2.5, 3.6, 70}}) {
        // The same stretch cut out first, exactly (decoded, then cut at the pictures' times).
        const std::string cut = tempPath("mov");
        ASSERT_EQ(run("ffmpeg -nostdin -loglevel error -y -i \"" + source + "\" -ss " +
                      std::to_string(c.from) + " -to " + std::to_string(c.to) +
                      " -c:v libx264 -preset ultrafast -qp 0 -c:a pcm_s16le -f mov \"" + cut +
                      "\""),
                  0);
        const std::string fromCut = tempPath("mov");
        RenderRun whole(cut, cut, true, c.tempo, fromCut);
        ASSERT_TRUE(whole.runToEnd()) << c.from;

        const std::string fromStretch = tempPath("mov");
        RenderRun stretch(source, source, true, c.tempo, fromStretch);
        stretch.engine->setSourceTimeRange(
            TimeRange::make(MediaTime::makeWithSeconds(c.from, kMicrosecondTimescale),
                            MediaTime::makeWithSeconds(c.to - c.from, kMicrosecondTimescale)));
        ASSERT_TRUE(stretch.runToEnd()) << c.from;
        ASSERT_EQ(stretch.delegate->finishes, 1);
        EXPECT_TRUE(stretch.delegate->errors.empty());

        const RenderedPictures want = readPictures(fromCut);
        const RenderedPictures got = readPictures(fromStretch);
        ASSERT_EQ(got.indexes.size(), want.indexes.size()) << c.from;
        for (std::size_t i = 0; i < want.indexes.size(); ++i) {
            EXPECT_NEAR(got.indexes[i], want.indexes[i], 1) << "picture " << i << " of " << c.from;
        }
        // Latest picture of the stretch first, its first picture last: exact at both ends.
        EXPECT_NEAR(got.indexes.front(), std::ceil(c.to * 30) - 1, 1) << c.from;
        EXPECT_NEAR(got.indexes.back(), std::ceil(c.from * 30), 1) << c.from;
        EXPECT_NEAR(probeDuration(fromStretch, "v:0"), probeDuration(fromCut, "v:0"), 0.002);

        const RenderedSound wantSound = readSound(fromCut);
        const RenderedSound gotSound = readSound(fromStretch);
        EXPECT_NEAR(gotSound.seconds(), wantSound.seconds(), 0.03) << c.from;
        for (const double t : {0.2, 0.6, 1.0}) {
            EXPECT_NEAR(frequencyAt(gotSound, t), frequencyAt(wantSound, t), 40)
                << "tempo " << c.tempo << " at " << t;
        }
        for (const std::string& f : {cut, fromCut, fromStretch}) {
            std::filesystem::remove(f);
        }
    }
}
