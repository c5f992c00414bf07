#include "share/MyMPMoviePlayerViewController.h"
#include "platform/foundation/Translation.h"

#include "platform/ui/KeyTable.h"

#include "platform/foundation/NotificationCenter.h"
#include "platform/system/IdleInhibitor.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/Screen.h"

#include <QPainterPath>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tx {

namespace {

constexpr double kSeekStepSeconds = 5;
constexpr double kBarHeight = 56;

enum class Glyph { Play, Pause };

// The play and pause pictures, drawn at the screen's scale once.
ImagePtr drawGlyph(Glyph glyph, bool pressed) {
    const Size size(44, 44);
    ImageContext canvas(size, false, Screen::mainScreen().scale());
    GraphicsContext& context = canvas.context();
    context.fillEllipse(Rect(1, 1, 42, 42),
                        pressed ? theme::accent() : theme::panelLight().withAlpha(0.9));
    QPainter& painter = context.painter();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(242, 242, 242));
    if (glyph == Glyph::Play) {
        QPainterPath triangle;
        triangle.moveTo(17, 13);
        triangle.lineTo(32, 22);
        triangle.lineTo(17, 31);
        triangle.closeSubpath();
        painter.drawPath(triangle);
    } else {
        painter.drawRoundedRect(QRectF(15, 13, 5, 18), 1.5, 1.5);
        painter.drawRoundedRect(QRectF(24, 13, 5, 18), 1.5, 1.5);
    }
    return canvas.image();
}

ImagePtr glyphImage(Glyph glyph, bool pressed) {
    static const ImagePtr images[2][2] = {
        {drawGlyph(Glyph::Play, false), drawGlyph(Glyph::Play, true)},
        {drawGlyph(Glyph::Pause, false), drawGlyph(Glyph::Pause, true)}};
    return images[glyph == Glyph::Pause ? 1 : 0][pressed ? 1 : 0];
}

} // namespace

void MoviePictureView::setPicture(PlaybackPicturePtr picture) {
    _picture = std::move(picture);
    _image.reset();
    if (_picture) {
        // The pixels stay with the picture; the image only looks at them.
        QImage pixels(_picture->pixels.data(), _picture->width, _picture->height,
                      _picture->bytesPerRow(), QImage::Format_RGB32);
        if (_picture->quarterTurns != 0) {
            pixels = pixels.transformed(QTransform().rotate(90.0 * _picture->quarterTurns));
        }
        _image = std::make_shared<Image>(pixels, 1.0);
    }
    setNeedsDisplay();
}

void MoviePictureView::drawRect(const Rect&) {
    GraphicsContext* context = GraphicsContext::current();
    if (context == nullptr || !_image) {
        return;
    }
    context->drawImage(*_image, contentRect(ContentMode::ScaleAspectFit, _image->size(), bounds()));
}

void MoviePositionBar::setValue(double value) {
    _value = std::clamp(value, 0.0, 1.0);
    setNeedsDisplay();
}

void MoviePositionBar::drawRect(const Rect&) {
    GraphicsContext* context = GraphicsContext::current();
    if (context == nullptr) {
        return;
    }
    const Rect b = bounds();
    const double knob = 14;
    const double left = knob / 2;
    const double width = std::max(0.0, b.size.width - knob);
    const double middle = b.size.height / 2;
    context->fillRoundedRect(Rect(left, middle - 2, width, 4), 2, theme::separator());
    context->fillRoundedRect(Rect(left, middle - 2, width * _value, 4), 2, theme::accent());
    context->fillEllipse(Rect(left + width * _value - knob / 2, middle - knob / 2, knob, knob),
                         isTracking() ? theme::accent() : theme::text());
}

void MoviePositionBar::trackTo(const Touch& touch) {
    const double knob = 14;
    const double width = std::max(1.0, bounds().size.width - knob);
    setValue((touch.locationInView(this).x - knob / 2) / width);
    sendActionsForControlEvents(ControlEventValueChanged);
}

bool MoviePositionBar::beginTrackingWithTouch(const Touch& touch) {
    trackTo(touch);
    return true;
}

bool MoviePositionBar::continueTrackingWithTouch(const Touch& touch) {
    trackTo(touch);
    return true;
}

