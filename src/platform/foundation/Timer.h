// A repeating (or one-shot) timer on the main run loop that calls a block, as the capture
// manager's elapsed-time reports and the accelerometer's samples need.
#pragma once

#include "Object.h"

#include <functional>
#include <memory>

namespace tx {

class Timer : public Object {
public:
    using Block = std::function<void(Timer&)>;

    // Starts a timer on the main run loop (call from the main thread). The first fire comes
    // after `intervalSeconds`, or at the next turn of the loop with `fireNow`.
    static std::shared_ptr<Timer> scheduled(double intervalSeconds, bool repeats, Block block,
                                            bool fireNow = false);
    ~Timer() override;

    // Stops the timer for good; the block is released. Safe to call from inside the block.
    void invalidate();
    bool isValid() const;
    double timeInterval() const { return _intervalSeconds; }

    struct Impl;

private:
    double _intervalSeconds = 0;
    std::unique_ptr<Impl> _impl;
};

using TimerPtr = std::shared_ptr<Timer>;

} // namespace tx
