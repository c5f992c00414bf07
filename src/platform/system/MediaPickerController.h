// Picks a song for the next movie's sound: the songs of the user's Music folder (and the folders
// inside it) with title, artist and length from their tags, a search field that filters as the
// user types, and "Other…" for any sound file through the desktop's file dialog. The folder is
// read on a worker thread and the list fills in as songs are found. A file that cannot be
// decoded as sound is refused with an alert that names it.
#pragma once

#include "platform/system/SerialWorker.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Label.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/ViewController.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace tx {

class MediaPickerController;

// One song of the library.
struct MediaItem {
    // The tag's title, else the file name without its extension.
    std::string title;
    std::string artist;
    double durationSeconds = 0;
    // The file's path.
    std::string assetURL;
};

class MediaPickerControllerDelegate {
public:
    virtual ~MediaPickerControllerDelegate() = default;
    // The chosen song (always one: the picker allows no multiple selection).
    virtual void mediaPickerDidPickMediaItems(MediaPickerController& picker,
                                              const std::vector<MediaItem>& items) = 0;
    virtual void mediaPickerDidCancel(MediaPickerController& picker) = 0;
};

class MediaPickerController : public ViewController,
                              public TableViewDataSource,
                              public TableViewDelegate,
                              public TextFieldDelegate {
public:
    MediaPickerController();
    ~MediaPickerController() override;

    // Not retained.
    void setDelegate(std::weak_ptr<MediaPickerControllerDelegate> delegate) {
        _delegate = std::move(delegate);
    }
    // The folder to list; the user's Music folder unless set before the view loads.
    void setMusicDirectory(std::string directory) { _directory = std::move(directory); }
    const std::string& musicDirectory() const { return _directory; }

    // Every song found so far, sorted by title, and those the search lets through.
    const std::vector<MediaItem>& items() const { return _items; }
    const std::vector<MediaItem>& filteredItems() const { return _filtered; }
    bool isScanning() const { return _scanning; }
    // Filters the list as typing in the search field does.
    void setSearchText(const std::string& text);
    const std::shared_ptr<TextField>& searchField() const { return _searchField; }
    const std::shared_ptr<TableView>& tableView() const { return _tableView; }
    const std::shared_ptr<Label>& statusLabel() const { return _statusLabel; }
    // The row the keys move over (0 is "Other…"), or -1.
    int cursorRow() const { return _cursorRow; }

    // Chooses a song: checks that it plays, then answers the delegate (or shows the alert).
    void chooseItem(const MediaItem& item);
    // "Other…": the desktop's file dialog for sound files.
    void onOther();
    void onCancel();

    void loadView() override;
    void viewDidLoad() override;
    bool keyPressed(const KeyEvent& event) override;
    void addKeyBindings(KeyTable& table) override;

    int tableViewNumberOfRowsInSection(TableView& tableView, int section) override;
    TableViewCellPtr tableViewCellForRowAtIndexPath(TableView& tableView,
                                                    const IndexPath& indexPath) override;
    bool tableViewCanEditRowAtIndexPath(TableView&, const IndexPath&) override { return false; }
    std::optional<double> tableViewHeightForRowAtIndexPath(TableView&, const IndexPath&) override;
    void tableViewDidSelectRowAtIndexPath(TableView& tableView,
                                          const IndexPath& indexPath) override;
    bool textFieldShouldReturn(TextField& field) override;

    // Reads one folder's songs (recursively); `found` gets them in batches on the worker thread.
    // Stops early when `cancelled` turns true.
    static void scanDirectory(const std::string& directory, const std::atomic<bool>& cancelled,
                              const std::function<void(std::vector<MediaItem>)>& found);

private:
    struct Entry {
        // Case-folded title and artist, for sorting and searching.
        std::string titleKey;
        std::string artistKey;
        MediaItem item;
    };
    void startScan();
    void addItems(std::vector<MediaItem> batch);
    void refilter();
    void moveCursor(int delta);
    void chooseRow(int row);
    void updateStatus();

    std::weak_ptr<MediaPickerControllerDelegate> _delegate;
    std::string _directory;
    std::vector<Entry> _entries;
    std::vector<MediaItem> _items;
    std::vector<MediaItem> _filtered;
    std::string _searchText;
    std::shared_ptr<TableView> _tableView;
    std::shared_ptr<TextField> _searchField;
    std::shared_ptr<Label> _statusLabel;
    int _cursorRow = -1;
    bool _scanning = false;
    std::shared_ptr<std::atomic<bool>> _cancelled = std::make_shared<std::atomic<bool>>(false);
    // Reads the folder; a library closed meanwhile does not wait for the file at hand.
    std::unique_ptr<SerialWorker> _worker;
};

} // namespace tx
