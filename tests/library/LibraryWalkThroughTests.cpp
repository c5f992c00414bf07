// The library and share screens driven on the application's own window: from the camera to the
// library, a movie's share screen, playing, saving, mailing, back to the camera, and deleting.
#include "shell/ShellTestSupport.h"

#include "library/MoviesViewController.h"
#include "library/MyMoviesViewController.h"
#include "platform/system/MailComposer.h"
#include "share/MyMPMoviePlayerViewController.h"
#include "share/ShareViewController.h"

#include <sys/stat.h>

#include <cstdlib>
#include <iterator>

namespace tx::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class LibraryWalkThroughTest : public LaunchedAppTest {
protected:
    void SetUp() override {
        LaunchedAppTest::SetUp();
        // Saved movies and the trash go to a home of the test's own.
        home = fs::path(documents).parent_path().parent_path().string() + "/home";
        fs::create_directories(home);
        const char* saved = std::getenv("HOME");
        savedHome = saved != nullptr ? saved : "";
        setenv("HOME", home.c_str(), 1);
    }
    void TearDown() override {
        MailComposer::setMailProgram({});
        setenv("HOME", savedHome.c_str(), 1);
        LaunchedAppTest::TearDown();
    }
    std::string addMovie(const std::string& name, double seconds, std::chrono::hours age) {
        ClipSpec spec;
        spec.seconds = seconds;
        const std::string path = documents + "/" + name;
        fs::copy_file(makeClip(spec), path);
        fs::last_write_time(path, fs::file_time_type::clock::now() - age);
        return path;
    }
    MoviesViewController* library() const {
        return dynamic_cast<MoviesViewController*>(presented());
    }
    MyMoviesViewController* list() const {
        return library()
                   ? dynamic_cast<MyMoviesViewController*>(library()->curViewController().get())
                   : nullptr;
    }
    ShareViewController* share() const {
        return library() ? dynamic_cast<ShareViewController*>(library()->presentedViewController())
                         : nullptr;
    }
    std::vector<AlertView*> alerts() {
        std::vector<AlertView*> found;
        for (const ViewPtr& view : window().subviews()) {
            if (auto* alert = dynamic_cast<AlertView*>(view.get())) {
                found.push_back(alert);
            }
        }
        return found;
    }
    std::string takeAlert() {
        if (!RunLoop::runUntil([&] { return !alerts().empty(); }, 10)) {
            return "";
        }
        AlertView* alert = alerts().front();
        const std::string message = alert->message();
        alert->dismissWithClickedButtonIndex(alert->cancelButtonIndex(), false);
        RunLoop::runFor(0.05);
        return message;
    }

    std::string home;
    std::string savedHome;
};

TEST_F(LibraryWalkThroughTest, CameraLibraryShareAndBackThenDeleteInEditMode) {
    const std::string older = addMovie("older.mov", 3.4, 30h);
    const std::string newer = addMovie("newer.mov", 2.0, 1h);
    launch();

    // The library lists both, newest first.
    press("l");
    ASSERT_NE(library(), nullptr);
    ASSERT_NE(list(), nullptr);
    ASSERT_EQ(list()->fileInfoArr().size(), 2u);
    EXPECT_EQ(list()->fileInfoArr()[0]->path(), newer);
    EXPECT_EQ(list()->fileInfoArr()[1]->path(), older);

    // A row opens the share screen on its movie.
    pressKey(KeyEvent::Key::Down);
    pressKey(KeyEvent::Key::Return);
    ASSERT_TRUE(RunLoop::runUntil([&] { return share() != nullptr; }, 5));
    EXPECT_EQ(share()->path(), newer);

    // Play to the end: the player closes and the share screen is back in place.
    press("p");
    auto* player = dynamic_cast<MyMPMoviePlayerViewController*>(share()->presentedViewController());
    ASSERT_NE(player, nullptr);
    ASSERT_TRUE(
        RunLoop::runUntil([&] { return share()->presentedViewController() == nullptr; }, 8));
    EXPECT_EQ(share()->view()->frame(), Rect(0, 0, 320, Screen::mainScreen().bounds().size.height));

    // Save: a copy in ~/Videos/Taluvex and the alert that says where.
    press("s");
    EXPECT_EQ(takeAlert(), "Your backwards movie has been saved to ~/Videos/Taluvex");
    std::vector<std::string> saved;
    for (const auto& entry : fs::directory_iterator(home + "/Videos/Taluvex")) {
        saved.push_back(entry.path().string());
    }
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(fs::file_size(saved[0]), fs::file_size(newer));

    // Mail: handed to the mail program with the movie attached under the day's name.
    const std::string program = home + "/xdg-email";
    std::ofstream(program) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << home << "/mail-args'\n";
    ::chmod(program.c_str(), 0755);
    MailComposer::setMailProgram(program);
    press("m");
    ASSERT_TRUE(RunLoop::runUntil([&] { return fileExists(home + "/mail-args"); }, 5));
    RunLoop::runFor(0.1);
    const std::string args = contents(home + "/mail-args");
    EXPECT_NE(args.find("My backwards movie"), std::string::npos);
    EXPECT_NE(
        args.find("/" + ShareViewController::mailAttachmentName(std::chrono::system_clock::now())),
        std::string::npos)
        << args;
    EXPECT_TRUE(alerts().empty());

    // Back to the list, back to the camera.
    pressKey(KeyEvent::Key::Escape);
    ASSERT_TRUE(RunLoop::runUntil([&] { return share() == nullptr; }, 5));
    pressKey(KeyEvent::Key::Escape);
    ASSERT_TRUE(RunLoop::runUntil([&] { return presented() == nullptr; }, 5));
    EXPECT_TRUE(RunLoop::runUntil([&] { return main->avCaptureMgr()->running(); }, 5));

    // Delete the older movie in edit mode: it and its thumbnail go to the trash.
    press("l");
    ASSERT_NE(list(), nullptr);
    press("e");
    EXPECT_TRUE(list()->tableView()->isEditing());
    list()->tableView()->layoutIfNeeded();
    auto cell = list()->tableView()->cellForRowAtIndexPath(IndexPath::forRow(1));
    ASSERT_TRUE(cell);
    cell->showDeleteConfirmation(true);
    const Point button = cell->deleteButton()->convertPointToView(
        Point(cell->deleteButton()->bounds().midX(), cell->deleteButton()->bounds().midY()),
        &window());
    window().sendTouch(TouchPhase::Began, button);
    window().sendTouch(TouchPhase::Ended, button);
    ASSERT_TRUE(RunLoop::runUntil([&] { return list()->fileInfoArr().size() == 1; }, 3));
    EXPECT_FALSE(fileExists(older));
    EXPECT_FALSE(fileExists(pathByReplacingExtension(older, "jpg")));
    const std::string trash = fs::path(documents).parent_path().parent_path().string() + "/Trash";
    EXPECT_TRUE(fileExists(trash + "/files/older.mov"));
    EXPECT_TRUE(fileExists(trash + "/files/older.jpg"));
    EXPECT_TRUE(fileExists(newer));
}

} // namespace
} // namespace tx::test
