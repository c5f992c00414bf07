// The slide-in settings panel of the main screen: closed, a 38-point strip shows at the right
// edge; a tap slides it open over the screen and a tap outside its card closes it. The card sets
// the speed of the next movie, the capture quality and the sound.
#pragma once

#include "RCSwitch.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/ViewController.h"

#include <memory>
#include <string>

namespace tx {

// Posted as the panel opens and closes: "will" when the slide starts, "did" when it has ended.
inline const std::string kSettingWillAppear = "settingWillAppear";
inline const std::string kSettingDidAppear = "settingDidAppear";
inline const std::string kSettingWillDisappear = "settingWillDisappear";
inline const std::string kSettingDidDisappear = "settingDidDisappear";

class SettingViewController : public ViewController {
public:
    // The panel's x while closed: 38 of its 320 points show at the right of the screen.
    static constexpr double kClosedX = 282;
    static constexpr double kSlideSeconds = 0.5;

    ~SettingViewController() override;

    void loadView() override;
    void viewDidLoad() override;
    void viewDidUnload() override;

    // Shows the panel and lets it be used (true), or makes it vanish where it stands (false):
    // the main screen hides it while it records or renders.
    void enable(bool enabled);
    bool isEnabled() const { return _enabled; }
    // Open, or sliding open.
    bool isOpen() const;

    // Actions.
    void onShowHideButton();
    void onSpeedDn();
    void onSpeedUp();
    void onQuality(RCSwitch& sender);
    void onSoundTrack();

    // Refresh one control from the stored settings and the current sound.
    void updateSpeed();
    void updateQuality();
    void updateSound();

    // Stored speed (percent) → the next one down or up: 70 ↔ 100 ↔ 130, anything else → 100.
    static int nextSpeed(int speedPercent, bool up);
    // "x 0.7", "x 1.3", or "x 1.0" for any other value.
    static std::string speedText(int speedPercent);

    Rect screenFrame() const { return _screenFrame; }
    const std::shared_ptr<Button>& showHideButton() const { return _showHideButton; }
    const std::shared_ptr<RCSwitchClone>& qualitySwitch() const { return _qualitySwitch; }
    const std::shared_ptr<Label>& labelSpeed() const { return _labelSpeed; }
    const std::shared_ptr<Label>& labelSound() const { return _labelSound; }
    const ViewPtr& settingPopUpView() const { return _settingPopUpView; }
    const std::shared_ptr<Button>& speedDownButton() const { return _speedDown; }
    const std::shared_ptr<Button>& speedUpButton() const { return _speedUp; }
    const std::shared_ptr<Button>& soundTrackButton() const { return _soundTrackButton; }

    // A tap on the panel outside the card opens or closes it.
    void touchesBegan(const TouchSet& touches) override;
    // "," opens and closes; while open, Esc closes, Left and Right step the speed and Q flips the
    // quality.
    void addKeyBindings(KeyTable& table) override;

private:
    void stepSpeed(bool up);

    Rect _screenFrame;
    std::shared_ptr<Button> _showHideButton;
    std::shared_ptr<RCSwitchClone> _qualitySwitch;
    std::shared_ptr<Label> _labelSpeed;
    std::shared_ptr<Label> _labelSound;
    ViewPtr _settingPopUpView;
    std::shared_ptr<Button> _speedDown;
    std::shared_ptr<Button> _speedUp;
    std::shared_ptr<Button> _soundTrackButton;
    bool _enabled = true;
};

} // namespace tx
