// The Facebook session as start-up and the share panel see it: opened with read permissions, with
// or without a login screen, reporting every change of state to one handler on the main thread.
// Until the Facebook client lands, the only session is one that never opens and reports nothing.
#pragma once

#include "platform/foundation/Error.h"
#include "platform/foundation/Object.h"
#include "services/facebook/FBSessionState.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tx {

class FacebookSession : public Object {
public:
    using StateHandler = std::function<void(const std::shared_ptr<FacebookSession>& session,
                                            int state, const ErrorPtr& error)>;

    // The session every screen shares; a never-opening one until another is installed.
    static std::shared_ptr<FacebookSession> activeSession();
    static void setActiveSession(std::shared_ptr<FacebookSession> session);

    // Opens the session; true when it opened at once from stored sign-in. Every later change of
    // state reaches `handler`.
    virtual bool openWithReadPermissions(const std::vector<std::string>& permissions,
                                         bool allowLoginUI, StateHandler handler) = 0;
    virtual bool isOpen() const = 0;
    virtual int state() const = 0;
    virtual void closeAndClearTokenInformation() = 0;
    // A sign-in answer handed to the application from outside; true when it was the session's.
    virtual bool handleOpenURL(const std::string& url) = 0;
    virtual void handleDidBecomeActive() = 0;
};

using FacebookSessionPtr = std::shared_ptr<FacebookSession>;

// Never opens, never reports, keeps no token.
class NeverOpeningFacebookSession : public FacebookSession {
public:
    bool openWithReadPermissions(const std::vector<std::string>&, bool, StateHandler) override {
        return false;
    }
    bool isOpen() const override { return false; }
    int state() const override { return FBSessionStateCreated; }
    void closeAndClearTokenInformation() override {}
    bool handleOpenURL(const std::string&) override { return false; }
    void handleDidBecomeActive() override {}
};

} // namespace tx
