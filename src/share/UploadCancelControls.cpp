#include "platform/foundation/Translation.h"
#include "share/UploadCancelControls.h"

#include "platform/ui/Image.h"

namespace tx {

bool UploadCancelKeys::keyPressed(const KeyEvent& event) {
    if (event.key == KeyEvent::Key::Escape && _onCancel) {
        // The handler may take the overlay, and this view with it, away.
        auto onCancel = _onCancel;
        onCancel();
        return true;
    }
    // Nothing else reaches the screens behind the overlay; Tab reaches its Cancel button.
    return event.key != KeyEvent::Key::Tab;
}

std::shared_ptr<Button> addUploadCancelControls(View& overlay, const Rect& frame,
                                                std::function<void()> onCancel) {
    auto button = std::make_shared<Button>(frame);
    button->setImage(Image::imageNamed("cancel_btn_116_56"), ControlStateNormal);
    button->setImage(Image::imageNamed("cancel_btn_P_116_56"), ControlStateHighlighted);
    button->setAccessibilityLabel(_("Cancel"));
    button->addTarget(button.get(), ControlEventTouchUpInside,
                      [onCancel](Control&) { onCancel(); });
    overlay.addSubview(button);
    auto keys = std::make_shared<UploadCancelKeys>(onCancel);
    overlay.addSubview(keys);
    keys->becomeFirstResponder();
    return button;
}

void CancellableSendingView::show() {
    SendingVideoProgressView::show();
    // Centred just under the overlay's picture, which is stretched to the window's height.
    _cancel = addUploadCancelControls(*this, Rect(131, bounds().size.height * 0.7, 58, 28),
                                      _onCancel);
}

View* CancellableSendingView::hitTest(Point point) {
    View* hit = View::hitTest(point);
    for (View* v = hit; _cancel && v != nullptr; v = v->superview()) {
        if (v == _cancel.get()) {
            return hit;
        }
    }
    return SendingVideoProgressView::hitTest(point);
}

} // namespace tx
