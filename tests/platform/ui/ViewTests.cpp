#include "platform/foundation/RunLoop.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/OffscreenRenderer.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace tx;

namespace {

QRgb pixelAt(const ImagePtr& image, double xPoints, double yPoints) {
    return image->pixels().pixel(static_cast<int>(xPoints * image->scale()),
                                 static_cast<int>(yPoints * image->scale()));
}

// A clock the test moves by hand, so presentation values are exact.
struct ManualClock {
    double now = 100;
    ManualClock() {
        View::setAnimationClock([this] { return now; });
    }
    ~ManualClock() { View::setAnimationClock(nullptr); }
};

} // namespace

TEST(Geometry, RotatedFrameIsTheBoundingBoxAndSetFrameKeepsTheBoundsProportion) {
    auto view = std::make_shared<View>(Rect(10, 20, 100, 40));
    view->setTransform(AffineTransform::rotation(M_PI / 2));
    Rect f = view->frame();
    EXPECT_NEAR(f.origin.x, 40, 1e-9);
    EXPECT_NEAR(f.origin.y, -10, 1e-9);
    EXPECT_NEAR(f.size.width, 40, 1e-9);
    EXPECT_NEAR(f.size.height, 100, 1e-9);
    // Moving the rotated frame keeps its size and the bounds.
    f.origin = {270, 10};
    view->setFrame(f);
    EXPECT_NEAR(view->frame().origin.x, 270, 1e-9);
    EXPECT_NEAR(view->bounds().size.width, 100, 1e-9);
    EXPECT_NEAR(view->bounds().size.height, 40, 1e-9);
}

TEST(HitTest, FollowsTransformsClippingHiddenAndInteraction) {
    auto root = std::make_shared<View>(Rect(0, 0, 320, 480));
    auto box = std::make_shared<View>(Rect(100, 100, 100, 20));
    box->setTransform(AffineTransform::rotation(M_PI / 2)); // now covers x 140..160, y 60..160
    root->addSubview(box);
    auto child = std::make_shared<View>(Rect(0, 0, 10, 20));
    box->addSubview(child);

    EXPECT_EQ(root->hitTest({150, 70}), box.get());
    EXPECT_EQ(root->hitTest({120, 110}), root.get()); // inside the unrotated frame only
    // The child's top-left corner of the rotated box is at the top right.
    EXPECT_EQ(root->hitTest({155, 65}), child.get());
    Point local = root->convertPointToView({155, 65}, child.get());
    EXPECT_NEAR(local.x, 5, 1e-9);
    EXPECT_NEAR(local.y, 5, 1e-9);

    // A subview sticking out of its parent is not hit outside the parent, clipped or not.
    auto small = std::make_shared<View>(Rect(10, 10, 20, 20));
    auto wide = std::make_shared<View>(Rect(0, 0, 100, 10));
    small->addSubview(wide);
    root->addSubview(small);
    EXPECT_EQ(root->hitTest({60, 12}), root.get());
    EXPECT_EQ(root->hitTest({20, 12}), wide.get());
    small->setClipsToBounds(true);
    EXPECT_EQ(root->hitTest({20, 12}), wide.get());

    wide->setUserInteractionEnabled(false);
    EXPECT_EQ(root->hitTest({20, 12}), small.get());
    small->setHidden(true);
    EXPECT_EQ(root->hitTest({20, 12}), root.get());
}

TEST(Tree, AddRemoveAndBringToFront) {
    auto root = std::make_shared<View>(Rect(0, 0, 100, 100));
    auto a = std::make_shared<View>(Rect(0, 0, 50, 50));
    auto b = std::make_shared<View>(Rect(0, 0, 50, 50));
    root->addSubview(a);
    root->addSubview(b);
    EXPECT_EQ(root->hitTest({10, 10}), b.get());
    root->bringSubviewToFront(a.get());
    EXPECT_EQ(root->hitTest({10, 10}), a.get());
    b->addSubview(a); // moves a into b
    EXPECT_EQ(root->subviews().size(), 1u);
    EXPECT_EQ(a->superview(), b.get());
    a->setTag(7);
    EXPECT_EQ(root->viewWithTag(7), a.get());
    a->removeFromSuperview();
    EXPECT_EQ(a->superview(), nullptr);
    EXPECT_TRUE(b->subviews().empty());
}

