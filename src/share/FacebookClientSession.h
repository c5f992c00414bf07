// The application's Facebook session backed by the Facebook client: start-up installs it as the
// active session, so the launch, the share panel and incoming sign-in answers all reach the one
// client session.
#pragma once

#include "app/FacebookSession.h"

namespace tx {

class FacebookClientSession : public FacebookSession {
public:
    // Makes the client's session the one every screen shares.
    static void install();

    bool openWithReadPermissions(const std::vector<std::string>& permissions, bool allowLoginUI,
                                 StateHandler handler) override;
    bool isOpen() const override;
    int state() const override;
    void closeAndClearTokenInformation() override;
    bool handleOpenURL(const std::string& url) override;
    void handleDidBecomeActive() override;

    // Whether the client holds a granted permission.
    bool hasPermission(const std::string& permission) const;
};

} // namespace tx
