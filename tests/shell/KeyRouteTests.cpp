// Keys on the application's window go to the screen on top and nothing below it: every screen
// that can cover the main screen is opened in turn and typed at with the main screen's and the
// settings panel's keys, and the covered main screen never acts.
#include "ShellTestSupport.h"

#include "library/MoviesViewController.h"
#include "library/MyMoviesViewController.h"
#include "platform/system/ImagePickerController.h"
#include "platform/system/MediaPickerController.h"
#include "platform/system/MovieTrimViewController.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/ShortcutListView.h"
#include "settings/SoundTrackViewController.h"
#include "share/MyMPMoviePlayerViewController.h"
#include "platform/ui/Application.h"
#include "services/http/ServiceConfig.h"
#include "share/SA_OAuthTwitterController.h"
#include "share/ShareFacebookViewController.h"
#include "share/ShareViewController.h"
#include "share/SubmitToContestNoticeViewController.h"
#include "share/YoutubeViewController.h"
#include "support/FakeServices.h"

#include <cstdlib>
#include <functional>

namespace tx::test {
namespace {

namespace fs = std::filesystem;

class KeyRouteTest : public LaunchedAppTest {
protected:
    void SetUp() override {
        LaunchedAppTest::SetUp();
        // The library opens on the tab it was left on: my movies.
        AppConfigureInfo::shareAppConfigureInfo()->setMoviesTabIndex(0);
    }
    // What a key meant for the main screen or its settings panel would change.
    struct MainScreenState {
        bool recording = false;
        bool rendering = false;
        bool panelOpen = false;
        int speed = 0;
        int quality = 0;
        int cameraPosition = 0;
        double turnX = 0;
        double turnY = 0;
        const AlertView* alert = nullptr;
        int pickers = 0;
        int libraries = 0;
        bool operator==(const MainScreenState&) const = default;
    };

