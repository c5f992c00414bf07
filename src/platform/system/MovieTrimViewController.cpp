#include "MovieTrimViewController.h"
#include "platform/foundation/Translation.h"

#include "platform/ui/KeyTable.h"

#include "platform/foundation/Paths.h"
#include "platform/foundation/RunLoop.h"
#include "platform/media/ImageGenerator.h"
#include "platform/system/MovieFolder.h"
#include "platform/system/PickerBar.h"
#include "platform/ui/ActivityIndicator.h"
#include "platform/ui/Button.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/Screen.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <optional>

namespace tx {

namespace {

constexpr int kStripStills = 10;
constexpr double kStripInset = 16;
constexpr double kHandleWidth = 12;
// Handles closer to the ends than this count as the ends: nothing was cut off.
constexpr double kUntrimmedToleranceSeconds = 0.02;

std::string quotedName(const std::string& path) {
    return "\u201C" + lastPathComponent(path) + "\u201D";
}

} // namespace

TrimRange moveTrimHandle(TrimRange range, TrimHandle handle, double seconds,
                         double durationSeconds) {
    const double duration = std::max(0.0, durationSeconds);
    const double shortest = std::min(kMinimumTrimSeconds, duration);
    if (!std::isfinite(seconds))
        return range;
    if (handle == TrimHandle::Start) {
        const double lowest = std::max(0.0, range.end - kMaximumTrimSeconds);
        range.start = std::clamp(seconds, lowest, std::max(lowest, range.end - shortest));
    } else {
        const double highest = std::min(duration, range.start + kMaximumTrimSeconds);
        range.end = std::clamp(seconds, std::min(highest, range.start + shortest), highest);
    }
    return range;
}

// The strip of stills with the two handles; dragging near a handle moves it.
class TrimStripView : public View {
public:
    explicit TrimStripView(const Rect& frame) : View(frame), _stills(kStripStills) {}

    std::function<void(TrimHandle handle, double seconds)> onDrag;

    void setDuration(double seconds) {
        _duration = seconds;
        setNeedsDisplay();
    }
    void setRange(TrimRange range, TrimHandle active) {
        _range = range;
        _active = active;
        setNeedsDisplay();
    }
    void setStill(int index, ImagePtr image) {
        if (index >= 0 && index < kStripStills)
            _stills[static_cast<std::size_t>(index)] = std::move(image);
        setNeedsDisplay();
    }
    int stillCount() const {
        return static_cast<int>(std::count_if(_stills.begin(), _stills.end(),
                                              [](const ImagePtr& i) { return i != nullptr; }));
    }

    Rect track() const {
        return Rect(kStripInset, 4, bounds().width() - 2 * kStripInset, bounds().height() - 8);
    }
    double xForSeconds(double seconds) const {
        const Rect t = track();
        return t.origin.x + (_duration > 0 ? seconds / _duration : 0) * t.width();
    }
    double secondsForX(double x) const {
        const Rect t = track();
        return std::clamp((x - t.origin.x) / t.width(), 0.0, 1.0) * _duration;
    }

    void drawRect(const Rect&) override {
        GraphicsContext* gc = GraphicsContext::current();
        if (!gc)
            return;
        const Rect t = track();
        gc->fillRect(t, theme::panel());
        const double slot = t.width() / kStripStills;
        gc->saveState();
        gc->clipToRect(t);
        for (int i = 0; i < kStripStills; ++i) {
            const auto& still = _stills[static_cast<std::size_t>(i)];
            if (!still)
                continue;
            const Rect cell(t.origin.x + i * slot, t.origin.y, slot, t.height());
            gc->saveState();
            gc->clipToRect(cell);
            gc->drawImage(*still, contentRect(ContentMode::ScaleAspectFill, still->size(), cell));
            gc->restoreState();
        }
        gc->restoreState();
        if (_duration <= 0)
            return;
        const double xs = xForSeconds(_range.start);
        const double xe = xForSeconds(_range.end);
        const Color shade = Color::black().withAlpha(0.62);
        gc->fillRect(Rect(t.origin.x, t.origin.y, xs - t.origin.x, t.height()), shade);
        gc->fillRect(Rect(xe, t.origin.y, t.origin.x + t.width() - xe, t.height()), shade);
        const Color edge = theme::accent();
        gc->fillRect(Rect(xs, t.origin.y - 3, xe - xs, 3), edge);
        gc->fillRect(Rect(xs, t.origin.y + t.height(), xe - xs, 3), edge);
        drawHandle(*gc, Rect(xs - kHandleWidth, t.origin.y - 3, kHandleWidth, t.height() + 6),
                   _active == TrimHandle::Start);
        drawHandle(*gc, Rect(xe, t.origin.y - 3, kHandleWidth, t.height() + 6),
                   _active == TrimHandle::End);
    }

