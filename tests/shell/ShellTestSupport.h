// Launches the application in-process for a test: fresh Documents, the virtual camera, the
// settings reset, and the real delegate, window and main screen.
#pragma once

#include "app/AppConfigureInfo.h"
#include "app/TaluvexAppDelegate.h"
#include "platform/foundation/RunLoop.h"
#include "platform/media/capture/CaptureDevice.h"
#include "platform/sensors/Accelerometer.h"
#include "platform/system/ImagePickerController.h"
#include "platform/ui/Screen.h"
#include "shell/TaluvexViewController.h"
#include "support/MediaFixtures.h"

#include "../app/AppTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace tx::test {

class LaunchedAppTest : public DocumentsTest {
protected:
    void SetUp() override {
        DocumentsTest::SetUp();
        CaptureDevice::setDevicesOverride(CaptureDevice::virtualDevices());
        Accelerometer::sharedAccelerometer().setSimulatedAcceleration(0, -1);
        // The settings object lives for the process: every test starts from the defaults.
        auto config = AppConfigureInfo::shareAppConfigureInfo();
        config->setQuality(1);
        config->setVideoSpeed(100);
        config->setEncodeCount(0);
        config->setRate(false);
        Application::setOpenURLHandler([this](const std::string& url) {
            openedURLs.push_back(url);
            return true;
        });
    }
    void TearDown() override {
        Application::sharedApplication().setDelegate(nullptr);
        delegate.reset();
        main.reset();
        RunLoop::runFor(0.05);
        Application::setOpenURLHandler(nullptr);
        CaptureDevice::setDevicesOverride(std::nullopt);
        Screen::mainScreen().setHeight(480);
        DocumentsTest::TearDown();
    }

    // Starts the application and waits for the live picture.
    void launch() {
        delegate = std::make_shared<TaluvexAppDelegate>();
        main = std::make_shared<TaluvexViewController>();
        delegate->setViewController(std::shared_ptr<MainScreen>(main));
        Application::sharedApplication().setDelegate(delegate);
        delegate->applicationDidFinishLaunching(Application::sharedApplication());
        ASSERT_TRUE(RunLoop::runUntil(
            [&] {
                return main->avCaptureMgr()->running() && main->captureView()->fetchCount() > 0;
            },
            10))
            << "the camera did not start";
    }

    Window& window() { return *delegate->window(); }
    void press(const std::string& text) {
        KeyEvent key;
        key.key = KeyEvent::Key::Character;
        key.text = text;
        window().sendKey(key);
    }
    void pressKey(KeyEvent::Key which, bool control = false) {
        KeyEvent key;
        key.key = which;
        key.control = control;
        window().sendKey(key);
    }

    // Files in Documents with the extension.
    std::vector<std::string> documentsWith(const std::string& extension) const {
        std::vector<std::string> found;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(documents)) {
            if (entry.path().extension() == "." + extension) {
                found.push_back(entry.path().string());
            }
        }
        return found;
    }
    ViewController* presented() const { return main->presentedViewController(); }
    template <typename T> bool presents() const { return dynamic_cast<T*>(presented()) != nullptr; }
    bool isIdle() const {
        return !main->avRenderMgr() && !main->isRecording() && main->recordButton()->isEnabled() &&
               !main->recordButton()->isSelected() && main->settingViewController()->isEnabled();
    }
    // Hands a movie to the main screen as the picker would; the render starts at once.
    void pick(const std::string& path) {
        main->onLoadVideo();
        auto* picker = dynamic_cast<ImagePickerController*>(presented());
        ASSERT_NE(picker, nullptr);
        main->imagePickerControllerDidFinishPickingMediaWithInfo(*picker, {kUTTypeMovie, path});
    }
    // Picks a movie long enough to interrupt and waits until its render is well under way.
    void startLongRender() {
        ClipSpec spec;
        spec.seconds = 7.9;
        spec.width = 320;
        spec.height = 240;
        pick(makeClip(spec));
        ASSERT_TRUE(RunLoop::runUntil(
            [&] { return main->avRenderMgr() && main->avRenderMgr()->progress() > 0.05; }, 30));
    }
    // A file that is not a movie, with a movie's name.
    std::string brokenMovie() const {
        const std::string path = tempPath("mov");
        std::ofstream(path) << "this is not a movie";
        return path;
    }

    std::shared_ptr<TaluvexAppDelegate> delegate;
    std::shared_ptr<TaluvexViewController> main;
    std::vector<std::string> openedURLs;
};

} // namespace tx::test
