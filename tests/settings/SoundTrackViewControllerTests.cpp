#include "SettingsTestSupport.h"
#include "settings/SoundTrackViewController.h"

#include "app/AppConfigureInfo.h"
#include "app/TaluvexAppDelegate.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/Application.h"
#include "support/MediaFixtures.h"

#include <gtest/gtest.h>

#include <fstream>

namespace tx {
namespace {

class PickerTest : public ::testing::Test {
protected:
    void SetUp() override {
        AppConfigureInfo::shareAppConfigureInfo()->setSoundtrackNotice(false);
        app = std::make_shared<TaluvexAppDelegate>();
        app->selectAudioTrack(TaluvexAppDelegate::kFirstTrackCode);
        Application::sharedApplication().setDelegate(app);
        window = test::makeWindow();
        window->setRootViewController(root);
        for (const std::string& name :
             {kTypeWillDeSelected, kTypeDeSelected, kTypeSelected, kSoundSelected})
            NotificationCenter::defaultCenter().addObserver(
                this, name, [this](const Notification& n) { posted.push_back(n.name); });
    }
    void TearDown() override {
        NotificationCenter::defaultCenter().removeObserver(this);
        // Presentations end while their screens are alive.
        settle();
        Application::sharedApplication().setDelegate(nullptr);
    }
    // The picker over the root screen, its rows laid out.
    std::shared_ptr<SoundTrackViewController> open() {
        auto picker = std::make_shared<SoundTrackViewController>();
        root->presentViewController(picker, false);
        picker->view()->layoutIfNeeded();
        picker->tableView()->layoutIfNeeded();
        return picker;
    }
    // Lets every running presentation and dismissal end.
    void settle() { test::settleAnimations(clock, *window); }
    void tapRow(SoundTrackViewController& picker, int row) {
        const Rect r = picker.tableView()->rectForRowAtIndexPath(IndexPath::forRow(row));
        const Point p = picker.tableView()->convertPointToView(
            {r.minX() + 40, r.minY() + r.height() / 2}, window.get());
        window->sendTouch(TouchPhase::Began, p);
        window->sendTouch(TouchPhase::Ended, p);
        picker.tableView()->layoutIfNeeded();
    }
    static std::shared_ptr<SoundTrackTableCell> cell(SoundTrackViewController& picker, int row) {
        return std::dynamic_pointer_cast<SoundTrackTableCell>(
            picker.tableView()->cellForRowAtIndexPath(IndexPath::forRow(row)));
    }
    static std::shared_ptr<SoundTrackTableCellEx> trackCell(SoundTrackViewController& picker,
                                                            int row) {
        return std::dynamic_pointer_cast<SoundTrackTableCellEx>(cell(picker, row));
    }
    static std::vector<int> checkedRows(SoundTrackViewController& picker) {
        std::vector<int> rows;
        for (int row = 0; row < SoundTrackViewController::kRowCount; row++)
            if (auto c = cell(picker, row); c && c->check())
                rows.push_back(row);
        return rows;
    }
    static MediaItem song(const std::string& title, const std::string& path) {
        MediaItem item;
        item.title = title;
        item.assetURL = path;
        return item;
    }

