#include "SerialWorker.h"

#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <vector>

namespace tx {

namespace {

constexpr int kRetirePollMilliseconds = 100;

// Every pool there is (main thread only): those of live screens, and those whose screen has gone
// while their last job still runs.
struct Pools {
    std::vector<QThreadPool*> live;
    std::vector<QThreadPool*> retired;
};

Pools& pools() {
    static auto* all = new Pools;
    return *all;
}

void forget(std::vector<QThreadPool*>& list, QThreadPool* pool) {
    list.erase(std::remove(list.begin(), list.end(), pool), list.end());
}

} // namespace

SerialWorker::SerialWorker() : _pool(std::make_unique<QThreadPool>()) {
    _pool->setMaxThreadCount(1);
    pools().live.push_back(_pool.get());
}

SerialWorker::~SerialWorker() {
    forget(pools().live, _pool.get());
    _pool->clear();
    if (_pool->waitForDone(0))
        return;
    // The pool is deleted from the main loop once its last job is over.
    QThreadPool* retired = _pool.release();
    pools().retired.push_back(retired);
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, timer, [retired, timer] {
        if (!retired->waitForDone(0))
            return;
        forget(pools().retired, retired);
        delete retired;
        timer->deleteLater();
    });
    timer->start(kRetirePollMilliseconds);
}

void SerialWorker::start(std::function<void()> job) {
    _pool->start(std::move(job));
}

void SerialWorker::finishAll() {
    for (QThreadPool* pool : pools().live)
        pool->clear();
    for (QThreadPool* pool : pools().live)
        pool->waitForDone();
    for (QThreadPool* pool : pools().retired)
        pool->waitForDone();
}

void SerialWorker::waitForDone() {
    _pool->waitForDone();
}

} // namespace tx