class ProbeView : public View {
public:
    using View::View;
    int draws = 0;
    void drawRect(const Rect& rect) override {
        draws++;
        GraphicsContext::current()->fillRect(Rect(0, 0, rect.size.width / 2, rect.size.height),
                                             Color::rgb(0, 0, 1));
    }
};

TEST(Render, OffscreenTreeHonoursTransformAlphaClippingAndDrawRect) {
    auto root = std::make_shared<View>(Rect(0, 0, 100, 100));
    root->setBackgroundColor(Color::black());
    auto red = std::make_shared<View>(Rect(10, 10, 40, 20));
    red->setBackgroundColor(Color::rgb(1, 0, 0));
    root->addSubview(red);
    auto clip = std::make_shared<View>(Rect(60, 0, 20, 20));
    clip->setClipsToBounds(true);
    auto green = std::make_shared<View>(Rect(0, 0, 40, 40)); // sticks out of its parent, clipped
    green->setBackgroundColor(Color::rgb(0, 1, 0));
    clip->addSubview(green);
    root->addSubview(clip);
    auto half = std::make_shared<View>(Rect(0, 60, 20, 20));
    half->setBackgroundColor(Color::whiteColor());
    half->setAlpha(0.5);
    root->addSubview(half);
    auto turned = std::make_shared<View>(Rect(40, 50, 40, 10));
    turned->setBackgroundColor(Color::rgb(1, 1, 0));
    turned->setTransform(AffineTransform::rotation(M_PI / 2)); // covers x 55..65, y 35..75
    root->addSubview(turned);
    auto drawn = std::make_shared<ProbeView>(Rect(80, 80, 20, 20));
    root->addSubview(drawn);

    ImagePtr image = renderView(*root);
    EXPECT_EQ(image->pixels().width(), 200);
    EXPECT_EQ(pixelAt(image, 20, 20), qRgb(255, 0, 0));
    EXPECT_EQ(pixelAt(image, 70, 10), qRgb(0, 255, 0));
    EXPECT_EQ(pixelAt(image, 70, 30), qRgb(0, 0, 0)); // clipped part of the green view
    EXPECT_NEAR(qRed(pixelAt(image, 10, 70)), 128, 2);
    EXPECT_EQ(pixelAt(image, 60, 70), qRgb(255, 255, 0));
    EXPECT_EQ(pixelAt(image, 45, 55), qRgb(0, 0, 0));
    EXPECT_EQ(pixelAt(image, 84, 90), qRgb(0, 0, 255));
    EXPECT_EQ(pixelAt(image, 95, 90), qRgb(0, 0, 0));
    EXPECT_EQ(drawn->draws, 1);
}

TEST(Render, StretchableImageKeepsItsCaps) {
    // 4 x 1 points at scale 2: red cap, green middle, blue end.
    QImage pixels(8, 2, QImage::Format_ARGB32_Premultiplied);
    for (int x = 0; x < 8; x++)
        for (int y = 0; y < 2; y++)
            pixels.setPixel(x, y,
                            x < 2   ? qRgb(255, 0, 0)
                            : x < 4 ? qRgb(0, 255, 0)
                                    : qRgb(0, 0, 255));
    auto image = std::make_shared<Image>(pixels, 2)->stretchableImage(1, 0);
    ImageContext context({20, 1}, true, 2);
    context.context().drawImage(*image, Rect(0, 0, 20, 1));
    ImagePtr out = context.image();
    EXPECT_EQ(pixelAt(out, 0.5, 0.5), qRgb(255, 0, 0));
    EXPECT_EQ(pixelAt(out, 10, 0.5), qRgb(0, 255, 0));
    EXPECT_EQ(pixelAt(out, 18.5, 0.5), qRgb(0, 0, 255));
    EXPECT_EQ(pixelAt(out, 17.8, 0.5), qRgb(0, 255, 0)); // the 2-point end cap keeps its width
    EXPECT_EQ(pixelAt(out, 18.1, 0.5), qRgb(0, 0, 255));
}

