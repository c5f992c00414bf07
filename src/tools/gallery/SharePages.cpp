// Pages of the share screen and what it opens: the screen on a sample movie, the player caught
// mid-playback, the sending overlay half full, the save alert and the no-mail-program offer.
#include "Gallery.h"
#include "platform/foundation/Translation.h"
#include "GalleryMovies.h"

#include "platform/foundation/RunLoop.h"
#include "platform/media/AudioPlayer.h"
#include "platform/system/MailComposer.h"
#include "platform/ui/AlertView.h"
#include "share/MyMPMoviePlayerViewController.h"
#include "share/SendingVideoProgressView.h"
#include "share/ShareViewController.h"

namespace tx::gallery {

std::shared_ptr<ShareViewController> presentShare(Window& window) {
    auto root = std::make_shared<ViewController>();
    window.setRootViewController(root);
    auto share = std::make_shared<ShareViewController>();
    if (!sampleMovies().empty()) {
        share->setPath(sampleMovies().front());
    }
    root->presentViewController(share, false);
    return share;
}

namespace {

GalleryRegistration share({"share", [](Window& window) { presentShare(window); }});

GalleryRegistration player({"player", [](Window& window) {
                                AudioPlayer::setSinkFactory(
                                    [] { return AudioPlayer::makeSilentSink(); });
                                auto root = std::make_shared<ViewController>();
                                window.setRootViewController(root);
                                auto screen = std::make_shared<MyMPMoviePlayerViewController>(
                                    sampleMovies().empty() ? "" : sampleMovies().front());
                                root->presentViewController(screen, false);
                                RunLoop::runFor(0.05);
                                if (const auto& playback = screen->moviePlayer()->playback()) {
                                    playback->pause();
                                    playback->seekToTime(3.2);
                                    RunLoop::runUntil(
                                        [&] {
                                            const auto& picture = screen->pictureView()->picture();
                                            return picture && picture->seconds > 3.1;
                                        },
                                        3);
                                    playback->play();
                                    RunLoop::runFor(0.02);
                                }
                                AudioPlayer::setSinkFactory(nullptr);
                            }});

GalleryRegistration sending({"sending-overlay-half", [](Window& window) {
                                 presentShare(window);
                                 auto overlay = std::make_shared<SendingVideoProgressView>();
                                 overlay->show();
                                 overlay->setProgress(0.5f);
                             }});

GalleryRegistration saved({"share-saved-alert", [](Window& window) {
                               presentShare(window);
                               auto alert = std::make_shared<AlertView>(
                                   "", ShareViewController::savedMessage(),
                                   std::weak_ptr<AlertViewDelegate>(), _("OK"),
                                   std::vector<std::string>{});
                               alert->show();
                           }});

GalleryRegistration noMail({"share-no-mail-program", [](Window& window) {
                                auto shown = presentShare(window);
                                MailComposer::setMailProgram("/nonexistent/xdg-email");
                                shown->onEmail();
                                RunLoop::runUntil(
                                    [&] {
                                        for (const ViewPtr& v : window.subviews()) {
                                            if (dynamic_cast<AlertView*>(v.get()) != nullptr) {
                                                return true;
                                            }
                                        }
                                        return false;
                                    },
                                    3);
                                MailComposer::setMailProgram({});
                            }});

} // namespace
} // namespace tx::gallery
