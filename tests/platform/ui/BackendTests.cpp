// The Qt backend: desktop mouse, key, wheel and focus events reach the kit window as touches,
// keys, scrolling and activation, in points at half the pixel coordinates.
#include "platform/foundation/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/PlatformWindow.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Window.h"

#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QInputMethodQueryEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QScreen>
#include <QWindow>
#include <gtest/gtest.h>

#include <cmath>

using namespace tx;

namespace {

QWindow* desktopWindowOf(const Window& window) {
    // The desktop window is the newest shown top-level window of the kit window's shape (it is
    // scaled down where the screen is too low for two pixels a point).
    QWindow* found = nullptr;
    for (QWindow* w : QGuiApplication::topLevelWindows())
        if (w->isVisible() && w->height() > 0 &&
            std::abs(w->width() * window.bounds().height() / w->height() - window.bounds().width()) <
                2)
            found = w;
    return found;
}

// A point of the kit window in the desktop window's units.
QPointF at(QWindow* desktop, double x, double y) {
    const double scale = desktop->width() / 320.0;
    return {x * scale, y * scale};
}

void mouse(QWindow* w, QEvent::Type type, QPointF pixels) {
    QMouseEvent event(type, pixels, w->mapToGlobal(pixels), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(w, &event);
}

} // namespace

TEST(QtBackend, MousePressesAreTouchesAndKeysGoToTheFirstResponder) {
    auto window = std::make_shared<Window>(Rect(0, 0, 320, 480));
    auto button = std::make_shared<Button>(Rect(100, 100, 60, 40));
    auto field = std::make_shared<TextField>(Rect(10, 300, 200, 30));
    window->addSubview(button);
    window->addSubview(field);
    window->makeKeyAndVisible();
    QWindow* desktop = desktopWindowOf(*window);
    ASSERT_TRUE(desktop);
    // Two pixels a point where the work area is high enough, else as large as fits.
    const QSize preferred = PlatformWindow::logicalSizeFor(320, 480, desktop->devicePixelRatio());
    EXPECT_EQ(desktop->size(),
              PlatformWindow::fittedSize(preferred, desktop->screen()->availableGeometry().height() -
                                                        PlatformWindow::kDecorationUnits));
    EXPECT_LE(desktop->height(), desktop->screen()->availableGeometry().height());

    int taps = 0;
    button->addTarget(nullptr, ControlEventTouchUpInside, [&](Control&) { taps++; });
    mouse(desktop, QEvent::MouseButtonPress, at(desktop, 125, 115));
    EXPECT_TRUE(button->isHighlighted());
    mouse(desktop, QEvent::MouseMove, at(desktop, 130, 116));
    mouse(desktop, QEvent::MouseButtonRelease, at(desktop, 130, 116));
    EXPECT_EQ(taps, 1);
    mouse(desktop, QEvent::MouseButtonPress, at(desktop, 5, 5)); // misses: nothing
    mouse(desktop, QEvent::MouseButtonRelease, at(desktop, 5, 5));
    EXPECT_EQ(taps, 1);

    mouse(desktop, QEvent::MouseButtonPress, at(desktop, 50, 315));
    mouse(desktop, QEvent::MouseButtonRelease, at(desktop, 50, 315));
    ASSERT_TRUE(field->isFirstResponder());
    QKeyEvent h(QEvent::KeyPress, Qt::Key_H, Qt::NoModifier, QStringLiteral("h"));
    QKeyEvent i(QEvent::KeyPress, Qt::Key_I, Qt::NoModifier, QStringLiteral("i"));
    QKeyEvent back(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
    QCoreApplication::sendEvent(desktop, &h);
    QCoreApplication::sendEvent(desktop, &i);
    QCoreApplication::sendEvent(desktop, &i);
    QCoreApplication::sendEvent(desktop, &back);
    EXPECT_EQ(field->text(), "hi");
    QInputMethodQueryEvent query(Qt::ImEnabled);
    QCoreApplication::sendEvent(desktop, &query);
    EXPECT_TRUE(query.value(Qt::ImEnabled).toBool());
    QInputMethodEvent composed;
    composed.setCommitString(QStringLiteral("ㅎ한")); // text from an input method
    QCoreApplication::sendEvent(desktop, &composed);
    EXPECT_EQ(field->text(), "hiㅎ한");

    // The window draws itself on the run loop; its frame is what the desktop window shows.
    button->setBackgroundColor(Color::rgb(0, 1, 0));
    EXPECT_TRUE(RunLoop::runUntil(
        [&] { return window->frameImage().pixel(260, 240) == qRgb(0, 255, 0); }, 2));
}

TEST(QtBackend, WheelScrollsAndFocusLossCancelsTheTouch) {
    auto window = std::make_shared<Window>(Rect(0, 0, 320, 480));
    auto scroll = std::make_shared<ScrollView>(Rect(0, 0, 320, 200));
    scroll->setContentSize({320, 1000});
    window->addSubview(scroll);
    auto button = std::make_shared<Button>(Rect(0, 300, 100, 100));
    window->addSubview(button);
    window->makeKeyAndVisible();
    QWindow* desktop = desktopWindowOf(*window);
    ASSERT_TRUE(desktop);
    QWheelEvent wheel(at(desktop, 50, 50), desktop->mapToGlobal(at(desktop, 50, 50)), QPoint(),
                      QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(desktop, &wheel);
    EXPECT_EQ(scroll->contentOffset().y, 40);

    std::vector<std::string> events;
    button->addTarget(nullptr, ControlEventTouchCancel,
                      [&](Control&) { events.push_back("cancel"); });
    button->addTarget(nullptr, ControlEventTouchUpInside,
                      [&](Control&) { events.push_back("up"); });
    mouse(desktop, QEvent::MouseButtonPress, at(desktop, 50, 350));
    window->platformFocusChanged(false);
    mouse(desktop, QEvent::MouseButtonRelease, at(desktop, 50, 350));
    EXPECT_EQ(events, (std::vector<std::string>{"cancel"}));
    // Losing the focus ends the touch but the application stays active; minimising resigns.
    EXPECT_TRUE(Application::sharedApplication().isActive());
    desktop->showMinimized();
    EXPECT_TRUE(RunLoop::runUntil([] { return !Application::sharedApplication().isActive(); }, 2));
    desktop->showNormal();
    EXPECT_TRUE(RunLoop::runUntil([] { return Application::sharedApplication().isActive(); }, 2));
}

// A window manager that forces another size: the screen is drawn whole, uniformly scaled and
// centred, and a press lands on the same control as before.
TEST(QtBackend, AForcedWindowSizeScalesTheScreenUniformlyAndCentred) {
    auto window = std::make_shared<Window>(Rect(0, 0, 320, 480));
    auto button = std::make_shared<Button>(Rect(100, 100, 60, 40));
    window->addSubview(button);
    window->makeKeyAndVisible();
    QWindow* desktop = desktopWindowOf(*window);
    ASSERT_TRUE(desktop);
    EXPECT_LT(desktop->minimumSize().height(), desktop->height()) << "the user may resize it";
    desktop->resize(900, 700);
    ASSERT_TRUE(RunLoop::runUntil([&] { return desktop->width() == 900; }, 2));
    auto* platform = dynamic_cast<PlatformWindow*>(desktop);
    ASSERT_NE(platform, nullptr);
    const QRectF picture = platform->pictureRect();
    EXPECT_NEAR(picture.width() / picture.height(), 320.0 / 480.0, 0.001) << "never distorted";
    EXPECT_NEAR(picture.height(), 700, 0.5);
    EXPECT_NEAR(picture.center().x(), 450, 0.5);
    int taps = 0;
    button->addTarget(nullptr, ControlEventTouchUpInside, [&](Control&) { taps++; });
    const double scale = picture.height() / 480;
    const QPointF centre(picture.x() + 130 * scale, picture.y() + 120 * scale);
    mouse(desktop, QEvent::MouseButtonPress, centre);
    mouse(desktop, QEvent::MouseButtonRelease, centre);
    EXPECT_EQ(taps, 1);
}

TEST(QtBackend, TheWindowIsFittedToTheWorkAreaHeight) {
    struct Case {
        QSize preferred;
        int available;
        QSize want;
    };
    for (const Case& c : {Case{{640, 960}, 1400, {640, 960}}, Case{{640, 960}, 728, {485, 728}},
                          Case{{640, 1136}, 1136, {640, 1136}}}) {
        EXPECT_EQ(PlatformWindow::fittedSize(c.preferred, c.available), c.want) << c.available;
    }
}
