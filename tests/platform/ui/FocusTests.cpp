// The keyboard on the kit's window: which screen a key reaches, the focus ring that Tab moves,
// focus handed back when an alert goes, and the shortcut list and tooltips read from the same
// key tables that route the keys.
#include "platform/foundation/RunLoop.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Button.h"
#include "platform/ui/KeyTable.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ShortcutListView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

#include <gtest/gtest.h>

namespace tx {
namespace {

// A screen with three buttons (the middle one can be disabled or hidden) and a key table that
// logs what it does.
class Screen3 : public ViewController {
public:
    Screen3(std::string name, std::vector<std::string>& log) : _name(std::move(name)), _log(log) {}
    void loadView() override {
        auto root = std::make_shared<View>(Screen::mainScreen().bounds());
        for (int i = 0; i < 3; i++) {
            auto button = std::make_shared<Button>(Rect(20, 40 + 60.0 * i, 100, 40));
            button->addTarget(this, ControlEventTouchUpInside, [this, i](Control&) {
                _log.push_back(_name + " button " + std::to_string(i));
            });
            root->addSubview(button);
            buttons.push_back(button);
        }
        setView(root);
    }
    void addKeyBindings(KeyTable& table) override {
        table.press({KeyChord::character("a")}, "Press the middle button", buttons[1].get(),
                    [this] { _log.push_back(_name + " a"); });
        table.add({KeyChord::special(KeyEvent::Key::Escape)}, "Close",
                  [this] { _log.push_back(_name + " esc"); });
    }
    std::vector<std::shared_ptr<Button>> buttons;

private:
    std::string _name;
    std::vector<std::string>& _log;
};

KeyEvent character(const char* text) {
    return {KeyEvent::Key::Character, text, false, false};
}
KeyEvent special(KeyEvent::Key key, bool shift = false) {
    return {key, {}, shift, false};
}

class FocusTest : public ::testing::Test {
protected:
    void SetUp() override {
        window = std::make_shared<Window>(Screen::mainScreen().bounds());
        root = std::make_shared<Screen3>("root", log);
        top = std::make_shared<Screen3>("top", log);
        window->setRootViewController(root);
        window->makeKeyAndVisible();
    }
    void TearDown() override {
        window->setRootViewController(nullptr);
        RunLoop::runFor(0.01);
    }
    std::shared_ptr<AlertView> showAlert() {
        auto alert = std::make_shared<AlertView>("", "Read me.", std::weak_ptr<AlertViewDelegate>(),
                                                 "OK", std::vector<std::string>{});
        alert->show();
        return alert;
    }
    std::vector<std::string> log;
    std::shared_ptr<Window> window;
    std::shared_ptr<Screen3> root;
    std::shared_ptr<Screen3> top;
};

TEST_F(FocusTest, AKeyTheScreenOnTopDoesNotTakeNeverReachesTheScreenItCovers) {
    window->sendKey(character("a"));
    EXPECT_EQ(log, (std::vector<std::string>{"root a"}));
    root->presentViewController(top, false);
    log.clear();
    top->buttons[1]->setEnabled(false);
    // The top screen's row for "a" stands for a disabled button: nothing acts, below neither.
    window->sendKey(character("a"));
    window->sendKey(character("z"));
    EXPECT_TRUE(log.empty());
    window->sendKey(special(KeyEvent::Key::Escape));
    EXPECT_EQ(log, (std::vector<std::string>{"top esc"}));
    // An alert over both takes every key but its own.
    log.clear();
    auto alert = showAlert();
    window->sendKey(character("a"));
    window->sendKey(special(KeyEvent::Key::Left));
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(alert->isVisible());
}

TEST_F(FocusTest, KeysOfAHiddenOrDisabledButtonDoNothing) {
    struct Case {
        const char* name;
        std::function<void(Button&)> change;
        bool acts;
    };
    const Case cases[] = {
        {"shown and enabled", [](Button&) {}, true},
        {"disabled", [](Button& b) { b.setEnabled(false); }, false},
        {"hidden", [](Button& b) { b.setHidden(true); }, false},
        {"inside a hidden view", [](Button& b) { b.superview()->setHidden(true); }, false},
    };
    for (const Case& c : cases) {
        log.clear();
        root->buttons[1]->setEnabled(true);
        root->buttons[1]->setHidden(false);
        root->view()->setHidden(false);
        c.change(*root->buttons[1]);
        window->sendKey(character("A"));
        EXPECT_EQ(!log.empty(), c.acts) << c.name;
    }
}

TEST_F(FocusTest, TabMovesARingThroughTheControlsOfTheScreenOnTopAndSpacePresses) {
    root->buttons[1]->setEnabled(false);
    window->sendKey(special(KeyEvent::Key::Tab));
    EXPECT_EQ(window->focusRingView(), root->buttons[0].get());
    window->sendKey(special(KeyEvent::Key::Tab));
    EXPECT_EQ(window->focusRingView(), root->buttons[2].get()) << "the disabled one is skipped";
    window->sendKey(special(KeyEvent::Key::Tab));
    EXPECT_EQ(window->focusRingView(), root->buttons[0].get()) << "round again";
    window->sendKey(special(KeyEvent::Key::Tab, true));
    EXPECT_EQ(window->focusRingView(), root->buttons[2].get()) << "Shift+Tab goes back";
    window->sendKey(character(" "));
    window->sendKey(special(KeyEvent::Key::Return));
    EXPECT_EQ(log, (std::vector<std::string>{"root button 2", "root button 2"}));

    // The ring is drawn: the frame differs from one without focus.
    window->displayNow();
    const QImage withRing = window->frameImage().copy();
    const Rect ring = root->buttons[2]->frame().insetBy(-3, -3);
    const double scale = Screen::mainScreen().scale();
    const QColor edge = withRing.pixelColor(static_cast<int>((ring.minX() + 1) * scale),
                                            static_cast<int>(ring.midY() * scale));
    EXPECT_GT(edge.blue(), 200) << "the ring's blue is at the button's left edge";

    // A presented screen starts its own ring; the covered one's focus is left alone.
    root->presentViewController(top, false);
    window->sendKey(special(KeyEvent::Key::Tab));
    EXPECT_EQ(window->focusRingView(), top->buttons[0].get());
    top->dismissViewController(false);
    EXPECT_EQ(window->focusRingView(), root->buttons[2].get());
}

TEST_F(FocusTest, AFocusedControlThatLeavesTheScreenHandsTheFocusToTheNextOne) {
    // The middle button in a panel of its own (a settings panel over its screen).
    auto inPanel = [](Screen3& s) {
        auto panel = std::make_shared<View>(Rect(0, 0, 320, 400));
        s.view()->insertSubview(panel, 1);
        panel->addSubview(s.buttons[1]);
    };
    struct Case {
        const char* name;
        std::function<void(Screen3&)> setUp;
        std::function<void(Screen3&)> change;
    };
    const Case cases[] = {
        {"hidden", {}, [](Screen3& s) { s.buttons[1]->setHidden(true); }},
        {"slid off the screen", {},
         [](Screen3& s) { s.buttons[1]->setFrame(Rect(340, 100, 100, 40)); }},
        {"in a panel that was hidden", inPanel,
         [](Screen3& s) { s.buttons[1]->superview()->setHidden(true); }},
        {"in a panel that slid off the screen", inPanel,
         [](Screen3& s) { s.buttons[1]->superview()->setFrame(Rect(320, 0, 320, 400)); }},
        {"disabled", {}, [](Screen3& s) { s.buttons[1]->setEnabled(false); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto screen = std::make_shared<Screen3>("root", log);
        window->setRootViewController(screen);
        if (c.setUp)
            c.setUp(*screen);
        log.clear();
        window->sendKey(special(KeyEvent::Key::Tab));
        window->sendKey(special(KeyEvent::Key::Tab));
        ASSERT_EQ(window->focusRingView(), screen->buttons[1].get());
        c.change(*screen);
        // Space presses what has the ring now, never the control that cannot be seen.
        window->sendKey(character(" "));
        EXPECT_EQ(window->focusRingView(), screen->buttons[2].get());
        EXPECT_EQ(log, (std::vector<std::string>{"root button 2"}));
    }
}

TEST_F(FocusTest, FocusReturnsToWhatHadItWhenAnAlertGoes) {
    auto field = std::make_shared<TextField>(Rect(20, 300, 200, 30));
    root->view()->addSubview(field);
    ASSERT_TRUE(field->becomeFirstResponder());
    auto alert = showAlert();
    EXPECT_EQ(window->firstResponder(), alert.get());
    window->sendKey(character("x"));
    EXPECT_EQ(field->text(), "") << "typing goes to the alert, not the field under it";
    window->sendKey(special(KeyEvent::Key::Return));
    RunLoop::runUntil([&] { return !alert->window(); }, 2);
    EXPECT_EQ(window->firstResponder(), field.get());
    window->sendKey(character("x"));
    EXPECT_EQ(field->text(), "x");
}

TEST_F(FocusTest, TheShortcutListShowsTheKeysThatActOnTheScreenOnTop) {
    auto rowsShown = [&] {
        std::vector<std::string> rows;
        auto* list = dynamic_cast<ShortcutListView*>(window->shortcutList());
        if (list)
            for (const auto& row : list->rows())
                rows.push_back(row.keys + " " + row.description);
        return rows;
    };
    auto contains = [](const std::vector<std::string>& rows, const std::string& row) {
        return std::find(rows.begin(), rows.end(), row) != rows.end();
    };
    window->sendKey(special(KeyEvent::Key::F1));
    auto rows = rowsShown();
    EXPECT_TRUE(contains(rows, "A Press the middle button"));
    EXPECT_TRUE(contains(rows, "Esc Close"));
    EXPECT_TRUE(contains(rows, "F1 / Ctrl+? Show or hide this list of keys"));
    // While the list is up, keys do not reach the screen; Esc closes the list only.
    window->sendKey(character("a"));
    window->sendKey(special(KeyEvent::Key::Escape));
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(window->shortcutList(), nullptr);

    // A row whose button is disabled is not listed: what is shown is what acts.
    root->buttons[1]->setEnabled(false);
    window->sendKey({KeyEvent::Key::Character, "?", false, true});
    rows = rowsShown();
    EXPECT_FALSE(contains(rows, "A Press the middle button"));
    window->sendKey(special(KeyEvent::Key::F1));
    EXPECT_EQ(window->shortcutList(), nullptr);
}

TEST_F(FocusTest, ATooltipSaysWhatAControlDoesAndItsKey) {
    EXPECT_EQ(window->toolTipFor(root->buttons[1].get()), "Press the middle button \u2014 A");
    root->buttons[0]->setToolTip("First");
    EXPECT_EQ(window->toolTipFor(root->buttons[0].get()), "First");
    EXPECT_EQ(window->toolTipFor(root->view().get()), "");
}

TEST(KeyChord, NamesAndMatches) {
    struct Case {
        KeyChord chord;
        KeyEvent event;
        const char* name;
        bool matches;
    };
    const Case cases[] = {
        {KeyChord::character("o"), {KeyEvent::Key::Character, "O"}, "O", true},
        {KeyChord::character(" "), {KeyEvent::Key::Character, " "}, "Space", true},
        {KeyChord::character("q", true), {KeyEvent::Key::Character, "q"}, "Ctrl+Q", false},
        {KeyChord::special(KeyEvent::Key::Left, true), {KeyEvent::Key::Left, {}, false, true},
         "Ctrl+Left", true},
        {KeyChord::special(KeyEvent::Key::Tab), {KeyEvent::Key::Tab, {}, true, false}, "Tab", false},
        {KeyChord::special(KeyEvent::Key::Escape), {KeyEvent::Key::Escape}, "Esc", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.chord.name(), c.name);
        EXPECT_EQ(c.chord.matches(c.event), c.matches) << c.name;
    }
}

} // namespace
} // namespace tx
