#include "platform/ui/Accessibility.h"

#include "platform/foundation/RunLoop.h"
#include "platform/ui/ActionSheet.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Button.h"
#include "platform/ui/CameraPreviewView.h"
#include "platform/ui/Control.h"
#include "platform/ui/Label.h"
#include "platform/ui/PlatformWindow.h"
#include "platform/ui/PopupView.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/TextView.h"
#include "platform/ui/Window.h"

#include <QAccessible>
#include <QAccessibleObject>
#include <QGuiApplication>

#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace tx {

// ---- What the kit's views answer ------------------------------------------------------------

AccessibilityOverrides& View::accessibility() {
    if (!_accessibility)
        _accessibility = std::make_unique<AccessibilityOverrides>();
    return *_accessibility;
}

void View::setAccessibilityLabel(std::string label) {
    accessibility().label = std::move(label);
    accessibilityChanged(*this, AccessibleChange::Name);
}

void View::setAccessibilityHidden(bool hidden) {
    accessibility().hidden = hidden;
}

AccessibleRole View::accessibilityRole() const {
    return _accessibility && _accessibility->role ? *_accessibility->role : AccessibleRole::None;
}

std::string View::accessibilityLabel() const {
    return _accessibility ? _accessibility->label : std::string();
}

std::optional<AccessibleValue> View::accessibilityValue() const {
    if (_accessibility && _accessibility->value)
        return _accessibility->value();
    return std::nullopt;
}

AccessibleStates View::accessibilityStates() const {
    return 0;
}

std::vector<AccessibleAction> View::accessibilityActions() const {
    return _accessibility ? _accessibility->actions : std::vector<AccessibleAction>();
}

bool View::performAccessibilityAction(AccessibleAction action) {
    if (!_accessibility || !_accessibility->perform)
        return false;
    const auto& actions = _accessibility->actions;
    if (std::find(actions.begin(), actions.end(), action) == actions.end())
        return false;
    return _accessibility->perform(action);
}

AccessibleRole Window::accessibilityRole() const {
    return AccessibleRole::Window;
}

std::string Window::accessibilityLabel() const {
    std::string label = View::accessibilityLabel();
    if (label.empty() && _platformWindow)
        label = _platformWindow->title().toStdString();
    return label.empty() ? std::string("Taluvex") : label;
}

AccessibleStates Control::accessibilityStates() const {
    AccessibleStates states = 0;
    if (!isEnabled())
        states |= AccessibleStateDisabled;
    else
        states |= AccessibleStateFocusable;
    if (isFirstResponder())
        states |= AccessibleStateFocused;
    if (isHighlighted())
        states |= AccessibleStatePressed;
    return states;
}

std::vector<AccessibleAction> Control::accessibilityActions() const {
    auto actions = View::accessibilityActions();
    if (actions.empty())
        actions.push_back(AccessibleAction::Press);
    return actions;
}

bool Control::performAccessibilityAction(AccessibleAction action) {
    if (View::performAccessibilityAction(action))
        return true;
    if (action != AccessibleAction::Press || !isEnabled() || !isAccessiblyExposed(*this))
        return false;
    // The same as a tap: pressed, then let go inside.
    auto keep = weak_from_this().lock();
    sendActionsForControlEvents(ControlEventTouchDown);
    sendActionsForControlEvents(ControlEventTouchUpInside);
    return true;
}

bool Button::latches() const {
    auto has = [](const auto& values) {
        for (const auto& [state, value] : values)
            if (state & ControlStateSelected)
                return true;
        return false;
    };
    return has(_images) || has(_backgrounds) || has(_titles) || has(_titleColors);
}

AccessibleRole Button::accessibilityRole() const {
    if (auto role = View::accessibilityRole(); role != AccessibleRole::None)
        return role;
    return latches() ? AccessibleRole::ToggleButton : AccessibleRole::Button;
}

std::string Button::accessibilityLabel() const {
    std::string label = View::accessibilityLabel();
    if (label.empty())
        label = currentTitle();
    if (label.empty())
        label = titleForState(ControlStateNormal);
    return label;
}

AccessibleStates Button::accessibilityStates() const {
    AccessibleStates states = Control::accessibilityStates();
    const AccessibleRole role = accessibilityRole();
    if (role == AccessibleRole::ToggleButton || role == AccessibleRole::CheckBox) {
        states |= AccessibleStateCheckable;
        if (isSelected())
            states |= AccessibleStateChecked;
    } else if (role == AccessibleRole::PageTab) {
        states |= AccessibleStateSelectable;
        if (isSelected())
            states |= AccessibleStateSelected;
    }
    return states;
}

AccessibleRole Label::accessibilityRole() const {
    if (auto role = View::accessibilityRole(); role != AccessibleRole::None)
        return role;
    return AccessibleRole::StaticText;
}

