#include "RCSwitch.h"

#include "Localization.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/Screen.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tx {

namespace {

constexpr double kDefaultKnobWidth = 44;
constexpr double kEndcapInset = 8;
// Within this many points of an end the knob is drawn at the end, with the end cap.
constexpr double kSnapPoints = 3;
constexpr double kCaptionInset = 4;
constexpr double kStretchLeftCap = 12;

ImagePtr stretchable(const std::string& name) {
    ImagePtr image = Image::imageNamed(name);
    return image ? image->stretchableImage(kStretchLeftCap, 0) : nullptr;
}

// A stretchable picture drawn once into a fixed bitmap of `width` × its own height (or `height`).
ImagePtr prerender(const std::string& name, double width, double height, double scale) {
    ImagePtr source = stretchable(name);
    if (!source || width <= 0)
        return nullptr;
    const double h = height > 0 ? height : source->size().height;
    ImageContext context(Size{width, h}, false, scale);
    source->drawInRect(Rect(0, 0, width, h));
    return context.image();
}

// A label's text drawn within `rect` of the control, as the label itself would draw it.
void drawCaption(Label& label, const Rect& rect) {
    GraphicsContext* context = GraphicsContext::current();
    if (!context)
        return;
    label.setBounds(Rect(0, 0, rect.width(), rect.height()));
    context->saveState();
    context->translate(rect.minX(), rect.minY());
    label.drawRect(label.bounds());
    context->restoreState();
}

// The on caption left of the knob, the off caption right of it.
void drawLabelCaptions(Label& on, Label& off, const Rect& bounds, double offset,
                       double trackWidth) {
    drawCaption(on, bounds.offsetBy(offset - trackWidth + 14, 0));
    drawCaption(off, bounds.offsetBy(offset + trackWidth, 0));
}

std::shared_ptr<Label> caption(const std::string& text, const Color& color, bool shadow) {
    auto label = std::make_shared<Label>();
    label->setText(text);
    label->setTextColor(color);
    label->setFont(Font::boldSystemFont(17));
    label->setBackgroundColor(Color::clear());
    if (shadow)
        label->setShadowColor(Color::white(0.175, 1));
    return label;
}

} // namespace

RCSwitch::RCSwitch(const Rect& frame, bool startsOn) : Control(frame) {
    initCommon();
    if (startsOn)
        _percent = 1.0;
}

void RCSwitch::initCommon() {
    _animationDuration = 0.25;
    setContentMode(ContentMode::Redraw);
    setKnobWidth(kDefaultKnobWidth);
    regenerateImages();
    _sliderOff = stretchable("btn_slider_off.png");
    _scale = Screen::mainScreen().scale() > 0 ? Screen::mainScreen().scale() : 1.0;
    setOpaque(false);
}

void RCSwitch::setKnobWidth(double width) {
    _knobWidth = std::round(width);
    _endcapWidth = std::round(_knobWidth - kEndcapInset);
    const double scale = Screen::mainScreen().scale();
    _knobImage = prerender("btn_slider_thumb.png", _knobWidth, 0, scale);
    _knobImagePressed = prerender("btn_slider_thumb_pressed.png", _knobWidth, 0, scale);
}

namespace {

// The end caps show the knob resting against either end under the track's edge, so that a
// knob at rest, cut at the end cap, joins up with it.
ImagePtr prerenderEndCaps(const std::string& name, const ImagePtr& knob, Size size, double scale) {
    ImagePtr source = stretchable(name);
    if (!source || size.width <= 0 || size.height <= 0)
        return nullptr;
    ImageContext context(size, false, scale);
    if (knob) {
        const double travel = size.width - knob->size().width;
        knob->drawInRect(Rect(-1, 0, knob->size().width, knob->size().height));
        knob->drawInRect(Rect(travel + 1, 0, knob->size().width, knob->size().height));
    }
    source->drawInRect(Rect(0, 0, size.width, size.height));
    return context.image();
}

} // namespace

