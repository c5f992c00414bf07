// Pages of the tour drawn from the application's real main screen, render overlay, rating prompt
// and launch transition. The camera does not run here: a still picture stands in for it.
#include "Gallery.h"
#include "platform/foundation/Translation.h"

#include "app/FileRenderProgressView.h"
#include "app/TaluvexAppDelegate.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/media/capture/CaptureDevice.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Screen.h"
#include "shell/TaluvexViewController.h"

#include <vector>

namespace tx::gallery {

// The tour's screens live until the tour ends.
std::vector<std::shared_ptr<Object>>& keptAlive() {
    static auto* kept = new std::vector<std::shared_ptr<Object>>();
    return *kept;
}

// The main screen in `window`, with a sunset for the camera and a newest movie's thumbnail.
std::shared_ptr<TaluvexViewController> mainScreenIn(Window& window) {
    // Never the machine's own camera: the tour must look the same everywhere.
    CaptureDevice::setDevicesOverride(CaptureDevice::virtualDevices());
    auto main = std::make_shared<TaluvexViewController>();
    keptAlive().push_back(main);
    window.setRootViewController(main);
    const Rect preview = main->captureView()->bounds();
    main->captureView()->setStillPicture(
        cameraPicture({preview.width(), preview.height()}, 0.62)->pixels());
    main->ivLastThumb()->setImage(cameraPicture({50, 50}, 0.05));
    return main;
}

namespace {

GalleryRegistration idle({"main-screen", [](Window& window) { mainScreenIn(window); }});

GalleryRegistration recording({"main-screen-recording", [](Window& window) {
                                   auto main = mainScreenIn(window);
                                   main->recordingLayout();
                                   main->labelRecordTime()->setText(
                                       TaluvexViewController::recordTimeText(65.9f));
                               }});

// The device turned: both rotating controls shown in their places for codes 3 and 4.
void rotatedPage(Window& window, int code) {
    auto main = mainScreenIn(window);
    main->recordingLayout();
    main->switchCameraPosition()->setHidden(false);
    main->labelRecordTime()->setText(TaluvexViewController::recordTimeText(12));
    main->setNewSwitchPosition(code);
    main->setNewStatusPosition(code);
}

GalleryRegistration rotated3({"main-screen-turned-right",
                              [](Window& window) { rotatedPage(window, 3); }});
GalleryRegistration rotated4({"main-screen-turned-left",
                              [](Window& window) { rotatedPage(window, 4); }});

// The overlay at 55%, caught half-way through its fade-in.
GalleryRegistration overlay({"render-progress-fading-in-half-way",
                             [](Window& window) {
                                 mainScreenIn(window);
                                 // Controls and the settings panel rest while a render runs.
                                 NotificationCenter::defaultCenter().post(kConvertingWillStart);
                                 auto progress = std::make_shared<FileRenderProgressView>();
                                 keptAlive().push_back(progress);
                                 progress->show();
                                 progress->setProgress(0.55f);
                             },
                             0.25});

GalleryRegistration rating({"rating-prompt", [](Window& window) {
                                mainScreenIn(window);
                                auto alert = std::make_shared<AlertView>(
                                    "", _(TaluvexViewController::kRatingMessage),
                                    std::weak_ptr<AlertViewDelegate>(), _("NO"),
                                    std::vector<std::string>{_("YES")});
                                alert->show();
                            }});

GalleryRegistration launch({"launch-transition-half-way",
                            [](Window& window) {
                                auto delegate = std::make_shared<TaluvexAppDelegate>();
                                keptAlive().push_back(delegate);
                                delegate->setWindow(window.sharedAs<Window>());
                                auto main = mainScreenIn(window);
                                delegate->defaultAnimation(main->view());
                            },
                            0.5});

} // namespace
} // namespace tx::gallery
