// The Facebook session: a shared active session opened from the stored sign-in or through a
// browser sign-in (authorization code with PKCE, the redirect caught on 127.0.0.1), reporting
// every state change on the main run loop, and asked for more permissions when needed.
#pragma once

#include "platform/foundation/Error.h"
#include "platform/foundation/Object.h"
#include "services/facebook/FBSessionState.h"
#include "services/http/Answers.h"
#include "services/http/HttpClient.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tx {

enum FBSessionDefaultAudience {
    FBSessionDefaultAudienceNone = 0,
    FBSessionDefaultAudienceOnlyMe = 10,
    FBSessionDefaultAudienceFriends = 20,
    FBSessionDefaultAudienceEveryone = 30,
};

// The client's error codes (their names are the application's error table).
enum FBErrorCode {
    FBErrorInvalid = 0,
    FBErrorOperationCancelled = 1,
    FBErrorLoginFailedOrCancelled = 2,
    FBErrorRequestConnectionApi = 3,
    FBErrorProtocolMismatch = 4,
    FBErrorHTTPError = 5,
    FBErrorNonTextMimeTypeReturned = 6,
};

inline constexpr const char* kFacebookErrorDomain = "Facebook";

class FBError : public Error {
public:
    FBError(long code, FBErrorCategory category, std::string description)
        : Error(kFacebookErrorDomain, code, std::move(description)), _category(category) {}
    FBErrorCategory fberrorCategory() const { return _category; }

private:
    FBErrorCategory _category;
};
// The category of any error; FBErrorCategoryInvalid for one that is not the client's.
FBErrorCategory fberrorCategory(const ErrorPtr& error);
ErrorPtr makeFBError(long code, FBErrorCategory category, std::string description);

class FBSession : public Object {
public:
    using StateHandler = std::function<void(const std::shared_ptr<FBSession>& session,
                                            FBSessionState state, const ErrorPtr& error)>;
    using PermissionHandler =
        std::function<void(const std::shared_ptr<FBSession>& session, const ErrorPtr& error)>;
    using URLOpener = std::function<bool(const std::string& url)>;

    static std::shared_ptr<FBSession> activeSession();

    // Opens the active session from the stored sign-in, or, with `allowLoginUI`, through the
    // browser. `handler` hears every later state change. Returns whether the session opens
    // without the user (a stored sign-in was found).
    static bool openActiveSessionWithReadPermissions(const std::vector<std::string>& permissions,
                                                     bool allowLoginUI, StateHandler handler);

    bool isOpen() const;
    FBSessionState state() const { return _state; }
    const std::vector<std::string>& permissions() const { return _permissions; }
    // The token for graph requests; empty unless open. It only ever travels in headers and bodies.
    const std::string& accessToken() const { return _accessToken; }

    // Closes the session and forgets the stored sign-in.
    void closeAndClearTokenInformation();
    // The browser's redirect back into the application; true when it was this session's.
    bool handleOpenURL(const std::string& url);
    void handleDidBecomeActive();
    // Signs in again asking for `permissions` too; the session then reports "token extended".
    void requestNewPublishPermissions(const std::vector<std::string>& permissions,
                                      FBSessionDefaultAudience audience, PermissionHandler handler);

    // How the sign-in page is shown; by default the desktop's browser (http and https only).
    void setURLOpener(URLOpener opener) { _opener = std::move(opener); }
    // How long a sign-in waits for the browser (tests shorten it).
    void setSignInTimeoutSeconds(double seconds) { _signInTimeoutSeconds = seconds; }
    void setHttpClient(HttpClient* client) { _http = client; }
    HttpClient& http() { return _http ? *_http : HttpClient::shared(); }
    // Forgets everything in memory (tests start each case from a fresh session).
    static void resetActiveSession();

    static std::string graphAddress(const std::string& base, const std::string& path);

    struct Login;

private:
    void setState(FBSessionState state, const ErrorPtr& error);
    bool loadStored();
    void store();
    void startLogin(const std::vector<std::string>& scope, bool publish, PermissionHandler handler);
    void finishLogin(const ErrorPtr& error);
    void exchangeCode(const std::string& code);
    void readPermissions(std::string token, long long expiresAt);

    FBSessionState _state = FBSessionStateCreated;
    std::vector<std::string> _permissions;
    std::string _accessToken;
    long long _expiresAt = 0; // seconds since the epoch; 0 when unknown
    StateHandler _handler;
    URLOpener _opener;
    double _signInTimeoutSeconds = 300;
    HttpClient* _http = nullptr;
    std::shared_ptr<Login> _login;
    std::string _publishAudience = "only_me";
};

} // namespace tx
