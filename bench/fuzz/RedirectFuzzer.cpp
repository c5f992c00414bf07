// The sign-in redirect reader on arbitrary bytes.
#include "services/oauth/OAuth2.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    (void)tx::parseOAuthRedirect(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
