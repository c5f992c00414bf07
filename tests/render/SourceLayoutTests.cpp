// Rendering sources laid out the way phones, cameras and other tools write them: every picture
// exactly once, evenly spaced, and sound as long as the picture.
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

constexpr int kPeriod = 50; // brightness index period of the clips below
constexpr double kAacFrameSeconds = 1024.0 / 44100.0;

struct Layout {
    std::string container;
    std::string rate;
    int timescale;
    double seconds;
    int tempo;
    bool variableRate = false;
    double startOffset = 0;
    int keyint = 30;
    bool reordered = false;
};

std::string describe(const Layout& l) {
    std::ostringstream s;
    s << l.container << " " << l.rate << " fps, timescale " << l.timescale << ", " << l.seconds
      << " s, x" << l.tempo / 100.0 << (l.variableRate ? ", variable" : "")
      << (l.startOffset > 0 ? ", starting at " + std::to_string(l.startOffset) : "");
    return s.str();
}

ClipSpec specFor(const Layout& l) {
    ClipSpec spec;
    spec.seconds = l.seconds;
    spec.width = 96;
    spec.height = 64;
    spec.rate = l.rate;
    spec.timescale = l.timescale;
    spec.container = l.container;
    spec.variableRate = l.variableRate;
    spec.startOffset = l.startOffset;
    spec.keyint = l.keyint;
    spec.indexPeriod = kPeriod;
    spec.reordered = l.reordered;
    spec.channels = 2;
    return spec;
}

int indexOf(double luma) {
    return static_cast<int>(std::lround((luma - 16.0) / 4.0)) % kPeriod;
}

// Renders `source` backwards with its own sound and checks the movie against it.
void checkReversal(const std::string& source, const Layout& l) {
    SCOPED_TRACE(describe(l));
    const RenderedPictures in = readPictures(source);
    ASSERT_GT(in.luma.size(), 2u);
    const auto sourcePictures = static_cast<int>(in.luma.size());
    auto asset = Asset::urlAsset(source, true);
    ASSERT_TRUE(asset);
    const AssetTrackPtr track = asset->tracksWithMediaType(kMediaTypeVideo).front();
    const double sourceSeconds = track->timeRange().duration.seconds();
    const double step = 100.0 / (l.tempo * track->nominalFrameRate());

    const std::string out = tempPath("mov");
    RenderRun r(source, source, true, l.tempo, out);
    ASSERT_TRUE(r.runToEnd());
    ASSERT_EQ(r.delegate->finishes, 1);

    // Every source picture once, the latest first.
    const RenderedPictures pictures = readPictures(out);
    ASSERT_EQ(static_cast<int>(pictures.luma.size()), sourcePictures);
    EXPECT_EQ(indexOf(pictures.luma.front()), indexOf(in.luma.back()));
    int misplaced = 0;
    for (int i = 0; i < sourcePictures; ++i) {
        misplaced += indexOf(pictures.luma[i]) != indexOf(in.luma[sourcePictures - 1 - i]);
    }
    EXPECT_EQ(misplaced, 0);
    // Evenly spaced from zero.
    for (std::size_t i = 0; i < pictures.seconds.size(); ++i) {
        ASSERT_NEAR(pictures.seconds[i], static_cast<double>(i) * step, 2e-5) << "picture " << i;
    }
    // As long as the source x 100/speed, to within one picture; the sound as long as the
    // picture, to within one AAC frame.
    const double picture = probeDuration(out, "v:0");
    EXPECT_NEAR(picture, sourceSeconds * 100 / l.tempo, step + 1e-3);
    // The sound track's own length (a decoder would add the last frame's padding).
    EXPECT_NEAR(probeDuration(out, "a:0"), picture, kAacFrameSeconds);
    const RenderedSound sound = readSound(out);
    EXPECT_LT(longestSilence(sound, 0.05, sound.seconds() - 0.05), 0.005);
    std::filesystem::remove(out);
}

} // namespace

TEST(SourceLayouts, EveryPictureExactlyOnceAtAnyRateTimescaleAndLength) {
    const std::vector<Layout> layouts = {
        {"mov", "30", 600, 3.37, 100, false, 0, 30, true},
        {"mov", "30", 600, 7.9, 130},
        {"mov", "30000/1001", 600, 7.9, 70},
        {"mov", "24000/1001", 15360, 3.4, 130},
        {"mov", "24", 1000, 3.4, 100},
        {"mov", "25", 1000, 3.4, 70},
        {"mov", "30000/1001", 30000, 3.4, 100},
        {"mov", "50", 90000, 2.3, 130},
        {"mov", "60", 90000, 3.4, 130},
        {"mov", "30", 600, 3.4, 100, true},
        // Keyframes 8.3 s apart: windows decoded ahead, kept pictures, and a group kept ahead
        // while the later one is written.
        {"mov", "30", 600, 19.7, 130, false, 0, 250, true},
    };
    for (const Layout& l : layouts) {
        checkReversal(makeClip(specFor(l)), l);
    }
}

TEST(SourceLayouts, OtherContainers) {
    const std::vector<Layout> layouts = {
        {"ts", "30", 0, 3.4, 70},
        {"mkv", "25", 0, 3.4, 130},
        {"avi", "30", 0, 3.0, 100},
    };
    for (const Layout& l : layouts) {
        checkReversal(makeClip(specFor(l)), l);
    }
}

TEST(SourceLayouts, TracksThatStartLaterGiveNoTrailingSilence) {
    const std::vector<Layout> layouts = {
        {"mov", "30", 600, 3.4, 100, false, 1.47},
        {"mkv", "30", 0, 3.4, 130, false, 0.8},
    };
    for (const Layout& l : layouts) {
        checkReversal(makeClip(specFor(l)), l);
    }
}
