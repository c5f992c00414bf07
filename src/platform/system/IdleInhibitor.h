// Keeps the desktop from dimming, locking or starting its screensaver while the user watches or
// waits: a recording, a render, a movie playing. Asks the desktop's screensaver service over the
// session bus; without a bus or a service nothing happens and nothing fails.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace tx {

class IdleInhibitor {
public:
    static IdleInhibitor& shared();

    // The desktop is kept awake while any returned token lives; the last one to go lets it rest.
    // `reason` is what the desktop may show ("Recording a clip").
    std::shared_ptr<void> inhibit(const std::string& reason);

    // Tokens alive now.
    int activeCount() const { return _count; }
    // Whether the screensaver service has granted the inhibit (false without one).
    bool isHeldByDesktop() const { return _cookie != 0; }

private:
    void acquire(const std::string& reason);
    void release();
    void releaseCookie(std::uint32_t cookie);

    int _count = 0;
    std::uint32_t _cookie = 0;
    bool _asking = false;
};

} // namespace tx
