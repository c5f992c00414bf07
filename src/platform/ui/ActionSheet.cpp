#include "platform/ui/ActionSheet.h"

#include "platform/ui/Label.h"
#include "platform/ui/Window.h"

namespace tx {

namespace {
constexpr double kSlideSeconds = 0.25;
constexpr double kButtonHeight = 46;
constexpr double kMargin = 8;
} // namespace

ActionSheet::ActionSheet(std::string title, std::weak_ptr<ActionSheetDelegate> delegate,
                         const std::string& cancelButtonTitle,
                         const std::string& destructiveButtonTitle,
                         const std::vector<std::string>& otherButtonTitles)
    : _title(std::move(title)), _delegate(std::move(delegate)) {
    if (!destructiveButtonTitle.empty())
        _destructiveIndex = addTitle(destructiveButtonTitle);
    for (const auto& t : otherButtonTitles)
        addTitle(t);
    if (!cancelButtonTitle.empty())
        setCancelIndex(addTitle(cancelButtonTitle));
}

void ActionSheet::showInView(View* view) {
    Window* window = view && view->window() ? view->window() : Window::keyWindow();
    present(window);
}

ViewPtr ActionSheet::buildPanel(const Rect& windowBounds) {
    auto panel = std::make_shared<View>();
    double width = windowBounds.width() - 2 * kMargin;
    auto group = std::make_shared<View>();
    group->setBackgroundColor(theme::panel());
    group->setCornerRadius(12);
    group->setClipsToBounds(true);
    double y = 0;
    if (!_title.empty()) {
        auto label = std::make_shared<Label>(Rect(12, 0, width - 24, 40));
        label->setText(_title);
        label->setFont(Font::systemFont(13));
        label->setTextColor(theme::secondaryText());
        label->setTextAlignment(TextAlignment::Center);
        group->addSubview(label);
        y = 40;
    }
    for (int i = 0; i < numberOfButtons(); i++) {
        if (i == cancelButtonIndex())
            continue;
        if (y > 0) {
            auto separator = std::make_shared<View>(Rect(0, y - 0.5, width, 0.5));
            separator->setBackgroundColor(theme::separator());
            group->addSubview(separator);
        }
        group->addSubview(
            makeButton(i, Rect(0, y, width, kButtonHeight), false, i == _destructiveIndex));
        y += kButtonHeight;
    }
    group->setFrame(Rect(0, 0, width, y));
    panel->addSubview(group);
    double height = y;
    if (cancelButtonIndex() >= 0) {
        auto cancel = makeButton(cancelButtonIndex(), Rect(0, y + kMargin, width, kButtonHeight),
                                 true, false);
        cancel->setBackgroundColor(theme::panel());
        cancel->setCornerRadius(12);
        cancel->setClipsToBounds(true);
        panel->addSubview(cancel);
        height = y + kMargin + kButtonHeight;
    }
    panel->setFrame(Rect(kMargin, windowBounds.maxY() - height - kMargin, width, height));
    return panel;
}

void ActionSheet::animateIn(const ViewPtr& panel) {
    Rect end = panel->frame();
    panel->setFrame(end.offsetBy(0, end.height() + kMargin));
    View::animate(kSlideSeconds, 0, AnimationCurve::EaseOut, [&] { panel->setFrame(end); });
}

void ActionSheet::animateOut(const ViewPtr& panel) {
    Rect f = panel->frame();
    View::animate(kSlideSeconds, 0, AnimationCurve::EaseIn,
                  [&] { panel->setFrame(f.offsetBy(0, f.height() + kMargin)); });
}

void ActionSheet::reportClick(int index) {
    if (auto delegate = _delegate.lock())
        delegate->actionSheetClickedButtonAtIndex(*this, index);
}

void ActionSheet::reportDismiss(int index) {
    if (auto delegate = _delegate.lock())
        delegate->actionSheetDidDismissWithButtonIndex(*this, index);
}

} // namespace tx
