#include "share/ShareViewTwitterDelegate.h"
#include "platform/foundation/Translation.h"

#include "services/http/ServiceConfig.h"
#include "share/UploadCancelControls.h"

namespace tx {

std::shared_ptr<ShareViewTwitterDelegate>
ShareViewTwitterDelegate::initWithController(ViewController* parent) {
    std::shared_ptr<ShareViewTwitterDelegate> self(new ShareViewTwitterDelegate());
    self->_parentController = parent;
    self->_engine = SA_OAuthTwitterEngine::initOAuthWithDelegate(
        std::static_pointer_cast<SA_OAuthTwitterEngineDelegate>(self));
    const ServiceConfig& config = ServiceConfig::current();
    self->_engine->setConsumerKey(config.twitterConsumerKey);
    self->_engine->setConsumerSecret(config.twitterConsumerSecret);
    return self;
}

ShareViewTwitterDelegate::~ShareViewTwitterDelegate() {
    if (_twitVid) {
        _twitVid->cancel();
    }
    if (_sending) {
        _sending->removeFromSuperview();
    }
}

std::string ShareViewTwitterDelegate::tweetText(const std::string& mediaURL) {
    return std::string(kUploadedMessage) + " " + mediaURL;
}

void ShareViewTwitterDelegate::showAlert(const std::string& message) {
    auto alert = std::make_shared<AlertView>("", message, std::weak_ptr<AlertViewDelegate>(), _("OK"),
                                             std::vector<std::string>{});
    alert->show();
}

void ShareViewTwitterDelegate::storeCachedTwitterOAuthData(const std::string& data,
                                                           const std::string&) {
    // One sign-in for every user name.
    storeTwitterAuthData(data);
    if (_signInChanged) {
        _signInChanged();
    }
}

std::optional<std::string>
ShareViewTwitterDelegate::cachedTwitterOAuthDataForUsername(const std::string&) {
    auto data = loadTwitterAuthData();
    if (data && data->empty()) {
        return std::nullopt;
    }
    return data;
}

void ShareViewTwitterDelegate::onTwitter(bool retryTwitterConnect) {
    // A second tap while an attempt runs would start a second upload of the same movie.
    if (_busy && retryTwitterConnect) {
        return;
    }
    _busy = true;
    _isRetryTwitterConnect = retryTwitterConnect;
    auto signIn = SA_OAuthTwitterController::controllerToEnterCredentialsWithTwitterEngine(
        _engine, std::static_pointer_cast<SA_OAuthTwitterControllerDelegate>(
                     std::static_pointer_cast<ShareViewTwitterDelegate>(shared_from_this())));
    if (signIn) {
        if (_parentController == nullptr) {
            endAttempt();
            return;
        }
        _parentController->presentViewController(signIn, true);
        return;
    }
    authenticate();
}

void ShareViewTwitterDelegate::authenticate() {
    const auto authorization = _engine->echoAuthorization();
    if (!authorization) {
        endAttempt();
        showAlert(_(kUploadFailureMessage));
        return;
    }
    if (_twitVid) {
        _twitVid->cancel();
    }
    _twitVid = std::make_shared<TwitVid>();
    _twitVid->setDelegate(std::static_pointer_cast<TwitVidDelegate>(
        std::static_pointer_cast<ShareViewTwitterDelegate>(shared_from_this())));
    _twitVid->authenticateWithXVerifyCredentialsAuthorization(*authorization,
                                                              _engine->verifyCredentialsURL());
}

void ShareViewTwitterDelegate::OAuthTwitterControllerAuthenticatedWithUsername(
    SA_OAuthTwitterController&, const std::string&) {
    authenticate();
}

std::string ShareViewTwitterDelegate::signInFailureText(const ErrorPtr& error) {
    if (!error) {
        return _(kSignInFailedMessage);
    }
    // The engine's own texts begin by saying the sign-in failed: the alert says it once.
    std::string reason = error->localizedDescription();
    for (const std::string lead : {"The sign-in failed: ", "The sign-in failed"}) {
        if (reason.rfind(lead, 0) == 0) {
            reason = reason.substr(lead.size());
            break;
        }
    }
    if (reason.empty()) {
        reason = error->domain() == "The sign-in failed" ? "" : error->domain();
    }
    return reason.empty() ? _(kSignInFailedMessage)
                          : withArguments(_("%1: %2"), {_(kSignInFailedMessage), reason});
}

void ShareViewTwitterDelegate::OAuthTwitterControllerFailed(SA_OAuthTwitterController&,
                                                            const ErrorPtr& error) {
    endAttempt();
    showAlert(signInFailureText(error));
}

void ShareViewTwitterDelegate::OAuthTwitterControllerCanceled(SA_OAuthTwitterController&) {
    endAttempt();
}

void ShareViewTwitterDelegate::requestDidReceiveResponse(
    TVRequest& request, const std::map<std::string, std::string>& answer) {
    auto stat = answer.find("stat");
    if (stat == answer.end() || stat->second != "ok") {
        return;
    }
    if (request.callName() == "authenticate") {
        std::weak_ptr<Object> weakSelf = shared_from_this();
        auto sending = std::make_shared<CancellableSendingView>([weakSelf] {
            if (auto self = std::static_pointer_cast<ShareViewTwitterDelegate>(weakSelf.lock())) {
                self->cancelUpload();
            }
        });
        _sending = sending;
        sending->show();
        TwitVidUploadOptions options;
        options.description = "";
        options.title = "";
        _twitVid->uploadWithMediaFileAtPath(_path, 0, options);
    } else if (request.callName() == "upload") {
        hideSending();
        auto url = answer.find("media_url");
        _engine->sendUpdate(tweetText(url != answer.end() ? url->second : std::string()));
        endAttempt();
        showAlert(_(kUploadedMessage));
    }
}

void ShareViewTwitterDelegate::requestDidFailWithError(TVRequest& request, const ErrorPtr&) {
    const bool refused =
        request.callName() == "authenticate" && _twitVid && _twitVid->lastFailureWasRefusal();
    hideSending();
    if (refused && _isRetryTwitterConnect) {
        // The stored sign-in no longer holds (revoked or expired): forget it and sign in again,
        // once per tap.
        _engine->clearAccessToken();
        _isRetryTwitterConnect = false;
        onTwitter(false);
        return;
    }
    endAttempt();
    showAlert(_(kUploadFailureMessage));
}

void ShareViewTwitterDelegate::requestDidSendBytes(TVRequest& request, std::uint64_t,
                                                   std::uint64_t totalBytesSent, std::uint64_t,
                                                   std::uint64_t totalBytesExpected) {
    if (request.callName() != "upload" || !_sending || totalBytesExpected == 0) {
        return;
    }
    _sending->setProgress(static_cast<float>(totalBytesSent) /
                          static_cast<float>(totalBytesExpected));
}

void ShareViewTwitterDelegate::cancelUpload() {
    if (_twitVid) {
        _twitVid->cancel();
    }
    hideSending();
    endAttempt();
}

void ShareViewTwitterDelegate::hideSending() {
    if (_sending) {
        _sending->hide();
        _sending.reset();
    }
}

void ShareViewTwitterDelegate::endAttempt() {
    _busy = false;
}

} // namespace tx
