#include "RunLoop.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <map>
#include <mutex>

namespace tx {

namespace {

std::mutex gDelayedMutex;
std::map<RunLoop::DelayedCallId, QTimer*>& delayedTimers() {
    static auto* timers = new std::map<RunLoop::DelayedCallId, QTimer*>();
    return *timers;
}
std::atomic<RunLoop::DelayedCallId> gNextDelayedId{1};

void startDelayed(RunLoop::DelayedCallId id, double seconds, RunLoop::Task task) {
    auto* timer = new QTimer(QCoreApplication::instance());
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    {
        std::lock_guard lock(gDelayedMutex);
        delayedTimers()[id] = timer;
    }
    QObject::connect(timer, &QTimer::timeout, timer, [id, timer, task = std::move(task)]() {
        {
            std::lock_guard lock(gDelayedMutex);
            delayedTimers().erase(id);
        }
        timer->deleteLater();
        task();
    });
    timer->start(static_cast<int>(seconds * 1000.0 + 0.5));
}

} // namespace

void RunLoop::ensureApplication() {
    if (QCoreApplication::instance() == nullptr) {
        static int argc = 1;
        static char name[] = "taluvex";
        static char* argv[] = {name, nullptr};
        new QCoreApplication(argc, argv);
    }
}

bool RunLoop::isMainThread() {
    auto* app = QCoreApplication::instance();
    return app == nullptr || QThread::currentThread() == app->thread();
}

void RunLoop::post(Task task) {
    ensureApplication();
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(task), Qt::QueuedConnection);
}

RunLoop::DelayedCallId RunLoop::postAfter(double seconds, Task task) {
    ensureApplication();
    const DelayedCallId id = gNextDelayedId++;
    if (seconds < 0) {
        seconds = 0;
    }
    if (isMainThread()) {
        startDelayed(id, seconds, std::move(task));
    } else {
        post([id, seconds, task = std::move(task)]() mutable {
            startDelayed(id, seconds, std::move(task));
        });
    }
    return id;
}

void RunLoop::cancel(DelayedCallId id) {
    auto stop = [id]() {
        QTimer* timer = nullptr;
        {
            std::lock_guard lock(gDelayedMutex);
            auto it = delayedTimers().find(id);
            if (it == delayedTimers().end()) {
                return;
            }
            timer = it->second;
            delayedTimers().erase(it);
        }
        timer->stop();
        timer->deleteLater();
    };
    if (isMainThread()) {
        stop();
    } else {
        post(stop);
    }
}

void RunLoop::performOnMain(Task task, bool waitUntilDone) {
    ensureApplication();
    if (waitUntilDone) {
        if (isMainThread()) {
            task();
        } else {
            QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(task),
                                      Qt::BlockingQueuedConnection);
        }
        return;
    }
    post(std::move(task));
}

int RunLoop::run() {
    ensureApplication();
    return QCoreApplication::exec();
}

void RunLoop::quit(int exitCode) {
    if (QCoreApplication::instance() != nullptr) {
        QCoreApplication::exit(exitCode);
    }
}

bool RunLoop::runUntil(const std::function<bool()>& condition, double timeoutSeconds) {
    ensureApplication();
    QElapsedTimer clock;
    clock.start();
    const auto limitMs = static_cast<qint64>(timeoutSeconds * 1000.0);
    QEventLoop loop;
    // A short wake-up timer keeps the wait bounded when no event arrives.
    QTimer wake;
    wake.setInterval(5);
    wake.start();
    while (!condition()) {
        if (clock.elapsed() >= limitMs) {
            return false;
        }
        loop.processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
    }
    return true;
}

void RunLoop::runFor(double seconds) {
    QElapsedTimer clock;
    clock.start();
    const auto limitMs = static_cast<qint64>(seconds * 1000.0);
    runUntil([&]() { return clock.elapsed() >= limitMs; }, seconds + 1.0);
}

} // namespace tx
