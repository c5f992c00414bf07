// The Twitter engine: OAuth 1.0a PIN sign-in (request token, authorize page, access token), the
// stored sign-in ("authData"), the OAuth Echo header for other services, and status updates.
#pragma once

#include "platform/foundation/Error.h"
#include "platform/foundation/Object.h"
#include "services/http/HttpClient.h"
#include "services/oauth/OAuth1.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tx {

using OAConsumer = OAuthConsumer;
using OAToken = OAuthToken;

class SA_OAuthTwitterEngineDelegate {
public:
    virtual ~SA_OAuthTwitterEngineDelegate() = default;
    // The access-token answer body after a sign-in ("" after clearAccessToken).
    virtual void storeCachedTwitterOAuthData(const std::string& data,
                                             const std::string& username) = 0;
    virtual std::optional<std::string>
    cachedTwitterOAuthDataForUsername(const std::string& username) = 0;
    virtual void requestSucceeded(const std::string& /*connectionIdentifier*/) {}
    virtual void requestFailed(const std::string& /*connectionIdentifier*/, const ErrorPtr&) {}
};

// Keeps "authData" in the credential store (keyring or private file), never in the settings.
void storeTwitterAuthData(const std::string& data);
std::optional<std::string> loadTwitterAuthData();

class SA_OAuthTwitterEngine : public Object {
public:
    using Completion = std::function<void(const ErrorPtr& error)>;

    // Addresses and application keys come from services.ini.
    static std::shared_ptr<SA_OAuthTwitterEngine>
    initOAuthWithDelegate(std::weak_ptr<SA_OAuthTwitterEngineDelegate> delegate);

    void setConsumerKey(std::string key) { _consumer.key = std::move(key); }
    void setConsumerSecret(std::string secret) { _consumer.secret = std::move(secret); }
    const OAConsumer& consumer() const { return _consumer; }
    void setHttpClient(HttpClient* client) { _http = client; }

    // True with an access token in memory, or one built from the stored sign-in.
    bool isAuthorized();
    std::optional<OAToken> accessToken();
    // Forgets the token and stores an empty "authData".
    void clearAccessToken();

    // PIN sign-in, step 1: a request token (oauth_callback "oob").
    void requestRequestToken(Completion completion);
    // Step 2: the page where the user authorizes Taluvex and reads the PIN.
    std::string authorizeURL() const;
    // Step 3: the PIN exchanged for the access token, which goes to the delegate's store.
    void requestAccessTokenWithPIN(const std::string& pin, Completion completion);

    // https on the API host with the verification path.
    std::string verifyCredentialsURL() const;
    // The signed "Authorization" value for a GET of the verification address (OAuth Echo),
    // with an empty realm; nothing without a token.
    std::optional<std::string> echoAuthorization();

    // Posts a tweet; the delegate hears requestSucceeded / requestFailed with the returned id.
    std::string sendUpdate(const std::string& text);

    // The PIN on an authorize page: the text of the element with id "oauth-pin" or "oauth_pin"
    // (or of its first <code>), when it is exactly 7 characters after trimming.
    static std::optional<std::string> pinFromAuthorizePage(const std::string& html);

    // Configures the clock and nonce of every signature (tests).
    void setSignerHook(std::function<void(OAuth1Signer&)> hook) { _signerHook = std::move(hook); }

private:
    SA_OAuthTwitterEngine() = default;
    OAuth1Signer signer(std::optional<OAToken> token) const;
    void post(const std::string& url, const FormFields& form, const FormFields& oauthExtra,
              std::optional<OAToken> token, std::function<void(const HttpResponse&)> done);

    std::weak_ptr<SA_OAuthTwitterEngineDelegate> _delegate;
    OAConsumer _consumer;
    std::optional<OAToken> _requestToken;
    std::optional<OAToken> _accessToken;
    HttpClient* _http = nullptr;
    std::function<void(OAuth1Signer&)> _signerHook;
    int _nextIdentifier = 1;
};

} // namespace tx
