// Recordings from the virtual camera, reversed while recording and rendered right after, as the
// main screen does it.
#include "RenderSupport.h"
#include "capture/AVCaptureMgr.h"
#include "platform/foundation/Paths.h"
#include "render/ReverseAheadRecorder.h"
#include "support/MediaFixtures.h"
#include "support/VirtualCameraTest.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace tx;
using namespace tx::test;
namespace fs = std::filesystem;

namespace {

struct CaptureReports : Object, AVCaptureMgrDelegate {
    int finished = 0;
    std::vector<ErrorPtr> errors;
    void avCaptureMgrDidUpdate(AVCaptureMgr&, float) override {}
    void avCaptureMgrDidFinish(AVCaptureMgr&, const std::string&) override { ++finished; }
    void avCaptureMgrDidError(AVCaptureMgr&, const ErrorPtr& error) override {
        errors.push_back(error);
    }
    void avCaptureMgrDidChangeOrientation(AVCaptureMgr&, int) override {}
};

class RecordedThenRendered : public VirtualCameraTest {
protected:
    std::shared_ptr<CaptureReports> reports = std::make_shared<CaptureReports>();
};

} // namespace

TEST_F(RecordedThenRendered, ShortRecordingsBecomeWholeMoviesAtEverySpeedAndSound) {
    // Lengths around and below one second: the last group of pictures holds anything from one
    // picture to a whole second, and some recordings are shorter than a group.
    enum class Sound { Own, None, Music };
    struct Case {
        double seconds;
        int tempo;
        Sound sound;
    };
    const Case cases[] = {
        {0.3, 100, Sound::Own}, {0.55, 130, Sound::None}, {0.8, 70, Sound::Music},
        {1.05, 130, Sound::Own}, {1.2, 70, Sound::None},   {1.45, 100, Sound::Music},
    };
    mgr = AVCaptureMgr::initWithPreview(nullptr, kCaptureSessionPresetMedium);
    mgr->setDelegate(reports);
    mgr->startup();
    mgr->start();
    ASSERT_TRUE(mgr->running());
    const std::string music = makeSound(1.0);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.seconds << " s at " << c.tempo << " sound "
                                        << static_cast<int>(c.sound));
        const std::string folder = tempPath("ahead");
        fs::create_directories(folder);
        auto recorder = ReverseAheadRecorder::create(c.tempo, folder);
        mgr->movieFileOutput()->setPictureTap(recorder);
        const std::string recording = tempPath("mov");
        const int finishedBefore = reports->finished;
        ASSERT_TRUE(mgr->startCaptureWithPath(recording));
        RunLoop::runUntil([&] { return mgr->getRecordedDuration() >= c.seconds; }, 5.0);
        mgr->stopCapture();
        ASSERT_TRUE(RunLoop::runUntil(
            [&] { return reports->finished > finishedBefore || !reports->errors.empty(); }, 5.0));
        ASSERT_TRUE(reports->errors.empty()) << reports->errors.front()->localizedDescription();

        // Started at once, it waits for the last group the recorder is still encoding.
        const std::string out = tempPath("mov");
        const std::string sound =
            c.sound == Sound::Own ? recording : c.sound == Sound::Music ? music : "";
        RenderRun r(recording, sound, c.sound == Sound::Own, c.tempo, out);
        r.engine->setPicturesAhead(recorder);
        ASSERT_TRUE(r.runToEnd()) << (r.engine->startError()
                                          ? r.engine->startError()->localizedDescription()
                                          : "no end");
        EXPECT_TRUE(r.engine->usedPicturesAhead());
        EXPECT_EQ(r.delegate->finishes, 1);
        EXPECT_TRUE(r.delegate->errors.empty());
        const int recorded = probePacketCount(recording, "v:0");
        EXPECT_GT(recorded, 0);
        EXPECT_EQ(probeFrameCount(out, "v:0"), recorded);
        // Every picture shown for one interval of the recording's nominal rate, at the speed.
        AssetTrackPtr recordedTrack;
        ASSERT_TRUE(AVFileRenderMgr::getTrack(recording, &recordedTrack, nullptr));
        EXPECT_NEAR(probeDuration(out, "v:0"),
                    recorded / recordedTrack->nominalFrameRate() * 100.0 / c.tempo, 0.002);
        if (c.sound != Sound::None) {
            EXPECT_NEAR(probeDuration(out, "a:0"), probeDuration(out, "v:0"), 0.05);
        }
        std::error_code ec;
        EXPECT_TRUE(fs::is_empty(folder, ec)) << "groups left behind";
        fs::remove_all(folder, ec);
        fs::remove(recording, ec);
        fs::remove(out, ec);
    }
}
