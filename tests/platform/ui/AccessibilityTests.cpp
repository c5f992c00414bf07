// What a screen reader finds in the kit's views: which views are read, their roles, names and
// states, what their actions do, and what is announced when they change.
#include "platform/foundation/RunLoop.h"
#include "platform/ui/Accessibility.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

#include <QAccessible>
#include <gtest/gtest.h>

#include <algorithm>

using namespace tx;

namespace {

std::shared_ptr<Window> visibleWindow() {
    auto window = std::make_shared<Window>(Rect(0, 0, 320, 480));
    window->makeKeyAndVisible();
    return window;
}

std::shared_ptr<Button> pictureButton(const Rect& frame, const std::string& name) {
    auto button = std::make_shared<Button>(frame);
    button->setImage(Image::imageNamed("record_btn_140_140"), ControlStateNormal);
    if (!name.empty())
        button->setAccessibilityLabel(name);
    return button;
}

std::vector<std::string> namesUnder(View& root) {
    std::vector<std::string> names;
    for (View* child : accessibleChildren(root)) {
        names.push_back(child->accessibilityLabel());
        for (const std::string& inner : namesUnder(*child))
            names.push_back(inner);
    }
    return names;
}

bool contains(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// Collects what the kit announces.
struct Announcements {
    struct Heard {
        View* view;
        AccessibleChange change;
    };
    std::vector<Heard> heard;

    Announcements() {
        setAccessibilityObserver([this](View& view, AccessibleChange change) {
            heard.push_back({&view, change});
        });
    }
    ~Announcements() { setAccessibilityObserver({}); }
    int count(AccessibleChange change, const View& view) const {
        return static_cast<int>(std::count_if(heard.begin(), heard.end(), [&](const Heard& h) {
            return h.change == change && h.view == &view;
        }));
    }
};

class Rows : public TableViewDataSource, public TableViewDelegate {
public:
    std::vector<std::pair<std::string, std::string>> rows;
    std::vector<int> chosen;

    int tableViewNumberOfRowsInSection(TableView&, int) override {
        return static_cast<int>(rows.size());
    }
    TableViewCellPtr tableViewCellForRowAtIndexPath(TableView& table,
                                                    const IndexPath& ip) override {
        auto cell = table.dequeueReusableCellWithIdentifier("Row");
        if (!cell) {
            cell = std::make_shared<TableViewCell>("Row");
            auto detail = std::make_shared<Label>(Rect(200, 0, 100, 44));
            detail->setTag(7);
            cell->contentView()->addSubview(detail);
        }
        cell->textLabel()->setText(rows[ip.row].first);
        static_cast<Label*>(cell->viewWithTag(7))->setText(rows[ip.row].second);
        return cell;
    }
    void tableViewDidSelectRowAtIndexPath(TableView&, const IndexPath& ip) override {
        chosen.push_back(ip.row);
    }
};

} // namespace

TEST(Accessibility, OnlyWhatIsShownAndUncoveredIsRead) {
    auto window = visibleWindow();
    auto screen = std::make_shared<View>(window->bounds());
    window->addSubview(screen);
    struct Case {
        const char* name;
        Rect frame;
        bool hidden;
        double alpha;
        bool read;
    };
    const Case cases[] = {
        {"Shown", Rect(10, 10, 40, 40), false, 1, true},
        {"Hidden", Rect(60, 10, 40, 40), true, 1, false},
        {"Transparent", Rect(110, 10, 40, 40), false, 0, false},
        {"Half off screen", Rect(300, 10, 40, 40), false, 1, true},
        {"Off screen", Rect(330, 10, 40, 40), false, 1, false},
    };
    for (const Case& c : cases) {
        auto button = pictureButton(c.frame, c.name);
        button->setHidden(c.hidden);
        button->setAlpha(c.alpha);
        screen->addSubview(button);
    }
    // Inside a clipping view, what lies outside its bounds is not on screen.
    auto clip = std::make_shared<View>(Rect(0, 100, 100, 50));
    clip->setClipsToBounds(true);
    clip->addSubview(pictureButton(Rect(0, 60, 40, 40), "Clipped away"));
    screen->addSubview(clip);

    const auto names = namesUnder(*window);
    for (const Case& c : cases)
        EXPECT_EQ(contains(names, c.name), c.read) << c.name;
    EXPECT_FALSE(contains(names, "Clipped away"));

    // A presented screen covers the one below it; the screen on top comes first.
    auto presenter = std::make_shared<ViewController>();
    window->setRootViewController(presenter);
    presenter->view()->addSubview(pictureButton(Rect(10, 200, 40, 40), "Below"));
    auto top = std::make_shared<ViewController>();
    top->view()->addSubview(pictureButton(Rect(10, 200, 40, 40), "On top"));
    presenter->presentViewController(top, false);
    auto order = namesUnder(*window);
    EXPECT_FALSE(contains(order, "Below"));
    EXPECT_FALSE(contains(order, "Shown"));
    ASSERT_TRUE(contains(order, "On top"));
    EXPECT_TRUE(isAccessiblyExposed(*top->view()->subviews().front()));

    // An alert covers everything; what it covers says it is not on screen.
    auto alert = std::make_shared<AlertView>("", "Saved", std::weak_ptr<AlertViewDelegate>(), "OK",
                                             std::vector<std::string>{});
    alert->show();
    auto children = accessibleChildren(*window);
    ASSERT_FALSE(children.empty());
    EXPECT_EQ(children.front(), alert.get());
    EXPECT_EQ(children.size(), 1u);
    EXPECT_EQ(alert->accessibilityRole(), AccessibleRole::Alert);
    EXPECT_EQ(alert->accessibilityLabel(), "Saved");
    EXPECT_TRUE(contains(namesUnder(*alert), "OK"));
    View* covered = top->view()->subviews().front().get();
    EXPECT_FALSE(isAccessiblyExposed(*covered));
    EXPECT_TRUE(accessibleInterface(covered)->state().invisible);
    alert->dismissWithClickedButtonIndex(0, false);
}

TEST(Accessibility, ButtonsAreNamedAndLatchingOnesAreToggles) {
    auto window = visibleWindow();
    auto titled = std::make_shared<Button>(Rect(0, 0, 100, 40));
    titled->setTitle("Upload", ControlStateNormal);
    auto record = pictureButton(Rect(0, 50, 70, 70), "Record");
    record->setImage(Image::imageNamed("record_btn_S_140_140"), ControlStateSelected);
    auto unnamed = pictureButton(Rect(0, 130, 70, 70), "");
    for (auto& b : {titled, record, unnamed})
        window->addSubview(b);

    EXPECT_EQ(titled->accessibilityRole(), AccessibleRole::Button);
    EXPECT_EQ(titled->accessibilityLabel(), "Upload");
    EXPECT_EQ(record->accessibilityRole(), AccessibleRole::ToggleButton);
    QAccessibleInterface* iface = accessibleInterface(record.get());
    EXPECT_EQ(iface->role(), QAccessible::Button);
    EXPECT_TRUE(iface->state().checkable);
    EXPECT_FALSE(iface->state().checked);
    record->setSelected(true);
    EXPECT_TRUE(iface->state().checked);
    record->setEnabled(false);
    EXPECT_TRUE(iface->state().disabled);

    const auto missing = unnamedAccessibleElements(*window);
    ASSERT_EQ(missing.size(), 1u);
    EXPECT_NE(missing.front().find("push button"), std::string::npos);
}

TEST(Accessibility, PressActsAsATapOnlyWhenTheControlCanBeUsed) {
    auto window = visibleWindow();
    auto button = pictureButton(Rect(10, 10, 60, 60), "Library");
    int pressed = 0;
    button->addTarget(nullptr, ControlEventTouchUpInside, [&](Control&) { pressed++; });
    window->addSubview(button);
    auto* actions = accessibleInterface(button.get())->actionInterface();
    ASSERT_NE(actions, nullptr);
    ASSERT_EQ(actions->actionNames(), QStringList{QAccessibleActionInterface::pressAction()});

    // The action runs on the next turn of the run loop, as a tap would.
    actions->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(pressed, 0);
    RunLoop::runFor(0.05);
    EXPECT_EQ(pressed, 1);

    button->setEnabled(false);
    EXPECT_FALSE(button->performAccessibilityAction(AccessibleAction::Press));
    button->setEnabled(true);
    button->setHidden(true);
    EXPECT_FALSE(button->performAccessibilityAction(AccessibleAction::Press));
    EXPECT_EQ(pressed, 1);

    // A button gone before its action runs is left alone.
    actions->doAction(QAccessibleActionInterface::pressAction());
    button->setHidden(false);
    button->removeFromSuperview();
    button.reset();
    RunLoop::runFor(0.05);
    EXPECT_EQ(pressed, 1);
}

TEST(Accessibility, ListRowsReadTheirLabelsAndPressChoosesThem) {
    auto window = visibleWindow();
    auto rows = std::make_shared<Rows>();
    rows->rows = {{"2026-12-09", "00:00:07"}, {"2026-12-08", "00:01:30"}};
    auto table = std::make_shared<TableView>(Rect(0, 0, 320, 300));
    table->setDataSource(rows);
    table->setDelegate(rows);
    window->addSubview(table);
    table->layoutIfNeeded();

    auto items = accessibleChildren(*table);
    ASSERT_EQ(items.size(), 2u);

    EXPECT_EQ(items[0]->accessibilityRole(), AccessibleRole::ListItem);
    EXPECT_EQ(items[0]->accessibilityLabel(), "2026-12-09, 00:00:07");
    // The row's labels are read as its name, not again on their own.
    EXPECT_TRUE(accessibleChildren(*items[0]).empty());

    Announcements announcements;
    EXPECT_TRUE(items[1]->performAccessibilityAction(AccessibleAction::Press));
    EXPECT_EQ(rows->chosen, std::vector<int>{1});
    EXPECT_TRUE(accessibleInterface(items[1])->state().selected);
    EXPECT_EQ(announcements.count(AccessibleChange::Selection, *items[1]), 1);
}

TEST(Accessibility, ChangesAreAnnounced) {
    auto window = visibleWindow();
    auto label = std::make_shared<Label>(Rect(0, 0, 100, 20));
    label->setText("00:00:00");
    auto field = std::make_shared<TextField>(Rect(0, 30, 200, 30));
    field->setPlaceholder("Title");
    auto hiddenLabel = std::make_shared<Label>(Rect(0, 70, 100, 20));
    hiddenLabel->setHidden(true);
    for (auto& v : std::vector<ViewPtr>{label, field, hiddenLabel})
        window->addSubview(v);

    Announcements announcements;
    label->setText("00:00:01");
    EXPECT_EQ(announcements.count(AccessibleChange::Name, *label), 1);
    EXPECT_EQ(accessibleInterface(label.get())->text(QAccessible::Name), "00:00:01");
    hiddenLabel->setText("not read");
    EXPECT_EQ(announcements.count(AccessibleChange::Name, *hiddenLabel), 0);

    field->becomeFirstResponder();
    EXPECT_EQ(announcements.count(AccessibleChange::Focus, *field), 1);
    field->insertText("héllo");
    EXPECT_EQ(announcements.count(AccessibleChange::Text, *field), 1);

    auto alert = std::make_shared<AlertView>("Failed", "The disk is full",
                                             std::weak_ptr<AlertViewDelegate>(), "OK",
                                             std::vector<std::string>{});
    alert->show();
    EXPECT_EQ(announcements.count(AccessibleChange::Shown, *alert), 1);
    EXPECT_EQ(accessibleInterface(alert.get())->text(QAccessible::Description),
              "The disk is full");
    alert->dismissWithClickedButtonIndex(0, false);
    EXPECT_EQ(announcements.count(AccessibleChange::Hidden, *alert), 1);
}

TEST(Accessibility, TextFieldsSpeakInCharactersAndEditThroughTheirDelegate) {
    struct NoDigits : TextFieldDelegate {
        bool textFieldShouldChangeCharacters(TextField&, Range, const std::string& s) override {
            return s.find_first_of("0123456789") == std::string::npos;
        }
    };
    auto window = visibleWindow();
    auto field = std::make_shared<TextField>(Rect(0, 0, 200, 30));
    auto delegate = std::make_shared<NoDigits>();
    field->setDelegate(delegate);
    window->addSubview(field);
    field->setText("año 🎬x");
    QAccessibleInterface* iface = accessibleInterface(field.get());
    auto* text = iface->textInterface();
    auto* edit = iface->editableTextInterface();
    ASSERT_NE(text, nullptr);
    ASSERT_NE(edit, nullptr);

    // "año 🎬x" is 7 UTF-16 units and 10 bytes of UTF-8.
    EXPECT_EQ(text->characterCount(), 7);
    EXPECT_EQ(text->cursorPosition(), 7);
    text->setSelection(0, 4, 6);
    EXPECT_EQ(field->selectedRange().location, 5u);
    EXPECT_EQ(field->selectedRange().length, 4u);
    EXPECT_EQ(text->text(4, 6), QString::fromUtf8("🎬"));

    edit->replaceText(4, 6, "!");
    EXPECT_EQ(field->text(), "año !x");
    edit->insertText(0, "1");
    EXPECT_EQ(field->text(), "año !x"); // refused by the delegate
    edit->deleteText(0, 4);
    EXPECT_EQ(field->text(), "!x");

    field->setSecureTextEntry(true);
    EXPECT_TRUE(iface->state().passwordEdit);
    EXPECT_EQ(iface->text(QAccessible::Value), QString(2, QChar(0x2022)));
}

TEST(Accessibility, AnInterfaceOutlivingItsViewIsInvalidNotDangling) {
    auto window = visibleWindow();
    auto label = std::make_shared<Label>(Rect(0, 0, 100, 20));
    label->setText("gone soon");
    window->addSubview(label);
    QAccessible::Id id = QAccessible::uniqueId(accessibleInterface(label.get()));
    ASSERT_NE(QAccessible::accessibleInterface(id), nullptr);
    label->removeFromSuperview();
    label.reset();
    EXPECT_EQ(QAccessible::accessibleInterface(id), nullptr);
    // A new view at the same address gets an interface of its own.
    auto again = std::make_shared<Label>(Rect(0, 0, 100, 20));
    again->setText("new");
    window->addSubview(again);
    EXPECT_EQ(accessibleInterface(again.get())->text(QAccessible::Name), "new");
}

// However the keyboard focus moves (Tab, Shift+Tab, a control taking it, a control that left the
// screen handing it on), Focus is announced once, on the control that has it now (the one call
// that also sends Qt's Focus event on that control's interface when a screen reader listens).
TEST(Accessibility, EveryMoveOfTheKeyboardFocusIsAnnouncedOnTheFocusedControl) {
    auto window = visibleWindow();
    auto screen = std::make_shared<View>(window->bounds());
    window->addSubview(screen);
    std::vector<std::shared_ptr<Button>> buttons;
    for (int i = 0; i < 3; i++) {
        buttons.push_back(pictureButton(Rect(20, 40 + 60.0 * i, 100, 40), "B" + std::to_string(i)));
        screen->addSubview(buttons.back());
    }
    struct Case {
        const char* how;
        std::function<void()> move;
        Button* focused;
    };
    const Case cases[] = {
        {"Tab", [&] { window->sendKey({KeyEvent::Key::Tab, {}, false, false}); }, buttons[0].get()},
        {"Tab again", [&] { window->sendKey({KeyEvent::Key::Tab, {}, false, false}); },
         buttons[1].get()},
        {"Shift+Tab", [&] { window->sendKey({KeyEvent::Key::Tab, {}, true, false}); },
         buttons[0].get()},
        {"taking the focus", [&] { buttons[2]->becomeFirstResponder(); }, buttons[2].get()},
        {"the focused control hidden, then a key",
         [&] {
             buttons[2]->setHidden(true);
             window->sendKey({KeyEvent::Key::Character, "x", false, false});
         },
         buttons[0].get()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        Announcements announcements;
        c.move();
        ASSERT_EQ(window->focusRingView(), c.focused);
        std::vector<View*> focusedNow;
        for (const auto& heard : announcements.heard)
            if (heard.change == AccessibleChange::Focus)
                focusedNow.push_back(heard.view);
        EXPECT_EQ(focusedNow, std::vector<View*>{c.focused});
    }
}

// A render's bar moves at every frame; a screen reader hears each whole percent once.
TEST(Accessibility, ProgressIsAnnouncedOnlyWhenItsWholePercentChanges) {
    auto window = visibleWindow();
    auto bar = std::make_shared<View>(Rect(0, 0, 320, 40));
    double fraction = 0;
    bar->accessibility().role = AccessibleRole::ProgressBar;
    bar->accessibility().label = "Rendering";
    bar->accessibility().value = [&] { return std::optional<AccessibleValue>({fraction, 0, 1, 0}); };
    window->addSubview(bar);
    Announcements announcements;
    int announced = -1;
    constexpr int kFrames = 1000;
    for (int frame = 0; frame <= kFrames; frame++) {
        fraction = static_cast<double>(frame) / kFrames;
        accessibleProgressChanged(*bar, fraction, announced);
    }
    EXPECT_EQ(announcements.count(AccessibleChange::Value, *bar), 101) << "0 % to 100 %";
    // The same percent again, or a value beyond the ends, says nothing new.
    accessibleProgressChanged(*bar, 1.2, announced);
    accessibleProgressChanged(*bar, 0.999, announced);
    EXPECT_EQ(announcements.count(AccessibleChange::Value, *bar), 101);
}
