#include "share/ScreenTestSupport.h"

#include "app/AppConfigureInfo.h"
#include "app/ThumbnailQueue.h"
#include "library/MoviesViewController.h"
#include "library/MyMoviesViewController.h"
#include "platform/system/Trash.h"
#include "share/ShareViewController.h"
#include "share/YoutubeViewController.h"
#include <cstdio>
#include <set>
#include <mutex>
#include <condition_variable>
#include <fstream>
#include <filesystem>

using namespace tx;

namespace {

using namespace std::chrono_literals;

class MovieLibraryTest : public test::ScreenTest {
protected:
    void TearDown() override {
        Trash::setHandler(nullptr);
        AppConfigureInfo::shareAppConfigureInfo()->setMoviesTabIndex(0);
        ScreenTest::TearDown();
    }
    // Opens the library the way the main screen does.
    std::shared_ptr<MoviesViewController> openLibrary(std::int32_t storedTab = 0) {
        AppConfigureInfo::shareAppConfigureInfo()->setMoviesTabIndex(storedTab);
        auto library = std::make_shared<MoviesViewController>();
        root->presentViewController(library, false);
        return library;
    }
    static MyMoviesViewController* list(MoviesViewController& library) {
        return dynamic_cast<MyMoviesViewController*>(library.curViewController().get());
    }
    static MyMoviesTableCell* cell(MyMoviesViewController& list, int row) {
        list.tableView()->layoutIfNeeded();
        return dynamic_cast<MyMoviesTableCell*>(
            list.tableView()->cellForRowAtIndexPath(IndexPath::forRow(row)).get());
    }
    static test::ClipSpec clip(double seconds, int width = 160, int height = 120) {
        test::ClipSpec spec;
        spec.seconds = seconds;
        spec.width = width;
        spec.height = height;
        return spec;
    }
};

TEST_F(MovieLibraryTest, ListsEveryMovieBelowDocumentsNewestFirstWithItsDateLengthAndThumbnail) {
    const std::string old = addMovie("old.mov", clip(3.4), 26h);
    const std::string fresh = addMovie("sub/fresh.mov", clip(2.5, 120, 160));
    addMovie("clip.MOV", clip(1.0)); // the extension is matched exactly
    std::filesystem::create_directories(documents + "/folder.mov/inside"); // no movie
    ASSERT_FALSE(fileExists(documents + "/sub/fresh.jpg"));

    auto library = openLibrary();
    MyMoviesViewController* movies = list(*library);
    ASSERT_NE(movies, nullptr);
    ASSERT_EQ(movies->fileInfoArr().size(), 2u);
    EXPECT_EQ(movies->fileInfoArr()[0]->path(), fresh);
    EXPECT_EQ(movies->fileInfoArr()[1]->path(), old);
    MyMoviesTableCell* first = cell(*movies, 0);
    MyMoviesTableCell* second = cell(*movies, 1);
    ASSERT_TRUE(first && second);
    // The missing thumbnail is written off the main thread and shown once it is there.
    ASSERT_TRUE(RunLoop::runUntil(
        [&] { return first->thumbnailView()->image() && second->thumbnailView()->image(); }, 10));
    EXPECT_TRUE(fileExists(documents + "/sub/fresh.jpg"));
    EXPECT_EQ(first->frame().size.height, 78);
    EXPECT_EQ(first->titleView()->text(),
              MyMoviesViewController::dateText(std::chrono::system_clock::now()));
    EXPECT_EQ(second->titleView()->text(),
              MyMoviesViewController::dateText(std::chrono::system_clock::now() - 26h));
    EXPECT_EQ(first->timeView()->text(), "00:00:02");
    EXPECT_EQ(second->timeView()->text(), "00:00:03");
    ASSERT_TRUE(first->thumbnailView()->image());
    EXPECT_EQ(first->thumbnailView()->image()->size(), Size(90, 120));
    EXPECT_TRUE(second->thumbnailView()->image());
}

// A library of many movies without thumbnails opens at once: the thumbnails wait on their own
// thread, the rows on screen go first, and quitting drops what still waits.
TEST_F(MovieLibraryTest, MissingThumbnailsNeverHoldUpTheListAndVisibleRowsGoFirst) {
    const std::string first = addMovie("m000.mov", clip(1.0));
    constexpr int kMovies = 40;
    for (int i = 1; i < kMovies; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "m%03d.mov", i);
        const std::string path = documents + "/" + name;
        std::filesystem::create_hard_link(first, path);
    }
    std::mutex mutex;
    std::condition_variable released;
    bool go = false;
    std::vector<std::string> made;
    ThumbnailQueue::shared().restartForTesting();
    ThumbnailQueue::shared().setMakerForTesting([&](const std::string& movie) {
        std::unique_lock<std::mutex> lock(mutex);
        released.wait(lock, [&] { return go; });
        made.push_back(lastPathComponent(movie));
    });
    auto library = openLibrary();
    MyMoviesViewController* movies = list(*library);
    ASSERT_TRUE(movies);
    ASSERT_EQ(movies->fileInfoArr().size(), static_cast<std::size_t>(kMovies));
    movies->tableView()->layoutIfNeeded();
    EXPECT_GE(ThumbnailQueue::shared().pendingCount(), static_cast<std::size_t>(kMovies) - 1)
        << "nothing was made while the list opened";
    // The rows on screen are asked for first, whatever their place in the walk.
    std::set<std::string> visible;
    for (const auto& c : movies->tableView()->visibleCells()) {
        const auto at = movies->tableView()->indexPathForCell(c.get());
        if (at) {
            visible.insert(lastPathComponent(movies->fileInfoArr()[at->row]->path()));
        }
    }
    ASSERT_FALSE(visible.empty());
    {
        std::lock_guard<std::mutex> lock(mutex);
        go = true;
    }
    released.notify_all();
    ASSERT_TRUE(RunLoop::runUntil([&] {
        std::lock_guard<std::mutex> lock(mutex);
        return made.size() >= visible.size() + 1;
    }, 10));
    {
        std::lock_guard<std::mutex> lock(mutex);
        // The first one may have been under way before the rows were drawn; right after it
        // come the rows on screen.
        const std::set<std::string> soonest(made.begin(), made.begin() + visible.size() + 1);
        for (const auto& name : visible) {
            EXPECT_TRUE(soonest.count(name) != 0) << name;
        }
    }
    const auto stopping = std::chrono::steady_clock::now();
    ThumbnailQueue::shared().stop();
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - stopping).count(),
              0.5);
    EXPECT_TRUE(ThumbnailQueue::shared().isIdle());
    ThumbnailQueue::shared().setMakerForTesting({});
    ThumbnailQueue::shared().restartForTesting();
}

