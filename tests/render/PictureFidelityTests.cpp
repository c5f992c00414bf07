// What the reversed movie keeps of its source's pictures: their colours, how their values are
// to be read, the shape of their pixels; and how the source's pictures are reached.
#include "RenderSupport.h"
#include "support/MediaFixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>

using namespace tx;
using namespace tx::test;

namespace {

struct PlaneAverages {
    double y = -1;
    double u = -1;
    double v = -1;
};

// The mean Y, U and V of every picture of a movie, as FFmpeg's signalstats sees them.
std::vector<PlaneAverages> averagesOf(const std::string& path) {
    const std::string text = capture(
        "ffprobe -v error -f lavfi \"movie='" + path +
        "',signalstats\" -show_entries "
        "frame_tags=lavfi.signalstats.YAVG,lavfi.signalstats.UAVG,lavfi.signalstats.VAVG -of "
        "csv=p=0 2>/dev/null");
    std::vector<PlaneAverages> all;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        PlaneAverages a;
        std::istringstream in(line);
        char comma = 0;
        in >> a.y >> comma >> a.u >> comma >> a.v;
        all.push_back(a);
    }
    return all;
}

std::string render(const std::string& source, int tempo = 100) {
    const std::string out = tempPath("mov");
    RenderRun r(source, "", false, tempo, out);
    EXPECT_TRUE(r.runToEnd());
    EXPECT_EQ(r.delegate->finishes, 1);
    return out;
}

std::string makeSource(const std::string& arguments) {
    const std::string path = tempPath("mov");
    EXPECT_EQ(run("ffmpeg -nostdin -loglevel error -y " + arguments + " -f mov \"" + path + "\""),
              0);
    return path;
}

} // namespace

TEST(PictureFidelity, FlatAndSlowlyChangingPicturesKeepTheirColours) {
    // A plain red clip and a slow brightness ramp have tiny data rates; held to them alone
    // the encoder would grey the colours out and flatten the ramp.
    const std::vector<std::string> sources = {
        makeSource("-f lavfi -i color=c=red:size=320x240:rate=30:duration=3.4 -c:v libx264 "
                   "-preset veryfast -pix_fmt yuv420p -video_track_timescale 600"),
        makeSource("-f lavfi -i color=c=black:size=320x240:rate=30:duration=3.4 -vf "
                   "\"geq=lum='40+20*N/102':cb=110:cr=150\" -c:v libx264 -preset veryfast "
                   "-pix_fmt yuv420p -video_track_timescale 600"),
    };
    for (const std::string& source : sources) {
        const std::string out = render(source, 130);
        const std::vector<PlaneAverages> in = averagesOf(source);
        const std::vector<PlaneAverages> rendered = averagesOf(out);
        ASSERT_EQ(in.size(), rendered.size());
        const int pictures = static_cast<int>(in.size());
        for (int i = 0; i < pictures; i += 10) {
            const PlaneAverages& want = in[pictures - 1 - i];
            const PlaneAverages& got = rendered[i];
            EXPECT_NEAR(got.y, want.y, 3) << source << " picture " << i;
            EXPECT_NEAR(got.u, want.u, 3) << source << " picture " << i;
            EXPECT_NEAR(got.v, want.v, 3) << source << " picture " << i;
        }
        std::filesystem::remove(out);
        std::filesystem::remove(source);
    }
}

TEST(PictureFidelity, AnamorphicPixelsKeepTheirShape) {
    const std::string source =
        makeSource("-f lavfi -i testsrc2=size=144x108:rate=25:duration=1.3 -vf setsar=4/3 "
                   "-c:v libx264 -preset ultrafast");
    const std::string out = render(source);
    EXPECT_EQ(probeStream(out, "v:0", "sample_aspect_ratio"), "4:3");
    EXPECT_EQ(probeStream(out, "v:0", "display_aspect_ratio"), "16:9");
    std::filesystem::remove(out);
    std::filesystem::remove(source);

    const std::string square =
        makeSource("-f lavfi -i testsrc2=size=144x108:rate=25:duration=0.6 -c:v libx264 "
                   "-preset ultrafast");
    const std::string squareOut = render(square);
    const std::string sar = probeStream(squareOut, "v:0", "sample_aspect_ratio");
    EXPECT_TRUE(sar == "1:1" || sar == "N/A" || sar.empty()) << sar;
    std::filesystem::remove(squareOut);
    std::filesystem::remove(square);
}

