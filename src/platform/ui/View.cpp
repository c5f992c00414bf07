#include "platform/ui/View.h"

#include "platform/foundation/RunLoop.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

#include <QPainterPath>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <set>
#include <variant>

namespace tx {

// ---------------------------------------------------------------------------------------------
// Animation model

enum class AnimatedProperty { Center, Bounds, Alpha, Transform };
using AnimatedValue = std::variant<Point, Rect, double, AffineTransform>;

struct AnimationGroup {
    int live = 0;
    bool finished = true;
    bool fired = false;
    View::Completion completion;
};

struct ViewAnimation {
    AnimatedProperty property;
    AnimatedValue from;
    AnimatedValue to;
    double startSeconds;
    double durationSeconds;
    AnimationCurve curve;
    std::shared_ptr<AnimationGroup> group;
};

namespace {

struct PendingAnimation {
    double durationSeconds;
    double delaySeconds;
    AnimationCurve curve;
    std::shared_ptr<AnimationGroup> group;
};

PendingAnimation* gPending = nullptr;
std::function<double()>* gClock = nullptr;

double easing(AnimationCurve curve, double t) {
    switch (curve) {
    case AnimationCurve::Linear:
        return t;
    case AnimationCurve::EaseIn:
        return t * t;
    case AnimationCurve::EaseOut:
        return 1 - (1 - t) * (1 - t);
    case AnimationCurve::EaseInOut:
        return t * t * (3 - 2 * t);
    }
    return t;
}

double lerp(double a, double b, double t) {
    return a + (b - a) * t;
}

struct Decomposed {
    double sx, sy, angle, tx, ty;
};

Decomposed decompose(const AffineTransform& m) {
    double sx = std::hypot(m.a, m.b);
    double angle = std::atan2(m.b, m.a);
    double sy = sx != 0 ? (m.a * m.d - m.b * m.c) / sx : std::hypot(m.c, m.d);
    return {sx, sy, angle, m.tx, m.ty};
}

AffineTransform recompose(const Decomposed& d) {
    double c = std::cos(d.angle);
    double s = std::sin(d.angle);
    return {d.sx * c, d.sx * s, -d.sy * s, d.sy * c, d.tx, d.ty};
}

AnimatedValue interpolate(const AnimatedValue& from, const AnimatedValue& to, double t) {
    if (auto* a = std::get_if<double>(&from))
        return lerp(*a, std::get<double>(to), t);
    if (auto* p = std::get_if<Point>(&from)) {
        const Point& q = std::get<Point>(to);
        return Point{lerp(p->x, q.x, t), lerp(p->y, q.y, t)};
    }
    if (auto* r = std::get_if<Rect>(&from)) {
        const Rect& s = std::get<Rect>(to);
        return Rect(lerp(r->origin.x, s.origin.x, t), lerp(r->origin.y, s.origin.y, t),
                    lerp(r->size.width, s.size.width, t), lerp(r->size.height, s.size.height, t));
    }
    Decomposed a = decompose(std::get<AffineTransform>(from));
    Decomposed b = decompose(std::get<AffineTransform>(to));
    return recompose({lerp(a.sx, b.sx, t), lerp(a.sy, b.sy, t), lerp(a.angle, b.angle, t),
                      lerp(a.tx, b.tx, t), lerp(a.ty, b.ty, t)});
}

void fireCompletion(const std::shared_ptr<AnimationGroup>& group) {
    if (group->fired)
        return;
    group->fired = true;
    if (!group->completion)
        return;
    auto completion = std::move(group->completion);
    bool finished = group->finished;
    RunLoop::post([completion, finished] { completion(finished); });
}

void releaseAnimation(const std::shared_ptr<AnimationGroup>& group, bool finished) {
    if (!finished)
        group->finished = false;
    if (--group->live <= 0)
        fireCompletion(group);
}

} // namespace

// Drives running animations about 60 times a second and ends them when their time is up.
class Animator {
public:
    static Animator& shared() {
        static auto* animator = new Animator();
        return *animator;
    }

    void add(View* view) {
        _views.insert(view);
        schedule();
    }
    void remove(View* view) { _views.erase(view); }