void RCSwitch::regenerateImages() {
    const Size size = bounds().size;
    const double scale = Screen::mainScreen().scale();
    _sliderOn = prerender("btn_slider_on.png", size.width, 0, scale);
    _buttonEndTrack = prerenderEndCaps("btn_slider_track.png", _knobImage, size, scale);
    _buttonEndTrackPressed =
        prerenderEndCaps("btn_slider_track_pressed.png", _knobImagePressed, size, scale);
}

double RCSwitch::presentationPercent() const {
    const double t = travel();
    double p = _percent;
    if (p * t < kSnapPoints)
        p = 0;
    if (p * t > t - kSnapPoints)
        p = 1;
    if (_endDate) {
        const double remaining = *_endDate - View::animationTime();
        if (remaining >= 0) {
            const double eased = std::cos(remaining / _animationDuration * std::numbers::pi / 2);
            p = _percent == 1 ? eased : 1 - eased;
        }
    }
    return p;
}

void RCSwitch::drawRect(const Rect&) {
    const Rect b = bounds();
    if (b.size.width != _lastBoundsSize.width || b.size.height != _lastBoundsSize.height) {
        regenerateImages();
        _lastBoundsSize = b.size;
    }
    const double p = presentationPercent();
    if (_endDate) {
        if (*_endDate - View::animationTime() < 0)
            _endDate.reset();
        else
            setNeedsDisplay(); // the next frame of the move
    }
    GraphicsContext* context = GraphicsContext::current();
    if (!context)
        return;
    const double x = b.minX();
    const double y = b.minY();
    const double w = b.width();
    const double h = b.height();
    const double k = _knobWidth;
    const double t = w - k;
    const bool pressed = isHighlighted();

    context->saveState();
    if (p == 0)
        context->clipToRect(Rect(x + _endcapWidth, y, w - _endcapWidth, h));
    else if (p == 1)
        context->clipToRect(Rect(x, y, w - _endcapWidth, h));
    if (_sliderOff)
        _sliderOff->drawInRect(Rect(x, y, w, _sliderOff->size().height));
    if (p > 0 && _sliderOn) {
        const double onWidth = std::min(p * (t + kSnapPoints) + kSnapPoints, w);
        const double onHeight = _sliderOn->size().height;
        context->drawImagePart(*_sliderOn, Rect(0, 0, onWidth, onHeight),
                               Rect(x, y, onWidth, onHeight));
    }
    context->saveState();
    context->clipToRect(b.insetBy(kCaptionInset, kCaptionInset));
    drawUnderlayersInRect(b, p * t, t);
    context->restoreState();
    if (const ImagePtr& knob = pressed ? _knobImagePressed : _knobImage)
        knob->drawInRect(Rect(x - 1 + std::round(p * (t + 2)), y, k, knob->size().height));
    context->restoreState();

    if (p == 0 || p == 1) {
        const ImagePtr& cap = pressed ? _buttonEndTrackPressed : _buttonEndTrack;
        if (cap) {
            const double capHeight = cap->size().height;
            if (p == 0) {
                const double c = std::floor(_endcapWidth);
                context->drawImagePart(*cap, Rect(0, 0, c, capHeight), Rect(x, y, c, capHeight));
            } else {
                const double c = std::ceil(_endcapWidth);
                context->drawImagePart(*cap, Rect(w - c, 0, c, capHeight),
                                       Rect(x + w - c, y, c, capHeight));
            }
        }
    }
}

void RCSwitch::drawUnderlayersInRect(const Rect&, double, double) {}

bool RCSwitch::beginTrackingWithTouch(const Touch&) {
    setHighlighted(true);
    _oldPercent = _percent;
    _endDate.reset();
    _mustFlip = true;
    setNeedsDisplay();
    sendActionsForControlEvents(ControlEventTouchDown);
    return true;
}

