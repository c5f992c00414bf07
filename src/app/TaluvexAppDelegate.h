// The application's delegate. Besides start-up it holds what several screens share: the sound
// chosen for the next render, the catalogue of built-in tracks, and the movies' thumbnails.
#pragma once

#include "platform/foundation/Translation.h"
#include "app/FacebookSession.h"
#include "app/MainScreen.h"
#include "platform/foundation/Object.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Application.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Window.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tx {

class TaluvexAppDelegate : public Object, public ApplicationDelegate, public AlertViewDelegate {
public:
    // The application's id on the desktop: .desktop file, D-Bus names, the software centre's page.
    static constexpr const char* kAppId = "org.taluvex.Taluvex";
    // Posted with the Facebook session as object whenever its state changes.
    static const std::string& sessionStateChangedNotification();
    // The read permissions asked for at launch.
    static const std::vector<std::string>& facebookReadPermissions();
    static constexpr double kLaunchSlideSeconds = 1.0;
    static constexpr double kDoorSoundDelaySeconds = 0.1;
    // Texts of the question asked when the window is closed while work is under way.
    static constexpr const char* kQuitQuestion = N_("Stop and quit?");
    static constexpr const char* kQuitButton = N_("Quit");
    static constexpr const char* kKeepWorkingButton = N_("Cancel");

    // Kinds of sound (audioType).
    static constexpr std::int32_t kAudioTypeLibrarySong = 0;
    static constexpr std::int32_t kAudioTypeFromVideo = 1;
    static constexpr std::int32_t kAudioTypeMute = 2;
    static constexpr std::int32_t kAudioTypeBuiltInTrack = 3;
    // The first selection code of a built-in track (the sound-track picker's row of Track 1).
    static constexpr unsigned kFirstTrackCode = 3;

    // The running application's delegate, for the screens that share the sound selection;
    // null before start-up has set one.
    static TaluvexAppDelegate* sharedDelegate();

    // The main recording screen, once start-up has made it (null before, and in tools and tests
    // that run screens on their own).
    MainScreen* viewController() const { return _viewController; }
    void setViewController(MainScreen* viewController) { _viewController = viewController; }
    // Installs the main screen and keeps it for the life of the delegate.
    void setViewController(std::shared_ptr<MainScreen> viewController) {
        _viewController = viewController.get();
        _ownedViewController = std::move(viewController);
    }
    const std::shared_ptr<Window>& window() const { return _window; }
    void setWindow(std::shared_ptr<Window> window) { _window = std::move(window); }

    // Start-up: Track 1, the window with the main screen sliding up over the launch picture,
    // the Facebook session opened without a login screen.
    bool applicationDidFinishLaunching(Application& application) override;
    // The window was minimised, hidden or closed, or the session locked: a recording ends.
    void applicationWillResignActive(Application& application) override;
    void applicationDidBecomeActive(Application& application) override;
    bool applicationOpenURL(Application& application, const std::string& url,
                            const std::string& sourceApplication) override;
    bool applicationHandleOpenURL(Application& application, const std::string& url) override;
    // Closing the window while recording or rendering asks first.
    bool applicationShouldTerminate(Application& application) override;
    void alertViewClickedButtonAtIndex(AlertView& alertView, int buttonIndex) override;

    // The launch transition: the launch picture slides out above while `mainView` slides up.
    void defaultAnimation(const ViewPtr& mainView);
    // The launch picture while the transition runs, null afterwards.
    const std::shared_ptr<ImageView>& launchImageView() const { return _launchImageView; }

    bool openSessionWithAllowLoginUI(bool allowLoginUI,
                                     const std::vector<std::string>& permissions);
    void sessionStateChanged(const FacebookSessionPtr& session, int state, const ErrorPtr& error);
    // The name of a Facebook error code, "[Unknown]" for codes it does not know.
    static std::string FBErrorCodeDescription(long code);

    // Selects the sound by the picker's row number: 0 a library song (with `title` and `url`),
    // 1 the recording's own sound, 2 silence, n >= 3 built-in track n - 2. A track code beyond
    // the catalogue changes nothing and gives false.
    bool selectAudioTrack(unsigned code, const std::string& title = {},
                          const std::string& url = {});

    // The built-in tracks' files in catalogue order, read once per process from the bundled
    // "SoundTrackInfo" property list.
    const std::vector<std::string>& soundTrackInfo() const;

    // Writes the thumbnail beside a movie ("a.mov" gets "a.jpg") unless one is there already.
    // Safe on any thread; the library has it done by ThumbnailQueue.
    static void generatorThumbFile(const std::string& moviePath);
    // The size of a movie picture's thumbnail, in points at scale 1: it fits 150 x 112.5 when
    // the picture is wider than tall, otherwise 160 x 120, keeping the picture's proportions.
    static Size thumbnailSize(Size pictureSize);

    std::int32_t audioType() const { return _audioType; }
    void setAudioType(std::int32_t audioType) { _audioType = audioType; }
    const std::string& audioTitle() const { return _audioTitle; }
    void setAudioTitle(std::string audioTitle) { _audioTitle = std::move(audioTitle); }
    // A file path; empty for none ("Mute", and "From Video" until a render sets the source).
    const std::string& audioTrackURL() const { return _audioTrackURL; }
    void setAudioTrackURL(std::string audioTrackURL) { _audioTrackURL = std::move(audioTrackURL); }
    std::int32_t audioTrackIndex() const { return _audioTrackIndex; }
    void setAudioTrackIndex(std::int32_t audioTrackIndex) { _audioTrackIndex = audioTrackIndex; }

private:
    MainScreen* _viewController = nullptr;
    std::shared_ptr<MainScreen> _ownedViewController;
    std::shared_ptr<Window> _window;
    std::shared_ptr<ImageView> _launchImageView;
    std::shared_ptr<AlertView> _quitAlert;
    std::int32_t _audioType = kAudioTypeLibrarySong;
    std::string _audioTitle;
    std::string _audioTrackURL;
    std::int32_t _audioTrackIndex = -1;
};

} // namespace tx
