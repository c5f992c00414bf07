#include "platform/media/AssetReader.h"
#include "platform/media/ImageGenerator.h"
#include "support/MediaFixtures.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <vector>

using namespace tx;
using namespace tx::test;

namespace {

// The index a picture of an index-in-brightness clip carries.
int pictureIndex(const PixelBuffer& picture) {
    const std::uint8_t* luma = picture.baseAddressOfPlane(0);
    const int stride = picture.bytesPerRowOfPlane(0);
    long sum = 0;
    long count = 0;
    for (int y = 4; y < picture.height() - 4; y += 4) {
        for (int x = 4; x < picture.width() - 4; x += 4) {
            sum += luma[static_cast<std::size_t>(y) * stride + x];
            ++count;
        }
    }
    const double mean = static_cast<double>(sum) / static_cast<double>(count);
    return static_cast<int>(std::lround((mean - 16.0) / 2.0));
}

// With `timeouts`, read as the engine reads on the main loop: every call's deadline has passed
// already, so each call decodes one picture and the read goes on in the next; they are counted.
std::vector<int> windowIndexes(const AssetPtr& asset, double startSeconds, double seconds,
                               int* timeouts = nullptr) {
    auto reader = AssetReader::create(asset);
    auto track = asset->tracksWithMediaType(kMediaTypeVideo).front();
    MediaSettings settings;
    settings.set(kPixelBufferPixelFormatTypeKey, PlistValue::integer(kPixelFormat420v));
    auto output = AssetReaderTrackOutput::create(track, settings);
    EXPECT_TRUE(reader->canAddOutput(output));
    reader->addOutput(output);
    reader->setTimeRange(TimeRange::make(MediaTime::makeWithSeconds(startSeconds, 1000000),
                                         MediaTime::makeWithSeconds(seconds, 1000000)));
    EXPECT_TRUE(reader->startReading());
    EXPECT_EQ(reader->status(), AssetReaderStatus::Reading);
    std::vector<int> indexes;
    for (;;) {
        SampleBufferPtr sample = timeouts != nullptr
                                     ? output->copyNextSampleBuffer(std::chrono::steady_clock::now())
                                     : output->copyNextSampleBuffer();
        if (!sample && timeouts != nullptr && output->timedOut()) {
            ++*timeouts;
            continue;
        }
        if (!sample) {
            break;
        }
        EXPECT_EQ(sample->imageBuffer()->pixelFormat(), kPixelFormat420v);
        indexes.push_back(pictureIndex(*sample->imageBuffer()));
    }
    EXPECT_EQ(reader->status(), AssetReaderStatus::Completed);
    return indexes;
}

// 3.4 s of pictures in one group: a single keyframe at the start.
ClipSpec longGroupClip() {
    ClipSpec spec;
    spec.seconds = 3.4;
    spec.keyint = 250;
    spec.sound = false;
    return spec;
}

std::vector<int> range(int from, int to) {
    std::vector<int> v;
    for (int i = from; i < to; ++i) {
        v.push_back(i);
    }
    return v;
}

} // namespace

TEST(Asset, ReportsTracksTimingAndFormats) {
    ClipSpec spec;
    spec.seconds = 2.0;
    spec.channels = 2;
    const std::string path = makeClip(spec);
    ASSERT_FALSE(path.empty());
    ErrorPtr error;
    auto asset = Asset::urlAsset(path, true, &error);
    ASSERT_TRUE(asset) << error->localizedDescription();
    auto video = asset->tracksWithMediaType(kMediaTypeVideo);
    auto audio = asset->tracksWithMediaType(kMediaTypeAudio);
    ASSERT_EQ(video.size(), 1u);
    ASSERT_EQ(audio.size(), 1u);
    EXPECT_NEAR(video[0]->timeRange().end().seconds(), 2.0, 1e-6);
    EXPECT_NEAR(video[0]->timeRange().start.seconds(), 0.0, 1e-6);
    EXPECT_FLOAT_EQ(video[0]->nominalFrameRate(), 30.0f);
    EXPECT_FLOAT_EQ(video[0]->naturalSize().width, 160.0f);
    EXPECT_FLOAT_EQ(video[0]->naturalSize().height, 120.0f);
    EXPECT_GT(video[0]->estimatedDataRate(), 0.0f);
    EXPECT_TRUE(video[0]->preferredTransform().isIdentity());
    EXPECT_NEAR(audio[0]->timeRange().end().seconds(), 2.0, 0.03);
    ASSERT_EQ(audio[0]->formatDescriptions().size(), 1u);
    const auto item = audio[0]->formatDescriptions()[0]->formatList().front();
    EXPECT_EQ(item.streamDescription.channelsPerFrame, 2u);
    EXPECT_EQ(item.streamDescription.sampleRate, 44100.0);
    EXPECT_EQ(item.channelLayoutTag, kAudioChannelLayoutTagStereo);
    EXPECT_NEAR(asset->duration().seconds(), 2.0, 0.03);
}

