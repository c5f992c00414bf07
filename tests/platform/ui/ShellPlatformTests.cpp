// What the application's window needs from the kit: when it is active, closing, dropped files,
// the root screen's appearance, the window's size on HiDPI screens, and the live preview view.
#include "platform/foundation/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/CameraPreviewView.h"
#include "platform/ui/PlatformWindow.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

#include <QGuiApplication>
#include <QWindow>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tx {
namespace {

struct LifeCycle : ApplicationDelegate {
    std::vector<std::string> log;
    bool allowClose = true;
    void applicationWillResignActive(Application&) override { log.push_back("resign"); }
    void applicationDidBecomeActive(Application&) override { log.push_back("active"); }
    bool applicationShouldTerminate(Application&) override {
        log.push_back("close?");
        return allowClose;
    }
};

class WindowLifeCycleTest : public ::testing::Test {
protected:
    void SetUp() override {
        Application::sharedApplication().setDelegate(delegate);
        window->makeKeyAndVisible();
        window->platformVisibilityChanged(true);
        delegate->log.clear();
    }
    void TearDown() override { Application::sharedApplication().setDelegate(nullptr); }

    std::shared_ptr<LifeCycle> delegate = std::make_shared<LifeCycle>();
    std::shared_ptr<Window> window = std::make_shared<Window>(Rect(0, 0, 320, 480));
};

TEST_F(WindowLifeCycleTest, OnlyHidingOrLockingResignsNotLosingTheFocus) {
    window->platformFocusChanged(false);
    window->platformFocusChanged(true);
    EXPECT_TRUE(delegate->log.empty());

    window->platformSessionLockChanged(true);
    window->platformVisibilityChanged(false); // minimised while locked: still resigned once
    window->platformVisibilityChanged(true);  // restored, but the session is still locked
    EXPECT_FALSE(Application::sharedApplication().isActive());
    window->platformSessionLockChanged(false);
    EXPECT_EQ(delegate->log, (std::vector<std::string>{"resign", "active"}));
}

TEST_F(WindowLifeCycleTest, ClosingAsksTheDelegateAndResignsOnlyWhenItCloses) {
    delegate->allowClose = false;
    EXPECT_FALSE(window->platformCloseRequested());
    EXPECT_TRUE(Application::sharedApplication().isActive());
    delegate->allowClose = true;
    EXPECT_TRUE(window->platformCloseRequested());
    EXPECT_EQ(delegate->log, (std::vector<std::string>{"close?", "close?", "resign"}));
}

struct DropTarget : ViewController {
    std::vector<std::string> dropped;
    bool accepts = true;
    int appearances = 0;
    bool filesDropped(const std::vector<std::string>& paths) override {
        if (!accepts)
            return false;
        dropped = paths;
        return true;
    }
    void viewWillAppear(bool) override { ++appearances; }
};

TEST_F(WindowLifeCycleTest, TheRootScreenAppearsOnceAndDropsGoToTheTopScreenFirst) {
    auto root = std::make_shared<DropTarget>();
    window->setRootViewController(root);
    EXPECT_EQ(root->appearances, 1);
    window->makeKeyAndVisible();
    EXPECT_EQ(root->appearances, 1);

    auto top = std::make_shared<DropTarget>();
    root->presentViewController(top, false);
    window->platformFilesDropped({"/videos/a.mov"});
    EXPECT_EQ(top->dropped, (std::vector<std::string>{"/videos/a.mov"}));
    EXPECT_TRUE(root->dropped.empty());
    top->accepts = false;
    window->platformFilesDropped({"/videos/b.mov"});
    EXPECT_EQ(root->dropped, (std::vector<std::string>{"/videos/b.mov"}));
}

TEST_F(WindowLifeCycleTest, RaisingAMinimisedWindowRestoresItAndTheApplicationIsActiveAgain) {
    QWindow* desktop = nullptr;
    for (QWindow* candidate : QGuiApplication::allWindows()) {
        if (candidate->isVisible())
            desktop = candidate;
    }
    ASSERT_NE(desktop, nullptr);
    desktop->showMinimized();
    ASSERT_TRUE(RunLoop::runUntil([] { return !Application::sharedApplication().isActive(); }, 2));
    window->raiseOnDesktop();
    EXPECT_TRUE(RunLoop::runUntil([] { return Application::sharedApplication().isActive(); }, 2));
    EXPECT_FALSE(desktop->windowStates() & Qt::WindowMinimized);
}

TEST(HiDpiWindow, TheWindowShowsTwoPixelsAPointOnEveryScreen) {
    struct Case {
        double ratio;
        int width;
        int height;
    };
    for (const Case& c :
         {Case{1, 640, 1136}, Case{2, 320, 568}, Case{1.5, 427, 757}, Case{0.5, 640, 1136}}) {
        EXPECT_EQ(PlatformWindow::logicalSizeFor(320, 568, c.ratio), QSize(c.width, c.height))
            << c.ratio;
    }
}

TEST(CameraPreview, EachNewPictureIsFetchedOnceHoweverOftenTheViewRedraws) {
    auto window = std::make_shared<Window>(Rect(0, 0, 320, 480));
    window->makeKeyAndVisible();
    auto preview = std::make_shared<CameraPreviewView>(Rect(0, 0, 320, 382));
    window->addSubview(preview);
    std::uint64_t serial = 0;
    int conversions = 0;
    preview->setSource({[&] { return serial; },
                        [&](int, int) {
                            ++conversions;
                            QImage picture(64, 48, QImage::Format_RGB32);
                            picture.fill(Qt::red);
                            return picture;
                        }});
    EXPECT_FALSE(preview->poll()); // nothing before the first picture
    serial = 1;
    EXPECT_TRUE(preview->poll());
    for (int i = 0; i < 5; ++i) {
        EXPECT_FALSE(preview->poll());
        preview->setNeedsDisplay();
        window->displayNow();
    }
    EXPECT_EQ(conversions, 1);
    ASSERT_TRUE(preview->currentImage());
    // The picture fills the view: the middle of the window is the camera's colour.
    const QImage& frame = window->frameImage();
    EXPECT_EQ(QColor(frame.pixel(frame.width() / 2, 382)).red(), 255);

    // The view polls by itself while it is on screen.
    serial = 2;
    EXPECT_TRUE(RunLoop::runUntil([&] { return conversions == 2; }, 1));
    preview->removeFromSuperview();
    serial = 3;
    RunLoop::runFor(0.1);
    EXPECT_EQ(conversions, 2);
}

} // namespace
} // namespace tx
