// The YouTube tab against the loopback feed: paging, orders, a page given up, failures, the rows,
// playing and sharing a video, and the keys.
#include "share/ScreenTestSupport.h"

#include "share/MailRecorder.h"

#include "platform/foundation/NotificationCenter.h"
#include "platform/system/MailComposer.h"
#include "platform/ui/Application.h"
#include "platform/ui/OffscreenRenderer.h"
#include "platform/ui/Pasteboard.h"
#include "services/http/HttpClient.h"
#include "services/http/ServiceConfig.h"
#include "share/OverlayView.h"
#include "share/SubmitToContestNoticeViewController.h"
#include "share/YoutubeViewController.h"
#include "support/FakeServices.h"

#include <sys/stat.h>

#include <fstream>
#include <sstream>

namespace tx {
namespace {

enum class Dialect { Paged, Channel };

class YoutubeTabTest : public test::ScreenTest, public ::testing::WithParamInterface<Dialect> {
protected:
    void SetUp() override {
        ScreenTest::SetUp();
        HttpClient::shared().setRetryBackoffSeconds(0.02);
        Application::setOpenURLHandler([this](const std::string& url) {
            opened.push_back(url);
            return true;
        });
        configure(GetParam());
    }
    void TearDown() override {
        tab.reset();
        Application::setOpenURLHandler({});
        ScreenTest::TearDown();
        ServiceConfig::reload();
    }
    void configure(Dialect dialect, const std::string& extra = {}) {
        std::filesystem::create_directories(home + "/.config/taluvex");
        std::ofstream(home + "/.config/taluvex/services.ini")
            << "[youtube]\nfeed_url="
            << (dialect == Dialect::Paged ? feed.pagedFeedURL() : feed.channelFeedURL())
            << "\nchannel=maker\n"
            << extra;
        ServiceConfig::reload();
    }
    // Opens the tab and waits for its first page.
    void open() {
        tab = std::make_shared<YoutubeViewController>();
        root->presentViewController(tab, false);
        waitForPage();
    }
    void waitForPage() {
        ASSERT_TRUE(RunLoop::runUntil([&] { return !tab->mEntriesFetchTicket(); }, 10));
        RunLoop::runFor(0.02);
    }
    int rows() { return tab->tableViewNumberOfRowsInSection(*tab->tableView(), 0); }
    std::vector<std::string> titles() const {
        std::vector<std::string> all;
        for (const auto& entry : tab->entryStorage()) {
            all.push_back(entry->title);
        }
        return all;
    }
    std::shared_ptr<YoutubeTableCell> cell(int row) {
        return std::dynamic_pointer_cast<YoutubeTableCell>(
            tab->tableViewCellForRowAtIndexPath(*tab->tableView(), IndexPath::forRow(row)));
    }
    // The row's cell as the list shows it (cell() makes a new one).
    std::shared_ptr<YoutubeTableCell> shownCell(int row) {
        return std::dynamic_pointer_cast<YoutubeTableCell>(
            tab->tableView()->cellForRowAtIndexPath(IndexPath::forRow(row)));
    }
    // The feed requests so far (the paged dialect's targets carry the query).
    std::vector<std::string> feedTargets() const {
        std::vector<std::string> targets;
        for (const auto& request : feed.requests()) {
            if (request.path != "/leak") {
                targets.push_back(request.target);
            }
        }
        return targets;
    }
    fakes::FakeYouTube feed;
    std::shared_ptr<YoutubeViewController> tab;
    std::vector<std::string> opened;
};

TEST_P(YoutubeTabTest, TenVideosMakeOnePageWithoutALoadMoreRow) {
    feed.videoCount = 10;
    open();
    EXPECT_EQ(tab->entryStorage().size(), 10u);
    EXPECT_EQ(rows(), 10);
    EXPECT_EQ(tab->idxBase(), -1);
    EXPECT_FALSE(tab->moreNextPage());
    EXPECT_FALSE(tab->tableView()->isHidden());
    EXPECT_TRUE(tab->loadingView()->isHidden());
    EXPECT_TRUE(tab->messageLabel()->isHidden());
    ASSERT_EQ(feedTargets().size(), 1u);
    if (GetParam() == Dialect::Paged) {
        const std::string target = feedTargets()[0];
        EXPECT_NE(target.find("start-index=1"), std::string::npos) << target;
        EXPECT_NE(target.find("max-results=11"), std::string::npos) << target;
        EXPECT_EQ(target.find("orderby"), std::string::npos) << "newest is the feed's own order";
    }
}

TEST_P(YoutubeTabTest, ElevenVideosPageTenThenOneAndTheLoadMoreRowGoes) {
    feed.videoCount = 11;
    open();
    EXPECT_EQ(tab->entryStorage().size(), 10u);
    ASSERT_EQ(rows(), 11);
    EXPECT_EQ(tab->idxBase(), 11);
    EXPECT_TRUE(tab->moreNextPage());
    auto* table = tab->tableView().get();
    EXPECT_EQ(tab->tableViewHeightForRowAtIndexPath(*table, IndexPath::forRow(9)), 78);
    EXPECT_EQ(tab->tableViewHeightForRowAtIndexPath(*table, IndexPath::forRow(10)), 57);
    auto more = tab->tableViewCellForRowAtIndexPath(*table, IndexPath::forRow(10));
    EXPECT_EQ(more->reuseIdentifier(), "YoutubeLastTableIdentifier");
    EXPECT_EQ(dynamic_cast<YoutubeTableCell*>(more.get()), nullptr);

    tab->tableViewDidSelectRowAtIndexPath(*table, IndexPath::forRow(10));
    EXPECT_FALSE(table->isHidden()) << "later pages load under the list, without the cover";
    EXPECT_TRUE(tab->loadingView()->isHidden());
    // A second tap while the page is on its way asks for nothing more.
    tab->tableViewDidSelectRowAtIndexPath(*table, IndexPath::forRow(10));
    waitForPage();
    EXPECT_EQ(tab->entryStorage().size(), 11u);
    EXPECT_EQ(rows(), 11);
    EXPECT_EQ(tab->idxBase(), -1);
    EXPECT_FALSE(tab->moreNextPage());
    EXPECT_EQ(titles().back(), "Video 11");
    ASSERT_EQ(feedTargets().size(), 2u);
    if (GetParam() == Dialect::Paged) {
        EXPECT_NE(feedTargets()[1].find("start-index=11"), std::string::npos) << feedTargets()[1];
    }
}

TEST_P(YoutubeTabTest, EachOrderAsksOnceAndTheSelectedOneAsksNothing) {
    feed.videoCount = 23;
    open();
    EXPECT_EQ(tab->toolBarSelected(), tab->buttonNew().get());
    EXPECT_TRUE(tab->buttonNew()->isSelected());
    EXPECT_EQ(titles().front(), "Video 1");

    tab->buttonMostRated()->sendActionsForControlEvents(ControlEventTouchUpInside);
    waitForPage();
    EXPECT_FALSE(tab->buttonNew()->isSelected());
    EXPECT_TRUE(tab->buttonMostRated()->isSelected());
    ASSERT_EQ(tab->entryStorage().size(), 10u);
    for (std::size_t i = 1; i < tab->entryStorage().size(); ++i) {
        EXPECT_GE(*tab->entryStorage()[i - 1]->rating, *tab->entryStorage()[i]->rating);
    }
    tab->buttonFeatured()->sendActionsForControlEvents(ControlEventTouchUpInside);
    waitForPage();
    ASSERT_EQ(tab->entryStorage().size(), 10u);
    for (std::size_t i = 1; i < tab->entryStorage().size(); ++i) {
        EXPECT_GE(*tab->entryStorage()[i - 1]->viewCount, *tab->entryStorage()[i]->viewCount);
    }
    const auto targets = feedTargets();
    ASSERT_EQ(targets.size(), 3u);
    if (GetParam() == Dialect::Paged) {
        EXPECT_NE(targets[1].find("orderby=rating"), std::string::npos);
        EXPECT_NE(targets[2].find("orderby=viewCount"), std::string::npos);
    }

    const auto before = titles();
    tab->buttonFeatured()->sendActionsForControlEvents(ControlEventTouchUpInside);
    RunLoop::runFor(0.1);
    EXPECT_EQ(feedTargets().size(), 3u);
    EXPECT_EQ(titles(), before);
    EXPECT_FALSE(tab->mEntriesFetchTicket());
}

TEST_P(YoutubeTabTest, AnOrderChangeDropsThePageOfThePreviousOrder) {
    feed.videoCount = 23;
    feed.delaySeconds = 0.6;
    tab = std::make_shared<YoutubeViewController>();
    root->presentViewController(tab, false);
    EXPECT_FALSE(tab->loadingView()->isHidden()) << "the first page loads under the cover";
    EXPECT_TRUE(tab->tableView()->isHidden());
    ASSERT_TRUE(RunLoop::runUntil([&] { return !feedTargets().empty(); }, 5));
    tab->buttonMostRated()->sendActionsForControlEvents(ControlEventTouchUpInside);
    waitForPage();
    RunLoop::runFor(0.8); // long enough for the first answer to have come, had it not been given up
    ASSERT_EQ(tab->entryStorage().size(), 10u);
    for (std::size_t i = 1; i < tab->entryStorage().size(); ++i) {
        EXPECT_GE(*tab->entryStorage()[i - 1]->rating, *tab->entryStorage()[i]->rating)
            << "entries of the newest-first page slipped in";
    }
    EXPECT_TRUE(tab->loadingView()->isHidden());
}

TEST_P(YoutubeTabTest, AFailedFirstPageSaysSoAndStopsPaging) {
    feed.fault = fakes::FakeYouTube::Fault::Status500Always;
    open();
    EXPECT_TRUE(tab->mEntriesFetchError());
    EXPECT_FALSE(tab->mEntriesFeed());
    EXPECT_EQ(tab->idxBase(), -1);
    EXPECT_FALSE(tab->moreNextPage());
    EXPECT_EQ(rows(), 0);
    EXPECT_TRUE(tab->loadingView()->isHidden());
    EXPECT_FALSE(tab->loadingIndicator()->isAnimating());
    EXPECT_FALSE(tab->messageLabel()->isHidden());
    EXPECT_EQ(tab->messageLabel()->text(), "Could not load videos");
    EXPECT_LE(feedTargets().size(), 3u) << "the retries are bounded";
    EXPECT_TRUE(alerts().empty());

    // Another order is the way to try again.
    feed.fault = fakes::FakeYouTube::Fault::None;
    tab->buttonMostRated()->sendActionsForControlEvents(ControlEventTouchUpInside);
    waitForPage();
    EXPECT_EQ(rows(), 11);
    EXPECT_TRUE(tab->messageLabel()->isHidden());
}

TEST_P(YoutubeTabTest, AFeedWithAnExternalEntityIsRefusedWithoutFetchingIt) {
    feed.fault = fakes::FakeYouTube::Fault::ExternalEntity;
    open();
    EXPECT_TRUE(tab->mEntriesFetchError());
    EXPECT_EQ(rows(), 0);
    EXPECT_EQ(feed.leakHits(), 0);
    EXPECT_EQ(tab->messageLabel()->text(), "Could not load videos");
}

TEST_P(YoutubeTabTest, RowsShowTitleDurationAndPlayerAndATapPlaysInTheBrowser) {
    feed.videoCount = 12;
    feed.entryWithoutGroup = 2;
    feed.entryOfAnHour = 3;
    feed.hostileValues = true;
    open();
    auto first = cell(0);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->tag(), 0);
    EXPECT_EQ(first->titleView()->text(), "Video 1 \"><script>alert(1)</script>");
    const std::string player = first->thumbnailView()->playerAddress();
    EXPECT_EQ(player.rfind("https://www.youtube.com/v/VID00001", 0), 0u)
        << "the address keeps its https: " << player;
    EXPECT_NE(player.find("&x=\"onload=\"alert(1)"), std::string::npos)
        << "the quote came through the page intact: " << player;
    if (GetParam() == Dialect::Paged) {
        EXPECT_EQ(first->timeView()->text(), "00:15");
        EXPECT_EQ(cell(2)->timeView()->text(), "1:02:05");
    } else {
        EXPECT_EQ(first->timeView()->text(), "") << "the channel feed has no durations";
    }
    auto bare = cell(1);
    EXPECT_EQ(bare->titleView()->text(), "Video 2 \"><script>alert(1)</script>");
    EXPECT_EQ(bare->timeView()->text(), "");
    EXPECT_TRUE(bare->thumbnailView()->playerAddress().empty());