bool RCSwitch::continueTrackingWithTouch(const Touch& touch) {
    const double t = travel();
    const double x = touch.locationInView(this).x;
    _percent = t > 0 ? std::clamp((x - _knobWidth / 2) / t, 0.0, 1.0) : 0.0;
    if ((_oldPercent < 0.25 && _percent > 0.5) || (_oldPercent > 0.75 && _percent < 0.5))
        _mustFlip = false;
    setNeedsDisplay();
    sendActionsForControlEvents(ControlEventTouchDragInside);
    return true;
}

void RCSwitch::endTrackingWithTouch(const Touch*) {
    finishEvent();
}

void RCSwitch::cancelTracking() {
    finishEvent();
}

void RCSwitch::finishEvent() {
    setHighlighted(false);
    _endDate.reset();
    double target = std::round(1 - _oldPercent);
    if (!_mustFlip) {
        if (_oldPercent < 0.25)
            target = _percent > 0.5 ? 1 : 0;
        else if (_oldPercent > 0.75)
            target = _percent < 0.5 ? 0 : 1;
    }
    performSwitchToPercent(target);
}

void RCSwitch::performSwitchToPercent(double target) {
    _endDate = View::animationTime() + _animationDuration * std::abs(_percent - target);
    _percent = target;
    setNeedsDisplay();
    sendActionsForControlEvents(ControlEventValueChanged);
    sendActionsForControlEvents(ControlEventTouchUpInside);
}

AccessibleStates RCSwitch::accessibilityStates() const {
    AccessibleStates states = Control::accessibilityStates() | AccessibleStateCheckable;
    return isOn() ? states | AccessibleStateChecked : states;
}

bool RCSwitch::performAccessibilityAction(AccessibleAction action) {
    if (action != AccessibleAction::Toggle && action != AccessibleAction::Press)
        return false;
    if (!isEnabled())
        return false;
    setOn(!isOn(), true);
    return true;
}

void RCSwitch::setOn(bool on, bool animated) {
    const double target = on ? 1 : 0;
    if (animated) {
        if ((_percent < 0.5 && on) || (_percent > 0.5 && !on))
            performSwitchToPercent(target);
        return;
    }
    _percent = target;
    setNeedsDisplay();
    sendActionsForControlEvents(ControlEventValueChanged);
}

RCSwitchClone::RCSwitchClone(const Rect& frame, bool startsOn) : RCSwitch(frame, startsOn) {
    _useImage = preferredLanguages().front() != "ja";
    if (_useImage) {
        _onImage = Image::imageNamed("btn_slider_international_on");
        _offImage = Image::imageNamed("btn_slider_international_off");
    } else {
        _onText = caption(platformLocalizedString("ON"), Color::whiteColor(), true);
        _offText = caption(platformLocalizedString("OFF"), Color::gray(), false);
    }
}

void RCSwitchClone::drawUnderlayersInRect(const Rect&, double offset, double trackWidth) {
    const Rect b = bounds();
    const double onX = b.minX() + offset - trackWidth + 14;
    const double offX = b.minX() + offset + trackWidth;
    if (_useImage) {
        if (_onImage)
            _onImage->drawAtPoint(Point{onX, b.minY()});
        if (_offImage)
            _offImage->drawAtPoint(Point{offX - 30, b.minY()});
        return;
    }
    drawLabelCaptions(*_onText, *_offText, b, offset, trackWidth);
}

RCSwitchOnOff::RCSwitchOnOff(const Rect& frame, bool startsOn) : RCSwitch(frame, startsOn) {
    _onText = caption(localizedString(N_("ON")), Color::whiteColor(), true);
    _offText = caption(localizedString(N_("OFF")), Color::gray(), false);
}

void RCSwitchOnOff::drawUnderlayersInRect(const Rect&, double offset, double trackWidth) {
    drawLabelCaptions(*_onText, *_offText, bounds(), offset, trackWidth);
}

} // namespace tx