void MoviePositionBar::endTrackingWithTouch(const Touch*) {
    setNeedsDisplay();
}

MyMPMoviePlayerViewController::MyMPMoviePlayerViewController(const std::string& contentURL)
    : _moviePlayer(std::make_shared<MoviePlayerController>()) {
    _moviePlayer->_contentURL = contentURL;
    const Rect bounds = Screen::mainScreen().bounds();
    const double scale = Screen::mainScreen().scale();
    _moviePlayer->_playback = MoviePlayback::create(contentURL, &_moviePlayer->_error,
                                                    static_cast<int>(bounds.size.width * scale),
                                                    static_cast<int>(bounds.size.height * scale));
}

MyMPMoviePlayerViewController::~MyMPMoviePlayerViewController() {
    if (const auto& playback = _moviePlayer->playback()) {
        playback->stop();
    }
}

std::string MyMPMoviePlayerViewController::timeText(double seconds) {
    const long t = seconds > 0 ? static_cast<long>(seconds) : 0;
    char text[32];
    if (t >= 3600) {
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", t / 3600, (t / 60) % 60, t % 60);
    } else {
        std::snprintf(text, sizeof text, "%ld:%02ld", t / 60, t % 60);
    }
    return text;
}

void MyMPMoviePlayerViewController::loadView() {
    const Rect bounds = Screen::mainScreen().bounds();
    const double height = bounds.size.height;
    auto root = std::make_shared<View>(bounds);
    root->setBackgroundColor(Color::black());
    _pictureView = std::make_shared<MoviePictureView>(bounds);
    _pictureView->accessibility().role = AccessibleRole::Video;
    _pictureView->setAccessibilityLabel(_("Movie"));
    root->addSubview(_pictureView);

    auto top = std::make_shared<View>(Rect(0, 0, 320, 44));
    top->setBackgroundColor(Color::black().withAlpha(0.55));
    root->addSubview(top);
    _done = std::make_shared<Button>(Rect(6, 7, 64, 30));
    _done->setTitle(_("Done"), ControlStateNormal);
    _done->setTitleColor(theme::text(), ControlStateNormal);
    _done->setTitleColor(theme::accent(), ControlStateHighlighted);
    _done->setBackgroundColor(theme::panelLight());
    _done->setCornerRadius(8);
    _done->addTarget(this, ControlEventTouchUpInside, [this](Control&) { onDone(); });
    top->addSubview(_done);

    auto bottom = std::make_shared<View>(Rect(0, height - kBarHeight, 320, kBarHeight));
    bottom->setBackgroundColor(Color::black().withAlpha(0.55));
    root->addSubview(bottom);
    _playPause = std::make_shared<Button>(Rect(8, 6, 44, 44));
    _playPause->addTarget(this, ControlEventTouchUpInside, [this](Control&) { onPlayPause(); });
    bottom->addSubview(_playPause);
    _positionBar = std::make_shared<MoviePositionBar>(Rect(60, 14, 170, 28));
    _positionBar->addTarget(this, ControlEventValueChanged, [this](Control&) {
        if (const auto& playback = _moviePlayer->playback()) {
            playback->seekToTime(_positionBar->value() * playback->duration());
            refreshControls();
        }
    });
    bottom->addSubview(_positionBar);
    _timeLabel = std::make_shared<Label>(Rect(234, 14, 82, 28));
    _timeLabel->setFont(Font::systemFont(12));
    _timeLabel->setTextColor(theme::text());
    _timeLabel->setTextAlignment(TextAlignment::Right);
    bottom->addSubview(_timeLabel);
    setView(root);

    if (const auto& playback = _moviePlayer->playback()) {
        playback->setDelegate(sharedAs<MoviePlaybackDelegate>());
    }
    refreshControls();
}

void MyMPMoviePlayerViewController::viewDidAppear(bool) {
    const auto& playback = _moviePlayer->playback();
    if (!playback) {
        finishPlayback(_moviePlayer->error()
                           ? _moviePlayer->error()
                           : Error::make("MoviePlayback", 0, _("The movie cannot be played.")));
        return;
    }
    if (!_finished) {
        playback->play();
        refreshControls();
    }
}

