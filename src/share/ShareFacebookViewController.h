// The Facebook panel that slides in over the share screen: the movie's picture, tilted and
// framed, a message and the Share and Close buttons. It keeps itself alive while on screen and
// starts the upload once a sign-in it asked for has opened the session.
#pragma once

#include "platform/foundation/Translation.h"
#include "app/FacebookSession.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/TextView.h"
#include "platform/ui/ViewController.h"
#include "services/hud/MBProgressHUD.h"
#include "share/ShareViewFacebookDelegate.h"

#include <memory>
#include <string>

namespace tx {

class ShareFacebookViewController : public ViewController {
public:
    static constexpr double kSlideSeconds = 0.5;
    static constexpr double kTiltDegrees = -10;
    static constexpr const char* kFrameMask = "bw_facebook_picture_frame_self";
    static constexpr const char* kUploadingText = N_("Uploading...");
    static constexpr const char* kContinueInBrowser = N_("Continue in your browser…");

    ShareFacebookViewController();
    ~ShareFacebookViewController() override;

    const std::shared_ptr<ShareViewFacebookDelegate>& facebookDelegate();
    const std::shared_ptr<Object>& reference() const { return _reference; }
    const std::string& path() const { return _path; }
    void setPath(std::string path) { _path = std::move(path); }
    const std::shared_ptr<ImageView>& iv_image() const { return _ivImage; }
    const std::shared_ptr<TextView>& tv_msg() const { return _tvMsg; }
    const std::shared_ptr<Button>& shareButton() const { return _share; }
    const std::shared_ptr<Button>& closeButton() const { return _close; }
    // The "Continue in your browser…" box shown while a sign-in waits for the browser.
    const std::shared_ptr<View>& waitingView() const { return _waiting; }
    bool isWaitingForLogin() const { return _waitingForLogin; }

    void loadView() override;
    void viewDidLoad() override;

    void show();
    void hide();
    void onShare();
    void onClose();
    void sessionStateChanged(const Notification& notification);
    // Esc: cancels the upload or the sign-in wait, else closes the panel.
    void onEscape();
    void addKeyBindings(KeyTable& table) override;
    // Stops waiting for the browser's sign-in.
    void onCancelLogin();
    // The "Uploading..." box over the key window, with its Cancel; null without a window.
    std::shared_ptr<MBProgressHUD> showUploadingBox();
    // Shows or hides the "Continue in your browser…" box.
    void setWaitingForLogin(bool waiting);

    // The movie's picture squared (centre kept), turned by -10 degrees on a canvas of its size.
    static ImagePtr tiltedPicture(const ImagePtr& picture);

private:
    void startUpload();

    std::shared_ptr<ShareViewFacebookDelegate> _facebookDelegate;
    std::shared_ptr<Object> _reference;
    std::string _path;
    std::shared_ptr<ImageView> _ivImage;
    std::shared_ptr<TextView> _tvMsg;
    std::shared_ptr<Button> _share;
    std::shared_ptr<Button> _close;
    std::shared_ptr<View> _waiting;
    bool _waitingForLogin = false;
};

} // namespace tx
