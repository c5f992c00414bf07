#include "app/CustomEffectSound.h"
#include "app/TaluvexAppDelegate.h"

#include "AppTestSupport.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ViewController.h"

#include <gtest/gtest.h>
#include <filesystem>
#include <functional>
#include <fstream>

namespace tx {
namespace {

using test::ManualClock;

// A main screen that only records what the delegate asks of it.
class FakeMainScreen : public ViewController, public MainScreen {
public:
    bool recording = false;
    bool busy = false;
    int cancels = 0;
    int stops = 0;
    int appearances = 0;

    bool isRecording() const override { return recording; }
    void cancelRecording() override {
        ++cancels;
        recording = false;
    }
    std::shared_ptr<AVCaptureMgr> avCaptureMgr() const override { return nullptr; }
    ViewController& mainViewController() override { return *this; }
    bool isBusy() const override { return busy || recording; }
    void stopForQuit() override { ++stops; }
    void viewWillAppear(bool) override { ++appearances; }
};

// A session that records what it was asked and reports when told to.
class FakeSession : public FacebookSession {
public:
    std::vector<std::string> permissions;
    bool allowedLoginUI = true;
    int opens = 0;
    int clears = 0;
    int activations = 0;
    std::vector<std::string> urls;
    StateHandler handler;

    bool openWithReadPermissions(const std::vector<std::string>& asked, bool allowLoginUI,
                                 StateHandler stateHandler) override {
        ++opens;
        permissions = asked;
        allowedLoginUI = allowLoginUI;
        handler = std::move(stateHandler);
        return false;
    }
    bool isOpen() const override { return false; }
    int state() const override { return FBSessionStateCreated; }
    void closeAndClearTokenInformation() override { ++clears; }
    bool handleOpenURL(const std::string& url) override {
        urls.push_back(url);
        return true;
    }
    void handleDidBecomeActive() override { ++activations; }
};

std::shared_ptr<AlertView> shownAlert() {
    Window* window = Window::keyWindow();
    if (window == nullptr) {
        return nullptr;
    }
    const auto& views = window->subviews();
    for (auto it = views.rbegin(); it != views.rend(); ++it) {
        if (auto alert = std::dynamic_pointer_cast<AlertView>(*it)) {
            return alert;
        }
    }
    return nullptr;
}

class StartUpTest : public test::DocumentsTest {
protected:
    void SetUp() override {
        test::DocumentsTest::SetUp();
        FacebookSession::setActiveSession(session);
        delegate->setViewController(std::shared_ptr<MainScreen>(main));
        Application::sharedApplication().setDelegate(delegate);
    }
    void TearDown() override {
        Application::sharedApplication().setDelegate(nullptr);
        FacebookSession::setActiveSession(nullptr);
        test::DocumentsTest::TearDown();
    }
    void launch() { delegate->applicationDidFinishLaunching(Application::sharedApplication()); }

