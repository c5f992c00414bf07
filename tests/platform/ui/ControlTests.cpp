#include "platform/foundation/RunLoop.h"
#include "platform/ui/ActivityIndicator.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/OffscreenRenderer.h"
#include "platform/ui/Window.h"

#include <gtest/gtest.h>

using namespace tx;

namespace {

ImagePtr solidImage(int wPixels, int hPixels, QRgb color) {
    QImage pixels(wPixels, hPixels, QImage::Format_ARGB32_Premultiplied);
    pixels.fill(color);
    return std::make_shared<Image>(pixels, 2);
}

struct EventLog {
    std::vector<std::string> events;
    void watch(Control& control) {
        const std::pair<ControlEvent, const char*> names[] = {
            {ControlEventTouchDown, "down"},
            {ControlEventTouchDragInside, "drag-in"},
            {ControlEventTouchDragOutside, "drag-out"},
            {ControlEventTouchDragExit, "exit"},
            {ControlEventTouchDragEnter, "enter"},
            {ControlEventTouchUpInside, "up-in"},
            {ControlEventTouchUpOutside, "up-out"},
            {ControlEventTouchCancel, "cancel"},
            {ControlEventValueChanged, "value"}};
        for (auto& [event, name] : names) {
            std::string n = name;
            control.addTarget(this, event, [this, n](Control&) { events.push_back(n); });
        }
    }
};

} // namespace

TEST(Control, TouchesSendEventsInOrderAndTrackHighlight) {
    auto window = std::make_shared<Window>(Rect(0, 0, 320, 480));
    window->makeKeyAndVisible();
    auto button = std::make_shared<Button>(Rect(100, 100, 50, 30));
    window->addSubview(button);
    EventLog log;
    log.watch(*button);
    bool highlightedWhileDown = false;
    button->addTarget(nullptr, ControlEventTouchDown,
                      [&](Control& c) { highlightedWhileDown = c.isHighlighted(); });

    window->sendTouch(TouchPhase::Began, {110, 110});
    EXPECT_TRUE(button->isHighlighted());
    window->sendTouch(TouchPhase::Moved, {115, 112});
    window->sendTouch(TouchPhase::Moved, {300, 400}); // far outside
    EXPECT_FALSE(button->isHighlighted());
    window->sendTouch(TouchPhase::Moved, {120, 115});
    window->sendTouch(TouchPhase::Ended, {120, 115});
    EXPECT_FALSE(button->isHighlighted());
    EXPECT_TRUE(highlightedWhileDown);
    EXPECT_EQ(log.events, (std::vector<std::string>{"down", "drag-in", "exit", "drag-out", "enter",
                                                    "drag-in", "up-in"}));

    log.events.clear();
    window->sendTouch(TouchPhase::Began, {110, 110});
    window->sendTouch(TouchPhase::Moved, {300, 400});
    window->sendTouch(TouchPhase::Ended, {300, 400});
    EXPECT_EQ(log.events, (std::vector<std::string>{"down", "exit", "drag-out", "up-out"}));

    log.events.clear();
    window->sendTouch(TouchPhase::Began, {110, 110});
    window->sendTouch(TouchPhase::Cancelled, {110, 110});
    EXPECT_EQ(log.events, (std::vector<std::string>{"down", "cancel"}));

    // A disabled control sends nothing; removed targets hear nothing.
    log.events.clear();
    button->setEnabled(false);
    window->sendTouch(TouchPhase::Began, {110, 110});
    window->sendTouch(TouchPhase::Ended, {110, 110});
    EXPECT_TRUE(log.events.empty());
    button->setEnabled(true);
    button->removeTarget(&log, ControlEventTouchDown | ControlEventTouchUpInside);
    window->sendTouch(TouchPhase::Began, {110, 110});
    window->sendTouch(TouchPhase::Ended, {110, 110});
    EXPECT_TRUE(log.events.empty());
}

// A control that takes tracking over, as the slider switch does, sends only its own events.
class Tracker : public Control {
public:
    using Control::Control;
    bool beginTrackingWithTouch(const Touch&) override {
        sendActionsForControlEvents(ControlEventTouchDown);
        return true;
    }
    bool continueTrackingWithTouch(const Touch& touch) override {
        lastX = touch.locationInView(this).x;
        sendActionsForControlEvents(ControlEventTouchDragInside);
        return true;
    }
    void endTrackingWithTouch(const Touch*) override {
        sendActionsForControlEvents(ControlEventValueChanged);
        sendActionsForControlEvents(ControlEventTouchUpInside);
    }
    void cancelTracking() override { endTrackingWithTouch(nullptr); }
    double lastX = 0;
};

TEST(Control, SubclassTrackingReplacesTheStandardEvents) {
    auto window = std::make_shared<Window>(Rect(0, 0, 320, 480));
    window->makeKeyAndVisible();
    auto tracker = std::make_shared<Tracker>(Rect(10, 10, 94, 27));
    window->addSubview(tracker);
    EventLog log;
    log.watch(*tracker);
    window->sendTouch(TouchPhase::Began, {20, 20});
    window->sendTouch(TouchPhase::Moved, {300, 20});
    window->sendTouch(TouchPhase::Ended, {300, 20});
    EXPECT_EQ(log.events, (std::vector<std::string>{"down", "drag-in", "value", "up-in"}));
    EXPECT_EQ(tracker->lastX, 290);
    log.events.clear();
    window->sendTouch(TouchPhase::Began, {20, 20});
    window->sendTouch(TouchPhase::Cancelled, {20, 20});
    EXPECT_EQ(log.events, (std::vector<std::string>{"down", "value", "up-in"}));
}