    // A tap on a row presses the player's button; a row without player does nothing.
    auto* table = tab->tableView().get();
    table->reloadData();
    table->layoutIfNeeded();
    tab->tableViewDidSelectRowAtIndexPath(*table, IndexPath::forRow(0));
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], player);
    tab->tableViewDidSelectRowAtIndexPath(*table, IndexPath::forRow(1));
    EXPECT_EQ(opened.size(), 1u);
    EXPECT_FALSE(table->indexPathForSelectedRow());
}

TEST_P(YoutubeTabTest, TheShareSheetCopiesOrMailsTheWatchLink) {
    feed.videoCount = 3;
    feed.entryWithoutGroup = 2;
    open();
    const std::string link =
        "https://www.youtube.com/watch?v=VID00001&feature=youtube_gdata_player";
    cell(0)->shareButton()->sendActionsForControlEvents(ControlEventTouchUpInside);
    EXPECT_EQ(tab->currentIndexPath().row, 0);
    Pasteboard::generalPasteboard().setString("before");
    ActionSheet dummy("", {}, "Cancel", "", {});
    tab->actionSheetClickedButtonAtIndex(dummy, 2); // Cancel
    EXPECT_EQ(Pasteboard::generalPasteboard().string(), "before");
    tab->actionSheetClickedButtonAtIndex(dummy, 0);
    EXPECT_EQ(Pasteboard::generalPasteboard().string(), link);

    // No link for a video without a player.
    Pasteboard::generalPasteboard().setString("before");
    cell(1)->onShare();
    tab->actionSheetClickedButtonAtIndex(dummy, 0);
    EXPECT_EQ(Pasteboard::generalPasteboard().string(), "before");

    test::MailRecorder recorder(home);
    cell(0)->onShare();
    tab->actionSheetClickedButtonAtIndex(dummy, 1);
    const auto mail = recorder.arguments();
    EXPECT_EQ(mail, (std::vector<std::string>{"--utf8", "--subject", "", "--body", link}));
}

