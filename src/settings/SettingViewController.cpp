#include "SettingViewController.h"

#include "platform/ui/Image.h"
#include "platform/ui/Screen.h"

#include <cmath>

namespace tx {

namespace {
constexpr double kStripX = 282;
constexpr double kStripWidth = 38;
} // namespace

void SettingViewController::loadView() {
    const double h = Screen::mainScreen().bounds().height();
    auto strip = std::make_shared<View>(Rect(kStripX, 0, kStripWidth, h - 54));
    _handle = std::make_shared<Button>(Rect(0, std::trunc((h - 54) * 0.5) - 50, kStripWidth, 100));
    _handle->setImage(Image::imageNamed("setting_handle_76_200"), ControlStateNormal);
    _handle->setImage(Image::imageNamed("setting_handle_P_76_200"), ControlStateHighlighted);
    strip->addSubview(_handle);
    setView(strip);
}

void SettingViewController::enable(bool enabled) {
    _enabled = enabled;
    view()->setUserInteractionEnabled(enabled);
}

} // namespace tx
