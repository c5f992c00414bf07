#include "RenderSupport.h"
#include "SoundAnalysis.h"
#include "platform/foundation/Paths.h"
#include "platform/media/AssetReader.h"
#include "render/ReverseAheadRecorder.h"
#include "support/MediaFixtures.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

using namespace tx;
using namespace tx::test;
namespace fs = std::filesystem;

namespace {

std::string freshFolder() {
    const std::string dir = tempPath("ahead");
    fs::create_directories(dir);
    return dir;
}

bool emptyFolder(const std::string& dir) {
    std::error_code ec;
    return fs::recursive_directory_iterator(dir, ec) == fs::recursive_directory_iterator();
}

// A 64x48 clip at 30 pictures a second with sound.
std::string smallClip(double seconds) {
    ClipSpec spec;
    spec.seconds = seconds;
    spec.width = 64;
    spec.height = 48;
    return makeClip(spec);
}

// Shows `recorder` the pictures of `clip` as a recording of it would: forwards, in real time,
// with the settings the recording was made with. Stops after `pictures` when that is not -1.
// Without `realTime` the pictures come as fast as they are read.
void recordInto(ReverseAheadRecorder& recorder, const std::string& clip, int pictures = -1,
                bool realTime = true) {
    auto asset = Asset::urlAsset(clip, true);
    ASSERT_TRUE(asset);
    AssetTrackPtr track = asset->tracksWithMediaType(kMediaTypeVideo).front();
    MediaSettings compression = PlistValue::dictionary();
    compression.set(kVideoAverageBitRateKey, PlistValue::real(track->estimatedDataRate()));
    MediaSettings settings = PlistValue::dictionary();
    settings.set(kVideoCodecKey, PlistValue::string(kVideoCodecH264));
    settings.set(kVideoWidthKey,
                 PlistValue::integer(static_cast<std::int64_t>(track->naturalSize().width)));
    settings.set(kVideoHeightKey,
                 PlistValue::integer(static_cast<std::int64_t>(track->naturalSize().height)));
    settings.set(kVideoCompressionPropertiesKey, compression);
    recorder.recordingBegan(clip, settings, track->nominalFrameRate());

    auto reader = AssetReader::create(asset);
    MediaSettings format = PlistValue::dictionary();
    format.set(kPixelBufferPixelFormatTypeKey, PlistValue::integer(kPixelFormat420v));
    auto output = AssetReaderTrackOutput::create(track, format);
    reader->addOutput(output);
    ASSERT_TRUE(reader->startReading());
    const auto began = std::chrono::steady_clock::now();
    int shown = 0;
    while (SampleBufferPtr sample = output->copyNextSampleBuffer()) {
        if (pictures >= 0 && shown == pictures) {
            break;
        }
        const double at = sample->outputPresentationTime().seconds();
        if (realTime) {
            std::this_thread::sleep_until(began + std::chrono::duration<double>(at));
        } else {
            // As fast as the recorder takes them: never more than a second and a half queued.
            const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (shown - recorder.pictureCount() >= 45 &&
                   std::chrono::steady_clock::now() < giveUp) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
        recorder.recordingKeptPicture(sample->imageBuffer(), at);
        ++shown;
    }
    reader->cancelReading();
}

// Each picture's PSNR against its twin in the other movie, in dB (100 for identical pictures).
std::vector<double> twinPsnr(const std::string& a, const std::string& b) {
    const std::string stats = tempPath("psnr");
    run("ffmpeg -nostdin -loglevel error -i \"" + a + "\" -i \"" + b +
        "\" -lavfi \"[0:v][1:v]psnr=stats_file=" + stats + "\" -f null -");
    std::vector<double> values;
    std::ifstream in(stats);
    for (std::string line; std::getline(in, line);) {
        const auto at = line.find("psnr_y:");
        if (at == std::string::npos) {
            continue;
        }
        const std::string value = line.substr(at + 7, line.find(' ', at) - at - 7);
        values.push_back(value == "inf" ? 100.0 : std::stod(value));
    }
    fs::remove(stats);
    return values;
}

// A hash of the sound's packets as they are stored: equal only for the same encoded sound.
std::string soundPacketsHash(const std::string& path) {
    return capture("ffmpeg -nostdin -v error -i \"" + path +
                   "\" -map 0:a:0 -c copy -f streamhash -hash md5 -");
}

} // namespace

TEST(ReverseAhead, OwnSoundBegunBeforeTheStartIsTheOrdinarySound) {
    // The reversed, tempo-changed sound is made and encoded during the delay before the start,
    // on threads of its own: the movie's sound is the one the ordinary job makes, packet for
    // packet. Stereo and mono, every speed.
    struct Case {
        int tempo;
        int channels;
    };
    for (const Case c : {Case{100, 2}, Case{130, 1}, Case{70, 2}}) {
        SCOPED_TRACE(testing::Message() << c.tempo << " % " << c.channels << " channels");
        ClipSpec spec;
        spec.seconds = 2.4;
        spec.width = 64;
        spec.height = 48;
        spec.sweep = true;
        spec.channels = c.channels;
        const std::string clip = makeClip(spec);
        const std::string folder = freshFolder();
        auto recorder = ReverseAheadRecorder::create(c.tempo, folder);
        recordInto(*recorder, clip, -1, false);
        recorder->recordingEnded(true);

        const std::string ordinary = tempPath("mov");
        RenderRun plain(clip, clip, true, c.tempo, ordinary);
        ASSERT_TRUE(plain.runToEnd());
        EXPECT_FALSE(plain.engine->usedSoundAhead());

        const std::string ahead = tempPath("mov");
        RenderRun placed(clip, clip, true, c.tempo, ahead);
        placed.engine->setPicturesAhead(recorder);
        ASSERT_TRUE(placed.engine->prepare());
        // The screen's delay: nothing is reported and no movie appears meanwhile.
        RunLoop::runFor(0.2);
        EXPECT_FALSE(fileExists(ahead));
        EXPECT_TRUE(placed.delegate->updates.empty());
        ASSERT_TRUE(placed.runToEnd());
        EXPECT_TRUE(placed.engine->usedPicturesAhead());
        EXPECT_TRUE(placed.engine->usedSoundAhead()) << "the sound was begun before the start";
        EXPECT_EQ(placed.delegate->finishes, 1);
        EXPECT_TRUE(placed.delegate->errors.empty());
        EXPECT_FALSE(placed.delegate->updates.empty());
        EXPECT_TRUE(emptyFolder(folder)) << "groups left behind";

        EXPECT_EQ(probePacketCount(ahead, "a:0"), probePacketCount(ordinary, "a:0"));
        const std::string hash = soundPacketsHash(ordinary);
        ASSERT_FALSE(hash.empty());
        EXPECT_EQ(soundPacketsHash(ahead), hash);
        const RenderedSound want = readSound(ordinary);
        const RenderedSound got = readSound(ahead);
        EXPECT_EQ(got.samples, want.samples);
        EXPECT_EQ(got.rate, want.rate);
        EXPECT_EQ(probeFrameCount(ahead, "v:0"), probeFrameCount(ordinary, "v:0"));
        for (const std::string& f : {ordinary, ahead}) {
            fs::remove(f);
        }
    }
}

TEST(ReverseAhead, APreparedJobWhoseSettingsChangeIsSetUpAnew) {
    // Another speed set between prepare() and start(): the sound made ahead is for the old
    // one, so the job is set up again and the sound made the ordinary way.
    const std::string clip = smallClip(1.5);
    const std::string folder = freshFolder();
    auto recorder = ReverseAheadRecorder::create(100, folder);
    recordInto(*recorder, clip, -1, false);
    recorder->recordingEnded(true);
    const std::string out = tempPath("mov");
    RenderRun r(clip, clip, true, 100, out);
    r.engine->setPicturesAhead(recorder);
    ASSERT_TRUE(r.engine->prepare());
    r.engine->setTempo(130);
    ASSERT_TRUE(r.runToEnd());
    EXPECT_FALSE(r.engine->usedSoundAhead());
    EXPECT_FALSE(r.engine->usedPicturesAhead()) << "the groups are for another speed";
    EXPECT_EQ(r.delegate->finishes, 1);
    EXPECT_EQ(probeFrameCount(out, "v:0"), 45);
    EXPECT_NEAR(probeDuration(out, "a:0"), probeDuration(out, "v:0"), 0.05);
    EXPECT_FALSE(workingFilesBeside(out));
    EXPECT_TRUE(emptyFolder(folder));
    fs::remove(out);
}

TEST(ReverseAhead, AMovieFromGroupsMatchesTheOrdinaryOne) {
    struct Case {
        bool pattern; // a moving test pattern instead of brightness-numbered pictures
        int tempo;
        bool ownSound;
    };
    for (const Case c : {Case{false, 100, true}, Case{true, 130, true}, Case{false, 70, false}}) {
        ClipSpec spec;
        spec.seconds = 2.4;
        spec.width = 96;
        spec.height = 64;
        spec.indexInBrightness = !c.pattern;
        spec.sweep = true;
        spec.channels = 2;
        const std::string clip = makeClip(spec);
        const std::string folder = freshFolder();
        auto recorder = ReverseAheadRecorder::create(c.tempo, folder);
        recordInto(*recorder, clip);
        recorder->recordingEnded(true);

        const std::string sound = c.ownSound ? clip : makeSound(1.0);
        const std::string ordinary = tempPath("mov");
        RenderRun plain(clip, sound, c.ownSound, c.tempo, ordinary);
        ASSERT_TRUE(plain.runToEnd());
        const std::string ahead = tempPath("mov");
        RenderRun placed(clip, sound, c.ownSound, c.tempo, ahead);
        placed.engine->setPicturesAhead(recorder);
        ASSERT_TRUE(placed.runToEnd());
        EXPECT_TRUE(placed.engine->usedPicturesAhead()) << c.tempo;
        ASSERT_EQ(placed.delegate->finishes, 1);
        EXPECT_TRUE(placed.delegate->errors.empty());
        // A report for every picture, as the ordinary pump gives, besides the sound's.
        EXPECT_GE(placed.delegate->updates.size(),
                  static_cast<std::size_t>(probeFrameCount(ordinary, "v:0")));
        EXPECT_TRUE(emptyFolder(folder)) << "groups left behind";

        EXPECT_EQ(probeFrameCount(ahead, "v:0"), probeFrameCount(ordinary, "v:0"));
        EXPECT_NEAR(probeDuration(ahead, "v:0"), probeDuration(ordinary, "v:0"), 0.002);
        EXPECT_EQ(probeStream(ahead, "v:0", "width"), probeStream(ordinary, "v:0", "width"));
        if (!c.pattern) {
            const RenderedPictures want = readPictures(ordinary);
            const RenderedPictures got = readPictures(ahead);
            ASSERT_EQ(got.indexes.size(), want.indexes.size());
            for (std::size_t i = 0; i < want.indexes.size(); ++i) {
                EXPECT_NEAR(got.indexes[i], want.indexes[i], 1) << "picture " << i;
                EXPECT_NEAR(got.seconds[i], want.seconds[i], 1e-5) << "picture " << i;
            }
        }
        const std::vector<double> psnr = twinPsnr(ahead, ordinary);
        ASSERT_EQ(psnr.size(), static_cast<std::size_t>(probeFrameCount(ordinary, "v:0")));
        for (std::size_t i = 0; i < psnr.size(); ++i) {
            EXPECT_GT(psnr[i], 30.0) << "picture " << i << " at tempo " << c.tempo;
        }
        const RenderedSound wantSound = readSound(ordinary);
        const RenderedSound gotSound = readSound(ahead);
        ASSERT_EQ(gotSound.samples.size(), wantSound.samples.size());
        double largest = 0;
        for (std::size_t i = 0; i < wantSound.samples.size(); ++i) {
            largest = std::max(
                largest, static_cast<double>(std::abs(gotSound.samples[i] - wantSound.samples[i])));
        }
        EXPECT_LT(largest, 1e-4) << "the sound is made as always";
        for (const std::string& f : {ordinary, ahead}) {
            fs::remove(f);
        }
    }
}

TEST(ReverseAhead, ALastShortSecondAndARecordingShorterThanASecondArePlaced) {
    // A second is 30 pictures here: the last group holds what is left over, down to one
    // picture, and a recording shorter than a second is a single short group.
    struct Case {
        int pictures;
        int tempo;
    };
    for (const Case c : {Case{31, 100}, Case{32, 130}, Case{33, 70}, Case{61, 70}, Case{62, 100},
                         Case{1, 100}, Case{2, 130}, Case{9, 70}, Case{30, 130}}) {
        ClipSpec spec;
        spec.seconds = (c.pictures - 0.5) / 30.0;
        spec.width = 64;
        spec.height = 48;
        const std::string clip = makeClip(spec);
        ASSERT_EQ(probeFrameCount(clip, "v:0"), c.pictures);
        const std::string folder = freshFolder();
        auto recorder = ReverseAheadRecorder::create(c.tempo, folder);
        recordInto(*recorder, clip, -1, false);
        recorder->recordingEnded(true);
        ASSERT_EQ(recorder->waitUntilSettled(20), ReverseAheadRecorder::State::Ready) << c.pictures;

        const std::string ordinary = tempPath("mov");
        RenderRun plain(clip, clip, true, c.tempo, ordinary);
        ASSERT_TRUE(plain.runToEnd());
        const std::string out = tempPath("mov");
        RenderRun r(clip, clip, true, c.tempo, out);
        r.engine->setPicturesAhead(recorder);
        ASSERT_TRUE(r.runToEnd()) << c.pictures;
        EXPECT_TRUE(r.engine->usedPicturesAhead()) << c.pictures;
        EXPECT_EQ(r.delegate->finishes, 1) << c.pictures << " pictures at " << c.tempo;
        EXPECT_TRUE(r.delegate->errors.empty()) << c.pictures << " pictures at " << c.tempo;
        EXPECT_EQ(probeFrameCount(out, "v:0"), c.pictures);
        EXPECT_NEAR(probeDuration(out, "v:0"), probeDuration(ordinary, "v:0"), 0.002);
        const RenderedPictures want = readPictures(ordinary);
        const RenderedPictures got = readPictures(out);
        ASSERT_EQ(got.indexes.size(), want.indexes.size()) << c.pictures;
        for (std::size_t i = 0; i < want.indexes.size(); ++i) {
            EXPECT_NEAR(got.indexes[i], want.indexes[i], 1) << "picture " << i;
        }
        EXPECT_TRUE(emptyFolder(folder));
        fs::remove(ordinary);
        fs::remove(out);
    }
}

TEST(ReverseAhead, GroupsThatDoNotFitTheJobAreNotUsedAndGoAway) {
    const std::string clip = smallClip(1.5);
    struct Case {
        int recordedTempo;
        int pictures; // shown before the end, -1 for all
        bool kept;
        double fromSeconds; // a stretch asked for, -1 for none
    };
    // Another speed; a recording missing its last pictures; a recording cut off (not kept); a
    // stretch of the source.
    for (const Case c : {Case{130, -1, true, -1}, Case{100, 30, true, -1}, Case{100, -1, false, -1},
                         Case{100, -1, true, 0.5}}) {
        const std::string folder = freshFolder();
        auto recorder = ReverseAheadRecorder::create(c.recordedTempo, folder);
        recordInto(*recorder, clip, c.pictures);
        recorder->recordingEnded(c.kept);
        const std::string out = tempPath("mov");
        RenderRun r(clip, clip, true, 100, out);
        r.engine->setPicturesAhead(recorder);
        if (c.fromSeconds >= 0) {
            r.engine->setSourceTimeRange(
                TimeRange::make(MediaTime::makeWithSeconds(c.fromSeconds, kMicrosecondTimescale),
                                MediaTime::positiveInfinity()));
        }
        ASSERT_TRUE(r.runToEnd()) << c.recordedTempo << " " << c.pictures;
        EXPECT_FALSE(r.engine->usedPicturesAhead());
        EXPECT_EQ(r.delegate->finishes, 1);
        const int want = c.fromSeconds >= 0 ? 30 : 45;
        EXPECT_EQ(probeFrameCount(out, "v:0"), want) << "rendered the ordinary way";
        EXPECT_TRUE(emptyFolder(folder));
        fs::remove(out);
    }
}

TEST(ReverseAhead, CancelsLeaveNoMovieAndNoGroups) {
    const std::string clip = smallClip(2.2);
    // Thrown away while recording; cancelled before the render starts; stopped while the sound
    // is made during the delay before the start, or after it; stopped while writing.
    enum class When { Recording, FinalGroup, Delay, SoundAhead, Writing };
    for (const When when :
         {When::Recording, When::FinalGroup, When::Delay, When::SoundAhead, When::Writing}) {
        const std::string folder = freshFolder();
        auto recorder = ReverseAheadRecorder::create(100, folder);
        recordInto(*recorder, clip, when == When::Recording ? 40 : -1);
        const std::string out = tempPath("mov");
        if (when == When::Recording) {
            recorder->discard(); // the recording is thrown away while it runs
        } else if (when == When::FinalGroup) {
            recorder->recordingEnded(true);
            recorder->discard(); // cancelled before the render starts
        } else {
            recorder->recordingEnded(true);
            RenderRun r(clip, clip, true, 100, out);
            r.engine->setPicturesAhead(recorder);
            if (when != When::Writing) {
                ASSERT_TRUE(r.engine->prepare());
            }
            if (when != When::Delay) {
                ASSERT_TRUE(r.engine->start());
                ASSERT_TRUE(r.engine->usedPicturesAhead());
                RunLoop::runUntil([&] { return !r.delegate->updates.empty(); }, 10);
            }
            r.engine->stop();
            RunLoop::runFor(0.05);
            EXPECT_EQ(r.delegate->finishes, 0);
            EXPECT_TRUE(r.delegate->errors.empty());
            EXPECT_FALSE(workingFilesBeside(out));
        }
        EXPECT_EQ(recorder->state(), ReverseAheadRecorder::State::Unusable);
        EXPECT_FALSE(fileExists(out));
        EXPECT_TRUE(emptyFolder(folder)) << static_cast<int>(when);
    }
}
