#include "platform/foundation/Paths.h"
#include "platform/foundation/RunLoop.h"
#include "platform/media/AssetReader.h"
#include "platform/media/AssetWriter.h"
#include "support/MediaFixtures.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

using namespace tx;
using namespace tx::test;

namespace {

std::vector<SampleBufferPtr> readAll(const AssetPtr& asset, const std::string& type) {
    auto reader = AssetReader::create(asset);
    auto output =
        AssetReaderTrackOutput::create(asset->tracksWithMediaType(type).front(), MediaSettings());
    reader->addOutput(output);
    reader->startReading();
    std::vector<SampleBufferPtr> all;
    while (auto s = output->copyNextSampleBuffer()) {
        all.push_back(s);
    }
    return all;
}

MediaSettings videoSettings(int width, int height, double bitRate) {
    MediaSettings props = PlistValue::dictionary();
    props.set(kVideoAverageBitRateKey, PlistValue::real(bitRate));
    MediaSettings s = PlistValue::dictionary();
    s.set(kVideoCodecKey, PlistValue::string(kVideoCodecH264));
    s.set(kVideoWidthKey, PlistValue::integer(width));
    s.set(kVideoHeightKey, PlistValue::integer(height));
    s.set(kVideoCompressionPropertiesKey, props);
    return s;
}

MediaSettings soundSettings(int channels, double rate, int bitRate) {
    std::vector<std::uint8_t> layout(32, 0);
    const std::uint32_t tag =
        channels == 2 ? kAudioChannelLayoutTagStereo : kAudioChannelLayoutTagMono;
    std::memcpy(layout.data(), &tag, 4);
    MediaSettings s = PlistValue::dictionary();
    s.set(kFormatIDKey, PlistValue::integer(kAudioFormatMPEG4AAC));
    s.set(kNumberOfChannelsKey, PlistValue::integer(channels));
    s.set(kSampleRateKey, PlistValue::real(rate));
    s.set(kEncoderBitRateKey, PlistValue::integer(bitRate));
    s.set(kChannelLayoutKey, PlistValue::data(layout));
    return s;
}

} // namespace

TEST(AssetWriter, WritesInterleavedH264AndAacThatFfprobeReads) {
    ClipSpec spec;
    spec.seconds = 3.0;
    spec.indexInBrightness = false;
    spec.width = 320;
    spec.height = 240;
    spec.channels = 2;
    auto source = Asset::urlAsset(makeClip(spec), true);
    ASSERT_TRUE(source);
    const auto pictures = readAll(source, kMediaTypeVideo);
    const auto sounds = readAll(source, kMediaTypeAudio);
    ASSERT_EQ(pictures.size(), 90u);

    const std::string out = tempPath("mov");
    ErrorPtr error;
    auto writer = AssetWriter::create(out, kFileTypeQuickTimeMovie, &error);
    ASSERT_TRUE(writer);
    auto video = AssetWriterInput::create(kMediaTypeVideo, videoSettings(320, 240, 600000));
    auto audio = AssetWriterInput::create(kMediaTypeAudio, soundSettings(2, 44100, 96000));
    ASSERT_TRUE(video && audio);
    video->setTransform(MediaTransform::rotation(1, 320, 240));
    auto adaptor = PixelBufferAdaptor::create(video);
    ASSERT_TRUE(writer->canAddInput(video));
    writer->addInput(video);
    writer->addInput(audio);
    ASSERT_TRUE(writer->startWriting());
    writer->startSessionAtSourceTime(MediaTime::zero());

    std::size_t nextPicture = 0;
    std::size_t nextSound = 0;
    double videoSeconds = 0;
    double audioSeconds = 0;
    double worstLead = 0;
    video->requestMediaDataWhenReady([&] {
        while (video->isReadyForMoreMediaData()) {
            if (nextPicture == pictures.size()) {
                video->markAsFinished();
                return;
            }
            const MediaTime t = MediaTime::make(static_cast<std::int64_t>(nextPicture), 30);
            ASSERT_TRUE(adaptor->appendPixelBuffer(pictures[nextPicture++]->imageBuffer(), t));
            videoSeconds = t.seconds();
            if (!audio->isFinished()) {
                worstLead = std::max(worstLead, videoSeconds - audioSeconds);
            }
        }
    });
    audio->requestMediaDataWhenReady([&] {
        while (audio->isReadyForMoreMediaData()) {
            if (nextSound == sounds.size()) {
                audio->markAsFinished();
                return;
            }
            const auto& s = sounds[nextSound++];
            ASSERT_TRUE(audio->appendSampleBuffer(s));
            audioSeconds = s->presentationTime().seconds() + s->duration().seconds();
        }
    });
    ASSERT_TRUE(RunLoop::runUntil([&] { return video->isFinished() && audio->isFinished(); }, 60));
    ASSERT_TRUE(writer->finishWriting());
    EXPECT_EQ(writer->status(), AssetWriterStatus::Completed);
    EXPECT_LE(worstLead, 0.5 + 1.0 / 30 + 0.03);

    EXPECT_EQ(probeStream(out, "v:0", "codec_name"), "h264");
    EXPECT_EQ(probeStream(out, "v:0", "width"), "320");
    EXPECT_EQ(probeStream(out, "v:0", "height"), "240");
    EXPECT_EQ(probeStream(out, "a:0", "codec_name"), "aac");
    EXPECT_EQ(probeStream(out, "a:0", "channels"), "2");
    EXPECT_EQ(probePacketCount(out, "v:0"), 90);
    EXPECT_NEAR(probeDuration(out, "v:0"), 3.0, 0.04);
    EXPECT_NEAR(probeDuration(out, "a:0"), 3.0, 0.05);
    const double bitRate = std::atof(probeStream(out, "v:0", "bit_rate").c_str());
    EXPECT_NEAR(bitRate, 600000, 600000 * 0.35);
    EXPECT_NE(
        capture("ffprobe -v error -select_streams v:0 -show_entries stream_side_data=rotation "
                "-of default=noprint_wrappers=1:nokey=1 \"" +
                out + "\"")
            .find("-90"),
        std::string::npos);
    // The file interleaves: sound packets appear before the last second of pictures.
    const std::string order =
        capture("ffprobe -v error -show_entries packet=stream_index -of csv=p=0 \"" + out +
                "\" | head -40 | tr -dc '01'");
    EXPECT_NE(order.find('0'), std::string::npos);
    EXPECT_NE(order.find('1'), std::string::npos);
    std::filesystem::remove(out);
}

