// The library's and share screen's tests: a home folder of the test's own, a window with a root
// screen to present from, movies made from fixtures in the Documents folder, and the alerts on
// show. Sounds go to the silent output; animations run ten times faster than real time.
#pragma once

#include "platform/system/DesktopHome.h"

#include "platform/foundation/RunLoop.h"
#include "platform/media/AudioPlayer.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"
#include "support/MediaFixtures.h"

#include <chrono>
#include <filesystem>

namespace tx::test {

class ScreenTest : public DesktopHomeTest {
protected:
    void SetUp() override {
        DesktopHomeTest::SetUp();
        AudioPlayer::setSinkFactory([] { return AudioPlayer::makeSilentSink(); });
        const auto start = std::chrono::steady_clock::now();
        View::setAnimationClock([start] {
            return 10 *
                   std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        });
        root = std::make_shared<ViewController>();
        window->setRootViewController(root);
        documents = documentsDirectory();
    }
    void TearDown() override {
        if (root->presentedViewController() != nullptr) {
            root->dismissViewController(false);
        }
        RunLoop::runFor(0.05);
        root.reset();
        View::setAnimationClock({});
        AudioPlayer::setSinkFactory(nullptr);
        DesktopHomeTest::TearDown();
    }

    // A fixture movie copied to Documents/<relative>, last changed `age` ago.
    std::string addMovie(const std::string& relative, const ClipSpec& spec,
                         std::chrono::seconds age = std::chrono::seconds(0)) {
        const std::string path = documents + "/" + relative;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::filesystem::copy_file(makeClip(spec), path,
                                   std::filesystem::copy_options::overwrite_existing);
        std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now() - age);
        return path;
    }

    static void collectAlerts(View& view, std::vector<AlertView*>& found) {
        for (const ViewPtr& sub : view.subviews()) {
            if (auto* alert = dynamic_cast<AlertView*>(sub.get())) {
                found.push_back(alert);
            }
            collectAlerts(*sub, found);
        }
    }
    std::vector<AlertView*> alerts() const {
        std::vector<AlertView*> found;
        collectAlerts(*window, found);
        return found;
    }
    // Waits for the `count`th alert; its message, or "" when none came.
    std::string waitForAlert(std::size_t count = 1) {
        if (!RunLoop::runUntil([&] { return alerts().size() >= count; }, 5)) {
            return "";
        }
        return alerts()[count - 1]->message();
    }
    void dismissAlerts() {
        for (AlertView* alert : alerts()) {
            alert->dismissWithClickedButtonIndex(alert->cancelButtonIndex(), false);
        }
        RunLoop::runFor(0.05);
    }
    static KeyEvent key(KeyEvent::Key k) {
        KeyEvent event;
        event.key = k;
        return event;
    }
    static KeyEvent character(const std::string& text) {
        KeyEvent event;
        event.key = KeyEvent::Key::Character;
        event.text = text;
        return event;
    }
    bool waitUntilPresented(ViewController& presenter) {
        return RunLoop::runUntil([&] { return presenter.presentedViewController() != nullptr; }, 3);
    }

    std::shared_ptr<ViewController> root;
    std::string documents;
};

} // namespace tx::test