TEST_P(YoutubeTabTest, KeysChooseOrdersMoveCopyAndLeave) {
    feed.videoCount = 12;
    open();
    window->sendKey(character("2"));
    EXPECT_EQ(tab->toolBarSelected(), tab->buttonMostRated().get());
    waitForPage();
    window->sendKey(key(KeyEvent::Key::Down));
    window->sendKey(key(KeyEvent::Key::Down));
    ASSERT_TRUE(tab->tableView()->indexPathForSelectedRow());
    EXPECT_EQ(tab->tableView()->indexPathForSelectedRow()->row, 1);
    // The keyboard's row is seen, and only that one.
    ASSERT_TRUE(shownCell(0) && shownCell(1));
    EXPECT_TRUE(shownCell(1)->showsPressed());
    EXPECT_FALSE(shownCell(0)->showsPressed());
    window->sendKey(character("c"));
    const std::string copied = Pasteboard::generalPasteboard().string();
    EXPECT_EQ(copied, YoutubeViewController::watchLink(*tab->entryStorage()[1]));
    tab->tableView()->layoutIfNeeded();
    window->sendKey(key(KeyEvent::Key::Return));
    EXPECT_EQ(opened.size(), 1u);
    EXPECT_EQ(tab->tableView()->indexPathForSelectedRow()->row, 1)
        << "the keyboard keeps its place";

    // Another order opens at its top.
    tab->tableView()->setContentOffset(Point(0, 200));
    window->sendKey(character("3"));
    EXPECT_EQ(tab->tableView()->contentOffset().y, 0);
    waitForPage();

    int asked = 0;
    NotificationCenter::defaultCenter().addObserver(
        this, "MoviesTabSelected", [&](const Notification& n) { asked += n.object == tab; });
    KeyEvent switchTabs = key(KeyEvent::Key::Tab);
    switchTabs.control = true;
    window->sendKey(switchTabs);
    NotificationCenter::defaultCenter().removeObserver(this);
    EXPECT_EQ(asked, 1);
    window->sendKey(key(KeyEvent::Key::Escape));
    EXPECT_TRUE(RunLoop::runUntil([&] { return root->presentedViewController() == nullptr; }, 3));
}

