#include "platform/ui/KeyTable.h"

#include "platform/foundation/Translation.h"
#include "platform/ui/Control.h"

#include <QString>

namespace tx {

namespace {

std::string specialName(KeyEvent::Key key) {
    using Key = KeyEvent::Key;
    switch (key) {
    case Key::Backspace:
        return translatedIn("key", "Backspace");
    case Key::Delete:
        return translatedIn("key", "Delete");
    case Key::Left:
        return translatedIn("key", "Left");
    case Key::Right:
        return translatedIn("key", "Right");
    case Key::Up:
        return translatedIn("key", "Up");
    case Key::Down:
        return translatedIn("key", "Down");
    case Key::Home:
        return translatedIn("key", "Home");
    case Key::End:
        return translatedIn("key", "End");
    case Key::Return:
        return translatedIn("key", "Return");
    case Key::Escape:
        return translatedIn("key", "Esc");
    case Key::Tab:
        return translatedIn("key", "Tab");
    case Key::F1:
        return "F1";
    case Key::Character:
    case Key::Other:
        break;
    }
    return "?";
}

std::string folded(const std::string& text) {
    return QString::fromStdString(text).toCaseFolded().toStdString();
}

} // namespace

bool KeyChord::matches(const KeyEvent& event) const {
    if (event.key != key || event.control != control)
        return false;
    if (key == KeyEvent::Key::Character)
        return folded(event.text) == folded(text);
    return event.shift == shift;
}

std::string KeyChord::name() const {
    std::string prefix;
    if (control)
        prefix += translatedIn("key", "Ctrl+");
    if (shift)
        prefix += translatedIn("key", "Shift+");
    if (key != KeyEvent::Key::Character)
        return prefix + specialName(key);
    if (text == " ")
        return prefix + translatedIn("key", "Space");
    return prefix + QString::fromStdString(text).toUpper().toStdString();
}

std::string KeyBinding::keyNames() const {
    std::string names;
    for (const auto& chord : chords) {
        if (!names.empty())
            names += " / ";
        names += chord.name();
    }
    return names;
}

KeyTable& KeyTable::add(std::vector<KeyChord> chords, std::string description,
                        std::function<void()> action, bool available) {
    KeyBinding row;
    row.chords = std::move(chords);
    row.description = std::move(description);
    row.action = [action = std::move(action)] {
        action();
        return true;
    };
    row.available = available;
    _rows.push_back(std::move(row));
    return *this;
}

KeyTable& KeyTable::press(std::vector<KeyChord> chords, std::string description,
                          const Control* control, std::function<void()> action) {
    add(std::move(chords), std::move(description), std::move(action));
    _rows.back().control = control;
    return *this;
}

KeyTable& KeyTable::addConditional(std::vector<KeyChord> chords, std::string description,
                                   std::function<bool()> action) {
    KeyBinding row;
    row.chords = std::move(chords);
    row.description = std::move(description);
    row.action = std::move(action);
    _rows.push_back(std::move(row));
    return *this;
}

bool controlCanAct(const Control& control) {
    if (!control.isEnabled() || !control.window())
        return false;
    for (const View* v = &control; v; v = v->superview())
        if (v->isHidden() || !v->isUserInteractionEnabled())
            return false;
    return true;
}

bool KeyTable::dispatch(const KeyEvent& event) const {
    for (const auto& row : _rows) {
        if (!row.available)
            continue;
        bool matched = false;
        for (const auto& chord : row.chords)
            matched = matched || chord.matches(event);
        if (!matched)
            continue;
        // A key stands for its button: nothing happens while the button could not be pressed,
        // and the key stops here rather than reaching anything else.
        if (row.control && !controlCanAct(*row.control))
            return true;
        if (row.action())
            return true;
    }
    return false;
}

std::vector<const KeyBinding*> KeyTable::availableRows() const {
    std::vector<const KeyBinding*> rows;
    for (const auto& row : _rows)
        if (row.available && (!row.control || controlCanAct(*row.control)))
            rows.push_back(&row);
    return rows;
}

const KeyBinding* KeyTable::rowForControl(const Control* control) const {
    for (const auto& row : _rows)
        if (row.control == control && control)
            return &row;
    return nullptr;
}

void KeyTable::append(const KeyTable& other) {
    _rows.insert(_rows.end(), other._rows.begin(), other._rows.end());
}

} // namespace tx
