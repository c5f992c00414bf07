#include "platform/foundation/Translation.h"
#include "SoundTrackTableCell.h"

namespace tx {

namespace {
constexpr double kCheckSize = 22;
constexpr double kPlaySize = 32;
constexpr double kRightMargin = 8;
} // namespace

SoundTrackTableCell::SoundTrackTableCell() {
    setFrame(Rect(0, 0, kRowWidth, kRowHeight));
    _checkImageView =
        std::make_shared<ImageView>(Rect(kRowWidth - kRightMargin - kCheckSize,
                                         (kRowHeight - kCheckSize) / 2, kCheckSize, kCheckSize));
    _checkImageView->setImage(Image::imageNamed("check_44_44"));
    _checkImageView->setHidden(true);
    _checkImageView->setUserInteractionEnabled(false);
    contentView()->addSubview(_checkImageView);
}

void SoundTrackTableCell::setCheck(bool check) {
    _checkImageView->setHidden(!check);
}

SoundTrackTableCellEx::SoundTrackTableCellEx() {
    _playButtonView =
        std::make_shared<Button>(Rect(kRowWidth - kRightMargin - kCheckSize - 6 - kPlaySize,
                                      (kRowHeight - kPlaySize) / 2, kPlaySize, kPlaySize));
    _playButtonView->setImage(Image::imageNamed("play_btn_64_64"), ControlStateNormal);
    _playButtonView->setImage(Image::imageNamed("play_btn_P_64_64"), ControlStateHighlighted);
    _playButtonView->setImage(Image::imageNamed("stop_btn_64_64"), ControlStateSelected);
    _playButtonView->setImage(Image::imageNamed("stop_btn_P_64_64"),
                              ControlStateSelected | ControlStateHighlighted);
    // Latched while the sound plays: "Listen, checked".
    _playButtonView->setAccessibilityLabel(_("Listen"));
    _playButtonView->setHidden(true);
    _playButtonView->addTarget(this, ControlEventTouchUpInside,
                               [this](Control&) { onPlayAndStop(); });
    contentView()->addSubview(_playButtonView);
}

void SoundTrackTableCellEx::setCheck(bool check) {
    SoundTrackTableCell::setCheck(check);
    _playButtonView->setHidden(!check);
}

void SoundTrackTableCellEx::onPlayAndStop() {
    if (auto delegate = _delegate.lock())
        delegate->onPlayAndStop(*this);
}

} // namespace tx
