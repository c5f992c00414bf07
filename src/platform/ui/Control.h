// The base of buttons, switches and text fields: enabled, highlighted and selected states,
// touch tracking that a subclass can take over, and target–action dispatch of control events.
#pragma once

#include "platform/ui/View.h"

#include <functional>
#include <string>
#include <vector>

namespace tx {

enum ControlEvent : unsigned {
    ControlEventTouchDown = 1u << 0,
    ControlEventTouchDownRepeat = 1u << 1,
    ControlEventTouchDragInside = 1u << 2,
    ControlEventTouchDragOutside = 1u << 3,
    ControlEventTouchDragEnter = 1u << 4,
    ControlEventTouchDragExit = 1u << 5,
    ControlEventTouchUpInside = 1u << 6,
    ControlEventTouchUpOutside = 1u << 7,
    ControlEventTouchCancel = 1u << 8,
    ControlEventValueChanged = 1u << 12,
    ControlEventEditingDidBegin = 1u << 16,
    ControlEventEditingChanged = 1u << 17,
    ControlEventEditingDidEnd = 1u << 18,
    ControlEventEditingDidEndOnExit = 1u << 19,
};
using ControlEvents = unsigned;

enum ControlState : unsigned {
    ControlStateNormal = 0,
    ControlStateHighlighted = 1u << 0,
    ControlStateDisabled = 1u << 1,
    ControlStateSelected = 1u << 2,
};

class Control : public View {
public:
    using Action = std::function<void(Control& sender)>;

    explicit Control(const Rect& frame = {});

    bool isEnabled() const { return _enabled; }
    virtual void setEnabled(bool enabled);
    bool isSelected() const { return _selected; }
    virtual void setSelected(bool selected);
    bool isHighlighted() const { return _highlighted; }
    virtual void setHighlighted(bool highlighted);
    unsigned state() const;
    bool isTracking() const { return _tracking; }
    bool isTouchInside() const { return _touchInside; }

    // `target` identifies the registration for removal; actions run in the order they were added.
    void addTarget(const void* target, ControlEvents events, Action action);
    // Removes the target's actions for `events` (a null target removes every target's).
    void removeTarget(const void* target, ControlEvents events);
    void sendActionsForControlEvents(ControlEvents events);

    // Tracking of one touch. The base versions send touch-down, touch-drag-inside/outside,
    // touch-up-inside/outside and touch-cancel; a subclass that overrides them sends its own.
    virtual bool beginTrackingWithTouch(const Touch& touch);
    virtual bool continueTrackingWithTouch(const Touch& touch);
    virtual void endTrackingWithTouch(const Touch* touch);
    virtual void cancelTracking();

    // What the control does, for its tooltip (a key table row for the control says it too).
    const std::string& toolTip() const { return _toolTip; }
    void setToolTip(std::string text) { _toolTip = std::move(text); }

    // Keyboard: Tab brings the focus ring to an enabled, shown control; Space or Return then
    // press it.
    bool canBecomeFirstResponder() const override;
    bool keyPressed(const KeyEvent& event) override;
    // What a key press on the focused control does: a tap by default.
    virtual void pressFromKeyboard();
    AccessibleStates accessibilityStates() const override;
    std::vector<AccessibleAction> accessibilityActions() const override;
    // Press: as a tap, when the control is enabled and on screen.
    bool performAccessibilityAction(AccessibleAction action) override;

    void touchesBegan(const TouchSet& touches) override;
    void touchesMoved(const TouchSet& touches) override;
    void touchesEnded(const TouchSet& touches) override;
    void touchesCancelled(const TouchSet& touches) override;

protected:
    // A touch counts as inside within this margin around the bounds.
    bool touchIsInside(const Touch& touch) const;

private:
    struct Registration {
        const void* target;
        ControlEvents events;
        Action action;
    };
    std::vector<Registration> _registrations;
    std::string _toolTip;
    bool _enabled = true;
    bool _selected = false;
    bool _highlighted = false;
    bool _tracking = false;
    bool _touchInside = false;
    bool _wasInside = false;
};

} // namespace tx
