#include "platform/ui/ActivityIndicator.h"

#include "platform/foundation/RunLoop.h"
#include "platform/ui/GraphicsContext.h"

#include <cmath>

namespace tx {

namespace {
constexpr int kSpokes = 12;
constexpr double kStepSeconds = 1.0 / kSpokes;
} // namespace

ActivityIndicator::ActivityIndicator(ActivityIndicatorStyle style)
    : View(Rect(0, 0, style == ActivityIndicatorStyle::WhiteLarge ? 37 : 20,
                style == ActivityIndicatorStyle::WhiteLarge ? 37 : 20)),
      _style(style) {
    setUserInteractionEnabled(false);
    setHidden(true);
}

void ActivityIndicator::startAnimating() {
    if (_animating)
        return;
    _animating = true;
    setHidden(false);
    scheduleFrame();
}

void ActivityIndicator::stopAnimating() {
    _animating = false;
    if (_hidesWhenStopped)
        setHidden(true);
    setNeedsDisplay();
}

void ActivityIndicator::setHidesWhenStopped(bool hides) {
    _hidesWhenStopped = hides;
    if (!_animating)
        setHidden(hides);
}

void ActivityIndicator::didMoveToWindow() {
    scheduleFrame();
}

void ActivityIndicator::scheduleFrame() {
    if (_frameScheduled || !_animating || !window())
        return;
    _frameScheduled = true;
    std::weak_ptr<Object> weak = weak_from_this();
    RunLoop::postAfter(kStepSeconds, [this, weak] {
        if (!weak.lock())
            return;
        _frameScheduled = false;
        setNeedsDisplay();
        scheduleFrame();
    });
}

void ActivityIndicator::drawRect(const Rect& rect) {
    GraphicsContext* context = GraphicsContext::current();
    Color color = _style == ActivityIndicatorStyle::Gray ? Color::gray() : Color::whiteColor();
    int lead = _animating
                   ? static_cast<int>(std::floor(View::animationTime() / kStepSeconds)) % kSpokes
                   : 0;
    double radius = std::min(rect.width(), rect.height()) / 2;
    double spokeWidth = radius * 0.2;
    context->saveState();
    context->translate(rect.midX(), rect.midY());
    for (int i = 0; i < kSpokes; i++) {
        int age = (lead - i + kSpokes) % kSpokes;
        double alpha = 1.0 - 0.75 * age / (kSpokes - 1);
        context->saveState();
        context->rotate(2 * M_PI * i / kSpokes);
        context->fillRoundedRect(Rect(-spokeWidth / 2, -radius, spokeWidth, radius * 0.5),
                                 spokeWidth / 2, color.withAlpha(alpha));
        context->restoreState();
    }
    context->restoreState();
}

} // namespace tx