std::string Label::accessibilityLabel() const {
    std::string label = View::accessibilityLabel();
    return label.empty() ? _text : label;
}

std::string Label::accessibilityValueText() const {
    // Named by its screen (the speed between its buttons), the label's words are its value.
    return View::accessibilityLabel().empty() ? std::string() : _text;
}

AccessibleRole TextField::accessibilityRole() const {
    return AccessibleRole::EditableText;
}

std::string TextField::accessibilityLabel() const {
    std::string label = View::accessibilityLabel();
    return label.empty() ? _placeholder : label;
}

AccessibleStates TextField::accessibilityStates() const {
    AccessibleStates states = Control::accessibilityStates() & ~AccessibleStatePressed;
    if (isEnabled())
        states |= AccessibleStateEditable;
    if (_secure)
        states |= AccessibleStateSecret;
    return states;
}

std::vector<AccessibleAction> TextField::accessibilityActions() const {
    return {};
}

AccessibleRole TextView::accessibilityRole() const {
    return _editable ? AccessibleRole::EditableText : AccessibleRole::StaticText;
}

std::string TextView::accessibilityLabel() const {
    std::string label = View::accessibilityLabel();
    return label.empty() && !_editable ? _state.text : label;
}

AccessibleStates TextView::accessibilityStates() const {
    if (!_editable)
        return 0;
    AccessibleStates states = AccessibleStateEditable | AccessibleStateFocusable;
    if (isFirstResponder())
        states |= AccessibleStateFocused;
    return states;
}

AccessibleRole TableView::accessibilityRole() const {
    if (auto role = View::accessibilityRole(); role != AccessibleRole::None)
        return role;
    return AccessibleRole::List;
}

namespace {

// Labels a line apart are read in turn; within a line, from the left.
constexpr double kLinePoints = 8;

void collectLabels(const View& view, std::vector<const Label*>& out) {
    for (const auto& sub : view.subviews()) {
        if (sub->isHidden() || sub->alpha() <= 0.01 || sub->isAccessibilityHidden())
            continue;
        if (auto* label = dynamic_cast<const Label*>(sub.get())) {
            if (!label->text().empty())
                out.push_back(label);
            continue;
        }
        collectLabels(*sub, out);
    }
}

// The words of the labels shown inside `view`, in reading order, joined with ", ".
void collectLabelText(const View& view, std::string& out) {
    std::vector<const Label*> labels;
    collectLabels(view, labels);
    auto key = [](const Label* label) {
        Rect r = label->convertRectToView(label->bounds(), nullptr);
        return std::make_pair(std::floor(r.midY() / kLinePoints), r.minX());
    };
    std::stable_sort(labels.begin(), labels.end(),
                     [&](const Label* a, const Label* b) { return key(a) < key(b); });
    for (const Label* label : labels) {
        if (!out.empty())
            out += ", ";
        out += label->text();
    }
}

} // namespace

AccessibleRole TableViewCell::accessibilityRole() const {
    if (auto role = View::accessibilityRole(); role != AccessibleRole::None)
        return role;
    return AccessibleRole::ListItem;
}

std::string TableViewCell::accessibilityLabel() const {
    std::string label = View::accessibilityLabel();
    if (label.empty())
        collectLabelText(*this, label);
    return label;
}

AccessibleStates TableViewCell::accessibilityStates() const {
    AccessibleStates states = AccessibleStateSelectable;
    if (_selected)
        states |= AccessibleStateSelected;
    return states;
}

std::vector<AccessibleAction> TableViewCell::accessibilityActions() const {
    return {AccessibleAction::Press};
}

bool TableViewCell::performAccessibilityAction(AccessibleAction action) {
    if (action != AccessibleAction::Press || !_table)
        return false;
    // As a tap on the row: selected, then the list's delegate hears it.
    auto path = _table->indexPathForCell(this);
    if (!path)
        return false;
    auto keep = _table->weak_from_this().lock();
    _table->selectRowAtIndexPath(*path, false);
    if (auto delegate = _table->_delegate.lock())
        delegate->tableViewDidSelectRowAtIndexPath(*_table, *path);
    return true;
}

AccessibleRole AlertView::accessibilityRole() const {
    return AccessibleRole::Alert;
}

std::string AlertView::accessibilityLabel() const {
    return _title.empty() ? _message : _title;
}

std::string AlertView::accessibilityDescription() const {
    return _title.empty() ? std::string() : _message;
}

AccessibleRole ActionSheet::accessibilityRole() const {
    return AccessibleRole::Dialog;
}

std::string ActionSheet::accessibilityLabel() const {
    return _title.empty() ? std::string("Choose an action") : _title;
}

AccessibleStates PopupView::accessibilityStates() const {
    return AccessibleStateModal;
}

