#include "app/single_instance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

namespace quillmap {
namespace {

constexpr char kActivateRequest[] = "activate\n";

}  // namespace

SingleInstance::SingleInstance(QString folder, QObject* parent)
    : QObject(parent), folder_(std::move(folder)) {
  connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::AcceptConnection);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::DefaultFolder() {
  QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  return folder.isEmpty() ? QDir::tempPath() : folder;
}

bool SingleInstance::EarlierInstanceRunning() {
  QDir().mkpath(folder_);
  lock_ = std::make_unique<QLockFile>(folder_ + "/quillmap.lock");
  // Only a dead owner makes the lock stale, however long the first instance has been running.
  lock_->setStaleLockTime(0);
  if (!lock_->tryLock(0)) {
    lock_.reset();
    return true;
  }
  const QString socket_path = folder_ + "/quillmap.socket";
  // A socket file left by a crashed instance would block listen(); the lock makes it ours.
  QLocalServer::removeServer(socket_path);
  server_.setSocketOptions(QLocalServer::UserAccessOption);
  server_.listen(socket_path);
  return false;
}

bool SingleInstance::ActivateEarlierInstance(int timeout_ms) {
  const QString socket_path = folder_ + "/quillmap.socket";
  const QDeadlineTimer deadline(timeout_ms);
  QLocalSocket socket;
  for (;;) {
    socket.connectToServer(socket_path);
    if (socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) break;
    if (deadline.hasExpired()) return false;
    socket.abort();
    // The earlier instance may hold the lock without listening yet.
    QThread::msleep(50);
  }
  socket.write(kActivateRequest);
  if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) return false;
  socket.disconnectFromServer();
  if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(1000);
  return true;
}

void SingleInstance::AcceptConnection() {
  while (QLocalSocket* socket = server_.nextPendingConnection()) {
    auto read_request = [this, socket] {
      if (socket->property("answered").toBool()) return;
      if (socket->bytesAvailable() > 0 && socket->readAll().contains("activate")) {
        socket->setProperty("answered", true);
        emit ActivationRequested();
      }
    };
    connect(socket, &QLocalSocket::readyRead, this, read_request);
    // A request and its disconnection can arrive together.
    connect(socket, &QLocalSocket::disconnected, this, read_request);
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
  }
}

}  // namespace quillmap
