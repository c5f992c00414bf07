#include "services/hud/MBProgressHUD.h"

#include "platform/ui/GraphicsContext.h"

#include <algorithm>

namespace tx {

namespace {
constexpr double kBoxMargin = 20;
constexpr double kMinimumBoxSide = 120;
constexpr double kLabelHeight = 22;
} // namespace

MBProgressHUD::MBProgressHUD(const Rect& frame) : View(frame) {
    setBackgroundColor(Color::clear());
    setOpaque(false);
    _spinner = std::make_shared<ActivityIndicator>(ActivityIndicatorStyle::WhiteLarge);
    _label = std::make_shared<Label>();
    _label->setFont(Font::boldSystemFont(16));
    _label->setTextColor(Color::whiteColor());
    _label->setBackgroundColor(Color::clear());
    _label->setTextAlignment(TextAlignment::Center);
    addSubview(_spinner);
    addSubview(_label);
    // The overlay itself reads the words.
    _label->setAccessibilityHidden(true);
    _spinner->startAnimating();
    setNeedsLayout();
}

void MBProgressHUD::setLabelText(const std::string& text) {
    _label->setText(text);
    setNeedsLayout();
    setNeedsDisplay();
    accessibilityChanged(*this, AccessibleChange::Name);
}

void MBProgressHUD::setYOffset(double points) {
    _yOffset = points;
    setNeedsLayout();
    setNeedsDisplay();
}

Rect MBProgressHUD::boxFrame() const {
    const Rect area = bounds();
    const double textWidth =
        _label->text().empty() ? 0 : _label->font().sizeOfText(_label->text()).width;
    const double side = std::max(kMinimumBoxSide, textWidth + 2 * kBoxMargin);
    const double height = _label->text().empty() ? kMinimumBoxSide * 0.8 : kMinimumBoxSide;
    return Rect((area.width() - side) / 2, (area.height() - height) / 2 + _yOffset, side, height);
}

void MBProgressHUD::layoutSubviews() {
    const Rect area = bounds();
    const double cx = area.width() / 2;
    const double cy = area.height() / 2 + _yOffset;
    const bool hasText = !_label->text().empty();
    const Rect spinner = _spinner->frame();
    _spinner->setCenter({cx, cy - (hasText ? kLabelHeight / 2 + 4 : 0)});
    _label->setFrame(Rect(kBoxMargin, cy + spinner.height() / 2 - kLabelHeight / 2 + 6,
                          area.width() - 2 * kBoxMargin, kLabelHeight));
}

void MBProgressHUD::drawRect(const Rect&) {
    GraphicsContext* context = GraphicsContext::current();
    if (!context) {
        return;
    }
    context->fillRoundedRect(boxFrame(), 10, Color::black().withAlpha(0.8));
}

std::shared_ptr<MBProgressHUD> MBProgressHUD::showHUDAddedTo(View& view, bool animated) {
    auto hud = std::make_shared<MBProgressHUD>(view.bounds());
    view.addSubview(hud);
    if (animated) {
        hud->setAlpha(0);
        View::animate(kFadeSeconds, [hud] { hud->setAlpha(1); });
    }
    accessibilityChanged(*hud, AccessibleChange::Shown);
    return hud;
}

std::shared_ptr<MBProgressHUD> MBProgressHUD::HUDForView(View& view) {
    const auto& subviews = view.subviews();
    for (auto it = subviews.rbegin(); it != subviews.rend(); ++it) {
        if (auto hud = std::dynamic_pointer_cast<MBProgressHUD>(*it); hud && !hud->_hiding) {
            return hud;
        }
    }
    return nullptr;
}

bool MBProgressHUD::hideHUDForView(View& view, bool animated) {
    auto hud = HUDForView(view);
    if (!hud) {
        return false;
    }
    hud->hide(animated);
    return true;
}

void MBProgressHUD::hide(bool animated) {
    _hiding = true;
    _spinner->stopAnimating();
    if (!animated) {
        removeFromSuperview();
        return;
    }
    auto self = std::static_pointer_cast<MBProgressHUD>(sharedView());
    View::animate(
        kFadeSeconds, [self] { self->setAlpha(0); }, [self](bool) { self->removeFromSuperview(); });
}

} // namespace tx
