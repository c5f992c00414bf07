#include "SerialWorker.h"

#include <QThreadPool>
#include <QTimer>

namespace tx {

namespace {

constexpr int kRetirePollMilliseconds = 100;

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
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, timer, [retired, timer] {
        if (!retired->waitForDone(0))
            return;
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
