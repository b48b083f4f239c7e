// Runs request workers across the destruction of the application object and reports on
// stdout what happened; the shutdown test reads the report and the process's stderr.
//
//   shutdown_probe stalled   worker waiting for a server that never answers
//   shutdown_probe pending   worker whose callback is queued when the application goes
//   shutdown_probe abandon   AbandonAll first, then the application goes
#include "api/request_worker.h"
#include "capture_server.h"
#include "settings/connection_settings.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <cstdio>
#include <cstring>
#include <memory>

int main(int argc, char** argv)
{
  const char* Mode = argc > 1 ? argv[1] : "";
  TCaptureServer Server;
  Server.SetSilent(std::strcmp(Mode, "pending") != 0);
  Settings = new TSettings;
  Settings->SetServer("127.0.0.1");
  Settings->SetPort(Server.Port());

  int Callbacks = 0;
  {
    auto App = std::make_unique<QCoreApplication>(argc, argv);
    for (int I = 0; I < 3; ++I)
      (new TAPI([&](TAPI*) { ++Callbacks; }))->GetPlaylistContents();
    if (!Server.WaitForRequests(3, 10000)) {
      std::printf("requests did not arrive\n");
      return 2;
    }
    // In "pending" the replies have come and the workers wait for the UI thread, which never
    // looks at its events before the application is destroyed.
    QThread::msleep(200);
    std::printf("live at exit: %d\n", TAPI::LiveCount());
    if (std::strcmp(Mode, "abandon") == 0)
      TAPI::AbandonAll();
  }
  // The application object is gone; the workers must end on their own without touching it.
  QDeadlineTimer Deadline(10000);
  while (TAPI::LiveCount() > 0 && !Deadline.hasExpired())
    QThread::msleep(5);
  QThread::msleep(100); // the threads' last steps after their work
  std::printf("live after: %d\ncallbacks: %d\n", TAPI::LiveCount(), Callbacks);
  std::fflush(stdout);
  return 0;
}