void MyMPMoviePlayerViewController::viewWillDisappear(bool) {
    if (const auto& playback = _moviePlayer->playback()) {
        playback->pause();
    }
}

bool MoviePositionBar::performAccessibilityAction(AccessibleAction action) {
    if (!isEnabled() ||
        (action != AccessibleAction::Increase && action != AccessibleAction::Decrease)) {
        return false;
    }
    setValue(std::clamp(_value + (action == AccessibleAction::Increase ? kStep : -kStep), 0.0, 1.0));
    sendActionsForControlEvents(ControlEventValueChanged);
    return true;
}

void MyMPMoviePlayerViewController::refreshControls() {
    const auto& playback = _moviePlayer->playback();
    const bool playing = playback && playback->isPlaying();
    if (playing && !_keepAwake) {
        _keepAwake = IdleInhibitor::shared().inhibit(_("Playing a movie"));
    } else if (!playing) {
        _keepAwake.reset();
    }
    const Glyph glyph = playing ? Glyph::Pause : Glyph::Play;
    if (const char* name = playing ? "Pause" : "Play"; _playPause->accessibilityLabel() != name) {
        _playPause->setAccessibilityLabel(name);
    }
    if (_playPause->imageForState(ControlStateNormal) != glyphImage(glyph, false)) {
        _playPause->setImage(glyphImage(glyph, false), ControlStateNormal);
        _playPause->setImage(glyphImage(glyph, true), ControlStateHighlighted);
    }
    const double duration = playback ? playback->duration() : 0;
    const double now = playback ? playback->currentTime() : 0;
    if (!_positionBar->isTracking()) {
        _positionBar->setValue(duration > 0 ? now / duration : 0);
    }
    _timeLabel->setText(timeText(now) + " / " + timeText(duration));
}

void MyMPMoviePlayerViewController::onPlayPause() {
    const auto& playback = _moviePlayer->playback();
    if (!playback || _finished) {
        return;
    }
    if (playback->isPlaying()) {
        playback->pause();
    } else {
        playback->play();
    }
    refreshControls();
}

void MyMPMoviePlayerViewController::seekBy(double seconds) {
    const auto& playback = _moviePlayer->playback();
    if (!playback || _finished) {
        return;
    }
    playback->seekToTime(playback->currentTime() + seconds);
    refreshControls();
}

void MyMPMoviePlayerViewController::onDone() {
    finishPlayback(nullptr);
}

void MyMPMoviePlayerViewController::addKeyBindings(KeyTable& table) {
    using Key = KeyEvent::Key;
    table.add({KeyChord::character(" ")}, _("Play or pause"), [this] { onPlayPause(); });
    table.add({KeyChord::special(Key::Left)}, _("Back a little"),
              [this] { seekBy(-kSeekStepSeconds); });
    table.add({KeyChord::special(Key::Right)}, _("Forward a little"),
              [this] { seekBy(kSeekStepSeconds); });
    table.add({KeyChord::special(Key::Escape)}, _("Done"), [this] { onDone(); });
}

void MyMPMoviePlayerViewController::moviePlaybackDidChange(MoviePlayback& playback) {
    if (playback.pictureSerial() != _shownSerial) {
        _shownSerial = playback.pictureSerial();
        _pictureView->setPicture(playback.currentPicture());
    }
    refreshControls();
}

void MyMPMoviePlayerViewController::moviePlaybackDidFinish(MoviePlayback&, const ErrorPtr& error) {
    finishPlayback(error);
}

void MyMPMoviePlayerViewController::finishPlayback(const ErrorPtr& error) {
    if (_finished) {
        return;
    }
    _finished = true;
    if (const auto& playback = _moviePlayer->playback()) {
        playback->stop();
    }
    refreshControls();
    auto keep = sharedAs<MyMPMoviePlayerViewController>();
    NotificationCenter::defaultCenter().post(kMPMoviePlayerPlaybackDidFinishNotification,
                                             _moviePlayer);
    dismissViewController(true);
    if (error) {
        auto alert = std::make_shared<AlertView>("", error->localizedDescription(),
                                                 std::weak_ptr<AlertViewDelegate>(), _("OK"),
                                                 std::vector<std::string>{});
        alert->show();
    }
}

} // namespace tx
