// Sharing to Facebook from its panel, end to end against the loopback Facebook: the browser
// sign-in started by Share and the upload that follows by itself, the publish permission asked
// for once, the bound on repeats, cancelling; and the session start-up installs.
#include "SocialTestSupport.h"

#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/Button.h"
#include "platform/ui/Screen.h"
#include "services/hud/MBProgressHUD.h"
#include "share/ShareFacebookViewController.h"
#include "share/ShareViewFacebookDelegate.h"

namespace tx::test {
namespace {

class FacebookShareTest : public SocialTest {
protected:
    std::shared_ptr<ShareFacebookViewController> showPanel() {
        presentShare();
        auto panel = std::make_shared<ShareFacebookViewController>();
        panel->setPath(moviePath);
        panel->show();
        return panel;
    }
    // A stored sign-in, as a past run leaves it.
    void storeSignIn(bool publish) {
        nlohmann::json permissions = {"user_videos"};
        if (publish) {
            permissions.push_back("publish_actions");
        }
        nlohmann::json stored = {
            {"token", fakes::FakeFacebook::kToken}, {"expiresAt", 0}, {"permissions", permissions}};
        CredentialStore::shared().store(kFacebookSessionKey, stored.dump());
    }
    void openStoredSession() {
        app->openSessionWithAllowLoginUI(false, TaluvexAppDelegate::facebookReadPermissions());
        ASSERT_TRUE(
            RunLoop::runUntil([] { return FacebookSession::activeSession()->isOpen(); }, 3));
        // The report of the opening arrives on a later turn.
        RunLoop::runFor(0.05);
    }
    int uploads() const {
        return facebook->count("/" + std::string(fakes::FakeFacebook::kVersion) + "/me/videos");
    }
    bool hudShown() const { return MBProgressHUD::HUDForView(*window) != nullptr; }
};

TEST_F(FacebookShareTest, ShareWithoutSessionSignsInInTheBrowserThenUploadsWithoutASecondTap) {
    auto panel = showPanel();
    EXPECT_EQ(panel->reference(), panel);
    EXPECT_TRUE(panel->tv_msg()->isFirstResponder());
    panel->onShare();
    EXPECT_TRUE(panel->isWaitingForLogin());
    EXPECT_FALSE(panel->waitingView()->isHidden());
    // A second tap while the browser is open starts nothing more.
    panel->onShare();
    // Once the sign-in has started the upload, another "open" report sends nothing more.
    ASSERT_TRUE(RunLoop::runUntil([&] { return hudShown(); }, 5));
    NotificationCenter::defaultCenter().post(TaluvexAppDelegate::sessionStateChangedNotification(),
                                             FacebookSession::activeSession());

    ASSERT_EQ(waitForAlert(), ShareViewFacebookDelegate::kUploadedMessage);
    EXPECT_EQ(uploads(), 1);
    EXPECT_EQ(facebook->receivedSha256(), movieSha);
    EXPECT_TRUE(facebook->problems().empty());
    // An empty message gives the title "Movie uploaded successfully" and an empty description.
    const auto requests = facebook->requests();
    for (const auto& request : requests) {
        if (request.path.find("/me/videos") == std::string::npos) {
            continue;
        }
        for (const auto& part : request.parts) {
            if (part.name == "title") {
                EXPECT_EQ(part.value, "Movie uploaded successfully");
            } else if (part.name == "description") {
                EXPECT_EQ(part.value, "");
            } else if (part.name == "contentType") {
                EXPECT_EQ(part.value, "video/quicktime");
            }
        }
    }
    EXPECT_FALSE(hudShown());
    // The panel slides out and lets itself go.
    ASSERT_TRUE(RunLoop::runUntil([&] { return panel->reference() == nullptr; }, 3));
    EXPECT_EQ(panel->view()->superview(), nullptr);
    EXPECT_TRUE(ShareAccountsBar::facebookSignedIn());
    auto* share = dynamic_cast<ShareViewController*>(root->presentedViewController());
    ASSERT_NE(share, nullptr);
    EXPECT_EQ(share->accountsBar()->facebookLabel()->text(), "Signed in to Facebook");
    EXPECT_FALSE(share->accountsBar()->facebookSignOut()->isHidden());
}

// The "Uploading..." box and its Cancel leave the typed message in sight, on either screen height.
TEST_F(FacebookShareTest, TheUploadingBoxLeavesTheMessageInSight) {
    const double height = Screen::mainScreen().bounds().height();
    for (const double screenHeight : {480.0, 568.0}) {
        SCOPED_TRACE(screenHeight);
        Screen::mainScreen().setHeight(screenHeight);
        window->setFrame(Screen::mainScreen().bounds());
        auto panel = showPanel();
        auto hud = panel->showUploadingBox();
        ASSERT_TRUE(hud);
        const Rect message = panel->tv_msg()->convertRectToView(panel->tv_msg()->bounds(), nullptr);
        const Rect box = hud->convertRectToView(hud->boxFrame(), nullptr);
        EXPECT_FALSE(box.intersects(message));
        View* cancel = nullptr;
        for (const ViewPtr& v : hud->subviews())
            if (auto* button = dynamic_cast<Button*>(v.get()))
                cancel = button;
        ASSERT_NE(cancel, nullptr);
        EXPECT_FALSE(cancel->convertRectToView(cancel->bounds(), nullptr).intersects(message));
        EXPECT_GE(box.minY(), 0);
        hud->hide(false);
        panel->hide();
        RunLoop::runFor(0.6);
        root->dismissViewController(false);
    }
    Screen::mainScreen().setHeight(height);
    window->setFrame(Screen::mainScreen().bounds());
}

TEST_F(FacebookShareTest, PermissionErrorAsksForPublishingOnceAndRepeatsTheSameUpload) {
    storeSignIn(false);
    openStoredSession();
    facebook->videos = fakes::FakeFacebook::Videos::PermissionError;
    // Granting the permission in the browser makes the server accept the upload.
    beforeBrowsing = [this](const std::string& url) {
        if (url.find("publish_actions") != std::string::npos) {
            facebook->videos = fakes::FakeFacebook::Videos::Ok;
        }
    };
    auto panel = showPanel();
    panel->tv_msg()->setText("Backwards!");
    panel->onShare();
    ASSERT_EQ(waitForAlert(), ShareViewFacebookDelegate::kUploadedMessage);
    EXPECT_EQ(uploads(), 2);
    EXPECT_EQ(facebook->receivedSha256(), movieSha);
    // The grant reports "token extended", which must not start a third upload.
    RunLoop::runFor(0.3);
    EXPECT_EQ(uploads(), 2);
    EXPECT_EQ(alerts().size(), 1u);
    ASSERT_TRUE(RunLoop::runUntil([&] { return panel->reference() == nullptr; }, 3));
}

TEST_F(FacebookShareTest, AServerThatAlwaysRefusesGetsOneRepeatThenTheResultAlert) {
    storeSignIn(true);
    facebook->publishGranted = true;
    openStoredSession();
    facebook->videos = fakes::FakeFacebook::Videos::PermissionError;
    auto panel = showPanel();
    panel->onShare();
    ASSERT_TRUE(RunLoop::runUntil([&] { return !alerts().empty(); }, 5));
    RunLoop::runFor(0.3);
    EXPECT_EQ(uploads(), 2);
    ASSERT_EQ(alerts().size(), 1u);
    EXPECT_EQ(alerts()[0]->title(), "Result");
    EXPECT_EQ(alerts()[0]->message(), "error: domain = Facebook, code = HTTPError(5)");
    EXPECT_FALSE(hudShown());
    // The panel stays with the message so the user can try again.
    EXPECT_EQ(panel->reference(), panel);
    dismissAlerts();
    panel->onShare();
    ASSERT_TRUE(RunLoop::runUntil([&] { return !alerts().empty(); }, 5));
    EXPECT_EQ(uploads(), 4);
}

TEST_F(FacebookShareTest, EscOnTheProgressBoxCancelsQuietlyAndTheSessionReopeningStartsNothing) {
    storeSignIn(true);
    openStoredSession();
    auto panel = showPanel();
    panel->onShare();
    ASSERT_TRUE(hudShown());
    EXPECT_EQ(MBProgressHUD::HUDForView(*window)->labelText(), "Uploading...");
    EXPECT_TRUE(panel->facebookDelegate()->isUploading());
    // Another "open" report while the upload runs must not send the movie again.
    NotificationCenter::defaultCenter().post(TaluvexAppDelegate::sessionStateChangedNotification(),
                                             FacebookSession::activeSession());
    window->sendKey(key(KeyEvent::Key::Escape));
    EXPECT_FALSE(panel->facebookDelegate()->isUploading());
    RunLoop::runFor(0.5);
    EXPECT_FALSE(hudShown());
    EXPECT_TRUE(alerts().empty());
    EXPECT_LE(uploads(), 1);
    EXPECT_EQ(root->presentedViewController() != nullptr, true);
    EXPECT_EQ(sha256(moviePath), movieSha);
    // Esc again closes the panel.
    window->sendKey(key(KeyEvent::Key::Escape));
    ASSERT_TRUE(RunLoop::runUntil([&] { return panel->reference() == nullptr; }, 3));
}

TEST_F(FacebookShareTest, RefusedSignInShowsTheErrorNameAndKeepsThePanel) {
    facebook->dialog = fakes::FakeFacebook::Dialog::Deny;
    auto panel = showPanel();
    panel->onShare();
    // The error's name, then what happened.
    ASSERT_EQ(waitForAlert(), "LoginFailedOrCancelled\nYou declined the Facebook sign-in.");
    EXPECT_EQ(alerts()[0]->title(), "Error");
    RunLoop::runUntil([&] { return !panel->isWaitingForLogin(); }, 2);
    EXPECT_FALSE(panel->isWaitingForLogin());
    EXPECT_TRUE(panel->waitingView()->isHidden());
    EXPECT_EQ(uploads(), 0);
    EXPECT_EQ(panel->reference(), panel);
}

TEST_F(FacebookShareTest, StartUpOpensAStoredSessionSilentlyAndClosedClearsIt) {
    storeSignIn(true);
    std::vector<int> states;
    NotificationCenter::defaultCenter().addObserver(
        this, TaluvexAppDelegate::sessionStateChangedNotification(), [&](const Notification& n) {
            auto session = std::dynamic_pointer_cast<FacebookSession>(n.object);
            states.push_back(session ? session->state() : -1);
            EXPECT_EQ(session, FacebookSession::activeSession());
        });
    openStoredSession();
    EXPECT_TRUE(openedURLs().empty());
    EXPECT_EQ(states, std::vector<int>{FBSessionStateOpen});
    // The closed state clears the stored sign-in even without an error.
    app->sessionStateChanged(FacebookSession::activeSession(), FBSessionStateClosed, nullptr);
    NotificationCenter::defaultCenter().removeObserver(this);
    EXPECT_FALSE(CredentialStore::shared().load(kFacebookSessionKey).has_value());
    EXPECT_FALSE(FacebookSession::activeSession()->isOpen());
    EXPECT_TRUE(alerts().empty());
    // An incoming address that is not the sign-in's is not taken.
    EXPECT_FALSE(app->applicationOpenURL(Application::sharedApplication(),
                                         "http://127.0.0.1:1/facebook-login?code=x", {}));
}

TEST_F(FacebookShareTest, TheFramedPictureIsASquareTurnedOnACanvasOfItsSize) {
    QImage wide(200, 100, QImage::Format_ARGB32);
    wide.fill(Qt::red);
    ImagePtr tilted =
        ShareFacebookViewController::tiltedPicture(std::make_shared<Image>(wide, 1.0));
    ASSERT_NE(tilted, nullptr);
    EXPECT_EQ(tilted->size().width, 100);
    EXPECT_EQ(tilted->size().height, 100);
    const QImage pixels = tilted->pixels();
    // The centre is picture; the corners are cut by the turn.
    EXPECT_GT(qAlpha(pixels.pixel(pixels.width() / 2, pixels.height() / 2)), 200);
    EXPECT_LT(qAlpha(pixels.pixel(1, 1)), 60);
    EXPECT_EQ(ShareFacebookViewController::tiltedPicture(nullptr), nullptr);

    auto panel = showPanel();
    EXPECT_NE(panel->iv_image()->maskImage(), nullptr);
}

} // namespace
} // namespace tx::test
