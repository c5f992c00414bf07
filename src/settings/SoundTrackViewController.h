// The sound track picker: nine rows (a song from the music library, the recording's own sound,
// silence, six built-in tracks) of which the chosen one carries a check mark, previews of the
// built-in tracks, and the notice about the rights to a library song.
#pragma once

#include "platform/foundation/Translation.h"
#include "SoundTrackTableCell.h"
#include "platform/media/AudioPlayer.h"
#include "platform/system/MediaPickerController.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/TableView.h"
#include "platform/ui/ViewController.h"

#include <memory>
#include <string>

namespace tx {

// Posted by the picker; the cells on screen follow them.
inline const std::string kTypeWillDeSelected = "TypeWillDeSelected";
inline const std::string kTypeDeSelected = "TypeDeSelected";
inline const std::string kTypeSelected = "TypeSelected";
// Posted once the application holds a newly chosen sound; the settings panel shows its title.
inline const std::string kSoundSelected = "SoundSelected";

inline const std::string kSoundTrackNoticeMessage =
    N_("The track you are choosing maybe a subject of copyright . If you don't own the rights for "
       "this track, you may not be able to share it via Facebook, Twitter or YouTube");

class SoundTrackViewController : public ViewController,
                                 public TableViewDataSource,
                                 public TableViewDelegate,
                                 public MediaPickerControllerDelegate,
                                 public AudioPlayerDelegate,
                                 public AlertViewDelegate,
                                 public SoundTrackTableCellDelegate {
public:
    static constexpr int kRowCount = 9;
    static constexpr int kLibraryRow = 0;
    static constexpr int kFirstTrackRow = 3;

    ~SoundTrackViewController() override;

    void loadView() override;
    void viewDidLoad() override;
    void viewDidUnload() override;
    void addKeyBindings(KeyTable& table) override;

    void onBack();

    const std::shared_ptr<TableView>& tableView() const { return _tableView; }
    const AudioPlayerPtr& player() const { return _player; }
    IndexPath selectedIndexPath() const { return _selectedIndexPath; }
    const std::shared_ptr<ImageView>& pBgImageView() const { return _pBgImageView; }
    // The music library while it is up.
    std::shared_ptr<MediaPickerController> mediaPicker() const { return _mediaPicker.lock(); }
    // The rights notice while it is shown.
    std::shared_ptr<AlertView> notice() const { return _notice.lock(); }
    // The row the Up and Down keys have moved to, or -1.
    int cursorRow() const { return _cursorRow; }

    // List.
    int tableViewNumberOfRowsInSection(TableView& tableView, int section) override;
    TableViewCellPtr tableViewCellForRowAtIndexPath(TableView& tableView,
                                                    const IndexPath& indexPath) override;
    bool tableViewCanEditRowAtIndexPath(TableView&, const IndexPath&) override { return false; }
    std::optional<double> tableViewHeightForRowAtIndexPath(TableView&, const IndexPath&) override;
    void tableViewDidSelectRowAtIndexPath(TableView& tableView,
                                          const IndexPath& indexPath) override;

    // Preview of the checked built-in track.
    void onPlayAndStop(SoundTrackTableCellEx& cell) override;
    void audioPlayerDidFinishPlaying(AudioPlayer& player, bool successfully) override;

    // Music library.
    void mediaPickerDidPickMediaItems(MediaPickerController& picker,
                                      const std::vector<MediaItem>& items) override;
    void mediaPickerDidCancel(MediaPickerController& picker) override;

    // Rights notice: 0 "I understand", 1 "Never Show Again".
    void alertViewClickedButtonAtIndex(AlertView& alertView, int buttonIndex) override;

private:
    void onTypeWillDeSelected();
    void onTypeDeSelected();
    void onTypeSelected();
    std::shared_ptr<SoundTrackTableCell> visibleCell(int row) const;
    void moveCursor(int delta);

    std::shared_ptr<TableView> _tableView;
    AudioPlayerPtr _player;
    IndexPath _selectedIndexPath;
    std::shared_ptr<ImageView> _pBgImageView;
    std::weak_ptr<MediaPickerController> _mediaPicker;
    std::weak_ptr<AlertView> _notice;
    int _cursorRow = -1;
};

} // namespace tx
