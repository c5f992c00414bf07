// What a view tells a screen reader: its role, name, value, states and the actions it offers.
// Views answer through virtual calls on View; Accessibility.h carries the answers to the desktop.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tx {

class View;

enum class AccessibleRole {
    // Not an element itself: its subviews are read as if they were its superview's.
    None,
    Window,
    Group,
    Button,
    // A button that latches (record/stop, a lit tab or order button): its state is "checked".
    ToggleButton,
    CheckBox,
    StaticText,
    EditableText,
    SpinBox,
    Slider,
    List,
    ListItem,
    ProgressBar,
    Alert,
    Dialog,
    PageTabList,
    PageTab,
    Picture,
    Video,
};

enum AccessibleState : unsigned {
    AccessibleStateDisabled = 1u << 0,
    AccessibleStateFocusable = 1u << 1,
    AccessibleStateFocused = 1u << 2,
    AccessibleStateCheckable = 1u << 3,
    AccessibleStateChecked = 1u << 4,
    AccessibleStateSelectable = 1u << 5,
    AccessibleStateSelected = 1u << 6,
    AccessibleStateEditable = 1u << 7,
    AccessibleStateModal = 1u << 8,
    AccessibleStateBusy = 1u << 9,
    AccessibleStatePressed = 1u << 10,
    AccessibleStateSecret = 1u << 11,
};
using AccessibleStates = unsigned;

enum class AccessibleAction { Press, Toggle, Increase, Decrease };

// A number a screen reader reads and may set: a progress, a speed.
struct AccessibleValue {
    double current = 0;
    double minimum = 0;
    double maximum = 1;
    double step = 0;
};

// What a screen sets on a view it did not subclass: a name for a picture-only button, a role, or
// a value with actions for a composite control (the speed's label between its two buttons).
struct AccessibilityOverrides {
    std::optional<AccessibleRole> role;
    std::string label;
    // Set: the view and everything inside it are not read (decoration, a duplicate).
    bool hidden = false;
    std::function<std::optional<AccessibleValue>()> value;
    std::vector<AccessibleAction> actions;
    std::function<bool(AccessibleAction)> perform;
};

// What changed on a view, announced to a screen reader that listens.
enum class AccessibleChange {
    Name,
    Value,
    States,
    Text,
    Focus,
    Selection,
    // An alert, a sheet, an overlay or a screen came up or went away.
    Shown,
    Hidden,
};

// Tells the desktop's accessibility layer; nothing happens while no screen reader listens.
void accessibilityChanged(View& view, AccessibleChange change);
// The view is going away: its interface is dropped from the desktop's accessibility layer.
void accessibilityViewGone(View* view);

} // namespace tx