TEST(PictureFidelity, TheColourDescriptionIsCarried) {
    struct Case {
        std::string encode;
        std::string primaries, transfer, matrix, range;
        std::string sourcePixelFormat;
    };
    const std::vector<Case> cases = {
        // A phone's HDR recording: HEVC 10-bit, BT.2020, HLG. Written as 8-bit H.264 (High)
        // tagged the same, so players still read it as HLG.
        {"-c:v libx265 -x265-params log-level=none -pix_fmt yuv420p10le -color_primaries bt2020 "
         "-color_trc arib-std-b67 -colorspace bt2020nc -tag:v hvc1",
         "bt2020", "arib-std-b67", "bt2020nc", "tv", "yuv420p10le"},
        {"-c:v libx264 -preset ultrafast -pix_fmt yuv420p -color_primaries bt709 -color_trc "
         "bt709 -colorspace bt709",
         "bt709", "bt709", "bt709", "tv", "yuv420p"},
        // Full-range values stay full range, and say so.
        {"-c:v libx264 -preset ultrafast -pix_fmt yuvj420p -color_range pc", "", "", "", "pc",
         "yuvj420p"},
    };
    for (const Case& c : cases) {
        const std::string source =
            makeSource("-f lavfi -i color=c=0x8040c0:size=128x96:rate=30:duration=1.2 " + c.encode);
        ASSERT_EQ(probeStream(source, "v:0", "pix_fmt"), c.sourcePixelFormat);
        const std::string out = render(source);
        EXPECT_EQ(probeStream(out, "v:0", "codec_name"), "h264");
        EXPECT_EQ(probeStream(out, "v:0", "color_range"), c.range) << c.encode;
        if (!c.primaries.empty()) {
            EXPECT_EQ(probeStream(out, "v:0", "color_primaries"), c.primaries) << c.encode;
            EXPECT_EQ(probeStream(out, "v:0", "color_transfer"), c.transfer) << c.encode;
            EXPECT_EQ(probeStream(out, "v:0", "color_space"), c.matrix) << c.encode;
        }
        // The values themselves are kept (10-bit ones to the nearest 8-bit level).
        const PlaneAverages want = averagesOf(source).front();
        const PlaneAverages got = averagesOf(out).front();
        const double scale = c.sourcePixelFormat == "yuv420p10le" ? 4.0 : 1.0;
        EXPECT_NEAR(got.y, want.y / scale, 3) << c.encode;
        EXPECT_NEAR(got.u, want.u / scale, 3) << c.encode;
        EXPECT_NEAR(got.v, want.v / scale, 3) << c.encode;
        std::filesystem::remove(out);
        std::filesystem::remove(source);
    }
}

