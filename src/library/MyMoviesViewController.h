// The My Movies tab of the library: every movie below the Documents folder, newest first, with
// its thumbnail, date and length. A row opens the share screen; the edit mode deletes movies
// (into the desktop's trash) together with their thumbnails.
#pragma once

#include "app/FileInfo.h"
#include "library/MyMoviesTableCell.h"
#include "platform/foundation/Translation.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/TableView.h"
#include "platform/ui/ViewController.h"
#include "share/LibraryTabHeader.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tx {

class MyMoviesViewController : public ViewController,
                               public TableViewDataSource,
                               public TableViewDelegate,
                               public AlertViewDelegate {
public:
    ~MyMoviesViewController() override;
    void loadView() override;
    void viewDidLoad() override;
    void addKeyBindings(KeyTable& table) override;

    // The length of a movie of `seconds` as the rows show it, "%02d:%02d:%02d" of its whole
    // seconds (75.9 s is 00:01:15).
    static std::string lengthText(double seconds);
    // A movie's date as the rows show it, "yyyy-MM-dd" in local time.
    static std::string dateText(FileInfo::Date date);

    void onCameraButton();
    void onEdit();
    void onYoutube();

    const std::shared_ptr<Button>& buttonMyMovies() const { return _header.myMovies; }
    const std::shared_ptr<Button>& buttonEdit() const { return _buttonEdit; }
    // Shown instead of a blank list while there is no movie.
    const std::shared_ptr<Label>& emptyLabel() const { return _emptyLabel; }
    static constexpr const char* kNoMoviesText = N_(
        "No movies yet.\nRecord one on the camera screen (Space), or pick a movie to reverse (O).");
    const std::shared_ptr<TableView>& tableView() const { return _tableView; }
    const std::vector<std::shared_ptr<FileInfo>>& fileInfoArr() const { return _fileInfoArr; }
    // The alert on show (delete confirmation or failure), if any.
    const std::shared_ptr<AlertView>& alert() const { return _alert; }

    int tableViewNumberOfRowsInSection(TableView& tableView, int section) override;
    TableViewCellPtr tableViewCellForRowAtIndexPath(TableView& tableView,
                                                    const IndexPath& indexPath) override;
    void tableViewCommitEditingStyle(TableView& tableView, TableViewCellEditingStyle style,
                                     const IndexPath& indexPath) override;
    std::optional<double> tableViewHeightForRowAtIndexPath(TableView&, const IndexPath&) override;
    void tableViewDidSelectRowAtIndexPath(TableView& tableView,
                                          const IndexPath& indexPath) override;
    void alertViewClickedButtonAtIndex(AlertView& alertView, int buttonIndex) override;

private:
    void buildList();
    void askToDelete(int row);
    void showAlert(const std::string& message);
    double lengthOf(const FileInfo& info);
    void thumbnailWritten(const std::string& moviePath);

    LibraryTabHeader _header;
    std::shared_ptr<Button> _buttonEdit;
    std::shared_ptr<Label> _emptyLabel;
    std::shared_ptr<TableView> _tableView;
    std::vector<std::shared_ptr<FileInfo>> _fileInfoArr;
    // Lengths and thumbnails read once per movie, so scrolling opens no files twice.
    std::map<std::string, double> _lengths;
    std::map<std::string, ImagePtr> _thumbnails;
    int _thumbnailObserver = 0;
    std::shared_ptr<AlertView> _alert;
    // The row a delete confirmation is about.
    int _rowToDelete = -1;
};

} // namespace tx
