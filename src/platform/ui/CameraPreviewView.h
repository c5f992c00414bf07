// Draws the camera's live picture. The view asks its source a few dozen times a second whether a
// new picture has come; only then does it fetch (and so convert) that picture, once, and redraw.
// Redraws for other reasons reuse the picture it holds.
#pragma once

#include "platform/foundation/Timer.h"
#include "platform/ui/View.h"

#include <QImage>

#include <cstdint>
#include <functional>

namespace tx {

class CameraPreviewView : public View {
public:
    struct Source {
        // Grows with every new camera picture; 0 before the first.
        std::function<std::uint64_t()> serial;
        // The newest picture ready to draw at the given pixel size (the part that shows, already
        // scaled), or at any size to be fitted here; called only when the serial has changed.
        std::function<QImage(int pixelWidth, int pixelHeight)> picture;
    };

    // How often the view looks for a new picture (above the cameras' 30 pictures a second).
    static constexpr double kPollSeconds = 1.0 / 60;

    explicit CameraPreviewView(const Rect& frame = {});
    ~CameraPreviewView() override;

    // Replaces the source and forgets the picture of the old one.
    void setSource(Source source);
    // A still picture instead of a live source (the screenshot tour).
    void setStillPicture(const QImage& picture);

    // Takes the newest picture when there is one; true when the view will redraw.
    bool poll();
    // How many pictures the view has fetched from its source.
    std::uint64_t fetchCount() const { return _fetchCount; }
    ImagePtr currentImage() const { return _image; }

    void drawRect(const Rect& rect) override;
    // A moving picture; its screen names it.
    AccessibleRole accessibilityRole() const override;

protected:
    void didMoveToWindow() override;

private:
    void updateTimer();

    Source _source;
    ImagePtr _image;
    std::uint64_t _shownSerial = 0;
    std::uint64_t _fetchCount = 0;
    TimerPtr _pollTimer;
};

} // namespace tx
