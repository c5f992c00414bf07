#include "platform/media/AssetReader.h"
#include "platform/media/StreamProbe.h"
#include "support/MediaFixtures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

using namespace tx;
using namespace tx::test;

namespace {

// What a decoder sees of a packet.
struct PacketFacts {
    std::int64_t pts = 0;
    std::int64_t dts = 0;
    std::int64_t duration = 0;
    int flags = 0;
    std::vector<std::uint8_t> data;
    std::vector<std::uint8_t> skipSamples;
    bool operator==(const PacketFacts&) const = default;
};

// Up to `most` packets of one stream from `seekTo` on (AV_NOPTS_VALUE: from the top), read as
// the track readers read them.
std::vector<PacketFacts> packetsOf(AVFormatContext* ctx, int streamIndex, std::int64_t seekTo,
                                   int most) {
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        ctx->streams[i]->discard =
            static_cast<int>(i) == streamIndex ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }
    if (seekTo != AV_NOPTS_VALUE) {
        EXPECT_GE(av_seek_frame(ctx, streamIndex, seekTo, AVSEEK_FLAG_BACKWARD), 0);
    }
    std::vector<PacketFacts> packets;
    ff::PacketPtr packet = ff::makePacket();
    while (static_cast<int>(packets.size()) < most && av_read_frame(ctx, packet.get()) >= 0) {
        if (packet->stream_index == streamIndex) {
            PacketFacts facts;
            facts.pts = packet->pts;
            facts.dts = packet->dts;
            facts.duration = packet->duration;
            facts.flags = packet->flags;
            facts.data.assign(packet->data, packet->data + packet->size);
            std::size_t skipBytes = 0;
            if (const std::uint8_t* skip =
                    av_packet_get_side_data(packet.get(), AV_PKT_DATA_SKIP_SAMPLES, &skipBytes)) {
                facts.skipSamples.assign(skip, skip + skipBytes);
            }
            packets.push_back(std::move(facts));
        }
        av_packet_unref(packet.get());
    }
    return packets;
}

// Where the readers of a track go in the file: the top, every keyframe, and for sound a few
// times inside it.
std::vector<std::int64_t> seekPointsOf(const AssetTrack& track) {
    std::vector<std::int64_t> points{AV_NOPTS_VALUE};
    for (const auto& packet : track.packets()) {
        if (packet.keyframe || (track.mediaType() == kMediaTypeAudio && points.size() < 12)) {
            points.push_back(packet.dts);
        }
    }
    return points;
}

bool sameDecoderParameters(const AVCodecParameters& a, const AVCodecParameters& b) {
    const auto extradata = [](const AVCodecParameters& p) {
        return std::vector<std::uint8_t>(p.extradata, p.extradata + p.extradata_size);
    };
    return a.codec_id == b.codec_id && a.format == b.format && a.width == b.width &&
           a.height == b.height && a.profile == b.profile && a.level == b.level &&
           a.video_delay == b.video_delay && a.color_range == b.color_range &&
           a.sample_rate == b.sample_rate && a.ch_layout.nb_channels == b.ch_layout.nb_channels &&
           a.frame_size == b.frame_size && extradata(a) == extradata(b);
}

ClipSpec clip(double seconds, int width, int keyint) {
    ClipSpec spec;
    spec.seconds = seconds;
    spec.width = width;
    spec.height = width * 3 / 4;
    spec.keyint = keyint;
    return spec;
}

