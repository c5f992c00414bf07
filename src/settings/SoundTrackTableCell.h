// The rows of the sound track picker: a picture that says what the row is, a check mark on the
// chosen row and, on a built-in track's row, a play/stop button for its preview.
#pragma once

#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/TableView.h"

#include <memory>

namespace tx {

class SoundTrackTableCell : public TableViewCell {
public:
    static constexpr double kRowHeight = 45;
    static constexpr double kRowWidth = 294;

    SoundTrackTableCell();

    virtual void setCheck(bool check);
    bool check() const { return !_checkImageView->isHidden(); }
    const std::shared_ptr<ImageView>& checkImageView() const { return _checkImageView; }

private:
    std::shared_ptr<ImageView> _checkImageView;
};

class SoundTrackTableCellEx;

// Hears the play/stop button of a built-in track's row.
class SoundTrackTableCellDelegate {
public:
    virtual ~SoundTrackTableCellDelegate() = default;
    virtual void onPlayAndStop(SoundTrackTableCellEx& cell) = 0;
};

class SoundTrackTableCellEx : public SoundTrackTableCell {
public:
    SoundTrackTableCellEx();

    // The play button shows only on the checked row.
    void setCheck(bool check) override;
    // Selected (the stop picture) while the preview plays.
    void setPlayStatus(bool playing) { _playButtonView->setSelected(playing); }
    bool playStatus() const { return _playButtonView->isSelected(); }
    const std::shared_ptr<Button>& playButtonView() const { return _playButtonView; }

    // Not retained.
    void setDelegate(std::weak_ptr<SoundTrackTableCellDelegate> delegate) {
        _delegate = std::move(delegate);
    }

    void onPlayAndStop();

private:
    std::shared_ptr<Button> _playButtonView;
    std::weak_ptr<SoundTrackTableCellDelegate> _delegate;
};

} // namespace tx
