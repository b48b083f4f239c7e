// Takes handed over by the recorder: quillon, started by Vexmo's Record button, sends the FLAC
// file of a used take over a local socket; Vexmo inserts it after its selected entry exactly as
// Insert does and answers with the outcome.
//
// The socket lies in XDG_RUNTIME_DIR (a folder only the user can enter), is created for the user
// alone, and every connection's peer is checked to be the same user. Its name carries the data
// folder, so a recorder reaches the Vexmo of its own installation.
//
// Protocol, one line each way, UTF-8:
//   recorder -> Vexmo:  "INSERT <absolute path of a .flac file>\n"
//   Vexmo -> recorder:  "OK <message>\n" or "FAILED <message>\n"
#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QLocalServer;
class QLocalSocket;

// Where the socket of the installation whose data folder is ADataFolder lies.
QString TakeHandoverSocketPath(const QString& ADataFolder);

// Called once with the outcome.
using TTakeHandoverReply = std::function<void(bool AOk, const QString& AMessage)>;
// Inserts AFile (a checked, existing .flac file) and calls AReply once when done.
using TTakeHandoverHandler = std::function<void(const QString& AFile, TTakeHandoverReply AReply)>;

class TTakeHandoverServer : public QObject
{
  Q_OBJECT

public:
  TTakeHandoverServer(TTakeHandoverHandler AHandler, QObject* AParent = nullptr);
  ~TTakeHandoverServer() override;

  // Listens at APath. A socket left by a program that ended is replaced; one that a running
  // Vexmo answers on is left to it (false).
  bool Listen(const QString& APath);
  QString Path() const;

private:
  void OnConnection();
  void OnLine(QLocalSocket* ASocket);

  TTakeHandoverHandler FHandler;
  QLocalServer* FServer;
};

class TMainFrm;
// Vexmo's start: takes handed over go to AWindow->InsertVoiceTrackFile. Once per window.
void StartTakeHandover(TMainFrm* AWindow);

// Where the Insert dialog starts: the newest FLAC file in AFolder (which the dialog then selects),
// or AFolder itself when it holds none.
QString NewestVoiceTrack(const QString& AFolder);
