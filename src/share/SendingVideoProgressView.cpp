#include "share/SendingVideoProgressView.h"

#include "platform/ui/Accessibility.h"
#include "platform/ui/Image.h"
#include "platform/ui/ProgressBar.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"

namespace tx {

void SendingVideoProgressView::show() {
    const double height = Screen::mainScreen().bounds().size.height;
    setFrame(Rect(0, 0, 320, height));
    auto background = std::make_shared<ImageView>(Rect(0, 0, 320, height));
    background->setImage(Image::imageNamed("sending_video_bg_640_960"));
    addSubview(background);
    _progressViewBg = std::make_shared<ImageView>(Rect(84, 231, kBarWidth, 18));
    _progressViewBg->setImage(Image::imageNamed("sending_bar_bg_304_36"));
    addSubview(_progressViewBg);
    _progressViewLoading = std::make_shared<ImageView>(Rect(84, 231, 0, 18));
    _progressViewLoading->setImage(Image::imageNamed("sending_bar_loading_304_36"));
    // Widening the bar uncovers more of the picture rather than stretching it.
    _progressViewLoading->setClipsToBounds(true);
    _progressViewLoading->setContentMode(ContentMode::Left);
    addSubview(_progressViewLoading);
    if (Window* window = Window::keyWindow()) {
        window->addSubview(sharedView());
        window->bringSubviewToFront(this);
    }
    setAlpha(0);
    View::animate(0.5, 0, AnimationCurve::Linear, [this]() { setAlpha(1); });
    _announcedPercent = -1;
    accessibilityChanged(*this, AccessibleChange::Shown);
}

void SendingVideoProgressView::hide() {
    auto self = sharedView();
    // While it fades out it is no longer in the way: keys and touches reach the screen again.
    setUserInteractionEnabled(false);
    View::animate(
        0.2, 0, AnimationCurve::Linear, [this]() { setAlpha(0); },
        [self](bool) { self->removeFromSuperview(); });
}

void SendingVideoProgressView::setProgress(float progress) {
    if (_progressViewLoading) {
        setBarProgress(*_progressViewLoading, progress, kBarWidth);
        accessibleProgressChanged(*this, progress, _announcedPercent);
    }
}

float SendingVideoProgressView::progress() const {
    return _progressViewLoading ? barProgress(*_progressViewLoading, kBarWidth) : 0.0f;
}

View* SendingVideoProgressView::hitTest(Point point) {
    View* hit = View::hitTest(point);
    return hit != nullptr ? this : nullptr;
}

} // namespace tx
