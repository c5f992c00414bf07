#include "app/TaluvexAppDelegate.h"

#include "platform/foundation/Paths.h"
#include "platform/media/AudioPlayer.h"
#include "support/MediaFixtures.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace tx {
namespace {

TEST(SoundSelection, LaunchSelectsTrackOneFromTheCatalogue) {
    TaluvexAppDelegate delegate;
    ASSERT_TRUE(delegate.selectAudioTrack(TaluvexAppDelegate::kFirstTrackCode));
    ASSERT_EQ(delegate.soundTrackInfo().size(), 6u);
    EXPECT_EQ(delegate.audioType(), 3);
    EXPECT_EQ(delegate.audioTitle(), "Track 1");
    EXPECT_EQ(delegate.audioTrackIndex(), 0);
    EXPECT_EQ(delegate.audioTrackURL(), delegate.soundTrackInfo()[0]);
}

TEST(SoundSelection, ScreensReachTheSelectionThroughTheApplication) {
    EXPECT_EQ(TaluvexAppDelegate::sharedDelegate(), nullptr);
    auto delegate = std::make_shared<TaluvexAppDelegate>();
    Application::sharedApplication().setDelegate(delegate);
    EXPECT_EQ(TaluvexAppDelegate::sharedDelegate(), delegate.get());
}

TEST(SoundSelection, CodesFollowThePickerRows) {
    struct Case {
        unsigned code;
        int wantType;
        std::string wantTitle;
        int wantIndex;
        bool wantURL;
    };
    const Case cases[] = {
        {8, 3, "Track 6", 5, true}, {1, 1, "From Video", -1, false}, {4, 3, "Track 2", 1, true},
        {2, 2, "Mute", -1, false},  {0, 0, "My Song", -1, true},
    };
    TaluvexAppDelegate delegate;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        // The title and URL count only for a library song.
        ASSERT_TRUE(delegate.selectAudioTrack(c.code, "My Song", "/music/my song.mp3"));
        EXPECT_EQ(delegate.audioType(), c.wantType);
        EXPECT_EQ(delegate.audioTitle(), c.wantTitle);
        EXPECT_EQ(delegate.audioTrackIndex(), c.wantIndex);
        if (c.wantIndex >= 0) {
            EXPECT_EQ(delegate.audioTrackURL(),
                      delegate.soundTrackInfo()[static_cast<size_t>(c.wantIndex)]);
        } else if (c.wantURL) {
            EXPECT_EQ(delegate.audioTrackURL(), "/music/my song.mp3");
        } else {
            EXPECT_EQ(delegate.audioTrackURL(), "");
        }
    }
}

TEST(SoundSelection, ATrackCodeBeyondTheCatalogueChangesNothing) {
    TaluvexAppDelegate delegate;
    delegate.selectAudioTrack(5);
    EXPECT_FALSE(delegate.selectAudioTrack(9));
    EXPECT_FALSE(delegate.selectAudioTrack(4000000000u));
    EXPECT_EQ(delegate.audioTitle(), "Track 3");
    EXPECT_EQ(delegate.audioTrackIndex(), 2);
}

TEST(BundledSounds, TracksAreDistinctAndTwentyToFortySecondsLong) {
    TaluvexAppDelegate delegate;
    std::set<std::string> names;
    for (const std::string& path : delegate.soundTrackInfo()) {
        SCOPED_TRACE(path);
        ASSERT_TRUE(fileExists(path));
        EXPECT_EQ(pathExtension(path), "m4a");
        EXPECT_EQ(test::probeStream(path, "a:0", "codec_name"), "aac");
        const double seconds = test::probeDuration(path, "a:0");
        EXPECT_GE(seconds, 20.0);
        EXPECT_LE(seconds, 40.0);
        names.insert(path);
    }
    EXPECT_EQ(names.size(), 6u);
}

TEST(BundledSounds, InterfaceSoundsAreShortCafFilesThePlayerOpens) {
    for (const char* name : {"Default_door_open", "Navigation3", "Button_click", "recording"}) {
        SCOPED_TRACE(name);
        const std::string path = resourcePath(name, "caf");
        ASSERT_FALSE(path.empty());
        ErrorPtr error;
        auto player = AudioPlayer::create(path, &error);
        ASSERT_TRUE(player) << (error ? error->localizedDescription() : "");
        ASSERT_TRUE(player->prepareToPlay());
        EXPECT_GT(player->duration(), 0.05);
        EXPECT_LT(player->duration(), 2.0);
    }
}

TEST(Thumbnails, SizeFitsTheBoxOfItsShape) {
    struct Case {
        Size picture;
        Size want;
    };
    const Case cases[] = {
        {{480, 360}, {150, 112.5}},    {{360, 480}, {90, 120}}, {{400, 400}, {120, 120}},
        {{1920, 1080}, {150, 84.375}}, {{100, 50}, {150, 75}},  {{0, 0}, {0, 0}},
    };
    for (const Case& c : cases) {
        const Size got = TaluvexAppDelegate::thumbnailSize(c.picture);
        EXPECT_DOUBLE_EQ(got.width, c.want.width) << c.picture.width << "x" << c.picture.height;
        EXPECT_DOUBLE_EQ(got.height, c.want.height) << c.picture.width << "x" << c.picture.height;
    }
}

} // namespace
} // namespace tx
