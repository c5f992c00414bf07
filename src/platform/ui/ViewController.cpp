#include "platform/ui/ViewController.h"

#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"

namespace tx {

namespace {
constexpr double kModalSeconds = 0.4;
}

ViewController::~ViewController() {
    if (_view && _view->viewController() == this)
        _view->setViewController(nullptr);
    if (_presented)
        _presented->_presenting = nullptr;
}

ViewPtr ViewController::view() {
    if (!_view) {
        loadView();
        if (!_view)
            setView(std::make_shared<View>(Screen::mainScreen().bounds()));
        viewDidLoad();
    }
    return _view;
}

void ViewController::setView(ViewPtr view) {
    if (_view && _view->viewController() == this)
        _view->setViewController(nullptr);
    _view = std::move(view);
    if (_view)
        _view->setViewController(this);
}

void ViewController::unloadView() {
    if (!_view)
        return;
    _view->removeFromSuperview();
    setView(nullptr);
    viewDidUnload();
}

void ViewController::loadView() {
    setView(std::make_shared<View>(Screen::mainScreen().bounds()));
}

Responder* ViewController::nextResponder() const {
    return _view ? _view->superview() : nullptr;
}

Window* ViewController::responderWindow() const {
    return _view ? _view->window() : nullptr;
}

void ViewController::presentViewController(std::shared_ptr<ViewController> controller,
                                           bool animated, std::function<void()> completion) {
    if (!controller)
        return;
    ViewController* top = this;
    while (top->_presented)
        top = top->_presented.get();
    Window* window =
        top->isViewLoaded() && top->_view->window() ? top->_view->window() : Window::keyWindow();
    top->_presented = controller;
    controller->_presenting = top;
    controller->_beingDismissed = false;
    ViewPtr view = controller->view();
    Rect screen = Screen::mainScreen().bounds();
    top->viewWillDisappear(animated);
    controller->viewWillAppear(animated);
    if (window)
        window->addSubview(view);
    std::weak_ptr<ViewController> weakPresented = controller;
    // The presenter may go away before the slide ends (its owner let it go): it then hears nothing.
    std::weak_ptr<Object> weakTop = top->weak_from_this();
    const bool topShared = !weakTop.expired();
    auto finish = [top, weakTop, topShared, weakPresented, animated, completion](bool) {
        auto presented = weakPresented.lock();
        auto keepTop = weakTop.lock();
        // Dismissed before the slide ended: the presenter has appeared again meanwhile.
        if (!presented || (!keepTop && topShared) || top->_presented != presented ||
            presented->_beingDismissed) {
            if (completion)
                completion();
            return;
        }
        presented->viewDidAppear(animated);
        top->viewDidDisappear(animated);
        if (completion)
            completion();
    };
    if (animated) {
        view->setFrame(screen.offsetBy(0, screen.height()));
        View::animate(
            kModalSeconds, 0, AnimationCurve::EaseOut, [&] { view->setFrame(screen); }, finish);
    } else {
        view->setFrame(screen);
        finish(true);
    }
    accessibilityChanged(*view, AccessibleChange::Shown);
}

void ViewController::dismissViewController(bool animated, std::function<void()> completion) {
    ViewController* presenter = _presented ? this : _presenting;
    if (!presenter || !presenter->_presented)
        return;
    std::shared_ptr<ViewController> presented = presenter->_presented;
    // Screens above the one dismissed go without an animation of their own.
    std::vector<std::shared_ptr<ViewController>> above;
    for (auto c = presented->_presented; c; c = c->_presented)
        above.push_back(c);
    for (auto it = above.rbegin(); it != above.rend(); ++it) {
        (*it)->viewWillDisappear(false);
        if ((*it)->isViewLoaded())
            (*it)->_view->removeFromSuperview();
        (*it)->viewDidDisappear(false);
        (*it)->_presenting->_presented.reset();
        (*it)->_presenting = nullptr;
    }
    presented->_beingDismissed = true;
    presented->viewWillDisappear(animated);
    presenter->viewWillAppear(animated);
    presenter->finishDismissal(presented, animated, completion);
}

void ViewController::finishDismissal(const std::shared_ptr<ViewController>& presented,
                                     bool animated, const std::function<void()>& completion) {
    std::weak_ptr<Object> weakThis = weak_from_this();
    const bool thisShared = !weakThis.expired();
    auto finish = [this, weakThis, thisShared, presented, animated, completion](bool) {
        auto keepThis = weakThis.lock();
        if (thisShared && !keepThis) {
            if (presented->isViewLoaded())
                presented->_view->removeFromSuperview();
            return;
        }
        if (presented->isViewLoaded())
            presented->_view->removeFromSuperview();
        presented->viewDidDisappear(animated);
        if (_presented == presented) {
            _presented.reset();
            presented->_presenting = nullptr;
        }
        viewDidAppear(animated);
        if (completion)
            completion();
    };
    if (animated && presented->isViewLoaded()) {
        ViewPtr view = presented->_view;
        Rect screen = Screen::mainScreen().bounds();
        View::animate(
            kModalSeconds, 0, AnimationCurve::EaseIn,
            [&] { view->setFrame(screen.offsetBy(0, screen.height())); }, finish);
    } else {
        finish(true);
    }
}

} // namespace tx
