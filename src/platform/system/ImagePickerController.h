// Picks a movie for the main screen: the movies of the user's Videos folder, "Other…" for the
// desktop's file dialog, then a trim screen. A pick hands on the original file, with the stretch
// chosen on the trim screen when something was cut off.
#pragma once

#include "platform/media/MediaTime.h"
#include "platform/system/MovieFolder.h"
#include "platform/system/SerialWorker.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/TableView.h"
#include "platform/ui/ViewController.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace tx {

class ImagePickerController;
class MovieTrimViewController;
class Label;
class ActivityIndicator;

// What a pick gives: the kind of media, the movie's file path and the stretch of it to use (in
// the movie's own times; an invalid range for all of it).
struct ImagePickerMediaInfo {
    std::string mediaType;
    std::string mediaURL;
    TimeRange mediaTimeRange{MediaTime::invalid(), MediaTime::invalid()};
};

// The kind of media of every pick ("public.movie").
extern const char* const kUTTypeMovie;

class ImagePickerControllerDelegate {
public:
    virtual ~ImagePickerControllerDelegate() = default;
    virtual void
    imagePickerControllerDidFinishPickingMediaWithInfo(ImagePickerController& picker,
                                                       const ImagePickerMediaInfo& info) = 0;
    virtual void imagePickerControllerDidCancel(ImagePickerController& picker) = 0;
};

class ImagePickerController : public ViewController,
                              public TableViewDataSource,
                              public TableViewDelegate,
                              public AlertViewDelegate {
public:
    ImagePickerController();
    ~ImagePickerController() override;

    void setDelegate(std::weak_ptr<ImagePickerControllerDelegate> delegate) {
        _delegate = std::move(delegate);
    }
    std::shared_ptr<ImagePickerControllerDelegate> delegate() const { return _delegate.lock(); }
    // Editing allowed: the trim screen comes between the choice and the answer.
    void setAllowsEditing(bool allows) { _allowsEditing = allows; }
    bool allowsEditing() const { return _allowsEditing; }
    // Starts at the trim screen of this file instead of the list (a movie dropped on the window).
    void setInitialMoviePath(std::string path) { _initialMoviePath = std::move(path); }
    const std::string& initialMoviePath() const { return _initialMoviePath; }
    // The folder whose movies are listed; the user's Videos folder unless set before loading.
    void setMovieFolder(std::string folder) { _folder = std::move(folder); }
    const std::string& movieFolder() const { return _folder; }

    void loadView() override;
    void viewDidLoad() override;
    // List: Up/Down (Home/End) choose a row, Return opens it, Esc cancels. The trim screen has its
    // own keys.
    void addKeyBindings(KeyTable& table) override;

    // The list: row 0 is "Other…", the movies follow, newest first.
    bool isScanning() const { return _scanning; }
    const std::vector<MovieEntry>& movies() const { return _movies; }
    int selectedRow() const { return _selectedRow; }
    void selectRow(int row);
    void openRow(int row);
    // Asks the desktop's file dialog for a movie anywhere.
    void onOther();
    // Goes on with this file: the trim screen when editing is allowed, otherwise the answer.
    void openMovie(const std::string& path);
    // The trim screen on show, or null.
    MovieTrimViewController* trimViewController() const { return _trim.get(); }

    int tableViewNumberOfRowsInSection(TableView& tableView, int section) override;
    TableViewCellPtr tableViewCellForRowAtIndexPath(TableView& tableView,
                                                    const IndexPath& indexPath) override;
    bool tableViewCanEditRowAtIndexPath(TableView&, const IndexPath&) override { return false; }
    void tableViewDidSelectRowAtIndexPath(TableView& tableView,
                                          const IndexPath& indexPath) override;
    void alertViewClickedButtonAtIndex(AlertView& alertView, int buttonIndex) override;

protected:
    void finishWithMovie(const std::string& path,
                         const TimeRange& stretch = {MediaTime::invalid(), MediaTime::invalid()});
    void cancel();

private:
    void movieFound(const MovieEntry& movie);
    void scanFinished();
    void closeTrim(bool animated);
    void showFailure(const std::string& message);

    std::weak_ptr<ImagePickerControllerDelegate> _delegate;
    bool _allowsEditing = false;
    std::string _initialMoviePath;
    std::string _folder;

    std::vector<MovieEntry> _movies;
    bool _scanning = false;
    int _selectedRow = -1;
    bool _answered = false;
    std::shared_ptr<TableView> _table;
    std::shared_ptr<Label> _statusLabel;
    std::shared_ptr<ActivityIndicator> _spinner;
    std::shared_ptr<MovieTrimViewController> _trim;
    std::shared_ptr<AlertView> _alert;

    std::shared_ptr<std::atomic<bool>> _scanCancelled;
    SerialWorker _thread;
};

} // namespace tx