    // Inside an animation block, records the move of one property from what is on screen now
    // to `to`; an animation of the same property that was running ends unfinished.
    static void record(View& view, AnimatedProperty property, AnimatedValue from,
                       AnimatedValue to) {
        if (!gPending)
            return;
        auto& animations = view._animations;
        for (auto it = animations.begin(); it != animations.end();) {
            if (it->property != property) {
                ++it;
                continue;
            }
            auto group = it->group;
            it = animations.erase(it);
            releaseAnimation(group, false);
        }
        gPending->group->live++;
        animations.push_back({property, std::move(from), std::move(to),
                              View::animationTime() + gPending->delaySeconds,
                              gPending->durationSeconds, gPending->curve, gPending->group});
        shared().add(&view);
    }

private:
    static constexpr double kFrameSeconds = 1.0 / 60;

    void schedule() {
        if (_scheduled)
            return;
        _scheduled = true;
        RunLoop::postAfter(kFrameSeconds, [this] { tick(); });
    }

    void tick() {
        _scheduled = false;
        double now = View::animationTime();
        std::vector<View*> views(_views.begin(), _views.end());
        for (View* view : views) {
            if (!_views.count(view))
                continue;
            auto& animations = view->_animations;
            std::vector<std::shared_ptr<AnimationGroup>> ended;
            animations.erase(std::remove_if(animations.begin(), animations.end(),
                                            [&](const ViewAnimation& a) {
                                                if (now < a.startSeconds + a.durationSeconds)
                                                    return false;
                                                ended.push_back(a.group);
                                                return true;
                                            }),
                             animations.end());
            if (animations.empty())
                _views.erase(view);
            view->requestDisplay();
            for (auto& group : ended)
                releaseAnimation(group, true);
        }
        if (!_views.empty())
            schedule();
    }