    void touchesBegan(const TouchSet& touches) override {
        if (touches.empty() || _duration <= 0)
            return;
        const double x = touches.front()->locationInView(this).x;
        const double toStart = std::abs(x - (xForSeconds(_range.start) - kHandleWidth / 2));
        const double toEnd = std::abs(x - (xForSeconds(_range.end) + kHandleWidth / 2));
        _dragged = toStart <= toEnd ? TrimHandle::Start : TrimHandle::End;
        drag(x);
    }
    void touchesMoved(const TouchSet& touches) override {
        if (!touches.empty() && _dragged)
            drag(touches.front()->locationInView(this).x);
    }
    void touchesEnded(const TouchSet&) override { _dragged.reset(); }
    void touchesCancelled(const TouchSet&) override { _dragged.reset(); }

private:
    void drag(double x) {
        // The finger holds the handle by its middle, which lies beside the time it marks.
        const double offset = *_dragged == TrimHandle::Start ? kHandleWidth / 2 : -kHandleWidth / 2;
        if (onDrag)
            onDrag(*_dragged, secondsForX(x + offset));
    }
    static void drawHandle(GraphicsContext& gc, const Rect& rect, bool active) {
        gc.fillRoundedRect(rect, 3, active ? theme::accent() : theme::accent().withAlpha(0.55));
        const double mid = rect.origin.x + rect.width() / 2;
        gc.strokeLine(Point{mid, rect.origin.y + rect.height() * 0.3},
                      Point{mid, rect.origin.y + rect.height() * 0.7},
                      active ? Color::whiteColor() : Color::white(1, 0.5), 2);
    }

    std::vector<ImagePtr> _stills;
    double _duration = 0;
    TrimRange _range;
    TrimHandle _active = TrimHandle::Start;
    std::optional<TrimHandle> _dragged;
};

// What the still thread shares with the screen. The generator and its movie are the thread's
// own; the screen only leaves the next wanted position.
struct MovieTrimViewController::Worker {
    std::string path;
    std::weak_ptr<Object> owner;
    std::atomic<bool> cancelled{false};
    std::mutex mutex;
    std::optional<double> wantedStill; // guarded by mutex
    bool stillQueued = false;          // guarded by mutex
    AssetPtr stillAsset;
    ImageGeneratorPtr generator;
    Size stillPoints;
    Size stripPoints;

