#include "services/facebook/FBSession.h"

#include "platform/foundation/RunLoop.h"
#include "services/credentials/CredentialStore.h"
#include "services/http/ServiceConfig.h"
#include "services/http/Url.h"
#include "services/oauth/Crypto.h"
#include "services/oauth/LoopbackRedirectListener.h"
#include "services/oauth/OAuth2.h"
#include "platform/foundation/Translation.h"

#include <QProcess>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <ctime>

namespace tx {

namespace {

constexpr const char* kRedirectPath = "/facebook-login";

std::shared_ptr<FBSession>& activeSlot() {
    static auto* slot = new std::shared_ptr<FBSession>();
    return *slot;
}

bool openInBrowser(const std::string& url) {
    const auto parsed = Url::parse(url);
    if (!parsed || (parsed->scheme != "http" && parsed->scheme != "https")) {
        return false;
    }
    return QProcess::startDetached(QStringLiteral("xdg-open"), {QString::fromStdString(url)});
}

std::string joined(const std::vector<std::string>& items) {
    std::string result;
    for (const auto& item : items) {
        result += (result.empty() ? "" : ",") + item;
    }
    return result;
}

long long now() {
    return static_cast<long long>(std::time(nullptr));
}

} // namespace

struct FBSession::Login {
    std::shared_ptr<LoopbackRedirectListener> listener;
    Pkce pkce;
    std::string state;
    std::string redirectUri;
    bool publish = false;
    PermissionHandler permissionHandler;
    HttpTicketPtr ticket;
};

FBErrorCategory fberrorCategory(const ErrorPtr& error) {
    if (auto fb = std::dynamic_pointer_cast<FBError>(error)) {
        return fb->fberrorCategory();
    }
    return FBErrorCategoryInvalid;
}

ErrorPtr makeFBError(long code, FBErrorCategory category, std::string description) {
    return std::make_shared<FBError>(code, category, std::move(description));
}

std::shared_ptr<FBSession> FBSession::activeSession() {
    auto& slot = activeSlot();
    if (!slot) {
        slot = std::make_shared<FBSession>();
    }
    return slot;
}

void FBSession::resetActiveSession() {
    auto& slot = activeSlot();
    if (slot && slot->_login) {
        slot->_login->listener.reset();
        if (slot->_login->ticket) {
            slot->_login->ticket->cancel();
        }
    }
    slot.reset();
}

std::string FBSession::graphAddress(const std::string& base, const std::string& path) {
    const std::string& version = ServiceConfig::current().facebookApiVersion;
    std::string relative = path;
    while (!relative.empty() && relative.front() == '/') {
        relative.erase(relative.begin());
    }
    return base + "/" + (version.empty() ? "" : version + "/") + relative;
}

bool FBSession::isOpen() const {
    return _state == FBSessionStateOpen || _state == FBSessionStateOpenTokenExtended;
}

void FBSession::setState(FBSessionState state, const ErrorPtr& error) {
    _state = state;
    if (!_handler) {
        return;
    }
    // Reports arrive on a later turn of the main loop, never inside the caller's call.
    auto handler = _handler;
    auto self = std::static_pointer_cast<FBSession>(shared_from_this());
    RunLoop::post([handler, self, state, error] { handler(self, state, error); });
}

bool FBSession::loadStored() {
    const auto text = CredentialStore::shared().load(kFacebookSessionKey);
    if (!text) {
        return false;
    }
    std::string problem;
    auto stored = parseFBStoredSession(*text, &problem);
    if (!stored) {
        // Kept for the user rather than dropped, and the session starts signed out.
        CredentialStore::shared().setAside(
            kFacebookSessionKey,
            withArguments(_("the stored Facebook sign-in cannot be read (%1)"), {problem}));
        return false;
    }
    if (stored->expiresAt != 0 && stored->expiresAt <= now()) {
        CredentialStore::shared().remove(kFacebookSessionKey);
        return false;
    }
    _accessToken = stored->accessToken;
    _expiresAt = stored->expiresAt;
    _permissions = stored->permissions;
    return true;
}

void FBSession::store() {
    CredentialStore::shared().store(kFacebookSessionKey,
                                    encodeFBStoredSession({_accessToken, _expiresAt, _permissions}));
}

bool FBSession::openActiveSessionWithReadPermissions(const std::vector<std::string>& permissions,
                                                     bool allowLoginUI, StateHandler handler) {
    auto session = activeSession();
    session->_handler = std::move(handler);
    if (session->isOpen()) {
        session->setState(session->_state, nullptr);
        return true;
    }
    if (session->loadStored()) {
        session->_state = FBSessionStateCreatedTokenLoaded;
        session->setState(FBSessionStateOpen, nullptr);
        return true;
    }
    if (allowLoginUI) {
        session->startLogin(permissions, false, nullptr);
    }
    return false;
}

void FBSession::startLogin(const std::vector<std::string>& scope, bool publish,
                           PermissionHandler handler) {
    const ServiceConfig& config = ServiceConfig::current();
    if (_login) {
        // A sign-in is already waiting for the browser; a second one would race it.
        if (handler) {
            auto self = std::static_pointer_cast<FBSession>(shared_from_this());
            RunLoop::post([handler, self] {
                handler(self, makeFBError(FBErrorLoginFailedOrCancelled, FBErrorCategoryRetry,
                                          "A Facebook sign-in is already in progress"));
            });
        }
        return;
    }
    auto fail = [&](const std::string& why) {
        if (handler) {
            auto self = std::static_pointer_cast<FBSession>(shared_from_this());
            RunLoop::post([handler, self, why] {
                handler(self,
                        makeFBError(FBErrorLoginFailedOrCancelled, FBErrorCategoryInvalid, why));
            });
        } else {
            setState(FBSessionStateClosedLoginFailed,
                     makeFBError(FBErrorLoginFailedOrCancelled, FBErrorCategoryInvalid, why));
        }
    };
    if (!config.facebookConfigured()) {
        fail(config.setupProblem(ServiceConfig::Service::Facebook)
                 .value_or(_("Facebook is not set up")));
        return;
    }
    auto login = std::make_shared<Login>();
    login->pkce = Pkce::make();
    login->state = makeOAuthState();
    login->publish = publish;
    login->permissionHandler = std::move(handler);
    std::weak_ptr<FBSession> weak = std::static_pointer_cast<FBSession>(shared_from_this());
    login->listener = LoopbackRedirectListener::start(
        kRedirectPath, [weak](const std::optional<std::string>& target) {
            auto self = weak.lock();
            if (!self || !self->_login) {
                return;
            }
            if (!target) {
                self->finishLogin(makeFBError(
                    FBErrorLoginFailedOrCancelled, FBErrorCategoryUserCancelled,
                    "The Facebook sign-in was not finished in the browser within " +
                        std::to_string(std::lround(self->_signInTimeoutSeconds / 60)) +
                        " minutes; please try again."));
                return;
            }
            self->handleOpenURL(self->_login->redirectUri +
                                target->substr(std::string(kRedirectPath).size()));
        },
        _signInTimeoutSeconds);
    if (!login->listener) {
        fail(_("Cannot receive the Facebook sign-in: no local port could be opened"));
        return;
    }
    login->redirectUri = login->listener->redirectUri();
    FormFields query = {{"client_id", config.facebookAppId},
                        {"redirect_uri", login->redirectUri},
                        {"state", login->state},
                        {"response_type", "code"},
                        {"scope", joined(scope)},
                        {"code_challenge", login->pkce.challenge},
                        {"code_challenge_method", "S256"}};
    if (publish) {
        query.emplace_back("auth_type", "rerequest");
        query.emplace_back("default_audience", _publishAudience);
    }
    const std::string dialog =
        Url::appendingQuery(graphAddress(config.facebookDialogBase, "dialog/oauth"), query);
    _login = login;
    if (!publish) {
        setState(FBSessionStateCreatedOpening, nullptr);
    }
    const bool opened = _opener ? _opener(dialog) : openInBrowser(dialog);
    if (!opened) {
        finishLogin(makeFBError(FBErrorLoginFailedOrCancelled, FBErrorCategoryInvalid,
                                "Cannot open the browser for the Facebook sign-in"));
    }
}

bool FBSession::handleOpenURL(const std::string& url) {
    if (!_login || url.rfind(_login->redirectUri, 0) != 0) {
        return false;
    }
    if (_login->ticket) {
        return true; // the code is already being exchanged
    }
    _login->listener.reset();
    const auto redirect = parseOAuthRedirect(url);
    if (!redirect || !Crypto::constantTimeEquals(redirect->state, _login->state)) {
        finishLogin(makeFBError(FBErrorLoginFailedOrCancelled, FBErrorCategoryInvalid,
                                "The answer that reached Taluvex did not come from this sign-in, "
                                "so it was refused; please sign in again."));
        return true;
    }
    if (!redirect->error.empty()) {
        const bool cancelled = redirect->error == "access_denied";
        finishLogin(makeFBError(FBErrorLoginFailedOrCancelled,
                                cancelled ? FBErrorCategoryUserCancelled : FBErrorCategoryInvalid,
                                cancelled ? "You declined the Facebook sign-in."
                                          : "Facebook refused the sign-in (" + redirect->error +
                                                ")."));
        return true;
    }
    exchangeCode(redirect->code);
    return true;
}

void FBSession::exchangeCode(const std::string& code) {
    const ServiceConfig& config = ServiceConfig::current();
    HttpRequest request;
    request.url = Url::appendingQuery(graphAddress(config.facebookGraphBase, "oauth/access_token"),
                                      {{"client_id", config.facebookAppId},
                                       {"redirect_uri", _login->redirectUri},
                                       {"code", code},
                                       {"code_verifier", _login->pkce.verifier}});
    request.maxAnswerBytes = kSmallAnswerBytes;
    std::weak_ptr<FBSession> weak = std::static_pointer_cast<FBSession>(shared_from_this());
    _login->ticket = http().send(std::move(request), [weak](const HttpResponse& response) {
        auto self = weak.lock();
        if (!self || !self->_login) {
            return;
        }
        const auto answer = response.ok() ? parseFBTokenAnswer(response.body) : std::nullopt;
        if (!answer) {
            self->finishLogin(makeFBError(FBErrorLoginFailedOrCancelled, FBErrorCategoryServer,
                                          response.error ? response.error->localizedDescription()
                                                         : "Facebook did not give a token"));
            return;
        }
        self->readPermissions(answer->accessToken,
                              answer->expiresInSeconds > 0 ? now() + answer->expiresInSeconds
                                                           : 0);
    });
}

void FBSession::readPermissions(std::string token, long long expiresAt) {
    HttpRequest request;
    request.url = graphAddress(ServiceConfig::current().facebookGraphBase, "me/permissions");
    request.headers.emplace_back("Authorization", "Bearer " + token);
    request.maxAnswerBytes = kSmallAnswerBytes;
    std::weak_ptr<FBSession> weak = std::static_pointer_cast<FBSession>(shared_from_this());
    _login->ticket =
        http().send(std::move(request), [weak, token, expiresAt](const HttpResponse& response) {
            auto self = weak.lock();
            if (!self || !self->_login) {
                return;
            }
            const std::vector<std::string> granted =
                response.ok() ? parseFBGrantedPermissions(response.body)
                              : std::vector<std::string>();
            self->_accessToken = token;
            self->_expiresAt = expiresAt;
            self->_permissions = granted;
            self->store();
            self->finishLogin(nullptr);
        });
}

void FBSession::finishLogin(const ErrorPtr& error) {
    auto login = _login;
    _login.reset();
    if (!login) {
        return;
    }
    login->listener.reset();
    if (login->publish) {
        if (!error) {
            setState(FBSessionStateOpenTokenExtended, nullptr);
        }
        if (login->permissionHandler) {
            auto self = std::static_pointer_cast<FBSession>(shared_from_this());
            auto handler = login->permissionHandler;
            RunLoop::post([handler, self, error] { handler(self, error); });
        }
        return;
    }
    if (error) {
        _accessToken.clear();
        setState(FBSessionStateClosedLoginFailed, error);
    } else {
        setState(FBSessionStateOpen, nullptr);
    }
}

void FBSession::closeAndClearTokenInformation() {
    if (_login) {
        if (_login->ticket) {
            _login->ticket->cancel();
        }
        _login.reset();
    }
    CredentialStore::shared().remove(kFacebookSessionKey);
    _accessToken.clear();
    _expiresAt = 0;
    _permissions.clear();
    if (_state != FBSessionStateClosed) {
        setState(FBSessionStateClosed, nullptr);
    }
}

void FBSession::handleDidBecomeActive() {
    // The browser sign-in ends through the loopback redirect (or its time-out); coming back to
    // the window does not cancel it, since the user may return before finishing in the browser.
}

void FBSession::requestNewPublishPermissions(const std::vector<std::string>& permissions,
                                             FBSessionDefaultAudience audience,
                                             PermissionHandler handler) {
    _publishAudience = audience == FBSessionDefaultAudienceEveryone  ? "everyone"
                       : audience == FBSessionDefaultAudienceFriends ? "friends"
                                                                     : "only_me";
    std::vector<std::string> scope = _permissions;
    for (const auto& permission : permissions) {
        if (std::find(scope.begin(), scope.end(), permission) == scope.end()) {
            scope.push_back(permission);
        }
    }
    startLogin(scope, true, std::move(handler));
}

} // namespace tx
