#include "app/take_handover.h"

#include "app/main_frm.h"
#include "base/data_folders.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qint64 CMaxLine = 8192;

void Answer(QLocalSocket* ASocket, bool AOk, const QString& AMessage)
{
  QString Text = AMessage;
  Text.replace(QLatin1Char('\n'), QLatin1Char(' '));
  ASocket->write((AOk ? QByteArrayLiteral("OK ") : QByteArrayLiteral("FAILED ")) + Text.toUtf8() +
                 '\n');
  ASocket->flush();
  ASocket->disconnectFromServer();
}

bool SameUser(QLocalSocket* ASocket)
{
  ucred Peer{};
  socklen_t Size = sizeof Peer;
  return ::getsockopt(int(ASocket->socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &Peer, &Size) ==
             0 &&
         Peer.uid == ::getuid();
}

} // namespace

QString TakeHandoverSocketPath(const QString& ADataFolder)
{
  QString Runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (Runtime.isEmpty() || !QFileInfo(Runtime).isDir()) {
    // Without a runtime folder: a folder of our own that only the user may enter.
    // The shared temporary folder is open to everyone: a folder of that name that someone else
    // made (or a link) could hand the takes to their program, so then there is no hand-over.
    Runtime = QDir::tempPath() + QStringLiteral("/vexmo-%1").arg(::getuid());
    const QByteArray Name = QFile::encodeName(Runtime);
    ::mkdir(Name.constData(), 0700);
    struct stat Info
    {};
    if (::lstat(Name.constData(), &Info) != 0 || !S_ISDIR(Info.st_mode) ||
        Info.st_uid != ::getuid() || (Info.st_mode & 077) != 0)
      return QString();
  }
  const QByteArray Id =
      QCryptographicHash::hash(QDir::cleanPath(ADataFolder).toUtf8(), QCryptographicHash::Sha1)
          .toHex()
          .left(12);
  return Runtime + QStringLiteral("/vexmo-takes-") + QString::fromLatin1(Id);
}

TTakeHandoverServer::TTakeHandoverServer(TTakeHandoverHandler AHandler, QObject* AParent)
    : QObject(AParent), FHandler(std::move(AHandler)), FServer(new QLocalServer(this))
{
  FServer->setSocketOptions(QLocalServer::UserAccessOption);
  connect(FServer, &QLocalServer::newConnection, this, &TTakeHandoverServer::OnConnection);
}

TTakeHandoverServer::~TTakeHandoverServer() = default;

bool TTakeHandoverServer::Listen(const QString& APath)
{
  if (QFileInfo::exists(APath)) {
    QLocalSocket Probe;
    Probe.connectToServer(APath);
    if (Probe.waitForConnected(500))
      return false; // another Vexmo of this installation takes the takes
    QLocalServer::removeServer(APath);
  }
  return FServer->listen(APath);
}

QString TTakeHandoverServer::Path() const
{
  return FServer->fullServerName();
}

void TTakeHandoverServer::OnConnection()
{
  while (QLocalSocket* Socket = FServer->nextPendingConnection()) {
    connect(Socket, &QLocalSocket::disconnected, Socket, &QObject::deleteLater);
    if (!SameUser(Socket)) {
      Socket->abort();
      Socket->deleteLater();
      continue;
    }
    connect(Socket, &QLocalSocket::readyRead, this, [this, Socket] { OnLine(Socket); });
  }
}

void TTakeHandoverServer::OnLine(QLocalSocket* ASocket)
{
  if (ASocket->property("vexmoBusy").toBool())
    return;
  if (!ASocket->canReadLine()) {
    if (ASocket->bytesAvailable() > CMaxLine)
      Answer(ASocket, false, QStringLiteral("The request is too long."));
    return;
  }
  ASocket->setProperty("vexmoBusy", true);
  const QString Line = QString::fromUtf8(ASocket->readLine(CMaxLine)).trimmed();
  if (!Line.startsWith(QLatin1String("INSERT "))) {
    Answer(ASocket, false, QStringLiteral("Unknown request."));
    return;
  }
  const QString File = Line.mid(7);
  const QFileInfo Info(File);
  if (!Info.isAbsolute() || !Info.isFile() ||
      Info.suffix().compare(QLatin1String("flac"), Qt::CaseInsensitive) != 0) {
    Answer(ASocket, false, QStringLiteral("%1 is not a FLAC file.").arg(File));
    return;
  }
  const QPointer<QLocalSocket> Socket(ASocket);
  FHandler(Info.absoluteFilePath(), [Socket](bool AOk, const QString& AMessage) {
    if (Socket && Socket->state() == QLocalSocket::ConnectedState)
      Answer(Socket, AOk, AMessage);
  });
}

void StartTakeHandover(TMainFrm* AWindow)
{
  if (AWindow->findChild<TTakeHandoverServer*>())
    return;
  const QPointer<TMainFrm> Window(AWindow);
  auto* Server = new TTakeHandoverServer(
      [Window](const QString& AFile, TTakeHandoverReply AReply) {
        if (Window)
          Window->InsertVoiceTrackFile(AFile, std::move(AReply));
        else
          AReply(false, QStringLiteral("Vexmo is closing."));
      },
      AWindow);
  // Without the socket Vexmo works on; the recorder then says that nobody took the take.
  Server->Listen(TakeHandoverSocketPath(DataFolder()));
}

QString NewestVoiceTrack(const QString& AFolder)
{
  if (AFolder.isEmpty())
    return AFolder;
  const QFileInfoList Files =
      QDir(AFolder).entryInfoList({QStringLiteral("*.flac")}, QDir::Files, QDir::Time);
  return Files.isEmpty() ? AFolder : Files.first().absoluteFilePath();
}
