#include "app/FileRenderProgressView.h"

#include "AppTestSupport.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"

#include <gtest/gtest.h>

namespace tx {
namespace {

using test::ManualClock;

struct CancelCounter : FileRenderProgressViewDelegate {
    int reports = 0;
    bool lastValue = false;
    void fileRenderProgressViewCanceled(FileRenderProgressView&, bool canceled) override {
        ++reports;
        lastValue = canceled;
    }
};

class ProgressOverlayTest : public ::testing::TestWithParam<double> {
protected:
    void SetUp() override {
        Screen::mainScreen().setHeight(GetParam());
        window = std::make_shared<Window>(Screen::mainScreen().bounds());
        window->makeKeyAndVisible();
    }
    void TearDown() override { Screen::mainScreen().setHeight(480); }

    ManualClock clock;
    std::shared_ptr<Window> window;
};

TEST_P(ProgressOverlayTest, CoversTheWindowWithThePanelCentredAboveTheBar) {
    const double h = GetParam();
    auto overlay = std::make_shared<FileRenderProgressView>();
    overlay->show();
    EXPECT_EQ(overlay->superview(), window.get());
    EXPECT_EQ(window->subviews().back().get(), overlay.get());
    EXPECT_EQ(overlay->frame(), Rect(0, 0, 320, h));
    EXPECT_EQ(overlay->panel()->frame(), Rect(40, h == 480 ? 145 : 189, 250, 136));
    EXPECT_EQ(overlay->progressViewBg()->frame(), Rect(49, 60, 152, 18));
    EXPECT_EQ(overlay->progressViewLoading()->frame(), Rect(49, 60, 0, 18));
    EXPECT_EQ(overlay->progressViewLoading()->contentMode(), ContentMode::Left);
    EXPECT_TRUE(overlay->progressViewLoading()->clipsToBounds());
    EXPECT_EQ(overlay->cancelButton()->frame(), Rect(180, 100, 58, 28));
}

TEST_P(ProgressOverlayTest, FadesInOverHalfASecondAndOutOverAFifth) {
    auto overlay = std::make_shared<FileRenderProgressView>();
    overlay->show();
    EXPECT_DOUBLE_EQ(overlay->presentationAlpha(), 0);
    clock.now += 0.25;
    EXPECT_NEAR(overlay->presentationAlpha(), 0.5, 1e-6);
    clock.now += 0.25;
    EXPECT_NEAR(overlay->presentationAlpha(), 1, 1e-6);
    RunLoop::runFor(0.05);

    overlay->hide();
    clock.now += 0.1;
    EXPECT_NEAR(overlay->presentationAlpha(), 0.5, 1e-6);
    EXPECT_NE(overlay->superview(), nullptr);
    clock.now += 0.15;
    EXPECT_TRUE(RunLoop::runUntil([&] { return overlay->superview() == nullptr; }, 2));
}

INSTANTIATE_TEST_SUITE_P(BothScreenHeights, ProgressOverlayTest, ::testing::Values(480, 568));

TEST(ProgressOverlay, FilledBarIsProgressTimesTheBarWidthUnclamped) {
    auto window = std::make_shared<Window>(Screen::mainScreen().bounds());
    window->makeKeyAndVisible();
    auto overlay = std::make_shared<FileRenderProgressView>();
    EXPECT_FLOAT_EQ(overlay->progress(), 0); // no bar before show
    overlay->show();
    struct Case {
        float progress;
        double width;
    };
    for (const Case& c : {Case{0.5f, 76}, Case{1.2f, 182.4}, Case{0.1f, 15.2}, Case{0, 0}}) {
        overlay->setProgress(c.progress);
        EXPECT_NEAR(overlay->progressViewLoading()->frame().width(), c.width, 1e-4);
        EXPECT_NEAR(overlay->progress(), c.progress, 1e-6);
        EXPECT_EQ(overlay->progressViewLoading()->frame().origin, (Point{49, 60}));
    }
}

TEST(ProgressOverlay, CancelReportsOnceAndFadesOut) {
    ManualClock clock;
    auto window = std::make_shared<Window>(Screen::mainScreen().bounds());
    window->makeKeyAndVisible();
    auto counter = std::make_shared<CancelCounter>();
    auto overlay = std::make_shared<FileRenderProgressView>();
    overlay->setDelegate(counter);
    overlay->show();
    clock.now += 1;

    overlay->cancelButton()->sendActionsForControlEvents(ControlEventTouchUpInside);
    overlay->cancelButton()->sendActionsForControlEvents(ControlEventTouchUpInside);
    EXPECT_EQ(counter->reports, 1);
    EXPECT_TRUE(counter->lastValue);
    clock.now += 0.2;
    EXPECT_TRUE(RunLoop::runUntil([&] { return overlay->superview() == nullptr; }, 2));

    // Shown again, it can be cancelled again.
    overlay->show();
    overlay->onCancel();
    EXPECT_EQ(counter->reports, 2);
}

TEST(ProgressOverlay, CancelWithoutADelegateStillHides) {
    ManualClock clock;
    auto window = std::make_shared<Window>(Screen::mainScreen().bounds());
    window->makeKeyAndVisible();
    auto overlay = std::make_shared<FileRenderProgressView>();
    {
        auto gone = std::make_shared<CancelCounter>();
        overlay->setDelegate(gone);
    }
    overlay->show();
    overlay->onCancel();
    clock.now += 1;
    EXPECT_TRUE(RunLoop::runUntil([&] { return overlay->superview() == nullptr; }, 2));
}

} // namespace
} // namespace tx
