// The feed client pages through both dialects the way the YouTube tab does (11 asked, 10 kept,
// the next start 10 further on), in each order; and hostile feeds are refused.
#include "ServicesTestSupport.h"
#include "services/youtube/GDataServiceGoogleYouTube.h"
#include "support/FakeServices.h"

namespace tx {
namespace {

using fakes::FakeYouTube;

class YouTubeFeedTest : public ServicesTest {
protected:
    void SetUp() override {
        ServicesTest::SetUp();
        youtube = std::make_unique<FakeYouTube>();
        service = std::make_shared<GDataServiceGoogleYouTube>();
        service->setShouldCacheResponseData(false);
        service->setServiceShouldFollowNextLinks(false);
        service->setIsServiceRetryEnabled(true);
    }

    void useFeed(const std::string& feedURL) {
        writeConfig("[youtube]\nfeed_url=" + feedURL +
                    "\nchannel=maker\n[credentials]\nstore=file\n");
    }

    struct Page {
        bool done = false;
        GDataFeedYouTubeVideoPtr feed;
        ErrorPtr error;
    };

    Page fetch(long startIndex, const std::string& order) {
        auto query = GDataQueryYouTube::youTubeQueryWithFeedURL(
            GDataServiceGoogleYouTube::youTubeURLForUserID("maker", "uploads"));
        query.setIsAscendingOrder(true);
        query.setStartIndex(startIndex);
        query.setMaxResults(11);
        query.setShouldShowDeleted(false);
        if (order != "updated") {
            query.setOrderBy(order);
        }
        service->clearResponseDataCache();
        Page page;
        service->fetchFeedWithQuery(query,
                                    [&](const auto&, const auto& feed, const ErrorPtr& error) {
                                        page = {true, feed, error};
                                    });
        EXPECT_TRUE(waitFor([&] { return page.done; }));
        return page;
    }

    // The tab's paging: titles of every entry kept, and the number of fetches.
    std::pair<std::vector<std::string>, int> pageThrough(const std::string& order) {
        std::vector<std::string> titles;
        long index = 1;
        int fetches = 0;
        while (index != -1 && fetches < 10) {
            const Page page = fetch(index, order);
            ++fetches;
            const long n = page.feed ? static_cast<long>(page.feed->entries.size()) : 0;
            for (long i = 0; i < std::min(n, 10L); ++i) {
                titles.push_back(page.feed->entries[i]->title);
            }
            index = n > 10 ? index + 10 : -1;
        }
        return {titles, fetches};
    }

    static std::vector<std::string> expectedTitles(int count, const std::string& order) {
        std::vector<int> numbers;
        for (int n = 1; n <= count; ++n)
            numbers.push_back(n);
        if (order == "rating") {
            std::stable_sort(numbers.begin(), numbers.end(), [](int a, int b) {
                return FakeYouTube::ratingOf(a) > FakeYouTube::ratingOf(b);
            });
        } else if (order == "viewCount") {
            std::stable_sort(numbers.begin(), numbers.end(), [](int a, int b) {
                return FakeYouTube::viewsOf(a) > FakeYouTube::viewsOf(b);
            });
        }
        std::vector<std::string> titles;
        for (int n : numbers)
            titles.push_back("Video " + std::to_string(n));
        return titles;
    }

    std::unique_ptr<FakeYouTube> youtube;
    std::shared_ptr<GDataServiceGoogleYouTube> service;
};

TEST_F(YouTubeFeedTest, PagesEveryOrderInBothDialects) {
    for (const bool channel : {false, true}) {
        useFeed(channel ? youtube->channelFeedURL() : youtube->pagedFeedURL());
        for (const int count : {10, 11, 23}) {
            youtube->videoCount = count;
            for (const std::string order : {"updated", "rating", "viewCount"}) {
                // The public channel feed holds the latest 15 videos only.
                const int visible = channel ? std::min(count, 15) : count;
                const auto [titles, fetches] = pageThrough(order);
                EXPECT_EQ(titles, expectedTitles(visible, order))
                    << (channel ? "channel " : "paged ") << count << " " << order;
                EXPECT_EQ(fetches, (visible - 1) / 10 + 1) << count << " " << order;
            }
        }
    }
    // The paged dialect received the tab's query as asked.
    useFeed(youtube->pagedFeedURL());
    fetch(11, "rating");
    const auto last = youtube->requests().back();
    EXPECT_EQ(last.path, "/feeds/api/users/maker/uploads");
    for (const char* part :
         {"start-index=11", "max-results=11", "orderby=rating", "showdeleted=false"}) {
        EXPECT_NE(last.target.find(part), std::string::npos) << part;
    }
}

TEST_F(YouTubeFeedTest, EntriesGiveTitleDurationAndThePlayerAddress) {
    useFeed(youtube->pagedFeedURL());
    youtube->videoCount = 4;
    youtube->entryWithoutGroup = 2;
    youtube->entryWithoutDuration = 3;
    youtube->entryOfAnHour = 4;
    youtube->hostileValues = true;
    const Page page = fetch(1, "updated");
    ASSERT_TRUE(page.feed);
    const auto& entries = page.feed->entries;
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0]->mediaGroup->duration, 15);
    const auto player = entries[0]->mediaGroup->mediaContentWithFormatNumber(5);
    ASSERT_TRUE(player);
    // Values arrive exactly as the feed holds them; escaping is the job of whoever embeds them.
    EXPECT_EQ(player->URLString, "https://www.youtube.com/v/"
                                 "VID00001?f=user_uploads&app=youtube_gdata&x=\"onload=\"alert(1)");
    EXPECT_EQ(entries[0]->title, "Video 1 \"><script>alert(1)</script>");
    EXPECT_FALSE(entries[1]->mediaGroup);
    EXPECT_FALSE(entries[2]->mediaGroup->duration);
    EXPECT_EQ(entries[3]->mediaGroup->duration, 3725);

