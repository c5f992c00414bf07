#include "app/FacebookSession.h"

namespace tx {

namespace {
FacebookSessionPtr& activeSessionSlot() {
    static auto* session = new FacebookSessionPtr(std::make_shared<NeverOpeningFacebookSession>());
    return *session;
}
} // namespace

FacebookSessionPtr FacebookSession::activeSession() {
    return activeSessionSlot();
}

void FacebookSession::setActiveSession(FacebookSessionPtr session) {
    activeSessionSlot() =
        session ? std::move(session) : std::make_shared<NeverOpeningFacebookSession>();
}

} // namespace tx
