#include "LeftBehind.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

namespace tx::leftBehind {

namespace {

// One thread, started on first use and joined at exit after it has done everything posted.
class Finisher {
public:
    ~Finisher() {
        {
            std::lock_guard lock(_mutex);
            _quit = true;
        }
        _posted.notify_all();
        if (_thread.joinable()) {
            _thread.join();
        }
    }

    void post(std::function<void()> work) {
        {
            std::unique_lock lock(_mutex);
            if (_quit) {
                // The program is ending and this thread with it: done here instead.
                lock.unlock();
                work();
                return;
            }
            _tasks.push_back(std::move(work));
            ++_postedCount;
            if (!_thread.joinable()) {
                _thread = std::thread([this] { loop(); });
            }
        }
        _posted.notify_all();
    }

    void waitForAll() {
        std::unique_lock lock(_mutex);
        const std::uint64_t target = _postedCount;
        _done.wait(lock, [&] { return _doneCount >= target; });
    }

private:
    void loop() {
        std::unique_lock lock(_mutex);
        for (;;) {
            _posted.wait(lock, [this] { return _quit || !_tasks.empty(); });
            if (_tasks.empty()) {
                return;
            }
            std::function<void()> task = std::move(_tasks.front());
            _tasks.pop_front();
            lock.unlock();
            task();
            task = nullptr; // what it held goes here too, not under the lock
            lock.lock();
            ++_doneCount;
            _done.notify_all();
        }
    }

    std::mutex _mutex;
    std::condition_variable _posted;
    std::condition_variable _done;
    std::deque<std::function<void()>> _tasks;
    std::uint64_t _postedCount = 0;
    std::uint64_t _doneCount = 0;
    bool _quit = false;
    std::thread _thread;
};

Finisher& finisher() {
    static Finisher instance;
    return instance;
}

} // namespace

void post(std::function<void()> work) {
    finisher().post(std::move(work));
}

void join(std::thread thread) {
    auto held = std::make_shared<std::thread>(std::move(thread));
    post([held] {
        if (held->joinable()) {
            held->join();
        }
    });
}

void waitForAll() {
    finisher().waitForAll();
}

} // namespace tx::leftBehind
