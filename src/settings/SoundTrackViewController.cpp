#include "SoundTrackViewController.h"
#include "platform/foundation/Translation.h"

#include "platform/ui/KeyTable.h"

#include "app/AppConfigureInfo.h"
#include "app/CustomEffectSound.h"
#include "app/TaluvexAppDelegate.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/Button.h"
#include "platform/ui/Screen.h"

#include <algorithm>
#include <array>

namespace tx {

namespace {

constexpr double kBarHeight = 45;
constexpr double kListTop = 52;
constexpr double kShortScreenHeight = 480;

// The pictures of the rows, in row order; the pressed picture adds "_P".
constexpr std::array<const char*, SoundTrackViewController::kRowCount> kRowPictures = {
    "from_ipod", "from_video", "mute", "track1", "track2", "track3", "track4", "track5", "track6"};

std::shared_ptr<ImageView> rowPicture(int row, bool pressed) {
    const std::string name = std::string(kRowPictures[static_cast<std::size_t>(row)]) +
                             (pressed ? "_P_588_90" : "_588_90");
    auto view = std::make_shared<ImageView>(
        Rect(0, 0, SoundTrackTableCell::kRowWidth, SoundTrackTableCell::kRowHeight));
    view->setImage(Image::imageNamed(name));
    return view;
}

void playClick() {
    CustomEffectSound::share()->playEffectSound(kSoundEffect_BtnClick);
}

} // namespace

SoundTrackViewController::~SoundTrackViewController() {
    NotificationCenter::defaultCenter().removeObserver(this);
}

void SoundTrackViewController::loadView() {
    const Rect screen = Screen::mainScreen().bounds();
    auto root = std::make_shared<View>(screen);
    root->setBackgroundColor(Color::black());
    _pBgImageView = std::make_shared<ImageView>(screen);
    _pBgImageView->setImage(Image::imageNamed("sound_bg_640_1040"));
    root->addSubview(_pBgImageView);

    auto back = std::make_shared<Button>(Rect(6, (kBarHeight - 30) / 2, 60, 30));
    back->setImage(Image::imageNamed("back_btn_120_60"), ControlStateNormal);
    back->setImage(Image::imageNamed("back_btn_P_120_60"), ControlStateHighlighted);
    back->setAccessibilityLabel(_("Back"));
    back->addTarget(this, ControlEventTouchUpInside, [this](Control&) { onBack(); });
    root->addSubview(back);

    const double listWidth = SoundTrackTableCell::kRowWidth;
    _tableView = std::make_shared<TableView>(
        Rect((screen.width() - listWidth) / 2, kListTop, listWidth, screen.height() - kListTop));
    _tableView->setBackgroundColor(Color::clear());
    _tableView->setSeparatorStyle(TableViewSeparatorStyle::None);
    _tableView->setRowHeight(SoundTrackTableCell::kRowHeight);
    root->addSubview(_tableView);
    setView(root);
}

void SoundTrackViewController::viewDidLoad() {
    auto& center = NotificationCenter::defaultCenter();
    center.addObserver(this, kTypeWillDeSelected,
                       [this](const Notification&) { onTypeWillDeSelected(); });
    center.addObserver(this, kTypeDeSelected, [this](const Notification&) { onTypeDeSelected(); });
    center.addObserver(this, kTypeSelected, [this](const Notification&) { onTypeSelected(); });

    int row = kLibraryRow;
    if (TaluvexAppDelegate* app = TaluvexAppDelegate::sharedDelegate()) {
        switch (app->audioType()) {
        case TaluvexAppDelegate::kAudioTypeBuiltInTrack:
            row =
                std::clamp(app->audioTrackIndex() + kFirstTrackRow, kFirstTrackRow, kRowCount - 1);
            break;
        case TaluvexAppDelegate::kAudioTypeFromVideo:
        case TaluvexAppDelegate::kAudioTypeMute:
            row = app->audioType();
            break;
        default:
            break;
        }
    }
    _selectedIndexPath = IndexPath::forRow(row);

    if (Screen::mainScreen().bounds().height() <= kShortScreenHeight)
        _pBgImageView->setImage(Image::imageNamed("sound_bg_640_864@2x.png"));

    _tableView->setDataSource(sharedAs<TableViewDataSource>());
    _tableView->setDelegate(sharedAs<TableViewDelegate>());
}

void SoundTrackViewController::viewDidUnload() {
    NotificationCenter::defaultCenter().removeObserver(this);
}

void SoundTrackViewController::onBack() {
    playClick();
    dismissViewController(true);
}

int SoundTrackViewController::tableViewNumberOfRowsInSection(TableView&, int) {
    return kRowCount;
}

std::optional<double> SoundTrackViewController::tableViewHeightForRowAtIndexPath(TableView&,
                                                                                 const IndexPath&) {
    return SoundTrackTableCell::kRowHeight;
}

TableViewCellPtr SoundTrackViewController::tableViewCellForRowAtIndexPath(TableView&,
                                                                          const IndexPath& path) {
    const int row = std::clamp(path.row, 0, kRowCount - 1);
    const bool checked = row == _selectedIndexPath.row;
    std::shared_ptr<SoundTrackTableCell> cell;
    if (row >= kFirstTrackRow) {
        auto ex = std::make_shared<SoundTrackTableCellEx>();
        ex->setCheck(checked);
        ex->setPlayStatus(_player && _player->isPlaying());
        ex->setDelegate(sharedAs<SoundTrackTableCellDelegate>());
        cell = ex;
    } else {
        cell = std::make_shared<SoundTrackTableCell>();
        cell->setCheck(checked);
    }
    cell->setBackgroundView(rowPicture(row, false));
    cell->setSelectedBackgroundView(rowPicture(row, true));
    // The row's words are in its picture.
    static const std::array<const char*, 3> kFirstRowNames = {"From Music Library", "From Video",
                                                              "Mute"};
    cell->setAccessibilityLabel(row < 3 ? kFirstRowNames[static_cast<std::size_t>(row)]
                                        : withArguments(_("Track %1"), {std::to_string(row - 2)}));
    cell->setBackgroundColor(Color::clear());
    if (row == _cursorRow)
        cell->setHighlighted(true, false);
    return cell;
}

void SoundTrackViewController::tableViewDidSelectRowAtIndexPath(TableView& tableView,
                                                                const IndexPath& path) {
    const int row = path.row;
    tableView.deselectRowAtIndexPath(path, true);
    if (row == kLibraryRow) {
        // The library choice is recorded when a song is picked; until then the sound in force
        // stays, so a cancelled library leaves everything as it was.
        auto picker = std::make_shared<MediaPickerController>();
        picker->setDelegate(sharedAs<MediaPickerControllerDelegate>());
        _mediaPicker = picker;
        presentViewController(picker, true);
        return;
    }
    tableView.reloadData();
    if (row == _selectedIndexPath.row)
        return;
    auto& center = NotificationCenter::defaultCenter();
    center.post(kTypeWillDeSelected);
    center.post(kTypeDeSelected);
    if (TaluvexAppDelegate* app = TaluvexAppDelegate::sharedDelegate())
        app->selectAudioTrack(static_cast<unsigned>(row));
    _selectedIndexPath = IndexPath::forRow(row);
    center.post(kSoundSelected);
    center.post(kTypeSelected);
}

void SoundTrackViewController::onPlayAndStop(SoundTrackTableCellEx& cell) {
    if (_player && _player->isPlaying()) {
        _player.reset(); // letting go of the player stops the preview
        cell.setPlayStatus(false);
        return;
    }
    if (!_player) {
        TaluvexAppDelegate* app = TaluvexAppDelegate::sharedDelegate();
        if (!app || app->audioTrackURL().empty())
            return;
        _player = AudioPlayer::create(app->audioTrackURL());
        if (!_player)
            return;
        _player->setDelegate(sharedAs<AudioPlayerDelegate>());
    }
    // A player that cannot play (its sound does not decode, no output) leaves the button at play.
    cell.setPlayStatus(_player->play());
}

void SoundTrackViewController::audioPlayerDidFinishPlaying(AudioPlayer& player, bool successfully) {
    if (!successfully || &player != _player.get())
        return;
    if (auto cell =
            std::dynamic_pointer_cast<SoundTrackTableCellEx>(visibleCell(_selectedIndexPath.row)))
        cell->setPlayStatus(false);
}

void SoundTrackViewController::mediaPickerDidPickMediaItems(MediaPickerController& picker,
                                                            const std::vector<MediaItem>& items) {
    if (items.empty()) {
        mediaPickerDidCancel(picker);
        return;
    }
    const MediaItem& item = items.front();
    auto& center = NotificationCenter::defaultCenter();
    // The preview of the track chosen before stops with the change.
    center.post(kTypeWillDeSelected);
    center.post(kTypeDeSelected);
    if (TaluvexAppDelegate* app = TaluvexAppDelegate::sharedDelegate())
        app->selectAudioTrack(static_cast<unsigned>(kLibraryRow), item.title, item.assetURL);
    _selectedIndexPath = IndexPath::forRow(kLibraryRow);
    center.post(kSoundSelected);
    center.post(kTypeSelected);
    _tableView->reloadData();
    picker.dismissViewController(true);

    _notice.reset();
    if (!AppConfigureInfo::shareAppConfigureInfo()->soundtrackNotice()) {
        auto alert = std::make_shared<AlertView>(
            "", _(kSoundTrackNoticeMessage.c_str()), sharedAs<AlertViewDelegate>(), "",
            std::vector<std::string>{_("I understand"), _("Never Show Again")});
        _notice = alert;
        alert->show();
    }
}

void SoundTrackViewController::mediaPickerDidCancel(MediaPickerController& picker) {
    picker.dismissViewController(true);
}

void SoundTrackViewController::alertViewClickedButtonAtIndex(AlertView&, int buttonIndex) {
    if (buttonIndex != 1)
        return;
    auto info = AppConfigureInfo::shareAppConfigureInfo();
    info->setSoundtrackNotice(true);
    info->save();
}

void SoundTrackViewController::onTypeWillDeSelected() {
    _player.reset();
    if (_selectedIndexPath.row >= kFirstTrackRow)
        if (auto cell = std::dynamic_pointer_cast<SoundTrackTableCellEx>(
                visibleCell(_selectedIndexPath.row)))
            cell->setPlayStatus(false);
}

void SoundTrackViewController::onTypeDeSelected() {
    if (auto cell = visibleCell(_selectedIndexPath.row))
        cell->setCheck(false);
}

void SoundTrackViewController::onTypeSelected() {
    if (auto cell = visibleCell(_selectedIndexPath.row))
        cell->setCheck(true);
}

std::shared_ptr<SoundTrackTableCell> SoundTrackViewController::visibleCell(int row) const {
    if (!_tableView)
        return nullptr;
    return std::dynamic_pointer_cast<SoundTrackTableCell>(
        _tableView->cellForRowAtIndexPath(IndexPath::forRow(row)));
}

void SoundTrackViewController::moveCursor(int delta) {
    if (auto old = visibleCell(_cursorRow))
        old->setHighlighted(false, false);
    const int from = _cursorRow < 0 ? _selectedIndexPath.row : _cursorRow;
    _cursorRow = std::clamp(from + delta, 0, kRowCount - 1);
    if (auto cell = visibleCell(_cursorRow))
        cell->setHighlighted(true, false);
}

void SoundTrackViewController::addKeyBindings(KeyTable& table) {
    using Key = KeyEvent::Key;
    table.add({KeyChord::special(Key::Up)}, _("Move up the list"), [this] { moveCursor(-1); });
    table.add({KeyChord::special(Key::Down)}, _("Move down the list"), [this] { moveCursor(1); });
    table.add({KeyChord::special(Key::Return)}, _("Choose the sound under the cursor"), [this] {
        if (_cursorRow >= 0 && _tableView)
            tableViewDidSelectRowAtIndexPath(*_tableView, IndexPath::forRow(_cursorRow));
    });
    table.add({KeyChord::character(" ")}, _("Play or stop the chosen track"), [this] {
        if (_selectedIndexPath.row >= kFirstTrackRow)
            if (auto cell = std::dynamic_pointer_cast<SoundTrackTableCellEx>(
                    visibleCell(_selectedIndexPath.row)))
                onPlayAndStop(*cell);
    });
    table.add({KeyChord::special(Key::Escape)}, _("Back to the settings"), [this] { onBack(); });
}

} // namespace tx
