#include "app/TaluvexAppDelegate.h"
#include "platform/foundation/Translation.h"

#include <cstdio>

#include "app/AVThumbnailMgr.h"
#include "app/CustomEffectSound.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ViewController.h"

#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tx {

namespace {

const char* const kCatalogueName = "SoundTrackInfo";
const char* const kCatalogueTracksKey = "Tracks";
constexpr std::size_t kBuiltInTrackCount = 6;

constexpr Size kWideThumbnailBox{150.0, 112.5};
constexpr Size kTallThumbnailBox{160.0, 120.0};
// Strongest compression: thumbnails are small and many.
constexpr double kThumbnailJpegQuality = 0.0;

std::vector<std::string> readCatalogue() {
    std::vector<std::string> tracks;
    tracks.reserve(kBuiltInTrackCount);
    const std::string path = resourcePath(kCatalogueName, "plist");
    std::optional<PlistValue> info = path.empty() ? std::nullopt : readPropertyList(path);
    const PlistValue* names = info ? info->find(kCatalogueTracksKey) : nullptr;
    if (names == nullptr || names->type() != PlistValue::Type::Array) {
        return tracks;
    }
    for (const PlistValue& name : names->asArray()) {
        if (name.type() == PlistValue::Type::String) {
            // The catalogue does not check the files: a missing one keeps its place, so the
            // picker's rows and the catalogue indexes stay in step.
            tracks.push_back(
                pathByAppending(resourceDirectory(), lastPathComponent(name.asString())));
        }
    }
    return tracks;
}

} // namespace

TaluvexAppDelegate* TaluvexAppDelegate::sharedDelegate() {
    return dynamic_cast<TaluvexAppDelegate*>(Application::sharedApplication().delegate());
}

bool TaluvexAppDelegate::selectAudioTrack(unsigned code, const std::string& title,
                                          const std::string& url) {
    if (code < kFirstTrackCode) {
        // Only a library song comes with a title and a file of its own.
        static const char* const kTitles[] = {nullptr, N_("From Video"), N_("Mute")};
        _audioType = static_cast<std::int32_t>(code);
        _audioTitle = code == 0 ? title : _(kTitles[code]);
        _audioTrackURL = code == 0 ? url : std::string();
        _audioTrackIndex = -1;
        return true;
    }
    const std::size_t index = code - kFirstTrackCode;
    const std::vector<std::string>& tracks = soundTrackInfo();
    if (index >= tracks.size()) {
        return false;
    }
    _audioType = kAudioTypeBuiltInTrack;
    _audioTitle = withArguments(_("Track %1"), {std::to_string(index + 1)});
    _audioTrackURL = tracks[index];
    _audioTrackIndex = static_cast<std::int32_t>(index);
    return true;
}

const std::vector<std::string>& TaluvexAppDelegate::soundTrackInfo() const {
    // Built on first use and kept for the whole process.
    static const auto* tracks = new std::vector<std::string>(readCatalogue());
    return *tracks;
}

Size TaluvexAppDelegate::thumbnailSize(Size pictureSize) {
    if (pictureSize.width <= 0 || pictureSize.height <= 0) {
        return {};
    }
    const Size box = pictureSize.width > pictureSize.height ? kWideThumbnailBox : kTallThumbnailBox;
    const double factor = std::min(box.width / pictureSize.width, box.height / pictureSize.height);
    return {pictureSize.width * factor, pictureSize.height * factor};
}

void TaluvexAppDelegate::generatorThumbFile(const std::string& moviePath) {
    const std::string thumbPath = pathByReplacingExtension(moviePath, "jpg");
    if (fileExists(thumbPath)) {
        return;
    }
    ImagePtr picture = AVThumbnailMgr::thumbnail(moviePath);
    if (!picture) {
        return;
    }
    const Size size = thumbnailSize(picture->size());
    // A half-pixel size (112.5) takes the whole next pixel, filled by the picture.
    const QImage pixels = picture->pixels().scaled(static_cast<int>(std::ceil(size.width)),
                                                   static_cast<int>(std::ceil(size.height)),
                                                   Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const std::vector<unsigned char> jpeg = Image(pixels, 1.0).jpegData(kThumbnailJpegQuality);
    writeFileAtomically(thumbPath, jpeg.data(), jpeg.size());
}

} // namespace tx

