// The root view of a panel laid over the window (outside the chain of presented screens): it can
// hold the keyboard focus, so that keys meant for the panel never reach the screen beneath it.
#pragma once

#include "platform/ui/View.h"

#include <functional>

namespace tx {

class OverlayView : public View {
public:
    using KeyHandler = std::function<bool(const KeyEvent&)>;

    explicit OverlayView(const Rect& frame = {}) : View(frame) {}
    void setKeyHandler(KeyHandler handler) { _keyHandler = std::move(handler); }

    bool canBecomeFirstResponder() const override { return true; }
    bool keyPressed(const KeyEvent& event) override {
        // Every key stops here while the panel is up.
        if (_keyHandler) {
            _keyHandler(event);
        }
        return true;
    }

private:
    KeyHandler _keyHandler;
};

} // namespace tx
