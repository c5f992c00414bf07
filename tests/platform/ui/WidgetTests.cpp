#include "platform/foundation/RunLoop.h"
#include "platform/ui/ActionSheet.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Application.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/TextView.h"
#include "platform/ui/WebView.h"
#include "platform/ui/Window.h"

#include <gtest/gtest.h>

using namespace tx;

namespace {

std::shared_ptr<Window> visibleWindow() {
    auto window = std::make_shared<Window>(Rect(0, 0, 320, 480));
    window->makeKeyAndVisible();
    return window;
}

void tap(Window& window, Point p) {
    window.sendTouch(TouchPhase::Began, p);
    window.sendTouch(TouchPhase::Ended, p);
}

void tapView(Window& window, const View& view) {
    Rect r = view.convertRectToView(view.bounds(), nullptr);
    tap(window, {r.midX(), r.midY()});
}

class Rows : public TableViewDataSource, public TableViewDelegate {
public:
    std::vector<std::string> rows;
    int made = 0;
    std::vector<IndexPath> selected;
    std::vector<IndexPath> committed;

    int tableViewNumberOfRowsInSection(TableView&, int) override {
        return static_cast<int>(rows.size());
    }
    TableViewCellPtr tableViewCellForRowAtIndexPath(TableView& table,
                                                    const IndexPath& ip) override {
        auto cell = table.dequeueReusableCellWithIdentifier("Row");
        if (!cell) {
            cell = std::make_shared<TableViewCell>("Row");
            made++;
        }
        cell->textLabel()->setText(rows[ip.row]);
        return cell;
    }
    std::optional<double> tableViewHeightForRowAtIndexPath(TableView&,
                                                           const IndexPath& ip) override {
        return ip.row == 0 ? 60.0 : 40.0;
    }
    void tableViewDidSelectRowAtIndexPath(TableView& table, const IndexPath& ip) override {
        selected.push_back(ip);
        table.deselectRowAtIndexPath(ip, true);
    }
    void tableViewCommitEditingStyle(TableView& table, TableViewCellEditingStyle style,
                                     const IndexPath& ip) override {
        if (style != TableViewCellEditingStyle::Delete)
            return;
        committed.push_back(ip);
        rows.erase(rows.begin() + ip.row);
        table.deleteRowsAtIndexPaths({ip}, TableViewRowAnimation::Fade);
    }
};

std::string labelOf(const TableViewCellPtr& cell) {
    return cell ? cell->textLabel()->text() : "<none>";
}

struct TableStage {
    std::shared_ptr<Window> window = visibleWindow();
    std::shared_ptr<TableView> table;
    std::shared_ptr<Rows> rows = std::make_shared<Rows>();
    TableStage(double height, std::vector<std::string> initial)
        : table(std::make_shared<TableView>(Rect(0, 0, 320, height))) {
        window->addSubview(table);
        rows->rows = std::move(initial);
        table->setDelegate(rows);
        table->setDataSource(rows);
        table->layoutIfNeeded();
    }
};

} // namespace

TEST(TableView, TilesVisibleRowsAndReusesCellsWhileScrolling) {
    std::vector<std::string> names;
    for (int i = 0; i < 50; i++)
        names.push_back("row " + std::to_string(i));
    TableStage stage(200, names);
    auto& table = stage.table;
    auto& rows = stage.rows;
    EXPECT_EQ(table->contentSize().height, 60 + 49 * 40);
    EXPECT_EQ(table->visibleCells().size(), 5u); // 60 + 4 x 40 = 220 covers 200
    EXPECT_EQ(labelOf(table->cellForRowAtIndexPath(IndexPath::forRow(4))), "row 4");
    EXPECT_EQ(table->rectForRowAtIndexPath(IndexPath::forRow(2)), Rect(0, 100, 320, 40));
    int madeBefore = rows->made;
    for (int step = 0; step < 20; step++) {
        table->scrollBy(0, 50);
        table->layoutIfNeeded();
    }
    EXPECT_EQ(table->contentOffset().y, 1000);
    EXPECT_LE(rows->made, madeBefore + 1); // scrolled-off cells come back through the reuse pool
    EXPECT_EQ(labelOf(table->cellForRowAtIndexPath(IndexPath::forRow(24))), "row 24");
    EXPECT_EQ(table->cellForRowAtIndexPath(IndexPath::forRow(0)), nullptr);
    auto at = table->indexPathForRowAtPoint({10, 1070});
    ASSERT_TRUE(at);
    EXPECT_EQ(at->row, 26); // 60 + 25 x 40 = 1060
}

