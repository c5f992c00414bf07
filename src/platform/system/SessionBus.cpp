#include "SessionBus.h"

#include <QString>

namespace tx {

namespace {

QString& chosenBusName() {
    static QString* name = new QString;
    return *name;
}

} // namespace

QDBusConnection sessionBus() {
    if (chosenBusName().isEmpty())
        return QDBusConnection::sessionBus();
    return QDBusConnection(chosenBusName());
}

void setSessionBusAddress(const std::string& address) {
    static int count = 0;
    if (!chosenBusName().isEmpty())
        QDBusConnection::disconnectFromBus(chosenBusName());
    chosenBusName().clear();
    if (address.empty())
        return;
    chosenBusName() = QStringLiteral("taluvex-bus-%1").arg(++count);
    QDBusConnection::connectToBus(QString::fromStdString(address), chosenBusName());
}

} // namespace tx