    template <typename F> void toScreen(F&& f) {
        RunLoop::post([weak = owner, f = std::forward<F>(f)]() mutable {
            if (auto owner = std::static_pointer_cast<MovieTrimViewController>(weak.lock()))
                f(*owner);
        });
    }
};

MovieTrimViewController::MovieTrimViewController(std::string path) : _path(std::move(path)) {}

MovieTrimViewController::~MovieTrimViewController() {
    if (_worker)
        _worker->cancelled = true;
}

void MovieTrimViewController::loadView() {
    const Rect screen = Screen::mainScreen().bounds();
    const double w = screen.width();
    const double h = screen.height();
    auto root = std::make_shared<View>(screen);
    root->setBackgroundColor(theme::background());

    auto bar = makePickerBar(w, _("Trim"), [this] { onCancel(); });
    root->addSubview(bar);
    _useButton = makePickerBarButton(w - 80, _("Use"), theme::accent(), [this] { onUse(); });
    _useButton->setEnabled(false);
    bar->addSubview(_useButton);

    const double stillHeight = h - 44 - 180;
    _still = std::make_shared<ImageView>(Rect(0, 44, w, stillHeight));
    _still->setBackgroundColor(Color::black());
    _still->setContentMode(ContentMode::ScaleAspectFit);
    root->addSubview(_still);
    _spinner = std::make_shared<ActivityIndicator>(ActivityIndicatorStyle::White);
    _spinner->setCenter(Point{w / 2, 44 + stillHeight / 2});
    root->addSubview(_spinner);
    _spinner->startAnimating();

    _positionLabel = std::make_shared<Label>(Rect(10, h - 172, w - 20, 24));
    _positionLabel->setFont(Font::boldSystemFont(15));
    _positionLabel->setTextAlignment(TextAlignment::Center);
    root->addSubview(_positionLabel);

    _strip = std::make_shared<TrimStripView>(Rect(0, h - 142, w, 60));
    _strip->onDrag = [this](TrimHandle handle, double seconds) {
        if (!isReady())
            return;
        _activeHandle = handle;
        _range = moveTrimHandle(_range, handle, seconds, _durationSeconds);
        rangeChanged(true);
    };
    root->addSubview(_strip);

    _lengthLabel = std::make_shared<Label>(Rect(10, h - 78, w - 20, 22));
    _lengthLabel->setFont(Font::systemFont(15));
    _lengthLabel->setTextAlignment(TextAlignment::Center);
    root->addSubview(_lengthLabel);

    _hintLabel = std::make_shared<Label>(Rect(10, h - 52, w - 20, 40));
    _hintLabel->setFont(Font::systemFont(12));
    _hintLabel->setTextColor(theme::secondaryText());
    _hintLabel->setTextAlignment(TextAlignment::Center);
    _hintLabel->setNumberOfLines(0);
    _hintLabel->setText(withArguments(_("Opening %1\u2026"), {quotedName(_path)}));
    root->addSubview(_hintLabel);

    setView(root);
}

void MovieTrimViewController::viewDidLoad() {
    _worker = std::make_shared<Worker>();
    _worker->path = _path;
    _worker->owner = weak_from_this();
    _worker->stillPoints = _still->bounds().size;
    const Rect track = _strip->track();
    _worker->stripPoints = Size{track.width() / kStripStills, track.height()};
    auto worker = _worker;
    _thread.start([worker] {
        ErrorPtr error;
        // The precise opening gives the exact length and is what a copy of the stretch reads.
        auto asset = Asset::urlAsset(worker->path, true, &error);
        const bool hasPictures = asset && !asset->tracksWithMediaType(kMediaTypeVideo).empty();
        const double duration = asset ? asset->duration().seconds() : 0;
        if (!hasPictures || !(duration > 0)) {
            worker->toScreen([](MovieTrimViewController& screen) {
                screen.openFailed(withArguments(_("%1 cannot be opened as a movie."),
                                                {quotedName(screen._path)}));
            });
            return;
        }
        worker->toScreen([asset, duration](MovieTrimViewController& screen) {
            screen.movieOpened(asset, duration);
        });
        worker->stillAsset = Asset::urlAsset(worker->path, false);
        if (!worker->stillAsset)
            return;
        worker->generator = ImageGenerator::create(worker->stillAsset);
        worker->generator->setAppliesPreferredTrackTransform(true);
        // The first picture before the strip: the big still is what the eye looks at.
        ImagePtr first = movieStill(*worker->generator, 0, worker->stillPoints);
        worker->toScreen([first](MovieTrimViewController& screen) {
            if (first && !screen._still->image())
                screen._still->setImage(first);
        });
        for (int i = 0; i < kStripStills && !worker->cancelled; ++i) {
            const double at = (i + 0.5) * duration / kStripStills;
            ImagePtr still = movieStill(*worker->generator, at, worker->stripPoints);
            worker->toScreen(
                [i, still](MovieTrimViewController& screen) { screen._strip->setStill(i, still); });
        }
    });
}

void MovieTrimViewController::movieOpened(AssetPtr asset, double durationSeconds) {
    _asset = std::move(asset);
    _durationSeconds = durationSeconds;
    _range = TrimRange{0, std::min(durationSeconds, kMaximumTrimSeconds)};
    _spinner->stopAnimating();
    _useButton->setEnabled(true);
    _strip->setDuration(durationSeconds);
    showHint();
    rangeChanged(true);
}

void MovieTrimViewController::showHint() {
    if (_durationSeconds > kMaximumTrimSeconds) {
        _hintLabel->setText(_("Up to 15 minutes of a movie can be used: the first 15 are chosen."));
        _hintLabel->setTextColor(theme::accent());
    } else {
        _hintLabel->setText(_("\u2190 \u2192 move the handle, Tab switches handles, Return uses "
                              "the stretch, Esc cancels"));
    }
}

void MovieTrimViewController::openFailed(const std::string& message) {
    _spinner->stopAnimating();
    _hintLabel->setText(message);
    if (_callbacks.fail)
        _callbacks.fail(message);
}

void MovieTrimViewController::setActiveHandle(TrimHandle handle) {
    _activeHandle = handle;
    rangeChanged(true);
}

void MovieTrimViewController::moveActiveHandleTo(double seconds) {
    if (!isReady())
        return;
    _range = moveTrimHandle(_range, _activeHandle, seconds, _durationSeconds);
    rangeChanged(true);
}

void MovieTrimViewController::setRange(TrimRange range) {
    if (!isReady())
        return;
    _range = moveTrimHandle(_range, TrimHandle::Start, range.start, _durationSeconds);
    _range = moveTrimHandle(_range, TrimHandle::End, range.end, _durationSeconds);
    _range = moveTrimHandle(_range, TrimHandle::Start, range.start, _durationSeconds);
    rangeChanged(true);
}

bool MovieTrimViewController::isTrimmed() const {
    return _range.start > kUntrimmedToleranceSeconds ||
           _range.end < _durationSeconds - kUntrimmedToleranceSeconds;
}

int MovieTrimViewController::stripStillCount() const {
    return _strip ? _strip->stillCount() : 0;
}

void MovieTrimViewController::rangeChanged(bool moveStill) {
    if (!isViewLoaded())
        return;
    _strip->setRange(_range, _activeHandle);
    const bool start = _activeHandle == TrimHandle::Start;
    const double at = start ? _range.start : _range.end;
    _positionLabel->setText(withArguments(start ? _("Start %1") : _("End %1"),
                                          {formatMoviePosition(at)}));
    _lengthLabel->setText(withArguments(_("Length %1 of %2"),
                                        {formatMoviePosition(_range.length()),
                                         formatMoviePosition(_durationSeconds)}));
    if (moveStill)
        requestStill(at);
}

void MovieTrimViewController::requestStill(double seconds) {
    if (!_worker)
        return;
    {
        std::lock_guard<std::mutex> lock(_worker->mutex);
        _worker->wantedStill = seconds;
        if (_worker->stillQueued)
            return; // the queued request will take the newest position
        _worker->stillQueued = true;
    }
    auto worker = _worker;
    _thread.start([worker] {
        std::optional<double> wanted;
        {
            std::lock_guard<std::mutex> lock(worker->mutex);
            wanted = worker->wantedStill;
            worker->stillQueued = false;
        }
        if (!wanted || !worker->generator || worker->cancelled)
            return;
        // The end handle marks the end of the stretch: show the last picture inside it.
        ImagePtr still =
            movieStill(*worker->generator, std::max(0.0, *wanted - 0.001), worker->stillPoints);
        worker->toScreen([still](MovieTrimViewController& screen) {
            if (still)
                screen._still->setImage(still);
        });
    });
}

double MovieTrimViewController::keyStepSeconds() const {
    return std::clamp(_durationSeconds / 100, 0.1, 10.0);
}

void MovieTrimViewController::addKeyBindings(KeyTable& table) {
    using Key = KeyEvent::Key;
    table.add({KeyChord::special(Key::Return)}, _("Use the chosen part"), [this] { onUse(); });
    table.add({KeyChord::special(Key::Escape)}, _("Cancel"), [this] { onCancel(); });
    table.add({KeyChord::special(Key::Tab)}, _("Switch between the start and end handles"), [this] {
        if (isReady())
            setActiveHandle(_activeHandle == TrimHandle::Start ? TrimHandle::End
                                                               : TrimHandle::Start);
    });
    table.add({KeyChord::special(Key::Left)}, _("Move the handle back"),
              [this] { stepActiveHandle(-1); });
    table.add({KeyChord::special(Key::Right)}, _("Move the handle forward"),
              [this] { stepActiveHandle(1); });
    table.add({KeyChord::special(Key::Left, false, true)}, _("Move the handle back ten steps"),
              [this] { stepActiveHandle(-10); });
    table.add({KeyChord::special(Key::Right, false, true)}, _("Move the handle forward ten steps"),
              [this] { stepActiveHandle(10); });
    table.add({KeyChord::special(Key::Home)}, _("Move the handle to the start"),
              [this] { moveActiveHandleTo(0); });
    table.add({KeyChord::special(Key::End)}, _("Move the handle to the end"),
              [this] { moveActiveHandleTo(_durationSeconds); });
}

void MovieTrimViewController::stepActiveHandle(int steps) {
    const double at = _activeHandle == TrimHandle::Start ? _range.start : _range.end;
    moveActiveHandleTo(at + keyStepSeconds() * steps);
}

void MovieTrimViewController::onUse() {
    if (!isReady() || !_callbacks.use)
        return;
    // The stretch goes to the renderer with the file itself: it reads only that stretch, so the
    // movie is encoded once, from the original.
    if (!isTrimmed()) {
        _callbacks.use(_path, TimeRange{MediaTime::invalid(), MediaTime::invalid()});
        return;
    }
    _callbacks.use(_path, TimeRange::make(MediaTime::makeWithSeconds(_range.start, kTrimTimescale),
                                          MediaTime::makeWithSeconds(_range.length(), kTrimTimescale)));
}

void MovieTrimViewController::onCancel() {
    if (_callbacks.cancel)
        _callbacks.cancel();
}

} // namespace tx
