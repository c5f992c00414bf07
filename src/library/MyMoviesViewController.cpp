#include "library/MyMoviesViewController.h"
#include "platform/foundation/Translation.h"

#include "platform/ui/KeyTable.h"

#include "app/CustomEffectSound.h"
#include "app/TaluvexAppDelegate.h"
#include "app/ThumbnailQueue.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/RunLoop.h"
#include "platform/system/Trash.h"
#include "platform/ui/Image.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Screen.h"
#include "render/AVFileRenderMgr.h"
#include "share/ShareViewController.h"

#include <cstdio>
#include <ctime>

namespace tx {

std::string MyMoviesViewController::lengthText(double seconds) {
    const long t = seconds > 0 ? static_cast<long>(seconds) : 0;
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", static_cast<int>((t / 3600) % 60),
                  static_cast<int>((t / 60) % 60), static_cast<int>(t % 60));
    return text;
}

std::string MyMoviesViewController::dateText(FileInfo::Date date) {
    const std::time_t t = std::chrono::system_clock::to_time_t(date);
    std::tm local{};
    localtime_r(&t, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d", &local);
    return text;
}

void MyMoviesViewController::loadView() {
    const Rect bounds = Screen::mainScreen().bounds();
    auto root = std::make_shared<View>(bounds);
    root->setBackgroundColor(theme::background());
    auto background = std::make_shared<ImageView>(bounds);
    background->setImage(Image::imageNamed("movies_bg_640_1136"));
    background->setContentMode(ContentMode::ScaleAspectFill);
    root->addSubview(background);

    _tableView = std::make_shared<TableView>(
        Rect(0, LibraryTabHeader::kHeight, 320, bounds.size.height - LibraryTabHeader::kHeight));
    _tableView->setBackgroundColor(Color::clear());
    _tableView->setSeparatorStyle(TableViewSeparatorStyle::None);
    _tableView->setRowHeight(MyMoviesTableCell::kRowHeight);
    root->addSubview(_tableView);
    _emptyLabel = std::make_shared<Label>(Rect(30, LibraryTabHeader::kHeight + 60, 260, 90));
    _emptyLabel->setNumberOfLines(0);
    _emptyLabel->setFont(Font::systemFont(15));
    _emptyLabel->setTextColor(theme::secondaryText());
    _emptyLabel->setTextAlignment(TextAlignment::Center);
    _emptyLabel->setText(_(kNoMoviesText));
    _emptyLabel->setUserInteractionEnabled(false);
    _emptyLabel->setHidden(true);
    root->addSubview(_emptyLabel);

    _header = LibraryTabHeader::addTo(*root, 0);
    _header.youtube->addTarget(this, ControlEventTouchUpInside, [this](Control&) { onYoutube(); });
    _header.camera->addTarget(this, ControlEventTouchUpInside,
                              [this](Control&) { onCameraButton(); });
    _buttonEdit = std::make_shared<Button>(Rect(244, 57, 70, 40));
    _buttonEdit->setImage(Image::imageNamed("edit_b_140_80"), ControlStateNormal);
    _buttonEdit->setImage(Image::imageNamed("edit_b_P_140_80"), ControlStateHighlighted);
    _buttonEdit->setAccessibilityLabel(_("Edit"));
    _buttonEdit->addTarget(this, ControlEventTouchUpInside, [this](Control&) { onEdit(); });
    root->addSubview(_buttonEdit);
    setView(root);
}

void MyMoviesViewController::viewDidLoad() {
    _header.myMovies->setImage(Image::imageNamed("M_b_320_112"),
                               ControlStateHighlighted | ControlStateSelected);
    buildList();
    _tableView->setDataSource(sharedAs<TableViewDataSource>());
    _tableView->setDelegate(sharedAs<TableViewDelegate>());
}

MyMoviesViewController::~MyMoviesViewController() {
    if (_thumbnailObserver != 0) {
        ThumbnailQueue::shared().removeObserver(_thumbnailObserver);
    }
}

void MyMoviesViewController::buildList() {
    // Missing thumbnails are made on the queue's thread, newest movie first (the top rows);
    // the rows on screen move ahead as they are drawn.
    ThumbnailQueue& queue = ThumbnailQueue::shared();
    if (_thumbnailObserver == 0) {
        std::weak_ptr<Object> weakSelf = weak_from_this();
        _thumbnailObserver = queue.addObserver([weakSelf](const std::string& moviePath) {
            if (auto self = std::static_pointer_cast<MyMoviesViewController>(weakSelf.lock())) {
                self->thumbnailWritten(moviePath);
            }
        });
    }
    _fileInfoArr = FileInfo::moviesBelow(documentsDirectory());
    for (const auto& info : _fileInfoArr) {
        queue.request(info->path(), false);
    }
    _lengths.clear();
    _thumbnails.clear();
}

void MyMoviesViewController::thumbnailWritten(const std::string& moviePath) {
    for (std::size_t row = 0; row < _fileInfoArr.size(); ++row) {
        const FileInfo& info = *_fileInfoArr[row];
        if (info.path() != moviePath) {
            continue;
        }
        _thumbnails.erase(info.thumbPath());
        auto cell = std::dynamic_pointer_cast<MyMoviesTableCell>(
            _tableView->cellForRowAtIndexPath(IndexPath::forRow(static_cast<int>(row))));
        if (cell) {
            cell->thumbnailView()->setImage(Image::imageWithContentsOfFile(info.thumbPath()));
        }
        return;
    }
}

double MyMoviesViewController::lengthOf(const FileInfo& info) {
    auto found = _lengths.find(info.path());
    if (found == _lengths.end()) {
        found = _lengths.emplace(info.path(), AVFileRenderMgr::getDuration(info.path())).first;
    }
    return found->second;
}

int MyMoviesViewController::tableViewNumberOfRowsInSection(TableView&, int) {
    if (_emptyLabel) {
        _emptyLabel->setHidden(!_fileInfoArr.empty());
    }
    return static_cast<int>(_fileInfoArr.size());
}

std::optional<double> MyMoviesViewController::tableViewHeightForRowAtIndexPath(TableView&,
                                                                               const IndexPath&) {
    return MyMoviesTableCell::kRowHeight;
}

TableViewCellPtr
MyMoviesViewController::tableViewCellForRowAtIndexPath(TableView& tableView,
                                                       const IndexPath& indexPath) {
    auto cell = std::dynamic_pointer_cast<MyMoviesTableCell>(
        tableView.dequeueReusableCellWithIdentifier(MyMoviesTableCell::kReuseIdentifier));
    if (!cell) {
        cell = MyMoviesTableCell::loadFromLayout();
    }
    const FileInfo& info = *_fileInfoArr.at(static_cast<std::size_t>(indexPath.row));
    cell->titleView()->setText(dateText(info.date()));
    cell->timeView()->setText(lengthText(lengthOf(info)));
    auto thumbnail = _thumbnails.find(info.thumbPath());
    if (thumbnail == _thumbnails.end()) {
        ImagePtr image = Image::imageWithContentsOfFile(info.thumbPath());
        if (!image) {
            // Not made yet: this row is on screen, so its thumbnail goes first.
            ThumbnailQueue::shared().request(info.path(), true);
            cell->thumbnailView()->setImage(nullptr);
            return cell;
        }
        thumbnail = _thumbnails.emplace(info.thumbPath(), std::move(image)).first;
    }
    cell->thumbnailView()->setImage(thumbnail->second);
    return cell;
}

void MyMoviesViewController::tableViewDidSelectRowAtIndexPath(TableView& tableView,
                                                              const IndexPath& indexPath) {
    tableView.deselectRowAtIndexPath(indexPath, true);
    if (indexPath.row < 0 || indexPath.row >= static_cast<int>(_fileInfoArr.size())) {
        return;
    }
    auto share = std::make_shared<ShareViewController>();
    share->setPath(_fileInfoArr[static_cast<std::size_t>(indexPath.row)]->path());
    libraryContainer(*this).presentViewController(share, true);
}

void MyMoviesViewController::tableViewCommitEditingStyle(TableView& tableView,
                                                         TableViewCellEditingStyle style,
                                                         const IndexPath& indexPath) {
    if (style != TableViewCellEditingStyle::Delete || indexPath.row < 0 ||
        indexPath.row >= static_cast<int>(_fileInfoArr.size())) {
        return;
    }
    const auto info = _fileInfoArr[static_cast<std::size_t>(indexPath.row)];
    ErrorPtr error;
    if (!Trash::moveToTrash(info->path(), &error)) {
        // The movie is still there, so its row stays; say why.
        tableView.reloadData();
        showAlert(error ? error->localizedDescription() : _("The movie could not be deleted."));
        return;
    }
    // A thumbnail left behind costs nothing and is made again should the movie come back.
    Trash::moveToTrash(info->thumbPath());
    _lengths.erase(info->path());
    _thumbnails.erase(info->thumbPath());
    _fileInfoArr.erase(_fileInfoArr.begin() + indexPath.row);
    tableView.deleteRowsAtIndexPaths({indexPath}, TableViewRowAnimation::Fade);
}

void MyMoviesViewController::onCameraButton() {
    CustomEffectSound::share()->playEffectSound(kSoundEffect_BtnClick);
    closeLibrary(*this);
}

void MyMoviesViewController::onEdit() {
    RunLoop::post([]() { CustomEffectSound::share()->playEffectSound(kSoundEffect_BtnClick); });
    if (_tableView->isEditing()) {
        _buttonEdit->setImage(Image::imageNamed("edit_b_140_80"), ControlStateNormal);
        _buttonEdit->setImage(Image::imageNamed("edit_b_P_140_80"), ControlStateHighlighted);
    } else {
        _buttonEdit->setImage(Image::imageNamed("done_b_140_80"), ControlStateNormal);
        _buttonEdit->setImage(Image::imageNamed("done_b_P_140_80"), ControlStateHighlighted);
    }
    _tableView->setEditing(!_tableView->isEditing(), false);
    _buttonEdit->setAccessibilityLabel(_tableView->isEditing() ? _("Done") : _("Edit"));
}

void MyMoviesViewController::onYoutube() {
    NotificationCenter::defaultCenter().post("MoviesTabSelected", shared_from_this());
}

void MyMoviesViewController::askToDelete(int row) {
    _rowToDelete = row;
    // Where no trash takes the movie, the question says that it goes for good.
    const bool trash = row >= 0 && row < static_cast<int>(_fileInfoArr.size()) &&
                       Trash::isAvailableFor(_fileInfoArr[row]->path());
    _alert = std::make_shared<AlertView>(
        _("Delete Movie"),
        trash ? _("The movie and its thumbnail go to the trash.")
              : _("There is no trash for this folder: the movie and its thumbnail are deleted "
                  "for good."),
        sharedAs<AlertViewDelegate>(), _("Cancel"), std::vector<std::string>{_("Delete")});
    _alert->show();
}

void MyMoviesViewController::showAlert(const std::string& message) {
    _rowToDelete = -1;
    _alert = std::make_shared<AlertView>("", message, std::weak_ptr<AlertViewDelegate>(), _("OK"),
                                         std::vector<std::string>{});
    _alert->show();
}

void MyMoviesViewController::alertViewClickedButtonAtIndex(AlertView& alertView, int buttonIndex) {
    const int row = std::exchange(_rowToDelete, -1);
    const bool confirmed = row >= 0 && buttonIndex == alertView.firstOtherButtonIndex();
    if (_alert.get() == &alertView) {
        _alert.reset();
    }
    if (confirmed && row < static_cast<int>(_fileInfoArr.size())) {
        tableViewCommitEditingStyle(*_tableView, TableViewCellEditingStyle::Delete,
                                    IndexPath::forRow(row));
    }
}

void MyMoviesViewController::addKeyBindings(KeyTable& table) {
    using Key = KeyEvent::Key;
    const auto selected = _tableView ? _tableView->indexPathForSelectedRow() : std::nullopt;
    const bool hasRows = _tableView && tableViewNumberOfRowsInSection(*_tableView, 0) > 0;
    table.add({KeyChord::special(Key::Up)}, _("Select the movie above"),
              [this] { _tableView->moveSelection(-1); }, hasRows);
    table.add({KeyChord::special(Key::Down)}, _("Select the movie below"),
              [this] { _tableView->moveSelection(1); }, hasRows);
    table.add({KeyChord::special(Key::Return)}, _("Open the selected movie"),
              [this, selected] { tableViewDidSelectRowAtIndexPath(*_tableView, *selected); },
              selected.has_value());
    table.add({KeyChord::special(Key::Delete), KeyChord::special(Key::Backspace)},
              _("Delete the selected movie"), [this, selected] { askToDelete(selected->row); },
              selected.has_value());
    table.press({KeyChord::character("e")}, _("Edit the list (delete movies)"), _buttonEdit.get(),
                [this] { onEdit(); });
    table.press({KeyChord::special(Key::Tab, true)}, _("Show the YouTube tab"),
                _header.youtube.get(), [this] { onYoutube(); });
    table.press({KeyChord::special(Key::Escape)}, _("Back to the camera"), _header.camera.get(),
                [this] { onCameraButton(); });
}

} // namespace tx