    template <typename T> int layersOf() {
        int count = 0;
        for (const ViewPtr& layer : window().subviews())
            count += dynamic_cast<T*>(layer->viewController()) != nullptr;
        return count;
    }
    MainScreenState mainScreenState() {
        MainScreenState state;
        state.recording = main->isRecording() || main->recordButton()->isSelected() ||
                          main->avCaptureMgr()->isCapture();
        state.rendering = main->avRenderMgr() != nullptr;
        state.panelOpen = main->settingViewController()->isOpen();
        auto config = AppConfigureInfo::shareAppConfigureInfo();
        state.speed = config->videoSpeed();
        state.quality = config->quality();
        state.cameraPosition = main->avCaptureMgr()->getCurDevicePosition();
        const auto turn = Accelerometer::sharedAccelerometer().simulatedAcceleration();
        state.turnX = turn.x;
        state.turnY = turn.y;
        state.alert = main->lastAlert().get();
        state.pickers = layersOf<ImagePickerController>();
        state.libraries = layersOf<MoviesViewController>();
        return state;
    }
    template <typename T> T* top() {
        for (auto it = window().subviews().rbegin(); it != window().subviews().rend(); ++it)
            if (auto* found = dynamic_cast<T*>((*it)->viewController()))
                return found;
        return nullptr;
    }
    template <typename T> T* waitForTop() {
        T* found = nullptr;
        RunLoop::runUntil(
            [&] {
                found = top<T>();
                return found && !found->view()->hasAnimations();
            },
            10);
        return found;
    }
    std::string addMovie() {
        ClipSpec spec;
        spec.seconds = 1.5;
        const std::string path = documents + "/movie.mov";
        fs::copy_file(makeClip(spec), path);
        return path;
    }
    bool openPanel() {
        press(",");
        return RunLoop::runUntil(
            [&] {
                return main->settingViewController()->isOpen() &&
                       !main->settingViewController()->view()->hasAnimations();
            },
            3);
    }
    ShareViewController* openShareScreen() {
        addMovie();
        press("l");
        if (!waitForTop<MoviesViewController>())
            return nullptr;
        pressKey(KeyEvent::Key::Down);
        pressKey(KeyEvent::Key::Return);
        return waitForTop<ShareViewController>();
    }
};

struct Cover {
    const char* name;
    std::function<bool(KeyRouteTest&)> open;
};

// Each opener leaves its screen on top and says whether it got there.
class CoveredScreenTest : public KeyRouteTest, public ::testing::WithParamInterface<Cover> {
public:
    using KeyRouteTest::openPanel;
    using KeyRouteTest::openShareScreen;
    using KeyRouteTest::press;
    using KeyRouteTest::pressKey;
    template <typename T> T* waitFor() { return waitForTop<T>(); }
    void TearDown() override {
        if (_configured) {
            unsetenv("XDG_CONFIG_HOME");
            ServiceConfig::reload();
        }
        if (_services)
            Application::setOpenURLHandler(nullptr);
        KeyRouteTest::TearDown();
        _twitvid.reset();
        _twitter.reset();
        _facebook.reset();
    }
    // A contest address in a configuration of the test's own.
    void configureContest(const std::string& more = {}) {
        const fs::path config = fs::path(documents).parent_path() / "config";
        fs::create_directories(config / "taluvex");
        std::ofstream(config / "taluvex" / "services.ini")
            << more << "\n[contest]\naddress=contest@example.org\n";
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        ServiceConfig::reload();
        _configured = true;
    }
    // Twitter, its video host and Facebook on the loopback; pages meant for the browser are
    // only noted.
    void configureServices() {
        unsetenv("http_proxy");
        unsetenv("https_proxy");
        _twitter = std::make_unique<fakes::FakeTwitter>();
        _twitvid = std::make_unique<fakes::FakeTwitVid>(*_twitter);
        _facebook = std::make_unique<fakes::FakeFacebook>();
        configureContest(
            fakes::servicesIni(_twitter.get(), _twitvid.get(), _facebook.get(), nullptr));
        Application::setOpenURLHandler([](const std::string&) { return true; });
        _services = true;
    }
    // The share screen's key `key` opens a T over it, with the online services at hand.
    template <typename T> bool openOverShare(const char* key) {
        configureServices();
        if (!openShareScreen())
            return false;
        press(key);
        return waitFor<T>() != nullptr;
    }
    bool _configured = false;
    bool _services = false;
    std::unique_ptr<fakes::FakeTwitter> _twitter;
    std::unique_ptr<fakes::FakeTwitVid> _twitvid;
    std::unique_ptr<fakes::FakeFacebook> _facebook;
    Window& win() { return window(); }
    std::string movie() { return addMovie(); }
};

TEST_P(CoveredScreenTest, MainScreenAndSettingsKeysNeverReachTheCoveredScreen) {
    launch();
    ASSERT_TRUE(GetParam().open(*this)) << GetParam().name << " did not open";
    const MainScreenState before = mainScreenState();
    const std::vector<KeyEvent> keys = {
        {KeyEvent::Key::Character, " "},  {KeyEvent::Key::Character, "o"},
        {KeyEvent::Key::Character, "L"},  {KeyEvent::Key::Character, "c"},
        {KeyEvent::Key::Character, ","}, {KeyEvent::Key::Character, "q"},
        {KeyEvent::Key::Left},            {KeyEvent::Key::Right},
        {KeyEvent::Key::Left, {}, false, true}, {KeyEvent::Key::Right, {}, false, true},
    };
    for (const KeyEvent& key : keys) {
        window().sendKey(key);
        RunLoop::runFor(0.02);
        EXPECT_EQ(mainScreenState(), before)
            << GetParam().name << ": the key \"" << key.text << "\" (" << static_cast<int>(key.key)
            << ") acted on the covered main screen";
    }
}

bool alertIsUp(KeyRouteTest&) {
    auto alert = std::make_shared<AlertView>("", "Something to read.",
                                             std::weak_ptr<AlertViewDelegate>(), "OK",
                                             std::vector<std::string>{});
    alert->show();
    return alert->isVisible();
}

INSTANTIATE_TEST_SUITE_P(
    EveryCover, CoveredScreenTest,
    ::testing::Values(
        Cover{"library",
              [](KeyRouteTest& t) {
                  auto& c = static_cast<CoveredScreenTest&>(t);
                  c.press("l");
                  return c.waitFor<MoviesViewController>() != nullptr;
              }},
        Cover{"share screen",
              [](KeyRouteTest& t) {
                  return static_cast<CoveredScreenTest&>(t).openShareScreen() != nullptr;
              }},
        Cover{"player",
              [](KeyRouteTest& t) {
                  auto& c = static_cast<CoveredScreenTest&>(t);
                  if (!c.openShareScreen())
                      return false;
                  c.press("p");
                  return c.waitFor<MyMPMoviePlayerViewController>() != nullptr;
              }},
        Cover{"sound picker",
              [](KeyRouteTest& t) {
                  auto& c = static_cast<CoveredScreenTest&>(t);
                  if (!c.openPanel())
                      return false;
                  c.press("s");
                  return c.waitFor<SoundTrackViewController>() != nullptr;
              }},
        Cover{"music library",
              [](KeyRouteTest& t) {
                  auto& c = static_cast<CoveredScreenTest&>(t);
                  AppConfigureInfo::shareAppConfigureInfo()->setSoundtrackNotice(true);
                  if (!c.openPanel())
                      return false;
                  c.press("s");
                  if (!c.waitFor<SoundTrackViewController>())
                      return false;
                  for (int i = 0; i < 3; i++)
                      c.pressKey(KeyEvent::Key::Up);
                  c.pressKey(KeyEvent::Key::Return);
                  return c.waitFor<MediaPickerController>() != nullptr;
              }},
        Cover{"movie picker",
              [](KeyRouteTest& t) {
                  auto& c = static_cast<CoveredScreenTest&>(t);
                  c.press("o");
                  return c.waitFor<ImagePickerController>() != nullptr;
              }},
        Cover{"trim screen",
              [](KeyRouteTest& t) {
                  auto& c = static_cast<CoveredScreenTest&>(t);
                  c.win().platformFilesDropped({c.movie()});
                  auto* picker = c.waitFor<ImagePickerController>();
                  return picker && RunLoop::runUntil([&] { return picker->trimViewController() != nullptr; }, 5);
              }},
        Cover{"YouTube tab",
              [](KeyRouteTest& t) {
                  auto& c = static_cast<CoveredScreenTest&>(t);
                  c.press("l");
                  auto* library = c.waitFor<MoviesViewController>();
                  if (!library)
                      return false;
                  c.pressKey(KeyEvent::Key::Tab, true);
                  return RunLoop::runUntil(
                      [&] {
                          return dynamic_cast<YoutubeViewController*>(
                                     library->curViewController().get()) != nullptr;
                      },
                      3);
              }},
        Cover{"contest form",
              [](KeyRouteTest& t) {
                  auto& c = static_cast<CoveredScreenTest&>(t);
                  c.configureContest();
                  if (!c.openShareScreen())
                      return false;
                  c.press("e");
                  return RunLoop::runUntil(
                      [&] { return c.win().firstResponder() && c.win().firstResponder()->acceptsTextInput(); },
                      3);
              }},
        Cover{"contest notice",
              [](KeyRouteTest& t) {
                  auto& c = static_cast<CoveredScreenTest&>(t);
                  auto notice = std::make_shared<SubmitToContestNoticeViewController>();
                  notice->show();
                  return c.waitFor<SubmitToContestNoticeViewController>() != nullptr;
              }},
        Cover{"Facebook panel",
              [](KeyRouteTest& t) {
                  return static_cast<CoveredScreenTest&>(t)
                      .openOverShare<ShareFacebookViewController>("f");
              }},
        Cover{"Twitter PIN screen",
              [](KeyRouteTest& t) {
                  return static_cast<CoveredScreenTest&>(t)
                      .openOverShare<SA_OAuthTwitterController>("t");
              }},
        Cover{"alert", alertIsUp},
        Cover{"alert over the settings panel",
              [](KeyRouteTest& t) {
                  return static_cast<CoveredScreenTest&>(t).openPanel() && alertIsUp(t);
              }},
        Cover{"shortcut list",
              [](KeyRouteTest& t) {
                  auto& c = static_cast<CoveredScreenTest&>(t);
                  c.pressKey(KeyEvent::Key::F1);
                  return c.win().shortcutList() != nullptr;
              }}),
    [](const ::testing::TestParamInfo<Cover>& info) {
        std::string name;
        for (const char* p = info.param.name; *p; ++p)
            if (std::isalnum(static_cast<unsigned char>(*p)))
                name += *p;
        return name;
    });

} // namespace
} // namespace tx::test