// Start-up and the application's life cycle.
namespace tx {

const std::string& TaluvexAppDelegate::sessionStateChangedNotification() {
    static const auto* name =
        new std::string(std::string(kAppId) + ":SCSessionStateChangedNotification");
    return *name;
}

const std::vector<std::string>& TaluvexAppDelegate::facebookReadPermissions() {
    static const auto* permissions = new std::vector<std::string>{"user_videos", "publish_actions"};
    return *permissions;
}

bool TaluvexAppDelegate::applicationDidFinishLaunching(Application&) {
    // Every run starts with built-in Track 1; the choice is not kept between runs.
    selectAudioTrack(kFirstTrackCode);
    if (!_window) {
        _window = std::make_shared<Window>(Screen::mainScreen().bounds());
    }
    if (_viewController) {
        // Asking for the view loads the main screen, which makes the camera.
        std::shared_ptr<ViewController> main =
            _viewController->mainViewController().sharedAs<ViewController>();
        _window->setRootViewController(main);
        defaultAnimation(main->view());
    }
    _window->makeKeyAndVisible();
    openSessionWithAllowLoginUI(false, facebookReadPermissions());
    // Said at once rather than when a render fails for it with a bare media error.
    if (const std::string problem = documentsDirectoryProblem(); !problem.empty()) {
        std::fprintf(stderr, "%s\n", withArguments(_("taluvex: %1"), {problem}).c_str());
        auto alert = std::make_shared<AlertView>(
            "",
            withArguments(_("%1 Movies cannot be saved until it is a folder Taluvex can write to."),
                          {problem}),
            std::weak_ptr<AlertViewDelegate>(), _("OK"), std::vector<std::string>{});
        alert->show();
    }
    return true;
}

void TaluvexAppDelegate::defaultAnimation(const ViewPtr& mainView) {
    const double w = Screen::mainScreen().bounds().width();
    const double h = Screen::mainScreen().bounds().height();
    _launchImageView = std::make_shared<ImageView>(Rect(0, 0, w, h));
    _launchImageView->setImage(Image::imageNamed("Default"));
    // The launch picture lies under the main view, which slides up over it.
    _window->insertSubview(_launchImageView, 0);
    if (mainView->superview() != _window.get()) {
        _window->addSubview(mainView);
    }
    mainView->setFrame(Rect(0, h, w, h));
    std::weak_ptr<Object> weakSelf = shared_from_this();
    std::shared_ptr<ImageView> launch = _launchImageView;
    View::animate(
        kLaunchSlideSeconds, 0, AnimationCurve::EaseInOut,
        [&] {
            launch->setFrame(Rect(0, -h, w, h));
            mainView->setFrame(Rect(0, 0, w, h));
            RunLoop::postAfter(kDoorSoundDelaySeconds, [] {
                CustomEffectSound::share()->playEffectSound(kSoundEffect_OpenDoor);
            });
        },
        [weakSelf, launch](bool) {
            launch->removeFromSuperview();
            if (auto self = std::dynamic_pointer_cast<TaluvexAppDelegate>(weakSelf.lock())) {
                if (self->_launchImageView == launch) {
                    self->_launchImageView.reset();
                }
            }
        });
}

void TaluvexAppDelegate::applicationWillResignActive(Application&) {
    if (_viewController && _viewController->isRecording()) {
        _viewController->cancelRecording();
    }
}

void TaluvexAppDelegate::applicationDidBecomeActive(Application&) {
    FacebookSession::activeSession()->handleDidBecomeActive();
}

bool TaluvexAppDelegate::applicationOpenURL(Application&, const std::string& url,
                                            const std::string&) {
    return FacebookSession::activeSession()->handleOpenURL(url);
}

bool TaluvexAppDelegate::applicationHandleOpenURL(Application& application,
                                                  const std::string& url) {
    applicationOpenURL(application, url, {});
    return true;
}

bool TaluvexAppDelegate::applicationShouldTerminate(Application&) {
    if (!_viewController || !_viewController->isBusy()) {
        return true;
    }
    if (!_quitAlert) {
        _quitAlert = std::make_shared<AlertView>(
            "", _(kQuitQuestion), std::dynamic_pointer_cast<AlertViewDelegate>(shared_from_this()),
            _(kKeepWorkingButton), std::vector<std::string>{_(kQuitButton)});
        _quitAlert->show();
    }
    return false;
}

void TaluvexAppDelegate::alertViewClickedButtonAtIndex(AlertView& alertView, int buttonIndex) {
    if (&alertView != _quitAlert.get()) {
        return;
    }
    _quitAlert.reset();
    if (buttonIndex == alertView.cancelButtonIndex()) {
        return;
    }
    if (_viewController) {
        _viewController->stopForQuit();
    }
    RunLoop::quit(0);
}

bool TaluvexAppDelegate::openSessionWithAllowLoginUI(bool allowLoginUI,
                                                     const std::vector<std::string>& permissions) {
    std::weak_ptr<Object> weakSelf = shared_from_this();
    return FacebookSession::activeSession()->openWithReadPermissions(
        permissions, allowLoginUI,
        [weakSelf](const FacebookSessionPtr& session, int state, const ErrorPtr& error) {
            if (auto self = std::dynamic_pointer_cast<TaluvexAppDelegate>(weakSelf.lock())) {
                self->sessionStateChanged(session, state, error);
            }
        });
}

void TaluvexAppDelegate::sessionStateChanged(const FacebookSessionPtr& session, int state,
                                             const ErrorPtr& error) {
    if (state == FBSessionStateClosed && session) {
        session->closeAndClearTokenInformation();
    }
    NotificationCenter::defaultCenter().post(sessionStateChangedNotification(), session);
    if (error) {
        // The error's name, then what happened in the user's words where the session says it.
        std::string message = FBErrorCodeDescription(error->code());
        if (error->description() && !error->description()->empty()) {
            message += "\n" + *error->description();
        }
        auto alert = std::make_shared<AlertView>(_("Error"), message,
                                                 std::weak_ptr<AlertViewDelegate>(), _("OK"),
                                                 std::vector<std::string>{});
        alert->show();
    }
}

std::string TaluvexAppDelegate::FBErrorCodeDescription(long code) {
    static const char* const kNames[] = {
        "Invalid",          "OperationCancelled", "LoginFailedOrCancelled",  "RequestConnectionApi",
        "ProtocolMismatch", "HTTPError",          "NonTextMimeTypeReturned", "NativeDialog"};
    if (code < 0 || code >= static_cast<long>(std::size(kNames))) {
        return "[Unknown]";
    }
    return kNames[code];
}

} // namespace tx