AccessibleRole CameraPreviewView::accessibilityRole() const {
    if (auto role = View::accessibilityRole(); role != AccessibleRole::None)
        return role;
    return AccessibleRole::Video;
}

// ---- Which views are read, and in which order ----------------------------------------------

namespace {

constexpr double kTransparentAlpha = 0.01;
// Rounding of animated frames: a cover within half a point still covers.
constexpr double kCoverSlackPoints = 0.5;

Rect rectInWindow(const View& view) {
    return view.convertRectToView(view.bounds(), nullptr);
}

// What is left of `view` on screen after the clipping of its superviews and the window's edge.
Rect visibleRectInWindow(const View& view) {
    Rect visible = rectInWindow(view);
    for (const View* up = view.superview(); up; up = up->superview()) {
        if (up->clipsToBounds() || !up->superview())
            visible = visible.intersection(rectInWindow(*up));
    }
    return visible;
}

bool shownItself(const View& view) {
    return !view.isHidden() && view.alpha() > kTransparentAlpha && !view.isAccessibilityHidden();
}

bool coversSuperview(const View& view) {
    const View* super = view.superview();
    if (!super)
        return false;
    const Rect own = view.frame();
    const Rect area = super->bounds();
    const bool covers = own.minX() <= area.minX() + kCoverSlackPoints &&
                        own.minY() <= area.minY() + kCoverSlackPoints &&
                        own.maxX() >= area.maxX() - kCoverSlackPoints &&
                        own.maxY() >= area.maxY() - kCoverSlackPoints;
    if (!covers)
        return false;
    // Screens, alerts and overlays hide what is under them, and so does anything opaque.
    return view.accessibilityIsModal() || view.viewController() != nullptr ||
           view.backgroundColor().alpha >= 1.0;
}

void collectElements(View& container, std::vector<View*>& out, bool inRow);

// The subviews of `container` that are read, drawn order, leaving out those under a cover.
std::vector<View*> uncoveredSubviews(View& container) {
    std::vector<View*> shown;
    const auto& subviews = container.subviews();
    for (auto it = subviews.rbegin(); it != subviews.rend(); ++it) {
        View& sub = **it;
        if (!shownItself(sub) || visibleRectInWindow(sub).isEmpty())
            continue;
        shown.push_back(&sub);
        if (coversSuperview(sub))
            break;
    }
    return shown; // top first
}

// Elements read whole: what is drawn inside them (a switch's captions) is not read apart.
bool isLeaf(AccessibleRole role) {
    switch (role) {
    case AccessibleRole::Button:
    case AccessibleRole::ToggleButton:
    case AccessibleRole::CheckBox:
    case AccessibleRole::StaticText:
    case AccessibleRole::EditableText:
    case AccessibleRole::SpinBox:
    case AccessibleRole::Slider:
    case AccessibleRole::PageTab:
        return true;
    default:
        return false;
    }
}

void collectElements(View& container, std::vector<View*>& out, bool inRow) {
    if (isLeaf(container.accessibilityRole()))
        return;
    std::vector<View*> shown = uncoveredSubviews(container);
    // A window offers the screen on top first; inside a screen, views are read as laid out.
    if (!dynamic_cast<Window*>(&container))
        std::reverse(shown.begin(), shown.end());
    const bool row = inRow || container.accessibilityRole() == AccessibleRole::ListItem;
    for (View* sub : shown) {
        const AccessibleRole role = sub->accessibilityRole();
        if (role == AccessibleRole::None) {
            collectElements(*sub, out, row);
            continue;
        }
        // A row's name already says what its labels show.
        if (row && role == AccessibleRole::StaticText)
            continue;
        out.push_back(sub);
    }
}

// The element whose child `view` is: the nearest superview with a role, or the window.
View* accessibleParentView(const View& view) {
    for (View* up = view.superview(); up; up = up->superview()) {
        if (up->accessibilityRole() != AccessibleRole::None || !up->superview())
            return up;
    }
    return nullptr;
}

} // namespace

std::vector<View*> accessibleChildren(View& container) {
    std::vector<View*> out;
    collectElements(container, out, false);
    // A list reads its rows top to bottom, whatever order its cells were made in.
    if (container.accessibilityRole() == AccessibleRole::List) {
        std::stable_sort(out.begin(), out.end(), [](const View* a, const View* b) {
            return rectInWindow(*a).minY() < rectInWindow(*b).minY();
        });
    }
    return out;
}

bool isAccessiblyExposed(const View& view) {
    const View* child = &view;
    for (View* up = view.superview(); up; child = up, up = up->superview()) {
        if (!shownItself(*child))
            return false;
        auto shown = uncoveredSubviews(*up);
        if (std::find(shown.begin(), shown.end(), child) == shown.end())
            return false;
    }
    // The top of the tree: a window that is on screen.
    return shownItself(*child) && !visibleRectInWindow(view).isEmpty();
}

