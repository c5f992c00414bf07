#include "DesktopHome.h"

#include "platform/foundation/RunLoop.h"
#include "platform/system/PhotoAlbum.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <thread>
#include <sys/wait.h>
#include <unistd.h>
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
        PhotoAlbum::setCopyPauseForTesting(0);
        PhotoAlbum::cancelAllSaves();
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

TEST_F(PhotoAlbumTest, ASaveReportsProgressAndACancelLeavesNothing) {
    const std::string movie = makeFile(home + "/docs/movie.mov", 8 * 1024 * 1024);
    PhotoAlbum::setCopyPauseForTesting(0.1);
    std::vector<double> fractions;
    bool completed = false;
    auto saving = PhotoAlbum::writeVideoAtPathToSavedPhotosAlbum(
        movie, [&](const std::string&, const ErrorPtr&) { completed = true; },
        [&](double fraction) { fractions.push_back(fraction); });
    ASSERT_TRUE(saving);
    EXPECT_TRUE(PhotoAlbum::isSaving());
    ASSERT_TRUE(RunLoop::runUntil([&] { return fractions.size() >= 2; }, 5));
    EXPECT_GT(fractions.back(), fractions.front());
    EXPECT_LT(fractions.back(), 1.0);
    saving->cancel();
    EXPECT_FALSE(PhotoAlbum::isSaving());
    PhotoAlbum::cancelAllSaves(); // waits for the copy to stop
    RunLoop::runFor(0.1);
    EXPECT_FALSE(completed) << "a cancelled save is not reported";
    EXPECT_TRUE(namesIn(home + "/Videos/Taluvex").empty()) << "not even a hidden working file";

    // Quitting stops a save the same way.
    PhotoAlbum::writeVideoAtPathToSavedPhotosAlbum(
        movie, [&](const std::string&, const ErrorPtr&) { completed = true; });
    EXPECT_TRUE(PhotoAlbum::isSaving());
    PhotoAlbum::cancelAllSaves();
    EXPECT_FALSE(PhotoAlbum::isSaving());
    EXPECT_TRUE(namesIn(home + "/Videos/Taluvex").empty());
}

// A process killed in the middle of a save leaves no file at all in the album.
TEST_F(PhotoAlbumTest, AKillDuringASaveLeavesNoPartialFile) {
    const std::string movie = makeFile(home + "/docs/movie.mov", 16 * 1024 * 1024);
    const std::string album = home + "/Videos/Taluvex";
    std::filesystem::create_directories(album);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        PhotoAlbum::setCopyPauseForTesting(0.2);
        PhotoAlbum::writeVideoAtPathToSavedPhotosAlbum(movie, {});
        ::sleep(30);
        ::_exit(0);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(namesIn(album).empty()) << namesIn(album).front();
}

// Working files of saves whose process has ended are removed at the next start; a running
// process's are left alone.
TEST_F(PhotoAlbumTest, AbandonedWorkingFilesAreRemovedAndLiveOnesKept) {
    const std::string album = home + "/Videos/Taluvex";
    const pid_t ended = ::fork();
    if (ended == 0) {
        ::_exit(0);
    }
    ::waitpid(ended, nullptr, 0);
    const std::string gone = ".taluvex-saving-" + std::to_string(ended) + "-aB3dE9";
    const std::string mine = ".taluvex-saving-" + std::to_string(::getpid()) + "-xY7zQ1";
    const std::string init = ".taluvex-saving-1-Qq1Qq1";
    const std::string oldStyle = ".taluvex-saving-Ab12Cd";
    const std::string freshOldStyle = ".taluvex-saving-Zz98Yy";
    for (const auto& name : {gone, mine, init, oldStyle, freshOldStyle}) {
        makeFile(album + "/" + name, 10);
    }
    makeFile(album + "/Taluvex 2026-01-01 10-00-00.mov", 10);
    const auto twoDaysAgo = std::filesystem::file_time_type::clock::now() - std::chrono::hours(48);
    std::filesystem::last_write_time(album + "/" + oldStyle, twoDaysAgo);
    PhotoAlbum::removeAbandonedWorkingFiles();
    auto names = namesIn(album);
    std::sort(names.begin(), names.end());
    std::vector<std::string> want = {init, mine, freshOldStyle, "Taluvex 2026-01-01 10-00-00.mov"};
    std::sort(want.begin(), want.end());
    EXPECT_EQ(names, want);
}

TEST_F(PhotoAlbumTest, PathsShowTheHomeFolderAsTilde) {
    EXPECT_EQ(PhotoAlbum::pathForDisplay(home + "/Videos/Taluvex"), "~/Videos/Taluvex");
    EXPECT_EQ(PhotoAlbum::pathForDisplay(home), "~");
    EXPECT_EQ(PhotoAlbum::pathForDisplay(home + "x/Videos"), home + "x/Videos");
    EXPECT_EQ(PhotoAlbum::pathForDisplay("/media/usb/Taluvex"), "/media/usb/Taluvex");
}

} // namespace
