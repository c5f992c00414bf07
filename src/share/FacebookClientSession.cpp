#include "share/FacebookClientSession.h"

#include "platform/ui/Application.h"
#include "services/facebook/FBSession.h"

#include <algorithm>

namespace tx {

namespace {

// The client's session, showing its sign-in page through the application's address opener (the
// desktop's browser, or whatever tests put in its place).
std::shared_ptr<FBSession> client() {
    auto session = FBSession::activeSession();
    session->setURLOpener(
        [](const std::string& url) { return Application::sharedApplication().openURL(url); });
    return session;
}

} // namespace

void FacebookClientSession::install() {
    FacebookSession::setActiveSession(std::make_shared<FacebookClientSession>());
}

bool FacebookClientSession::openWithReadPermissions(const std::vector<std::string>& permissions,
                                                    bool allowLoginUI, StateHandler handler) {
    std::weak_ptr<FacebookSession> weakSelf =
        std::static_pointer_cast<FacebookSession>(shared_from_this());
    client();
    return FBSession::openActiveSessionWithReadPermissions(
        permissions, allowLoginUI,
        [weakSelf, handler](const std::shared_ptr<FBSession>&, FBSessionState state,
                            const ErrorPtr& error) {
            // The report names this session, the one observers compare against.
            if (auto self = weakSelf.lock()) {
                handler(self, state, error);
            }
        });
}

bool FacebookClientSession::isOpen() const {
    return FBSession::activeSession()->isOpen();
}

int FacebookClientSession::state() const {
    return FBSession::activeSession()->state();
}

void FacebookClientSession::closeAndClearTokenInformation() {
    FBSession::activeSession()->closeAndClearTokenInformation();
}

bool FacebookClientSession::handleOpenURL(const std::string& url) {
    return FBSession::activeSession()->handleOpenURL(url);
}

void FacebookClientSession::handleDidBecomeActive() {
    FBSession::activeSession()->handleDidBecomeActive();
}

bool FacebookClientSession::hasPermission(const std::string& permission) const {
    const auto& granted = FBSession::activeSession()->permissions();
    return std::find(granted.begin(), granted.end(), permission) != granted.end();
}

} // namespace tx
