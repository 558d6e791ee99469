#include "app/LinkRelay.h"

#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "compose/MailtoLink.h"
#include "settings/FolderLock.h"

namespace qf::app {
namespace {

constexpr char kAnswer[] = "ok\n";
constexpr qint64 kLineMaxBytes = static_cast<qint64>(compose::kMailtoLinkMaxBytes) + 1;

QString socketFileOf(const settings::ProgramFolder& folder) {
    return QString::fromStdString(folder.linkSocketFile().string());
}

// Held means another process has the lock; a lock file that cannot be
// opened is left to the ordinary start, which says why.
bool folderIsHeld(const settings::ProgramFolder& folder) {
    Result<settings::FolderLock> lock = settings::FolderLock::acquire(folder.lockFile());
    return !lock && lock.status().code() == StatusCode::kRefused;
}

bool sendOnce(const QString& socketFile, const QByteArray& message, int waitMs) {
    QLocalSocket socket;
    socket.connectToServer(socketFile);
    if (!socket.waitForConnected(waitMs)) {
        return false;
    }
    socket.write(message);
    while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(waitMs)) {
    }
    QByteArray answer;
    while (!answer.contains('\n') && socket.waitForReadyRead(waitMs)) {
        answer += socket.readAll();
    }
    answer += socket.readAll();
    return answer == kAnswer;
}

}  // namespace

LinkServer::LinkServer(const settings::ProgramFolder& folder, QObject* parent)
    : QObject(parent), m_socketFile(socketFileOf(folder)), m_server(new QLocalServer) {
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server.get(), &QLocalServer::newConnection, this, &LinkServer::accept);
}

LinkServer::~LinkServer() = default;

bool LinkServer::listen() {
    QLocalServer::removeServer(m_socketFile);
    return m_server->listen(m_socketFile);
}

void LinkServer::accept() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void LinkServer::readFrom(QLocalSocket* socket) {
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > kLineMaxBytes) {
            socket->abort();
        }
        return;
    }
    QByteArray line = socket->readLine(kLineMaxBytes + 1);
    line.chop(1);
    socket->write(kAnswer);
    socket->flush();
    socket->disconnectFromServer();
    if (line.isEmpty()) {
        emit showRequested();
    } else {
        emit linkReceived(QString::fromUtf8(line));
    }
}

LinkDelivery askToShow(const settings::ProgramFolder& folder, int timeoutMs) {
    return deliverLink(folder, QString(), timeoutMs);
}

LinkDelivery deliverLink(const settings::ProgramFolder& folder, const QString& link,
                         int timeoutMs) {
    std::error_code ec;
    if (!std::filesystem::is_directory(folder.dataFolder(), ec)) {
        return LinkDelivery::kNotRunning;
    }
    const QByteArray message = link.toUtf8() + '\n';
    QElapsedTimer clock;
    clock.start();
    while (true) {
        if (!folderIsHeld(folder)) {
            return LinkDelivery::kNotRunning;
        }
        const int left = static_cast<int>(std::max<qint64>(timeoutMs - clock.elapsed(), 100));
        if (sendOnce(socketFileOf(folder), message, left)) {
            return LinkDelivery::kDelivered;
        }
        if (clock.hasExpired(timeoutMs)) {
            return LinkDelivery::kFailed;
        }
        // A program still starting holds the lock before it listens.
        QThread::msleep(100);
    }
}

}  // namespace qf::app
