#include "platform/ui/Window.h"

#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/Translation.h"
#include "platform/ui/Control.h"
#include "platform/ui/Application.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/PlatformWindow.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/ShortcutListView.h"
#include "platform/ui/ToolTipView.h"
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

void Window::setFirstResponder(Responder* responder, bool remember) {
    if (_firstResponder == responder)
        return;
    if (_firstResponder && remember) {
        std::weak_ptr<Object> previous = _firstResponder->weak_from_this();
        if (!previous.expired()) {
            _focusHistory.push_back(previous);
            constexpr std::size_t kFocusHistoryLength = 16;
            if (_focusHistory.size() > kFocusHistoryLength)
                _focusHistory.erase(_focusHistory.begin());
        }
    }
    _firstResponder = responder;
    updateFocusRing();
    scheduleDisplay();
    auto self = std::dynamic_pointer_cast<Object>(weak_from_this().lock());
    NotificationCenter::defaultCenter().post(kFocusDidChangeNotification, self);
    if (auto* view = dynamic_cast<View*>(responder))
        accessibilityChanged(*view, AccessibleChange::Focus);
    // The desktop's input method follows whether text entry has the focus.
    if (_platformWindow && isKeyWindow())
        QGuiApplication::inputMethod()->update(Qt::ImQueryInput | Qt::ImEnabled);
}