TEST(AssetWriter, RoundsOddSizesToEvenAndWritesALonePicture) {
    const std::string out = tempPath("mov");
    auto writer = AssetWriter::create(out, kFileTypeQuickTimeMovie);
    auto video = AssetWriterInput::create(kMediaTypeVideo, videoSettings(161, 121, 100000));
    auto adaptor = PixelBufferAdaptor::create(video);
    writer->addInput(video);
    ASSERT_TRUE(writer->startWriting());
    writer->startSessionAtSourceTime(MediaTime::zero());
    ASSERT_TRUE(adaptor->appendPixelBuffer(PixelBuffer::create(161, 121), MediaTime::zero()));
    video->markAsFinished();
    ASSERT_TRUE(writer->finishWriting());
    EXPECT_EQ(probeStream(out, "v:0", "width"), "160");
    EXPECT_EQ(probeStream(out, "v:0", "height"), "120");
    EXPECT_EQ(probePacketCount(out, "v:0"), 1);
    std::filesystem::remove(out);
}

TEST(AssetWriter, UnwritablePlacesAndCancelsLeaveNoFile) {
    ErrorPtr error;
    auto nowhere =
        AssetWriter::create("/nonexistent-folder/out.mov", kFileTypeQuickTimeMovie, &error);
    ASSERT_TRUE(nowhere);
    nowhere->addInput(AssetWriterInput::create(kMediaTypeVideo, videoSettings(160, 120, 1e5)));
    EXPECT_FALSE(nowhere->startWriting());
    EXPECT_EQ(nowhere->status(), AssetWriterStatus::Failed);
    ASSERT_TRUE(nowhere->error());
    EXPECT_NE(nowhere->error()->localizedDescription().find("/nonexistent-folder/out.mov"),
              std::string::npos);

    const std::string out = tempPath("mov");
    auto writer = AssetWriter::create(out, kFileTypeQuickTimeMovie);
    auto video = AssetWriterInput::create(kMediaTypeVideo, videoSettings(160, 120, 1e5));
    auto adaptor = PixelBufferAdaptor::create(video);
    writer->addInput(video);
    ASSERT_TRUE(writer->startWriting());
    for (int i = 0; i < 10; ++i) {
        adaptor->appendPixelBuffer(PixelBuffer::create(160, 120), MediaTime::make(i, 30));
    }
    writer->cancelWriting();
    EXPECT_EQ(writer->status(), AssetWriterStatus::Cancelled);
    EXPECT_FALSE(fileExists(out));
    // This writer's own working file is gone (other tests may be writing beside it).
    EXPECT_FALSE(workingFilesBeside(out));

    // Settings that cannot be encoded are refused when the input is made.
    EXPECT_FALSE(AssetWriterInput::create(kMediaTypeVideo, videoSettings(0, 0, 1e5), &error));
    EXPECT_FALSE(AssetWriterInput::create(kMediaTypeAudio, soundSettings(0, 44100, 0), &error));
}

