#include "ImagePickerController.h"
#include "platform/foundation/Translation.h"

#include "platform/ui/KeyTable.h"

#include "platform/foundation/Paths.h"
#include "platform/foundation/RunLoop.h"
#include "platform/system/FileDialog.h"
#include "platform/system/MovieTrimViewController.h"
#include "platform/system/PickerBar.h"
#include "platform/ui/ActivityIndicator.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/Screen.h"

#include <algorithm>

namespace tx {

const char* const kUTTypeMovie = "public.movie";

namespace {

constexpr double kBarHeight = kPickerBarHeight;
constexpr double kRowHeight = 60;
constexpr double kSlideSeconds = 0.3;
const Size kThumbnailPoints{82, 46};
const char* const kMovieCellIdentifier = "MovieCell";

// One movie of the list: its still, its name and how long it lasts.
class MoviePickerCell : public TableViewCell {
public:
    MoviePickerCell() : TableViewCell(kMovieCellIdentifier) {
        setBackgroundColor(theme::background());
        thumbnail = std::make_shared<ImageView>(
            Rect(8, 7, kThumbnailPoints.width, kThumbnailPoints.height));
        thumbnail->setBackgroundColor(Color::black());
        thumbnail->setContentMode(ContentMode::ScaleAspectFit);
        contentView()->addSubview(thumbnail);
        name = std::make_shared<Label>(Rect(100, 9, 210, 22));
        name->setFont(Font::boldSystemFont(15));
        contentView()->addSubview(name);
        detail = std::make_shared<Label>(Rect(100, 31, 210, 20));
        detail->setFont(Font::systemFont(13));
        detail->setTextColor(theme::secondaryText());
        contentView()->addSubview(detail);
    }
    void prepareForReuse() override {
        thumbnail->setImage(nullptr);
        thumbnail->setHidden(false);
    }

