#include "recorder/take_handover_client.h"

#include "app/take_handover.h"
#include "base/data_folders.h"

#include <QLocalSocket>

TTakeHandoverClient::TTakeHandoverClient(const QString& ASocketPath, QObject* AParent)
    : QObject(AParent),
      FPath(ASocketPath.isEmpty() ? TakeHandoverSocketPath(DataFolder()) : ASocketPath)
{}

void TTakeHandoverClient::Send(const QString& AFile,
                               std::function<void(bool, const QString&)> ADone)
{
  if (FSocket) {
    ADone(false, QStringLiteral("Another take is still being handed over."));
    return;
  }
  FDone = std::move(ADone);
  FReply.clear();
  FSocket = new QLocalSocket(this);
  connect(FSocket, &QLocalSocket::connected, this,
          [this, AFile] { FSocket->write(QByteArrayLiteral("INSERT ") + AFile.toUtf8() + '\n'); });
  connect(FSocket, &QLocalSocket::readyRead, this, [this] {
    FReply += FSocket->readAll();
    const qsizetype End = FReply.indexOf('\n');
    if (End < 0)
      return;
    const QString Line = QString::fromUtf8(FReply.left(End));
    if (Line.startsWith(QLatin1String("OK")))
      Finish(true, Line.mid(3));
    else
      Finish(false, Line.startsWith(QLatin1String("FAILED ")) ? Line.mid(7) : Line);
  });
  connect(
      FSocket, &QLocalSocket::errorOccurred, this, [this](QLocalSocket::LocalSocketError AError) {
        if (AError == QLocalSocket::ServerNotFoundError ||
            AError == QLocalSocket::ConnectionRefusedError)
          Finish(false, QStringLiteral("Vexmo is not running. Start it and insert the take with "
                                       "\"Insert voice track\"."));
        else
          Finish(false, QStringLiteral("Vexmo did not answer (%1).").arg(FSocket->errorString()));
      });
  FSocket->connectToServer(FPath);
}

void TTakeHandoverClient::Finish(bool AOk, const QString& AMessage)
{
  if (!FSocket)
    return;
  FSocket->disconnect(this);
  FSocket->abort();
  FSocket->deleteLater();
  FSocket = nullptr;
  if (auto Done = std::move(FDone)) {
    FDone = nullptr;
    Done(AOk, AMessage);
  }
}
