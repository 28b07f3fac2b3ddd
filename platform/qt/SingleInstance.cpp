// The single-instance guard over a local (Unix domain) socket. The first
// start listens; a later start connects, sends its command line and waits for
// a one-byte acknowledgement. The check and the listen happen under a lock
// file, so two starts at the same moment cannot both become first.
//
// Message: a 4-byte big-endian length, then every argument in UTF-8 followed
// by a NUL byte.

#include <QDir>
#include <QEventLoop>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QTimer>
#include <QtEndian>

#include <cstdio>
#include <cstring>
#include <memory>

#include <unistd.h>

#include "platform/Paths.h"
#include "platform/SingleInstance.h"

namespace lumaren::platform {

namespace {

// A running instance answers within its next event loop turn; a connect to a
// socket nobody listens on fails at once.
constexpr int CON_ConnectTimeoutMs = 1000;
constexpr int CON_AckTimeoutMs = 3000;
// A peer that never finishes its message is dropped after this.
constexpr int CON_ReceiveTimeoutMs = 5000;
// Well above any real command line; a larger message is not ours.
constexpr qsizetype CON_MaxMessageBytes = 1024 * 1024;
// Another start holds the lock only for its check; waiting longer means the
// lock is unusable, and the start goes on without it.
constexpr int CON_LockTimeoutMs = 5000;
// A running instance that goes away during the hand-over is retried.
constexpr int CON_HandOverRounds = 3;
constexpr char CON_Ack = '\x06';

std::string SafeName(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                    c == '_' || c == '-';
    if (!ok) c = '_';
  }
  return out;
}

QByteArray EncodeCommandLine(const std::vector<std::string>& commandLine) {
  QByteArray payload;
  for (const std::string& argument : commandLine) {
    // Arguments that would not fit are left out rather than refused.
    if (payload.size() + static_cast<qsizetype>(argument.size()) + 1 + 4 > CON_MaxMessageBytes) break;
    payload.append(argument.data(), static_cast<qsizetype>(argument.size()));
    payload.append('\0');
  }
  QByteArray message(4, '\0');
  qToBigEndian<quint32>(static_cast<quint32>(payload.size()), message.data());
  return message + payload;
}

// The command line once the buffer holds a whole message; nothing before.
// Throws on a message that cannot be ours.
bool DecodeCommandLine(const QByteArray& buffer, std::vector<std::string>& commandLine) {
  if (buffer.size() < 4) return false;
  const quint32 length = qFromBigEndian<quint32>(buffer.constData());
  if (length > static_cast<quint32>(CON_MaxMessageBytes)) throw std::runtime_error("message too long");
  if (buffer.size() < 4 + static_cast<qsizetype>(length)) return false;
  commandLine.clear();
  const char* p = buffer.constData() + 4;
  const char* end = p + length;
  while (p < end) {
    const char* nul = static_cast<const char*>(std::memchr(p, '\0', static_cast<std::size_t>(end - p)));
    if (!nul) throw std::runtime_error("unterminated argument");
    commandLine.emplace_back(p, nul);
    p = nul + 1;
  }
  return true;
}

enum class THandOver { hoNoInstance, hoHandedOver, hoInstanceWentAway };

class TQtSingleInstance : public QObject, public TSingleInstance {
 public:
  TQtSingleInstance(const std::string& folder, const std::string& companyName, const std::string& productName,
                    const std::vector<std::string>& commandLine, TCmdLineReceived onCmdLineReceived)
      : FSocketPath(QString::fromStdString(SingleInstanceSocketPath(folder, companyName, productName))),
        FLockPath(FSocketPath.chopped(static_cast<qsizetype>(std::strlen(".socket"))) + QStringLiteral(".lock")),
        FOnCmdLineReceived(std::move(onCmdLineReceived)) {
    QDir().mkpath(QString::fromStdString(folder));
    for (int round = 0; round < CON_HandOverRounds; ++round) {
      QLockFile lock(FLockPath);
      const bool locked = lock.tryLock(CON_LockTimeoutMs);
      if (!locked) std::fprintf(stderr, "Single instance: cannot lock %s\n", qPrintable(FLockPath));
      auto socket = std::make_unique<QLocalSocket>();
      socket->connectToServer(FSocketPath);
      if (!socket->waitForConnected(CON_ConnectTimeoutMs)) {
        Listen();  // still under the lock
        return;
      }
      // The running instance needs the lock to end; do not hold it while
      // waiting for its answer.
      if (locked) lock.unlock();
      if (HandOver(*socket, commandLine) == THandOver::hoHandedOver) {
        FFirst = false;
        return;
      }
    }
    // An instance that keeps going away while we talk to it: run.
    QLockFile lock(FLockPath);
    lock.tryLock(CON_LockTimeoutMs);
    Listen();
  }