TEST(TableView, ReloadRebuildsRowsAtTheNextLayoutAndTapsSelect) {
    TableStage stage(300, {"a", "b", "c"});
    auto& window = stage.window;
    auto& table = stage.table;
    auto& rows = stage.rows;
    auto oldCell = table->cellForRowAtIndexPath(IndexPath::forRow(1));
    rows->rows = {"x", "y"};
    table->reloadData();
    EXPECT_EQ(table->numberOfRowsInSection(0), 2);
    EXPECT_EQ(table->cellForRowAtIndexPath(IndexPath::forRow(1)), oldCell); // until the layout pass
    table->layoutIfNeeded();
    EXPECT_EQ(labelOf(table->cellForRowAtIndexPath(IndexPath::forRow(1))), "y");
    EXPECT_EQ(table->cellForRowAtIndexPath(IndexPath::forRow(2)), nullptr);

    tap(*window, {100, 80}); // row 1 (60..100)
    ASSERT_EQ(rows->selected.size(), 1u);
    EXPECT_EQ(rows->selected[0].row, 1);
    EXPECT_FALSE(table->indexPathForSelectedRow());
    // A drag that starts on a row scrolls instead of selecting.
    rows->rows.assign(30, "r");
    table->reloadData();
    table->layoutIfNeeded();
    window->sendTouch(TouchPhase::Began, {100, 200});
    window->sendTouch(TouchPhase::Moved, {100, 150});
    window->sendTouch(TouchPhase::Moved, {100, 100});
    window->sendTouch(TouchPhase::Ended, {100, 100});
    EXPECT_EQ(rows->selected.size(), 1u);
    EXPECT_GT(table->contentOffset().y, 40);
}

TEST(TableView, EditModeDeleteCommitsThroughTheDataSourceAndFadesTheRow) {
    TableStage stage(300, {"a", "b", "c"});
    auto& window = stage.window;
    auto& table = stage.table;
    auto& rows = stage.rows;
    table->setEditing(true, false);
    auto cell = table->cellForRowAtIndexPath(IndexPath::forRow(1));
    ASSERT_TRUE(cell->isEditing());
    EXPECT_EQ(cell->contentView()->frame().origin.x, 38);
    tap(*window, {100, 80}); // no selection in edit mode
    EXPECT_TRUE(rows->selected.empty());
    tapView(*window, *cell->deleteControl());
    ASSERT_TRUE(cell->isShowingDeleteConfirmation());
    tapView(*window, *cell->deleteButton());
    ASSERT_EQ(rows->committed.size(), 1u);
    EXPECT_EQ(rows->committed[0].row, 1);
    EXPECT_EQ(table->numberOfRowsInSection(0), 2);
    EXPECT_EQ(labelOf(table->cellForRowAtIndexPath(IndexPath::forRow(1))), "c");
    EXPECT_EQ(cell->alpha(), 0); // fading out
    EXPECT_TRUE(RunLoop::runUntil([&] { return cell->superview() == nullptr; }, 2));
    EXPECT_EQ(table->rectForRowAtIndexPath(IndexPath::forRow(1)).origin.y, 60);
    EXPECT_TRUE(RunLoop::runUntil(
        [&] { return !table->cellForRowAtIndexPath(IndexPath::forRow(1))->hasAnimations(); }, 2));
    EXPECT_EQ(table->cellForRowAtIndexPath(IndexPath::forRow(1))->frame().origin.y, 60);
}

namespace {

// Mirrors a form whose submit button needs all three fields filled.
class Form : public TextFieldDelegate {
public:
    std::shared_ptr<TextField> title = std::make_shared<TextField>(Rect(10, 10, 200, 30));
    std::shared_ptr<TextField> name = std::make_shared<TextField>(Rect(10, 50, 200, 30));
    bool submitEnabled = false;
    bool refuseDigits = false;
    std::vector<std::string> log;

    bool textFieldShouldChangeCharacters(TextField& field, Range range,
                                         const std::string& replacement) override {
        log.push_back("change " + std::to_string(range.location) + "," +
                      std::to_string(range.length) + " '" + replacement + "'");
        if (refuseDigits && replacement.find_first_of("0123456789") != std::string::npos)
            return false;
        std::string after = field.text();
        after.replace(range.location, range.length, replacement);
        std::string other = &field == title.get() ? name->text() : title->text();
        submitEnabled = !after.empty() && !other.empty();
        return true;
    }
    bool textFieldShouldReturn(TextField& field) override {
        log.push_back("return");
        if (&field == title.get())
            name->becomeFirstResponder();
        else
            field.resignFirstResponder();
        return true;
    }
    void textFieldDidBeginEditing(TextField& field) override {
        log.push_back(&field == title.get() ? "begin title" : "begin name");
    }
    void textFieldDidEndEditing(TextField& field) override {
        log.push_back(&field == title.get() ? "end title" : "end name");
    }
};

KeyEvent key(KeyEvent::Key k, std::string text = {}, bool control = false, bool shift = false) {
    KeyEvent e;
    e.key = k;
    e.text = std::move(text);
    e.control = control;
    e.shift = shift;
    return e;
}

} // namespace

