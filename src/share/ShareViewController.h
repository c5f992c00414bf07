// The screen for one finished movie, shown after a render and from the library: its thumbnail
// (tap to play), back, save to the Videos folder, e-mail, and the Twitter, Facebook and contest
// entries.
#pragma once

#include "platform/foundation/NotificationCenter.h"
#include "platform/system/MailComposer.h"
#include "platform/system/PhotoAlbum.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/ViewController.h"
#include "share/ShareAccountsBar.h"
#include "share/ShareViewTwitterDelegate.h"

#include <chrono>
#include <memory>
#include <string>

namespace tx {

// The application's web page, written into mails about a movie.
inline const std::string kAppPageURL = "https://taluvex.org/linux";

class ShareViewController : public ViewController, public MailComposeDelegate {
public:
    ShareViewController() = default;
    ~ShareViewController() override;

    const std::string& path() const { return _path; }
    void setPath(std::string path) { _path = std::move(path); }
    const std::shared_ptr<Button>& thumbnailButton() const { return _thumbnailButton; }
    // The Twitter upload, made on first use and kept while the screen lives.
    const std::shared_ptr<ShareViewTwitterDelegate>& twitterDelegate();
    void setTwitterDelegate(std::shared_ptr<ShareViewTwitterDelegate> delegate) {
        _twitterDelegate = std::move(delegate);
    }
    const std::shared_ptr<ShareAccountsBar>& accountsBar() const { return _accounts; }

    void loadView() override;
    void viewDidLoad() override;
    void addKeyBindings(KeyTable& table) override;

    void onBackButton();
    void onPlay();
    void onSaveToCameraRoll();
    void onEmail();
    void onTwtter();
    void onFacebook();
    void onSubmitToContest();
    void myMovieFinishedCallback(const Notification& notification);

    void mailComposeControllerDidFinish(MailComposer& composer, MailComposeResult result,
                                        const ErrorPtr& error) override;

    // The mail about a movie: its subject, HTML body and the attachment's name for a day.
    static const std::string kMailSubject;
    static std::string mailBody();
    static std::string mailAttachmentName(std::chrono::system_clock::time_point day);
    // The alert texts after saving to the album.
    static std::string savedMessage();
    static std::string saveFailedMessage(const Error& error);

    // The buttons, for tests and the tour.
    const std::shared_ptr<Button>& saveButton() const { return _save; }
    // The overlay of a save to Videos in progress (with its Cancel), or null.
    const std::shared_ptr<View>& savingOverlay() const { return _savingOverlay; }
    const std::shared_ptr<Button>& emailButton() const { return _email; }
    const std::shared_ptr<Button>& twitterButton() const { return _twitter; }
    const std::shared_ptr<Button>& facebookButton() const { return _facebook; }
    const std::shared_ptr<Button>& contestButton() const { return _contest; }

private:
    // False, after telling the user, when the movie is no longer where `path` says.
    bool movieIsThere();
    static void showAlert(const std::string& message);

    std::string _path;
    std::shared_ptr<Button> _thumbnailButton;
    std::shared_ptr<Button> _back;
    std::shared_ptr<Button> _save;
    std::shared_ptr<PhotoAlbum::Saving> _saving;
    std::shared_ptr<View> _savingOverlay;
    void endSaving();
    std::shared_ptr<Button> _email;
    std::shared_ptr<Button> _twitter;
    std::shared_ptr<Button> _facebook;
    std::shared_ptr<Button> _contest;
    std::shared_ptr<ShareViewTwitterDelegate> _twitterDelegate;
    std::shared_ptr<ShareAccountsBar> _accounts;
};

} // namespace tx