TEST(Button, StateValuesFallBackToNormal) {
    auto button = std::make_shared<Button>(Rect(0, 0, 40, 40));
    auto normal = solidImage(2, 2, qRgb(1, 1, 1));
    auto pressed = solidImage(2, 2, qRgb(2, 2, 2));
    auto both = solidImage(2, 2, qRgb(3, 3, 3));
    button->setImage(normal, ControlStateNormal);
    button->setImage(pressed, ControlStateHighlighted);
    button->setImage(both, ControlStateHighlighted | ControlStateSelected);
    button->setTitle("Go", ControlStateNormal);
    EXPECT_EQ(button->currentImage(), normal);
    button->setSelected(true);
    EXPECT_EQ(button->currentImage(), normal); // no selected picture: the normal one
    button->setHighlighted(true);
    EXPECT_EQ(button->currentImage(), both);
    button->setSelected(false);
    EXPECT_EQ(button->currentImage(), pressed);
    EXPECT_EQ(button->currentTitle(), "Go");
}

TEST(Button, DrawsTheBackgroundAndThePressedPicture) {
    auto root = std::make_shared<View>(Rect(0, 0, 100, 50));
    auto button = std::make_shared<Button>(Rect(0, 0, 100, 50));
    root->addSubview(button);
    button->setBackgroundImage(solidImage(8, 8, qRgb(0, 0, 200)), ControlStateNormal);
    button->setImage(solidImage(20, 20, qRgb(200, 0, 0)),
                     ControlStateNormal); // 10 x 10 points, centred
    ImagePtr image = renderView(*root);
    EXPECT_EQ(image->pixels().pixel(10, 10), qRgb(0, 0, 200));
    EXPECT_EQ(image->pixels().pixel(100, 50), qRgb(200, 0, 0));
    button->setHighlighted(true); // no pressed picture: darkened
    image = renderView(*root);
    EXPECT_LT(qRed(image->pixels().pixel(100, 50)), 150);
    EXPECT_LT(qBlue(image->pixels().pixel(10, 10)), 150);
}

TEST(ImageView, ContentModesPlaceThePicture) {
    auto root = std::make_shared<View>(Rect(0, 0, 100, 40));
    root->setBackgroundColor(Color::black());
    auto view = std::make_shared<ImageView>(Rect(0, 0, 50, 20));
    view->setImage(solidImage(200, 40, qRgb(0, 255, 0))); // 100 x 20 points
    view->setContentMode(ContentMode::Left);
    view->setClipsToBounds(true);
    root->addSubview(view);
    ImagePtr image = renderView(*root);
    EXPECT_EQ(image->pixels().pixel(98, 20), qRgb(0, 255, 0));
    EXPECT_EQ(image->pixels().pixel(102, 20), qRgb(0, 0, 0)); // clipped at the view's width
    view->setContentMode(ContentMode::ScaleAspectFit);
    image = renderView(*root);
    EXPECT_EQ(image->pixels().pixel(50, 5), qRgb(0, 0, 0)); // 50 x 10 band in the middle
    EXPECT_EQ(image->pixels().pixel(50, 20), qRgb(0, 255, 0));
    Rect fill = contentRect(ContentMode::ScaleAspectFill, {100, 20}, Rect(0, 0, 50, 20));
    EXPECT_EQ(fill, Rect(-25, 0, 100, 20));
}

TEST(Label, DrawsTextInItsColourAndShadow) {
    auto root = std::make_shared<View>(Rect(0, 0, 100, 30));
    root->setBackgroundColor(Color::black());
    auto label = std::make_shared<Label>(Rect(0, 0, 100, 30));
    label->setText("MMMM");
    label->setFont(Font::boldSystemFont(20));
    label->setTextColor(Color::rgb(1, 0, 0));
    label->setTextAlignment(TextAlignment::Center);
    root->addSubview(label);
    ImagePtr image = renderView(*root);
    int red = 0;
    for (int x = 0; x < 200; x++)
        for (int y = 0; y < 60; y++)
            if (image->pixels().pixel(x, y) == qRgb(255, 0, 0))
                red++;
    EXPECT_GT(red, 200);
    EXPECT_EQ(image->pixels().pixel(4, 30), qRgb(0, 0, 0)); // centred: the left edge stays empty
}

TEST(Label, KoreanAndJapaneseTextIsDrawnWithItsOwnGlyphs) {
    // Song titles come in every script. Where no font has the letters, every one of them is the
    // same empty box: two different letters then draw the same picture.
    auto draw = [](const std::string& text) {
        auto root = std::make_shared<View>(Rect(0, 0, 40, 30));
        root->setBackgroundColor(Color::black());
        auto label = std::make_shared<Label>(Rect(0, 0, 40, 30));
        label->setText(text);
        label->setFont(Font::systemFont(20));
        label->setTextColor(Color::whiteColor());
        root->addSubview(label);
        return renderView(*root)->pixels();
    };
    for (const auto& [first, second] : {std::pair<std::string, std::string>{"\uD55C", "\uAD6D"},
                                        {"\u97F3", "\u697D"}}) {
        const QImage a = draw(first);
        const QImage b = draw(second);
        EXPECT_NE(a, draw(" ")) << first; // some ink
        EXPECT_NE(a, b) << first << " and " << second;
    }
}

TEST(ActivityIndicator, ShowsOnlyWhileAnimating) {
    auto spinner = std::make_shared<ActivityIndicator>(ActivityIndicatorStyle::WhiteLarge);
    EXPECT_TRUE(spinner->isHidden());
    spinner->startAnimating();
    EXPECT_FALSE(spinner->isHidden());
    EXPECT_TRUE(spinner->isAnimating());
    spinner->stopAnimating();
    EXPECT_TRUE(spinner->isHidden());
}
