#include "share/ShareFacebookViewController.h"
#include "platform/foundation/Translation.h"

#include "platform/ui/KeyTable.h"

#include "app/AVThumbnailMgr.h"
#include "app/TaluvexAppDelegate.h"
#include "platform/ui/Image.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"
#include "services/hud/MBProgressHUD.h"
#include "share/UploadCancelControls.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tx {

namespace {

// The message box: Esc reaches the panel rather than the screen under it.
class PanelTextView : public TextView {
public:
    PanelTextView(const Rect& frame, std::function<void()> onEscape)
        : TextView(frame), _onEscape(std::move(onEscape)) {}
    bool keyPressed(const KeyEvent& event) override {
        if (event.key == KeyEvent::Key::Escape) {
            auto onEscape = _onEscape;
            onEscape();
            return true;
        }
        return TextView::keyPressed(event);
    }

private:
    std::function<void()> _onEscape;
};

double screenHeight() {
    return Screen::mainScreen().bounds().size.height;
}

} // namespace

ShareFacebookViewController::ShareFacebookViewController() {
    NotificationCenter::defaultCenter().addObserver(
        this, TaluvexAppDelegate::sessionStateChangedNotification(),
        [this](const Notification& notification) { sessionStateChanged(notification); });
}

ShareFacebookViewController::~ShareFacebookViewController() {
    NotificationCenter::defaultCenter().removeObserver(this);
}

const std::shared_ptr<ShareViewFacebookDelegate>& ShareFacebookViewController::facebookDelegate() {
    if (!_facebookDelegate) {
        _facebookDelegate = std::make_shared<ShareViewFacebookDelegate>();
        // The message box takes the keys again once the progress box has gone.
        _facebookDelegate->setUploadEnded([this] {
            if (_tvMsg) {
                _tvMsg->becomeFirstResponder();
            }
        });
    }
    return _facebookDelegate;
}

ImagePtr ShareFacebookViewController::tiltedPicture(const ImagePtr& picture) {
    if (!picture) {
        return nullptr;
    }
    const Size size = picture->size();
    const double side = std::min(size.width, size.height);
    if (side <= 0) {
        return nullptr;
    }
    ImagePtr square =
        picture->cropped(Rect((size.width - side) / 2, (size.height - side) / 2, side, side));
    return square->rotated(kTiltDegrees * std::numbers::pi / 180);
}