// ---- The interfaces Qt asks ----------------------------------------------------------------

namespace {

QString qs(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QAccessible::Role qtRole(AccessibleRole role) {
    switch (role) {
    case AccessibleRole::None:
    case AccessibleRole::Group:
        return QAccessible::Grouping;
    case AccessibleRole::Window:
        return QAccessible::Window;
    case AccessibleRole::Button:
    case AccessibleRole::ToggleButton:
        return QAccessible::Button;
    case AccessibleRole::CheckBox:
        return QAccessible::CheckBox;
    case AccessibleRole::StaticText:
        return QAccessible::StaticText;
    case AccessibleRole::EditableText:
        return QAccessible::EditableText;
    case AccessibleRole::SpinBox:
        return QAccessible::SpinBox;
    case AccessibleRole::Slider:
        return QAccessible::Slider;
    case AccessibleRole::List:
        return QAccessible::List;
    case AccessibleRole::ListItem:
        return QAccessible::ListItem;
    case AccessibleRole::ProgressBar:
        return QAccessible::ProgressBar;
    case AccessibleRole::Alert:
        return QAccessible::AlertMessage;
    case AccessibleRole::Dialog:
        return QAccessible::Dialog;
    case AccessibleRole::PageTabList:
        return QAccessible::PageTabList;
    case AccessibleRole::PageTab:
        return QAccessible::PageTab;
    case AccessibleRole::Picture:
        return QAccessible::Graphic;
    case AccessibleRole::Video:
        return QAccessible::Animation;
    }
    return QAccessible::NoRole;
}

QAccessible::State qtState(AccessibleStates states) {
    QAccessible::State s;
    s.disabled = (states & AccessibleStateDisabled) != 0;
    s.focusable = (states & AccessibleStateFocusable) != 0;
    s.focused = (states & AccessibleStateFocused) != 0;
    s.checkable = (states & AccessibleStateCheckable) != 0;
    s.checked = (states & AccessibleStateChecked) != 0;
    s.selectable = (states & AccessibleStateSelectable) != 0;
    s.selected = (states & AccessibleStateSelected) != 0;
    s.editable = (states & AccessibleStateEditable) != 0;
    s.modal = (states & AccessibleStateModal) != 0;
    s.busy = (states & AccessibleStateBusy) != 0;
    s.pressed = (states & AccessibleStatePressed) != 0;
    s.passwordEdit = (states & AccessibleStateSecret) != 0;
    return s;
}

const QString& qtAction(AccessibleAction action) {
    switch (action) {
    case AccessibleAction::Press:
        return QAccessibleActionInterface::pressAction();
    case AccessibleAction::Toggle:
        return QAccessibleActionInterface::toggleAction();
    case AccessibleAction::Increase:
        return QAccessibleActionInterface::increaseAction();
    case AccessibleAction::Decrease:
        return QAccessibleActionInterface::decreaseAction();
    }
    return QAccessibleActionInterface::pressAction();
}

// Positions in Qt's text are UTF-16 units; the kit's are bytes of UTF-8.
int utf16Offset(const std::string& text, std::size_t byteOffset) {
    return static_cast<int>(qs(text.substr(0, std::min(byteOffset, text.size()))).size());
}

std::size_t byteOffset(const std::string& text, int offset) {
    QString all = qs(text);
    offset = std::clamp(offset, 0, static_cast<int>(all.size()));
    return static_cast<std::size_t>(all.left(offset).toUtf8().size());
}

QRect globalRect(const View& view) {
    Window* window = view.window();
    PlatformWindow* platform = window ? window->platformWindow() : nullptr;
    Rect r = rectInWindow(view);
    if (!platform) {
        return QRect(static_cast<int>(std::lround(r.minX())), static_cast<int>(std::lround(r.minY())),
                     static_cast<int>(std::lround(r.width())),
                     static_cast<int>(std::lround(r.height())));
    }
    const double scale = platform->width() / std::max(1.0, window->bounds().width());
    QPoint origin = platform->mapToGlobal(QPoint(static_cast<int>(std::lround(r.minX() * scale)),
                                                 static_cast<int>(std::lround(r.minY() * scale))));
    return QRect(origin, QSize(static_cast<int>(std::lround(r.width() * scale)),
                               static_cast<int>(std::lround(r.height() * scale))));
}

QAccessibleInterface* interfaceForParent(View* parent);

class ViewAccessible : public QAccessibleInterface,
                       public QAccessibleActionInterface,
                       public QAccessibleValueInterface,
                       public QAccessibleTextInterface,
                       public QAccessibleEditableTextInterface {
public:
    explicit ViewAccessible(View* view) : _view(view) {
        _lastStates = view->accessibilityStates();
        _lastText = editableText();
    }

    void viewGone() { _view = nullptr; }
    View* view() const { return _view; }

    bool isValid() const override { return _view != nullptr; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override {
        Window* w = _view ? _view->window() : nullptr;
        return w ? w->platformWindow() : nullptr;
    }

    QAccessibleInterface* parent() const override {
        return _view ? interfaceForParent(accessibleParentView(*_view)) : nullptr;
    }
    QAccessibleInterface* child(int index) const override {
        if (!_view)
            return nullptr;
        auto children = accessibleChildren(*_view);
        if (index < 0 || index >= static_cast<int>(children.size()))
            return nullptr;
        return accessibleInterface(children[static_cast<std::size_t>(index)]);
    }
    int childCount() const override {
        return _view ? static_cast<int>(accessibleChildren(*_view).size()) : 0;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        if (!_view || !child)
            return -1;
        auto children = accessibleChildren(*_view);
        for (std::size_t i = 0; i < children.size(); i++) {
            if (accessibleInterface(children[i]) == child)
                return static_cast<int>(i);
        }
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        if (!_view)
            return nullptr;
        auto children = accessibleChildren(*_view);
        for (auto it = children.rbegin(); it != children.rend(); ++it) {
            if (globalRect(**it).contains(x, y))
                return accessibleInterface(*it);
        }
        return nullptr;
    }

    QString text(QAccessible::Text t) const override {
        if (!_view)
            return {};
        switch (t) {
        case QAccessible::Name:
            return qs(_view->accessibilityLabel());
        case QAccessible::Description:
            return qs(_view->accessibilityDescription());
        case QAccessible::Value: {
            if (std::string text = _view->accessibilityValueText(); !text.empty())
                return qs(text);
            if (_view->accessibilityRole() == AccessibleRole::EditableText)
                return displayedText();
            if (auto value = _view->accessibilityValue();
                value && _view->accessibilityRole() == AccessibleRole::ProgressBar) {
                const double span = std::max(1e-9, value->maximum - value->minimum);
                const double percent = (value->current - value->minimum) / span * 100;
                return QString::number(std::lround(std::clamp(percent, 0.0, 100.0))) + '%';
            }
            return {};
        }
        default:
            return {};
        }
    }
    void setText(QAccessible::Text t, const QString& text) override {
        if (t == QAccessible::Value && textField() && textField()->isEnabled()) {
            textField()->setSelectedRange({0, textField()->text().size()});
            textField()->insertText(text.toStdString());
        }
    }
    QRect rect() const override { return _view ? globalRect(*_view) : QRect(); }
    QAccessible::Role role() const override {
        return _view ? qtRole(_view->accessibilityRole()) : QAccessible::NoRole;
    }
    QAccessible::State state() const override {
        if (!_view) {
            QAccessible::State gone;
            gone.invisible = true;
            return gone;
        }
        QAccessible::State s = qtState(_view->accessibilityStates());
        if (!isAccessiblyExposed(*_view)) {
            s.invisible = true;
            s.offscreen = true;
        }
        return s;
    }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (!_view)
            return nullptr;
        switch (type) {
        case QAccessible::ActionInterface:
            return _view->accessibilityActions().empty()
                       ? nullptr
                       : static_cast<QAccessibleActionInterface*>(this);
        case QAccessible::ValueInterface:
            return _view->accessibilityValue() ? static_cast<QAccessibleValueInterface*>(this)
                                               : nullptr;
        case QAccessible::TextInterface:
            return isText() ? static_cast<QAccessibleTextInterface*>(this) : nullptr;
        case QAccessible::EditableTextInterface:
            return textField() || editableTextView()
                       ? static_cast<QAccessibleEditableTextInterface*>(this)
                       : nullptr;
        default:
            return nullptr;
        }
    }

    // Actions: run on the next turn of the run loop, as a press would, so the bus's call returns
    // at once and nothing it holds is taken away under it.
    QStringList actionNames() const override {
        QStringList names;
        if (_view) {
            for (AccessibleAction action : _view->accessibilityActions())
                names << qtAction(action);
        }
        return names;
    }
    void doAction(const QString& name) override {
        if (!_view)
            return;
        for (AccessibleAction action : _view->accessibilityActions()) {
            if (qtAction(action) != name)
                continue;
            std::weak_ptr<Object> weak = _view->weak_from_this();
            View* target = _view;
            RunLoop::post([weak, target, action] {
                if (auto keep = weak.lock())
                    target->performAccessibilityAction(action);
            });
            return;
        }
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

    // Values.
    QVariant currentValue() const override { return number(&AccessibleValue::current); }
    QVariant maximumValue() const override { return number(&AccessibleValue::maximum); }
    QVariant minimumValue() const override { return number(&AccessibleValue::minimum); }
    QVariant minimumStepSize() const override { return number(&AccessibleValue::step); }
    void setCurrentValue(const QVariant& wanted) override {
        if (!_view)
            return;
        auto value = _view->accessibilityValue();
        if (!value || value->step <= 0)
            return;
        // Adjustable values move a step at a time, as their buttons do.
        const double target = wanted.toDouble();
        const AccessibleAction towards =
            target > value->current ? AccessibleAction::Increase : AccessibleAction::Decrease;
        const int steps = static_cast<int>(std::lround(std::abs(target - value->current) / value->step));
        for (int i = 0; i < steps; i++)
            _view->performAccessibilityAction(towards);
    }

    // Text of the entry fields.
    void selection(int index, int* start, int* end) const override {
        *start = *end = 0;
        Range r = selectedRange();
        if (index != 0 || r.length == 0)
            return;
        const std::string text = editableText();
        *start = utf16Offset(text, r.location);
        *end = utf16Offset(text, r.location + r.length);
    }
    int selectionCount() const override { return selectedRange().length > 0 ? 1 : 0; }
    void addSelection(int start, int end) override { setSelection(0, start, end); }
    void removeSelection(int) override { setCursorPosition(cursorPosition()); }
    void setSelection(int, int start, int end) override {
        if (TextField* field = textField()) {
            const std::string& text = field->text();
            const std::size_t from = byteOffset(text, std::min(start, end));
            const std::size_t to = byteOffset(text, std::max(start, end));
            field->setSelectedRange({from, to - from});
        }
    }
    int cursorPosition() const override {
        Range r = selectedRange();
        return utf16Offset(editableText(), r.location + r.length);
    }
    void setCursorPosition(int position) override { setSelection(0, position, position); }
    QString text(int start, int end) const override { return displayedText().mid(start, end - start); }
    int characterCount() const override { return static_cast<int>(displayedText().size()); }
    QRect characterRect(int) const override { return rect(); }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* start, int* end) const override {
        *start = *end = offset;
        return {};
    }
    void deleteText(int start, int end) override { replaceText(start, end, QString()); }
    void insertText(int offset, const QString& text) override { replaceText(offset, offset, text); }
    void replaceText(int start, int end, const QString& text) override {
        // Through the field's own typing, so its delegate may refuse the change.
        if (TextField* field = textField(); field && field->isEnabled()) {
            setSelection(0, start, end);
            field->insertText(text.toStdString());
        }
    }

    // Remembered between announcements, to tell what changed.
    AccessibleStates _lastStates = 0;
    std::string _lastText;

    std::string editableText() const {
        if (TextField* field = textField())
            return field->text();
        if (auto* view = dynamic_cast<TextView*>(_view))
            return view->text();
        return {};
    }

private:
    TextField* textField() const { return dynamic_cast<TextField*>(_view); }
    TextView* editableTextView() const {
        auto* view = dynamic_cast<TextView*>(_view);
        return view && view->isEditable() ? view : nullptr;
    }
    bool isText() const { return textField() || dynamic_cast<TextView*>(_view); }
    Range selectedRange() const {
        if (TextField* field = textField())
            return field->selectedRange();
        if (auto* view = dynamic_cast<TextView*>(_view))
            return view->selectedRange();
        return {};
    }
    // What a person sees: a password as dots.
    QString displayedText() const {
        QString text = qs(editableText());
        if (_view && (_view->accessibilityStates() & AccessibleStateSecret))
            return QString(text.size(), QChar(0x2022));
        return text;
    }
    QVariant number(double AccessibleValue::*field) const {
        if (!_view)
            return {};
        auto value = _view->accessibilityValue();
        return value ? QVariant((*value).*field) : QVariant();
    }

    View* _view;
};

// The desktop window: its children are the kit window's elements.
class WindowAccessible : public QAccessibleObject {
public:
    explicit WindowAccessible(PlatformWindow* window) : QAccessibleObject(window), _window(window) {}

    Window* kitWindow() const {
        for (Window* w : Window::allWindows()) {
            if (w->platformWindow() == _window)
                return w;
        }
        return nullptr;
    }

    QWindow* window() const override { return _window; }
    QAccessibleInterface* parent() const override {
        return QAccessible::queryAccessibleInterface(QCoreApplication::instance());
    }
    int childCount() const override {
        Window* w = kitWindow();
        return w ? static_cast<int>(accessibleChildren(*w).size()) : 0;
    }
    QAccessibleInterface* child(int index) const override {
        Window* w = kitWindow();
        if (!w)
            return nullptr;
        auto children = accessibleChildren(*w);
        if (index < 0 || index >= static_cast<int>(children.size()))
            return nullptr;
        return accessibleInterface(children[static_cast<std::size_t>(index)]);
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        Window* w = kitWindow();
        if (!w)
            return -1;
        auto children = accessibleChildren(*w);
        for (std::size_t i = 0; i < children.size(); i++) {
            if (accessibleInterface(children[i]) == child)
                return static_cast<int>(i);
        }
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        Window* w = kitWindow();
        if (!w)
            return nullptr;
        for (View* view : accessibleChildren(*w)) {
            if (globalRect(*view).contains(x, y))
                return accessibleInterface(view);
        }
        return nullptr;
    }
    QString text(QAccessible::Text t) const override {
        Window* w = kitWindow();
        if (t == QAccessible::Name)
            return w ? qs(w->accessibilityLabel()) : _window->title();
        return {};
    }
    QRect rect() const override { return _window->geometry(); }
    QAccessible::Role role() const override { return QAccessible::Window; }
    QAccessible::State state() const override {
        QAccessible::State s;
        s.active = _window->isActive();
        s.focusable = true;
        s.focused = _window->isActive();
        s.invisible = !_window->isVisible();
        return s;
    }

private:
    PlatformWindow* _window;
};

std::unordered_map<const View*, ViewAccessible*>& interfaces() {
    static auto* all = new std::unordered_map<const View*, ViewAccessible*>();
    return *all;
}

QAccessibleInterface* interfaceForParent(View* parent) {
    if (!parent)
        return nullptr;
    if (auto* window = dynamic_cast<Window*>(parent)) {
        if (PlatformWindow* platform = window->platformWindow())
            return QAccessible::queryAccessibleInterface(platform);
    }
    return accessibleInterface(parent);
}

QAccessibleInterface* windowFactory(const QString&, QObject* object) {
    if (auto* window = dynamic_cast<PlatformWindow*>(object))
        return new WindowAccessible(window);
    return nullptr;
}

const char* roleName(AccessibleRole role) {
    switch (role) {
    case AccessibleRole::None:
        return "none";
    case AccessibleRole::Window:
        return "window";
    case AccessibleRole::Group:
        return "group";
    case AccessibleRole::Button:
        return "push button";
    case AccessibleRole::ToggleButton:
        return "toggle button";
    case AccessibleRole::CheckBox:
        return "check box";
    case AccessibleRole::StaticText:
        return "label";
    case AccessibleRole::EditableText:
        return "text";
    case AccessibleRole::SpinBox:
        return "spin button";
    case AccessibleRole::Slider:
        return "slider";
    case AccessibleRole::List:
        return "list";
    case AccessibleRole::ListItem:
        return "list item";
    case AccessibleRole::ProgressBar:
        return "progress bar";
    case AccessibleRole::Alert:
        return "alert";
    case AccessibleRole::Dialog:
        return "dialog";
    case AccessibleRole::PageTabList:
        return "page tab list";
    case AccessibleRole::PageTab:
        return "page tab";
    case AccessibleRole::Picture:
        return "image";
    case AccessibleRole::Video:
        return "video";
    }
    return "?";
}

std::string stateWords(AccessibleStates states) {
    static const std::pair<AccessibleState, const char*> kWords[] = {
        {AccessibleStateDisabled, "disabled"},   {AccessibleStateFocusable, "focusable"},
        {AccessibleStateFocused, "focused"},     {AccessibleStateCheckable, "checkable"},
        {AccessibleStateChecked, "checked"},     {AccessibleStateSelectable, "selectable"},
        {AccessibleStateSelected, "selected"},   {AccessibleStateEditable, "editable"},
        {AccessibleStateModal, "modal"},         {AccessibleStateBusy, "busy"},
        {AccessibleStatePressed, "pressed"},     {AccessibleStateSecret, "password"},
    };
    std::string words;
    for (const auto& [state, word] : kWords) {
        if (states & state) {
            if (!words.empty())
                words += ' ';
            words += word;
        }
    }
    return words;
}

void appendTree(View& view, int depth, std::string& out) {
    out.append(static_cast<std::size_t>(depth) * 2, ' ');
    out += roleName(view.accessibilityRole());
    out += " \"" + view.accessibilityLabel() + "\"";
    QAccessibleInterface* iface = accessibleInterface(&view);
    if (QString value = iface->text(QAccessible::Value); !value.isEmpty())
        out += " [" + value.toStdString() + "]";
    if (std::string states = stateWords(view.accessibilityStates()); !states.empty())
        out += " (" + states + ")";
    out += '\n';
    for (View* child : accessibleChildren(view))
        appendTree(*child, depth + 1, out);
}

// Elements that must carry a name: what a person uses, and pictures that show something.
bool needsName(AccessibleRole role) {
    switch (role) {
    case AccessibleRole::None:
    case AccessibleRole::Group:
    case AccessibleRole::StaticText:
    case AccessibleRole::List:
    case AccessibleRole::Alert:
        return false;
    default:
        return true;
    }
}

void findUnnamed(View& view, const std::string& path, std::vector<std::string>& out) {
    for (View* child : accessibleChildren(view)) {
        const AccessibleRole role = child->accessibilityRole();
        const std::string label = child->accessibilityLabel();
        if (needsName(role) && label.empty())
            out.push_back(std::string(roleName(role)) + " in " + path);
        findUnnamed(*child, path + " > " + (label.empty() ? roleName(role) : label), out);
    }
}

} // namespace

QAccessibleInterface* accessibleInterface(View* view) {
    if (!view)
        return nullptr;
    auto& all = interfaces();
    auto found = all.find(view);
    if (found != all.end())
        return found->second;
    auto* iface = new ViewAccessible(view);
    QAccessible::registerAccessibleInterface(iface);
    all.emplace(view, iface);
    return iface;
}

void accessibilityViewGone(View* view) {
    auto& all = interfaces();
    auto found = all.find(view);
    if (found == all.end())
        return;
    ViewAccessible* iface = found->second;
    all.erase(found);
    iface->viewGone();
    if (QCoreApplication::instance())
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(iface));
}