namespace tx::test {
namespace {

class KeyFocusTest : public CoveredScreenTest {};

// An alert over a panel on the share screen (the contest form, the Facebook panel): once it
// goes, the panel's text has the keys again, and nothing reaches the share screen behind it.
TEST_F(KeyFocusTest, AfterAnAlertOverAPanelKeysGoToThePanelAgain) {
    struct Case {
        const char* panel;
        const char* key;
    };
    const Case cases[] = {{"contest form", "e"}, {"Facebook panel", "f"}};
    configureServices();
    launch();
    auto* share = openShareScreen();
    ASSERT_NE(share, nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.panel);
        press(c.key);
        ASSERT_TRUE(RunLoop::runUntil(
            [&] {
                return window().firstResponder() && window().firstResponder()->acceptsTextInput();
            },
            3));
        Responder* field = window().firstResponder();
        ASSERT_TRUE(alertIsUp(*this));
        pressKey(KeyEvent::Key::Return);
        ASSERT_TRUE(RunLoop::runUntil([&] { return window().firstResponder() == field; }, 3))
            << "the focus returns to the panel's text";
        press("p");
        RunLoop::runFor(0.1);
        EXPECT_FALSE(share->presentedViewController()) << "P typed into the panel played the movie";
        pressKey(KeyEvent::Key::Escape);
        RunLoop::runFor(0.8);
        EXPECT_EQ(top<ShareViewController>(), share) << "Esc closed the panel, not the share screen";
        EXPECT_TRUE(RunLoop::runUntil(
            [&] {
                return !(window().firstResponder() &&
                         window().firstResponder()->acceptsTextInput());
            },
            2))
            << "Esc closed the panel";
        ASSERT_TRUE(waitForTop<ShareViewController>());
    }
}

TEST_F(KeyFocusTest, TheEmptyLibrarySaysHowToMakeAMovie) {
    launch();
    press("l");
    auto* library = waitForTop<MoviesViewController>();
    ASSERT_NE(library, nullptr);
    auto* list = dynamic_cast<MyMoviesViewController*>(library->curViewController().get());
    ASSERT_NE(list, nullptr);
    list->tableView()->layoutIfNeeded();
    ASSERT_TRUE(list->emptyLabel());
    EXPECT_FALSE(list->emptyLabel()->isHidden());
    EXPECT_NE(list->emptyLabel()->text().find("No movies yet"), std::string::npos);
}

// The main screen names its camera on start and again after C, then the name goes.
TEST_F(KeyFocusTest, TheCameraInUseIsNamedOnStartAndAfterASwap) {
    launch();
    const auto& label = main->cameraNameLabel();
    EXPECT_FALSE(label->isHidden());
    EXPECT_EQ(label->text(), "Test pattern (no camera found)");
    EXPECT_TRUE(RunLoop::runUntil([&] { return label->isHidden(); },
                                  TaluvexViewController::kCameraNameSeconds + 2));
    if (main->isSupportedFrontCamera()) {
        press("c");
        EXPECT_FALSE(label->isHidden());
        EXPECT_EQ(label->text(), "Test pattern (no camera found)");
    }
}

} // namespace
} // namespace tx::test
