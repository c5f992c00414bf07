#include "IdleInhibitor.h"

#include "platform/system/AppPage.h"
#include "platform/system/SessionBus.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace tx {

namespace {

const char* const kService = "org.freedesktop.ScreenSaver";
const char* const kPath = "/org/freedesktop/ScreenSaver";

QDBusMessage screenSaverCall(const char* method) {
    return QDBusMessage::createMethodCall(kService, kPath, kService, method);
}

} // namespace

IdleInhibitor& IdleInhibitor::shared() {
    static IdleInhibitor* inhibitor = new IdleInhibitor;
    return *inhibitor;
}

std::shared_ptr<void> IdleInhibitor::inhibit(const std::string& reason) {
    if (++_count == 1)
        acquire(reason);
    // The token's deleter hands the hold back; the shared instance is never destroyed.
    return std::shared_ptr<void>(nullptr, [this](void*) { release(); });
}

void IdleInhibitor::acquire(const std::string& reason) {
    if (_cookie != 0 || _asking)
        return;
    QDBusConnection bus = sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = screenSaverCall("Inhibit");
    call << QString(kApplicationId) << QString::fromStdString(reason);
    _asking = true;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [this, watcher] {
        watcher->deleteLater();
        _asking = false;
        QDBusPendingReply<uint> reply = *watcher;
        if (reply.isError())
            return; // no screensaver service: the desktop goes on as it likes
        if (_count == 0) {
            releaseCookie(reply.value()); // every token went while we were asking
            return;
        }
        _cookie = reply.value();
    });
}

void IdleInhibitor::release() {
    if (--_count > 0)
        return;
    _count = 0;
    if (_cookie != 0) {
        releaseCookie(_cookie);
        _cookie = 0;
    }
}

void IdleInhibitor::releaseCookie(std::uint32_t cookie) {
    QDBusConnection bus = sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = screenSaverCall("UnInhibit");
    call << static_cast<uint>(cookie);
    bus.asyncCall(call);
}

} // namespace tx
