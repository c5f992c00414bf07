#include "services/oauth/OAuth2.h"

#include "services/http/Url.h"
#include "services/oauth/Crypto.h"

namespace tx {

Pkce Pkce::make() {
    Pkce pkce;
    pkce.verifier = Crypto::base64Url(Crypto::randomBytes(32));
    pkce.challenge = challengeFor(pkce.verifier);
    return pkce;
}

std::string Pkce::challengeFor(std::string_view verifier) {
    return Crypto::base64Url(Crypto::sha256(verifier));
}

std::string makeOAuthState() {
    return Crypto::base64Url(Crypto::randomBytes(32));
}

std::optional<OAuthRedirect> parseOAuthRedirect(std::string_view urlOrTarget) {
    const std::size_t question = urlOrTarget.find('?');
    if (question == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view query = urlOrTarget.substr(question + 1);
    query = query.substr(0, query.find('#'));
    OAuthRedirect redirect;
    for (auto& [name, value] : Url::parseForm(query)) {
        if (name == "code" && redirect.code.empty()) {
            redirect.code = value;
        } else if (name == "state" && redirect.state.empty()) {
            redirect.state = value;
        } else if (name == "error" && redirect.error.empty()) {
            redirect.error = value;
        } else if (name == "error_reason" && redirect.errorReason.empty()) {
            redirect.errorReason = value;
        }
    }
    if (redirect.code.empty() && redirect.error.empty()) {
        return std::nullopt;
    }
    return redirect;
}

} // namespace tx