INSTANTIATE_TEST_SUITE_P(BothDialects, YoutubeTabTest,
                         ::testing::Values(Dialect::Paged, Dialect::Channel), [](const auto& info) {
                             return info.param == Dialect::Paged ? "Paged" : "Channel";
                         });

class YoutubeTabUnconfiguredTest : public test::ScreenTest {};

TEST_F(YoutubeTabUnconfiguredTest, WithoutAChannelTheTabSaysHowToSetOne) {
    ServiceConfig::reload();
    auto tab = std::make_shared<YoutubeViewController>();
    root->presentViewController(tab, false);
    EXPECT_FALSE(tab->mEntriesFetchTicket());
    EXPECT_FALSE(tab->messageLabel()->isHidden());
    EXPECT_EQ(tab->messageLabel()->text(), YoutubeViewController::notConfiguredText());
    EXPECT_TRUE(tab->loadingView()->isHidden());
    root->dismissViewController(false);
}

TEST(YoutubeTableCell, ATitleOfTwoLinesIsShownWholeAboveItsDuration) {
    auto cell = YoutubeTableCell::loadFromLayout();
    GDataEntryYouTubeVideo entry;
    entry.title = "Walking backwards through the market on a rainy Sunday morning";
    cell->showEntry(entry);
    const Rect title = cell->titleView()->frame();
    // Two lines of the title's font fit its frame, and the frame ends where the duration starts.
    EXPECT_GE(title.size.height, 2 * cell->titleView()->font().lineHeight());
    EXPECT_LE(title.origin.y + title.size.height, cell->timeView()->frame().origin.y);
    // Drawn: ink in two bands (two lines), the second ending inside the frame, not at its edge.
    auto root = std::make_shared<View>(Rect(0, 0, 320, YoutubeTableCell::kRowHeight));
    root->setBackgroundColor(Color::black());
    cell->titleView()->removeFromSuperview();
    root->addSubview(cell->titleView());
    const QImage pixels = renderView(*root)->pixels();
    std::vector<bool> inked;
    for (int y = static_cast<int>(title.origin.y * 2);
         y < static_cast<int>((title.origin.y + title.size.height) * 2); ++y) {
        bool any = false;
        for (int x = static_cast<int>(title.origin.x * 2);
             x < static_cast<int>((title.origin.x + title.size.width) * 2) && !any; ++x) {
            any = qGray(pixels.pixel(x, y)) > 128;
        }
        inked.push_back(any);
    }
    int bands = 0;
    for (std::size_t i = 0; i < inked.size(); ++i) {
        bands += inked[i] && (i == 0 || !inked[i - 1]) ? 1 : 0;
    }
    EXPECT_EQ(bands, 2);
    EXPECT_FALSE(inked.back());
}