    std::shared_ptr<ImageView> thumbnail;
    std::shared_ptr<Label> name;
    std::shared_ptr<Label> detail;
};

} // namespace

ImagePickerController::ImagePickerController()
    : _scanCancelled(std::make_shared<std::atomic<bool>>(false)) {}

ImagePickerController::~ImagePickerController() {
    *_scanCancelled = true;
}

void ImagePickerController::loadView() {
    const Rect screen = Screen::mainScreen().bounds();
    auto root = std::make_shared<View>(screen);
    root->setBackgroundColor(theme::background());
    root->setClipsToBounds(true);

    _table = std::make_shared<TableView>(
        Rect(0, kBarHeight, screen.width(), screen.height() - kBarHeight));
    _table->setRowHeight(kRowHeight);
    _table->setBackgroundColor(theme::background());
    root->addSubview(_table);

    root->addSubview(makePickerBar(screen.width(), _("Movies"), [this] { cancel(); }));

    _statusLabel =
        std::make_shared<Label>(Rect(20, kBarHeight + kRowHeight + 24, screen.width() - 40, 60));
    _statusLabel->setFont(Font::systemFont(14));
    _statusLabel->setTextColor(theme::secondaryText());
    _statusLabel->setTextAlignment(TextAlignment::Center);
    _statusLabel->setNumberOfLines(0);
    root->addSubview(_statusLabel);
    _spinner = std::make_shared<ActivityIndicator>(ActivityIndicatorStyle::White);
    // In the bar, out of the way of the rows that come in while it turns.
    _spinner->setCenter(Point{screen.width() - 28, kBarHeight / 2});
    root->addSubview(_spinner);
    setView(root);
}

void ImagePickerController::viewDidLoad() {
    _table->setDataSource(sharedAs<TableViewDataSource>());
    _table->setDelegate(sharedAs<TableViewDelegate>());
    if (_folder.empty())
        _folder = videosDirectory();
    if (!_initialMoviePath.empty()) {
        // A dropped movie goes straight to its trim screen; the list is never shown.
        openMovie(_initialMoviePath);
        return;
    }
    _scanning = true;
    _statusLabel->setText(
        withArguments(_("Looking for movies in %1\u2026"), {lastPathComponent(_folder)}));
    _spinner->startAnimating();
    std::weak_ptr<Object> weak = weak_from_this();
    auto cancelled = _scanCancelled;
    const std::string folder = _folder;
    _thread.start([weak, cancelled, folder] {
        // Each movie joins the list as soon as it has been read; a large folder fills it in
        // while the user looks.
        scanMovieFolder(folder, kThumbnailPoints, cancelled.get(), [weak](const MovieEntry& movie) {
            RunLoop::post([weak, movie] {
                if (auto picker = std::static_pointer_cast<ImagePickerController>(weak.lock()))
                    picker->movieFound(movie);
            });
        });
        RunLoop::post([weak] {
            if (auto picker = std::static_pointer_cast<ImagePickerController>(weak.lock()))
                picker->scanFinished();
        });
    });
}

void ImagePickerController::movieFound(const MovieEntry& movie) {
    _movies.push_back(movie);
    _statusLabel->setHidden(true);
    _table->reloadData();
    if (_selectedRow < 0)
        selectRow(1);
}

void ImagePickerController::scanFinished() {
    _scanning = false;
    _spinner->stopAnimating();
    if (_movies.empty()) {
        _statusLabel->setText(
            withArguments(_("No movies in %1. Choose Other\u2026 to pick one from anywhere."),
                          {lastPathComponent(_folder)}));
        if (_selectedRow < 0)
            selectRow(0);
    }
}

int ImagePickerController::tableViewNumberOfRowsInSection(TableView&, int) {
    return 1 + static_cast<int>(_movies.size());
}

TableViewCellPtr ImagePickerController::tableViewCellForRowAtIndexPath(TableView& tableView,
                                                                       const IndexPath& indexPath) {
    auto cell = std::dynamic_pointer_cast<MoviePickerCell>(
        tableView.dequeueReusableCellWithIdentifier(kMovieCellIdentifier));
    if (!cell)
        cell = std::make_shared<MoviePickerCell>();
    if (indexPath.row == 0) {
        cell->thumbnail->setHidden(true);
        cell->name->setFrame(Rect(16, 9, 294, 22));
        cell->detail->setFrame(Rect(16, 31, 294, 20));
        cell->name->setText(_("Other\u2026"));
        cell->detail->setText(_("Choose a movie from anywhere"));
        return cell;
    }
    const MovieEntry& movie = _movies[static_cast<std::size_t>(indexPath.row - 1)];
    cell->name->setFrame(Rect(100, 9, 210, 22));
    cell->detail->setFrame(Rect(100, 31, 210, 20));
    cell->thumbnail->setImage(movie.thumbnail);
    cell->name->setText(movie.name);
    cell->detail->setText(formatMovieLength(movie.durationSeconds));
    return cell;
}

void ImagePickerController::tableViewDidSelectRowAtIndexPath(TableView&,
                                                             const IndexPath& indexPath) {
    _selectedRow = indexPath.row;
    openRow(indexPath.row);
}

void ImagePickerController::selectRow(int row) {
    const int rows = 1 + static_cast<int>(_movies.size());
    if (!_table || row < 0 || row >= rows)
        return;
    _selectedRow = row;
    const IndexPath path = IndexPath::forRow(row);
    _table->selectRowAtIndexPath(path, false);
    _table->scrollRowToVisible(path);
}

void ImagePickerController::openRow(int row) {
    if (row == 0) {
        onOther();
        return;
    }
    if (row > 0 && row <= static_cast<int>(_movies.size()))
        openMovie(_movies[static_cast<std::size_t>(row - 1)].path);
}

void ImagePickerController::onOther() {
    FileDialogRequest request;
    request.title = _("Choose a Movie");
    request.nameFilters = {
        withArguments(_("Movies (%1)"), {"*.mov *.mp4 *.m4v *.mkv *.webm *.avi *.3gp *.mts *.ogv"}),
        withArguments(_("All files (%1)"), {"*"})};
    request.directory = _folder;
    std::weak_ptr<Object> weak = weak_from_this();
    request.onUnavailable = [weak] {
        auto picker = std::static_pointer_cast<ImagePickerController>(weak.lock());
        if (!picker || picker->_answered)
            return;
        auto alert = std::make_shared<AlertView>(
            _("No File Chooser"),
            withArguments(_("This desktop has no file chooser. Put the movie in your Videos "
                            "folder (%1) to find it in this list, or drop it on the window."),
                          {picker->_folder}),
            std::weak_ptr<AlertViewDelegate>(), _("OK"), std::vector<std::string>{});
        alert->show();
    };
    FileDialog::run(request, [weak](const std::string& path) {
        auto picker = std::static_pointer_cast<ImagePickerController>(weak.lock());
        // A cancelled dialog leaves the list as it was.
        if (picker && !path.empty() && !picker->_answered)
            picker->openMovie(path);
    });
}

void ImagePickerController::openMovie(const std::string& path) {
    if (_answered || _trim)
        return;
    if (!_allowsEditing) {
        finishWithMovie(path);
        return;
    }
    _trim = std::make_shared<MovieTrimViewController>(path);
    const bool fromList = _initialMoviePath.empty();
    _trim->setCallbacks({
        [this](const std::string& movie, const TimeRange& stretch) {
            finishWithMovie(movie, stretch);
        },
        [this, fromList] {
            if (fromList)
                closeTrim(true);
            else
                cancel();
        },
        [this](const std::string& message) { showFailure(message); },
    });
    ViewPtr trimView = _trim->view();
    const Rect bounds = view()->bounds();
    view()->addSubview(trimView);
    if (fromList) {
        trimView->setFrame(bounds.offsetBy(bounds.width(), 0));
        View::animate(kSlideSeconds, 0, AnimationCurve::EaseInOut,
                      [&] { trimView->setFrame(bounds); });
    } else {
        trimView->setFrame(bounds);
    }
}

void ImagePickerController::closeTrim(bool animated) {
    if (!_trim)
        return;
    auto trim = std::move(_trim);
    ViewPtr trimView = trim->view();
    if (!animated) {
        trimView->removeFromSuperview();
        return;
    }
    const Rect bounds = view()->bounds();
    View::animate(
        kSlideSeconds, 0, AnimationCurve::EaseInOut,
        [&] { trimView->setFrame(bounds.offsetBy(bounds.width(), 0)); },
        [trim, trimView](bool) { trimView->removeFromSuperview(); });
}

void ImagePickerController::showFailure(const std::string& message) {
    if (_answered || _alert)
        return;
    _alert = std::make_shared<AlertView>("", message, sharedAs<AlertViewDelegate>(), _("OK"),
                                         std::vector<std::string>{});
    _alert->show();
}

void ImagePickerController::alertViewClickedButtonAtIndex(AlertView&, int) {
    _alert.reset();
    // Nothing can be made of the file: the pick ends as a cancel.
    cancel();
}

void ImagePickerController::addKeyBindings(KeyTable& table) {
    if (_trim) {
        _trim->addKeyBindings(table);
        return;
    }
    using Key = KeyEvent::Key;
    const int last = static_cast<int>(_movies.size());
    table.add({KeyChord::special(Key::Up)}, _("Move up the list"),
              [this] { selectRow(std::max(0, _selectedRow - 1)); });
    table.add({KeyChord::special(Key::Down)}, _("Move down the list"),
              [this, last] { selectRow(std::min(last, _selectedRow + 1)); });
    table.add({KeyChord::special(Key::Home)}, _("Go to the first movie"), [this] { selectRow(0); });
    table.add({KeyChord::special(Key::End)}, _("Go to the last row"), [this, last] { selectRow(last); });
    table.add({KeyChord::special(Key::Return)}, _("Open the movie under the cursor"),
              [this] { openRow(std::max(0, _selectedRow)); });
    table.add({KeyChord::special(Key::Escape)}, _("Cancel"), [this] { cancel(); });
}

void ImagePickerController::finishWithMovie(const std::string& path, const TimeRange& stretch) {
    if (_answered)
        return;
    _answered = true;
    if (auto d = delegate())
        d->imagePickerControllerDidFinishPickingMediaWithInfo(*this,
                                                              {kUTTypeMovie, path, stretch});
}

void ImagePickerController::cancel() {
    if (_answered)
        return;
    _answered = true;
    if (auto d = delegate())
        d->imagePickerControllerDidCancel(*this);
}

} // namespace tx
