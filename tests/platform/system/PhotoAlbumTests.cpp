#include "DesktopHome.h"

#include "platform/foundation/RunLoop.h"
#include "platform/system/PhotoAlbum.h"

#include <cerrno>
#include <regex>

using namespace tx;

namespace {

struct Saved {
    std::string path;
    ErrorPtr error;
    bool onMainThread = false;
};

class PhotoAlbumTest : public test::DesktopHomeTest {
protected:
    void TearDown() override {
        PhotoAlbum::setWriteLimitForTesting(-1);
        DesktopHomeTest::TearDown();
    }
    void save(const std::string& movie) {
        PhotoAlbum::writeVideoAtPathToSavedPhotosAlbum(
            movie, [this](const std::string& path, const ErrorPtr& error) {
                saves.push_back({path, error, RunLoop::isMainThread()});
            });
    }
    bool waitForSaves(std::size_t count) {
        return RunLoop::runUntil([&] { return saves.size() >= count; }, 5);
    }
    std::vector<Saved> saves;
};

TEST_F(PhotoAlbumTest, TwoSavesGiveTwoCompleteCopiesUnderDatedNames) {
    const std::string movie = makeFile(home + "/docs/movie.mov", 3 * 1024 * 1024 + 17);
    save(movie);
    save(movie);
    ASSERT_TRUE(waitForSaves(2));
    const std::string album = home + "/Videos/Taluvex";
    EXPECT_EQ(PhotoAlbum::albumDirectory(), album);
    const std::regex dated(R"(Taluvex \d{4}-\d\d-\d\d \d\d-\d\d-\d\d( \(2\))?\.mov)");
    for (const Saved& s : saves) {
        ASSERT_FALSE(s.error) << s.error->localizedDescription();
        EXPECT_TRUE(s.onMainThread);
        EXPECT_EQ(s.path.rfind(album + "/", 0), 0u) << s.path;
        EXPECT_TRUE(std::regex_match(lastPathComponent(s.path), dated)) << s.path;
        EXPECT_TRUE(contents(s.path) == contents(movie));
    }
    EXPECT_NE(saves[0].path, saves[1].path);
    EXPECT_EQ(namesIn(album).size(), 2u) << "no working files are left behind";
    EXPECT_TRUE(fileExists(movie));
}

TEST_F(PhotoAlbumTest, AnExistingNameGetsANumberRatherThanBeingReplaced) {
    const std::string movie = makeFile(home + "/docs/movie.mov", 1000);
    // Whatever second the save lands in, that name and its " (2)" are taken already.
    const auto now = std::chrono::system_clock::now();
    std::vector<std::string> taken;
    for (int s = 0; s <= 2; ++s) {
        const std::string name = PhotoAlbum::movieNameForDate(now + std::chrono::seconds(s));
        taken.push_back(makeFile(home + "/Videos/Taluvex/" + name, 5));
        taken.push_back(
            makeFile(home + "/Videos/Taluvex/" + name.substr(0, name.size() - 4) + " (2).mov", 5));
    }
    save(movie);
    ASSERT_TRUE(waitForSaves(1));
    ASSERT_FALSE(saves[0].error);
    EXPECT_NE(saves[0].path.find(" (3).mov"), std::string::npos) << saves[0].path;
    for (const std::string& other : taken) {
        EXPECT_EQ(contents(other).size(), 5u) << other << " was replaced";
    }
}

TEST_F(PhotoAlbumTest, AFullDiskLeavesNoPartOfTheMovieAndSaysTheDiskIsFull) {
    const std::string movie = makeFile(home + "/docs/movie.mov", 2 * 1024 * 1024);
    PhotoAlbum::setWriteLimitForTesting(1024 * 1024 + 5);
    save(movie);
    ASSERT_TRUE(waitForSaves(1));
    ASSERT_TRUE(saves[0].error);
    EXPECT_TRUE(PhotoAlbum::isDiskFull(*saves[0].error));
    EXPECT_EQ(saves[0].error->code(), ENOSPC);
    EXPECT_TRUE(saves[0].path.empty());
    EXPECT_TRUE(namesIn(home + "/Videos/Taluvex").empty()) << "not even a hidden working file";
}

TEST_F(PhotoAlbumTest, OtherFailuresSayWhatHappenedInPlainWords) {
    const std::string movie = makeFile(home + "/docs/movie.mov", 100);
    // Gone before it could be copied.
    save(home + "/docs/gone.mov");
    ASSERT_TRUE(waitForSaves(1));
    ASSERT_TRUE(saves[0].error);
    EXPECT_FALSE(PhotoAlbum::isDiskFull(*saves[0].error));
    EXPECT_NE(saves[0].error->localizedDescription().find("\"gone.mov\" is no longer there"),
              std::string::npos)
        << saves[0].error->localizedDescription();

    // A file where the album's folder should be.
    makeFile(home + "/Videos/Taluvex", 3);
    save(movie);
    ASSERT_TRUE(waitForSaves(2));
    ASSERT_TRUE(saves[1].error);
    EXPECT_FALSE(PhotoAlbum::isDiskFull(*saves[1].error));
    EXPECT_NE(saves[1].error->localizedDescription().find("~/Videos/Taluvex"), std::string::npos)
        << saves[1].error->localizedDescription();
}

TEST_F(PhotoAlbumTest, PathsShowTheHomeFolderAsTilde) {
    EXPECT_EQ(PhotoAlbum::pathForDisplay(home + "/Videos/Taluvex"), "~/Videos/Taluvex");
    EXPECT_EQ(PhotoAlbum::pathForDisplay(home), "~");
    EXPECT_EQ(PhotoAlbum::pathForDisplay(home + "x/Videos"), home + "x/Videos");
    EXPECT_EQ(PhotoAlbum::pathForDisplay("/media/usb/Taluvex"), "/media/usb/Taluvex");
}

} // namespace