    std::set<View*> _views;
    bool _scheduled = false;
};

double View::animationTime() {
    if (gClock && *gClock)
        return (*gClock)();
    using namespace std::chrono;
    static const auto start = steady_clock::now();
    return duration<double>(steady_clock::now() - start).count();
}

void View::setAnimationClock(std::function<double()> clock) {
    if (!gClock)
        gClock = new std::function<double()>();
    *gClock = std::move(clock);
}

void View::animate(double durationSeconds, double delaySeconds, AnimationCurve curve,
                   const std::function<void()>& changes, Completion completion) {
    auto group = std::make_shared<AnimationGroup>();
    group->completion = std::move(completion);
    PendingAnimation pending{durationSeconds, delaySeconds, curve, group};
    PendingAnimation* outer = gPending;
    gPending = durationSeconds > 0 || delaySeconds > 0 ? &pending : nullptr;
    group->live = 1; // held while the changes run
    if (changes)
        changes();
    gPending = outer;
    releaseAnimation(group, true);
}

void View::animate(double durationSeconds, const std::function<void()>& changes,
                   Completion completion) {
    animate(durationSeconds, 0, AnimationCurve::EaseInOut, changes, std::move(completion));
}

void View::transition(View* view, double durationSeconds, const std::function<void()>& changes,
                      Completion completion) {
    // Without a transition style the changes themselves carry the movement.
    if (view)
        view->setNeedsDisplay();
    animate(durationSeconds, 0, AnimationCurve::EaseInOut, changes, std::move(completion));
}

bool View::hasAnimations() const {
    return !_animations.empty();
}

void View::removeAllAnimations() {
    auto animations = std::move(_animations);
    _animations.clear();
    Animator::shared().remove(this);
    for (auto& a : animations)
        releaseAnimation(a.group, false);
    requestDisplay();
}

namespace {

template <typename T>
T presentationValue(const std::vector<ViewAnimation>& animations, AnimatedProperty property,
                    const T& model) {
    double now = View::animationTime();
    for (const auto& a : animations) {
        if (a.property != property)
            continue;
        double t = a.durationSeconds > 0 ? (now - a.startSeconds) / a.durationSeconds : 1;
        if (t >= 1)
            return model;
        t = easing(a.curve, std::clamp(t, 0.0, 1.0));
        return std::get<T>(interpolate(a.from, a.to, t));
    }
    return model;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Geometry

Rect contentRect(ContentMode mode, Size content, const Rect& b) {
    double w = content.width;
    double h = content.height;
    switch (mode) {
    case ContentMode::ScaleToFill:
    case ContentMode::Redraw:
        return b;
    case ContentMode::ScaleAspectFit:
    case ContentMode::ScaleAspectFill: {
        if (w <= 0 || h <= 0)
            return b;
        double fx = b.width() / w;
        double fy = b.height() / h;
        double f = mode == ContentMode::ScaleAspectFit ? std::min(fx, fy) : std::max(fx, fy);
        return {b.midX() - w * f / 2, b.midY() - h * f / 2, w * f, h * f};
    }
    default:
        break;
    }
    double x = b.midX() - w / 2;
    double y = b.midY() - h / 2;
    if (mode == ContentMode::Left || mode == ContentMode::TopLeft ||
        mode == ContentMode::BottomLeft)
        x = b.minX();
    if (mode == ContentMode::Right || mode == ContentMode::TopRight ||
        mode == ContentMode::BottomRight)
        x = b.maxX() - w;
    if (mode == ContentMode::Top || mode == ContentMode::TopLeft || mode == ContentMode::TopRight)
        y = b.minY();
    if (mode == ContentMode::Bottom || mode == ContentMode::BottomLeft ||
        mode == ContentMode::BottomRight)
        y = b.maxY() - h;
    return {x, y, w, h};
}

View::View(const Rect& frame) {
    _bounds = Rect(0, 0, frame.size.width, frame.size.height);
    _center = {frame.midX(), frame.midY()};
}

View::~View() {
    accessibilityViewGone(this);
    Animator::shared().remove(this);
    for (auto& a : _animations)
        releaseAnimation(a.group, false);
    for (auto& view : _subviews)
        view->_superview = nullptr;
}

Rect View::frame() const {
    Rect local(-_bounds.size.width / 2, -_bounds.size.height / 2, _bounds.size.width,
               _bounds.size.height);
    Rect r = _transform.apply(local);
    return r.offsetBy(_center.x, _center.y);
}

void View::setFrame(const Rect& frame) {
    Rect bounds = _bounds;
    if (_transform.isIdentity()) {
        bounds.size = frame.size;
    } else {
        // With a transform the bounds keep their proportion to what the frame covers.
        Rect current = this->frame();
        if (current.size.width != 0)
            bounds.size.width *= frame.size.width / current.size.width;
        if (current.size.height != 0)
            bounds.size.height *= frame.size.height / current.size.height;
    }
    setCenter({frame.midX(), frame.midY()});
    setBounds(bounds);
}

void View::setBounds(const Rect& bounds) {
    Animator::record(*this, AnimatedProperty::Bounds, presentationBounds(), bounds);
    bool resized = bounds.size != _bounds.size;
    _bounds = bounds;
    if (resized)
        setNeedsLayout();
    requestDisplay();
}

void View::setCenter(Point center) {
    Animator::record(*this, AnimatedProperty::Center, presentationCenter(), center);
    _center = center;
    requestDisplay();
}

void View::setTransform(const AffineTransform& transform) {
    Animator::record(*this, AnimatedProperty::Transform, presentationTransform(), transform);
    _transform = transform;
    requestDisplay();
}

void View::setAlpha(double alpha) {
    Animator::record(*this, AnimatedProperty::Alpha, presentationAlpha(), alpha);
    _alpha = alpha;
    requestDisplay();
}

Point View::presentationCenter() const {
    return presentationValue(_animations, AnimatedProperty::Center, _center);
}
Rect View::presentationBounds() const {
    return presentationValue(_animations, AnimatedProperty::Bounds, _bounds);
}
AffineTransform View::presentationTransform() const {
    return presentationValue(_animations, AnimatedProperty::Transform, _transform);
}
double View::presentationAlpha() const {
    return presentationValue(_animations, AnimatedProperty::Alpha, _alpha);
}

Rect View::presentationFrame() const {
    Rect b = presentationBounds();
    Point c = presentationCenter();
    Rect local(-b.size.width / 2, -b.size.height / 2, b.size.width, b.size.height);
    return presentationTransform().apply(local).offsetBy(c.x, c.y);
}

void View::setHidden(bool hidden) {
    if (_hidden == hidden)
        return;
    _hidden = hidden;
    requestDisplay();
}

void View::setClipsToBounds(bool clips) {
    _clipsToBounds = clips;
    requestDisplay();
}

void View::setCornerRadius(double radius) {
    _cornerRadius = radius;
    requestDisplay();
}

void View::setBackgroundColor(const Color& color) {
    _backgroundColor = color;
    requestDisplay();
}

void View::setContentMode(ContentMode mode) {
    _contentMode = mode;
    setNeedsDisplay();
}

void View::setMaskImage(ImagePtr mask) {
    _mask = std::move(mask);
    requestDisplay();
}

// ---------------------------------------------------------------------------------------------
// The tree

Window* View::window() const {
    const View* v = this;
    while (v->_superview)
        v = v->_superview;
    return dynamic_cast<Window*>(const_cast<View*>(v));
}

void View::prepareSubview(const ViewPtr& view) {
    if (view->_superview == this) {
        auto it = std::find(_subviews.begin(), _subviews.end(), view);
        if (it != _subviews.end())
            _subviews.erase(it);
    } else if (view->_superview) {
        view->removeFromSuperview();
    }
}

void View::addSubview(const ViewPtr& view) {
    insertSubview(view, _subviews.size());
}

void View::insertSubview(const ViewPtr& view, std::size_t index) {
    if (!view || view.get() == this)
        return;
    ViewPtr keep = view;
    bool moved = view->_superview != this;
    Window* oldWindow = view->window();
    prepareSubview(view);
    _subviews.insert(_subviews.begin() + std::min(index, _subviews.size()), view);
    view->_superview = this;
    if (moved) {
        view->didMoveToSuperview();
        if (oldWindow != window())
            view->notifyMovedToWindow();
    }
    view->setNeedsLayout();
    requestDisplay();
}

void View::insertSubviewBelow(const ViewPtr& view, const View* sibling) {
    auto it = std::find_if(_subviews.begin(), _subviews.end(),
                           [&](const ViewPtr& v) { return v.get() == sibling; });
    std::size_t index =
        it == _subviews.end() ? 0 : static_cast<std::size_t>(it - _subviews.begin());
    if (view->_superview == this) {
        auto own = std::find(_subviews.begin(), _subviews.end(), view);
        if (own != _subviews.end() && own < it)
            index--;
    }
    insertSubview(view, index);
}

void View::removeFromSuperview() {
    View* parent = _superview;
    if (!parent)
        return;
    auto keep = weak_from_this().lock();
    Window* oldWindow = window();
    bool heldFocus = false;
    if (oldWindow) {
        Responder* first = oldWindow->firstResponder();
        auto* firstView = dynamic_cast<View*>(first);
        if (firstView && firstView->isDescendantOf(this)) {
            heldFocus = true;
            first->resignFirstResponder();
            if (oldWindow->firstResponder() == first)
                oldWindow->setFirstResponder(nullptr);
        }
        if (oldWindow->_touchTarget && oldWindow->_touchTarget->isDescendantOf(this))
            oldWindow->_touchTarget = nullptr;
    }
    auto it = std::find_if(parent->_subviews.begin(), parent->_subviews.end(),
                           [&](const ViewPtr& v) { return v.get() == this; });
    _superview = nullptr;
    parent->requestDisplay();
    if (it != parent->_subviews.end())
        parent->_subviews.erase(it);
    didMoveToSuperview();
    if (oldWindow && heldFocus)
        oldWindow->layerRemoved();
    if (oldWindow)
        notifyMovedToWindow();
}

void View::notifyMovedToWindow() {
    didMoveToWindow();
    auto children = _subviews;
    for (auto& child : children)
        child->notifyMovedToWindow();
}

void View::bringSubviewToFront(const View* view) {
    auto it = std::find_if(_subviews.begin(), _subviews.end(),
                           [&](const ViewPtr& v) { return v.get() == view; });
    if (it == _subviews.end())
        return;
    ViewPtr v = *it;
    _subviews.erase(it);
    _subviews.push_back(v);
    requestDisplay();
}

void View::sendSubviewToBack(const View* view) {
    auto it = std::find_if(_subviews.begin(), _subviews.end(),
                           [&](const ViewPtr& v) { return v.get() == view; });
    if (it == _subviews.end())
        return;
    ViewPtr v = *it;
    _subviews.erase(it);
    _subviews.insert(_subviews.begin(), v);
    requestDisplay();
}

View* View::viewWithTag(int tag) {
    if (_tag == tag)
        return this;
    for (auto& view : _subviews)
        if (View* found = view->viewWithTag(tag))
            return found;
    return nullptr;
}

bool View::isDescendantOf(const View* view) const {
    for (const View* v = this; v; v = v->_superview)
        if (v == view)
            return true;
    return false;
}

// ---------------------------------------------------------------------------------------------
// Display and layout

void View::requestDisplay() {
    if (Window* w = window())
        w->scheduleDisplay();
}

void View::setNeedsDisplay() {
    requestDisplay();
}

void View::setNeedsLayout() {
    _needsLayout = true;
    requestDisplay();
}

void View::layoutIfNeeded() {
    if (_needsLayout) {
        _needsLayout = false;
        layoutSubviews();
    }
    auto children = _subviews;
    for (auto& child : children)
        child->layoutIfNeeded();
}

void View::drawRect(const Rect&) {}

void View::renderInContext(GraphicsContext& context) {
    if (!_mask) {
        drawOwnContent(context);
        return;
    }
    Rect b = presentationBounds();
    ImagePtr layer;
    {
        ImageContext offscreen(b.size, false, Screen::mainScreen().scale());
        offscreen.context().translate(-b.origin.x, -b.origin.y);
        drawOwnContent(offscreen.context());
        layer = offscreen.image();
    }
    context.drawImage(*layer->maskedWith(*_mask), b);
}

void View::drawOwnContent(GraphicsContext& context) {
    Rect b = presentationBounds();
    context.saveState();
    if (_clipsToBounds && _cornerRadius > 0) {
        QPainterPath path;
        path.addRoundedRect(QRectF(b.minX(), b.minY(), b.width(), b.height()), _cornerRadius,
                            _cornerRadius);
        context.painter().setClipPath(path, Qt::IntersectClip);
    } else if (_clipsToBounds) {
        context.clipToRect(b);
    }
    if (!_backgroundColor.isClear()) {
        if (_cornerRadius > 0)
            context.fillRoundedRect(b, _cornerRadius, _backgroundColor);
        else
            context.fillRect(b, _backgroundColor);
    }
    drawRect(b);
    auto children = _subviews;
    for (auto& child : children)
        child->drawSubtree(context);
    context.restoreState();
}

void View::drawSubtree(GraphicsContext& context) {
    double alpha = presentationAlpha();
    if (_hidden || alpha < 0.01)
        return;
    Point c = presentationCenter();
    Rect b = presentationBounds();
    QPainter& painter = context.painter();
    painter.save();
    context.translate(c.x, c.y);
    context.concatTransform(presentationTransform());
    context.translate(-b.size.width / 2 - b.origin.x, -b.size.height / 2 - b.origin.y);
    painter.setOpacity(painter.opacity() * std::min(1.0, alpha));
    renderInContext(context);
    painter.restore();
}

// ---------------------------------------------------------------------------------------------
// Touches

bool View::pointInside(Point point) const {
    return _bounds.contains(point);
}

View* View::hitTest(Point point) {
    if (_hidden || !_userInteractionEnabled || _alpha < 0.01)
        return nullptr;
    if (!pointInside(point))
        return nullptr;
    for (auto it = _subviews.rbegin(); it != _subviews.rend(); ++it) {
        ViewPtr child = *it;
        Point local = convertPointToView(point, child.get());
        if (View* hit = child->hitTest(local))
            return hit;
    }
    return this;
}

namespace {

// The transform from a view's bounds coordinates to its superview's bounds coordinates.
AffineTransform toSuperview(const View& v) {
    Rect b = v.bounds();
    return AffineTransform::translation(-b.origin.x - b.size.width / 2,
                                        -b.origin.y - b.size.height / 2)
        .concat(v.transform())
        .concat(AffineTransform::translation(v.center().x, v.center().y));
}

// The transform from a view's bounds coordinates to its root's coordinates.
AffineTransform toRoot(const View* v) {
    AffineTransform t;
    for (; v && v->superview(); v = v->superview())
        t = t.concat(toSuperview(*v));
    return t;
}

} // namespace

Point View::convertPointToView(Point point, const View* view) const {
    Point inRoot = toRoot(this).apply(point);
    if (!view)
        return inRoot;
    return toRoot(view).inverted().apply(inRoot);
}

Point View::convertPointFromView(Point point, const View* view) const {
    Point inRoot = view ? toRoot(view).apply(point) : point;
    return toRoot(this).inverted().apply(inRoot);
}

Rect View::convertRectToView(const Rect& rect, const View* view) const {
    AffineTransform t = toRoot(this);
    if (view)
        t = t.concat(toRoot(view).inverted());
    return t.apply(rect);
}

bool View::endEditing(bool force) {
    Window* w = window();
    if (!w)
        return true;
    auto* first = dynamic_cast<View*>(w->firstResponder());
    if (!first || !first->isDescendantOf(this))
        return true;
    if (first->resignFirstResponder())
        return true;
    if (force)
        w->setFirstResponder(nullptr);
    return force;
}

Responder* View::nextResponder() const {
    if (_viewController)
        return _viewController;
    return _superview;
}

} // namespace tx