TEST_F(MovieLibraryTest, LengthsShowWholeHoursMinutesAndSeconds) {
    struct Case {
        double seconds;
        const char* text;
    };
    for (Case c : {Case{75.9, "00:01:15"}, Case{3725, "01:02:05"}, Case{0, "00:00:00"},
                   Case{59.999, "00:00:59"}, Case{-3, "00:00:00"}}) {
        EXPECT_EQ(MyMoviesViewController::lengthText(c.seconds), c.text) << c.seconds;
    }
}

TEST_F(MovieLibraryTest, DeletingInEditModeSendsMovieAndThumbnailToTheTrash) {
    const std::string movie = addMovie("only.mov", clip(1.2));
    auto library = openLibrary();
    MyMoviesViewController* movies = list(*library);
    ASSERT_TRUE(movies);
    ASSERT_TRUE(RunLoop::runUntil([&] { return fileExists(documents + "/only.jpg"); }, 10));

    movies->onEdit();
    EXPECT_TRUE(movies->tableView()->isEditing());
    EXPECT_EQ(movies->buttonEdit()->imageForState(ControlStateNormal),
              Image::imageNamed("done_b_140_80"));
    ASSERT_TRUE(cell(*movies, 0));
    movies->tableViewCommitEditingStyle(*movies->tableView(), TableViewCellEditingStyle::Delete,
                                        IndexPath::forRow(0));
    EXPECT_TRUE(movies->fileInfoArr().empty());
    EXPECT_EQ(movies->tableView()->numberOfRowsInSection(0), 0);
    EXPECT_FALSE(fileExists(movie));
    EXPECT_FALSE(fileExists(documents + "/only.jpg"));
    const std::string trash = home + "/.local/share/Trash/files/";
    EXPECT_TRUE(fileExists(trash + "only.mov"));
    EXPECT_TRUE(fileExists(trash + "only.jpg"));
    EXPECT_TRUE(alerts().empty());

    movies->onEdit();
    EXPECT_FALSE(movies->tableView()->isEditing());
    EXPECT_EQ(movies->buttonEdit()->imageForState(ControlStateNormal),
              Image::imageNamed("edit_b_140_80"));
}

