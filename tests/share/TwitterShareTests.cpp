// Sharing to Twitter from the share screen, end to end against the loopback Twitter and TwitVid:
// the PIN sign-in in the browser, the Echo check, the chunked upload under the sending overlay,
// the tweet; a revoked sign-in, cancelling, a second tap, and a service that is not set up.
#include "SocialTestSupport.h"

#include "services/twitter/SA_OAuthTwitterEngine.h"
#include "share/SA_OAuthTwitterController.h"
#include "share/ShareViewTwitterDelegate.h"
#include "share/UploadCancelControls.h"

#include <algorithm>

namespace tx::test {
namespace {

constexpr const char* kStoredSignIn =
    "oauth_token=AT&oauth_token_secret=ATS&user_id=42&screen_name=tester";

class TwitterShareTest : public SocialTest {
protected:
    SA_OAuthTwitterController* pinScreen(ShareViewController& share) {
        return dynamic_cast<SA_OAuthTwitterController*>(share.presentedViewController());
    }
    // Waits for the PIN screen and for its authorize page to have been opened in the browser
    // (the `count`th page opened in this test).
    SA_OAuthTwitterController* waitForPinScreen(ShareViewController& share, std::size_t count = 1) {
        const bool ready = RunLoop::runUntil(
            [&] {
                auto urls = openedURLs();
                return pinScreen(share) != nullptr && urls.size() >= count &&
                       urls.back().find("/oauth/authorize?oauth_token=") != std::string::npos;
            },
            5);
        return ready ? pinScreen(share) : nullptr;
    }
    void enterPin(SA_OAuthTwitterController& screen, const std::string& text) {
        screen.pinField()->setText(text);
        screen.onSignIn();
    }
    int authenticateCalls() const { return twitvid->count("/api/authenticate"); }
};

TEST_F(TwitterShareTest, FirstShareSignsInWithPinUploadsInChunksAndTweetsTheLink) {
    writeServices(fakes::servicesIni(twitter.get(), twitvid.get(), facebook.get(), nullptr,
                                     "[network]\ntwitvid_chunk_bytes=131072\n"));
    auto share = presentShare(300 * 1024 + 17);
    share->onTwtter();
    SA_OAuthTwitterController* screen = waitForPinScreen(*share);
    ASSERT_NE(screen, nullptr);
    // A PIN pasted with white space around it is accepted.
    enterPin(*screen, "  " + std::string(fakes::FakeTwitter::kPin) + "\n");

    ASSERT_EQ(waitForAlert(), ShareViewTwitterDelegate::kUploadedMessage);
    EXPECT_EQ(share->presentedViewController(), nullptr);
    EXPECT_EQ(twitvid->receivedSha256(), movieSha);
    EXPECT_EQ(twitvid->uploadRequests(), 3);
    ASSERT_TRUE(RunLoop::runUntil([&] { return !twitter->statuses().empty(); }, 5));
    const std::string status = twitter->statuses().front();
    EXPECT_EQ(status.rfind("Movie uploaded successfully http", 0), 0u) << status;
    EXPECT_EQ(ShareViewTwitterDelegate::tweetText("http://x/M1"),
              "Movie uploaded successfully http://x/M1");
    EXPECT_TRUE(twitter->problems().empty());
    EXPECT_TRUE(twitvid->problems().empty());
    // The overlay has gone and the sign-in is kept for next time.
    EXPECT_EQ(share->twitterDelegate()->sending(), nullptr);
    EXPECT_EQ(ShareAccountsBar::twitterAccount(), "tester");
    EXPECT_EQ(share->accountsBar()->twitterLabel()->text(), "Signed in as @tester");
    EXPECT_EQ(sha256(moviePath), movieSha);
}

TEST_F(TwitterShareTest, StoredSignInSkipsThePinScreenAndTheBarGrowsAcrossChunks) {
    writeServices(fakes::servicesIni(twitter.get(), twitvid.get(), facebook.get(), nullptr,
                                     "[network]\ntwitvid_chunk_bytes=65536\n"));
    storeTwitterAuthData(kStoredSignIn);
    // The service takes a moment to answer each chunk, so the bar rests between them.
    twitvid->stallSeconds = 0.3;
    auto share = presentShare(2 * 65536);
    share->onTwtter();
    ASSERT_TRUE(
        RunLoop::runUntil([&] { return share->twitterDelegate()->sending() != nullptr; }, 5));
    EXPECT_EQ(pinScreen(*share), nullptr);
    // Watch the bar on every turn of the loop until the upload ends.
    std::vector<double> widths;
    RunLoop::runUntil(
        [&] {
            if (auto sending = share->twitterDelegate()->sending()) {
                const double width = sending->progressViewLoading()->frame().size.width;
                if (widths.empty() || widths.back() != width) {
                    widths.push_back(width);
                }
            }
            return !alerts().empty();
        },
        5);
    ASSERT_EQ(waitForAlert(), ShareViewTwitterDelegate::kUploadedMessage);
    ASSERT_FALSE(widths.empty());
    EXPECT_TRUE(std::is_sorted(widths.begin(), widths.end()));
    EXPECT_LE(widths.back(), 152.0);
    // Half the movie is half the bar: 76 points once the first of the two chunks is sent.
    EXPECT_NE(std::find(widths.begin(), widths.end(), 76.0), widths.end());
    EXPECT_EQ(twitvid->uploadRequests(), 2);
    EXPECT_EQ(authenticateCalls(), 1);
}

TEST_F(TwitterShareTest, RevokedSignInOpensTheSignInOnceThenFails) {
    storeTwitterAuthData(kStoredSignIn);
    twitter->setRevoked(true);
    auto share = presentShare();
    share->onTwtter();
    // The refused Echo check forgets the sign-in and asks for a new one.
    SA_OAuthTwitterController* screen = waitForPinScreen(*share);
    ASSERT_NE(screen, nullptr);
    EXPECT_TRUE(alerts().empty());
    EXPECT_FALSE(ShareAccountsBar::twitterAccount().has_value());
    enterPin(*screen, fakes::FakeTwitter::kPin);
    // Still refused: this time the attempt ends.
    ASSERT_EQ(waitForAlert(), ShareViewTwitterDelegate::kUploadFailureMessage);
    RunLoop::runFor(0.2);
    EXPECT_EQ(alerts().size(), 1u);
    EXPECT_EQ(authenticateCalls(), 2);
    EXPECT_EQ(pinScreen(*share), nullptr);
    EXPECT_EQ(twitvid->uploadRequests(), 0);
}

TEST_F(TwitterShareTest, EscCancelsTheUploadQuietlyAndASecondTapDoesNothing) {
    storeTwitterAuthData(kStoredSignIn);
    twitvid->stallSeconds = 3;
    auto share = presentShare();
    share->onTwtter();
    ASSERT_TRUE(
        RunLoop::runUntil([&] { return share->twitterDelegate()->sending() != nullptr; }, 5));
    share->onTwtter();
    RunLoop::runFor(0.1);
    EXPECT_EQ(authenticateCalls(), 1);

    window->sendKey(key(KeyEvent::Key::Escape));
    EXPECT_EQ(share->twitterDelegate()->sending(), nullptr);
    EXPECT_FALSE(share->twitterDelegate()->isBusy());
    RunLoop::runFor(0.3);
    EXPECT_TRUE(alerts().empty());
    // Esc went to the overlay, not to the share screen behind it.
    EXPECT_EQ(root->presentedViewController(), share.get());
    for (const ViewPtr& v : window->subviews()) {
        EXPECT_EQ(dynamic_cast<SendingVideoProgressView*>(v.get()), nullptr);
    }
    EXPECT_EQ(sha256(moviePath), movieSha);
}

TEST_F(TwitterShareTest, TheOverlaysCancelButtonTakesItsTapWhileTheRestTakesNothing) {
    storeTwitterAuthData(kStoredSignIn);
    twitvid->stallSeconds = 3;
    auto share = presentShare();
    share->onTwtter();
    ASSERT_TRUE(
        RunLoop::runUntil([&] { return share->twitterDelegate()->sending() != nullptr; }, 5));
    auto* overlay =
        dynamic_cast<CancellableSendingView*>(share->twitterDelegate()->sending().get());
    ASSERT_NE(overlay, nullptr);
    RunLoop::runFor(0.1); // the overlay fades in
    // A tap beside the button (over the share screen's buttons) does nothing.
    window->sendTouch(TouchPhase::Began, Point{60, 420});
    window->sendTouch(TouchPhase::Ended, Point{60, 420});
    EXPECT_NE(share->twitterDelegate()->sending(), nullptr);
    const Rect button = overlay->cancelButton()->frame();
    const Point centre{button.origin.x + button.size.width / 2,
                       button.origin.y + button.size.height / 2};
    window->sendTouch(TouchPhase::Began, centre);
    window->sendTouch(TouchPhase::Ended, centre);
    EXPECT_EQ(share->twitterDelegate()->sending(), nullptr);
    RunLoop::runFor(0.3);
    EXPECT_TRUE(alerts().empty());
    EXPECT_EQ(twitter->statuses().size(), 0u);
}

TEST_F(TwitterShareTest, PinScreenChecksThePinCancelsQuietlyAndReportsAFailedExchange) {
    auto share = presentShare();
    share->onTwtter();
    SA_OAuthTwitterController* screen = waitForPinScreen(*share);
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(SA_OAuthTwitterController::trimmedPin(" \t1234567 \n"), "1234567");
    enterPin(*screen, "12345");
    EXPECT_NE(screen->statusLabel()->text().find("7 characters"), std::string::npos);
    EXPECT_EQ(pinScreen(*share), screen);

    window->sendKey(key(KeyEvent::Key::Escape));
    ASSERT_TRUE(RunLoop::runUntil([&] { return pinScreen(*share) == nullptr; }, 3));
    RunLoop::runFor(0.1);
    EXPECT_TRUE(alerts().empty());
    EXPECT_FALSE(share->twitterDelegate()->isBusy());

    // A wrong PIN ends the attempt with a message.
    share->onTwtter();
    screen = waitForPinScreen(*share, 2);
    ASSERT_NE(screen, nullptr);
    enterPin(*screen, "7654321");
    const std::string message = waitForAlert();

    EXPECT_EQ(message.rfind(ShareViewTwitterDelegate::kSignInFailedMessage, 0), 0u) << message;
    EXPECT_EQ(message.find("sign-in failed", 10), std::string::npos) << "said once: " << message;
    EXPECT_EQ(authenticateCalls(), 0);
}

TEST(TwitterSignInFailure, TheAlertNamesTheFailureOnce) {
    struct Case {
        ErrorPtr error;
        const char* want;
    };
    const Case cases[] = {
        {nullptr, "Twitter sign-in failed"},
        {Error::make("HTTPError", 401, "The sign-in failed: the service answered with status 401"),
         "Twitter sign-in failed: the service answered with status 401"},
        {Error::make("The sign-in failed", 0, "Twitter sent no access token"),
         "Twitter sign-in failed: Twitter sent no access token"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ShareViewTwitterDelegate::signInFailureText(c.error), c.want);
}

TEST_F(TwitterShareTest, WithoutConfigurationTheButtonIsDimmedAndSaysWhatToSet) {
    writeServices(fakes::servicesIni(nullptr, nullptr, facebook.get(), nullptr));
    auto share = presentShare();
    EXPECT_LT(share->twitterButton()->alpha(), 1.0);
    EXPECT_EQ(share->facebookButton()->alpha(), 1.0);
    share->onTwtter();
    const std::string message = waitForAlert();
    EXPECT_NE(message.find("[twitter]"), std::string::npos) << message;
    EXPECT_NE(message.find("services.ini"), std::string::npos) << message;
    EXPECT_TRUE(openedURLs().empty());
}

TEST_F(TwitterShareTest, SignedInAccountIsShownAndSignOutForgetsIt) {
    storeTwitterAuthData(kStoredSignIn);
    auto share = presentShare();
    auto bar = share->accountsBar();
    EXPECT_EQ(bar->twitterLabel()->text(), "Signed in as @tester");
    EXPECT_FALSE(bar->twitterSignOut()->isHidden());
    EXPECT_TRUE(bar->facebookSignOut()->isHidden());
    bar->twitterSignOut()->sendActionsForControlEvents(ControlEventTouchUpInside);
    EXPECT_FALSE(loadTwitterAuthData().has_value());
    EXPECT_TRUE(bar->twitterLabel()->isHidden());
}

} // namespace
} // namespace tx::test