  ~TQtSingleInstance() override {
    if (!FServer) return;
    // Under the lock, so that a start at this moment either reaches us before
    // we close or finds the socket gone; never our removal of its socket.
    QLockFile lock(FLockPath);
    lock.tryLock(CON_LockTimeoutMs);
    FServer->close();
    FServer.reset();
  }

  bool IsFirstInstance() const override { return FFirst; }

  void SetOnCmdLineReceived(TCmdLineReceived handler) override { FOnCmdLineReceived = std::move(handler); }

 private:
  void Listen() {
    FFirst = true;
    // connect failed: whatever is at the path is a stale socket or a stray file.
    QLocalServer::removeServer(FSocketPath);
    FServer = std::make_unique<QLocalServer>();
    FServer->setSocketOptions(QLocalServer::UserAccessOption);
    if (!FServer->listen(FSocketPath)) {
      // Without the socket later starts cannot find us; we run anyway.
      std::fprintf(stderr, "Single instance: cannot listen on %s: %s\n", qPrintable(FSocketPath),
                   qPrintable(FServer->errorString()));
      FServer.reset();
      return;
    }
    QObject::connect(FServer.get(), &QLocalServer::newConnection, this, [this] {
      while (QLocalSocket* socket = FServer->nextPendingConnection()) Accept(socket);
    });
  }

  // Waits in a local event loop, so an instance in this same thread (the
  // tests) can answer; in a real later start nothing else is running yet.
  static THandOver HandOver(QLocalSocket& socket, const std::vector<std::string>& commandLine) {
    socket.write(EncodeCommandLine(commandLine));
    QEventLoop loop;
    bool acknowledged = false;
    bool wentAway = false;
    QObject::connect(&socket, &QLocalSocket::readyRead, &loop, [&] {
      if (socket.readAll().contains(CON_Ack)) {
        acknowledged = true;
        loop.quit();
      }
    });
    QObject::connect(&socket, &QLocalSocket::disconnected, &loop, [&] {
      if (socket.readAll().contains(CON_Ack)) acknowledged = true;
      wentAway = !acknowledged;
      loop.quit();
    });
    QTimer::singleShot(CON_AckTimeoutMs, &loop, &QEventLoop::quit);
    if (socket.state() == QLocalSocket::ConnectedState) loop.exec(QEventLoop::ExcludeUserInputEvents);
    else wentAway = true;
    if (acknowledged) return THandOver::hoHandedOver;
    // No answer in time: the instance is there but busy.
    return wentAway ? THandOver::hoInstanceWentAway : THandOver::hoHandedOver;
  }

  void Accept(QLocalSocket* socket) {
    auto buffer = std::make_shared<QByteArray>();
    QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(CON_ReceiveTimeoutMs, socket, [socket] { socket->abort(); });
    QObject::connect(socket, &QLocalSocket::readyRead, this, [this, socket, buffer] {
      buffer->append(socket->readAll());
      std::vector<std::string> commandLine;
      try {
        if (!DecodeCommandLine(*buffer, commandLine)) return;
      } catch (const std::exception&) {
        socket->abort();
        return;
      }
      buffer->clear();
      socket->write(&CON_Ack, 1);
      socket->flush();
      socket->disconnectFromServer();
      if (FOnCmdLineReceived) FOnCmdLineReceived(commandLine);
    });
  }

  const QString FSocketPath;
  const QString FLockPath;
  TCmdLineReceived FOnCmdLineReceived;
  std::unique_ptr<QLocalServer> FServer;
  bool FFirst = false;
};

}  // namespace

std::string SingleInstanceSocketPath(const std::string& folder, const std::string& companyName,
                                     const std::string& productName) {
  return folder + "/" + SafeName(companyName) + "-" + SafeName(productName) + "-" + std::to_string(getuid()) +
         ".socket";
}

std::unique_ptr<TSingleInstance> NewSingleInstance(const std::string& companyName, const std::string& productName,
                                                   const std::vector<std::string>& commandLine,
                                                   TCmdLineReceived onCmdLineReceived, const std::string& folder) {
  return std::make_unique<TQtSingleInstance>(folder.empty() ? RuntimeDir() : folder, companyName, productName,
                                             commandLine, std::move(onCmdLineReceived));
}

}  // namespace lumaren::platform
