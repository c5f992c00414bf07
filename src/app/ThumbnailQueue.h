// Makes the library's missing thumbnails on a worker thread of its own, so that a Documents
// folder of thousands of movies never holds up the window: the rows on screen first, and each
// one said on the main thread as soon as its file is written.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace tx {

class ThumbnailQueue {
public:
    // Told on the main thread once the thumbnail beside `moviePath` is written (or could not
    // be made: then no file is there).
    using Observer = std::function<void(const std::string& moviePath)>;

    static ThumbnailQueue& shared();

    // Queues the movie's thumbnail unless its file is there or it is queued already; `urgent`
    // (a row on screen) puts it before everything that waits.
    void request(const std::string& moviePath, bool urgent);
    int addObserver(Observer observer);
    void removeObserver(int token);

    // Drops what waits and returns once the thumbnail being made is done (at quit); later
    // requests are ignored.
    void stop();
    // Nothing waits and nothing is being made.
    bool isIdle() const;
    std::size_t pendingCount() const;

    // Stands in for the work itself (tests); empty restores the real thumbnail maker.
    void setMakerForTesting(std::function<void(const std::string& moviePath)> maker);
    // Takes requests again after stop() (tests).
    void restartForTesting();

private:
    ThumbnailQueue() = default;
    void run();
    void finished(const std::string& moviePath);

    mutable std::mutex _mutex;
    std::condition_variable _wake;
    std::condition_variable _idle;
    std::deque<std::string> _waiting;
    bool _busy = false;
    std::string _current;
    bool _stopped = false;
    std::thread _thread;
    std::function<void(const std::string&)> _maker;
    // Used on the main thread only.
    std::map<int, Observer> _observers;
    int _nextToken = 1;
};

} // namespace tx
