#include "platform/foundation/Translation.h"
#include "SettingViewController.h"

#include "SoundTrackViewController.h"
#include "app/AppConfigureInfo.h"
#include "app/CustomEffectSound.h"
#include "app/TaluvexAppDelegate.h"
#include "platform/ui/KeyTable.h"
#include "capture/AVCaptureMgr.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/media/capture/CaptureSession.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Screen.h"

#include <cmath>

namespace tx {

namespace {

constexpr double kPanelWidth = 320;
constexpr double kStripWidth = 38;
// The card is centred in the screen less the main screen's bottom bar.
constexpr double kBottomBarHeight = 54;
constexpr double kCardWidth = 264;
constexpr double kCardHeight = 260;
constexpr double kNaviDelaySeconds = 0.1;

void playEffect(const std::string& name) {
    CustomEffectSound::share()->playEffectSound(name);
}

std::shared_ptr<Label> makeLabel(const Rect& frame, double size, TextAlignment alignment) {
    auto label = std::make_shared<Label>(frame);
    label->setFont(Font::boldSystemFont(size));
    label->setTextColor(Color::whiteColor());
    label->setTextAlignment(alignment);
    label->setBackgroundColor(Color::clear());
    // Taps on a label count as taps on the card.
    label->setUserInteractionEnabled(false);
    return label;
}

std::shared_ptr<Button> makeButton(const Rect& frame, const std::string& picture,
                                   const std::string& pressedPicture) {
    auto button = std::make_shared<Button>(frame);
    button->setImage(Image::imageNamed(picture), ControlStateNormal);
    button->setImage(Image::imageNamed(pressedPicture), ControlStateHighlighted);
    return button;
}

} // namespace

SettingViewController::~SettingViewController() {
    NotificationCenter::defaultCenter().removeObserver(this);
}

void SettingViewController::loadView() {
    const double h = Screen::mainScreen().bounds().height();
    auto panel = std::make_shared<View>(Rect(kClosedX, 0, kPanelWidth, h));
    panel->setBackgroundColor(Color::clear());

    _showHideButton =
        makeButton(Rect(0, std::trunc((h - kBottomBarHeight) * 0.5) - 50, kStripWidth, 100),
                   "setting_handle_76_200", "setting_handle_P_76_200");
    _showHideButton->addTarget(this, ControlEventTouchUpInside,
                               [this](Control&) { onShowHideButton(); });
    _showHideButton->setAccessibilityLabel(_("Settings"));
    panel->addSubview(_showHideButton);

    _settingPopUpView = std::make_shared<View>(Rect(
        kStripWidth + (kPanelWidth - kStripWidth - kCardWidth) / 2, 0, kCardWidth, kCardHeight));
    auto card = std::make_shared<ImageView>(Rect(0, 0, kCardWidth, kCardHeight));
    card->setImage(Image::imageNamed("setting_card_528_520"));
    card->setUserInteractionEnabled(false);
    _settingPopUpView->addSubview(card);

    _speedDown = makeButton(Rect(24, 70, 44, 44), "speed_dn_btn_88_88", "speed_dn_btn_P_88_88");
    _speedDown->addTarget(this, ControlEventTouchUpInside, [this](Control&) { onSpeedDn(); });
    _speedUp = makeButton(Rect(kCardWidth - 24 - 44, 70, 44, 44), "speed_up_btn_88_88",
                          "speed_up_btn_P_88_88");
    _speedUp->addTarget(this, ControlEventTouchUpInside, [this](Control&) { onSpeedUp(); });
    _speedDown->setAccessibilityLabel(_("Slower"));
    _speedUp->setAccessibilityLabel(_("Faster"));
    _labelSpeed = makeLabel(Rect(72, 70, kCardWidth - 144, 44), 24, TextAlignment::Center);
    // The speed reads as one adjustable value between its two buttons.
    AccessibilityOverrides& speed = _labelSpeed->accessibility();
    speed.role = AccessibleRole::SpinBox;
    speed.label = "Speed";
    speed.value = [] {
        // What the label shows: a speed the panel does not offer reads as x 1.0.
        int percent = AppConfigureInfo::shareAppConfigureInfo()->videoSpeed();
        if (percent != 70 && percent != 130)
            percent = 100;
        return std::optional<AccessibleValue>(AccessibleValue{percent / 100.0, 0.7, 1.3, 0.3});
    };
    speed.actions = {AccessibleAction::Increase, AccessibleAction::Decrease};
    speed.perform = [this](AccessibleAction action) {
        stepSpeed(action == AccessibleAction::Increase);
        return true;
    };
    _settingPopUpView->addSubview(_speedDown);
    _settingPopUpView->addSubview(_labelSpeed);
    _settingPopUpView->addSubview(_speedUp);

    _qualitySwitch = std::make_shared<RCSwitchClone>(Rect(kCardWidth - 20 - 94, 114, 94, 27));
    // Every tap and drag of the switch ends with touch-up-inside, after its value changed.
    _qualitySwitch->addTarget(this, ControlEventTouchUpInside, [this](Control& sender) {
        onQuality(static_cast<RCSwitch&>(sender));
    });
    _qualitySwitch->setAccessibilityLabel(_("High quality"));
    _settingPopUpView->addSubview(_qualitySwitch);

    _labelSound = makeLabel(Rect(96, 172, kCardWidth - 116, 24), 15, TextAlignment::Right);
    _settingPopUpView->addSubview(_labelSound);
    _soundTrackButton = makeButton(Rect((kCardWidth - 200) / 2, 206, 200, 40),
                                   "sound_track_btn_400_80", "sound_track_btn_P_400_80");
    _soundTrackButton->addTarget(this, ControlEventTouchUpInside,
                                 [this](Control&) { onSoundTrack(); });
    _soundTrackButton->setAccessibilityLabel(_("Choose a sound"));
    _settingPopUpView->addSubview(_soundTrackButton);
    panel->addSubview(_settingPopUpView);
    setView(panel);
}

void SettingViewController::viewDidLoad() {
    NotificationCenter::defaultCenter().addObserver(this, kSoundSelected,
                                                    [this](const Notification&) { updateSound(); });
    updateQuality();
    updateSpeed();
    updateSound();
    _screenFrame = Screen::mainScreen().bounds();
    const double h = _screenFrame.height();
    view()->setFrame(Rect(kClosedX, 0, kPanelWidth, h));
    Rect card = _settingPopUpView->frame();
    card.origin.y = std::trunc((h - kBottomBarHeight) * 0.5) - std::trunc(card.height() * 0.5);
    _settingPopUpView->setFrame(card);
}

void SettingViewController::viewDidUnload() {
    NotificationCenter::defaultCenter().removeObserver(this, kSoundSelected);
}

void SettingViewController::enable(bool enabled) {
    _enabled = enabled;
    if (_showHideButton)
        _showHideButton->setEnabled(enabled);
    view()->setAlpha(enabled ? 1.0 : 0.0);
}

bool SettingViewController::isOpen() const {
    return isViewLoaded() &&
           const_cast<SettingViewController*>(this)->view()->frame().minX() != kClosedX;
}

void SettingViewController::onShowHideButton() {
    ViewPtr panel = view();
    // Shared by the slide's start and its end, one per toggle.
    auto wasClosed = std::make_shared<bool>(panel->frame().minX() == kClosedX);
    View::animate(
        kSlideSeconds, 0, AnimationCurve::EaseInOut,
        [panel, wasClosed] {
            RunLoop::postAfter(kNaviDelaySeconds, [] { playEffect(kSoundEffect_Navi); });
            Rect frame = panel->frame();
            if (*wasClosed) {
                frame.origin.x -= kClosedX;
                panel->setFrame(frame);
                NotificationCenter::defaultCenter().post(kSettingWillAppear);
            } else {
                frame.origin.x += kClosedX;
                panel->setFrame(frame);
                NotificationCenter::defaultCenter().post(kSettingWillDisappear);
            }
            *wasClosed = !*wasClosed;
        },
        [wasClosed](bool) {
            NotificationCenter::defaultCenter().post(*wasClosed ? kSettingDidDisappear
                                                                : kSettingDidAppear);
        });
}

int SettingViewController::nextSpeed(int speedPercent, bool up) {
    switch (speedPercent) {
    case 70:
        return up ? 100 : 70;
    case 100:
        return up ? 130 : 70;
    case 130:
        return up ? 130 : 100;
    default:
        return 100;
    }
}

std::string SettingViewController::speedText(int speedPercent) {
    if (speedPercent == 70)
        return "x 0.7";
    if (speedPercent == 130)
        return "x 1.3";
    return "x 1.0";
}

void SettingViewController::onSpeedDn() {
    stepSpeed(false);
}

void SettingViewController::onSpeedUp() {
    stepSpeed(true);
}

void SettingViewController::stepSpeed(bool up) {
    RunLoop::post([] { playEffect(kSoundEffect_BtnClick); });
    auto info = AppConfigureInfo::shareAppConfigureInfo();
    // Saved also when the speed stays (at either end).
    info->setVideoSpeed(nextSpeed(info->videoSpeed(), up));
    info->save();
    updateSpeed();
}

void SettingViewController::onQuality(RCSwitch& sender) {
    const bool high = sender.isOn();
    if (TaluvexAppDelegate* app = TaluvexAppDelegate::sharedDelegate())
        if (MainScreen* main = app->viewController())
            if (auto capture = main->avCaptureMgr())
                capture->setPreset(high ? kCaptureSessionPreset640x480
                                        : kCaptureSessionPresetMedium);
    auto info = AppConfigureInfo::shareAppConfigureInfo();
    info->setQuality(high ? 0 : 1);
    info->save();
}

void SettingViewController::onSoundTrack() {
    playEffect(kSoundEffect_BtnClick);
    auto picker = std::make_shared<SoundTrackViewController>();
    TaluvexAppDelegate* app = TaluvexAppDelegate::sharedDelegate();
    MainScreen* main = app ? app->viewController() : nullptr;
    if (main)
        main->mainViewController().presentViewController(picker, true);
    else
        presentViewController(picker, true);
}

void SettingViewController::updateSpeed() {
    _labelSpeed->setText(speedText(AppConfigureInfo::shareAppConfigureInfo()->videoSpeed()));
    accessibilityChanged(*_labelSpeed, AccessibleChange::Value);
}

void SettingViewController::updateQuality() {
    _qualitySwitch->setOn(AppConfigureInfo::shareAppConfigureInfo()->quality() == 0);
}

void SettingViewController::updateSound() {
    TaluvexAppDelegate* app = TaluvexAppDelegate::sharedDelegate();
    _labelSound->setText(app ? app->audioTitle() : std::string());
}

void SettingViewController::touchesBegan(const TouchSet& touches) {
    if (!_enabled || touches.empty() || !isViewLoaded()) {
        ViewController::touchesBegan(touches);
        return;
    }
    View* hit = touches.front()->view();
    const View* card = _settingPopUpView.get();
    if (hit && (hit == card || hit->isDescendantOf(card)))
        return;
    onShowHideButton();
}

void SettingViewController::addKeyBindings(KeyTable& table) {
    if (!_enabled || !isViewLoaded())
        return;
    using Key = KeyEvent::Key;
    const bool open = isOpen();
    table.press({KeyChord::character(",")},
                open ? _("Close the settings panel") : _("Open the settings panel"),
                _showHideButton.get(), [this] { onShowHideButton(); });
    if (!open)
        return;
    table.press({KeyChord::special(Key::Escape)}, _("Close the settings panel"),
                _showHideButton.get(), [this] { onShowHideButton(); });
    table.press({KeyChord::special(Key::Left)}, _("Slower"), _speedDown.get(),
                [this] { onSpeedDn(); });
    table.press({KeyChord::special(Key::Right)}, _("Faster"), _speedUp.get(),
                [this] { onSpeedUp(); });
    table.press({KeyChord::character("q")}, _("Switch between high and low quality"),
                _qualitySwitch.get(),
                [this] { _qualitySwitch->setOn(!_qualitySwitch->isOn(), true); });
    table.press({KeyChord::character("s")}, _("Choose the sound"), _soundTrackButton.get(),
                [this] { onSoundTrack(); });
}

} // namespace tx
