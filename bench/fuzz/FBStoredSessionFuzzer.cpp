// The stored Facebook sign-in reader on arbitrary bytes; what it reads must write back the same.
#include "services/http/Answers.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    const auto session =
        tx::parseFBStoredSession(std::string_view(reinterpret_cast<const char*>(data), size));
    if (session) {
        const auto again = tx::parseFBStoredSession(tx::encodeFBStoredSession(*session));
        if (!again || again->accessToken != session->accessToken ||
            again->expiresAt != session->expiresAt || again->permissions != session->permissions) {
            std::abort();
        }
    }
    return 0;
}
