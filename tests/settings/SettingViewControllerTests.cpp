#include "SettingsTestSupport.h"
#include "settings/SettingViewController.h"
#include "settings/SoundTrackViewController.h"

#include "app/AppConfigureInfo.h"
#include "app/CustomEffectSound.h"
#include "app/TaluvexAppDelegate.h"
#include "capture/AVCaptureMgr.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/media/capture/CaptureDevice.h"
#include "platform/ui/Application.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tx {
namespace {

// The main screen as far as the panel sees it: a screen to present from and its camera.
class FakeMainScreen : public MainScreen {
public:
    bool isRecording() const override { return false; }
    void cancelRecording() override {}
    std::shared_ptr<AVCaptureMgr> avCaptureMgr() const override { return capture; }
    ViewController& mainViewController() override { return *screen; }

    std::shared_ptr<ViewController> screen = std::make_shared<ViewController>();
    std::shared_ptr<AVCaptureMgr> capture;
};

class PanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        info = AppConfigureInfo::shareAppConfigureInfo();
        info->setVideoSpeed(100);
        info->setQuality(1);
        app = std::make_shared<TaluvexAppDelegate>();
        app->selectAudioTrack(TaluvexAppDelegate::kFirstTrackCode);
        app->setViewController(&main);
        Application::sharedApplication().setDelegate(app);
        window = test::makeWindow();
        window->setRootViewController(main.screen);
        for (const std::string& name :
             {kSettingWillAppear, kSettingDidAppear, kSettingWillDisappear, kSettingDidDisappear})
            NotificationCenter::defaultCenter().addObserver(
                this, name, [this](const Notification& n) { posted.push_back(n.name); });
    }
    void TearDown() override {
        NotificationCenter::defaultCenter().removeObserver(this);
        finishSlides(); // presentations end while their screens are alive
        if (main.capture)
            main.capture->shutdown();
        CaptureDevice::setDevicesOverride(std::nullopt);
        Application::sharedApplication().setDelegate(nullptr);
    }
    // The panel as the main screen carries it.
    std::shared_ptr<SettingViewController> makePanel() {
        auto made = std::make_shared<SettingViewController>();
        main.screen->view()->addSubview(made->view());
        return made;
    }
    // Ends every running slide.
    void finishSlides() { test::settleAnimations(clock, *window); }
    // A tap in window coordinates.
    void tap(Point point) {
        window->sendTouch(TouchPhase::Began, point);
        window->sendTouch(TouchPhase::Ended, point);
    }
    int storedSpeed() const {
        return AppConfigureInfo::appConfigureInfoWithPath(AppConfigureInfo::kFileName)
            ->videoSpeed();
    }

    test::SteppedClock clock;
    AppConfigureInfoPtr info;
    FakeMainScreen main;
    std::shared_ptr<TaluvexAppDelegate> app;
    std::shared_ptr<Window> window;
    std::vector<std::string> posted;
};

TEST_F(PanelTest, FirstRunShowsNormalSpeedQualityOffAndTheSound) {
    auto panel = makePanel();
    EXPECT_EQ(panel->labelSpeed()->text(), "x 1.0");
    EXPECT_FALSE(panel->qualitySwitch()->isOn());
    EXPECT_EQ(panel->labelSound()->text(), "Track 1");

    info->setQuality(0);
    info->setVideoSpeed(130);
    auto stored = makePanel();
    EXPECT_TRUE(stored->qualitySwitch()->isOn());
    EXPECT_EQ(stored->labelSpeed()->text(), "x 1.3");
}

TEST_F(PanelTest, ClosedPanelShowsAStripAndCentresItsCard) {
    for (double height : {480.0, 568.0}) {
        SCOPED_TRACE(height);
        Screen::mainScreen().setHeight(height);
        auto panel = std::make_shared<SettingViewController>();
        EXPECT_EQ(panel->view()->frame(), Rect(282, 0, 320, height));
        EXPECT_EQ(panel->screenFrame(), Rect(0, 0, 320, height));
        const Rect card = panel->settingPopUpView()->frame();
        EXPECT_EQ(card.minY(), std::trunc((height - 54) * 0.5) - std::trunc(card.height() * 0.5));
        // The handle sits in the 38 points that show, the card in the rest.
        EXPECT_LE(panel->showHideButton()->frame().maxX(), 38);
        EXPECT_GE(card.minX(), 38);
        EXPECT_LE(card.maxX(), 320);
    }
    Screen::mainScreen().setHeight(480);
}

