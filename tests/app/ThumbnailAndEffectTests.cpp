#include "app/AVThumbnailMgr.h"
#include "app/CustomEffectSound.h"
#include "app/TaluvexAppDelegate.h"

#include "AppTestSupport.h"
#include "platform/foundation/RunLoop.h"
#include "support/MediaFixtures.h"

#include <QImage>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace tx {
namespace {

class ThumbnailTest : public test::DocumentsTest {
protected:
    // A movie copied into Documents under `name`.
    std::string movieNamed(const test::ClipSpec& spec, const std::string& name) {
        const std::string path = pathByAppending(documents, name);
        std::filesystem::copy_file(test::makeClip(spec), path,
                                   std::filesystem::copy_options::overwrite_existing);
        return path;
    }
};

TEST_F(ThumbnailTest, ThumbnailFitsItsBoxAndShowsTheMiddleOfTheMovie) {
    struct Case {
        int width;
        int height;
        std::string rotate;
        int wantWidth; // pixels: a half pixel takes the whole pixel
        int wantHeight;
    };
    const Case cases[] = {
        {480, 360, "", 150, 113},
        {360, 480, "", 90, 120},
        {400, 400, "", 120, 120},
        {480, 360, "90", 90, 120},
    };
    TaluvexAppDelegate delegate;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " rotate " +
                     c.rotate);
        test::ClipSpec spec;
        spec.width = c.width;
        spec.height = c.height;
        spec.rotate = c.rotate;
        spec.sound = false;
        const std::string movie =
            movieNamed(spec, "clip" + std::to_string(c.width) + c.rotate + ".mov");
        delegate.generatorThumbFile(movie);
        const std::string thumb = pathByReplacingExtension(movie, "jpg");
        ASSERT_TRUE(fileExists(thumb));
        QImage picture(QString::fromStdString(thumb), "JPEG");
        ASSERT_FALSE(picture.isNull());
        EXPECT_EQ(picture.width(), c.wantWidth);
        EXPECT_EQ(picture.height(), c.wantHeight);
        // Each frame's brightness is 16 + 2 x its index: halfway through 2 s at 30 fps is frame 30.
        const QRgb middle = picture.pixel(picture.width() / 2, picture.height() / 2);
        EXPECT_NEAR(qGray(middle), 16 + 2 * 30, 12);
    }
}

TEST_F(ThumbnailTest, ThumbnailIsWrittenOnceBesideTheMovie) {
    test::ClipSpec spec;
    spec.sound = false;
    const std::string movie = movieNamed(spec, "a.mov");
    TaluvexAppDelegate delegate;
    delegate.generatorThumbFile(movie);
    const std::string thumb = pathByAppending(documents, "a.jpg");
    ASSERT_TRUE(fileExists(thumb));
    // A thumbnail that is already there is left alone.
    std::ofstream(thumb, std::ios::trunc) << "kept";
    delegate.generatorThumbFile(movie);
    EXPECT_EQ(fileSize(thumb), 4);
}

TEST_F(ThumbnailTest, FileThatIsNotAMovieGetsNoThumbnail) {
    const std::string notMovie = pathByAppending(documents, "b.mov");
    std::ofstream(notMovie) << "not a movie";
    const std::string soundOnly = pathByAppending(documents, "c.mov");
    std::filesystem::copy_file(test::makeSound(0.5), soundOnly);
    TaluvexAppDelegate delegate;
    for (const std::string& path :
         {notMovie, soundOnly, pathByAppending(documents, "missing.mov")}) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(AVThumbnailMgr::thumbnail(path));
        delegate.generatorThumbFile(path);
        EXPECT_FALSE(fileExists(pathByReplacingExtension(path, "jpg")));
    }
}

// Records every sink the effect players make: its volume and whether it was stopped.
struct SinkLog {
    std::vector<float> volumes;
    int stops = 0;
};

struct LoggingSink : AudioPlayerSink {
    explicit LoggingSink(std::shared_ptr<SinkLog> log) : log(std::move(log)) {}
    bool start(std::shared_ptr<const AudioPlayerPcm>, float volume, FinishHandler) override {
        log->volumes.push_back(volume);
        return true;
    }
    void stop() override { ++log->stops; }
    void setVolume(float) override {}
    std::shared_ptr<SinkLog> log;
};

class EffectSoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        RunLoop::ensureApplication();
        AudioPlayer::setSinkFactory([log = log] { return std::make_unique<LoggingSink>(log); });
    }
    void TearDown() override { AudioPlayer::setSinkFactory(nullptr); }
    std::shared_ptr<SinkLog> log = std::make_shared<SinkLog>();
};

TEST_F(EffectSoundTest, EachEffectPlaysAtItsVolume) {
    auto effects = CustomEffectSound::share();
    ASSERT_EQ(CustomEffectSound::share(), effects);
    for (const std::string& name : {kSoundEffect_OpenDoor, kSoundEffect_Navi, kSoundEffect_BtnClick,
                                    kSoundEffect_Recording}) {
        effects->playEffectSound(name);
        ASSERT_TRUE(effects->player()) << name;
        EXPECT_TRUE(effects->player()->isPlaying()) << name;
    }
    EXPECT_EQ(log->volumes, (std::vector<float>{1.0f, 0.05f, 1.0f, 1.0f}));
}

TEST_F(EffectSoundTest, ANewEffectReplacesAndSilencesTheKeptPlayer) {
    auto effects = CustomEffectSound::share();
    effects->playEffectSound(kSoundEffect_Recording);
    std::weak_ptr<AudioPlayer> first = effects->player();
    ASSERT_FALSE(first.expired());
    effects->playEffectSound(kSoundEffect_BtnClick);
    EXPECT_TRUE(first.expired());
    EXPECT_EQ(log->stops, 1);
    EXPECT_NE(effects->player()->path().find("Button_click.caf"), std::string::npos);
}

TEST_F(EffectSoundTest, UnknownNamesPlayNothingAndKeepThePlayer) {
    auto effects = CustomEffectSound::share();
    effects->playEffectSound(kSoundEffect_OpenDoor);
    const AudioPlayerPtr kept = effects->player();
    for (const char* name : {"", "kSoundEffect_navi", "Navigation3", "kSoundEffect_OpenDoor "}) {
        effects->playEffectSound(name);
    }
    EXPECT_EQ(effects->player(), kept);
    EXPECT_EQ(log->volumes.size(), 1u);
}

} // namespace
} // namespace tx
