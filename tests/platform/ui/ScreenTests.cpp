#include "platform/foundation/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

#include <gtest/gtest.h>

using namespace tx;

namespace {

class LoggingController : public ViewController {
public:
    LoggingController(std::string name, std::vector<std::string>& log)
        : _name(std::move(name)), _log(log) {}
    void viewDidLoad() override { _log.push_back(_name + " load"); }
    void viewWillAppear(bool) override { _log.push_back(_name + " will-appear"); }
    void viewDidAppear(bool) override { _log.push_back(_name + " did-appear"); }
    void viewWillDisappear(bool) override { _log.push_back(_name + " will-disappear"); }
    void viewDidDisappear(bool) override { _log.push_back(_name + " did-disappear"); }
    void viewDidUnload() override { _log.push_back(_name + " unload"); }

private:
    std::string _name;
    std::vector<std::string>& _log;
};

struct Stage {
    std::vector<std::string> log;
    std::shared_ptr<Window> window = std::make_shared<Window>(Screen::mainScreen().bounds());
    std::shared_ptr<LoggingController> root = std::make_shared<LoggingController>("A", log);
    Stage() {
        window->addSubview(root->view());
        window->makeKeyAndVisible();
        log.clear();
    }
};

} // namespace

TEST(ViewController, ModalPresentationCallsTheLifeCycleInOrder) {
    Stage stage;
    auto b = std::make_shared<LoggingController>("B", stage.log);
    bool presented = false;
    stage.root->presentViewController(b, true, [&] { presented = true; });
    EXPECT_EQ(stage.root->presentedViewController(), b.get());
    EXPECT_EQ(b->presentingViewController(), stage.root.get());
    EXPECT_EQ(b->view()->window(), stage.window.get());
    EXPECT_TRUE(RunLoop::runUntil([&] { return presented; }, 2));
    EXPECT_EQ(b->view()->frame(), Screen::mainScreen().bounds());
    EXPECT_EQ(stage.log, (std::vector<std::string>{"B load", "A will-disappear", "B will-appear",
                                                   "B did-appear", "A did-disappear"}));

    stage.log.clear();
    bool dismissed = false;
    b->dismissViewController(true,
                             [&] { dismissed = true; }); // the presented screen asks its presenter
    EXPECT_TRUE(RunLoop::runUntil([&] { return dismissed; }, 2));
    EXPECT_EQ(stage.log, (std::vector<std::string>{"B will-disappear", "A will-appear",
                                                   "B did-disappear", "A did-appear"}));
    EXPECT_EQ(stage.root->presentedViewController(), nullptr);
    EXPECT_EQ(b->view()->superview(), nullptr);
}

TEST(ViewController, DismissingFromBelowClosesTheWholeChain) {
    Stage stage;
    auto b = std::make_shared<LoggingController>("B", stage.log);
    auto c = std::make_shared<LoggingController>("C", stage.log);
    stage.root->presentViewController(b, false);
    stage.root->presentViewController(c, false); // goes to the top of the chain
    EXPECT_EQ(c->presentingViewController(), b.get());
    stage.log.clear();
    stage.root->dismissViewController(false);
    EXPECT_EQ(stage.log,
              (std::vector<std::string>{"C will-disappear", "C did-disappear", "B will-disappear",
                                        "A will-appear", "B did-disappear", "A did-appear"}));
    EXPECT_EQ(stage.root->presentedViewController(), nullptr);
    EXPECT_EQ(c->view()->superview(), nullptr);
    EXPECT_EQ(stage.window->subviews().size(), 1u);
    stage.log.clear();
    stage.root->unloadView();
    EXPECT_EQ(stage.log, (std::vector<std::string>{"A unload"}));
    EXPECT_FALSE(stage.root->isViewLoaded());
}

TEST(ViewController, RootViewControllerReceivesTouchesBeganFromItsView) {
    struct Panel : ViewController {
        int touches = 0;
        void touchesBegan(const TouchSet&) override { touches++; }
    };
    auto window = std::make_shared<Window>(Rect(0, 0, 320, 480));
    window->makeKeyAndVisible();
    auto panel = std::make_shared<Panel>();
    window->addSubview(panel->view());
    auto inner = std::make_shared<View>(Rect(10, 10, 50, 50));
    panel->view()->addSubview(inner);
    window->sendTouch(TouchPhase::Began, {20, 20}); // a plain view passes it up to the controller
    window->sendTouch(TouchPhase::Ended, {20, 20});
    EXPECT_EQ(panel->touches, 1);
    EXPECT_FALSE(
        panel->shouldAutorotateToInterfaceOrientation(InterfaceOrientation::LandscapeLeft));
    EXPECT_TRUE(panel->shouldAutorotateToInterfaceOrientation(InterfaceOrientation::Portrait));
}

TEST(Application, VisibilityChangesReachTheDelegateAndAddressesOpenThroughTheHandler) {
    struct Delegate : ApplicationDelegate {
        std::vector<std::string> log;
        void applicationWillResignActive(Application&) override { log.push_back("resign"); }
        void applicationDidBecomeActive(Application&) override { log.push_back("active"); }
        bool applicationHandleOpenURL(Application&, const std::string& url) override {
            log.push_back("url " + url);
            return true;
        }
    };
    auto delegate = std::make_shared<Delegate>();
    Application& app = Application::sharedApplication();
    app.setDelegate(delegate);
    auto window = std::make_shared<Window>(Rect(0, 0, 320, 480));
    window->makeKeyAndVisible();
    EXPECT_EQ(app.keyWindow(), window.get());
    app.setActive(false);
    delegate->log.clear();
    window->platformVisibilityChanged(true);
    window->platformVisibilityChanged(true);
    // Another window taking the keyboard focus is not resigning.
    window->platformFocusChanged(false);
    window->platformFocusChanged(true);
    window->platformVisibilityChanged(false);
    EXPECT_TRUE(app.deliverOpenURL("fb123://authorize"));
    EXPECT_EQ(delegate->log,
              (std::vector<std::string>{"active", "resign", "url fb123://authorize"}));
    std::vector<std::string> opened;
    Application::setOpenURLHandler([&](const std::string& url) {
        opened.push_back(url);
        return true;
    });
    EXPECT_TRUE(app.openURL("http://example.com/a"));
    Application::setOpenURLHandler(nullptr);
    EXPECT_EQ(opened, (std::vector<std::string>{"http://example.com/a"}));
    app.setDelegate(nullptr);
}

TEST(Pasteboard, KeepsPlainText) {
    Pasteboard::generalPasteboard().setString("http://example.com/watch?v=abc");
    EXPECT_EQ(Pasteboard::generalPasteboard().string(), "http://example.com/watch?v=abc");
}
