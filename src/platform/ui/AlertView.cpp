#include "platform/ui/AlertView.h"

#include "platform/ui/Label.h"
#include "platform/ui/TextEditing.h"
#include "platform/ui/Window.h"

namespace tx {

namespace {
constexpr double kAlertWidth = 270;
constexpr double kButtonHeight = 44;
constexpr double kMargin = 16;
constexpr double kPopSeconds = 0.2;
} // namespace

AlertView::AlertView(std::string title, std::string message,
                     std::weak_ptr<AlertViewDelegate> delegate,
                     const std::string& cancelButtonTitle,
                     const std::vector<std::string>& otherButtonTitles)
    : _title(std::move(title)), _message(std::move(message)), _delegate(std::move(delegate)) {
    if (!cancelButtonTitle.empty())
        setCancelIndex(addTitle(cancelButtonTitle));
    for (const auto& t : otherButtonTitles)
        addTitle(t);
}

void AlertView::show() {
    present(Window::keyWindow());
}

ViewPtr AlertView::buildPanel(const Rect& windowBounds) {
    auto panel = std::make_shared<View>();
    panel->setBackgroundColor(theme::panel());
    panel->setClipsToBounds(true);
    panel->setCornerRadius(12);
    double y = kMargin + 4;
    double textWidth = kAlertWidth - 2 * kMargin;
    if (!_title.empty()) {
        Font font = Font::boldSystemFont(17);
        double h = TextBox(_title, font, textWidth, true).height();
        auto label = std::make_shared<Label>(Rect(kMargin, y, textWidth, h));
        label->setText(_title);
        label->setFont(font);
        label->setNumberOfLines(0);
        label->setTextAlignment(TextAlignment::Center);
        panel->addSubview(label);
        y += h + 6;
    }
    if (!_message.empty()) {
        Font font = Font::systemFont(14);
        double h = TextBox(_message, font, textWidth, true).height();
        auto label = std::make_shared<Label>(Rect(kMargin, y, textWidth, h));
        label->setText(_message);
        label->setFont(font);
        label->setNumberOfLines(0);
        label->setTextAlignment(TextAlignment::Center);
        label->setTextColor(theme::text().withAlpha(0.85));
        panel->addSubview(label);
        y += h;
    }
    y += kMargin + 2;
    auto line = [&](const Rect& r) {
        auto separator = std::make_shared<View>(r);
        separator->setBackgroundColor(theme::separator());
        panel->addSubview(separator);
    };
    int count = numberOfButtons();
    line(Rect(0, y - 0.5, kAlertWidth, 0.5));
    // Two buttons sit side by side unless a title would not fit in half the width.
    bool sideBySide = count == 2;
    for (int i = 0; sideBySide && i < count; i++)
        sideBySide = Font::boldSystemFont(17).sizeOfText(buttonTitleAtIndex(i)).width <=
                     kAlertWidth / 2 - 16;
    if (sideBySide) {
        // The cancel button on the left.
        int left = cancelButtonIndex() >= 0 ? cancelButtonIndex() : 0;
        int right = 1 - left;
        panel->addSubview(makeButton(left, Rect(0, y, kAlertWidth / 2, kButtonHeight),
                                     left == cancelButtonIndex(), false));
        panel->addSubview(makeButton(
            right, Rect(kAlertWidth / 2, y, kAlertWidth / 2, kButtonHeight), false, false));
        line(Rect(kAlertWidth / 2 - 0.25, y, 0.5, kButtonHeight));
        y += kButtonHeight;
    } else {
        // Stacked: the other buttons in order, the cancel button last.
        std::vector<int> order;
        for (int i = 0; i < count; i++)
            if (i != cancelButtonIndex())
                order.push_back(i);
        if (cancelButtonIndex() >= 0)
            order.push_back(cancelButtonIndex());
        for (std::size_t k = 0; k < order.size(); k++) {
            if (k > 0)
                line(Rect(0, y - 0.5, kAlertWidth, 0.5));
            panel->addSubview(makeButton(order[k], Rect(0, y, kAlertWidth, kButtonHeight),
                                         order[k] == cancelButtonIndex(), false));
            y += kButtonHeight;
        }
    }
    panel->setFrame(
        Rect(windowBounds.midX() - kAlertWidth / 2, windowBounds.midY() - y / 2, kAlertWidth, y));
    return panel;
}

void AlertView::animateIn(const ViewPtr& panel) {
    panel->setTransform(AffineTransform::scale(1.15, 1.15));
    View::animate(kPopSeconds, 0, AnimationCurve::EaseOut,
                  [&] { panel->setTransform(AffineTransform()); });
}

void AlertView::reportClick(int index) {
    if (auto delegate = _delegate.lock())
        delegate->alertViewClickedButtonAtIndex(*this, index);
}

void AlertView::reportDismiss(int index) {
    if (auto delegate = _delegate.lock())
        delegate->alertViewDidDismissWithButtonIndex(*this, index);
}

} // namespace tx
