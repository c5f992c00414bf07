// One Taluvex per user: a later start asks the running one to show its window and ends.
#pragma once

#include <functional>
#include <string>

namespace tx {

class SingleInstance {
public:
    // True when no other instance of `appId` runs for this user: this process now listens, and
    // `onRaiseRequest` runs on the main run loop each time a later start asks it to show itself.
    // False when another instance runs: it has been asked to raise its window, and this process
    // should exit. Where no listening point can be made, true (one more window beats none).
    static bool claim(const std::string& appId, std::function<void()> onRaiseRequest);
    // Stops listening; a later claim may succeed again.
    static void release();
    // Where the instance of `appId` listens: a socket in the user's runtime folder.
    static std::string socketPath(const std::string& appId);
};

} // namespace tx
