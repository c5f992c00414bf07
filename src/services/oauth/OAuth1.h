// OAuth 1.0a request signing with HMAC-SHA1: the signature base string, the Authorization
// header, and the OAuth Echo header that lets a third service check the user's credentials.
#pragma once

#include "services/http/Url.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tx {

struct OAuthConsumer {
    std::string key;
    std::string secret;
};

struct OAuthToken {
    std::string key;
    std::string secret;
    // The other fields of the answer the token came from (user_id, screen_name…).
    FormFields extra;

    // From a form-encoded token answer ("oauth_token=…&oauth_token_secret=…"); nothing when
    // either is missing or empty.
    static std::optional<OAuthToken> fromHTTPResponseBody(std::string_view body);
};

class OAuth1Signer {
public:
    using Clock = std::function<std::int64_t()>;
    using NonceSource = std::function<std::string()>;

    struct Signed {
        std::string baseString;
        std::string signature; // base64
        std::string authorization;
    };

    explicit OAuth1Signer(OAuthConsumer consumer, std::optional<OAuthToken> token = std::nullopt);

    // Fixed clocks and nonces make signatures reproducible.
    void setClock(Clock clock) { _clock = std::move(clock); }
    void setNonceSource(NonceSource nonce) { _nonce = std::move(nonce); }
    // oauth_version="1.0" is sent unless turned off.
    void setIncludesVersion(bool includes) { _includesVersion = includes; }
    // A realm (even an empty one) is put first in the header when set.
    void setRealm(std::optional<std::string> realm) { _realm = std::move(realm); }

    // Signs a request. `formBody` is the form-encoded body, or empty when the body is not a
    // form; `extraOAuth` adds oauth_callback, oauth_verifier and the like.
    Signed sign(std::string_view method, const std::string& url, std::string_view formBody = {},
                const FormFields& extraOAuth = {}) const;

    static std::optional<std::string> signatureBaseString(std::string_view method,
                                                          const std::string& url,
                                                          std::string_view formBody,
                                                          const FormFields& oauthParameters);
    static std::string signatureFor(const std::string& baseString, std::string_view consumerSecret,
                                    std::string_view tokenSecret);

private:
    OAuthConsumer _consumer;
    std::optional<OAuthToken> _token;
    Clock _clock;
    NonceSource _nonce;
    bool _includesVersion = true;
    std::optional<std::string> _realm;
};

// The fields of an "Authorization: OAuth …" header, decoded; nothing when it is not one.
std::optional<FormFields> parseOAuthHeader(std::string_view header);

// Checks a request signed with HMAC-SHA1 against the secrets it should have been signed with:
// the header as received, the method, the full address and the form body.
bool verifyOAuthRequest(std::string_view authorization, std::string_view method,
                        const std::string& url, std::string_view formBody,
                        std::string_view consumerSecret, std::string_view tokenSecret);

} // namespace tx