    ManualClock clock;
    std::shared_ptr<FakeSession> session = std::make_shared<FakeSession>();
    std::shared_ptr<FakeMainScreen> main = std::make_shared<FakeMainScreen>();
    std::shared_ptr<TaluvexAppDelegate> delegate = std::make_shared<TaluvexAppDelegate>();
};

TEST_F(StartUpTest, LaunchSelectsTrackOneSlidesTheMainScreenUpAndOpensTheSessionQuietly) {
    delegate->selectAudioTrack(TaluvexAppDelegate::kAudioTypeMute);
    launch();
    EXPECT_EQ(delegate->audioType(), TaluvexAppDelegate::kAudioTypeBuiltInTrack);
    EXPECT_EQ(delegate->audioTrackIndex(), 0);
    EXPECT_EQ(delegate->audioTitle(), "Track 1");

    ASSERT_TRUE(delegate->window());
    EXPECT_TRUE(delegate->window()->isKeyWindow());
    EXPECT_FALSE(delegate->window()->isHidden());
    EXPECT_EQ(main->appearances, 1); // the root screen hears it appears: the camera starts

    // Half-way, the launch picture has moved up by half the screen and the main view with it.
    const double h = Screen::mainScreen().bounds().height();
    auto launchPicture = delegate->launchImageView();
    ASSERT_TRUE(launchPicture);
    clock.now += 0.5;
    EXPECT_NEAR(launchPicture->presentationFrame().origin.y, -h / 2, 1);
    EXPECT_NEAR(main->view()->presentationFrame().origin.y, h / 2, 1);
    // The launch picture lies under the main view.
    const auto& views = delegate->window()->subviews();
    auto position = [&](const View* v) {
        return std::find_if(views.begin(), views.end(),
                            [&](const ViewPtr& p) { return p.get() == v; }) -
               views.begin();
    };
    EXPECT_LT(position(launchPicture.get()), position(main->view().get()));

    clock.now += 0.6;
    EXPECT_TRUE(RunLoop::runUntil([&] { return !delegate->launchImageView(); }, 2));
    EXPECT_EQ(launchPicture->superview(), nullptr);
    EXPECT_EQ(main->view()->frame(), Rect(0, 0, 320, h));

    EXPECT_EQ(session->opens, 1);
    EXPECT_FALSE(session->allowedLoginUI);
    EXPECT_EQ(session->permissions, (std::vector<std::string>{"user_videos", "publish_actions"}));
}

// A Documents folder that cannot hold movies is said at start, naming it and what is wrong.
TEST_F(StartUpTest, AnUnusableDocumentsFolderIsSaidAtLaunch) {
    launch();
    EXPECT_FALSE(shownAlert()) << "a usable folder says nothing";
    delegate = std::make_shared<TaluvexAppDelegate>();
    delegate->setViewController(std::shared_ptr<MainScreen>(main));
    struct Case {
        const char* what;
        std::function<void()> arrange;
        const char* said;
    };
    const std::vector<Case> cases = {
        {"a file", [&] { std::ofstream(documents) << "x"; }, "is a file, not a folder"},
        {"a loop of links",
         [&] {
             std::filesystem::create_symlink(documents + ".b", documents);
             std::filesystem::create_symlink(documents, documents + ".b");
         },
         "loop of symbolic links"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(documents);
        std::filesystem::remove(documents + ".b");
        c.arrange();
        testing::internal::CaptureStderr();
        launch();
        const std::string said = testing::internal::GetCapturedStderr();
        auto alert = shownAlert();
        ASSERT_TRUE(alert);
        EXPECT_NE(alert->message().find(documents), std::string::npos) << alert->message();
        EXPECT_NE(alert->message().find(c.said), std::string::npos) << alert->message();
        EXPECT_NE(said.find(c.said), std::string::npos) << said;
        alert->dismissWithClickedButtonIndex(0, false);
    }
    std::filesystem::remove(documents);
    std::filesystem::remove(documents + ".b");
}

TEST_F(StartUpTest, TheDoorSoundPlaysATenthOfASecondIntoTheTransition) {
    CustomEffectSound::share()->setPlayer(nullptr);
    launch();
    EXPECT_FALSE(CustomEffectSound::share()->player());
    EXPECT_TRUE(
        RunLoop::runUntil([] { return CustomEffectSound::share()->player() != nullptr; }, 1));
}

TEST_F(StartUpTest, SessionReportsArePostedUnderTheAppIdAndClosedSessionsForgetTheirToken) {
    launch();
    std::vector<const Object*> posted;
    NotificationCenter::defaultCenter().addObserver(
        this, "org.taluvex.Taluvex:SCSessionStateChangedNotification",
        [&](const Notification& note) { posted.push_back(note.object.get()); });
    ASSERT_TRUE(session->handler);

    session->handler(session, FBSessionStateOpen, nullptr);
    EXPECT_EQ(session->clears, 0);
    session->handler(session, FBSessionStateClosed, nullptr);
    EXPECT_EQ(session->clears, 1);
    EXPECT_EQ(posted, (std::vector<const Object*>{session.get(), session.get()}));
    EXPECT_FALSE(shownAlert());

    // An error is named, and the state change is posted all the same.
    session->handler(session, FBSessionStateClosed, Error::make("com.facebook.sdk", 9));
    auto alert = shownAlert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->title(), "Error");
    EXPECT_EQ(alert->message(), "[Unknown]");
    EXPECT_EQ(posted.size(), 3u);
    alert->dismissWithClickedButtonIndex(0, false);

    // Where the session says what happened, the alert says it after the name.
    session->handler(session, FBSessionStateClosedLoginFailed,
                     Error::make("Facebook", 2, "The sign-in was not finished in time."));
    alert = shownAlert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->message(), "LoginFailedOrCancelled\nThe sign-in was not finished in time.");
    NotificationCenter::defaultCenter().removeObserver(this);
}

TEST(FacebookErrors, EveryCodeHasAName) {
    const char* const names[] = {
        "Invalid",          "OperationCancelled", "LoginFailedOrCancelled",  "RequestConnectionApi",
        "ProtocolMismatch", "HTTPError",          "NonTextMimeTypeReturned", "NativeDialog"};
    for (long code = 0; code < 8; ++code) {
        EXPECT_EQ(TaluvexAppDelegate::FBErrorCodeDescription(code), names[code]);
    }
    EXPECT_EQ(TaluvexAppDelegate::FBErrorCodeDescription(8), "[Unknown]");
    EXPECT_EQ(TaluvexAppDelegate::FBErrorCodeDescription(-1), "[Unknown]");
}

TEST_F(StartUpTest, ResigningActiveEndsARecordingOnlyWhileOneRuns) {
    launch();
    Application& application = Application::sharedApplication();
    delegate->applicationWillResignActive(application);
    EXPECT_EQ(main->cancels, 0);
    main->recording = true;
    delegate->applicationWillResignActive(application);
    EXPECT_EQ(main->cancels, 1);
}

TEST_F(StartUpTest, ActivationAndIncomingAddressesReachTheSession) {
    launch();
    // The shown window may take the desktop's focus on its own, which also counts as activation.
    RunLoop::runFor(0.1);
    const int activationsBefore = session->activations;
    Application& application = Application::sharedApplication();
    delegate->applicationDidBecomeActive(application);
    EXPECT_EQ(session->activations, activationsBefore + 1);
    EXPECT_TRUE(application.deliverOpenURL("fb123://authorize#token", "browser"));
    EXPECT_EQ(session->urls, (std::vector<std::string>{"fb123://authorize#token"}));
}

TEST_F(StartUpTest, ClosingWhileBusyAsksAndOnlyQuitStopsTheWork) {
    launch();
    Application& application = Application::sharedApplication();
    EXPECT_TRUE(delegate->applicationShouldTerminate(application)); // idle: closes at once

    main->busy = true;
    EXPECT_FALSE(delegate->applicationShouldTerminate(application));
    auto alert = shownAlert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->message(), "Stop and quit?");
    // Asking again while the question is open does not stack a second one.
    EXPECT_FALSE(delegate->applicationShouldTerminate(application));

    delegate->alertViewClickedButtonAtIndex(*alert, alert->cancelButtonIndex());
    EXPECT_EQ(main->stops, 0);

    EXPECT_FALSE(delegate->applicationShouldTerminate(application));
    alert = shownAlert();
    ASSERT_TRUE(alert);
    delegate->alertViewClickedButtonAtIndex(*alert, alert->firstOtherButtonIndex());
    EXPECT_EQ(main->stops, 1);
}

} // namespace
} // namespace tx