TEST(Image, CropScaleMaskAndEncode) {
    QImage pixels(40, 20, QImage::Format_ARGB32_Premultiplied);
    pixels.fill(qRgb(10, 200, 30));
    auto image = std::make_shared<Image>(pixels, 2);
    EXPECT_EQ(image->size(), (Size{20, 10}));
    EXPECT_EQ(image->cropped(Rect(5, 0, 10, 10))->pixels().size(), QSize(20, 20));
    EXPECT_EQ(image->scaledTo({5, 5})->size(), (Size{5, 5}));
    QImage maskPixels(20, 20, QImage::Format_ARGB32_Premultiplied);
    maskPixels.fill(Qt::transparent);
    maskPixels.setPixel(1, 1, qRgba(0, 0, 0, 255));
    auto masked = image->maskedWith(Image(maskPixels, 2));
    EXPECT_EQ(qAlpha(masked->pixels().pixel(1, 1)), 255);
    EXPECT_EQ(qAlpha(masked->pixels().pixel(30, 5)), 0);
    auto png = Image::imageWithData(image->pngData());
    ASSERT_TRUE(png);
    EXPECT_EQ(png->pixels().pixel(3, 3), qRgb(10, 200, 30));
    auto jpeg = image->jpegData(0.8);
    ASSERT_GT(jpeg.size(), 2u);
    EXPECT_EQ(jpeg[0], 0xff);
    EXPECT_EQ(jpeg[1], 0xd8);
}

TEST(Animation, ModelAtOnceInterpolatedPresentationAndOneCompletion) {
    ManualClock clock;
    auto view = std::make_shared<View>(Rect(0, 0, 100, 100));
    int completions = 0;
    bool finishedFlag = false;
    View::animate(
        1.0, 0, AnimationCurve::Linear,
        [&] {
            view->setAlpha(0);
            view->setFrame(Rect(100, 0, 100, 100));
        },
        [&](bool finished) {
            completions++;
            finishedFlag = finished;
        });
    EXPECT_EQ(view->alpha(), 0);
    EXPECT_EQ(view->frame().origin.x, 100);
    EXPECT_NEAR(view->presentationAlpha(), 1, 1e-9);
    clock.now += 0.25;
    EXPECT_NEAR(view->presentationAlpha(), 0.75, 1e-9);
    EXPECT_NEAR(view->presentationFrame().origin.x, 25, 1e-9);
    clock.now += 1.0;
    EXPECT_TRUE(RunLoop::runUntil([&] { return completions > 0; }, 2));
    RunLoop::runFor(0.05);
    EXPECT_EQ(completions, 1);
    EXPECT_TRUE(finishedFlag);
    EXPECT_FALSE(view->hasAnimations());
    EXPECT_EQ(view->presentationAlpha(), 0);
}

TEST(Animation, InterruptedAnimationCompletesOnceWithFalseAndTheNewOneStartsWhereItWas) {
    ManualClock clock;
    auto view = std::make_shared<View>(Rect(0, 0, 10, 10));
    std::vector<bool> first;
    std::vector<bool> second;
    View::animate(
        1.0, 0, AnimationCurve::Linear, [&] { view->setAlpha(0); },
        [&](bool f) { first.push_back(f); });
    clock.now += 0.5;
    View::animate(
        1.0, 0, AnimationCurve::Linear, [&] { view->setAlpha(1); },
        [&](bool f) { second.push_back(f); });
    EXPECT_NEAR(view->presentationAlpha(), 0.5, 1e-9);
    clock.now += 0.5;
    EXPECT_NEAR(view->presentationAlpha(), 0.75, 1e-9);
    clock.now += 1;
    EXPECT_TRUE(RunLoop::runUntil([&] { return !second.empty(); }, 2));
    RunLoop::runFor(0.05);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_FALSE(first[0]);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_TRUE(second[0]);
}

