#include "share/ShareViewController.h"
#include "platform/foundation/Translation.h"

#include "app/AVThumbnailMgr.h"
#include "app/CustomEffectSound.h"
#include "app/TaluvexAppDelegate.h"
#include "platform/foundation/Paths.h"
#include "platform/system/PhotoAlbum.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/KeyTable.h"
#include "services/http/ServiceConfig.h"
#include "share/ServicesHint.h"
#include "platform/ui/Image.h"
#include "platform/ui/Screen.h"
#include "share/MyMPMoviePlayerViewController.h"
#include "share/UploadCancelControls.h"
#include "share/SubmitToContestViewController.h"
#include "share/ShareFacebookViewController.h"

#include <ctime>

namespace tx {

const std::string ShareViewController::kMailSubject = N_("My backwards movie");

ShareViewController::~ShareViewController() {
    NotificationCenter::defaultCenter().removeObserver(this);
}

std::string ShareViewController::mailBody() {
    // The phone's text said "App for iPhone"; here it is the Linux application.
    return "<html><head></head><body>" +
           withArguments(_("This is my backwards movie which I made with %1 App for Linux."),
                         {"<a href='" + kAppPageURL + "'>Taluvex</a>"}) +
           "<br>" + _("Have Fun!") + "</body></html>";
}

std::string ShareViewController::mailAttachmentName(std::chrono::system_clock::time_point day) {
    const std::time_t t = std::chrono::system_clock::to_time_t(day);
    std::tm local{};
    localtime_r(&t, &local);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%d", &local);
    return std::string("Taluvex-") + date + ".mov";
}

std::string ShareViewController::savedMessage() {
    return withArguments(_("Your backwards movie has been saved to %1"),
                         {PhotoAlbum::pathForDisplay(PhotoAlbum::albumDirectory())});
}

std::string ShareViewController::saveFailedMessage(const Error& error) {
    return PhotoAlbum::isDiskFull(error) ? _("Sorry. Not enough memory.")
                                         : error.localizedDescription();
}

void ShareViewController::loadView() {
    const Rect bounds = Screen::mainScreen().bounds();
    // The taller screen spreads the same layout a little.
    const double extra = bounds.size.height - 480;
    auto root = std::make_shared<View>(bounds);
    root->setBackgroundColor(theme::background());
    auto background = std::make_shared<ImageView>(bounds);
    background->setImage(Image::imageNamed("share_bg_640_1136"));
    // The title bar stays whole on the shorter screen; the picture's foot is cut instead.
    background->setContentMode(ContentMode::Top);
    root->addSubview(background);

    auto button = [&](const std::string& picture, const Rect& frame) {
        auto b = std::make_shared<Button>(frame);
        b->setImage(Image::imageNamed(picture + "_" + std::to_string(int(frame.size.width * 2)) +
                                      "_" + std::to_string(int(frame.size.height * 2))),
                    ControlStateNormal);
        b->setImage(Image::imageNamed(picture + "_P_" + std::to_string(int(frame.size.width * 2)) +
                                      "_" + std::to_string(int(frame.size.height * 2))),
                    ControlStateHighlighted);
        root->addSubview(b);
        return b;
    };
    _back = button("back_btn", Rect(6, 8, 60, 30));
    _back->addTarget(this, ControlEventTouchUpInside, [this](Control&) { onBackButton(); });

    const double top = 62 + extra * 0.35;
    _thumbnailButton = std::make_shared<Button>(Rect(20, top, 280, 210));
    _thumbnailButton->setBackgroundColor(Color::black());
    _thumbnailButton->setCornerRadius(10);
    _thumbnailButton->setClipsToBounds(true);
    _thumbnailButton->setImageContentMode(ContentMode::ScaleAspectFit);
    _thumbnailButton->addTarget(this, ControlEventTouchUpInside, [this](Control&) { onPlay(); });
    root->addSubview(_thumbnailButton);
    auto overlay = std::make_shared<ImageView>(Rect(130, top + 75, 60, 60));
    overlay->setImage(Image::imageNamed("share_play_overlay_120_120"));
    overlay->setUserInteractionEnabled(false);
    root->addSubview(overlay);

    const double tiles = top + 226 + extra * 0.3;
    _save = button("share_camera_roll_btn", Rect(16, tiles, 140, 48));
    _save->addTarget(this, ControlEventTouchUpInside, [this](Control&) { onSaveToCameraRoll(); });
    _email = button("share_email_btn", Rect(164, tiles, 140, 48));
    _email->addTarget(this, ControlEventTouchUpInside, [this](Control&) { onEmail(); });
    _twitter = button("share_twitter_btn", Rect(16, tiles + 56, 140, 48));
    _twitter->addTarget(this, ControlEventTouchUpInside, [this](Control&) { onTwtter(); });
    _facebook = button("share_facebook_btn", Rect(164, tiles + 56, 140, 48));
    _facebook->addTarget(this, ControlEventTouchUpInside, [this](Control&) { onFacebook(); });
    // A service that is not set up stays tappable, dimmed: the tap says what to set.
    _twitter->setAlpha(ShareAccountsBar::twitterSetupProblem() ? 0.4 : 1.0);
    _facebook->setAlpha(ShareAccountsBar::facebookSetupProblem() ? 0.4 : 1.0);
    _contest = button("share_contest_btn", Rect(16, tiles + 112, 288, 48));
    _contest->addTarget(this, ControlEventTouchUpInside, [this](Control&) { onSubmitToContest(); });
    // Without a contest address the button is dimmed and says so before any form is filled.
    _contest->setAlpha(ServiceConfig::current().contestAddress.empty() ? 0.4 : 1.0);
    _back->setAccessibilityLabel(_("Back"));
    _thumbnailButton->setAccessibilityLabel(_("Play the movie"));
    _save->setAccessibilityLabel(_("Save to Videos"));
    _email->setAccessibilityLabel(_("Email"));
    _twitter->setAccessibilityLabel(_("Twitter"));
    _facebook->setAccessibilityLabel(_("Facebook"));
    _contest->setAccessibilityLabel(_("Submit to the contest"));
    _accounts = std::make_shared<ShareAccountsBar>(Rect(0, bounds.size.height - 30, 320, 28));
    _accounts->setOnSignedOut([this] {
        if (_twitterDelegate && !ShareAccountsBar::twitterAccount()) {
            _twitterDelegate->engine()->clearAccessToken();
        }
    });
    root->addSubview(_accounts);
    NotificationCenter::defaultCenter().addObserver(
        this, TaluvexAppDelegate::sessionStateChangedNotification(),
        [this](const Notification&) { _accounts->refresh(); });
    setView(root);
}

void ShareViewController::viewDidLoad() {
    if (_path.empty()) {
        return;
    }
    ImagePtr thumbnail = AVThumbnailMgr::thumbnail(_path);
    _thumbnailButton->setImage(thumbnail, ControlStateNormal);
    _thumbnailButton->setImage(thumbnail, ControlStateHighlighted);
}

void ShareViewController::addKeyBindings(KeyTable& table) {
    table.press({KeyChord::character("p")}, _("Play the movie"), _thumbnailButton.get(),
                [this] { onPlay(); });
    table.press({KeyChord::character("s")}, _("Save the movie to the Videos folder"), _save.get(),
                [this] { onSaveToCameraRoll(); });
    table.press({KeyChord::character("m")}, _("Mail the movie"), _email.get(), [this] { onEmail(); });
    table.press({KeyChord::character("t")}, _("Share on Twitter"), _twitter.get(),
                [this] { onTwtter(); });
    table.press({KeyChord::character("f")}, _("Share on Facebook"), _facebook.get(),
                [this] { onFacebook(); });
    table.press({KeyChord::character("e")}, _("Enter the movie in the contest"), _contest.get(),
                [this] { onSubmitToContest(); });
    table.press({KeyChord::special(KeyEvent::Key::Escape)}, _("Back to the library"), _back.get(),
                [this] { onBackButton(); });
}

void ShareViewController::showAlert(const std::string& message) {
    auto alert = std::make_shared<AlertView>("", message, std::weak_ptr<AlertViewDelegate>(),
                                             _("OK"), std::vector<std::string>{});
    alert->show();
}

bool ShareViewController::movieIsThere() {
    if (fileExists(_path)) {
        return true;
    }
    showAlert(withArguments(_("The movie \"%1\" is no longer there. It may have been moved or "
                              "deleted."),
                            {lastPathComponent(_path)}));
    return false;
}

void ShareViewController::onBackButton() {
    CustomEffectSound::share()->playEffectSound(kSoundEffect_BtnClick);
    dismissViewController(true);
}

void ShareViewController::onPlay() {
    if (_path.empty() || !movieIsThere()) {
        return;
    }
    auto player = std::make_shared<MyMPMoviePlayerViewController>(_path);
    NotificationCenter::defaultCenter().addObserver(
        this, kMPMoviePlayerPlaybackDidFinishNotification,
        [this](const Notification& n) { myMovieFinishedCallback(n); }, player->moviePlayer().get());
    presentViewController(player, true);
}

void ShareViewController::myMovieFinishedCallback(const Notification&) {
    NotificationCenter::defaultCenter().removeObserver(this,
                                                       kMPMoviePlayerPlaybackDidFinishNotification);
    view()->setFrame(Rect(0, 0, 320, Screen::mainScreen().bounds().size.height));
}

void ShareViewController::onSaveToCameraRoll() {
    if (_path.empty() || !movieIsThere()) {
        return;
    }
    if (_saving) {
        return; // one save at a time
    }
    // The copy of a long movie takes a while: its progress shows, and Cancel or Esc stops it.
    std::weak_ptr<Object> weakSelf = shared_from_this();
    auto overlay = std::make_shared<CancellableSendingView>([weakSelf] {
        if (auto self = std::static_pointer_cast<ShareViewController>(weakSelf.lock())) {
            if (self->_saving) {
                self->_saving->cancel();
            }
            self->endSaving();
        }
    });
    _savingOverlay = overlay;
    overlay->show();
    _saving = PhotoAlbum::writeVideoAtPathToSavedPhotosAlbum(
        _path,
        [weakSelf](const std::string&, const ErrorPtr& error) {
            if (auto self = std::static_pointer_cast<ShareViewController>(weakSelf.lock())) {
                self->endSaving();
            }
            showAlert(error ? saveFailedMessage(*error) : savedMessage());
        },
        [overlay](double fraction) { overlay->setProgress(static_cast<float>(fraction)); });
}

void ShareViewController::endSaving() {
    _saving.reset();
    if (auto overlay = std::dynamic_pointer_cast<SendingVideoProgressView>(_savingOverlay)) {
        overlay->hide();
    }
    _savingOverlay.reset();
}

void ShareViewController::onEmail() {
    if (_path.empty() || !movieIsThere()) {
        return;
    }
    auto composer = std::make_shared<MailComposer>();
    composer->setMailComposeDelegate(sharedAs<MailComposeDelegate>());
    composer->setSubject(_(kMailSubject.c_str()));
    composer->addAttachment(_path, "video/quicktime",
                            mailAttachmentName(std::chrono::system_clock::now()));
    composer->setMessageBody(mailBody(), true);
    composer->present();
}

void ShareViewController::mailComposeControllerDidFinish(MailComposer&, MailComposeResult result,
                                                         const ErrorPtr& error) {
    // Handed over, saved or cancelled, the user has seen it happen; a failure is said here.
    if (result == MailComposeResult::Failed && error) {
        showAlert(error->localizedDescription());
    }
}

const std::shared_ptr<ShareViewTwitterDelegate>& ShareViewController::twitterDelegate() {
    if (!_twitterDelegate) {
        _twitterDelegate = ShareViewTwitterDelegate::initWithController(this);
        _twitterDelegate->setSignInChanged([this] {
            if (_accounts) {
                _accounts->refresh();
            }
        });
    }
    return _twitterDelegate;
}

void ShareViewController::onTwtter() {
    if (_path.empty()) {
        return;
    }
    if (auto problem = ShareAccountsBar::twitterSetupProblem()) {
        showAlert(*problem);
        return;
    }
    if (!movieIsThere()) {
        return;
    }
    twitterDelegate()->setPath(_path);
    twitterDelegate()->onTwitter(true);
}

void ShareViewController::onFacebook() {
    if (_path.empty()) {
        return;
    }
    if (auto problem = ShareAccountsBar::facebookSetupProblem()) {
        showAlert(*problem);
        return;
    }
    if (!movieIsThere()) {
        return;
    }
    auto panel = std::make_shared<ShareFacebookViewController>();
    panel->setPath(_path);
    panel->show();
}

void ShareViewController::onSubmitToContest() {
    if (!movieIsThere()) {
        return;
    }
    if (ServiceConfig::current().contestAddress.empty()) {
        showAlert(withArguments(_("No contest is configured: set address= under [contest] in %1."),
                                {servicesFileForDisplay()}));
        return;
    }
    auto form = std::make_shared<SubmitToContestViewController>();
    form->setPath(_path);
    form->show();
}

} // namespace tx