    test::SteppedClock clock;
    std::shared_ptr<TaluvexAppDelegate> app;
    std::shared_ptr<Window> window;
    std::shared_ptr<ViewController> root = std::make_shared<ViewController>();
    std::vector<std::string> posted;
};

TEST_F(PickerTest, TheCheckedRowFollowsTheCurrentSound) {
    struct Case {
        unsigned code;
        int wantRow;
    };
    for (const Case& c : {Case{4, 4}, Case{2, 2}, Case{1, 1}, Case{8, 8}}) {
        SCOPED_TRACE(c.code);
        app->selectAudioTrack(c.code);
        auto picker = open();
        EXPECT_EQ(picker->selectedIndexPath().row, c.wantRow);
        EXPECT_EQ(checkedRows(*picker), std::vector<int>{c.wantRow});
        for (int row = 3; row < 9; row++)
            EXPECT_EQ(!trackCell(*picker, row)->playButtonView()->isHidden(), row == c.wantRow);
        picker->dismissViewController(false);
    }
}

TEST_F(PickerTest, NineRowsOf45Points) {
    auto picker = open();
    EXPECT_EQ(picker->tableView()->numberOfRowsInSection(0), 9);
    EXPECT_EQ(picker->tableView()->rectForRowAtIndexPath(IndexPath::forRow(8)),
              Rect(0, 8 * 45, 294, 45));
    EXPECT_TRUE(trackCell(*picker, 3));
    EXPECT_FALSE(trackCell(*picker, 2));
}

TEST_F(PickerTest, TappingAnotherRowMovesTheCheckAndTellsThePanel) {
    auto picker = open();
    tapRow(*picker, 6);
    EXPECT_EQ(posted, (std::vector<std::string>{kTypeWillDeSelected, kTypeDeSelected,
                                                kSoundSelected, kTypeSelected}));
    EXPECT_EQ(app->audioTitle(), "Track 4");
    EXPECT_EQ(app->audioTrackIndex(), 3);
    EXPECT_EQ(checkedRows(*picker), std::vector<int>{6});
    EXPECT_FALSE(trackCell(*picker, 6)->playButtonView()->isHidden());

    posted.clear();
    tapRow(*picker, 1);
    EXPECT_EQ(app->audioType(), TaluvexAppDelegate::kAudioTypeFromVideo);
    EXPECT_EQ(checkedRows(*picker), std::vector<int>{1});
}

TEST_F(PickerTest, PreviewPlaysStopsEndsAndPlaysAgain) {
    app->setAudioTrackURL(test::makeSound(0.3));
    auto picker = open();
    auto row = trackCell(*picker, 3);
    row->playButtonView()->sendActionsForControlEvents(ControlEventTouchUpInside);
    ASSERT_TRUE(picker->player());
    EXPECT_TRUE(picker->player()->isPlaying());
    EXPECT_TRUE(row->playStatus());

    // A second press stops it and lets the player go.
    row->playButtonView()->sendActionsForControlEvents(ControlEventTouchUpInside);
    EXPECT_FALSE(picker->player());
    EXPECT_FALSE(row->playStatus());

    // Played to its end, the button turns back; the next press plays the same player again.
    row->playButtonView()->sendActionsForControlEvents(ControlEventTouchUpInside);
    const AudioPlayer* first = picker->player().get();
    ASSERT_TRUE(RunLoop::runUntil([&] { return !row->playStatus(); }, 3));
    EXPECT_EQ(picker->player().get(), first);
    row->playButtonView()->sendActionsForControlEvents(ControlEventTouchUpInside);
    EXPECT_EQ(picker->player().get(), first);
    EXPECT_TRUE(picker->player()->isPlaying());
    EXPECT_TRUE(row->playStatus());
}

TEST_F(PickerTest, TappingTheCheckedRowPostsNothingAndKeepsThePreview) {
    auto picker = open();
    trackCell(*picker, 3)->playButtonView()->sendActionsForControlEvents(ControlEventTouchUpInside);
    ASSERT_TRUE(picker->player());
    tapRow(*picker, 3);
    EXPECT_TRUE(posted.empty());
    ASSERT_TRUE(picker->player());
    EXPECT_TRUE(picker->player()->isPlaying());
    // The rebuilt row still shows the stop button.
    EXPECT_TRUE(trackCell(*picker, 3)->playStatus());

    // Another row stops the preview.
    tapRow(*picker, 4);
    EXPECT_FALSE(picker->player());
    EXPECT_FALSE(trackCell(*picker, 4)->playStatus());
}

TEST_F(PickerTest, APreviewThatCannotPlayLeavesThePlayButton) {
    const std::string notSound = test::tempPath("m4a");
    std::ofstream(notSound) << "not a sound";
    for (const std::string& url : {std::string("/nonexistent/track.m4a"), notSound}) {
        SCOPED_TRACE(url);
        app->setAudioTrackURL(url);
        auto picker = open();
        auto row = trackCell(*picker, 3);
        row->playButtonView()->sendActionsForControlEvents(ControlEventTouchUpInside);
        EXPECT_FALSE(row->playStatus());
        EXPECT_FALSE(picker->player() && picker->player()->isPlaying());
        picker->dismissViewController(false);
    }
    removeFile(notSound);
}

TEST_F(PickerTest, ALibraryRowTapChangesNothingUntilASongIsPicked) {
    auto picker = open();
    tapRow(*picker, 0);
    auto library = picker->mediaPicker();
    ASSERT_TRUE(library);
    EXPECT_EQ(root->presentedViewController()->presentedViewController(), library.get());
    EXPECT_TRUE(posted.empty());
    EXPECT_EQ(app->audioType(), TaluvexAppDelegate::kAudioTypeBuiltInTrack);

    // Cancelled: the sound in force stays, and so does its check mark.
    picker->mediaPickerDidCancel(*library);
    settle();
    EXPECT_FALSE(picker->presentedViewController());
    EXPECT_EQ(app->audioTitle(), "Track 1");
    EXPECT_EQ(app->audioTrackURL(), app->soundTrackInfo()[0]);
    EXPECT_EQ(checkedRows(*picker), std::vector<int>{3});
    EXPECT_TRUE(posted.empty());
}

TEST_F(PickerTest, APickedSongBecomesTheSoundAndTheNoticeComesUntilNeverAgain) {
    auto picker = open();
    tapRow(*picker, 0);
    picker->mediaPickerDidPickMediaItems(*picker->mediaPicker(),
                                         {song("Sunrise", "/music/sunrise.mp3")});
    settle();
    picker->tableView()->layoutIfNeeded();
    EXPECT_EQ(posted, (std::vector<std::string>{kTypeWillDeSelected, kTypeDeSelected,
                                                kSoundSelected, kTypeSelected}));
    EXPECT_EQ(app->audioType(), TaluvexAppDelegate::kAudioTypeLibrarySong);
    EXPECT_EQ(app->audioTitle(), "Sunrise");
    EXPECT_EQ(app->audioTrackURL(), "/music/sunrise.mp3");
    EXPECT_EQ(checkedRows(*picker), std::vector<int>{0});

    auto notice = picker->notice();
    ASSERT_TRUE(notice);
    EXPECT_EQ(notice->title(), "");
    EXPECT_EQ(notice->message(), kSoundTrackNoticeMessage);
    ASSERT_EQ(notice->numberOfButtons(), 2);
    EXPECT_EQ(notice->buttonTitleAtIndex(0), "I understand");
    EXPECT_EQ(notice->buttonTitleAtIndex(1), "Never Show Again");

    // "I understand": it comes again with the next song.
    notice->dismissWithClickedButtonIndex(0, false);
    tapRow(*picker, 0);
    picker->mediaPickerDidPickMediaItems(*picker->mediaPicker(), {song("Dusk", "/music/dusk.mp3")});
    settle();
    notice = picker->notice();
    ASSERT_TRUE(notice);
    notice->dismissWithClickedButtonIndex(1, false);
    EXPECT_TRUE(AppConfigureInfo::shareAppConfigureInfo()->soundtrackNotice());
    // Saved: a restart reads it back.
    EXPECT_TRUE(AppConfigureInfo::appConfigureInfoWithPath(AppConfigureInfo::kFileName)
                    ->soundtrackNotice());

    tapRow(*picker, 0);
    picker->mediaPickerDidPickMediaItems(*picker->mediaPicker(), {song("Noon", "/music/noon.mp3")});
    settle();
    EXPECT_FALSE(picker->notice());
    EXPECT_EQ(app->audioTitle(), "Noon");
}

TEST_F(PickerTest, KeysMoveChoosePreviewAndGoBack) {
    auto picker = open();
    EXPECT_TRUE(picker->keyPressed(test::character(" ")));
    ASSERT_TRUE(picker->player());
    EXPECT_TRUE(trackCell(*picker, 3)->playStatus());
    EXPECT_TRUE(picker->keyPressed(test::character(" ")));
    EXPECT_FALSE(picker->player());

    picker->keyPressed(test::key(KeyEvent::Key::Down));
    picker->keyPressed(test::key(KeyEvent::Key::Down));
    EXPECT_EQ(picker->cursorRow(), 5);
    EXPECT_TRUE(cell(*picker, 5)->isHighlighted());
    picker->keyPressed(test::key(KeyEvent::Key::Up));
    picker->keyPressed(test::key(KeyEvent::Key::Return));
    picker->tableView()->layoutIfNeeded();
    EXPECT_EQ(app->audioTitle(), "Track 2");
    EXPECT_EQ(checkedRows(*picker), std::vector<int>{4});

    picker->keyPressed(test::key(KeyEvent::Key::Escape));
    clock.advance(1);
    ASSERT_TRUE(RunLoop::runUntil([&] { return !root->presentedViewController(); }, 3));
}

} // namespace
} // namespace tx
