// A screen's keys in one table: the route of a key through the screen asks it what to do, and
// the shortcut list and the tooltips read the same rows, so what is shown is what acts.
#pragma once

#include "platform/ui/Responder.h"

#include <functional>
#include <string>
#include <vector>

namespace tx {

class Control;

// Which key a row answers to. A character matches its text without regard to case.
struct KeyChord {
    KeyEvent::Key key = KeyEvent::Key::Other;
    std::string text;
    bool control = false;
    bool shift = false;

    static KeyChord character(std::string text, bool control = false) {
        return {KeyEvent::Key::Character, std::move(text), control, false};
    }
    static KeyChord special(KeyEvent::Key key, bool control = false, bool shift = false) {
        return {key, {}, control, shift};
    }
    bool matches(const KeyEvent& event) const;
    // How the key is written for a person: "Space", "O", "Esc", "Ctrl+Left".
    std::string name() const;
};

struct KeyBinding {
    std::vector<KeyChord> chords;
    std::string description;
    // Runs the action; a row whose action returns false let the key pass on.
    std::function<bool()> action;
    // The control the row stands for: a key does nothing while it is hidden or disabled, and
    // its tooltip names the row's key.
    const Control* control = nullptr;
    // False keeps the row out of the list and the key from acting (a state the screen is not in).
    bool available = true;

    std::string keyNames() const;
};

class KeyTable {
public:
    // A row that always acts when its key is typed.
    KeyTable& add(std::vector<KeyChord> chords, std::string description,
                  std::function<void()> action, bool available = true);
    // A row that presses `control`, and only while it can be pressed.
    KeyTable& press(std::vector<KeyChord> chords, std::string description, const Control* control,
                    std::function<void()> action);
    // A row whose action decides whether it used the key.
    KeyTable& addConditional(std::vector<KeyChord> chords, std::string description,
                             std::function<bool()> action);

    // Runs the first available row matching the key; false when no row used it.
    bool dispatch(const KeyEvent& event) const;
    // The rows a person can use now.
    std::vector<const KeyBinding*> availableRows() const;
    const KeyBinding* rowForControl(const Control* control) const;
    void append(const KeyTable& other);
    bool empty() const { return _rows.empty(); }

private:
    std::vector<KeyBinding> _rows;
};

// Whether a control can be pressed now: enabled, shown, in a window and not under a hidden view.
bool controlCanAct(const Control& control);

} // namespace tx
