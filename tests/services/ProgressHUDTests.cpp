// The progress overlay covers its view, takes the touches meant for what lies below, and goes
// away after fading out.
#include "platform/foundation/RunLoop.h"
#include "platform/ui/Window.h"
#include "services/hud/MBProgressHUD.h"

#include <gtest/gtest.h>

namespace tx {
namespace {

TEST(ProgressHUD, CoversTheViewAndLeavesAfterFadingOut) {
    double now = 0;
    View::setAnimationClock([&] { return now; });
    auto root = std::make_shared<View>(Rect(0, 0, 320, 480));
    auto below = std::make_shared<View>(Rect(0, 0, 320, 480));
    root->addSubview(below);

    auto hud = MBProgressHUD::showHUDAddedTo(*root, true);
    hud->setLabelText("Uploading...");
    EXPECT_EQ(hud->frame(), root->bounds());
    EXPECT_EQ(root->hitTest({160, 400}), hud.get());
    EXPECT_EQ(MBProgressHUD::HUDForView(*root), hud);

    EXPECT_TRUE(MBProgressHUD::hideHUDForView(*root, true));
    EXPECT_EQ(hud->superview(), root.get()); // still fading
    EXPECT_FALSE(MBProgressHUD::HUDForView(*root));
    now = 1;
    RunLoop::runFor(0.05);
    EXPECT_EQ(hud->superview(), nullptr);
    EXPECT_FALSE(MBProgressHUD::hideHUDForView(*root, true));

    auto quick = MBProgressHUD::showHUDAddedTo(*root, false);
    EXPECT_TRUE(MBProgressHUD::hideHUDForView(*root, false));
    EXPECT_EQ(quick->superview(), nullptr);
    View::setAnimationClock(nullptr);
}

} // namespace
} // namespace tx