void ShareFacebookViewController::loadView() {
    const double h = screenHeight();
    auto root = std::make_shared<View>(Rect(0, 0, 320, h));
    root->setBackgroundColor(theme::background());
    auto background = std::make_shared<ImageView>(Rect(0, 0, 320, h));
    background->setImage(Image::imageNamed("facebook_panel_bg_640_1136"));
    background->setContentMode(ContentMode::Top);
    root->addSubview(background);

    const double extra = (h - 480) * 0.3;
    _close = std::make_shared<Button>(Rect(276, 4, 40, 40));
    _close->setImage(Image::imageNamed("close_btn_80_80"), ControlStateNormal);
    _close->setImage(Image::imageNamed("close_btn_P_80_80"), ControlStateHighlighted);
    _close->setAccessibilityLabel(_("Close"));
    _close->addTarget(this, ControlEventTouchUpInside, [this](Control&) { onClose(); });
    root->addSubview(_close);

    _ivImage = std::make_shared<ImageView>(Rect(85, 62 + extra, 150, 150));
    _ivImage->setContentMode(ContentMode::ScaleToFill);
    _ivImage->setClipsToBounds(true);
    root->addSubview(_ivImage);

    auto prompt = std::make_shared<Label>(Rect(20, 226 + extra, 280, 20));
    prompt->setText(_("Say something about your movie:"));
    prompt->setFont(Font::systemFont(14));
    prompt->setBackgroundColor(Color::clear());
    root->addSubview(prompt);

    _tvMsg =
        std::make_shared<PanelTextView>(Rect(20, 250 + extra, 280, 96), [this] { onEscape(); });
    _tvMsg->setBackgroundColor(Color::whiteColor());
    _tvMsg->setCornerRadius(8);
    _tvMsg->setAccessibilityLabel(_("Message"));
    root->addSubview(_tvMsg);

    _share = std::make_shared<Button>(Rect(100, 360 + extra, 120, 40));
    _share->setImage(Image::imageNamed("facebook_share_btn_240_80"), ControlStateNormal);
    _share->setImage(Image::imageNamed("facebook_share_btn_P_240_80"), ControlStateHighlighted);
    _share->setAccessibilityLabel(_("Share"));
    _share->addTarget(this, ControlEventTouchUpInside, [this](Control&) { onShare(); });
    root->addSubview(_share);

    // Shown while a sign-in waits for the browser: the panel dimmed, a box with Cancel.
    _waiting = std::make_shared<View>(Rect(0, 0, 320, h));
    _waiting->setBackgroundColor(Color::black().withAlpha(0.55));
    auto box = std::make_shared<View>(Rect(30, 150 + extra, 260, 130));
    box->setBackgroundColor(theme::panel());
    box->setCornerRadius(12);
    _waiting->addSubview(box);
    auto waitingText = std::make_shared<Label>(Rect(10, 14, 240, 60));
    waitingText->setText(_(kContinueInBrowser));
    waitingText->setFont(Font::boldSystemFont(17));
    waitingText->setTextAlignment(TextAlignment::Center);
    waitingText->setNumberOfLines(0);
    waitingText->setBackgroundColor(Color::clear());
    box->addSubview(waitingText);
    auto cancel = std::make_shared<Button>(Rect(101, 84, 58, 28));
    cancel->setImage(Image::imageNamed("cancel_btn_116_56"), ControlStateNormal);
    cancel->setImage(Image::imageNamed("cancel_btn_P_116_56"), ControlStateHighlighted);
    cancel->setAccessibilityLabel(_("Cancel"));
    cancel->addTarget(this, ControlEventTouchUpInside, [this](Control&) { onCancelLogin(); });
    box->addSubview(cancel);
    _waiting->setHidden(true);
    root->addSubview(_waiting);
    setView(root);
}

void ShareFacebookViewController::viewDidLoad() {
    ImagePtr tilted = tiltedPicture(_path.empty() ? ImagePtr() : AVThumbnailMgr::thumbnail(_path));
    _ivImage->setImage(tilted);
    _ivImage->setMaskImage(Image::imageNamed(kFrameMask));
}

void ShareFacebookViewController::show() {
    Window* window = Window::keyWindow();
    if (window == nullptr) {
        return;
    }
    const double h = screenHeight();
    ViewPtr panel = view();
    panel->setFrame(Rect(320, 0, 320, h));
    window->addSubview(panel);
    _reference = shared_from_this();
    View::transition(window, kSlideSeconds, [panel, h] { panel->setFrame(Rect(0, 0, 320, h)); });
    _tvMsg->becomeFirstResponder();
}

void ShareFacebookViewController::hide() {
    Window* window = Window::keyWindow();
    ViewPtr panel = view();
    const double h = screenHeight();
    _tvMsg->resignFirstResponder();
    auto self = std::static_pointer_cast<ShareFacebookViewController>(shared_from_this());
    auto done = [self, panel](bool) {
        panel->removeFromSuperview();
        self->_reference.reset();
    };
    if (window == nullptr || panel->superview() == nullptr) {
        done(true);
        return;
    }
    View::transition(
        window, kSlideSeconds, [panel, h] { panel->setFrame(Rect(320, 0, 320, h)); }, done);
}

void ShareFacebookViewController::onClose() {
    if (facebookDelegate()->isUploading()) {
        return; // Cancel on the progress box stops the upload first
    }
    if (_waitingForLogin) {
        onCancelLogin();
    }
    hide();
}

void ShareFacebookViewController::addKeyBindings(KeyTable& table) {
    table.press({KeyChord::special(KeyEvent::Key::Return, true)}, _("Share the movie"), _share.get(),
                [this] { onShare(); });
    table.add({KeyChord::special(KeyEvent::Key::Escape)}, _("Close the panel (or stop the upload)"),
              [this] { onEscape(); });
}

