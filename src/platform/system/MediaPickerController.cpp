#include "MediaPickerController.h"
#include "platform/foundation/Translation.h"

#include "platform/ui/KeyTable.h"

#include "FileDialog.h"
#include "MovieFolder.h"
#include "PickerBar.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/RunLoop.h"
#include "platform/media/SoundFileInfo.h"
#include "platform/ui/Screen.h"

#include <QString>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <set>

namespace tx {

namespace {

constexpr double kRowHeight = 50;
constexpr double kSearchTop = 52;
constexpr double kStatusTop = 88;
constexpr double kListTop = 108;
// The first songs show at once; later ones arrive in larger batches to keep sorting cheap.
constexpr std::size_t kFirstBatchItems = 16;
constexpr std::size_t kBatchItems = 256;
constexpr auto kBatchInterval = std::chrono::milliseconds(150);
constexpr const char* kOtherTitle = N_("Other\u2026");
const std::string kSongCell = "song";

const std::set<std::string>& soundExtensions() {
    static const auto* extensions = new std::set<std::string>{
        "mp3", "m4a",  "m4b",  "aac", "flac", "ogg", "oga", "opus", "wav", "wma",
        "aif", "aiff", "aifc", "mka", "ape",  "wv",  "mp2", "ac3",  "caf", "alac"};
    return *extensions;
}

std::string folded(const std::string& text) {
    return QString::fromStdString(text).toCaseFolded().toStdString();
}

std::string baseName(const std::string& path) {
    return std::filesystem::path(path).stem().string();
}

MediaItem itemForFile(const std::string& path, const SoundFileInfo& info) {
    MediaItem item;
    item.title = info.title.empty() ? baseName(path) : info.title;
    item.artist = info.artist;
    item.durationSeconds = info.durationSeconds;
    item.assetURL = path;
    return item;
}

// A row of the library: the title over the artist and length.
class SongCell : public TableViewCell {
public:
    SongCell() : TableViewCell(kSongCell) {
        setBackgroundColor(theme::background());
        _title = std::make_shared<Label>(Rect(14, 6, 292, 22));
        _title->setFont(Font::boldSystemFont(16));
        _title->setTextColor(theme::text());
        _detail = std::make_shared<Label>(Rect(14, 28, 292, 17));
        _detail->setFont(Font::systemFont(13));
        _detail->setTextColor(theme::secondaryText());
        contentView()->addSubview(_title);
        contentView()->addSubview(_detail);
    }
    void show(const std::string& title, const std::string& detail) {
        _title->setText(title);
        _detail->setText(detail);
    }

private:
    std::shared_ptr<Label> _title;
    std::shared_ptr<Label> _detail;
};

} // namespace

MediaPickerController::MediaPickerController() : _directory(tx::musicDirectory()) {}

MediaPickerController::~MediaPickerController() {
    _cancelled->store(true);
}

void MediaPickerController::loadView() {
    const Rect screen = Screen::mainScreen().bounds();
    auto root = std::make_shared<View>(screen);
    root->setBackgroundColor(theme::background());

    auto bar = makePickerBar(screen.width(), _("Music"), [this] { onCancel(); });
    root->addSubview(bar);

    _searchField = std::make_shared<TextField>(Rect(10, kSearchTop, screen.width() - 20, 30));
    _searchField->setBorderStyle(TextBorderStyle::RoundedRect);
    _searchField->setPlaceholder(_("Search titles and artists"));
    _searchField->setFont(Font::systemFont(15));
    _searchField->addTarget(this, ControlEventEditingChanged,
                            [this](Control&) { setSearchText(_searchField->text()); });
    root->addSubview(_searchField);

    _statusLabel = std::make_shared<Label>(Rect(14, kStatusTop, screen.width() - 28, 18));
    _statusLabel->setFont(Font::systemFont(12));
    _statusLabel->setTextColor(theme::secondaryText());
    root->addSubview(_statusLabel);

    _tableView =
        std::make_shared<TableView>(Rect(0, kListTop, screen.width(), screen.height() - kListTop));
    _tableView->setBackgroundColor(theme::background());
    _tableView->setRowHeight(kRowHeight);
    root->addSubview(_tableView);
    setView(root);
}

void MediaPickerController::viewDidLoad() {
    _searchField->setDelegate(sharedAs<TextFieldDelegate>());
    _tableView->setDataSource(sharedAs<TableViewDataSource>());
    _tableView->setDelegate(sharedAs<TableViewDelegate>());
    startScan();
}

void MediaPickerController::scanDirectory(
    const std::string& directory, const std::atomic<bool>& cancelled,
    const std::function<void(std::vector<MediaItem>)>& found) {
    namespace fs = std::filesystem;
    std::vector<MediaItem> batch;
    std::size_t sent = 0;
    auto lastFlush = std::chrono::steady_clock::now();
    auto flush = [&] {
        if (batch.empty())
            return;
        sent += batch.size();
        found(std::move(batch));
        batch.clear();
        lastFlush = std::chrono::steady_clock::now();
    };
    std::error_code ec;
    fs::recursive_directory_iterator it(directory, fs::directory_options::skip_permission_denied,
                                        ec);
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (cancelled.load())
            return;
        // Hidden files and folders (caches, trash, players' own data) are not the user's songs.
        if (it->path().filename().string().starts_with(".")) {
            std::error_code dirError;
            if (it->is_directory(dirError))
                it.disable_recursion_pending();
            continue;
        }
        std::error_code typeError;
        if (!it->is_regular_file(typeError))
            continue;
        const std::string path = it->path().string();
        if (!soundExtensions().count(folded(pathExtension(path))))
            continue;
        if (auto info = readSoundFileInfo(path))
            batch.push_back(itemForFile(path, *info));
        const std::size_t limit = sent == 0 ? kFirstBatchItems : kBatchItems;
        if (batch.size() >= limit || std::chrono::steady_clock::now() - lastFlush > kBatchInterval)
            flush();
    }
    flush();
}

