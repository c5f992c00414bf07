// A thread for slow reading (opening movies, taking stills) that runs its jobs one at a time, in
// order. A screen that goes away does not wait for the job at hand: the thread finishes it on
// its own and then goes too, so closing a screen never freezes the window.
#pragma once

#include <functional>
#include <memory>

class QThreadPool;

namespace tx {

class SerialWorker {
public:
    SerialWorker();
    // Drops the jobs not yet started; the one running finishes later, on its own.
    ~SerialWorker();
    SerialWorker(const SerialWorker&) = delete;
    SerialWorker& operator=(const SerialWorker&) = delete;

    void start(std::function<void()> job);
    // Drops every job not yet started and waits for those running, on every worker there is.
    // Called before the process returns from main: a job still running while exit tears down
    // the libraries it uses would crash there (their statics go before any handler of ours).
    static void finishAll();
    // Waits until every job has run (tests).
    void waitForDone();

private:
    std::unique_ptr<QThreadPool> _pool;
};

} // namespace tx
