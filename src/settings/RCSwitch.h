// An on/off switch drawn entirely from pictures: a track whose on look shows left of a sliding
// knob and whose off look shows right of it. A touch that does not carry the knob across the
// middle flips the switch; a drag across the middle settles where the knob is let go. Changes
// ease into place, one redraw per turn of the run loop.
#pragma once

#include "platform/ui/Control.h"
#include "platform/ui/Image.h"
#include "platform/ui/Label.h"

#include <optional>

namespace tx {

class RCSwitch : public Control {
public:
    // A switch made in code starts off; one laid out with its screen starts on (`startsOn`).
    explicit RCSwitch(const Rect& frame = {}, bool startsOn = false);

    bool isOn() const { return _percent > 0.5; }
    // Space or Return on the focused switch flips it like a tap.
    void pressFromKeyboard() override { setOn(!isOn(), true); }
    void setOn(bool on) { setOn(on, false); }
    // Animated, only a change of side moves the knob and sends value-changed and
    // touch-up-inside; without animation the knob jumps and value-changed is always sent.
    virtual void setOn(bool on, bool animated);

    double knobWidth() const { return _knobWidth; }
    virtual void setKnobWidth(double width);
    double endcapWidth() const { return _endcapWidth; }
    double percent() const { return _percent; }
    double animationDuration() const { return _animationDuration; }
    // When the running move ends, on the animation clock; nothing when no move runs.
    std::optional<double> endDate() const { return _endDate; }
    bool mustFlip() const { return _mustFlip; }

    // Where the knob is drawn now, 0 to 1: snapped to an end within 3 points of it, and eased
    // while a move runs.
    double presentationPercent() const;

    // Moves the knob to 0 or 1 with the easing, then sends value-changed and touch-up-inside.
    virtual void performSwitchToPercent(double target);

    void drawRect(const Rect& rect) override;
    // Read as a check box, checked when on; toggled or pressed, it flips as a tap does.
    AccessibleRole accessibilityRole() const override { return AccessibleRole::CheckBox; }
    AccessibleStates accessibilityStates() const override;
    std::vector<AccessibleAction> accessibilityActions() const override {
        return {AccessibleAction::Toggle, AccessibleAction::Press};
    }
    bool performAccessibilityAction(AccessibleAction action) override;
    bool beginTrackingWithTouch(const Touch& touch) override;
    bool continueTrackingWithTouch(const Touch& touch) override;
    void endTrackingWithTouch(const Touch* touch) override;
    void cancelTracking() override;

protected:
    // Renders the pictures that depend on the bounds (on track, end caps) at the current size.
    virtual void regenerateImages();
    // The captions under the knob; `offset` is the knob's travel so far, `trackWidth` its whole
    // travel. The base draws nothing.
    virtual void drawUnderlayersInRect(const Rect& rect, double offset, double trackWidth);
    virtual void finishEvent();

    double scale() const { return _scale; }

private:
    void initCommon();
    double travel() const { return bounds().width() - _knobWidth; }

    ImagePtr _knobImage;
    ImagePtr _knobImagePressed;
    ImagePtr _sliderOff;
    ImagePtr _sliderOn;
    ImagePtr _buttonEndTrack;
    ImagePtr _buttonEndTrackPressed;
    double _percent = 0;
    double _oldPercent = 0;
    double _knobWidth = 0;
    double _endcapWidth = 0;
    double _scale = 1;
    double _animationDuration = 0.25;
    Size _lastBoundsSize;
    std::optional<double> _endDate;
    bool _mustFlip = false;
};

// The quality switch of the settings panel: its captions are pictures, or the toolkit's own
// "ON" and "OFF" words for a user whose first language is Japanese.
class RCSwitchClone : public RCSwitch {
public:
    explicit RCSwitchClone(const Rect& frame = {}, bool startsOn = false);

    bool useImage() const { return _useImage; }
    const std::shared_ptr<Label>& onText() const { return _onText; }
    const std::shared_ptr<Label>& offText() const { return _offText; }

protected:
    void drawUnderlayersInRect(const Rect& rect, double offset, double trackWidth) override;

private:
    std::shared_ptr<Label> _onText;
    std::shared_ptr<Label> _offText;
    ImagePtr _onImage;
    ImagePtr _offImage;
    bool _useImage = true;
};

// A switch with "ON" and "OFF" captions in the application's own words.
class RCSwitchOnOff : public RCSwitch {
public:
    explicit RCSwitchOnOff(const Rect& frame = {}, bool startsOn = false);

    const std::shared_ptr<Label>& onText() const { return _onText; }
    const std::shared_ptr<Label>& offText() const { return _offText; }

protected:
    void drawUnderlayersInRect(const Rect& rect, double offset, double trackWidth) override;

private:
    std::shared_ptr<Label> _onText;
    std::shared_ptr<Label> _offText;
};

} // namespace tx
