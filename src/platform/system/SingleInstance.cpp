#include "SingleInstance.h"

#include "platform/foundation/RunLoop.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <memory>

namespace tx {

namespace {

constexpr int kConnectMilliseconds = 500;
const QByteArray kRaiseRequest = "raise\n";

std::unique_ptr<QLocalServer>& server() {
    static auto* listening = new std::unique_ptr<QLocalServer>;
    return *listening;
}

// Asks a running instance to raise its window; true when one answered the door.
bool askRunningInstance(const QString& path) {
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(kConnectMilliseconds))
        return false;
    socket.write(kRaiseRequest);
    socket.waitForBytesWritten(kConnectMilliseconds);
    socket.disconnectFromServer();
    return true;
}

} // namespace

std::string SingleInstance::socketPath(const std::string& appId) {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return (folder + "/" + QString::fromStdString(appId) + ".instance").toStdString();
}

bool SingleInstance::claim(const std::string& appId, std::function<void()> onRaiseRequest) {
    const QString path = QString::fromStdString(socketPath(appId));
    // Two starts at once: the lock lets one of them check and listen before the other looks.
    QLockFile lock(path + ".lock");
    lock.setStaleLockTime(0);
    const bool locked = lock.tryLock(2000);
    if (askRunningInstance(path))
        return false;
    // Nobody answered: whatever socket is there was left by an instance that died.
    QLocalServer::removeServer(path);
    auto listening = std::make_unique<QLocalServer>();
    listening->setSocketOptions(QLocalServer::UserAccessOption);
    if (!listening->listen(path))
        return true;
    (void)locked;
    auto raise = std::make_shared<std::function<void()>>(std::move(onRaiseRequest));
    QLocalServer* raw = listening.get();
    QObject::connect(raw, &QLocalServer::newConnection, raw, [raw, raise] {
        while (QLocalSocket* socket = raw->nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket,
                             &QLocalSocket::deleteLater);
            auto answer = [socket, raise] {
                if (!socket->canReadLine())
                    return;
                if (socket->readLine() == kRaiseRequest && *raise)
                    RunLoop::post([raise] { (*raise)(); });
            };
            QObject::connect(socket, &QLocalSocket::readyRead, socket, answer);
            answer();
        }
    });
    server() = std::move(listening);
    return true;
}

void SingleInstance::release() {
    if (server())
        server()->close();
    server().reset();
}

} // namespace tx
