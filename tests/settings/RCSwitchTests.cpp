#include "SettingsTestSupport.h"
#include "settings/Localization.h"
#include "settings/RCSwitch.h"

#include "platform/foundation/RunLoop.h"
#include "platform/ui/OffscreenRenderer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace tx {
namespace {

// A 94-point switch: the knob is 44 wide, so it travels 50 points.
constexpr double kLeft = 100;
constexpr double kTop = 100;
constexpr double kTravel = 50;

class SwitchTest : public ::testing::Test {
protected:
    void SetUp() override {
        window = test::makeWindow();
        control = std::make_shared<RCSwitch>(Rect(kLeft, kTop, 94, 27));
        window->addSubview(control);
        log.watch(*control);
    }
    // The window point where the knob's middle stands at `percent`.
    static Point knobAt(double percent) { return {kLeft + 22 + percent * kTravel, kTop + 13}; }
    void drag(std::initializer_list<double> percents) {
        auto it = percents.begin();
        window->sendTouch(TouchPhase::Began, knobAt(*it));
        for (++it; it != percents.end(); ++it)
            window->sendTouch(TouchPhase::Moved, knobAt(*it));
        window->sendTouch(TouchPhase::Ended, knobAt(*(percents.end() - 1)));
    }
    double moveSeconds() const { return *control->endDate() - clock.now; }

    test::SteppedClock clock;
    std::shared_ptr<Window> window;
    std::shared_ptr<RCSwitch> control;
    test::EventLog log;
};

TEST_F(SwitchTest, StartsOffInCodeAndOnFromALaidOutScreen) {
    EXPECT_FALSE(control->isOn());
    EXPECT_EQ(control->knobWidth(), 44);
    EXPECT_EQ(control->endcapWidth(), 36);
    EXPECT_TRUE(RCSwitch(Rect(0, 0, 94, 27), true).isOn());
}

TEST_F(SwitchTest, TapTurnsAnOffSwitchOnInAQuarterSecond) {
    drag({0.0});
    EXPECT_TRUE(control->isOn());
    EXPECT_EQ(log.events, (std::vector<std::string>{"down", "value", "up"}));
    ASSERT_TRUE(control->endDate());
    EXPECT_NEAR(moveSeconds(), 0.25, 1e-9);
}

TEST_F(SwitchTest, DragsThatDoNotCrossTheMiddleCountAsTaps) {
    struct Case {
        bool startsOn;
        std::vector<double> path;
        bool wantOn;
        double wantSeconds;
    };
    const Case cases[] = {
        // Off, dragged to 40 %: a tap, so on.
        {false, {0.0, 0.2, 0.4}, true, 0.25 * 0.6},
        // Off, past the middle and back to 30 %: settles off.
        {false, {0.0, 0.6, 0.3}, false, 0.25 * 0.3},
        // On, dragged to 80 %: a tap, so off, in 0.25 × 0.8 s.
        {true, {1.0, 0.9, 0.8}, false, 0.2},
        // On, below the middle and back to 70 %: stays on, in 0.25 × 0.3 s.
        {true, {1.0, 0.4, 0.7}, true, 0.075},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "from " << c.startsOn << " to " << c.path.back());
        control->setOn(c.startsOn);
        log.events.clear();
        window->sendTouch(TouchPhase::Began, knobAt(c.path.front()));
        for (std::size_t i = 1; i < c.path.size(); i++)
            window->sendTouch(TouchPhase::Moved, knobAt(c.path[i]));
        EXPECT_NEAR(control->percent(), c.path.back(), 1e-9);
        window->sendTouch(TouchPhase::Ended, knobAt(c.path.back()));
        EXPECT_EQ(control->isOn(), c.wantOn);
        // Value-changed and touch-up-inside come even when the side did not change.
        EXPECT_EQ(log.endings(), (std::vector<std::string>{"value", "up"}));
        ASSERT_TRUE(control->endDate());
        EXPECT_NEAR(moveSeconds(), c.wantSeconds, 1e-9);
        clock.advance(1);
    }
}

TEST_F(SwitchTest, SetOnSendsValueChangedAlwaysAndAnimatedOnlyForAChange) {
    control->setOn(true);
    EXPECT_EQ(log.events, std::vector<std::string>{"value"});
    control->setOn(true);
    EXPECT_EQ(log.events, (std::vector<std::string>{"value", "value"}));
    EXPECT_FALSE(control->endDate()); // no move without animation

    log.events.clear();
    control->setOn(true, true);
    EXPECT_TRUE(log.events.empty());
    control->setOn(false, true);
    EXPECT_FALSE(control->isOn());
    EXPECT_EQ(log.events, (std::vector<std::string>{"value", "up"}));
    EXPECT_NEAR(moveSeconds(), 0.25, 1e-9);
}

