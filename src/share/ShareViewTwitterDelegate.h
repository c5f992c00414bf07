// Puts one movie on Twitter: signs in when needed, has TwitVid check the user's Twitter identity
// (OAuth Echo), uploads the movie in chunks under the sending overlay, then tweets its link.
#pragma once

#include "platform/foundation/Translation.h"
#include "platform/foundation/Object.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/ViewController.h"
#include "services/twitter/SA_OAuthTwitterEngine.h"
#include "services/twitvid/TwitVid.h"
#include "share/SA_OAuthTwitterController.h"
#include "share/SendingVideoProgressView.h"

#include <functional>
#include <memory>
#include <string>

namespace tx {

class ShareViewTwitterDelegate : public Object,
                                 public SA_OAuthTwitterEngineDelegate,
                                 public SA_OAuthTwitterControllerDelegate,
                                 public TwitVidDelegate {
public:
    static constexpr const char* kUploadedMessage = N_("Movie uploaded successfully");
    static constexpr const char* kUploadFailureMessage = N_("Upload failure");
    static constexpr const char* kSignInFailedMessage = N_("Twitter sign-in failed");
    // What the alert says when the sign-in failed with `error`: the failure named once.
    static std::string signInFailureText(const ErrorPtr& error);

    // The engine is made with the application's keys from services.ini; `parentController` (not
    // kept) presents the sign-in screen and must outlive this object.
    static std::shared_ptr<ShareViewTwitterDelegate> initWithController(ViewController* parent);
    // An upload still running stops, and its overlay leaves the window.
    ~ShareViewTwitterDelegate() override;

    const std::string& path() const { return _path; }
    void setPath(std::string path) { _path = std::move(path); }
    const std::shared_ptr<SA_OAuthTwitterEngine>& engine() const { return _engine; }
    const std::shared_ptr<TwitVid>& twitVid() const { return _twitVid; }
    const std::shared_ptr<SendingVideoProgressView>& sending() const { return _sending; }
    bool isRetryTwitterConnect() const { return _isRetryTwitterConnect; }

    // Starts an attempt; does nothing while one is under way.
    void onTwitter(bool retryTwitterConnect);
    // Stops the attempt in progress without a word (Esc or Cancel on the overlay).
    void cancelUpload();
    bool isBusy() const { return _busy; }
    // Runs when the stored sign-in has been made or forgotten.
    void setSignInChanged(std::function<void()> handler) { _signInChanged = std::move(handler); }

    // The tweet announcing a movie at `mediaURL`.
    static std::string tweetText(const std::string& mediaURL);

    // The engine's store of the sign-in.
    void storeCachedTwitterOAuthData(const std::string& data, const std::string& username) override;
    std::optional<std::string>
    cachedTwitterOAuthDataForUsername(const std::string& username) override;

    void OAuthTwitterControllerAuthenticatedWithUsername(SA_OAuthTwitterController&,
                                                         const std::string& username) override;
    void OAuthTwitterControllerFailed(SA_OAuthTwitterController&, const ErrorPtr& error) override;
    void OAuthTwitterControllerCanceled(SA_OAuthTwitterController&) override;

    void requestDidReceiveResponse(TVRequest& request,
                                   const std::map<std::string, std::string>& answer) override;
    void requestDidFailWithError(TVRequest& request, const ErrorPtr& error) override;
    void requestDidSendBytes(TVRequest& request, std::uint64_t bytesSent,
                             std::uint64_t totalBytesSent, std::uint64_t bytesExpected,
                             std::uint64_t totalBytesExpected) override;

private:
    ShareViewTwitterDelegate() = default;
    void authenticate();
    void hideSending();
    void endAttempt();
    static void showAlert(const std::string& message);

    ViewController* _parentController = nullptr;
    std::shared_ptr<SA_OAuthTwitterEngine> _engine;
    std::shared_ptr<TwitVid> _twitVid;
    std::shared_ptr<SendingVideoProgressView> _sending;
    std::string _path;
    bool _isRetryTwitterConnect = false;
    bool _busy = false;
    std::function<void()> _signInChanged;
};

} // namespace tx