    useFeed(youtube->channelFeedURL());
    youtube->hostileValues = false;
    const Page channel = fetch(1, "updated");
    ASSERT_TRUE(channel.feed);
    const auto flash = channel.feed->entries[0]->mediaGroup->mediaContentWithFormatNumber(5);
    ASSERT_TRUE(flash);
    EXPECT_EQ(flash->URLString, "https://www.youtube.com/v/VID00001?version=3");
    EXPECT_FALSE(channel.feed->entries[0]->mediaGroup->duration);
    EXPECT_EQ(channel.feed->entries[0]->videoID, "VID00001");
}

TEST_F(YouTubeFeedTest, FailuresAreReportedAndRetriesAreBounded) {
    useFeed(youtube->pagedFeedURL());
    youtube->fault = FakeYouTube::Fault::Status503Once;
    EXPECT_TRUE(fetch(1, "updated").feed);
    EXPECT_EQ(youtube->count("/feeds/api/users/maker/uploads"), 2);

    youtube->fault = FakeYouTube::Fault::Status500Always;
    const Page failed = fetch(1, "updated");
    EXPECT_FALSE(failed.feed);
    ASSERT_TRUE(failed.error);
    EXPECT_EQ(youtube->count("/feeds/api/users/maker/uploads"), 3);

    youtube->fault = FakeYouTube::Fault::Malformed;
    EXPECT_TRUE(fetch(1, "updated").error);
}

TEST_F(YouTubeFeedTest, ExternalEntitiesAndEntityBombsAreRefused) {
    useFeed(youtube->pagedFeedURL());
    const std::string secret = makeFile("secret.txt", 0);
    std::ofstream(secret) << "CANARY-7731";
    youtube->secretPath = secret;
    youtube->fault = FakeYouTube::Fault::ExternalEntity;
    const Page leak = fetch(1, "updated");
    EXPECT_FALSE(leak.feed);
    ASSERT_TRUE(leak.error);
    EXPECT_EQ(leak.error->localizedDescription().find("CANARY"), std::string::npos);
    RunLoop::runFor(0.1);
    EXPECT_EQ(youtube->leakHits(), 0);

    youtube->fault = FakeYouTube::Fault::BillionLaughs;
    const auto started = std::chrono::steady_clock::now();
    const Page bomb = fetch(1, "updated");
    EXPECT_FALSE(bomb.feed);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(),
              1.0);
}

TEST_F(YouTubeFeedTest, ACancelledFetchDropsItsPage) {
    useFeed(youtube->pagedFeedURL());
    youtube->delaySeconds = 0.5;
    auto query = GDataQueryYouTube::youTubeQueryWithFeedURL(
        GDataServiceGoogleYouTube::youTubeURLForUserID("maker", "uploads"));
    bool stale = false;
    auto ticket = service->fetchFeedWithQuery(
        query, [&](const auto&, const auto&, const auto&) { stale = true; });
    ticket->cancelTicket();
    youtube->delaySeconds = 0;
    const Page fresh = fetch(1, "rating");
    EXPECT_TRUE(fresh.feed);
    RunLoop::runFor(0.7);
    EXPECT_FALSE(stale);
}

TEST_F(YouTubeFeedTest, TheChannelNameIsEscapedIntoTheAddress) {
    useFeed("https://www.youtube.com/feeds/videos.xml?channel_id={channel}");
    EXPECT_EQ(GDataServiceGoogleYouTube::youTubeURLForUserID("a&b=c d", "uploads"),
              "https://www.youtube.com/feeds/videos.xml?channel_id=a%26b%3Dc%20d");
}

} // namespace
} // namespace tx