TEST_F(MovieLibraryTest, ADeleteThatFailsKeepsTheRowAndSaysWhy) {
    addMovie("a.mov", clip(1.2), 1h);
    const std::string kept = addMovie("b.mov", clip(1.2));
    Trash::setHandler([](const std::string& path, ErrorPtr* error) {
        if (error != nullptr) {
            *error = Error::make("Trash", 13,
                                 "\"" + lastPathComponent(path) +
                                     "\" could not be deleted: "
                                     "Permission denied.");
        }
        return false;
    });
    auto library = openLibrary();
    MyMoviesViewController* movies = list(*library);
    ASSERT_TRUE(movies);
    movies->onEdit();
    movies->tableViewCommitEditingStyle(*movies->tableView(), TableViewCellEditingStyle::Delete,
                                        IndexPath::forRow(0));
    EXPECT_EQ(movies->fileInfoArr().size(), 2u);
    EXPECT_EQ(movies->tableView()->numberOfRowsInSection(0), 2);
    EXPECT_EQ(waitForAlert(), "\"b.mov\" could not be deleted: Permission denied.");
    EXPECT_TRUE(fileExists(kept));
}

TEST_F(MovieLibraryTest, TheDeleteKeyAsksFirstAndDeletesTheSelectedMovie) {
    addMovie("a.mov", clip(1.2), 1h);
    const std::string second = addMovie("b.mov", clip(1.2), 2h);
    auto library = openLibrary();
    MyMoviesViewController* movies = list(*library);
    ASSERT_TRUE(movies);
    window->sendKey(key(KeyEvent::Key::Down));
    window->sendKey(key(KeyEvent::Key::Down));
    window->sendKey(key(KeyEvent::Key::Delete));
    ASSERT_FALSE(waitForAlert().empty());
    AlertView* ask = alerts().front();
    // Cancel keeps the movie.
    ask->dismissWithClickedButtonIndex(ask->cancelButtonIndex(), false);
    RunLoop::runFor(0.05);
    EXPECT_TRUE(fileExists(second));
    window->sendKey(key(KeyEvent::Key::Delete));
    ASSERT_FALSE(waitForAlert().empty());
    ask = alerts().front();
    ask->dismissWithClickedButtonIndex(ask->firstOtherButtonIndex(), false);
    RunLoop::runFor(0.05);
    EXPECT_FALSE(fileExists(second));
    ASSERT_EQ(movies->fileInfoArr().size(), 1u);
    EXPECT_EQ(lastPathComponent(movies->fileInfoArr()[0]->path()), "a.mov");
}

