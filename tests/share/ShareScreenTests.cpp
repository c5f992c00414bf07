#include "share/ScreenTestSupport.h"

#include "platform/system/MailComposer.h"
#include "platform/system/PhotoAlbum.h"
#include "platform/ui/Screen.h"
#include "share/MyMPMoviePlayerViewController.h"
#include "share/SendingVideoProgressView.h"
#include "share/ShareViewController.h"

#include <sys/stat.h>

#include <ctime>
#include <sstream>

using namespace tx;

namespace {

class ShareScreenTest : public test::ScreenTest {
protected:
    void TearDown() override {
        PhotoAlbum::setWriteLimitForTesting(-1);
        PhotoAlbum::setCopyPauseForTesting(0);
        PhotoAlbum::cancelAllSaves();
        MailComposer::setMailProgram({});
        NotificationCenter::defaultCenter().removeObserver(this);
        ScreenTest::TearDown();
    }
    std::shared_ptr<ShareViewController> openShare(const std::string& path) {
        auto share = std::make_shared<ShareViewController>();
        share->setPath(path);
        root->presentViewController(share, false);
        return share;
    }
    std::string movie(double seconds = 2.0) {
        test::ClipSpec spec;
        spec.seconds = seconds;
        return addMovie("3F2504E0.mov", spec);
    }
};

TEST_F(ShareScreenTest, TheThumbnailButtonShowsTheMoviesPictureInBothStates) {
    auto share = openShare(movie());
    const auto& button = share->thumbnailButton();
    ASSERT_TRUE(button->imageForState(ControlStateNormal));
    EXPECT_EQ(button->imageForState(ControlStateNormal),
              button->imageForState(ControlStateHighlighted));
    EXPECT_TRUE(share->contestButton()->isEnabled());
    EXPECT_TRUE(share->twitterButton()->isEnabled());
    EXPECT_TRUE(share->facebookButton()->isEnabled());
    EXPECT_TRUE(share->saveButton()->isEnabled());
    root->dismissViewController(false);

    // A file that is no movie gives no picture, and no crash.
    const std::string broken = documents + "/broken.mov";
    std::ofstream(broken) << "not a movie";
    auto other = openShare(broken);
    EXPECT_FALSE(other->thumbnailButton()->imageForState(ControlStateNormal));
    EXPECT_FALSE(other->thumbnailButton()->imageForState(ControlStateHighlighted));
}

TEST_F(ShareScreenTest, PlayingToTheEndClosesThePlayerAndPutsTheScreenBackInPlace) {
    auto share = openShare(movie(2.0));
    int finished = 0;
    share->onPlay();
    auto* player = dynamic_cast<MyMPMoviePlayerViewController*>(share->presentedViewController());
    ASSERT_NE(player, nullptr);
    NotificationCenter::defaultCenter().addObserver(
        this, kMPMoviePlayerPlaybackDidFinishNotification, [&](const Notification&) { ++finished; },
        player->moviePlayer().get());
    share->view()->setFrame(Rect(0, 20, 320, 460)); // as a platform player may leave it
    ASSERT_TRUE(RunLoop::runUntil([&] { return finished == 1; }, 5));
    EXPECT_EQ(share->view()->frame(), Rect(0, 0, 320, Screen::mainScreen().bounds().size.height));
    ASSERT_TRUE(RunLoop::runUntil([&] { return share->presentedViewController() == nullptr; }, 3));
    EXPECT_EQ(NotificationCenter::defaultCenter().observerCount(
                  kMPMoviePlayerPlaybackDidFinishNotification),
              1u)
        << "the share screen no longer listens";
}

TEST_F(ShareScreenTest, DoneEndsPlaybackWithTheSameNotification) {
    auto share = openShare(movie(3.4));
    share->onPlay();
    auto* player = dynamic_cast<MyMPMoviePlayerViewController*>(share->presentedViewController());
    ASSERT_NE(player, nullptr);
    int finished = 0;
    NotificationCenter::defaultCenter().addObserver(
        this, kMPMoviePlayerPlaybackDidFinishNotification, [&](const Notification&) { ++finished; },
        player->moviePlayer().get());
    RunLoop::runFor(0.2);
    window->sendKey(key(KeyEvent::Key::Escape));
    EXPECT_EQ(finished, 1);
    ASSERT_TRUE(RunLoop::runUntil([&] { return share->presentedViewController() == nullptr; }, 3));
    RunLoop::runFor(0.1);
    EXPECT_EQ(finished, 1);
    EXPECT_TRUE(alerts().empty());
}

TEST_F(ShareScreenTest, AMovieThatIsGoneIsSaidToBeGoneWhenPlayedSavedOrMailed) {
    const std::string path = movie();
    auto share = openShare(path);
    std::filesystem::remove(path);
    MailComposer::setMailProgram(home + "/must-not-run");
    int shown = 0;
    for (const char* k : {"p", "s", "m"}) {
        SCOPED_TRACE(k);
        window->sendKey(character(k));
        const std::string message = waitForAlert();
        EXPECT_NE(message.find("\"3F2504E0.mov\" is no longer there"), std::string::npos)
            << message;
        shown += !message.empty();
        dismissAlerts();
    }
    EXPECT_EQ(shown, 3);
    EXPECT_EQ(share->presentedViewController(), nullptr);
    EXPECT_FALSE(fileExists(PhotoAlbum::albumDirectory()));
}

TEST_F(ShareScreenTest, EachSaveEndsWithItsOwnAlertNamingTheFolder) {
    const std::string path = movie();
    auto share = openShare(path);
    share->onSaveToCameraRoll();
    ASSERT_FALSE(waitForAlert(1).empty());
    share->onSaveToCameraRoll();
    ASSERT_FALSE(waitForAlert(2).empty());
    const std::string expected = "Your backwards movie has been saved to ~/Videos/Taluvex";
    for (AlertView* alert : alerts()) {
        EXPECT_EQ(alert->message(), expected);
        EXPECT_EQ(alert->title(), "");
        EXPECT_EQ(alert->numberOfButtons(), 1);
        EXPECT_EQ(alert->buttonTitleAtIndex(0), "OK");
    }
    EXPECT_EQ(namesIn(home + "/Videos/Taluvex").size(), 2u);
}

// A save shows its progress over the screen; Esc stops it, and nothing of the copy stays.
TEST_F(ShareScreenTest, ASaveShowsItsProgressAndEscStopsItLeavingNothing) {
    auto share = openShare(movie());
    PhotoAlbum::setCopyPauseForTesting(0.3);
    window->sendKey(character("s"));
    ASSERT_TRUE(share->savingOverlay());
    EXPECT_TRUE(PhotoAlbum::isSaving());
    window->sendKey(character("s")); // one save at a time
    window->sendKey(key(KeyEvent::Key::Escape));
    EXPECT_FALSE(share->savingOverlay());
    EXPECT_FALSE(PhotoAlbum::isSaving());
    PhotoAlbum::cancelAllSaves();
    RunLoop::runFor(0.3);
    EXPECT_TRUE(alerts().empty()) << "a stopped save says nothing";
    EXPECT_TRUE(namesIn(home + "/Videos/Taluvex").empty());
    EXPECT_EQ(share->presentedViewController(), nullptr) << "Esc stopped the save, nothing else";
}

TEST_F(ShareScreenTest, AFullDiskGivesTheNotEnoughMemoryAlertAndOtherFailuresTheirCause) {
    auto share = openShare(movie());
    PhotoAlbum::setWriteLimitForTesting(100);
    window->sendKey(character("s"));
    EXPECT_EQ(waitForAlert(), "Sorry. Not enough memory.");
    EXPECT_TRUE(namesIn(home + "/Videos/Taluvex").empty());
    dismissAlerts();
    PhotoAlbum::setWriteLimitForTesting(-1);

    std::filesystem::create_directories(home + "/Videos");
    std::ofstream(home + "/Videos/Taluvex") << "in the way";
    share->onSaveToCameraRoll();
    const std::string message = waitForAlert();
    EXPECT_NE(message.find("~/Videos/Taluvex"), std::string::npos) << message;
    EXPECT_NE(message, "Sorry. Not enough memory.");
}

TEST_F(ShareScreenTest, MailHandsTheMovieToTheMailProgramUnderTodaysName) {
    const std::string path = movie();
    auto share = openShare(path);
    const std::string script = home + "/xdg-email";
    std::ofstream(script) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << home << "/args'\n";
    ::chmod(script.c_str(), 0755);
    MailComposer::setMailProgram(script);
    window->sendKey(character("m"));
    ASSERT_TRUE(RunLoop::runUntil([&] { return fileExists(home + "/args"); }, 5));
    RunLoop::runFor(0.1);
    std::istringstream args(contents(home + "/args"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(args, line);) {
        lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[2], "My backwards movie");
    EXPECT_EQ(lines[4], "This is my backwards movie which I made with Taluvex (" + kAppPageURL +
                            ") App for Linux.");
    EXPECT_EQ(lines[5], "Have Fun!");
    EXPECT_EQ(lastPathComponent(lines[7]),
              ShareViewController::mailAttachmentName(std::chrono::system_clock::now()));
    EXPECT_TRUE(contents(lines[7]) == contents(path));
    EXPECT_TRUE(alerts().empty());
}

TEST_F(ShareScreenTest, TheMailBodyAndAttachmentNameFollowTheDay) {
    std::tm may4{};
    may4.tm_year = 2013 - 1900;
    may4.tm_mon = 4;
    may4.tm_mday = 4;
    may4.tm_hour = 12;
    may4.tm_isdst = -1;
    const auto day = std::chrono::system_clock::from_time_t(std::mktime(&may4));
    EXPECT_EQ(ShareViewController::mailAttachmentName(day), "Taluvex-2013-05-04.mov");
    EXPECT_EQ(ShareViewController::mailBody(),
              "<html><head></head><body>This is my backwards movie which I made with <a href='" +
                  kAppPageURL + "'>Taluvex</a> App for Linux.<br>Have Fun!</body></html>");
}

TEST_F(ShareScreenTest, WithoutAMovieEveryActionButBackDoesNothing) {
    auto share = openShare("");
    share->onPlay();
    share->onSaveToCameraRoll();
    share->onEmail();
    RunLoop::runFor(0.1);
    EXPECT_EQ(share->presentedViewController(), nullptr);
    EXPECT_TRUE(alerts().empty());
    share->onBackButton();
    ASSERT_TRUE(RunLoop::runUntil([&] { return root->presentedViewController() == nullptr; }, 3));
}

TEST_F(ShareScreenTest, TheSendingOverlayCoversTheWindowAndFillsItsBar) {
    auto overlay = std::make_shared<SendingVideoProgressView>();
    EXPECT_EQ(overlay->progress(), 0.0f);
    overlay->show();
    const double height = Screen::mainScreen().bounds().size.height;
    EXPECT_EQ(overlay->frame(), Rect(0, 0, 320, height));
    EXPECT_EQ(overlay->superview(), window.get());
    EXPECT_EQ(overlay->progressViewBg()->frame(), Rect(84, 231, 152, 18));
    EXPECT_EQ(overlay->progressViewLoading()->frame(), Rect(84, 231, 0, 18));
    EXPECT_TRUE(overlay->progressViewLoading()->clipsToBounds());
    EXPECT_NEAR(overlay->presentationAlpha(), 0.0, 0.05) << "it fades in";
    EXPECT_EQ(overlay->alpha(), 1.0);
    overlay->setProgress(0.5f);
    EXPECT_EQ(overlay->progressViewLoading()->frame(), Rect(84, 231, 76, 18));
    EXPECT_FLOAT_EQ(overlay->progress(), 0.5f);
    EXPECT_EQ(window->hitTest(Point(10, 10)), overlay.get()) << "it takes every touch";
    overlay->hide();
    ASSERT_TRUE(RunLoop::runUntil([&] { return overlay->superview() == nullptr; }, 2));
}

} // namespace