void MediaPickerController::startScan() {
    _scanning = true;
    updateStatus();
    std::weak_ptr<MediaPickerController> weak = sharedAs<MediaPickerController>();
    _worker = std::make_unique<SerialWorker>();
    _worker->start([weak, directory = _directory, cancelled = _cancelled] {
        scanDirectory(directory, *cancelled, [weak](std::vector<MediaItem> batch) {
            RunLoop::post([weak, batch = std::move(batch)]() mutable {
                if (auto self = weak.lock())
                    self->addItems(std::move(batch));
            });
        });
        RunLoop::post([weak] {
            if (auto self = weak.lock()) {
                self->_scanning = false;
                self->updateStatus();
            }
        });
    });
}

void MediaPickerController::addItems(std::vector<MediaItem> batch) {
    std::vector<Entry> fresh;
    fresh.reserve(batch.size());
    for (MediaItem& item : batch)
        fresh.push_back({folded(item.title), folded(item.artist), std::move(item)});
    auto before = [](const Entry& a, const Entry& b) {
        return std::tie(a.titleKey, a.item.assetURL) < std::tie(b.titleKey, b.item.assetURL);
    };
    std::sort(fresh.begin(), fresh.end(), before);
    std::vector<Entry> merged;
    merged.reserve(_entries.size() + fresh.size());
    std::merge(std::make_move_iterator(_entries.begin()), std::make_move_iterator(_entries.end()),
               std::make_move_iterator(fresh.begin()), std::make_move_iterator(fresh.end()),
               std::back_inserter(merged), before);
    _entries = std::move(merged);
    _items.clear();
    for (const Entry& entry : _entries)
        _items.push_back(entry.item);
    refilter();
}

void MediaPickerController::setSearchText(const std::string& text) {
    _searchText = text;
    refilter();
}

void MediaPickerController::refilter() {
    const std::string needle = folded(_searchText);
    _filtered.clear();
    for (const Entry& entry : _entries) {
        if (needle.empty() || entry.titleKey.find(needle) != std::string::npos ||
            entry.artistKey.find(needle) != std::string::npos ||
            folded(lastPathComponent(entry.item.assetURL)).find(needle) != std::string::npos)
            _filtered.push_back(entry.item);
    }
    _cursorRow = std::min(_cursorRow, static_cast<int>(_filtered.size()));
    if (_tableView)
        _tableView->reloadData();
    updateStatus();
}

void MediaPickerController::updateStatus() {
    if (!_statusLabel)
        return;
    std::string text;
    const std::size_t count = _items.size();
    const std::string songs =
        translatedPlural("%n song", "%n songs", static_cast<long>(count));
    if (_scanning)
        text = withArguments(_("Looking for songs in %1\u2026 %2"), {_directory, songs});
    else if (count == 0)
        text = withArguments(_("No songs in %1. Choose %2 to pick a file."),
                             {_directory, _(kOtherTitle)});
    else if (!_searchText.empty())
        text = withArguments(_("%1 of %2"), {std::to_string(_filtered.size()), songs});
    else
        text = songs;
    _statusLabel->setText(text);
}

int MediaPickerController::tableViewNumberOfRowsInSection(TableView&, int) {
    return 1 + static_cast<int>(_filtered.size());
}

std::optional<double> MediaPickerController::tableViewHeightForRowAtIndexPath(TableView&,
                                                                              const IndexPath&) {
    return kRowHeight;
}

TableViewCellPtr MediaPickerController::tableViewCellForRowAtIndexPath(TableView& tableView,
                                                                       const IndexPath& path) {
    auto cell =
        std::dynamic_pointer_cast<SongCell>(tableView.dequeueReusableCellWithIdentifier(kSongCell));
    if (!cell)
        cell = std::make_shared<SongCell>();
    if (path.row == 0) {
        cell->show(_(kOtherTitle), _("Any sound file on this computer"));
    } else if (path.row - 1 < static_cast<int>(_filtered.size())) {
        const MediaItem& item = _filtered[static_cast<std::size_t>(path.row - 1)];
        std::string detail = item.artist.empty() ? _("Unknown artist") : item.artist;
        if (item.durationSeconds > 0)
            detail += " \u00b7 " + formatMovieLength(item.durationSeconds);
        cell->show(item.title, detail);
    }
    cell->setHighlighted(path.row == _cursorRow, false);
    return cell;
}

