#include "platform/ui/Control.h"

#include "platform/ui/KeyTable.h"

namespace tx {

namespace {
constexpr double kTouchMarginPoints = 30;
}

Control::Control(const Rect& frame) : View(frame) {}

void Control::setEnabled(bool enabled) {
    if (_enabled == enabled)
        return;
    _enabled = enabled;
    if (!enabled && _tracking) {
        _tracking = false;
        setHighlighted(false);
    }
    setNeedsDisplay();
    accessibilityChanged(*this, AccessibleChange::States);
}

void Control::setSelected(bool selected) {
    if (_selected == selected)
        return;
    _selected = selected;
    setNeedsDisplay();
    accessibilityChanged(*this, AccessibleChange::States);
}

void Control::setHighlighted(bool highlighted) {
    if (_highlighted == highlighted)
        return;
    _highlighted = highlighted;
    setNeedsDisplay();
}

unsigned Control::state() const {
    unsigned s = ControlStateNormal;
    if (_highlighted)
        s |= ControlStateHighlighted;
    if (!_enabled)
        s |= ControlStateDisabled;
    if (_selected)
        s |= ControlStateSelected;
    return s;
}

void Control::addTarget(const void* target, ControlEvents events, Action action) {
    _registrations.push_back({target, events, std::move(action)});
}

void Control::removeTarget(const void* target, ControlEvents events) {
    for (auto it = _registrations.begin(); it != _registrations.end();) {
        if (!target || it->target == target) {
            it->events &= ~events;
            if (it->events == 0) {
                it = _registrations.erase(it);
                continue;
            }
        }
        ++it;
    }
}

void Control::sendActionsForControlEvents(ControlEvents events) {
    // An action may remove registrations or release the control: work on a copy.
    auto keep = weak_from_this().lock();
    auto registrations = _registrations;
    for (auto& r : registrations)
        if (r.events & events && r.action)
            r.action(*this);
    // A switch turned or a value stepped: a screen reader hears the new state.
    if ((events & ControlEventValueChanged) && keep)
        accessibilityChanged(*this, accessibilityValue() ? AccessibleChange::Value
                                                         : AccessibleChange::States);
}

bool Control::canBecomeFirstResponder() const {
    return controlCanAct(*this);
}

bool Control::keyPressed(const KeyEvent& event) {
    const bool press = (event.key == KeyEvent::Key::Return && !event.control) ||
                       (event.key == KeyEvent::Key::Character && event.text == " " && !event.control);
    if (!press || !isFirstResponder())
        return false;
    if (controlCanAct(*this)) {
        auto keep = weak_from_this().lock();
        pressFromKeyboard();
    }
    return true;
}

void Control::pressFromKeyboard() {
    sendActionsForControlEvents(ControlEventTouchDown);
    sendActionsForControlEvents(ControlEventTouchUpInside);
}

bool Control::touchIsInside(const Touch& touch) const {
    return bounds()
        .insetBy(-kTouchMarginPoints, -kTouchMarginPoints)
        .contains(touch.locationInView(this));
}

bool Control::beginTrackingWithTouch(const Touch&) {
    sendActionsForControlEvents(ControlEventTouchDown);
    return true;
}

bool Control::continueTrackingWithTouch(const Touch&) {
    if (_touchInside != _wasInside)
        sendActionsForControlEvents(_touchInside ? ControlEventTouchDragEnter
                                                 : ControlEventTouchDragExit);
    sendActionsForControlEvents(_touchInside ? ControlEventTouchDragInside
                                             : ControlEventTouchDragOutside);
    return true;
}

void Control::endTrackingWithTouch(const Touch*) {
    sendActionsForControlEvents(_touchInside ? ControlEventTouchUpInside
                                             : ControlEventTouchUpOutside);
}

void Control::cancelTracking() {
    sendActionsForControlEvents(ControlEventTouchCancel);
}

void Control::touchesBegan(const TouchSet& touches) {
    if (!_enabled || touches.empty()) {
        View::touchesBegan(touches);
        return;
    }
    auto keep = weak_from_this().lock();
    _touchInside = true;
    _tracking = true;
    setHighlighted(true);
    if (touches.front()->tapCount() > 1)
        sendActionsForControlEvents(ControlEventTouchDownRepeat);
    _tracking = beginTrackingWithTouch(*touches.front());
}

void Control::touchesMoved(const TouchSet& touches) {
    if (!_tracking || touches.empty())
        return;
    auto keep = weak_from_this().lock();
    bool inside = touchIsInside(*touches.front());
    _wasInside = _touchInside;
    _touchInside = inside;
    setHighlighted(inside);
    _tracking = continueTrackingWithTouch(*touches.front());
}

void Control::touchesEnded(const TouchSet& touches) {
    if (!_tracking)
        return;
    auto keep = weak_from_this().lock();
    if (!touches.empty())
        _touchInside = touchIsInside(*touches.front());
    _tracking = false;
    setHighlighted(false);
    endTrackingWithTouch(touches.empty() ? nullptr : touches.front().get());
}

void Control::touchesCancelled(const TouchSet&) {
    if (!_tracking)
        return;
    auto keep = weak_from_this().lock();
    _tracking = false;
    setHighlighted(false);
    cancelTracking();
}

} // namespace tx
