// What the settings screens' tests share: a stepped animation clock, a log of control events and
// a key window of the screen's size.
#pragma once

#include "platform/foundation/RunLoop.h"
#include "platform/ui/Control.h"
#include "platform/ui/Screen.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"

#include <memory>
#include <string>
#include <vector>

namespace tx::test {

// Animations (and the switch's moves) follow this clock while it lives.
struct SteppedClock {
    double now = 1000;
    SteppedClock() {
        View::setAnimationClock([this] { return now; });
    }
    ~SteppedClock() { View::setAnimationClock(nullptr); }
    void advance(double seconds) { now += seconds; }
};

struct EventLog {
    std::vector<std::string> events;
    void watch(Control& control) {
        const std::pair<ControlEvent, const char*> names[] = {{ControlEventTouchDown, "down"},
                                                              {ControlEventTouchDragInside, "drag"},
                                                              {ControlEventTouchUpInside, "up"},
                                                              {ControlEventValueChanged, "value"}};
        for (auto& [event, name] : names) {
            std::string n = name;
            control.addTarget(this, event, [this, n](Control&) { events.push_back(n); });
        }
    }
    // The events after touch-down and the drags.
    std::vector<std::string> endings() const {
        std::vector<std::string> out;
        for (const auto& e : events)
            if (e != "down" && e != "drag")
                out.push_back(e);
        return out;
    }
};

inline bool animates(const View& view) {
    if (view.hasAnimations())
        return true;
    for (const ViewPtr& child : view.subviews())
        if (animates(*child))
            return true;
    return false;
}

// Moves the clock past every running animation and lets their ends be told.
inline void settleAnimations(SteppedClock& clock, Window& window) {
    clock.advance(1);
    RunLoop::runUntil([&] { return !animates(window); }, 3);
    RunLoop::runFor(0.02);
}

inline std::shared_ptr<Window> makeWindow() {
    auto window = std::make_shared<Window>(Screen::mainScreen().bounds());
    window->makeKeyAndVisible();
    return window;
}

inline KeyEvent character(const std::string& text) {
    KeyEvent event;
    event.key = KeyEvent::Key::Character;
    event.text = text;
    return event;
}

inline KeyEvent key(KeyEvent::Key k) {
    KeyEvent event;
    event.key = k;
    return event;
}

} // namespace tx::test
