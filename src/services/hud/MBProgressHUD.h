// The progress overlay with a text label shown over a whole view while a service call runs
// ("Uploading..."): a dark rounded box with a spinner and the label, which takes all touches.
#pragma once

#include "platform/foundation/Translation.h"
#include "platform/ui/ActivityIndicator.h"
#include "platform/ui/Label.h"
#include "platform/ui/View.h"

#include <memory>
#include <string>

namespace tx {

class MBProgressHUD : public View {
public:
    static constexpr double kFadeSeconds = 0.3;

    explicit MBProgressHUD(const Rect& frame);

    // Adds a new overlay covering `view` and shows it (fading in when animated).
    static std::shared_ptr<MBProgressHUD> showHUDAddedTo(View& view, bool animated);
    // Hides and removes the topmost overlay on `view`; false when there is none.
    static bool hideHUDForView(View& view, bool animated);
    static std::shared_ptr<MBProgressHUD> HUDForView(View& view);

    const std::string& labelText() const { return _label->text(); }
    void setLabelText(const std::string& text);
    // Moves the box up (negative) or down from the middle of the covered view, off what the
    // user should still see.
    void setYOffset(double points);
    // Where the box is drawn, in the overlay's coordinates.
    Rect boxFrame() const;
    void hide(bool animated);

    // Read as a busy progress bar named by its words, over the view it covers.
    AccessibleRole accessibilityRole() const override { return AccessibleRole::ProgressBar; }
    std::string accessibilityLabel() const override {
        return labelText().empty() ? _("Working") : labelText();
    }
    AccessibleStates accessibilityStates() const override { return AccessibleStateBusy; }
    bool accessibilityIsModal() const override { return true; }

    void layoutSubviews() override;
    void drawRect(const Rect& rect) override;

private:
    std::shared_ptr<ActivityIndicator> _spinner;
    std::shared_ptr<Label> _label;
    bool _hiding = false;
    double _yOffset = 0;
};

} // namespace tx
