#include "platform/ui/Window.h"

#include "platform/foundation/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/PlatformWindow.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/SessionLockWatcher.h"
#include "platform/ui/ViewController.h"

#include <QGuiApplication>
#include <QInputMethod>
#include <algorithm>
#include <chrono>
#include <cmath>

namespace tx {

namespace {

constexpr double kDragSlopPoints = 8;
constexpr double kDoubleTapSeconds = 0.35;
// Frames are drawn at most 60 times a second, however often views ask.
constexpr double kFrameSeconds = 1.0 / 60;

double steadySeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

Window* gKeyWindow = nullptr;

std::vector<Window*>& windows() {
    static auto* all = new std::vector<Window*>();
    return *all;
}

} // namespace

Window::Window(const Rect& frame) : View(frame) {
    setHidden(true);
    setBackgroundColor(Color::black());
    windows().push_back(this);
}

Window::~Window() {
    auto& all = windows();
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
    if (gKeyWindow == this)
        gKeyWindow = nullptr;
}

const std::vector<Window*>& Window::allWindows() {
    return windows();
}

Window* Window::keyWindow() {
    return gKeyWindow;
}

void Window::makeKeyWindow() {
    gKeyWindow = this;
}

void Window::makeKeyAndVisible() {
    makeKeyWindow();
    setHidden(false);
    if (!_platformWindow && qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        _platformWindow = std::make_unique<PlatformWindow>(*this);
        watchSessionLock();
        _platformWindow->show();
    }
    rootViewControllerAppears();
    scheduleDisplay();
}

void Window::rootViewControllerAppears() {
    // The root screen hears that it appears once the window shows it (the camera starts there).
    if (_rootViewController && !_rootAppeared && !isHidden()) {
        _rootAppeared = true;
        _rootViewController->viewWillAppear(false);
        _rootViewController->viewDidAppear(false);
    }
}

void Window::setRootViewController(std::shared_ptr<ViewController> controller) {
    if (_rootViewController == controller)
        return;
    if (_rootViewController && _rootAppeared) {
        _rootViewController->viewWillDisappear(false);
        _rootViewController->viewDidDisappear(false);
    }
    _rootAppeared = false;
    if (_rootViewController && _rootViewController->isViewLoaded())
        _rootViewController->view()->removeFromSuperview();
    _rootViewController = std::move(controller);
    if (_rootViewController) {
        ViewPtr view = _rootViewController->view();
        view->setFrame(bounds());
        addSubview(view);
        rootViewControllerAppears();
    }
}

void Window::setFirstResponder(Responder* responder) {
    _firstResponder = responder;
    if (auto* view = dynamic_cast<View*>(responder))
        accessibilityChanged(*view, AccessibleChange::Focus);
    // The desktop's input method follows whether text entry has the focus.
    if (_platformWindow && isKeyWindow())
        QGuiApplication::inputMethod()->update(Qt::ImQueryInput | Qt::ImEnabled);
}

void Window::scheduleDisplay() {
    if (_displayScheduled || isHidden())
        return;
    _displayScheduled = true;
    auto task = [this] {
        auto& all = windows();
        if (std::find(all.begin(), all.end(), this) != all.end() && _displayScheduled)
            displayNow();
    };
    double wait = _lastDisplaySeconds + kFrameSeconds - steadySeconds();
    if (wait > 0)
        RunLoop::postAfter(wait, task);
    else
        RunLoop::post(task);
}

void Window::displayNow() {
    _displayScheduled = false;
    if (isHidden())
        return;
    _lastDisplaySeconds = steadySeconds();
    layoutIfNeeded();
    double scale = Screen::mainScreen().scale();
    Rect b = bounds();
    QSize pixels(static_cast<int>(std::lround(b.width() * scale)),
                 static_cast<int>(std::lround(b.height() * scale)));
    if (_frame.size() != pixels)
        _frame = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
    _frame.fill(Qt::black);
    {
        QPainter painter(&_frame);
        painter.scale(scale, scale);
        GraphicsContext context(painter);
        renderInContext(context);
    }
    _displayCount++;
    if (_platformWindow)
        _platformWindow->update();
}

void Window::sendTouch(TouchPhase phase, Point location) {
    double now = View::animationTime();
    if (phase == TouchPhase::Began) {
        if (_touch)
            sendTouch(TouchPhase::Cancelled, _touch->locationInWindow());
        View* hit = hitTest(location);
        if (!hit)
            return;
        _touch = std::make_shared<Touch>(this, location, now);
        _touch->setTapCount(now - _lastTapTime < kDoubleTapSeconds ? 2 : 1);
        _lastTapTime = now;
        _touch->setView(hit);
        _touchTarget = hit;
        _touchTargetRef = std::dynamic_pointer_cast<View>(hit->weak_from_this().lock());
        _touchStart = location;
        deliverTouch(TouchPhase::Began);
        return;
    }
    if (!_touch)
        return;
    _touch->moveTo(location, now);
    if (phase == TouchPhase::Moved && _touchTarget && !dynamic_cast<ScrollView*>(_touchTarget)) {
        // A drag that starts on a row or a button inside a scroll view scrolls it instead.
        double distance = std::hypot(location.x - _touchStart.x, location.y - _touchStart.y);
        if (distance > kDragSlopPoints) {
            for (View* v = _touchTarget->superview(); v; v = v->superview()) {
                auto* scroll = dynamic_cast<ScrollView*>(v);
                if (!scroll || !scroll->isScrollEnabled() || !scroll->canScroll())
                    continue;
                deliverTouch(TouchPhase::Cancelled);
                _touchTarget = scroll;
                _touchTargetRef = scroll->sharedView();
                _touch->setView(scroll);
                deliverTouch(TouchPhase::Began);
                break;
            }
        }
    }
    deliverTouch(phase);
    if (phase == TouchPhase::Ended || phase == TouchPhase::Cancelled) {
        _touch.reset();
        _touchTarget = nullptr;
        _touchTargetRef.reset();
    }
}

void Window::deliverTouch(TouchPhase phase) {
    auto target = _touchTargetRef.lock();
    if (!target || !_touchTarget)
        return;
    _touch->setPhase(phase);
    TouchSet touches{_touch};
    switch (phase) {
    case TouchPhase::Began:
        target->touchesBegan(touches);
        break;
    case TouchPhase::Moved:
    case TouchPhase::Stationary:
        target->touchesMoved(touches);
        break;
    case TouchPhase::Ended:
        target->touchesEnded(touches);
        break;
    case TouchPhase::Cancelled:
        target->touchesCancelled(touches);
        break;
    }
}

// Keys go to the focused text first, then to the screen on top of the presenting chain, then to
// the screen at its root: a shortcut never reaches a screen that is covered.
void Window::sendKey(const KeyEvent& event) {
    if (_firstResponder && _firstResponder->keyPressed(event))
        return;
    if (!_rootViewController)
        return;
    ViewController* top = _rootViewController.get();
    while (top->presentedViewController())
        top = top->presentedViewController();
    if (top->keyPressed(event) || top == _rootViewController.get())
        return;
    _rootViewController->keyPressed(event);
}

void Window::sendWheel(Point location, double dx, double dy) {
    for (View* v = hitTest(location); v; v = v->superview()) {
        auto* scroll = dynamic_cast<ScrollView*>(v);
        if (scroll && scroll->isScrollEnabled() && scroll->canScroll()) {
            scroll->scrollBy(dx, dy);
            return;
        }
    }
}

void Window::platformFocusChanged(bool active) {
    // Losing the keyboard focus ends a touch but is not resigning: clicking another window must
    // not stop a recording.
    if (!active && _touch)
        sendTouch(TouchPhase::Cancelled, _touch->locationInWindow());
}

void Window::platformVisibilityChanged(bool shown) {
    _platformShown = shown;
    updateActivity();
}

void Window::platformSessionLockChanged(bool locked) {
    _sessionLocked = locked;
    updateActivity();
}

void Window::updateActivity() {
    const bool active = _platformShown && !_sessionLocked;
    if (!active && _touch)
        sendTouch(TouchPhase::Cancelled, _touch->locationInWindow());
    Application::sharedApplication().setActive(active);
}

bool Window::platformCloseRequested() {
    Application& application = Application::sharedApplication();
    if (application.delegate() && !application.delegate()->applicationShouldTerminate(application))
        return false;
    platformVisibilityChanged(false);
    return true;
}

void Window::raiseOnDesktop() {
    if (!_platformWindow)
        return;
    if (_platformWindow->windowStates() & Qt::WindowMinimized)
        _platformWindow->showNormal();
    _platformWindow->show();
    _platformWindow->raise();
    _platformWindow->requestActivate();
}

void Window::platformFilesDropped(const std::vector<std::string>& paths) {
    if (!_rootViewController || paths.empty())
        return;
    ViewController* top = _rootViewController.get();
    while (top->presentedViewController())
        top = top->presentedViewController();
    if (top->filesDropped(paths) || top == _rootViewController.get())
        return;
    _rootViewController->filesDropped(paths);
}

} // namespace tx
