// Precise track times without reading every packet of a movie whose sample tables list them.
#include "platform/media/Asset.h"
#include "support/MediaFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <sstream>

using namespace tx;
using namespace tx::test;

namespace {

struct PacketFacts {
    double start = std::numeric_limits<double>::max();
    double end = 0;
    double bytes = 0;
    int count = 0;
};

// What reading every packet of a stream with ffprobe says about it.
PacketFacts readEveryPacket(const std::string& path, const std::string& stream) {
    const std::string text = capture("ffprobe -v error -select_streams " + stream +
                                     " -show_entries packet=pts_time,duration_time,size -of "
                                     "csv=p=0 \"" +
                                     path + "\" 2>/dev/null");
    PacketFacts facts;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        double pts = 0;
        double duration = 0;
        double size = 0;
        char comma = 0;
        std::istringstream in(line);
        in >> pts >> comma >> duration >> comma >> size;
        facts.start = std::min(facts.start, pts);
        facts.end = std::max(facts.end, pts + duration);
        facts.bytes += size;
        ++facts.count;
    }
    return facts;
}

void expectTimedLikeEveryPacket(const std::string& path) {
    SCOPED_TRACE(path);
    for (const AssetPtr& asset : {Asset::urlAsset(path, true), Asset::urlAssetForTiming(path)}) {
        ASSERT_TRUE(asset);
        for (const std::string& type : {kMediaTypeVideo, kMediaTypeAudio}) {
            const auto tracks = asset->tracksWithMediaType(type);
            if (tracks.empty()) {
                continue;
            }
            const PacketFacts facts =
                readEveryPacket(path, type == kMediaTypeVideo ? "v:0" : "a:0");
            const TimeRange range = tracks.front()->timeRange();
            EXPECT_NEAR(range.start.seconds(), std::max(0.0, facts.start), 1e-6) << type;
            EXPECT_NEAR(range.end().seconds(), facts.end, 1e-6) << type;
            const double rate = facts.bytes * 8 / (facts.end - std::max(0.0, facts.start));
            EXPECT_NEAR(tracks.front()->estimatedDataRate(), rate, rate * 1e-2) << type;
        }
    }
}

} // namespace

TEST(AssetTiming, SampleTablesGiveTheTimesOfEveryPacket) {
    ClipSpec phone;
    phone.seconds = 7.9;
    phone.timescale = 600;
    phone.rate = "30000/1001";
    phone.keyint = 30;
    expectTimedLikeEveryPacket(makeClip(phone));

    ClipSpec late = phone;
    late.seconds = 3.4;
    late.rate = "30";
    late.startOffset = 1.47;
    expectTimedLikeEveryPacket(makeClip(late));

    ClipSpec uneven = late;
    uneven.startOffset = 0;
    uneven.variableRate = true;
    expectTimedLikeEveryPacket(makeClip(uneven));

    // Pictures stored out of order (B-frames), as most encoders write them.
    const std::string reordered = tempPath("mov");
    ASSERT_EQ(run("ffmpeg -nostdin -loglevel error -y -f lavfi -i "
                  "testsrc2=size=128x96:rate=30:duration=4.3 -f lavfi -i "
                  "sine=frequency=300:duration=4.3 -c:v libx264 -preset veryfast -bf 3 -c:a aac "
                  "-video_track_timescale 600 -f mov \"" +
                  reordered + "\""),
              0);
    expectTimedLikeEveryPacket(reordered);
    std::filesystem::remove(reordered);
}

TEST(AssetTiming, ALongMovieIsTimedFromItsEnds) {
    ClipSpec piece;
    piece.seconds = 5;
    piece.width = 128;
    piece.height = 96;
    piece.timescale = 600;
    piece.indexInBrightness = false;
    const std::string movie = tempPath("mov");
    ASSERT_EQ(run("ffmpeg -nostdin -loglevel error -y -stream_loop 23 -i \"" + makeClip(piece) +
                  "\" -c copy -video_track_timescale 600 -f mov \"" + movie + "\""),
              0);
    const int packets = probePacketCount(movie, "v:0") + probePacketCount(movie, "a:0");
    ASSERT_GT(packets, 5000);
    for (const AssetPtr& asset : {Asset::urlAsset(movie, true), Asset::urlAssetForTiming(movie)}) {
        ASSERT_TRUE(asset);
        EXPECT_LT(asset->packetsReadWhileOpening(), static_cast<std::size_t>(packets / 10));
    }
    expectTimedLikeEveryPacket(movie);
    // The reader still finds every picture when asked for them.
    auto asset = Asset::urlAsset(movie, true);
    EXPECT_EQ(
        static_cast<int>(asset->tracksWithMediaType(kMediaTypeVideo).front()->packets().size()),
        probePacketCount(movie, "v:0"));
    std::filesystem::remove(movie);
}

TEST(AssetTiming, ContainersWithoutAnIndexAreReadThrough) {
    ClipSpec spec;
    spec.seconds = 3.4;
    spec.container = "ts";
    spec.width = 96;
    spec.height = 64;
    const std::string path = makeClip(spec);
    auto asset = Asset::urlAssetForTiming(path);
    ASSERT_TRUE(asset);
    EXPECT_GE(asset->packetsReadWhileOpening(),
              static_cast<std::size_t>(probePacketCount(path, "v:0")));
    const TimeRange range = asset->tracksWithMediaType(kMediaTypeVideo).front()->timeRange();
    EXPECT_NEAR(range.duration.seconds(), 3.4, 0.05);
}

TEST(AssetTiming, LongMatroskaAndAviMoviesAreTimedFromTheirIndex) {
    // An AVI index lists every packet with its size, as sample tables do; Matroska cues list the
    // keyframes, which is enough to find the end when only the times are wanted.
    for (const std::string container : {"avi", "mkv"}) {
        SCOPED_TRACE(container);
        ClipSpec piece;
        piece.seconds = 5;
        piece.width = 128;
        piece.height = 96;
        piece.indexInBrightness = false;
        piece.container = container == "avi" ? "avi" : "mov";
        const std::string movie = tempPath(container);
        ASSERT_EQ(run("ffmpeg -nostdin -loglevel error -y -stream_loop 23 -i \"" + makeClip(piece) +
                      "\" -c copy \"" + movie + "\""),
                  0);
        const int packets = probePacketCount(movie, "v:0") + probePacketCount(movie, "a:0");
        ASSERT_GT(packets, 5000);
        const AssetPtr timed = Asset::urlAssetForTiming(movie);
        ASSERT_TRUE(timed);
        EXPECT_LT(timed->packetsReadWhileOpening(), static_cast<std::size_t>(packets / 10));
        if (container == "avi") {
            expectTimedLikeEveryPacket(movie);
        }
        // The same times as reading every packet gives.
        const AssetPtr readThrough = Asset::urlAsset(movie, true);
        ASSERT_TRUE(readThrough);
        for (const std::string& type : {kMediaTypeVideo, kMediaTypeAudio}) {
            const TimeRange a = timed->tracksWithMediaType(type).front()->timeRange();
            const TimeRange b = readThrough->tracksWithMediaType(type).front()->timeRange();
            EXPECT_NEAR(a.start.seconds(), b.start.seconds(), 1e-6) << type;
            EXPECT_NEAR(a.end().seconds(), b.end().seconds(), 1e-6) << type;
        }
        std::filesystem::remove(movie);
    }
}