TEST(TextField, TypingGoesThroughTheDelegateWhichMayRefuse) {
    auto window = visibleWindow();
    auto form = std::make_shared<Form>();
    for (auto& f : {form->title, form->name}) {
        f->setDelegate(form);
        window->addSubview(f);
    }
    tap(*window, {50, 25});
    EXPECT_TRUE(form->title->isFirstResponder());
    window->sendKey(key(KeyEvent::Key::Character, "A"));
    window->sendKey(key(KeyEvent::Key::Character, "é"));
    EXPECT_EQ(form->title->text(), "Aé");
    window->sendKey(key(KeyEvent::Key::Backspace)); // removes the whole two-byte character
    EXPECT_EQ(form->title->text(), "A");
    form->refuseDigits = true;
    window->sendKey(key(KeyEvent::Key::Character, "7"));
    EXPECT_EQ(form->title->text(), "A");
    form->refuseDigits = false;
    EXPECT_FALSE(form->submitEnabled);
    window->sendKey(key(KeyEvent::Key::Return));
    EXPECT_TRUE(form->name->isFirstResponder());
    EXPECT_FALSE(form->title->isEditing());
    window->sendKey(key(KeyEvent::Key::Character, "B"));
    EXPECT_TRUE(form->submitEnabled);
    window->sendKey(key(KeyEvent::Key::Backspace));
    EXPECT_FALSE(form->submitEnabled);
    window->sendKey(key(KeyEvent::Key::Return));
    EXPECT_EQ(window->firstResponder(), nullptr);
    EXPECT_EQ(form->log, (std::vector<std::string>{
                             "begin title", "change 0,0 'A'", "change 1,0 'é'", "change 1,2 ''",
                             "change 1,0 '7'", "return", "end title", "begin name",
                             "change 0,0 'B'", "change 0,1 ''", "return", "end name"}));
}

TEST(TextField, SelectionCopyAndPasteUseTheClipboard) {
    auto window = visibleWindow();
    auto form = std::make_shared<Form>();
    form->title->setDelegate(form);
    window->addSubview(form->title);
    form->title->setText("hello world");
    ASSERT_TRUE(form->title->becomeFirstResponder());
    window->sendKey(key(KeyEvent::Key::Left, {}, false, true)); // select "d"
    window->sendKey(key(KeyEvent::Key::Left, {}, false, true));
    EXPECT_EQ(form->title->selectedRange(), (Range{9, 2}));
    window->sendKey(key(KeyEvent::Key::Character, "c", true));
    EXPECT_EQ(Pasteboard::generalPasteboard().string(), "ld");
    window->sendKey(key(KeyEvent::Key::Character, "a", true));
    Pasteboard::generalPasteboard().setString("pasted\ntext");
    window->sendKey(key(KeyEvent::Key::Character, "v", true));
    EXPECT_EQ(form->title->text(), "pasted text");
    EXPECT_EQ(form->log.back(), "change 0,11 'pasted text'");
}

TEST(TextField, FocusAskedForBeforeTheWindowIsTakenThere) {
    auto window = visibleWindow();
    auto panel = std::make_shared<View>(Rect(0, 0, 320, 480));
    auto field = std::make_shared<TextField>(Rect(10, 10, 200, 30));
    panel->addSubview(field);
    EXPECT_FALSE(field->becomeFirstResponder());
    window->addSubview(panel);
    EXPECT_TRUE(field->isFirstResponder());
    EXPECT_TRUE(field->isEditing());
    panel->removeFromSuperview(); // leaving the window ends the editing
    EXPECT_FALSE(field->isEditing());
    EXPECT_EQ(window->firstResponder(), nullptr);
}

