#include "Timer.h"

#include "RunLoop.h"

#include <QCoreApplication>
#include <QTimer>

#include <cmath>

namespace tx {

struct Timer::Impl {
    QTimer* timer = nullptr; // owned by the application object, deleted later on invalidate
    Block block;
    bool repeats = false;
};

std::shared_ptr<Timer> Timer::scheduled(double intervalSeconds, bool repeats, Block block,
                                        bool fireNow) {
    RunLoop::ensureApplication();
    auto timer = std::make_shared<Timer>();
    timer->_intervalSeconds = intervalSeconds;
    timer->_impl = std::make_unique<Impl>();
    timer->_impl->block = std::move(block);
    timer->_impl->repeats = repeats;
    auto* qt = new QTimer(QCoreApplication::instance());
    qt->setTimerType(Qt::PreciseTimer);
    qt->setSingleShot(!repeats);
    timer->_impl->timer = qt;
    std::weak_ptr<Timer> weak = timer;
    auto fire = [weak]() {
        auto self = weak.lock(); // the block may drop the owner's reference
        if (!self || !self->isValid()) {
            return;
        }
        auto block = self->_impl->block;
        if (!self->_impl->repeats) {
            self->invalidate();
        }
        if (block) {
            block(*self);
        }
    };
    QObject::connect(qt, &QTimer::timeout, qt, fire);
    const double ms = std::max(0.0, intervalSeconds * 1000.0);
    qt->start(static_cast<int>(std::lround(ms)));
    if (fireNow) {
        RunLoop::post(fire);
    }
    return timer;
}

Timer::~Timer() {
    invalidate();
}

void Timer::invalidate() {
    if (!_impl || _impl->timer == nullptr) {
        return;
    }
    _impl->timer->stop();
    _impl->timer->deleteLater();
    _impl->timer = nullptr;
    _impl->block = nullptr;
}

bool Timer::isValid() const {
    return _impl && _impl->timer != nullptr;
}

} // namespace tx
