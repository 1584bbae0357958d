// One running Quillmap per user: a lock file tells that an earlier instance runs, and a local
// socket beside it carries the new instance's request to come to the front.
#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

namespace quillmap {

class SingleInstance : public QObject {
  Q_OBJECT

 public:
  // `folder` holds the lock and the socket: by default the user's runtime folder.
  explicit SingleInstance(QString folder = DefaultFolder(), QObject* parent = nullptr);
  ~SingleInstance() override;

  static QString DefaultFolder();

  // True when another live process holds the lock. Otherwise this process now holds it (a lock
  // left by a crashed instance is taken over) and listens for activation requests.
  bool EarlierInstanceRunning();

  // Asks the earlier instance to restore and raise its window. False when it cannot be reached
  // within `timeout_ms` (for example while it is still starting).
  bool ActivateEarlierInstance(int timeout_ms = 2000);

 signals:
  void ActivationRequested();

 private:
  void AcceptConnection();

  QString folder_;
  std::unique_ptr<QLockFile> lock_;
  QLocalServer server_;
};

}  // namespace quillmap
