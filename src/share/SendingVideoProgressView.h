// The full-window "sending" overlay shown while a movie is being uploaded: a dimmed picture with
// a 152-point bar that fills from the left.
#pragma once

#include "platform/foundation/Translation.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/View.h"

#include <memory>

namespace tx {

class SendingVideoProgressView : public View {
public:
    static constexpr double kBarWidth = 152;

    SendingVideoProgressView() = default;

    // Builds the overlay over the whole key window and fades it in (0.5 s).
    void show();
    // Fades out (0.2 s) and leaves the window.
    void hide();

    // 0 to 1: the fill bar's width is progress × 152 points.
    void setProgress(float progress);
    float progress() const;

    const std::shared_ptr<ImageView>& progressViewBg() const { return _progressViewBg; }
    const std::shared_ptr<ImageView>& progressViewLoading() const { return _progressViewLoading; }

    // Takes every touch while shown.
    View* hitTest(Point point) override;

    // Read as a progress bar over everything.
    AccessibleRole accessibilityRole() const override { return AccessibleRole::ProgressBar; }
    std::string accessibilityLabel() const override { return _("Sending the movie"); }
    std::optional<AccessibleValue> accessibilityValue() const override {
        return AccessibleValue{progress(), 0, 1, 0};
    }
    bool accessibilityIsModal() const override { return true; }

private:
    std::shared_ptr<ImageView> _progressViewBg;
    std::shared_ptr<ImageView> _progressViewLoading;
    int _announcedPercent = -1;
};

} // namespace tx
