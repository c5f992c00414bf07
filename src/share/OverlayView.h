// The root view of a panel laid over the window (outside the chain of presented screens): it can
// hold the keyboard focus, so that keys meant for the panel never reach the screen beneath it.
#pragma once

#include "platform/ui/KeyTable.h"
#include "platform/ui/View.h"

#include <functional>

namespace tx {

class OverlayView : public View {
public:
    using KeyBindings = std::function<void(KeyTable&)>;

    explicit OverlayView(const Rect& frame = {}) : View(frame) {}
    // The panel's key table.
    void setKeyBindings(KeyBindings bindings) { _keyBindings = std::move(bindings); }

    bool canBecomeFirstResponder() const override { return true; }
    void addKeyBindings(KeyTable& table) override {
        if (_keyBindings) {
            _keyBindings(table);
        }
    }
    bool keyPressed(const KeyEvent& event) override {
        auto keep = weak_from_this().lock();
        if (View::keyPressed(event)) {
            return true;
        }
        // Every other key stops here while the panel is up; Tab moves the focus on it.
        return event.key != KeyEvent::Key::Tab;
    }

private:
    KeyBindings _keyBindings;
};

} // namespace tx
