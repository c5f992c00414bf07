#include "app/ThumbnailQueue.h"

#include "app/TaluvexAppDelegate.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/RunLoop.h"

#include <algorithm>

namespace tx {

ThumbnailQueue& ThumbnailQueue::shared() {
    // Made on first use and never destroyed: its thread may still be waiting at exit.
    static auto* queue = new ThumbnailQueue();
    return *queue;
}

void ThumbnailQueue::request(const std::string& moviePath, bool urgent) {
    if (fileExists(pathByReplacingExtension(moviePath, "jpg"))) {
        return;
    }
    std::lock_guard<std::mutex> lock(_mutex);
    if (_stopped || (_busy && _current == moviePath)) {
        return;
    }
    const auto queued = std::find(_waiting.begin(), _waiting.end(), moviePath);
    if (queued != _waiting.end()) {
        if (!urgent) {
            return;
        }
        _waiting.erase(queued);
    }
    if (urgent) {
        _waiting.push_front(moviePath);
    } else {
        _waiting.push_back(moviePath);
    }
    if (!_thread.joinable()) {
        _thread = std::thread([this] { run(); });
    }
    _wake.notify_one();
}

void ThumbnailQueue::run() {
    std::unique_lock<std::mutex> lock(_mutex);
    for (;;) {
        _wake.wait(lock, [this] { return !_waiting.empty(); });
        const std::string movie = _waiting.front();
        _waiting.pop_front();
        _busy = true;
        _current = movie;
        auto maker = _maker;
        lock.unlock();
        if (maker) {
            maker(movie);
        } else {
            TaluvexAppDelegate::generatorThumbFile(movie);
        }
        RunLoop::post([this, movie] { finished(movie); });
        lock.lock();
        _busy = false;
        _current.clear();
        _idle.notify_all();
    }
}

void ThumbnailQueue::finished(const std::string& moviePath) {
    // A copy: an observer may remove itself (or another) while told.
    const auto observers = _observers;
    for (const auto& [token, observer] : observers) {
        if (_observers.count(token) != 0) {
            observer(moviePath);
        }
    }
}

int ThumbnailQueue::addObserver(Observer observer) {
    const int token = _nextToken++;
    _observers.emplace(token, std::move(observer));
    return token;
}

void ThumbnailQueue::removeObserver(int token) {
    _observers.erase(token);
}

void ThumbnailQueue::stop() {
    std::unique_lock<std::mutex> lock(_mutex);
    _stopped = true;
    _waiting.clear();
    _idle.wait(lock, [this] { return !_busy; });
}

bool ThumbnailQueue::isIdle() const {
    std::lock_guard<std::mutex> lock(_mutex);
    return _waiting.empty() && !_busy;
}

std::size_t ThumbnailQueue::pendingCount() const {
    std::lock_guard<std::mutex> lock(_mutex);
    return _waiting.size() + (_busy ? 1 : 0);
}

void ThumbnailQueue::setMakerForTesting(std::function<void(const std::string&)> maker) {
    std::lock_guard<std::mutex> lock(_mutex);
    _maker = std::move(maker);
}

void ThumbnailQueue::restartForTesting() {
    std::lock_guard<std::mutex> lock(_mutex);
    _stopped = false;
}

} // namespace tx
