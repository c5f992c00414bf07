// The main run loop: one QtCore event loop drives windows, timers, the render engine and every
// callback that worker threads forward to the main thread.
#pragma once

#include <cstdint>
#include <functional>

namespace tx {

class RunLoop {
public:
    using Task = std::function<void()>;
    using DelayedCallId = std::uint64_t;

    // Makes sure a Qt application object exists (a plain core one when nobody made a GUI one).
    static void ensureApplication();
    static bool isMainThread();

    // Runs `task` on a later turn of the main loop; callable from any thread.
    static void post(Task task);
    // Runs `task` on the main loop after `seconds`; the id cancels it. Callable from any thread.
    static DelayedCallId postAfter(double seconds, Task task);
    static void cancel(DelayedCallId id);
    // Runs `task` on the main thread. Waiting from the main thread runs it at once.
    static void performOnMain(Task task, bool waitUntilDone);

    static int run();
    static void quit(int exitCode = 0);
    // Turns the loop until `condition` holds or `timeoutSeconds` pass; true when it held.
    static bool runUntil(const std::function<bool()>& condition, double timeoutSeconds);
    // Turns the loop for `seconds`.
    static void runFor(double seconds);
};

} // namespace tx