TEST(YoutubeTableCell, DurationsAndTheEmbeddedPage) {
    EXPECT_EQ(YoutubeTableCell::durationText(59), "00:59");
    EXPECT_EQ(YoutubeTableCell::durationText(605), "10:05");
    EXPECT_EQ(YoutubeTableCell::durationText(3599), "59:59");
    EXPECT_EQ(YoutubeTableCell::durationText(3600), "1:00:00");
    EXPECT_EQ(YoutubeTableCell::durationText(3725), "1:02:05");
    EXPECT_EQ(YoutubeTableCell::durationText(std::nullopt), "");

    const std::string sixteen(16, ' ');
    EXPECT_EQ(YoutubeTableCell::embedHTML("http://host/v/A?f=1", 109.6, 62.2),
              "<html><head>" + sixteen + "<body style=\"margin:0\">" + sixteen +
                  "<embed id=\"yt\" src=\"http://host/v/A?f=1\" "
                  "type=\"application/x-shockwave-flash\"" +
                  std::string(17, ' ') + "width=\"110\" height=\"62\"></embed>" + sixteen +
                  "</body></html>");
    const std::string hostile =
        YoutubeTableCell::embedHTML("https://h/v/A?a=1&b=\"><script>'", 10, 10);
    EXPECT_NE(hostile.find("src=\"https://h/v/A?a=1&amp;b=&quot;&gt;&lt;script&gt;&#39;\""),
              std::string::npos)
        << hostile;

    // The web view reads the address back as it was, and opens web addresses only.
    WebView web(Rect(0, 0, 110, 62));
    web.loadHTMLString(hostile, {});
    EXPECT_EQ(web.playerAddress(), "https://h/v/A?a=1&b=\"><script>'");
    for (const char* elsewhere : {"file:///etc/passwd", "javascript:alert(1)", "taluvex:x"}) {
        web.loadHTMLString(YoutubeTableCell::embedHTML(elsewhere, 10, 10), {});
        EXPECT_TRUE(web.playerAddress().empty()) << elsewhere;
        EXPECT_FALSE(web.playButton());
    }
}

