#include "platform/ui/PopupView.h"

#include "platform/foundation/Translation.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/KeyTable.h"
#include "platform/ui/Window.h"

namespace tx {

namespace {

constexpr double kFadeSeconds = 0.2;

ImagePtr pressedBackground() {
    static ImagePtr image = [] {
        ImageContext context({4, 4}, false, 2);
        context.context().fillRect(Rect(0, 0, 4, 4), Color::white(1, 0.12));
        return context.image();
    }();
    return image;
}

} // namespace

PopupView::PopupView() : View(Rect()) {
    setBackgroundColor(Color::black().withAlpha(0.55));
}

int PopupView::addTitle(const std::string& title) {
    _titles.push_back(title);
    return static_cast<int>(_titles.size()) - 1;
}

std::string PopupView::buttonTitleAtIndex(int index) const {
    return index >= 0 && index < numberOfButtons() ? _titles[index] : std::string();
}

std::shared_ptr<Button> PopupView::buttonAtIndex(int index) const {
    for (auto& b : _buttons)
        if (b->tag() == index)
            return b;
    return nullptr;
}

std::shared_ptr<Button> PopupView::makeButton(int index, const Rect& frame, bool emphasised,
                                              bool destructive) {
    auto button = std::make_shared<Button>(frame);
    button->setTag(index);
    button->setTitle(buttonTitleAtIndex(index), ControlStateNormal);
    button->setTitleColor(destructive ? Color::hex(0xff4d4f) : theme::accent(), ControlStateNormal);
    button->setTitleFont(emphasised ? Font::boldSystemFont(17) : Font::systemFont(17));
    button->setBackgroundImage(pressedBackground(), ControlStateHighlighted);
    std::weak_ptr<Object> weak = weak_from_this();
    button->addTarget(this, ControlEventTouchUpInside, [this, weak, index](Control&) {
        if (auto keep = weak.lock())
            dismissWithClickedButtonIndex(index, true);
    });
    _buttons.push_back(button);
    return button;
}

void PopupView::present(Window* window) {
    if (!window || _visible)
        return;
    _visible = true;
    setFrame(window->bounds());
    _buttons.clear();
    if (_panel)
        _panel->removeFromSuperview();
    _panel = buildPanel(window->bounds());
    addSubview(_panel);
    window->addSubview(sharedView());
    accessibilityChanged(*this, AccessibleChange::Shown);
    becomeFirstResponder();
    setAlpha(0);
    View::animate(kFadeSeconds, 0, AnimationCurve::EaseOut, [&] { setAlpha(1); });
    animateIn(_panel);
}

void PopupView::dismissWithClickedButtonIndex(int index, bool animated) {
    if (!_visible || _dismissing)
        return;
    _dismissing = true;
    auto keep = sharedView(); // the window holds the popup until it is gone
    reportClick(index);
    auto finish = [this, keep, index](bool) {
        accessibilityChanged(*this, AccessibleChange::Hidden);
        removeFromSuperview();
        _visible = false;
        _dismissing = false;
        reportDismiss(index);
    };
    if (!animated) {
        finish(true);
        return;
    }
    View::animate(
        kFadeSeconds, 0, AnimationCurve::EaseIn, [&] { setAlpha(0); }, finish);
    animateOut(_panel);
}

void PopupView::addKeyBindings(KeyTable& table) {
    if (_cancelIndex >= 0)
        table.add({KeyChord::special(KeyEvent::Key::Escape)},
                  withArguments(_("Choose \"%1\""), {buttonTitleAtIndex(_cancelIndex)}),
                  [this] { dismissWithClickedButtonIndex(_cancelIndex, true); });
    if (numberOfButtons() > 0) {
        int index = numberOfButtons() - 1;
        if (index == _cancelIndex && index > 0)
            index--;
        table.add({KeyChord::special(KeyEvent::Key::Return)},
                  withArguments(_("Choose \"%1\""), {buttonTitleAtIndex(index)}),
                  [this, index] { dismissWithClickedButtonIndex(index, true); });
    }
}

bool PopupView::keyPressed(const KeyEvent& event) {
    auto keep = weak_from_this().lock();
    if (View::keyPressed(event))
        return true;
    // Nothing typed while the popup is up reaches the screen under it; Tab moves between its
    // buttons.
    return event.key != KeyEvent::Key::Tab;
}

} // namespace tx