TEST_F(SwitchTest, TheMoveEasesOnTheClockAndEndsByItself) {
    drag({0.0});
    EXPECT_NEAR(control->presentationPercent(), 0.0, 1e-9);
    clock.advance(0.125);
    EXPECT_NEAR(control->presentationPercent(), std::cos(0.5 * M_PI / 2), 1e-9);
    // Each frame asks for the next while the move runs.
    window->displayNow();
    const int frames = window->displayCount();
    EXPECT_TRUE(RunLoop::runUntil([&] { return window->displayCount() > frames; }, 1));
    clock.advance(0.2);
    EXPECT_NEAR(control->presentationPercent(), 1.0, 1e-9);
    window->displayNow();
    EXPECT_FALSE(control->endDate());
    const int last = window->displayCount();
    RunLoop::runFor(0.05);
    EXPECT_EQ(window->displayCount(), last);
}

TEST_F(SwitchTest, ANewTouchStopsARunningMove) {
    drag({0.0});
    clock.advance(0.1);
    window->sendTouch(TouchPhase::Began, knobAt(1.0));
    EXPECT_FALSE(control->endDate());
    EXPECT_TRUE(control->mustFlip());
    EXPECT_TRUE(control->isHighlighted());
    window->sendTouch(TouchPhase::Cancelled, knobAt(1.0));
    // A cancelled touch ends like a lifted one: a tap on an on switch turns it off.
    EXPECT_FALSE(control->isOn());
    EXPECT_FALSE(control->isHighlighted());
}

TEST_F(SwitchTest, AKnobWithinThreePointsOfAnEndIsDrawnAtTheEnd) {
    auto pictureWhileHeldAt = [&](double percent) {
        window->sendTouch(TouchPhase::Began, knobAt(0.5));
        window->sendTouch(TouchPhase::Moved, knobAt(percent));
        ImagePtr picture = renderView(*control);
        window->sendTouch(TouchPhase::Cancelled, knobAt(percent));
        clock.advance(1);
        return picture->pixels();
    };
    // 2 points from the left end, and 2.5 from the right one.
    EXPECT_EQ(pictureWhileHeldAt(2.0 / kTravel), pictureWhileHeldAt(0.0));
    EXPECT_EQ(pictureWhileHeldAt(1 - 2.5 / kTravel), pictureWhileHeldAt(1.0));
    // 4 points in, the knob has left the end.
    EXPECT_NE(pictureWhileHeldAt(4.0 / kTravel), pictureWhileHeldAt(0.0));
}

class LanguageTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
            const char* value = std::getenv(name);
            saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
            unsetenv(name);
        }
    }
    void TearDown() override {
        for (auto& [name, value] : saved) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
};

TEST_F(LanguageTest, PreferredLanguagesComeFromTheLocaleSettings) {
    EXPECT_EQ(preferredLanguages(), std::vector<std::string>{"en"});
    setenv("LANG", "C.UTF-8", 1);
    EXPECT_EQ(preferredLanguages(), std::vector<std::string>{"en"});
    setenv("LC_MESSAGES", "ja_JP.UTF-8", 1);
    EXPECT_EQ(preferredLanguages(), std::vector<std::string>{"ja"});
    setenv("LC_ALL", "de_DE@euro", 1);
    EXPECT_EQ(preferredLanguages(), std::vector<std::string>{"de"});
    setenv("LANGUAGE", "pt_BR:fr", 1);
    EXPECT_EQ(preferredLanguages(), (std::vector<std::string>{"pt", "fr", "de"}));
    // The application's words follow the first language that has them.
    EXPECT_EQ(localizedString("ON"), "OUI");
    EXPECT_EQ(localizedString("Choose"), "Choose");
}

TEST_F(LanguageTest, JapaneseGetsTextCaptionsOthersThePictures) {
    setenv("LANGUAGE", "ja", 1);
    RCSwitchClone japanese(Rect(0, 0, 94, 27));
    EXPECT_FALSE(japanese.useImage());
    ASSERT_TRUE(japanese.onText());
    EXPECT_EQ(japanese.onText()->text(), platformLocalizedString("ON"));
    EXPECT_EQ(japanese.offText()->text(), platformLocalizedString("OFF"));
    EXPECT_TRUE(japanese.onText()->font().isBold());

    setenv("LANGUAGE", "en", 1);
    RCSwitchClone english(Rect(0, 0, 94, 27));
    EXPECT_TRUE(english.useImage());
    EXPECT_FALSE(english.onText());

    setenv("LANGUAGE", "ja", 1);
    RCSwitchOnOff own(Rect(0, 0, 94, 27));
    EXPECT_EQ(own.onText()->text(), "オン");
    EXPECT_EQ(own.offText()->text(), "オフ");
}

TEST_F(LanguageTest, CaptionsMoveWithTheKnob) {
    setenv("LANGUAGE", "en", 1);
    auto window = test::makeWindow();
    auto plain = std::make_shared<RCSwitch>(Rect(0, 0, 94, 27));
    auto captioned = std::make_shared<RCSwitchClone>(Rect(0, 100, 94, 27));
    window->addSubview(plain);
    window->addSubview(captioned);
    for (bool on : {false, true}) {
        plain->setOn(on);
        captioned->setOn(on);
        EXPECT_NE(renderView(*plain)->pixels(), renderView(*captioned)->pixels()) << on;
    }
}

} // namespace
} // namespace tx
