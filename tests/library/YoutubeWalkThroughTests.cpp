// A walk through the library as a user goes: the YouTube tab against the loopback feed (another
// order, the next page, a copied link, the contest notice), then My Movies, a movie's share screen
// and its contest entry handed to the mail program.
#include "share/ScreenTestSupport.h"

#include "share/MailRecorder.h"

#include "app/AppConfigureInfo.h"
#include "library/MoviesViewController.h"
#include "platform/system/MailComposer.h"
#include "platform/ui/Pasteboard.h"
#include "services/http/ServiceConfig.h"
#include "share/ShareViewController.h"
#include "share/YoutubeViewController.h"
#include "support/FakeServices.h"

#include <sys/stat.h>

#include <fstream>

namespace tx {
namespace {

class YoutubeWalkThroughTest : public test::ScreenTest {
protected:
    void TearDown() override {
        AppConfigureInfo::shareAppConfigureInfo()->setMoviesTabIndex(0);
        ScreenTest::TearDown();
        ServiceConfig::reload();
    }
    void tap(const View& view) {
        const Rect frame = view.convertRectToView(view.bounds(), nullptr);
        const Point center(frame.midX(), frame.midY());
        window->sendTouch(TouchPhase::Began, center);
        window->sendTouch(TouchPhase::Ended, center);
    }
    void type(const std::string& text) {
        for (char c : text) {
            window->sendKey(character(std::string(1, c)));
        }
    }
    static bool pageArrived(YoutubeViewController& tab) {
        return RunLoop::runUntil([&] { return !tab.mEntriesFetchTicket(); }, 10);
    }

    fakes::FakeYouTube feed;
};

TEST_F(YoutubeWalkThroughTest, FromTheChannelToAContestEntry) {
    std::filesystem::create_directories(home + "/.config/taluvex");
    std::ofstream(home + "/.config/taluvex/services.ini")
        << "[youtube]\nfeed_url=" << feed.pagedFeedURL()
        << "\nchannel=maker\n[contest]\naddress=contest@example.org\n";
    ServiceConfig::reload();
    test::ClipSpec spec;
    spec.seconds = 1.3;
    const std::string movie = addMovie("5A7F0C11.mov", spec);
    test::MailRecorder recorder(home);

    AppConfigureInfo::shareAppConfigureInfo()->setMoviesTabIndex(1);
    auto library = std::make_shared<MoviesViewController>();
    root->presentViewController(library, false);
    auto* tab = dynamic_cast<YoutubeViewController*>(library->curViewController().get());
    ASSERT_NE(tab, nullptr);
    ASSERT_TRUE(pageArrived(*tab));
    EXPECT_EQ(tab->entryStorage().size(), 10u);

    tap(*tab->buttonMostRated());
    EXPECT_EQ(tab->toolBarSelected(), tab->buttonMostRated().get());
    ASSERT_TRUE(pageArrived(*tab));
    for (int i = 0; i < 11; ++i) {
        window->sendKey(key(KeyEvent::Key::Down));
    }
    tab->tableView()->layoutIfNeeded();
    window->sendKey(key(KeyEvent::Key::Return)); // the load-more row
    ASSERT_TRUE(pageArrived(*tab));
    EXPECT_EQ(tab->entryStorage().size(), 20u);
    EXPECT_TRUE(tab->moreNextPage());
    const auto targets = feed.requests();
    ASSERT_EQ(targets.size(), 3u);
    EXPECT_NE(targets[2].target.find("start-index=11"), std::string::npos);
    EXPECT_NE(targets[2].target.find("orderby=rating"), std::string::npos);

    for (int i = 0; i < 20; ++i) {
        window->sendKey(key(KeyEvent::Key::Up));
    }
    window->sendKey(character("c"));
    EXPECT_EQ(Pasteboard::generalPasteboard().string(),
              YoutubeViewController::watchLink(*tab->entryStorage()[0]));

    tap(*tab->contestButton());
    ASSERT_NE(window->subviews().back()->viewController(), nullptr);
    const ViewPtr notice = window->subviews().back();
    window->sendKey(key(KeyEvent::Key::Escape));
    ASSERT_TRUE(RunLoop::runUntil([&] { return notice->superview() == nullptr; }, 3));
    EXPECT_EQ(root->presentedViewController(), library.get()) << "the library is still open";

    KeyEvent otherTab = key(KeyEvent::Key::Tab);
    otherTab.control = true;
    window->sendKey(otherTab);
    ASSERT_EQ(library->selectedIndex(), 0);
    RunLoop::runFor(0.05);
    window->sendKey(key(KeyEvent::Key::Down));
    window->sendKey(key(KeyEvent::Key::Return));
    ASSERT_TRUE(waitUntilPresented(*library));
    auto* share = dynamic_cast<ShareViewController*>(library->presentedViewController());
    ASSERT_NE(share, nullptr);
    EXPECT_EQ(share->path(), movie);

    RunLoop::runFor(0.1);
    tap(*share->contestButton());
    type("Backwards");
    window->sendKey(key(KeyEvent::Key::Tab));
    type("Ilse");
    window->sendKey(key(KeyEvent::Key::Tab));
    type("ilse@example.org");
    window->sendKey(key(KeyEvent::Key::Return)); // leaves the fields
    window->sendKey(key(KeyEvent::Key::Return)); // sends
    const auto args = recorder.arguments();
    ASSERT_EQ(args.size(), 8u);
    EXPECT_EQ(args[2], "Contest Submit");
    EXPECT_EQ(args[4], "Backwards\nIlse\nilse@example.org\n");
    EXPECT_EQ(std::filesystem::path(args[6]).filename(), "ContestMovie.mov");
    EXPECT_EQ(args[7], "contest@example.org");
    EXPECT_TRUE(std::filesystem::exists(movie));
    window->sendKey(key(KeyEvent::Key::Escape)); // closes the form, not the share screen
    RunLoop::runFor(0.2);
    EXPECT_EQ(library->presentedViewController(), share);
}

} // namespace
} // namespace tx
