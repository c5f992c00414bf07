#include "platform/ui/SessionLockWatcher.h"

#include "platform/ui/Window.h"

#include <QFile>
#include <QObject>

#ifdef TX_HAVE_QTDBUS
#include <QDBusConnection>
#endif

namespace tx {

#ifdef TX_HAVE_QTDBUS
namespace {

// The freedesktop screensaver interface, and GNOME's own, which announce the lock.
struct ScreenSaverService {
    const char* service;
    const char* path;
    const char* interface;
};
constexpr ScreenSaverService kServices[] = {
    {"org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver"},
    {"org.gnome.ScreenSaver", "/org/gnome/ScreenSaver", "org.gnome.ScreenSaver"},
};

} // namespace

class SessionLockListener : public QObject {
    Q_OBJECT
public slots:
    void activeChanged(bool locked) {
        if (Window* window = Window::keyWindow())
            window->platformSessionLockChanged(locked);
    }
};

void watchSessionLock() {
    static SessionLockListener* listener = nullptr;
    if (listener)
        return;
    listener = new SessionLockListener();
    // No bus address, no bus: asking for one would start a bus of our own.
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS") &&
        (runtime.isEmpty() || !QFile::exists(QString::fromLocal8Bit(runtime) + "/bus")))
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    for (const ScreenSaverService& s : kServices) {
        bus.connect(QString::fromLatin1(s.service), QString::fromLatin1(s.path),
                    QString::fromLatin1(s.interface), QStringLiteral("ActiveChanged"), listener,
                    SLOT(activeChanged(bool)));
    }
}

#else

void watchSessionLock() {}

#endif

} // namespace tx

#ifdef TX_HAVE_QTDBUS
#include "SessionLockWatcher.moc"
#endif