TEST(AssetWriter, AStartThatCleansUpNeverTakesAMovieBeingWritten) {
    // A folder of its own: the clean-up must not reach the working files of other tests.
    const std::string folder = pathByReplacingExtension(tempPath("mov"), "d");
    std::filesystem::create_directories(folder);
    const std::string out = folder + "/out.mov";
    auto writer = AssetWriter::create(out, kFileTypeQuickTimeMovie);
    auto video = AssetWriterInput::create(kMediaTypeVideo, videoSettings(64, 48, 1e5));
    auto adaptor = PixelBufferAdaptor::create(video);
    writer->addInput(video);
    ASSERT_TRUE(writer->startWriting());
    ASSERT_TRUE(workingFilesBeside(out));
    removeAbandonedWorkingFiles(folder, ".partial", 0);
    EXPECT_TRUE(workingFilesBeside(out));
    ASSERT_TRUE(adaptor->appendPixelBuffer(PixelBuffer::create(64, 48), MediaTime::zero()));
    video->markAsFinished();
    EXPECT_TRUE(writer->finishWriting());
    EXPECT_TRUE(fileExists(out));
    std::filesystem::remove_all(folder);
}

TEST(AssetWriter, OutputNamesUpToTheFileSystemLimitAreWritten) {
    // Names of 200 and of 255 bytes (the limit), ending in a character of two bytes: the working
    // file beside them must still fit.
    const std::string folder = deletingLastPathComponent(tempPath("mov"));
    for (const std::size_t bytes : {std::size_t{200}, std::size_t{255}}) {
        std::string name(bytes - 6, 'n');
        name += "\xc3\xa9.mov"; // "é.mov"
        const std::string out = pathByAppending(folder, name);
        auto writer = AssetWriter::create(out, kFileTypeQuickTimeMovie);
        auto video = AssetWriterInput::create(kMediaTypeVideo, videoSettings(64, 48, 1e5));
        auto adaptor = PixelBufferAdaptor::create(video);
        writer->addInput(video);
        ASSERT_TRUE(writer->startWriting()) << bytes << ": " << writer->error()->localizedDescription();
        ASSERT_TRUE(adaptor->appendPixelBuffer(PixelBuffer::create(64, 48), MediaTime::zero()));
        video->markAsFinished();
        EXPECT_TRUE(writer->finishWriting()) << bytes;
        EXPECT_TRUE(fileExists(out)) << bytes;
        EXPECT_FALSE(workingFilesBeside(out));
        std::filesystem::remove(out);
    }
}

TEST(AssetWriter, EveryPictureLastsOneIntervalTheLastOneToo) {
    // The encoder gives its packets no duration: without one the last picture would not be
    // shown at all and the movie would be a picture short.
    const std::string out = tempPath("mov");
    auto writer = AssetWriter::create(out, kFileTypeQuickTimeMovie);
    auto video = AssetWriterInput::create(kMediaTypeVideo, videoSettings(64, 48, 1e5));
    auto adaptor = PixelBufferAdaptor::create(video);
    writer->addInput(video);
    ASSERT_TRUE(writer->startWriting());
    writer->startSessionAtSourceTime(MediaTime::zero());
    constexpr int kPictures = 7;
    for (int i = 0; i < kPictures; ++i) {
        ASSERT_TRUE(adaptor->appendPixelBuffer(PixelBuffer::create(64, 48), MediaTime::make(i, 30)));
    }
    video->markAsFinished();
    ASSERT_TRUE(writer->finishWriting());
    EXPECT_NEAR(probeDuration(out, "v:0"), kPictures / 30.0, 1e-3);
    std::filesystem::remove(out);
}