TEST(TextView, WrapsAndEditsMultipleLines) {
    auto window = visibleWindow();
    auto view = std::make_shared<TextView>(Rect(0, 0, 200, 100));
    window->addSubview(view);
    struct Limit : TextViewDelegate {
        int changes = 0;
        bool textViewShouldChangeText(TextView& v, Range range, const std::string& r) override {
            return v.text().size() - range.length + r.size() <= 12;
        }
        void textViewDidChange(TextView&) override { changes++; }
    };
    auto limit = std::make_shared<Limit>();
    view->setDelegate(limit);
    ASSERT_TRUE(view->becomeFirstResponder());
    view->insertText("first");
    window->sendKey(key(KeyEvent::Key::Return));
    view->insertText("second");
    view->insertText("too long");
    EXPECT_EQ(view->text(), "first\nsecond");
    EXPECT_EQ(limit->changes, 3);
    EXPECT_TRUE(window->endEditing(false));
    EXPECT_FALSE(view->isEditing());
}

namespace {

struct AlertLog : AlertViewDelegate, ActionSheetDelegate {
    std::vector<std::string> events;
    void alertViewClickedButtonAtIndex(AlertView& alert, int index) override {
        events.push_back("click " + std::to_string(index) + " " + alert.buttonTitleAtIndex(index));
    }
    void alertViewDidDismissWithButtonIndex(AlertView&, int index) override {
        events.push_back("dismiss " + std::to_string(index));
    }
    void actionSheetClickedButtonAtIndex(ActionSheet& sheet, int index) override {
        events.push_back("sheet " + std::to_string(index) + " " + sheet.buttonTitleAtIndex(index));
    }
};

} // namespace

TEST(AlertView, ButtonIndexesFollowTheCancelButtonAndTapsReachTheDelegate) {
    auto window = visibleWindow();
    auto log = std::make_shared<AlertLog>();
    auto rating = std::make_shared<AlertView>("", "If you like this app, please rate it 5 stars!",
                                              log, "NO", std::vector<std::string>{"YES"});
    EXPECT_EQ(rating->cancelButtonIndex(), 0);
    EXPECT_EQ(rating->numberOfButtons(), 2);
    EXPECT_EQ(rating->firstOtherButtonIndex(), 1);
    auto notice = std::make_shared<AlertView>(
        "", "notice", log, "", std::vector<std::string>{"I understand", "Never Show Again"});
    EXPECT_EQ(notice->cancelButtonIndex(), -1);
    EXPECT_EQ(notice->buttonTitleAtIndex(1), "Never Show Again");

    std::weak_ptr<AlertView> weakRating = rating;
    rating->show();
    rating.reset(); // the window keeps a shown alert
    ASSERT_TRUE(weakRating.lock());
    auto yes = weakRating.lock()->buttonAtIndex(1);
    ASSERT_TRUE(yes);
    EXPECT_GT(yes->frame().origin.x, 100); // the cancel button sits on the left
    RunLoop::runFor(0.3);
    tapView(*window, *yes);
    tapView(*window, *yes); // a second tap on a closing alert does nothing
    EXPECT_TRUE(RunLoop::runUntil([&] { return log->events.size() == 2; }, 2));
    EXPECT_EQ(log->events, (std::vector<std::string>{"click 1 YES", "dismiss 1"}));
    EXPECT_FALSE(weakRating.lock());

    log->events.clear();
    notice->show();
    window->sendKey(key(KeyEvent::Key::Return));
    EXPECT_EQ(log->events.front(), "click 1 Never Show Again");
}

TEST(ActionSheet, CancelComesLast) {
    auto window = visibleWindow();
    auto log = std::make_shared<AlertLog>();
    auto sheet = std::make_shared<ActionSheet>(
        "", log, "Cancel", "", std::vector<std::string>{"Copy Link", "Send via Email"});
    EXPECT_EQ(sheet->cancelButtonIndex(), 2);
    EXPECT_EQ(sheet->buttonTitleAtIndex(0), "Copy Link");
    sheet->showInView(window.get());
    RunLoop::runFor(0.35);
    tapView(*window, *sheet->buttonAtIndex(1));
    tapView(*window, *sheet->buttonAtIndex(2));
    EXPECT_EQ(log->events, (std::vector<std::string>{"sheet 1 Send via Email"}));
}