TEST_F(PanelTest, OpeningAndClosingPostInOrderAndSlide282Points) {
    auto panel = makePanel();
    tap({300, 213}); // the handle in the strip
    EXPECT_EQ(posted, std::vector<std::string>{kSettingWillAppear});
    EXPECT_EQ(panel->view()->frame().minX(), 0); // the model value is at the end at once
    clock.advance(0.25);
    EXPECT_GT(panel->view()->presentationFrame().minX(), 0);
    EXPECT_LT(panel->view()->presentationFrame().minX(), 282);
    finishSlides();
    EXPECT_EQ(posted, (std::vector<std::string>{kSettingWillAppear, kSettingDidAppear}));

    posted.clear();
    tap({160, 20}); // outside the card
    finishSlides();
    EXPECT_EQ(posted, (std::vector<std::string>{kSettingWillDisappear, kSettingDidDisappear}));
    EXPECT_EQ(panel->view()->frame().minX(), 282);

    // Closed, a tap anywhere on the strip opens it, not only on the handle.
    posted.clear();
    tap({310, 30});
    finishSlides();
    EXPECT_EQ(posted, (std::vector<std::string>{kSettingWillAppear, kSettingDidAppear}));
    posted.clear();
    tap({160, 20});
    finishSlides();
    EXPECT_EQ(posted, (std::vector<std::string>{kSettingWillDisappear, kSettingDidDisappear}));
    EXPECT_EQ(panel->view()->frame().minX(), 282);
}

TEST_F(PanelTest, ASecondToggleDuringTheOpeningSlideClosesThePanel) {
    auto panel = makePanel();
    panel->onShowHideButton();
    clock.advance(0.2);
    panel->onShowHideButton();
    finishSlides();
    EXPECT_EQ(posted, (std::vector<std::string>{kSettingWillAppear, kSettingWillDisappear,
                                                kSettingDidAppear, kSettingDidDisappear}));
    EXPECT_EQ(panel->view()->frame().minX(), 282);
}

TEST_F(PanelTest, TapsOnTheCardKeepThePanelOpen) {
    auto panel = makePanel();
    panel->onShowHideButton();
    finishSlides();
    posted.clear();
    const Rect card = panel->settingPopUpView()->frame();
    tap({card.minX() + 30, card.minY() + 20}); // the card's title
    tap(panel->labelSound()->convertPointToView({5, 5}, window.get()));
    finishSlides();
    EXPECT_TRUE(posted.empty());
    EXPECT_TRUE(panel->isOpen());
}

TEST_F(PanelTest, DisabledPanelVanishesAndIgnoresTapsAndKeys) {
    auto panel = makePanel();
    panel->enable(false);
    EXPECT_EQ(panel->view()->alpha(), 0);
    EXPECT_FALSE(panel->showHideButton()->isEnabled());
    tap({300, 213});
    EXPECT_FALSE(panel->keyPressed(test::character(",")));
    finishSlides();
    EXPECT_TRUE(posted.empty());
    EXPECT_EQ(panel->view()->frame().minX(), 282);

    panel->enable(true);
    EXPECT_EQ(panel->view()->alpha(), 1);
    tap({300, 213});
    EXPECT_EQ(posted, std::vector<std::string>{kSettingWillAppear});
}

TEST_F(PanelTest, SpeedStepsFollowTheTableAndSaveEveryTime) {
    struct Case {
        int stored;
        int wantDown;
        int wantUp;
    };
    const Case cases[] = {{70, 70, 100}, {100, 70, 130}, {130, 100, 130}, {85, 100, 100}};
    auto panel = makePanel();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        info->setVideoSpeed(c.stored);
        panel->speedDownButton()->sendActionsForControlEvents(ControlEventTouchUpInside);
        EXPECT_EQ(info->videoSpeed(), c.wantDown);
        EXPECT_EQ(storedSpeed(), c.wantDown);
        EXPECT_EQ(panel->labelSpeed()->text(), SettingViewController::speedText(c.wantDown));
        info->setVideoSpeed(c.stored);
        panel->speedUpButton()->sendActionsForControlEvents(ControlEventTouchUpInside);
        EXPECT_EQ(storedSpeed(), c.wantUp);
    }
    EXPECT_EQ(SettingViewController::speedText(70), "x 0.7");
    EXPECT_EQ(SettingViewController::speedText(130), "x 1.3");
    EXPECT_EQ(SettingViewController::speedText(0), "x 1.0");
    // The click plays on the next turn of the run loop.
    CustomEffectSound::share()->setPlayer(nullptr);
    panel->onSpeedUp();
    EXPECT_FALSE(CustomEffectSound::share()->player());
    RunLoop::runFor(0.02);
    EXPECT_TRUE(CustomEffectSound::share()->player());
}