TEST(Asset, ReadsTheDisplayMatrixAsThePreferredTransform) {
    ClipSpec spec;
    spec.rotate = "90";
    auto asset = Asset::urlAsset(makeClip(spec), true);
    ASSERT_TRUE(asset);
    const MediaTransform t = asset->tracksWithMediaType(kMediaTypeVideo)[0]->preferredTransform();
    EXPECT_EQ(t.quarterTurns(), 3);
}

TEST(Asset, BadFilesFailWithWhatAndWhere) {
    const std::string notMovie = tempPath("mov");
    std::ofstream(notMovie) << "this is not a movie at all";
    const std::string truncated = tempPath("mov");
    {
        std::ifstream in(makeClip(ClipSpec{}), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::ofstream(truncated, std::ios::binary) << bytes.substr(0, bytes.size() / 2);
    }
    for (const std::string& path : {std::string("/nonexistent/clip.mov"), notMovie, truncated}) {
        ErrorPtr error;
        auto asset = Asset::urlAsset(path, true, &error);
        EXPECT_FALSE(asset) << path;
        ASSERT_TRUE(error) << path;
        EXPECT_NE(error->localizedDescription().find(path), std::string::npos)
            << error->localizedDescription();
    }
}

TEST(AssetReader, DeliversExactlyThePicturesOfAWindow) {
    struct Case {
        int keyint;
        double start;
        double seconds;
        std::vector<int> want;
    };
    const std::vector<Case> cases = {
        {30, 2.4, 1.0, range(72, 102)},  // a window ending at the clip's end
        {30, 0.0, 0.4, range(0, 12)},    // the short first window
        {30, 1.0, 1.0, range(30, 60)},   // aligned to a keyframe
        {250, 2.4, 1.0, range(72, 102)}, // keyframe far before the window
        {250, 1.4, 0.5, range(42, 57)},
    };
    for (const Case& c : cases) {
        ClipSpec spec;
        spec.seconds = 3.4;
        spec.keyint = c.keyint;
        spec.sound = false;
        auto asset = Asset::urlAsset(makeClip(spec), true);
        ASSERT_TRUE(asset);
        EXPECT_EQ(windowIndexes(asset, c.start, c.seconds), c.want)
            << "keyint " << c.keyint << " window at " << c.start;
    }
}

TEST(AssetReader, ReadingBackwardsThroughALongGroupGivesTheSamePictures) {
    // Windows read from the end, as the render engine reads them: all but the first come from
    // pictures kept while decoding the first, and must equal a plain decode.
    auto asset = Asset::urlAsset(makeClip(longGroupClip()), true);
    ASSERT_TRUE(asset);
    EXPECT_EQ(windowIndexes(asset, 2.4, 1.0), range(72, 102));
    EXPECT_EQ(windowIndexes(asset, 1.4, 1.0), range(42, 72));
    EXPECT_EQ(windowIndexes(asset, 0.4, 1.0), range(12, 42));
    EXPECT_EQ(windowIndexes(asset, 0.0, 0.4), range(0, 12));
    // Out of order reads still decode what they need.
    EXPECT_EQ(windowIndexes(asset, 2.5, 1.0), range(75, 102));
    EXPECT_EQ(windowIndexes(asset, 0.5, 0.5), range(15, 30));
}

TEST(AssetReader, AReadInTurnsGivesBackItsThreadAndThePicturesOfAPlainRead) {
    // The first window of a long group decodes the whole way from its keyframe: read in turns,
    // every picture on the way is a turn of its own, and what comes out is what a plain read
    // gives, the pictures kept on the way included.
    auto asset = Asset::urlAsset(makeClip(longGroupClip()), true);
    ASSERT_TRUE(asset);
    int timeouts = 0;
    EXPECT_EQ(windowIndexes(asset, 2.4, 1.0, &timeouts), range(72, 102));
    EXPECT_GE(timeouts, 72);
    timeouts = 0;
    EXPECT_EQ(windowIndexes(asset, 1.4, 1.0, &timeouts), range(42, 72));
    EXPECT_EQ(windowIndexes(asset, 0.0, 1.4, &timeouts), range(0, 42));
    // Without a deadline the reader never times out.
    EXPECT_EQ(windowIndexes(asset, 0.5, 0.5), range(15, 30));
}

TEST(AssetReader, WindowsReadAheadWhileReadingBackwardsAreTheOnesAskedFor) {
    // Short groups: each window is decoded on a thread while the one after it is in use.
    ClipSpec spec;
    spec.seconds = 3.4;
    spec.keyint = 30;
    spec.sound = false;
    auto asset = Asset::urlAsset(makeClip(spec), true);
    ASSERT_TRUE(asset);
    EXPECT_EQ(windowIndexes(asset, 2.4, 1.0), range(72, 102));
    EXPECT_EQ(windowIndexes(asset, 1.4, 1.0), range(42, 72));
    // A read that is not the one decoded ahead gets its own pictures.
    EXPECT_EQ(windowIndexes(asset, 2.0, 0.5), range(60, 75));
    EXPECT_EQ(windowIndexes(asset, 1.5, 0.5), range(45, 60));
    EXPECT_EQ(windowIndexes(asset, 1.0, 0.5), range(30, 45));
    // The asset goes away with a window still being decoded ahead.
    asset.reset();
}

TEST(AssetReader, SoundAfterASeekOverlapsTheWindowAndIsDescribed) {
    ClipSpec spec;
    spec.seconds = 3.0;
    spec.channels = 1;
    auto asset = Asset::urlAsset(makeClip(spec), true);
    ASSERT_TRUE(asset);
    auto reader = AssetReader::create(asset);
    MediaSettings settings;
    settings.set(kFormatIDKey, PlistValue::integer(kAudioFormatLinearPCM));
    auto output =
        AssetReaderTrackOutput::create(asset->tracksWithMediaType(kMediaTypeAudio)[0], settings);
    reader->addOutput(output);
    const double start = 1.3;
    const double end = 1.8;
    reader->setTimeRange(TimeRange::make(MediaTime::makeWithSeconds(start, 1000000),
                                         MediaTime::makeWithSeconds(end - start, 1000000)));
    ASSERT_TRUE(reader->startReading());
    std::vector<SampleBufferPtr> buffers;
    while (auto sample = output->copyNextSampleBuffer()) {
        buffers.push_back(sample);
    }
    ASSERT_FALSE(buffers.empty());
    const auto asbd = buffers[0]->formatDescription()->streamDescription();
    EXPECT_EQ(asbd.formatID, kAudioFormatLinearPCM);
    EXPECT_EQ(asbd.sampleRate, 44100.0);
    EXPECT_EQ(asbd.channelsPerFrame, 1u);
    EXPECT_EQ(asbd.bytesPerFrame, 2u);
    EXPECT_EQ(asbd.bitsPerChannel, 16u);
    const double firstStart = buffers.front()->presentationTime().seconds();
    EXPECT_LE(firstStart, start);
    EXPECT_GT(firstStart + buffers.front()->duration().seconds(), start);
    EXPECT_LT(buffers.back()->presentationTime().seconds(), end);
    EXPECT_GE(buffers.back()->presentationTime().seconds() + buffers.back()->duration().seconds(),
              end);
    double expected = firstStart;
    for (const auto& b : buffers) {
        EXPECT_NEAR(b->presentationTime().seconds(), expected, 1e-6); // no gaps
        expected = b->presentationTime().seconds() + b->duration().seconds();
        EXPECT_EQ(b->dataBlock()->dataLength(), static_cast<std::size_t>(b->numSamples()) * 2);
    }
    // A sine of amplitude 1/8 after a seek: no decoder start-up garbage above it.
    for (const auto& b : buffers) {
        const auto* s = reinterpret_cast<const std::int16_t*>(b->dataBlock()->data());
        for (long i = 0; i < b->numSamples(); ++i) {
            ASSERT_LE(std::abs(s[i]), 32767 / 8 + 600) << "at " << b->presentationTime().seconds();
        }
    }
}

TEST(ImageGenerator, TakesThePictureAtATimeUpright) {
    ClipSpec spec;
    spec.seconds = 2.0;
    spec.sound = false;
    auto asset = Asset::urlAsset(makeClip(spec), true);
    auto generator = ImageGenerator::create(asset);
    generator->setAppliesPreferredTrackTransform(true);
    MediaTime actual;
    RasterImage image = generator->copyImageAtTime(MediaTime::makeWithSeconds(1.0, 600), &actual);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.width, 160);
    EXPECT_EQ(image.height, 120);
    EXPECT_NEAR(actual.seconds(), 1.0, 1e-6);

    spec.rotate = "90";
    spec.indexInBrightness = false;
    auto rotated = ImageGenerator::create(Asset::urlAsset(makeClip(spec), true));
    rotated->setAppliesPreferredTrackTransform(true);
    image = rotated->copyImageAtTime(MediaTime::makeWithSeconds(1.0, 600));
    EXPECT_EQ(image.width, 120);
    EXPECT_EQ(image.height, 160);
}