TEST(YoutubeTab, TheWatchLinkEscapesTheVideoId) {
    auto entry = [](const std::string& player) {
        auto video = std::make_shared<GDataEntryYouTubeVideo>();
        video->mediaGroup.emplace();
        video->mediaGroup->contents.push_back({player, "application/x-shockwave-flash", 5});
        return video;
    };
    EXPECT_EQ(YoutubeViewController::watchLink(
                  *entry("https://www.youtube.com/v/VID00007?f=user_uploads&app=youtube_gdata")),
              "https://www.youtube.com/watch?v=VID00007&feature=youtube_gdata_player");
    EXPECT_EQ(YoutubeViewController::watchLink(*entry("http://h/v/a&list=x#t")),
              "https://www.youtube.com/watch?v=a%26list%3Dx&feature=youtube_gdata_player");
    EXPECT_EQ(YoutubeViewController::watchLink(*entry("no address")), "");
    EXPECT_EQ(YoutubeViewController::watchLink(GDataEntryYouTubeVideo()), "");
    EXPECT_EQ(YoutubeViewController::orderForTag(0), "updated");
    EXPECT_EQ(YoutubeViewController::orderForTag(1), "rating");
    EXPECT_EQ(YoutubeViewController::orderForTag(7), "viewCount");
}

TEST_F(YoutubeTabUnconfiguredTest, TheContestButtonFadesTheNoticeInAndEscapeOut) {
    ServiceConfig::reload();
    auto tab = std::make_shared<YoutubeViewController>();
    root->presentViewController(tab, false);
    tab->contestButton()->sendActionsForControlEvents(ControlEventTouchUpInside);
    auto notice = std::dynamic_pointer_cast<OverlayView>(window->subviews().back());
    ASSERT_TRUE(notice);
    auto* owner = dynamic_cast<SubmitToContestNoticeViewController*>(notice->viewController());
    ASSERT_TRUE(owner);
    std::weak_ptr<Object> alive = owner->shared_from_this();
    EXPECT_EQ(owner->scrollView()->contentSize(), Size(270, 760));
    EXPECT_EQ(notice->frame(), Rect(0, 0, 320, Screen::mainScreen().bounds().size.height));
    EXPECT_EQ(notice->alpha(), 1);
    EXPECT_LT(notice->presentationAlpha(), 1) << "it fades in";
    window->sendKey(key(KeyEvent::Key::Escape));
    EXPECT_NE(root->presentedViewController(), nullptr) << "Escape closed the notice only";
    EXPECT_TRUE(RunLoop::runUntil([&] { return alive.expired(); }, 3));
    EXPECT_EQ(notice->superview(), nullptr);
    root->dismissViewController(false);
}

} // namespace
} // namespace tx