TEST(Animation, DelayRotationAndEmptyBlocks) {
    ManualClock clock;
    auto view = std::make_shared<View>(Rect(0, 0, 10, 10));
    View::animate(1.0, 0.5, AnimationCurve::Linear,
                  [&] { view->setTransform(AffineTransform::rotation(M_PI)); });
    EXPECT_TRUE(view->presentationTransform().isIdentity());
    clock.now += 1.0; // half-way: a quarter turn, not a collapsed matrix
    AffineTransform t = view->presentationTransform();
    EXPECT_NEAR(t.a, 0, 1e-9);
    EXPECT_NEAR(t.b, 1, 1e-9);
    int calls = 0;
    View::animate(
        0.3, [] {}, [&](bool finished) { calls += finished ? 1 : 100; });
    View::animate(
        0, [&] { view->setAlpha(0.2); }, [&](bool finished) { calls += finished ? 1 : 100; });
    EXPECT_FALSE(view->hasAnimations() && view->presentationAlpha() != 0.2);
    EXPECT_TRUE(RunLoop::runUntil([&] { return calls >= 2; }, 1));
    EXPECT_EQ(calls, 2);
    // A view that goes away ends its animations unfinished.
    bool ended = true;
    {
        auto temporary = std::make_shared<View>(Rect(0, 0, 1, 1));
        View::animate(
            5, [&] { temporary->setAlpha(0); }, [&](bool f) { ended = f; });
    }
    RunLoop::runFor(0.05);
    EXPECT_FALSE(ended);
}

TEST(Window, SetNeedsDisplayRedrawsOnTheNextTurn) {
    auto window = std::make_shared<Window>(Rect(0, 0, 320, 480));
    auto probe = std::make_shared<ProbeView>(Rect(0, 0, 50, 50));
    window->addSubview(probe);
    window->makeKeyAndVisible();
    RunLoop::runFor(0.05);
    int before = probe->draws;
    EXPECT_GE(before, 1);
    probe->setNeedsDisplay();
    probe->setNeedsDisplay();
    EXPECT_EQ(probe->draws, before);
    RunLoop::runFor(0.05);
    EXPECT_EQ(probe->draws, before + 1);
    EXPECT_EQ(window->frameImage().width(), 640);
    EXPECT_EQ(window->frameImage().pixel(10, 10), qRgb(0, 0, 255));
}

TEST(Geometry, PointsConvertBetweenSiblingsThroughScaleAndBoundsOrigin) {
    auto root = std::make_shared<View>(Rect(0, 0, 320, 480));
    auto a = std::make_shared<View>(Rect(10, 20, 100, 100));
    auto b = std::make_shared<View>(Rect(200, 200, 50, 50));
    b->setTransform(AffineTransform::scale(2, 2)); // covers 175..275
    root->addSubview(a);
    root->addSubview(b);
    Point inB = a->convertPointToView({15, 5}, b.get()); // (25, 25) in root
    EXPECT_NEAR(inB.x, (25 - 175) / 2.0, 1e-9);
    EXPECT_NEAR(inB.y, (25 - 175) / 2.0, 1e-9);
    Point back = a->convertPointFromView(inB, b.get());
    EXPECT_NEAR(back.x, 15, 1e-9);
    EXPECT_NEAR(back.y, 5, 1e-9);
    // Scrolling moves the bounds origin: content coordinates shift against the frame.
    Rect bounds = a->bounds();
    bounds.origin = {0, 40};
    a->setBounds(bounds);
    auto child = std::make_shared<View>(Rect(0, 50, 10, 10));
    a->addSubview(child);
    EXPECT_EQ(root->hitTest({15, 35}), child.get());
    EXPECT_EQ(a->frame(), Rect(10, 20, 100, 100));
}

class LayoutCounter : public View {
public:
    using View::View;
    int layouts = 0;
    void layoutSubviews() override { layouts++; }
};

