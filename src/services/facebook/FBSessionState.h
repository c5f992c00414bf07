// The states a Facebook session goes through, shared by the client and the application, which
// acts on "open" (513) and "closed" (258).
#pragma once

namespace tx {

enum FBSessionState : int {
    FBSessionStateCreated = 0,
    FBSessionStateCreatedTokenLoaded = 1,
    FBSessionStateCreatedOpening = 2,
    FBSessionStateOpen = 1 | 512,
    FBSessionStateOpenTokenExtended = 2 | 512,
    FBSessionStateClosedLoginFailed = 1 | 256,
    FBSessionStateClosed = 2 | 256,
};

} // namespace tx
