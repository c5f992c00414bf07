// The Qt backend: desktop mouse, key, wheel and focus events reach the kit window as touches,
// keys, scrolling and activation, in points at half the pixel coordinates.
#include "platform/foundation/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Window.h"

#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QInputMethodQueryEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWindow>
#include <gtest/gtest.h>

using namespace tx;

namespace {

QWindow* desktopWindowOf(const Window& window) {
    // The desktop window is the newest top-level window whose size is the kit window's in pixels.
    QWindow* found = nullptr;
    for (QWindow* w : QGuiApplication::topLevelWindows())
        if (w->isVisible() && w->width() == window.bounds().width() * 2 &&
            w->height() == window.bounds().height() * 2)
            found = w;
    return found;
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
    EXPECT_EQ(desktop->size(), QSize(640, 960));

    int taps = 0;
    button->addTarget(nullptr, ControlEventTouchUpInside, [&](Control&) { taps++; });
    mouse(desktop, QEvent::MouseButtonPress, {250, 230}); // (125, 115) in points
    EXPECT_TRUE(button->isHighlighted());
    mouse(desktop, QEvent::MouseMove, {260, 232});
    mouse(desktop, QEvent::MouseButtonRelease, {260, 232});
    EXPECT_EQ(taps, 1);
    mouse(desktop, QEvent::MouseButtonPress, {10, 10}); // misses: nothing
    mouse(desktop, QEvent::MouseButtonRelease, {10, 10});
    EXPECT_EQ(taps, 1);

    mouse(desktop, QEvent::MouseButtonPress, {100, 630});
    mouse(desktop, QEvent::MouseButtonRelease, {100, 630});
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
    QWheelEvent wheel(QPointF(100, 100), desktop->mapToGlobal(QPointF(100, 100)), QPoint(),
                      QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(desktop, &wheel);
    EXPECT_EQ(scroll->contentOffset().y, 40);

    std::vector<std::string> events;
    button->addTarget(nullptr, ControlEventTouchCancel,
                      [&](Control&) { events.push_back("cancel"); });
    button->addTarget(nullptr, ControlEventTouchUpInside,
                      [&](Control&) { events.push_back("up"); });
    mouse(desktop, QEvent::MouseButtonPress, {100, 700});
    window->platformFocusChanged(false);
    mouse(desktop, QEvent::MouseButtonRelease, {100, 700});
    EXPECT_EQ(events, (std::vector<std::string>{"cancel"}));
    // Losing the focus ends the touch but the application stays active; minimising resigns.
    EXPECT_TRUE(Application::sharedApplication().isActive());
    desktop->showMinimized();
    EXPECT_TRUE(RunLoop::runUntil([] { return !Application::sharedApplication().isActive(); }, 2));
    desktop->showNormal();
    EXPECT_TRUE(RunLoop::runUntil([] { return Application::sharedApplication().isActive(); }, 2));
}