TEST(PictureFidelity, WindowsAfterTheFirstAreNotDecodedFromAKeyframeAgain) {
    struct Case {
        double seconds;
        int keyint;
        // How the windows are read: decoded from a keyframe on the caller's thread, decoded
        // ahead, read back from kept pictures; groups of pictures kept ahead.
        int fromKeyframe;
        int ahead;
        int kept;
        int groupsAhead;
        int mostDecoded; // pictures out of the decoder, at most
        int mostHeld;    // pictures handed out and alive at one time, at most
    };
    // 7.9 s at 30 fps with a keyframe every second: the windows do not start on keyframes, each
    // is decoded ahead while the one after it is written, from the keyframe before it (not from
    // one a group earlier, where the container's seek lands when pictures are reordered); the
    // 0.9 s decoded on the way to a window are carried over to the one before it, so every
    // picture is decoded once, but for a few of reordering. A window decoded ahead grows only
    // as the one before it is written: it and what it carries are held with that one, not two
    // windows more. With a keyframe every 250 pictures the pictures decoded on the way to the
    // first window serve all the others. In 19.7 s, the windows near the last keyframe are
    // decoded ahead; the first far from it keeps the pictures of its group; and the group before
    // those is decoded and kept on a thread of its own while the windows of the later one are
    // written.
    const Case cases[] = {{7.9, 30, 1, 7, 0, 0, 237 + 8 * 4, 30 + 27 + 8},
                          {7.9, 250, 1, 0, 7, 0, 237 + 8, 30 + 8},
                          {19.7, 250, 2, 2, 16, 1, 591 + 61 + 20, 30 + 31 + 30 + 8}};
    for (const Case& c : cases) {
        ClipSpec spec;
        spec.seconds = c.seconds;
        spec.keyint = c.keyint;
        spec.width = 160;
        spec.height = 120;
        spec.timescale = 600;
        spec.reordered = true; // with sound beside it, as a phone records
        const std::string out = tempPath("mov");
        // The kept pictures go to the cache folder, unlinked, never to the temporary folder.
        const std::string cache = tempPath("cache");
        const char* oldCache = std::getenv("XDG_CACHE_HOME");
        const std::string savedCache = oldCache != nullptr ? oldCache : "";
        setenv("XDG_CACHE_HOME", cache.c_str(), 1);
        RenderRun r(makeClip(spec), "", false, 130, out);
        ASSERT_TRUE(r.engine->start());
        const AssetTrackPtr track = r.engine->sourceVideoTrack();
        // Looked for all through the render: when the first group is kept depends on how far
        // the thread decoding ahead has come.
        int keptFiles = 0;
        auto countKeptFiles = [&] {
            for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
                std::error_code ec;
                const std::string target = std::filesystem::read_symlink(fd.path(), ec).string();
                if (target.rfind(cache + "/taluvex/", 0) == 0) {
                    EXPECT_NE(target.find("(deleted)"), std::string::npos) << target;
                    ++keptFiles;
                }
            }
        };
        ASSERT_TRUE(RunLoop::runUntil(
            [&] {
                if (keptFiles == 0) {
                    countKeptFiles();
                }
                return r.delegate->ended();
            },
            60));
        EXPECT_EQ(keptFiles > 0, c.kept > 0);
        if (oldCache != nullptr) {
            setenv("XDG_CACHE_HOME", savedCache.c_str(), 1);
        } else {
            unsetenv("XDG_CACHE_HOME");
        }
        std::filesystem::remove_all(cache);
        ASSERT_EQ(r.delegate->finishes, 1);
        const AssetTrack::ReadCounts counts = track->readCounts();
        EXPECT_EQ(counts.decodedFromKeyframe, c.fromKeyframe) << c.seconds;
        EXPECT_EQ(counts.decodedAhead, c.ahead) << c.seconds;
        EXPECT_EQ(counts.fromKeptPictures, c.kept) << c.seconds;
        EXPECT_EQ(counts.groupsKeptAhead, c.groupsAhead) << c.seconds;
        EXPECT_LE(counts.picturesDecoded, c.mostDecoded) << c.seconds;
        EXPECT_LE(counts.mostPicturesHeld, c.mostHeld) << c.seconds;
        EXPECT_EQ(probeFrameCount(out, "v:0"), static_cast<int>(std::lround(c.seconds * 30)));
        std::filesystem::remove(out);
    }
}

TEST(PictureFidelity, StoppingWhileGroupsAreDecodedAheadLeavesNothingBehind) {
    // Keyframes 8.3 s apart: stopped while the windows come from kept pictures and the group
    // before them is being kept on a thread of its own, the job ends at once, reports nothing
    // more, and leaves no movie and no file of kept pictures open.
    ClipSpec spec;
    spec.seconds = 19.7;
    spec.keyint = 250;
    spec.width = 160;
    spec.height = 120;
    spec.timescale = 600;
    spec.reordered = true;
    const std::string source = makeClip(spec);
    const std::string cache = tempPath("cache");
    setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    auto keptFilesOpen = [&] {
        int open = 0;
        for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
            std::error_code ec;
            const std::string target = std::filesystem::read_symlink(fd.path(), ec).string();
            open += target.rfind(cache + "/taluvex/", 0) == 0 ? 1 : 0;
        }
        return open;
    };
    for (const std::size_t stopAfter : {std::size_t{300}, std::size_t{600}}) {
        const std::string out = tempPath("mov");
        {
            RenderRun r(source, source, true, 100, out);
            ASSERT_TRUE(r.engine->start());
            ASSERT_TRUE(
                RunLoop::runUntil([&] { return r.delegate->updates.size() > stopAfter; }, 60));
            EXPECT_GT(keptFilesOpen(), 0) << stopAfter;
            r.engine->stop();
            const std::size_t updates = r.delegate->updates.size();
            RunLoop::runFor(0.2);
            EXPECT_EQ(r.delegate->updates.size(), updates) << stopAfter;
            EXPECT_FALSE(r.delegate->ended()) << stopAfter;
        }
        EXPECT_EQ(keptFilesOpen(), 0) << stopAfter;
        EXPECT_FALSE(std::filesystem::exists(out)) << stopAfter;
        EXPECT_FALSE(workingFilesBeside(out)) << stopAfter;
    }
    unsetenv("XDG_CACHE_HOME");
    std::filesystem::remove_all(cache);
}