TEST_F(PanelTest, QualitySwitchSetsTheCameraPresetAndStoresIt) {
    CaptureDevice::setDevicesOverride(CaptureDevice::virtualDevices());
    main.capture = AVCaptureMgr::initWithPreview(Layer::create(), kCaptureSessionPresetMedium);
    ASSERT_TRUE(main.capture);
    auto panel = makePanel();
    panel->onShowHideButton();
    finishSlides();
    const Rect knob =
        panel->qualitySwitch()->convertRectToView(panel->qualitySwitch()->bounds(), window.get());
    tap({knob.minX() + 20, knob.minY() + 10});
    EXPECT_TRUE(panel->qualitySwitch()->isOn());
    EXPECT_EQ(main.capture->captureSession()->sessionPreset(), kCaptureSessionPreset640x480);
    EXPECT_EQ(info->quality(), 0);
    EXPECT_EQ(AppConfigureInfo::appConfigureInfoWithPath(AppConfigureInfo::kFileName)->quality(),
              0);

    clock.advance(1);
    EXPECT_TRUE(panel->keyPressed(test::character("q")));
    EXPECT_FALSE(panel->qualitySwitch()->isOn());
    EXPECT_EQ(main.capture->captureSession()->sessionPreset(), kCaptureSessionPresetMedium);
    EXPECT_EQ(info->quality(), 1);
}

TEST_F(PanelTest, ShowsANewlySelectedSoundWithoutReopening) {
    auto panel = makePanel();
    app->selectAudioTrack(2);
    NotificationCenter::defaultCenter().post(kSoundSelected);
    EXPECT_EQ(panel->labelSound()->text(), "Mute");
}

TEST_F(PanelTest, KeysOpenStepAndFlipOnlyWhileOpen) {
    auto panel = makePanel();
    EXPECT_FALSE(panel->keyPressed(test::key(KeyEvent::Key::Right)));
    EXPECT_FALSE(panel->keyPressed(test::character("q")));
    EXPECT_EQ(info->videoSpeed(), 100);
    EXPECT_TRUE(panel->keyPressed(test::character(",")));
    EXPECT_TRUE(panel->isOpen());
    EXPECT_TRUE(panel->keyPressed(test::key(KeyEvent::Key::Right)));
    EXPECT_EQ(panel->labelSpeed()->text(), "x 1.3");
    EXPECT_TRUE(panel->keyPressed(test::key(KeyEvent::Key::Left)));
    EXPECT_TRUE(panel->keyPressed(test::key(KeyEvent::Key::Left)));
    EXPECT_EQ(panel->labelSpeed()->text(), "x 0.7");
    EXPECT_TRUE(panel->keyPressed(test::character(",")));
    EXPECT_FALSE(panel->isOpen());
    EXPECT_FALSE(panel->keyPressed(test::key(KeyEvent::Key::Escape)));
    panel->onShowHideButton();
    EXPECT_TRUE(panel->keyPressed(test::key(KeyEvent::Key::Escape)));
    EXPECT_FALSE(panel->isOpen());
}

TEST_F(PanelTest, SoundTrackButtonPresentsThePickerFromTheMainScreen) {
    auto panel = makePanel();
    panel->soundTrackButton()->sendActionsForControlEvents(ControlEventTouchUpInside);
    auto* picker = dynamic_cast<SoundTrackViewController*>(main.screen->presentedViewController());
    ASSERT_NE(picker, nullptr);
    EXPECT_EQ(picker->selectedIndexPath().row, 3);
    // The presentation ends while the main screen lives.
    finishSlides();
    EXPECT_FALSE(picker->view()->hasAnimations());
}

} // namespace
} // namespace tx
