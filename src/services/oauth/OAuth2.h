// The pieces of an OAuth 2 authorization-code sign-in in the desktop browser: PKCE (S256), a
// random state, and reading the redirect that brings the code back.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tx {

struct Pkce {
    std::string verifier;  // 43 characters of the URL-safe alphabet
    std::string challenge; // base64url(SHA-256(verifier))

    static Pkce make();
    static std::string challengeFor(std::string_view verifier);
};

// 32 random bytes, URL-safe: one per sign-in, compared in constant time on the way back.
std::string makeOAuthState();

struct OAuthRedirect {
    std::string code;
    std::string state;
    std::string error;       // "access_denied" when the user said no
    std::string errorReason; // "user_denied"
};
// The query of a redirect address or request target ("/cb?code=…&state=…"); nothing when it
// carries neither a code nor an error.
std::optional<OAuthRedirect> parseOAuthRedirect(std::string_view urlOrTarget);

} // namespace tx