void MediaPickerController::tableViewDidSelectRowAtIndexPath(TableView& tableView,
                                                             const IndexPath& path) {
    tableView.deselectRowAtIndexPath(path, true);
    chooseRow(path.row);
}

void MediaPickerController::chooseRow(int row) {
    if (row == 0) {
        onOther();
        return;
    }
    if (row > 0 && row - 1 < static_cast<int>(_filtered.size())) {
        const MediaItem item = _filtered[static_cast<std::size_t>(row - 1)];
        chooseItem(item);
    }
}

void MediaPickerController::chooseItem(const MediaItem& item) {
    if (!canDecodeSound(item.assetURL)) {
        auto alert = std::make_shared<AlertView>(
            "",
            withArguments(_("\u201c%1\u201d cannot be used as the sound: it holds no sound that "
                            "Taluvex can play."),
                          {lastPathComponent(item.assetURL)}),
            std::weak_ptr<AlertViewDelegate>(), _("OK"), std::vector<std::string>{});
        alert->show();
        return;
    }
    auto keep = sharedAs<MediaPickerController>();
    if (auto delegate = _delegate.lock())
        delegate->mediaPickerDidPickMediaItems(*this, {item});
    else
        dismissViewController(true);
}

void MediaPickerController::onOther() {
    FileDialogRequest request;
    request.title = _("Choose a Song");
    std::string patterns;
    for (const std::string& extension : soundExtensions())
        patterns += (patterns.empty() ? "*." : " *.") + extension;
    request.nameFilters = {withArguments(_("Sound files (%1)"), {patterns}),
                           withArguments(_("All files (%1)"), {"*"})};
    request.directory = _directory;
    std::weak_ptr<MediaPickerController> weak = sharedAs<MediaPickerController>();
    request.onUnavailable = [weak] {
        auto self = weak.lock();
        if (!self)
            return;
        auto alert = std::make_shared<AlertView>(
            _("No File Chooser"),
            withArguments(_("This desktop has no file chooser. Put the song in your Music folder "
                            "(%1) to find it in this list."),
                          {self->_directory}),
            std::weak_ptr<AlertViewDelegate>(), _("OK"), std::vector<std::string>{});
        alert->show();
    };
    FileDialog::run(request, [weak](const std::string& path) {
        auto self = weak.lock();
        if (!self || path.empty())
            return; // a cancelled dialog leaves the library open
        SoundFileInfo info = readSoundFileInfo(path).value_or(SoundFileInfo{});
        self->chooseItem(itemForFile(path, info));
    });
}

void MediaPickerController::onCancel() {
    auto keep = sharedAs<MediaPickerController>();
    if (auto delegate = _delegate.lock())
        delegate->mediaPickerDidCancel(*this);
    else
        dismissViewController(true);
}

bool MediaPickerController::textFieldShouldReturn(TextField& field) {
    field.resignFirstResponder();
    return true;
}

void MediaPickerController::moveCursor(int delta) {
    const int last = static_cast<int>(_filtered.size());
    const int row = std::clamp(_cursorRow + delta, 0, last);
    if (_tableView) {
        if (auto old = _tableView->cellForRowAtIndexPath(IndexPath::forRow(_cursorRow)))
            old->setHighlighted(false, false);
    }
    _cursorRow = row;
    if (_tableView) {
        _tableView->scrollRowToVisible(IndexPath::forRow(row));
        _tableView->layoutIfNeeded();
        if (auto cell = _tableView->cellForRowAtIndexPath(IndexPath::forRow(row)))
            cell->setHighlighted(true, false);
    }
}

void MediaPickerController::addKeyBindings(KeyTable& table) {
    using Key = KeyEvent::Key;
    table.add({KeyChord::special(Key::Up)}, _("Move up the list"), [this] { moveCursor(-1); });
    table.add({KeyChord::special(Key::Down)}, _("Move down the list"), [this] { moveCursor(1); });
    table.add({KeyChord::special(Key::Return)}, _("Choose the song under the cursor"), [this] {
        if (_cursorRow >= 0)
            chooseRow(_cursorRow);
    });
    table.add({KeyChord::special(Key::Escape)}, _("Cancel"), [this] { onCancel(); });
}

bool MediaPickerController::keyPressed(const KeyEvent& event) {
    if (ViewController::keyPressed(event))
        return true;
    // Typing anywhere starts a search.
    if (event.key != KeyEvent::Key::Character || event.control || event.text.empty() ||
        event.text == " ")
        return false;
    _searchField->becomeFirstResponder();
    _searchField->insertText(event.text);
    return true;
}

} // namespace tx
