// The stored sign-ins' file on arbitrary bytes, and every entry in it read as the sign-in it
// stands for; then the input itself stored as an entry: the file either refuses it or reads it
// back unchanged, and nothing throws.
#include "services/http/Answers.h"
#include "services/oauth/OAuth1.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::optional<nlohmann::json> entries = tx::parseCredentialEntries(text);
    if (!entries) {
        entries = nlohmann::json::object();
    }
    if (const auto twitter = tx::jsonString(*entries, "authData")) {
        (void)tx::OAuthToken::fromHTTPResponseBody(*twitter);
    }
    if (const auto facebook = tx::jsonString(*entries, "facebookSession")) {
        (void)tx::parseFBStoredSession(*facebook);
    }
    (*entries)["authData"] = std::string(text);
    const std::optional<std::string> encoded = tx::jsonText(*entries);
    if (encoded) {
        const auto again = tx::parseCredentialEntries(*encoded);
        if (!again || tx::jsonString(*again, "authData") != std::string(text)) {
            std::abort();
        }
    }
    return 0;
}
