#include "share/ScreenTestSupport.h"

#include "app/AppConfigureInfo.h"
#include "library/MoviesViewController.h"
#include "library/MyMoviesViewController.h"
#include "platform/system/Trash.h"
#include "share/ShareViewController.h"
#include "share/YoutubeViewController.h"

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
    EXPECT_TRUE(fileExists(documents + "/sub/fresh.jpg")) << "the missing thumbnail is written";

    MyMoviesTableCell* first = cell(*movies, 0);
    MyMoviesTableCell* second = cell(*movies, 1);
    ASSERT_TRUE(first && second);
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
    ASSERT_TRUE(movies && fileExists(documents + "/only.jpg"));

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

    // Tab asks for the other tab; a request from anything else changes nothing.
    window->sendKey(key(KeyEvent::Key::Tab));
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