void Window::layerRemoved() {
    View* container = keyContainer();
    if (!container)
        return;
    if (auto* focused = dynamic_cast<View*>(_firstResponder);
        focused && focused->isDescendantOf(container))
        return;
    for (auto it = _focusHistory.rbegin(); it != _focusHistory.rend(); ++it) {
        auto earlier = std::dynamic_pointer_cast<View>(it->lock());
        if (earlier && earlier->isDescendantOf(container) && earlier->canBecomeFirstResponder()) {
            // The entry is taken out first: becoming the focus pushes the current one.
            _focusHistory.erase(std::next(it).base());
            earlier->becomeFirstResponder();
            return;
        }
    }
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
    keepFocusOnScreen();
    updateFocusRing();
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

namespace {

// The ring around the control with the keyboard focus, laid over the window; it takes no input.
class FocusRingView : public View {
public:
    FocusRingView() { setUserInteractionEnabled(false); }
    void drawRect(const Rect&) override {
        GraphicsContext* context = GraphicsContext::current();
        if (!context)
            return;
        const Rect ring = bounds().insetBy(1.5, 1.5);
        // A dark edge keeps the ring visible over light artwork.
        context->strokeRoundedRect(ring.insetBy(-1, -1), 5, Color::black().withAlpha(0.6), 1);
        context->strokeRoundedRect(ring, 4, theme::focusRing(), 2);
    }
};

constexpr double kRingOutsetPoints = 3.5;

} // namespace

void Window::updateFocusRing() {
    View* focused = focusRingView();
    if (!focused) {
        if (_ringView && _ringView->superview())
            _ringView->removeFromSuperview();
        return;
    }
    if (!_ringView)
        _ringView = std::make_shared<FocusRingView>();
    const Rect ring = focused->convertRectToView(focused->bounds(), nullptr)
                          .insetBy(-kRingOutsetPoints, -kRingOutsetPoints);
    if (_ringView->frame() != ring)
        _ringView->setFrame(ring);
    if (_ringView->superview() != this)
        addSubview(_ringView);
    else if (subviews().back() != _ringView)
        bringSubviewToFront(_ringView.get());
}

void Window::sendTouch(TouchPhase phase, Point location) {
    double now = View::animationTime();
    if (phase == TouchPhase::Began) {
        hideToolTip();
        // Working with the mouse puts the focus ring away.
        if (focusRingView())
            setFirstResponder(nullptr, false);
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

View* Window::topLayer() const {
    const auto& layers = subviews();
    const Rect b = bounds();
    for (auto it = layers.rbegin(); it != layers.rend(); ++it) {
        const View* layer = it->get();
        // A screen covers the whole window (it may be sliding in); a tooltip or a small view
        // laid on the window is no screen, and neither is what takes no input.
        const Rect f = layer->bounds();
        if (!layer->isHidden() && layer->isUserInteractionEnabled() &&
            f.width() >= b.width() - 0.5 && f.height() >= b.height() - 0.5)
            return it->get();
    }
    return nullptr;
}

Responder* Window::keyRouteStart() const {
    View* container = keyContainer();
    auto* focused = dynamic_cast<View*>(_firstResponder);
    if (!focused || focused->window() != this)
        return container;
    if (!container || focused->isDescendantOf(container))
        return focused;
    // Focus in a view laid on the window above the screen on top (not under it) keeps the keys.
    View* layer = focused;
    while (layer->superview() && layer->superview() != this)
        layer = layer->superview();
    const auto& layers = subviews();
    auto indexOf = [&](const View* v) {
        return std::find_if(layers.begin(), layers.end(),
                            [v](const ViewPtr& p) { return p.get() == v; }) -
               layers.begin();
    };
    const bool layerTakesInput = !layer->isHidden() && layer->isUserInteractionEnabled();
    return layerTakesInput && indexOf(layer) > indexOf(topLayer()) ? focused : container;
}

View* Window::keyContainer() const {
    View* layer = topLayer();
    if (layer && layer->viewController())
        return layer->viewController()->keyboardContainer();
    return layer;
}

namespace {

Rect windowRectOf(const View& view) {
    return view.convertRectToView(view.bounds(), nullptr);
}

// Shown on screen: not clipped away by a scroll view or cut off by the window's edge.
bool isOnScreen(const View& view, const Rect& windowBounds) {
    const Rect rect = windowRectOf(view);
    if (rect.width() <= 0 || rect.height() <= 0)
        return false;
    auto overlaps = [](const Rect& a, const Rect& b) {
        return a.minX() < b.maxX() && b.minX() < a.maxX() && a.minY() < b.maxY() &&
               b.minY() < a.maxY();
    };
    if (!overlaps(rect, windowBounds))
        return false;
    for (const View* v = view.superview(); v; v = v->superview())
        if (v->clipsToBounds() && !overlaps(rect, windowRectOf(*v)))
            return false;
    return true;
}

// The ring's members in order; `shownOnly` false takes hidden and off-screen ones too, to know
// where a control that left the screen stood in the ring.
void collectFocusable(View& view, const Rect& windowBounds, std::vector<View*>& found,
                      bool shownOnly = true, const View* focused = nullptr) {
    if (shownOnly && (view.isHidden() || !view.isUserInteractionEnabled() || view.alpha() <= 0.01))
        return;
    const bool member = shownOnly ? view.canBecomeFirstResponder() && isOnScreen(view, windowBounds)
                                  : view.canBecomeFirstResponder() || &view == focused;
    if (member) {
        found.push_back(&view);
        return; // a control's insides are part of it
    }
    for (const auto& child : view.subviews())
        collectFocusable(*child, windowBounds, found, shownOnly, focused);
}

KeyChord characterChord(const char* text, bool control = false) {
    return KeyChord::character(text, control);
}

} // namespace

std::vector<View*> Window::focusableViews() const {
    std::vector<View*> found;
    View* container = keyContainer();
    if (!container || container->isHidden() || !container->isUserInteractionEnabled())
        return found;
    // The container may hold the keys itself (a panel's root); the ring runs through what is in it.
    for (const auto& child : container->subviews())
        collectFocusable(*child, bounds(), found);
    return found;
}

void Window::keepFocusOnScreen() {
    auto* focused = dynamic_cast<Control*>(_firstResponder);
    View* container = keyContainer();
    if (!focused || focused->acceptsTextInput() || focused->window() != this || !container ||
        focused == container || !focused->isDescendantOf(container))
        return;
    const std::vector<View*> shown = focusableViews();
    auto isShown = [&](const View* v) { return std::find(shown.begin(), shown.end(), v) != shown.end(); };
    if (isShown(focused))
        return;
    // The control slid away, was hidden or disabled: the one after it in the ring takes the focus.
    std::vector<View*> ring;
    for (const auto& child : container->subviews())
        collectFocusable(*child, bounds(), ring, false, focused);
    View* next = shown.empty() ? nullptr : shown.front();
    if (auto at = std::find(ring.begin(), ring.end(), focused); at != ring.end()) {
        const std::size_t index = static_cast<std::size_t>(at - ring.begin());
        for (std::size_t step = 1; step < ring.size(); step++) {
            View* candidate = ring[(index + step) % ring.size()];
            if (isShown(candidate)) {
                next = candidate;
                break;
            }
        }
    }
    if (!next || !next->becomeFirstResponder())
        setFirstResponder(nullptr, false);
}

void Window::moveFocus(bool backwards) {
    std::vector<View*> views = focusableViews();
    if (views.empty())
        return;
    auto* focused = dynamic_cast<View*>(_firstResponder);
    auto at = std::find(views.begin(), views.end(), focused);
    std::size_t index = 0;
    if (at == views.end())
        index = backwards ? views.size() - 1 : 0;
    else if (backwards)
        index = (static_cast<std::size_t>(at - views.begin()) + views.size() - 1) % views.size();
    else
        index = (static_cast<std::size_t>(at - views.begin()) + 1) % views.size();
    // A text entry may refuse to let go (a delegate vetoes): the focus then stays.
    views[index]->becomeFirstResponder();
}

View* Window::focusRingView() const {
    auto* focused = dynamic_cast<View*>(_firstResponder);
    View* container = keyContainer();
    if (!focused || !container || !focused->isDescendantOf(container) ||
        focused->acceptsTextInput() || !dynamic_cast<Control*>(focused))
        return nullptr;
    return focused;
}

void Window::addWindowKeyBindings(KeyTable& table) const {
    table.add({KeyChord::special(KeyEvent::Key::Tab)}, _("Move the focus to the next control"), [] {});
    table.add({KeyChord::special(KeyEvent::Key::Tab, false, true)},
              _("Move the focus to the previous control"), [] {});
    table.add({characterChord(" "), KeyChord::special(KeyEvent::Key::Return)},
              _("Press the control with the focus"), [] {}, focusRingView() != nullptr);
    table.add({KeyChord::special(KeyEvent::Key::F1), characterChord("?", true)},
              _("Show or hide this list of keys"), [] {});
    table.add({characterChord("q", true)}, _("Quit"), [] {});
}

// Keys that work whatever screen is on top.
bool Window::windowKeyPressed(const KeyEvent& event) {
    if (characterChord("q", true).matches(event)) {
        // Quitting from the keyboard asks like closing the window does.
        Application& application = Application::sharedApplication();
        if (!application.delegate() ||
            application.delegate()->applicationShouldTerminate(application))
            RunLoop::quit(0);
        return true;
    }
    if (KeyChord::special(KeyEvent::Key::F1).matches(event) ||
        characterChord("?", true).matches(event)) {
        toggleShortcutList();
        return true;
    }
    return false;
}

void Window::toggleShortcutList() {
    if (auto shown = _shortcutList.lock()) {
        shown->removeFromSuperview();
        return;
    }
    auto list = std::make_shared<ShortcutListView>(bounds(), keysOnTop());
    addSubview(list);
    _shortcutList = list;
    list->becomeFirstResponder();
}

View* Window::shortcutList() const {
    auto list = _shortcutList.lock();
    return list && list->window() == this ? list.get() : nullptr;
}

KeyTable Window::keysOnTop() const {
    KeyTable table;
    for (Responder* r = keyRouteStart(); r && r != this; r = r->nextResponder())
        r->addKeyBindings(table);
    addWindowKeyBindings(table);
    return table;
}

std::string Window::toolTipFor(const View* view) const {
    auto* control = dynamic_cast<const Control*>(view);
    if (!control)
        return {};
    std::string text = control->toolTip();
    KeyTable table = keysOnTop();
    if (const KeyBinding* row = table.rowForControl(control)) {
        if (text.empty())
            text = row->description;
        text += " \u2014 " + row->keyNames();
    }
    return text;
}

// A key reaches the focused control, then each responder up to the screen on top, and nothing
// below it: a covered screen never acts on a key. A Tab nobody took moves the focus ring.
void Window::sendKey(const KeyEvent& event) {
    auto keep = weak_from_this().lock();
    hideToolTip();
    if (windowKeyPressed(event))
        return;
    keepFocusOnScreen();
    for (Responder* r = keyRouteStart(); r && r != this; r = r->nextResponder())
        if (r->keyPressed(event)) {
            if (keep)
                updateFocusRing();
            return;
        }
    if (event.key == KeyEvent::Key::Tab && !event.control)
        moveFocus(event.shift);
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

View* Window::toolTip() const {
    auto tip = _toolTip.lock();
    return tip && tip->window() == this ? tip.get() : nullptr;
}

void Window::hideToolTip() {
    ++_hoverSerial;
    if (auto tip = _toolTip.lock())
        tip->removeFromSuperview();
    _toolTip.reset();
}

void Window::sendHover(Point location) {
    View* hit = hitTest(location);
    while (hit && !dynamic_cast<Control*>(hit))
        hit = hit->superview();
    auto current = _hovered.lock();
    if (hit && hit == current.get() && toolTip())
        return; // still on the control whose tooltip is up
    hideToolTip();
    _hovered.reset();
    if (!hit)
        return;
    _hovered = hit->sharedView();
    _hoverPoint = location;
    const int serial = _hoverSerial;
    std::weak_ptr<Object> weakSelf = weak_from_this();
    RunLoop::postAfter(kToolTipDelaySeconds, [this, weakSelf, serial] {
        auto keep = weakSelf.lock();
        auto hovered = _hovered.lock();
        if (!keep || serial != _hoverSerial || !hovered || hovered->window() != this)
            return;
        const std::string text = toolTipFor(hovered.get());
        if (text.empty())
            return;
        const Rect control = hovered->convertRectToView(hovered->bounds(), nullptr);
        auto tip = std::make_shared<ToolTipView>(text, control, bounds());
        addSubview(tip);
        _toolTip = tip;
    });
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

// Files go to the top presented screen, then the root screen; never while an alert or a panel
// laid over the screens is up.
void Window::platformFilesDropped(const std::vector<std::string>& paths) {
    if (!_rootViewController || paths.empty())
        return;
    if (View* layer = topLayer(); layer && !layer->viewController())
        return;
    ViewController* top = _rootViewController.get();
    while (top->presentedViewController())
        top = top->presentedViewController();
    if (top->filesDropped(paths) || top == _rootViewController.get())
        return;
    _rootViewController->filesDropped(paths);
}

} // namespace tx
