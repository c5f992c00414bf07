#include "SerialWorker.h"

#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace tx {

namespace {

constexpr int kRetirePollMilliseconds = 100;

// Pools whose screen has gone while their last job still runs (main thread only). The process
// waits for those jobs before it exits: a job left running would use the libraries that exit is
// tearing down.
std::vector<QThreadPool*>& retiredPools() {
    static auto* pools = [] {
        std::atexit([] {
            for (QThreadPool* pool : retiredPools())
                pool->waitForDone();
        });
        return new std::vector<QThreadPool*>;
    }();
    return *pools;
}

} // namespace

SerialWorker::SerialWorker() : _pool(std::make_unique<QThreadPool>()) {
    _pool->setMaxThreadCount(1);
}

SerialWorker::~SerialWorker() {
    _pool->clear();
    if (_pool->waitForDone(0))
        return;
    // The pool is deleted from the main loop once its last job is over.
    QThreadPool* retired = _pool.release();
    retiredPools().push_back(retired);
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, timer, [retired, timer] {
        if (!retired->waitForDone(0))
            return;
        auto& pools = retiredPools();
        pools.erase(std::remove(pools.begin(), pools.end(), retired), pools.end());
        delete retired;
        timer->deleteLater();
    });
    timer->start(kRetirePollMilliseconds);
}

void SerialWorker::start(std::function<void()> job) {
    _pool->start(std::move(job));
}

void SerialWorker::waitForDone() {
    _pool->waitForDone();
}

} // namespace tx
