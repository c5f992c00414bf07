#include "PickerBar.h"
#include "platform/foundation/Translation.h"

#include "platform/ui/Label.h"

namespace tx {

std::shared_ptr<Button> makePickerBarButton(double x, const std::string& title, const Color& color,
                                            std::function<void()> action) {
    auto button = std::make_shared<Button>(Rect(x, 7, 72, 30));
    button->setTitle(title, ControlStateNormal);
    button->setBackgroundColor(color);
    button->setCornerRadius(6);
    // The button owns its action; the screen that made it outlives it.
    button->addTarget(button.get(), ControlEventTouchUpInside,
                      [action = std::move(action)](Control&) { action(); });
    return button;
}

std::shared_ptr<View> makePickerBar(double width, const std::string& title,
                                    std::function<void()> onCancel) {
    auto bar = std::make_shared<View>(Rect(0, 0, width, kPickerBarHeight));
    bar->setBackgroundColor(theme::panel());
    bar->addSubview(makePickerBarButton(8, translatedIn("picker bar", "Cancel"), theme::panelLight(),
                                        std::move(onCancel)));
    auto label = std::make_shared<Label>(Rect(84, 7, width - 168, 30));
    label->setText(title);
    label->setFont(Font::boldSystemFont(17));
    label->setTextAlignment(TextAlignment::Center);
    bar->addSubview(label);
    return bar;
}

} // namespace tx
