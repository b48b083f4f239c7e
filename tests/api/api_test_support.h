// Shared by the station client tests: connection settings, running one worker to its end.
#pragma once

#include "api/request_worker.h"
#include "settings/connection_settings.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QPointer>
#include <QThread>
#include <functional>
#include <memory>

// Points the program's connection settings at a server.
inline void UseServer(const QString& AServer, int APort, const QString& AUser = "demo",
                      const QString& APass = "demo", bool ATLS = false)
{
  if (!Settings)
    Settings = new TSettings;
  Settings->Lock();
  Settings->SetServer(AServer);
  Settings->SetPort(APort);
  Settings->SetUser(AUser);
  Settings->SetPass(APass);
  Settings->SetTLS(ATLS);
  Settings->Unlock();
}

// Runs the UI thread's events until the condition holds or the time is up.
inline bool WaitUntil(const std::function<bool()>& ACondition, int ATimeoutMs = 20000)
{
  QDeadlineTimer Deadline(ATimeoutMs);
  while (!ACondition()) {
    if (Deadline.hasExpired())
      return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(1);
  }
  return true;
}

// What the callbacks of one worker saw.
struct TOutcome
{
  int Calls = 0;
  bool OnUiThread = true;
  bool Success = false;
  QString Error;
  std::unique_ptr<TPlaylist> Playlist;
  TPlaybackInfo Info;
  bool WorkerGone = false; // the worker deleted itself afterwards
};

inline TAPICallback RecordInto(std::shared_ptr<TOutcome> AOutcome)
{
  return [AOutcome](TAPI* ASender) {
    ++AOutcome->Calls;
    AOutcome->OnUiThread =
        AOutcome->OnUiThread && QThread::currentThread() == QCoreApplication::instance()->thread();
    AOutcome->Success = ASender->Success();
    AOutcome->Error = ASender->Error();
    AOutcome->Playlist = ASender->TakePlaylist();
    AOutcome->Info = ASender->PlaybackInfo();
  };
}

// Creates a worker, hands it to AStart (which calls one request method) and waits until the
// worker has deleted itself.
inline std::shared_ptr<TOutcome> RunWorker(const std::function<void(TAPI*)>& AStart,
                                           int ATimeoutMs = 20000)
{
  auto Outcome = std::make_shared<TOutcome>();
  QPointer<TAPI> Worker = new TAPI(RecordInto(Outcome));
  AStart(Worker.data());
  Outcome->WorkerGone = WaitUntil([&] { return Worker.isNull(); }, ATimeoutMs);
  return Outcome;
}