TEST(StreamProbe, ReadersOfAQuickTimeFileGetThePacketsAProbedOpenGives) {
    constexpr int kMostPackets = 1000; // all of these clips
    ClipSpec reordered = clip(3.0, 160, 30);
    reordered.reordered = true;
    ClipSpec stereoTimescale600 = clip(3.0, 160, 20);
    stereoTimescale600.timescale = 600;
    stereoTimescale600.channels = 2;
    const struct Case {
        const char* name;
        std::string path;
    } cases[] = {
        {"plain", makeClip(clip(3.0, 160, 30))},
        {"B-pictures", makeClip(reordered)},
        {"timescale 600, stereo", makeClip(stereoTimescale600)},
        {"cut by an edit list", trimmedByEditList(makeClip(clip(4.0, 160, 30)), 0.6, 2.5)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ErrorPtr error;
        AssetPtr asset = Asset::urlAsset(c.path, true, &error);
        ASSERT_TRUE(asset) << (error ? error->localizedDescription() : "");
        for (const AssetTrackPtr& track : asset->tracks()) {
            SCOPED_TRACE(track->mediaType());
            for (const std::int64_t seekTo : seekPointsOf(*track)) {
                SCOPED_TRACE(seekTo);
                ff::FormatInputPtr probed = ff::openInput(c.path, &error);
                bool changed = true;
                ff::FormatInputPtr known = openForTrack(c.path, *track, changed, &error);
                ASSERT_TRUE(probed && known);
                EXPECT_FALSE(changed);
                const int index = track->streamIndex();
                const auto want = packetsOf(probed.get(), index, seekTo, kMostPackets);
                ASSERT_FALSE(want.empty());
                EXPECT_TRUE(packetsOf(known.get(), index, seekTo, kMostPackets) == want);
                // A decoder made from either is made alike.
                EXPECT_TRUE(sameDecoderParameters(*probed->streams[index]->codecpar,
                                                  *known->streams[index]->codecpar));
            }
            // Only the asset's own open probed the file.
            EXPECT_EQ(track->streamProbe().fullProbes(), 1);
        }
    }
}

// Reads the pictures of a track backwards, a second at a time, as a render does; how many.
int readBackwards(const AssetPtr& asset, const std::string& mediaType, double seconds) {
    const auto at = [](double s) { return MediaTime::makeWithSeconds(s, 600); };
    int samples = 0;
    for (int window = static_cast<int>(seconds) - 1; window >= 0; --window) {
        auto reader = AssetReader::create(asset);
        reader->addOutput(
            AssetReaderTrackOutput::create(asset->tracksWithMediaType(mediaType).front(), {}));
        reader->setTimeRange(TimeRange::make(at(window), at(1.0)));
        if (window > 0) {
            reader->setFollowingTimeRange(TimeRange::make(at(window - 1), at(1.0)));
        }
        EXPECT_TRUE(reader->startReading());
        while (reader->outputs().front()->copyNextSampleBuffer()) {
            ++samples;
        }
    }
    return samples;
}

TEST(StreamProbe, AMovieReadWindowByWindowIsProbedOnceWhereItsHeaderGivesEveryPacket) {
    ClipSpec transportStream = clip(4.0, 160, 30);
    transportStream.container = "ts";
    const struct Case {
        const char* name;
        std::string path;
        bool probedOnce;
    } cases[] = {
        {"QuickTime", makeClip(clip(4.0, 160, 30)), true},
        {"MPEG-TS, probed at every open", makeClip(transportStream), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AssetPtr asset = Asset::urlAsset(c.path, true);
        ASSERT_TRUE(asset);
        for (const std::string& type : {kMediaTypeVideo, kMediaTypeAudio}) {
            SCOPED_TRACE(type);
            EXPECT_GT(readBackwards(asset, type, 4.0), 0);
            const int probes = asset->tracksWithMediaType(type).front()->streamProbe().fullProbes();
            if (c.probedOnce) {
                EXPECT_EQ(probes, 1);
            } else {
                EXPECT_GE(probes, 5); // the asset's open and one for each window
            }
        }
    }
}

TEST(StreamProbe, AFileWrittenAgainBetweenReadsIsReadAsItIsNow) {
    // The same timing and packets in number, but pictures of another size.
    const std::string before = makeClip(clip(2.0, 160, 30));
    const std::string after = makeClip(clip(2.0, 320, 30));
    const std::string path = tempPath("mov");
    std::filesystem::copy_file(before, path);
    AssetPtr asset = Asset::urlAsset(path, true);
    ASSERT_TRUE(asset);
    AssetTrackPtr track = asset->tracksWithMediaType(kMediaTypeVideo).front();
    const auto firstPictureWidth = [&] {
        auto reader = AssetReader::create(asset);
        reader->addOutput(AssetReaderTrackOutput::create(track, {}));
        reader->setTimeRange(TimeRange::make(MediaTime::makeWithSeconds(1.0, 600),
                                             MediaTime::makeWithSeconds(1.0, 600)));
        EXPECT_TRUE(reader->startReading());
        SampleBufferPtr sample = reader->outputs().front()->copyNextSampleBuffer();
        return sample ? sample->imageBuffer()->width() : 0;
    };
    EXPECT_EQ(firstPictureWidth(), 160);
    EXPECT_EQ(track->streamProbe().fullProbes(), 1);
    std::filesystem::copy_file(after, path, std::filesystem::copy_options::overwrite_existing);
    EXPECT_EQ(firstPictureWidth(), 320);
    EXPECT_EQ(track->streamProbe().fullProbes(), 2);
    EXPECT_EQ(firstPictureWidth(), 320);
    EXPECT_EQ(track->streamProbe().fullProbes(), 2); // probed again only once
    std::filesystem::remove(path);
}

} // namespace
