// Pages of the Twitter and Facebook sharing: the Facebook panel with the movie's framed picture,
// its "Uploading..." box and its wait for the browser's sign-in, the Twitter PIN screen, the
// sending overlay half full with its Cancel button, and the alerts the uploads end with.
#include "Gallery.h"
#include "platform/foundation/Translation.h"
#include "GalleryMovies.h"

#include "platform/foundation/RunLoop.h"
#include "platform/ui/AlertView.h"
#include "services/hud/MBProgressHUD.h"
#include "share/SA_OAuthTwitterController.h"
#include "share/ShareFacebookViewController.h"
#include "share/ShareViewController.h"
#include "share/ShareViewFacebookDelegate.h"
#include "share/ShareViewTwitterDelegate.h"
#include "share/UploadCancelControls.h"

namespace tx::gallery {
namespace {

std::shared_ptr<ShareFacebookViewController> showPanel(Window& window) {
    auto share = presentShare(window);
    auto panel = std::make_shared<ShareFacebookViewController>();
    panel->setPath(share->path());
    panel->show();
    panel->tv_msg()->setText("Watch my skate run go backwards!");
    return panel;
}

void alert(const std::string& title, const std::string& message, const std::string& button) {
    auto shown = std::make_shared<AlertView>(title, message, std::weak_ptr<AlertViewDelegate>(),
                                             button, std::vector<std::string>{});
    shown->show();
}

GalleryRegistration panel({"facebook-panel", [](Window& window) { showPanel(window); }});

GalleryRegistration panelSliding({"facebook-panel-sliding",
                                  [](Window& window) { showPanel(window); }, 0.25});

GalleryRegistration uploading({"facebook-uploading",
                               [](Window& window) { showPanel(window)->showUploadingBox(); }});

GalleryRegistration browser({"facebook-continue-in-browser", [](Window& window) {
                                 auto shown = showPanel(window);
                                 shown->setWaitingForLogin(true);
                             }});

GalleryRegistration pin({"twitter-pin", [](Window& window) {
                             auto share = presentShare(window);
                             auto engine = SA_OAuthTwitterEngine::initOAuthWithDelegate({});
                             auto screen = std::make_shared<SA_OAuthTwitterController>(
                                 engine, std::weak_ptr<SA_OAuthTwitterControllerDelegate>());
                             screen->setStartsOnAppear(false);
                             share->presentViewController(screen, false);
                             screen->pinField()->setText("1234567");
                             screen->statusLabel()->setText(
                                 _("Twitter's page is open in your browser."));
                         }});

GalleryRegistration sending({"twitter-sending-half", [](Window& window) {
                                 presentShare(window);
                                 auto overlay = std::make_shared<CancellableSendingView>([] {});
                                 overlay->show();
                                 overlay->setProgress(0.5f);
                             }});

GalleryRegistration uploaded({"alert-movie-uploaded", [](Window& window) {
                                  presentShare(window);
                                  alert("", _(ShareViewTwitterDelegate::kUploadedMessage), _("OK"));
                              }});

GalleryRegistration failure({"alert-upload-failure", [](Window& window) {
                                 presentShare(window);
                                 alert("", _(ShareViewTwitterDelegate::kUploadFailureMessage), _("OK"));
                             }});

GalleryRegistration result({"alert-facebook-result", [](Window& window) {
                                showPanel(window);
                                alert(_(ShareViewFacebookDelegate::kResultTitle),
                                      "error: domain = Facebook, code = HTTPError(5)",
                                      _(ShareViewFacebookDelegate::kResultButton));
                            }});

GalleryRegistration loginError({"alert-facebook-error", [](Window& window) {
                                    showPanel(window);
                                    alert(_("Error"), "LoginFailedOrCancelled", _("OK"));
                                }});

GalleryRegistration notSetUp({"alert-twitter-not-set-up", [](Window& window) {
                                  auto share = presentShare(window);
                                  share->onTwtter();
                              }});

} // namespace
} // namespace tx::gallery