void installAccessibility() {
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QAccessible::installFactory(windowFactory);
}

std::string accessibleTreeText(View& root) {
    std::string out;
    appendTree(root, 0, out);
    return out;
}

std::vector<std::string> unnamedAccessibleElements(View& root) {
    std::vector<std::string> out;
    findUnnamed(root, root.accessibilityLabel().empty() ? roleName(root.accessibilityRole())
                                                       : root.accessibilityLabel(),
                out);
    return out;
}

// ---- Announcements -------------------------------------------------------------------------

namespace {

AccessibilityObserver& observer() {
    static auto* current = new AccessibilityObserver();
    return *current;
}

} // namespace

void setAccessibilityObserver(AccessibilityObserver newObserver) {
    observer() = std::move(newObserver);
}

void accessibleProgressChanged(View& view, double fraction, int& announcedPercent) {
    const int percent = static_cast<int>(std::lround(std::clamp(fraction, 0.0, 1.0) * 100));
    if (percent == announcedPercent)
        return;
    announcedPercent = percent;
    accessibilityChanged(view, AccessibleChange::Value);
}

void accessibilityChanged(View& view, AccessibleChange change) {
    const bool listening = QAccessible::isActive();
    if (!listening && !observer())
        return;
    // Nothing is said of what a screen reader cannot find, except that it went away.
    if (change != AccessibleChange::Hidden && !isAccessiblyExposed(view))
        return;
    if (observer())
        observer()(view, change);
    if (!listening)
        return;
    auto* iface = static_cast<ViewAccessible*>(accessibleInterface(&view));
    switch (change) {
    case AccessibleChange::Name: {
        QAccessibleEvent event(iface, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
        break;
    }
    case AccessibleChange::Value: {
        QAccessibleValueChangeEvent event(iface, iface->currentValue());
        QAccessible::updateAccessibility(&event);
        break;
    }
    case AccessibleChange::States:
    case AccessibleChange::Selection: {
        const AccessibleStates now = view.accessibilityStates();
        const AccessibleStates changed = now ^ iface->_lastStates;
        iface->_lastStates = now;
        if (changed != 0) {
            QAccessibleStateChangeEvent event(iface, qtState(changed));
            QAccessible::updateAccessibility(&event);
        }
        if (change == AccessibleChange::Selection && (now & AccessibleStateSelected)) {
            QAccessibleEvent selection(iface, QAccessible::Selection);
            QAccessible::updateAccessibility(&selection);
        }
        break;
    }
    case AccessibleChange::Text: {
        const std::string now = iface->editableText();
        if (now != iface->_lastText) {
            QAccessibleTextUpdateEvent event(iface, 0, qs(iface->_lastText), qs(now));
            iface->_lastText = now;
            QAccessible::updateAccessibility(&event);
        }
        QAccessibleTextCursorEvent cursor(iface, iface->cursorPosition());
        QAccessible::updateAccessibility(&cursor);
        break;
    }
    case AccessibleChange::Focus: {
        iface->_lastStates = view.accessibilityStates();
        QAccessibleEvent event(iface, QAccessible::Focus);
        QAccessible::updateAccessibility(&event);
        break;
    }
    case AccessibleChange::Shown:
    case AccessibleChange::Hidden: {
        const bool shown = change == AccessibleChange::Shown;
        QAccessibleEvent event(iface, shown ? QAccessible::ObjectShow : QAccessible::ObjectHide);
        QAccessible::updateAccessibility(&event);
        if (shown && view.accessibilityRole() == AccessibleRole::Alert) {
            QAccessibleEvent alert(iface, QAccessible::Alert);
            QAccessible::updateAccessibility(&alert);
        } else if (view.accessibilityRole() == AccessibleRole::Dialog) {
            QAccessibleEvent dialog(iface, shown ? QAccessible::DialogStart : QAccessible::DialogEnd);
            QAccessible::updateAccessibility(&dialog);
        }
        break;
    }
    }
}

} // namespace tx
