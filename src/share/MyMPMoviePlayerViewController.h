// The full-window movie player, portrait like every screen: the movie's pictures with its sound,
// play/pause, a position bar to drag, the time, and Done. When the movie ends, when Done is
// pressed and when the movie cannot be played on, it posts
// "MPMoviePlayerPlaybackDidFinishNotification" from its `moviePlayer` and closes.
#pragma once

#include "platform/foundation/Translation.h"
#include "platform/media/MoviePlayback.h"
#include "platform/ui/Button.h"
#include "platform/ui/Control.h"
#include "platform/ui/Label.h"
#include "platform/ui/ViewController.h"

#include <memory>
#include <string>

namespace tx {

inline const std::string kMPMoviePlayerPlaybackDidFinishNotification =
    "MPMoviePlayerPlaybackDidFinishNotification";

// The player inside the screen: the sender of the end-of-playback notification.
class MoviePlayerController : public Object {
public:
    const std::string& contentURL() const { return _contentURL; }
    // Null when the movie could not be opened (`error` says why).
    const MoviePlaybackPtr& playback() const { return _playback; }
    const ErrorPtr& error() const { return _error; }

private:
    friend class MyMPMoviePlayerViewController;
    std::string _contentURL;
    MoviePlaybackPtr _playback;
    ErrorPtr _error;
};

// The movie's picture, as large as fits, upright.
class MoviePictureView : public View {
public:
    using View::View;
    void setPicture(PlaybackPicturePtr picture);
    const PlaybackPicturePtr& picture() const { return _picture; }
    void drawRect(const Rect& rect) override;

private:
    PlaybackPicturePtr _picture;
    ImagePtr _image;
};

// The position bar: a track filled up to the position, with a knob to drag.
class MoviePositionBar : public Control {
public:
    using Control::Control;
    double value() const { return _value; }
    void setValue(double value);
    void drawRect(const Rect& rect) override;
    bool beginTrackingWithTouch(const Touch& touch) override;
    bool continueTrackingWithTouch(const Touch& touch) override;
    void endTrackingWithTouch(const Touch* touch) override;

    // Read as the movie's position, a twentieth of it a step.
    AccessibleRole accessibilityRole() const override { return AccessibleRole::Slider; }
    std::string accessibilityLabel() const override { return _("Position"); }
    std::optional<AccessibleValue> accessibilityValue() const override {
        return AccessibleValue{_value, 0, 1, kStep};
    }
    std::vector<AccessibleAction> accessibilityActions() const override {
        return {AccessibleAction::Increase, AccessibleAction::Decrease};
    }
    bool performAccessibilityAction(AccessibleAction action) override;

private:
    static constexpr double kStep = 0.05;
    void trackTo(const Touch& touch);
    double _value = 0;
};

class MyMPMoviePlayerViewController : public ViewController, public MoviePlaybackDelegate {
public:
    // A player for the movie file at `contentURL` (a path); it opens the file at once.
    explicit MyMPMoviePlayerViewController(const std::string& contentURL);
    ~MyMPMoviePlayerViewController() override;

    const std::shared_ptr<MoviePlayerController>& moviePlayer() const { return _moviePlayer; }

    void loadView() override;
    void viewDidAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    void addKeyBindings(KeyTable& table) override;

    void onPlayPause();
    void onDone();
    // Moves by `seconds` (negative: back).
    void seekBy(double seconds);

    static std::string timeText(double seconds);

    const std::shared_ptr<MoviePictureView>& pictureView() const { return _pictureView; }
    const std::shared_ptr<MoviePositionBar>& positionBar() const { return _positionBar; }
    const std::shared_ptr<Button>& playPauseButton() const { return _playPause; }
    const std::shared_ptr<Label>& timeLabel() const { return _timeLabel; }

    void moviePlaybackDidChange(MoviePlayback& playback) override;
    void moviePlaybackDidFinish(MoviePlayback& playback, const ErrorPtr& error) override;

private:
    void refreshControls();
    void finishPlayback(const ErrorPtr& error);

    std::shared_ptr<MoviePlayerController> _moviePlayer;
    std::shared_ptr<MoviePictureView> _pictureView;
    std::shared_ptr<MoviePositionBar> _positionBar;
    std::shared_ptr<Button> _playPause;
    std::shared_ptr<Button> _done;
    std::shared_ptr<Label> _timeLabel;
    std::uint64_t _shownSerial = 0;
    bool _finished = false;
    // Keeps the desktop awake while the movie plays.
    std::shared_ptr<void> _keepAwake;
};

} // namespace tx