TEST(Window, LaysOutBeforeDrawingAndDrawsAnimationsOnTheRunLoop) {
    ManualClock clock;
    auto window = std::make_shared<Window>(Rect(0, 0, 320, 480));
    auto box = std::make_shared<LayoutCounter>(Rect(0, 0, 100, 100));
    box->setBackgroundColor(Color::rgb(1, 0, 0));
    window->addSubview(box);
    window->makeKeyAndVisible();
    RunLoop::runFor(0.05);
    EXPECT_EQ(box->layouts, 1);
    box->setNeedsLayout();
    box->setNeedsLayout();
    RunLoop::runFor(0.05);
    EXPECT_EQ(box->layouts, 2);
    box->setFrame(Rect(0, 0, 100, 150)); // a new size lays out again
    RunLoop::runFor(0.05);
    EXPECT_EQ(box->layouts, 3);

    View::animate(1, 0, AnimationCurve::Linear, [&] { box->setFrame(Rect(200, 0, 100, 150)); });
    clock.now += 0.5;
    int frames = window->displayCount();
    EXPECT_TRUE(RunLoop::runUntil([&] { return window->displayCount() > frames + 2; }, 1));
    // Half-way the box covers x 100..200: pixel 150 (in points) is red, 50 and 250 are black.
    EXPECT_EQ(window->frameImage().pixel(300, 20), qRgb(255, 0, 0));
    EXPECT_EQ(window->frameImage().pixel(100, 20), qRgb(0, 0, 0));
    EXPECT_EQ(window->frameImage().pixel(500, 20), qRgb(0, 0, 0));
}

TEST(ScrollView, OffsetStaysInsideTheContentAndDragsMoveIt) {
    auto window = std::make_shared<Window>(Rect(0, 0, 320, 480));
    auto scroll = std::make_shared<ScrollView>(Rect(0, 0, 320, 200));
    window->addSubview(scroll);
    window->makeKeyAndVisible();
    EXPECT_FALSE(scroll->canScroll());
    scroll->setContentSize({320, 500});
    EXPECT_TRUE(scroll->canScroll());
    scroll->scrollBy(0, 1000);
    EXPECT_EQ(scroll->contentOffset().y, 300);
    scroll->scrollBy(0, -50);
    EXPECT_EQ(scroll->contentOffset().y, 250);
    window->sendTouch(TouchPhase::Began, {100, 100});
    window->sendTouch(TouchPhase::Moved, {100, 160}); // pulls the content down by 60
    window->sendTouch(TouchPhase::Ended, {100, 160});
    EXPECT_EQ(scroll->contentOffset().y, 190);
    scroll->setContentSize({320, 250}); // shrinking the content pulls the offset back
    EXPECT_EQ(scroll->contentOffset().y, 50);
    scroll->setScrollEnabled(false);
    window->sendTouch(TouchPhase::Began, {100, 100});
    window->sendTouch(TouchPhase::Moved, {100, 190});
    window->sendTouch(TouchPhase::Ended, {100, 190});
    EXPECT_EQ(scroll->contentOffset().y, 50);
}

TEST(Image, BundledNamesFindPngAnd2xFilesAtScaleTwo) {
    auto plain = Image::imageNamed("loading_bar_bg_304_36");
    auto withExtension = Image::imageNamed("loading_bar_bg_304_36.png");
    ASSERT_TRUE(plain);
    ASSERT_TRUE(withExtension);
    EXPECT_EQ(plain->size(), (Size{152, 18}));
    EXPECT_EQ(plain, Image::imageNamed("loading_bar_bg_304_36")); // read once
    auto twoX = Image::imageNamed("sound_bg_640_864"); // found as sound_bg_640_864@2x.png
    ASSERT_TRUE(twoX);
    EXPECT_EQ(twoX->size(), (Size{320, 432}));
    std::string path = ::testing::TempDir() + "/written.jpg";
    ASSERT_TRUE(plain->writeToFile(path));
    auto read = Image::imageWithContentsOfFile(path);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->scale(), 1);
    EXPECT_EQ(read->size(), (Size{304, 36}));
    EXPECT_FALSE(Image::imageWithContentsOfFile(::testing::TempDir() + "/missing.png"));
}

// A view that asks for the next frame while it draws, as an eased switch does.
class SelfAnimating : public View {
public:
    using View::View;
    int draws = 0;
    void drawRect(const Rect&) override {
        draws++;
        setNeedsDisplay();
    }
};

TEST(Window, RedrawRequestsFromDrawingRunAtAboutSixtyFramesASecond) {
    auto window = std::make_shared<Window>(Rect(0, 0, 320, 480));
    auto view = std::make_shared<SelfAnimating>(Rect(0, 0, 10, 10));
    window->addSubview(view);
    window->makeKeyAndVisible();
    RunLoop::runFor(0.5);
    EXPECT_GE(view->draws, 10);
    EXPECT_LE(view->draws, 40);
    view->removeFromSuperview();
}
