#include "platform/ui/Responder.h"

#include "platform/ui/KeyTable.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"

namespace tx {

Point Touch::locationInView(const View* view) const {
    return view ? view->convertPointFromView(_location, nullptr) : _location;
}

Point Touch::previousLocationInView(const View* view) const {
    return view ? view->convertPointFromView(_previous, nullptr) : _previous;
}

bool Responder::becomeFirstResponder() {
    Window* window = responderWindow();
    if (!window || !canBecomeFirstResponder())
        return false;
    Responder* current = window->firstResponder();
    if (current == this)
        return true;
    if (current && !current->resignFirstResponder())
        return false;
    window->setFirstResponder(this);
    return true;
}

bool Responder::resignFirstResponder() {
    Window* window = responderWindow();
    if (window && window->firstResponder() == this)
        window->setFirstResponder(nullptr);
    return true;
}

bool Responder::isFirstResponder() const {
    Window* window = responderWindow();
    return window && window->firstResponder() == this;
}

void Responder::touchesBegan(const TouchSet& touches) {
    if (Responder* next = nextResponder())
        next->touchesBegan(touches);
}
void Responder::touchesMoved(const TouchSet& touches) {
    if (Responder* next = nextResponder())
        next->touchesMoved(touches);
}
void Responder::touchesEnded(const TouchSet& touches) {
    if (Responder* next = nextResponder())
        next->touchesEnded(touches);
}
void Responder::touchesCancelled(const TouchSet& touches) {
    if (Responder* next = nextResponder())
        next->touchesCancelled(touches);
}
bool Responder::keyPressed(const KeyEvent& event) {
    KeyTable table;
    addKeyBindings(table);
    return table.dispatch(event);
}

} // namespace tx