TEST(WebView, PlayButtonOpensThePlayerAddressOutside) {
    auto window = visibleWindow();
    auto web = std::make_shared<WebView>(Rect(0, 0, 120, 78));
    window->addSubview(web);
    web->loadHTMLString(
        "<html><head><body style=\"margin:0\"><embed id=\"yt\" src=\"http://example.com/v/abc\" "
        "type=\"application/x-shockwave-flash\" width=\"120\" height=\"78\"></embed></body></html>",
        "");
    EXPECT_EQ(web->playerAddress(), "http://example.com/v/abc");
    std::vector<std::string> opened;
    Application::setOpenURLHandler([&](const std::string& url) {
        opened.push_back(url);
        return true;
    });
    // Found by a depth-first search for a plain button and sent touch-up-inside.
    std::shared_ptr<Button> found;
    for (auto& v : web->subviews())
        if (typeid(*v) == typeid(Button))
            found = std::static_pointer_cast<Button>(v);
    ASSERT_TRUE(found);
    found->sendActionsForControlEvents(ControlEventTouchUpInside);
    Application::setOpenURLHandler(nullptr);
    EXPECT_EQ(opened, (std::vector<std::string>{"http://example.com/v/abc"}));
}

TEST(AlertView, ThreeButtonsStackWithCancelAtTheBottom) {
    auto window = visibleWindow();
    auto log = std::make_shared<AlertLog>();
    auto alert = std::make_shared<AlertView>("Result", "error: domain = x, code = Invalid(0)", log,
                                             "Cancel", std::vector<std::string>{"One", "Two"});
    EXPECT_EQ(alert->addButtonWithTitle("Three"), 3);
    alert->show();
    double y1 = alert->buttonAtIndex(1)
                    ->convertRectToView(alert->buttonAtIndex(1)->bounds(), nullptr)
                    .origin.y;
    double y2 = alert->buttonAtIndex(2)
                    ->convertRectToView(alert->buttonAtIndex(2)->bounds(), nullptr)
                    .origin.y;
    double yc = alert->buttonAtIndex(0)
                    ->convertRectToView(alert->buttonAtIndex(0)->bounds(), nullptr)
                    .origin.y;
    EXPECT_LT(y1, y2);
    EXPECT_GT(yc, y2);
    KeyEvent escape;
    escape.key = KeyEvent::Key::Escape;
    window->sendKey(escape);
    EXPECT_EQ(log->events, (std::vector<std::string>{"click 0 Cancel"}));
}

TEST(ActionSheet, DestructiveButtonComesFirst) {
    auto sheet =
        std::make_shared<ActionSheet>("Title", std::weak_ptr<ActionSheetDelegate>(), "Cancel",
                                      "Delete", std::vector<std::string>{"Keep"});
    EXPECT_EQ(sheet->destructiveButtonIndex(), 0);
    EXPECT_EQ(sheet->buttonTitleAtIndex(1), "Keep");
    EXPECT_EQ(sheet->cancelButtonIndex(), 2);
}

TEST(TextField, EditingKeysRespectMultiByteCharactersAndClicksPlaceTheCursor) {
    auto window = visibleWindow();
    auto field = std::make_shared<TextField>(Rect(0, 0, 300, 30));
    window->addSubview(field);
    field->setText("a비b");
    ASSERT_TRUE(field->becomeFirstResponder());
    window->sendKey(key(KeyEvent::Key::Home));
    window->sendKey(key(KeyEvent::Key::Right));
    window->sendKey(key(KeyEvent::Key::Delete)); // the three-byte character goes at once
    EXPECT_EQ(field->text(), "ab");
    window->sendKey(key(KeyEvent::Key::End, {}, false, true));
    EXPECT_EQ(field->selectedRange(), (Range{1, 1}));
    window->sendKey(key(KeyEvent::Key::Character, "x", true)); // cut
    EXPECT_EQ(field->text(), "a");
    EXPECT_EQ(Pasteboard::generalPasteboard().string(), "b");
    field->setText("wide text");
    window->sendTouch(TouchPhase::Began, {9, 15}); // at the left edge: before the first letter
    window->sendTouch(TouchPhase::Ended, {9, 15});
    EXPECT_EQ(field->selectedRange(), (Range{0, 0}));
    window->sendTouch(TouchPhase::Began, {290, 15});
    window->sendTouch(TouchPhase::Ended, {290, 15});
    EXPECT_EQ(field->selectedRange(), (Range{9, 0}));
    field->setEnabled(false);
    EXPECT_FALSE(field->canBecomeFirstResponder());
}

TEST(WebView, APageWithoutAPlayerShowsNoButton) {
    auto web = std::make_shared<WebView>(Rect(0, 0, 100, 60));
    web->loadHTMLString("<html><body>nothing here</body></html>", "");
    EXPECT_TRUE(web->playerAddress().empty());
    EXPECT_FALSE(web->playButton());
    web->loadRequest("https://example.com/authorize");
    EXPECT_EQ(web->playerAddress(), "https://example.com/authorize");
    EXPECT_TRUE(web->playButton());
}