// The question says what will happen: the trash where there is one, gone for good where not.
TEST_F(MovieLibraryTest, TheDeleteQuestionTellsWhetherATrashTakesTheMovie) {
    const std::string movie = addMovie("a.mov", clip(1.2));
    auto library = openLibrary();
    MyMoviesViewController* movies = list(*library);
    ASSERT_TRUE(movies);
    struct Case {
        const char* what;
        bool trashBlocked;
        const char* said;
    };
    const Case cases[] = {
        {"a trash", false, "go to the trash"},
        {"no trash (a file in its place)", true, "deleted for good"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string trash = home + "/.local/share/Trash";
        std::filesystem::remove_all(trash);
        if (c.trashBlocked) {
            std::ofstream(trash) << "not a folder";
        }
        window->sendKey(key(KeyEvent::Key::Down));
        window->sendKey(key(KeyEvent::Key::Delete));
        ASSERT_FALSE(waitForAlert().empty());
        AlertView* ask = alerts().front();
        EXPECT_NE(ask->message().find(c.said), std::string::npos) << ask->message();
        ask->dismissWithClickedButtonIndex(ask->cancelButtonIndex(), false);
        RunLoop::runFor(0.05);
    }
    std::filesystem::remove_all(home + "/.local/share/Trash");
    EXPECT_TRUE(fileExists(movie));
}

TEST_F(MovieLibraryTest, ReturnOpensTheShareScreenOnTheSelectedMovie) {
    addMovie("a.mov", clip(1.2), 1h);
    const std::string second = addMovie("b.mov", clip(1.2), 2h);
    auto library = openLibrary();
    window->sendKey(key(KeyEvent::Key::Down));
    window->sendKey(key(KeyEvent::Key::Down));
    window->sendKey(key(KeyEvent::Key::Return));
    ASSERT_TRUE(waitUntilPresented(*library));
    auto* share = dynamic_cast<ShareViewController*>(library->presentedViewController());
    ASSERT_NE(share, nullptr);
    EXPECT_EQ(share->path(), second);
    window->sendKey(key(KeyEvent::Key::Escape)); // back to the list
    ASSERT_TRUE(
        RunLoop::runUntil([&] { return library->presentedViewController() == nullptr; }, 3));
    window->sendKey(key(KeyEvent::Key::Escape)); // back to the camera
    ASSERT_TRUE(RunLoop::runUntil([&] { return root->presentedViewController() == nullptr; }, 3));
}

TEST_F(MovieLibraryTest, TheTabShownLastIsRememberedAndAnUnknownOneShowsMyMovies) {
    auto library = openLibrary(1);
    EXPECT_EQ(library->selectedIndex(), 1);
    auto* youtube =
        dynamic_cast<YoutubeViewController*>(library->curViewController().get());
    ASSERT_NE(youtube, nullptr);
    youtube->onMyMovies();
    EXPECT_EQ(library->selectedIndex(), 0);
    ASSERT_NE(list(*library), nullptr);
    EXPECT_EQ(AppConfigureInfo::shareAppConfigureInfo()->moviesTabIndex(), 0);
    auto stored = AppConfigureInfo::appConfigureInfoWithPath(AppConfigureInfo::kFileName);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->moviesTabIndex(), 0) << "the choice is saved";

    // Ctrl+Tab asks for the other tab (Tab alone moves the focus ring); a request from anything
    // else changes nothing.
    window->sendKey(key(KeyEvent::Key::Tab));
    EXPECT_EQ(library->selectedIndex(), 0);
    KeyEvent otherTab = key(KeyEvent::Key::Tab);
    otherTab.control = true;
    window->sendKey(otherTab);
    EXPECT_EQ(library->selectedIndex(), 1);
    NotificationCenter::defaultCenter().post(kMoviesTabSelected, std::make_shared<Object>());
    EXPECT_EQ(library->selectedIndex(), 1);
    root->dismissViewController(false);

    auto broken = openLibrary(7);
    EXPECT_EQ(broken->selectedIndex(), 0);
    EXPECT_NE(list(*broken), nullptr);
}

TEST_F(MovieLibraryTest, TheCameraButtonClosesTheWholeLibrary) {
    auto library = openLibrary();
    MyMoviesViewController* movies = list(*library);
    ASSERT_TRUE(movies);
    movies->onCameraButton();
    ASSERT_TRUE(RunLoop::runUntil([&] { return root->presentedViewController() == nullptr; }, 3));
    EXPECT_EQ(library->view()->superview(), nullptr);
}

TEST_F(MovieLibraryTest, AnEmptyFolderGivesAnEmptyList) {
    auto library = openLibrary();
    ASSERT_TRUE(list(*library));
    EXPECT_TRUE(list(*library)->fileInfoArr().empty());
    window->sendKey(key(KeyEvent::Key::Down));
    window->sendKey(key(KeyEvent::Key::Return));
    window->sendKey(key(KeyEvent::Key::Delete));
    RunLoop::runFor(0.05);
    EXPECT_TRUE(alerts().empty());
    EXPECT_EQ(library->presentedViewController(), nullptr);
}

} // namespace
