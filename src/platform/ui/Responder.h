// Objects that receive touches and keys: views, view controllers, the window and the
// application. What a responder does not handle goes to its next responder.
#pragma once

#include "platform/foundation/Object.h"
#include "platform/ui/Geometry.h"

#include <memory>
#include <string>
#include <vector>

namespace tx {

class KeyTable;
class View;
class Window;

enum class TouchPhase { Began, Moved, Stationary, Ended, Cancelled };

// One finger on the screen; a mouse press is a touch.
class Touch : public Object {
public:
    Touch(Window* window, Point locationInWindow, double timestampSeconds)
        : _window(window), _location(locationInWindow), _previous(locationInWindow),
          _timestamp(timestampSeconds) {}

    TouchPhase phase() const { return _phase; }
    // The view that the touch began in.
    View* view() const { return _view; }
    Window* window() const { return _window; }
    int tapCount() const { return _tapCount; }
    double timestamp() const { return _timestamp; }
    Point locationInView(const View* view) const;
    Point previousLocationInView(const View* view) const;

    // Used by the window while it delivers the touch.
    void setPhase(TouchPhase phase) { _phase = phase; }
    void setView(View* view) { _view = view; }
    void moveTo(Point locationInWindow, double timestampSeconds) {
        _previous = _location;
        _location = locationInWindow;
        _timestamp = timestampSeconds;
    }
    void setTapCount(int count) { _tapCount = count; }
    Point locationInWindow() const { return _location; }

private:
    Window* _window = nullptr;
    View* _view = nullptr;
    Point _location;
    Point _previous;
    double _timestamp = 0;
    TouchPhase _phase = TouchPhase::Began;
    int _tapCount = 1;
};

using TouchPtr = std::shared_ptr<Touch>;
using TouchSet = std::vector<TouchPtr>;

// A key typed on the desktop keyboard.
struct KeyEvent {
    enum class Key {
        Character,
        Backspace,
        Delete,
        Left,
        Right,
        Up,
        Down,
        Home,
        End,
        Return,
        Escape,
        Tab,
        F1,
        Other
    };
    Key key = Key::Other;
    std::string text; // the typed characters, UTF-8, for Key::Character
    bool shift = false;
    bool control = false;
};

class Responder : public Object {
public:
    virtual Responder* nextResponder() const { return nullptr; }

    virtual bool canBecomeFirstResponder() const { return false; }
    virtual bool becomeFirstResponder();
    virtual bool canResignFirstResponder() const { return true; }
    virtual bool resignFirstResponder();
    bool isFirstResponder() const;

    virtual void touchesBegan(const TouchSet& touches);
    virtual void touchesMoved(const TouchSet& touches);
    virtual void touchesEnded(const TouchSet& touches);
    virtual void touchesCancelled(const TouchSet& touches);
    // Returns true when the key was used. The window offers a key to each responder from the
    // focused one up to the screen on top in turn; the default runs this responder's key table.
    virtual bool keyPressed(const KeyEvent& event);
    // The keys this responder answers to now, with what they do (the shortcut list shows them).
    virtual void addKeyBindings(KeyTable& table) { (void)table; }
    // Typing goes to this responder as text (the desktop's input method serves it).
    virtual bool acceptsTextInput() const { return false; }

protected:
    // The window whose first responder this would become (views answer their window).
    virtual Window* responderWindow() const { return nullptr; }
};

} // namespace tx