void ShareFacebookViewController::onEscape() {
    if (facebookDelegate()->isUploading()) {
        facebookDelegate()->cancel();
    } else if (_waitingForLogin) {
        onCancelLogin();
    } else {
        onClose();
    }
}

void ShareFacebookViewController::onShare() {
    facebookDelegate()->setPath(_path);
    // A second tap while an upload or a sign-in is under way would upload the movie twice.
    if (facebookDelegate()->isUploading() || _waitingForLogin) {
        return;
    }
    auto session = FacebookSession::activeSession();
    if (!session->isOpen()) {
        if (auto* app = TaluvexAppDelegate::sharedDelegate()) {
            setWaitingForLogin(true);
            app->openSessionWithAllowLoginUI(true, TaluvexAppDelegate::facebookReadPermissions());
        }
        return;
    }
    startUpload();
}

void ShareFacebookViewController::sessionStateChanged(const Notification& notification) {
    // Only a sign-in this panel asked for starts an upload: another "open" report (a session
    // opened elsewhere, permissions granted) must not send the movie again.
    if (!_waitingForLogin) {
        return;
    }
    auto session = std::dynamic_pointer_cast<FacebookSession>(notification.object);
    const int state = session ? session->state() : FacebookSession::activeSession()->state();
    if (state == FBSessionStateOpen) {
        setWaitingForLogin(false);
        startUpload();
    } else if (state == FBSessionStateClosed || state == FBSessionStateClosedLoginFailed) {
        // The start-up delegate has said why; the panel stays with the message.
        setWaitingForLogin(false);
    }
}

void ShareFacebookViewController::onCancelLogin() {
    setWaitingForLogin(false);
    // Closing the unopened session ends the browser sign-in; nothing stored is lost.
    auto session = FacebookSession::activeSession();
    if (!session->isOpen()) {
        session->closeAndClearTokenInformation();
    }
}

void ShareFacebookViewController::setWaitingForLogin(bool waiting) {
    _waitingForLogin = waiting;
    if (_waiting) {
        _waiting->setHidden(!waiting);
    }
}

std::shared_ptr<MBProgressHUD> ShareFacebookViewController::showUploadingBox() {
    Window* window = Window::keyWindow();
    if (window == nullptr) {
        return nullptr;
    }
    auto hud = MBProgressHUD::showHUDAddedTo(*window, true);
    hud->setLabelText(_(kUploadingText));
    // The panel dims behind the box, so the Cancel under it reads as part of it.
    hud->setBackgroundColor(Color::black().withAlpha(0.45));
    std::weak_ptr<Object> weakSelf = shared_from_this();
    auto cancel = [weakSelf] {
        if (auto self = std::static_pointer_cast<ShareFacebookViewController>(weakSelf.lock())) {
            self->facebookDelegate()->cancel();
        }
    };
    // The box and its Cancel sit over the movie's picture, clear of the typed message.
    constexpr double kCancelGapPoints = 6;
    constexpr double kCancelHeightPoints = 28;
    const double boxHeight = hud->boxFrame().height();
    const double pictureMiddle = _ivImage->frame().midY();
    hud->setYOffset(pictureMiddle - (boxHeight + kCancelGapPoints + kCancelHeightPoints) / 2 +
                    boxHeight / 2 - screenHeight() / 2);
    addUploadCancelControls(
        *hud, Rect(131, hud->boxFrame().maxY() + kCancelGapPoints, 58, kCancelHeightPoints),
        cancel);
    return hud;
}

void ShareFacebookViewController::startUpload() {
    if (!showUploadingBox()) {
        return;
    }
    std::weak_ptr<Object> weakSelf = shared_from_this();
    facebookDelegate()->onFacebook(_tvMsg->text(), [weakSelf] {
        if (auto self = std::static_pointer_cast<ShareFacebookViewController>(weakSelf.lock())) {
            self->view()->endEditing(true);
            self->hide();
        }
    });
}

} // namespace tx
