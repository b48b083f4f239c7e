// The recorder's side of the take hand-over (see app/take_handover.h): sends a used take's FLAC
// file to the running Vexmo and reports its answer.
#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QLocalSocket;

class TTakeHandoverClient : public QObject
{
  Q_OBJECT

public:
  // ASocketPath: empty for the socket of this installation's Vexmo.
  explicit TTakeHandoverClient(const QString& ASocketPath = {}, QObject* AParent = nullptr);

  // Sends AFile; ADone runs once, on this thread, with Vexmo's answer or the reason there was
  // none. One hand-over at a time.
  void Send(const QString& AFile, std::function<void(bool, const QString&)> ADone);

private:
  void Finish(bool AOk, const QString& AMessage);

  QString FPath;
  QLocalSocket* FSocket = nullptr;
  std::function<void(bool, const QString&)> FDone;
  QByteArray FReply;
};
