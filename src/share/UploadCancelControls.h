// Esc and a Cancel button on the overlay of an upload in progress: both stop the upload, and
// while the overlay is up no key reaches the screens behind it.
#pragma once

#include "platform/ui/Button.h"
#include "platform/ui/View.h"
#include "share/SendingVideoProgressView.h"

#include <functional>
#include <memory>

namespace tx {

// Takes the keyboard while an upload's overlay is shown: Esc cancels, other keys are swallowed.
class UploadCancelKeys : public View {
public:
    explicit UploadCancelKeys(std::function<void()> onCancel)
        : View(Rect(0, 0, 0, 0)), _onCancel(std::move(onCancel)) {}
    bool canBecomeFirstResponder() const override { return true; }
    bool keyPressed(const KeyEvent& event) override;

private:
    std::function<void()> _onCancel;
};

// Adds the Cancel button (at `frame` in the overlay) and the key catcher to `overlay`; returns
// the button.
std::shared_ptr<Button> addUploadCancelControls(View& overlay, const Rect& frame,
                                                std::function<void()> onCancel);

// The sending overlay with a Cancel button that still takes its own touches.
class CancellableSendingView : public SendingVideoProgressView {
public:
    explicit CancellableSendingView(std::function<void()> onCancel)
        : _onCancel(std::move(onCancel)) {}
    void show();
    View* hitTest(Point point) override;
    const std::shared_ptr<Button>& cancelButton() const { return _cancel; }

private:
    std::function<void()> _onCancel;
    std::shared_ptr<Button> _cancel;
};

} // namespace tx
