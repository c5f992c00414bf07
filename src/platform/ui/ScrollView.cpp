#include "platform/ui/ScrollView.h"

#include <algorithm>

namespace tx {

namespace {
constexpr double kIndicatorWidth = 3;
constexpr double kScrollSeconds = 0.3;
} // namespace

ScrollView::ScrollView(const Rect& frame) : View(frame) {
    setClipsToBounds(true);
    _indicator = std::make_shared<View>(Rect(0, 0, kIndicatorWidth, 0));
    _indicator->setBackgroundColor(Color::white(1, 0.35));
    _indicator->setUserInteractionEnabled(false);
    _indicator->setHidden(true);
}

void ScrollView::setContentSize(Size size) {
    _contentSize = size;
    setContentOffset(clamped(contentOffset()));
    updateIndicator();
}

Point ScrollView::clamped(Point offset) const {
    Rect b = bounds();
    double maxX = std::max(0.0, _contentSize.width - b.width());
    double maxY = std::max(0.0, _contentSize.height - b.height());
    return {std::clamp(offset.x, 0.0, maxX), std::clamp(offset.y, 0.0, maxY)};
}

bool ScrollView::canScroll() const {
    Rect b = bounds();
    return _contentSize.height > b.height() + 0.5 || _contentSize.width > b.width() + 0.5;
}

void ScrollView::setContentOffset(Point offset, bool animated) {
    Rect b = bounds();
    if (b.origin == offset)
        return;
    b.origin = offset;
    if (animated)
        View::animate(kScrollSeconds, [&] { setBounds(b); });
    else
        setBounds(b);
    updateIndicator();
    didScroll();
}

void ScrollView::scrollBy(double dx, double dy) {
    Point o = contentOffset();
    setContentOffset(clamped({o.x + dx, o.y + dy}));
}

void ScrollView::touchesBegan(const TouchSet&) {
    _dragging = true;
}

void ScrollView::touchesMoved(const TouchSet& touches) {
    if (!_dragging || !_scrollEnabled || touches.empty())
        return;
    // Locations in the superview stay put while the content moves.
    Point now = touches.front()->locationInView(superview());
    Point before = touches.front()->previousLocationInView(superview());
    scrollBy(before.x - now.x, before.y - now.y);
}

void ScrollView::touchesEnded(const TouchSet&) {
    _dragging = false;
}
void ScrollView::touchesCancelled(const TouchSet&) {
    _dragging = false;
}

void ScrollView::layoutSubviews() {
    updateIndicator();
}

void ScrollView::updateIndicator() {
    Rect b = bounds();
    bool show = _contentSize.height > b.height() + 0.5 && b.height() > 0;
    if (_indicator->superview() != this)
        addSubview(_indicator);
    else if (subviews().back() != _indicator)
        bringSubviewToFront(_indicator.get());
    _indicator->setHidden(!show);
    if (!show)
        return;
    double length = std::max(20.0, b.height() * b.height() / _contentSize.height);
    double travel = b.height() - length - 4;
    double fraction = b.origin.y / std::max(1.0, _contentSize.height - b.height());
    _indicator->setFrame(Rect(b.origin.x + b.width() - kIndicatorWidth - 2,
                              b.origin.y + 2 + travel * fraction, kIndicatorWidth, length));
}

} // namespace tx
