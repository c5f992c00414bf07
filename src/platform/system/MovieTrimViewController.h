// The trim screen of the movie picker: a strip of stills with two handles that choose the
// stretch to use, the still at the handle being moved, and the stretch's length. "Use" hands on
// the original file, with the stretch chosen when something was cut off; the file itself is
// never changed or copied.
#pragma once

#include "platform/media/Asset.h"
#include "platform/system/SerialWorker.h"
#include "platform/ui/ViewController.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tx {

class ImageView;
class Label;
class Button;
class ActivityIndicator;
class TrimStripView;

// The stretch a trim screen allows: at least kMinimumTrimSeconds (or the whole movie when it is
// shorter) and at most kMaximumTrimSeconds.
constexpr double kMinimumTrimSeconds = 0.5;
constexpr double kMaximumTrimSeconds = 15 * 60;
// Stretch times handed on are kept to this fraction of a second.
constexpr std::int32_t kTrimTimescale = 600000;

struct TrimRange {
    double start = 0;
    double end = 0;
    double length() const { return end - start; }
};

enum class TrimHandle { Start = 0, End = 1 };

// Moves one handle of `range` to `seconds`, keeping both inside the movie and the stretch
// between the shortest and the longest allowed; the other handle stays where it is.
TrimRange moveTrimHandle(TrimRange range, TrimHandle handle, double seconds,
                         double durationSeconds);

class MovieTrimViewController : public ViewController {
public:
    struct Callbacks {
        // The movie to use and the stretch of it chosen, in the movie's own times; an invalid
        // range when the whole movie is used.
        std::function<void(const std::string& path, const TimeRange& stretch)> use;
        std::function<void()> cancel;
        // The file cannot be read as a movie: what to say.
        std::function<void(const std::string& message)> fail;
    };

    explicit MovieTrimViewController(std::string path);
    ~MovieTrimViewController() override;

    void setCallbacks(Callbacks callbacks) { _callbacks = std::move(callbacks); }
    const std::string& moviePath() const { return _path; }

    void loadView() override;
    void viewDidLoad() override;
    // Left/Right move the active handle (Shift: ten times as far; Home/End: as far as it goes),
    // Tab switches handles, Return uses the stretch, Esc cancels.
    void addKeyBindings(KeyTable& table) override;
    // Moves the active handle by whole key steps (negative: back).
    void stepActiveHandle(int steps);

    // Whether the movie has been opened and its length is known.
    bool isReady() const { return _asset != nullptr; }
    double durationSeconds() const { return _durationSeconds; }
    TrimRange range() const { return _range; }
    TrimHandle activeHandle() const { return _activeHandle; }
    void setActiveHandle(TrimHandle handle);
    void moveActiveHandleTo(double seconds);
    void setRange(TrimRange range);
    bool isTrimmed() const;
    // Strip stills received so far (for tests and the tour).
    int stripStillCount() const;

    void onUse();
    void onCancel();

private:
    struct Worker;
    void movieOpened(AssetPtr asset, double durationSeconds);
    void openFailed(const std::string& message);
    void rangeChanged(bool moveStill);
    void requestStill(double seconds);
    void showHint();
    double keyStepSeconds() const;

    std::string _path;
    Callbacks _callbacks;
    AssetPtr _asset;
    double _durationSeconds = 0;
    TrimRange _range;
    TrimHandle _activeHandle = TrimHandle::Start;

    std::shared_ptr<ImageView> _still;
    std::shared_ptr<Label> _positionLabel;
    std::shared_ptr<Label> _lengthLabel;
    std::shared_ptr<Label> _hintLabel;
    std::shared_ptr<Button> _useButton;
    std::shared_ptr<ActivityIndicator> _spinner;
    std::shared_ptr<TrimStripView> _strip;

    // Stills are made on a thread of their own from a second opening of the movie.
    std::shared_ptr<Worker> _worker;
    SerialWorker _thread;
};

} // namespace tx
