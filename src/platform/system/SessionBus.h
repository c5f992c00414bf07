// The D-Bus session bus the desktop services talk to (screensaver, file chooser portal). Tests
// point it at a private bus of their own.
#pragma once

#include <QDBusConnection>
#include <string>

namespace tx {

// The bus in use; not connected where the session has no bus, which every caller must allow.
QDBusConnection sessionBus();
// Talks to the bus at `address` from now on; empty returns to the desktop's session bus.
void setSessionBusAddress(const std::string& address);

} // namespace tx
