// The stored Twitter sign-in ("authData", a form-encoded token answer) and the OAuth header
// reader on arbitrary bytes; what is read back must encode and read again to the same fields.
#include "services/http/Url.h"
#include "services/oauth/OAuth1.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    (void)tx::OAuthToken::fromHTTPResponseBody(text);
    (void)tx::parseOAuthHeader(text);
    const tx::FormFields fields = tx::Url::parseForm(text);
    if (tx::Url::parseForm(tx::Url::encodeForm(fields)) != fields) {
        std::abort();
    }
    return 0;
}
