// Measures what the user waits for on the UI thread:
// - a 10,000-entry playlist refresh: the callback taking the list over and the grid update,
//   including the repaint, for a refresh with the same number of entries (rows kept) and with
//   another number (rows rebuilt); set against the whole exchange with a local station, which
//   runs on a worker thread;
// - the start-up: from starting the process to the first painted main window, measured on a
//   child process that runs the program's own start-up.
//
//   vexmo_app_bench [--runs N]
// Widgets run on the offscreen platform unless QT_QPA_PLATFORM says otherwise.
#include "api/request_worker.h"
#include "app/app_hooks.h"
#include "app/main_frm.h"
#include "app/playlist_model.h"
#include "app/playlist_view.h"
#include "app/startup.h"
#include "base/data_folders.h"
#include "settings/connection_settings.h"
#include "settings/player_ini.h"
#include "settings/system_ini.h"
#include "station_server.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace {

double Median(std::vector<double> AValues)
{
  std::sort(AValues.begin(), AValues.end());
  return AValues.empty() ? 0 : AValues[AValues.size() / 2];
}

double Max(const std::vector<double>& AValues)
{
  return AValues.empty() ? 0 : *std::max_element(AValues.begin(), AValues.end());
}

double Min(const std::vector<double>& AValues)
{
  return AValues.empty() ? 0 : *std::min_element(AValues.begin(), AValues.end());
}

bool WaitFor(const std::function<bool()>& APredicate, int AMs = 30000)
{
  QDeadlineTimer Deadline(AMs);
  while (!APredicate()) {
    if (Deadline.hasExpired())
      return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return true;
}

TPlaylist MakePlaylist(int ACount)
{
  TPlaylist List;
  List.reserve(size_t(ACount));
  for (int I = 0; I < ACount; ++I)
    List.push_back({QStringLiteral("Artist %1 - A song title of a usual length %1").arg(I),
                    QStringLiteral("3:%1").arg(I % 60, 2, 10, QLatin1Char('0')),
                    QStringLiteral("%1:%2:00").arg(9 + I / 60 % 12).arg(I % 60)});
  return List;
}

// The callback's share: take the list over, update the grid, paint it.
double TimeRefresh(TMainFrm* AMain, const TPlaylist& AList)
{
  auto List = std::make_unique<TPlaylist>(AList); // made by the worker in the program
  QElapsedTimer Clock;
  Clock.start();
  AMain->ApplyPlaylist(true, std::move(List), QString());
  AMain->lvPlaylist->viewport()->repaint();
  return Clock.nsecsElapsed() / 1e6;
}

int RunRefresh(int ARuns)
{
  QTemporaryDir Folder;
  InitProgramFolder(Folder.path());
  InitDataFolder();
  Settings = new TSettings;
  PlayerIni = new TPlayerIni;
  SystemIni = new TSystemIni;

  TStationOptions Options;
  Options.LogToStderr = false;
  Options.Entries = 10000;
  Options.AutoFill = false;
  TStationServer Station(Options);
  if (!Station.Start()) {
    std::fprintf(stderr, "station: %s\n", qPrintable(Station.ErrorText()));
    return 1;
  }
  Station.SetTime(QDateTime::currentDateTime());
  Settings->SetServer(QStringLiteral("127.0.0.1"));
  Settings->SetPort(Station.Port());
  Settings->SetUser(QStringLiteral("demo"));
  Settings->SetPass(QStringLiteral("demo"));

  auto* Main = new TMainFrm;
  Main->tmrMain->stop();
  Main->resize(1000, 800);
  Main->show();
  if (!WaitFor([Main] { return Main->Model()->rowCount() == 10000; })) {
    std::fprintf(stderr, "the first refresh did not arrive\n");
    return 1;
  }
  Main->lvPlaylist->SelectRow(5000);
  Main->lvPlaylist->scrollTo(Main->Model()->index(5000, 0));

  // The whole exchange with the station, worker thread included.
  std::vector<double> Exchange;
  for (int I = 0; I < ARuns; ++I) {
    QElapsedTimer Clock;
    Clock.start();
    Main->RefreshPlaylist();
    WaitFor([Main] { return !Main->UpdatingPlaylist(); });
    Exchange.push_back(Clock.nsecsElapsed() / 1e6);
  }

  const TPlaylist Ten = MakePlaylist(10000);
  const TPlaylist TenPlus = MakePlaylist(10001);
  std::vector<double> Kept, Rebuilt;
  TimeRefresh(Main, Ten); // warm-up, and the count the kept case starts from
  for (int I = 0; I < ARuns; ++I)
    Kept.push_back(TimeRefresh(Main, Ten));
  for (int I = 0; I < ARuns; ++I)
    Rebuilt.push_back(TimeRefresh(Main, I % 2 ? Ten : TenPlus));

  std::printf("10,000-entry refresh, UI thread (callback + grid update + repaint), %d runs:\n",
              ARuns);
  std::printf(
      "  same count (rows kept):     median %6.2f ms (min %6.2f, max %6.2f)  goal < 10 ms: %s\n",
      Median(Kept), Min(Kept), Max(Kept), Median(Kept) < 10 ? "met" : "MISSED");
  std::printf(
      "  other count (rebuilt):      median %6.2f ms (min %6.2f, max %6.2f)  goal < 10 ms: %s\n",
      Median(Rebuilt), Min(Rebuilt), Max(Rebuilt), Median(Rebuilt) < 10 ? "met" : "MISSED");
  std::printf("  whole exchange with a local station (worker thread: HTTP, XML, list):"
              " median %.1f ms\n",
              Median(Exchange));
  std::printf("  UI-thread share of a refresh: %.0f %% (kept), %.0f %% (rebuilt)\n",
              100 * Median(Kept) / Median(Exchange), 100 * Median(Rebuilt) / Median(Exchange));
  delete Main;
  TAPI::AbandonAll();
  Station.Stop();
  WaitFor([] { return TAPI::LiveCount() == 0; });
  return 0;
}

// Child: the program's start-up up to the first painted main window, then a line on stdout.
class TFirstPaint : public QObject
{
public:
  explicit TFirstPaint(QElapsedTimer* AClock) : FClock(AClock) {}
  bool eventFilter(QObject* AWatched, QEvent* AEvent) override
  {
    if (AEvent->type() == QEvent::Paint && !FDone) {
      FDone = true;
      // After the paint event has been handled.
      QTimer::singleShot(0, [this] {
        std::printf("painted %.3f\n", FClock->nsecsElapsed() / 1e6);
        std::fflush(stdout);
        ::_exit(0);
      });
    }
    return QObject::eventFilter(AWatched, AEvent);
  }

private:
  QElapsedTimer* FClock;
  bool FDone = false;
};

int RunStartupChild(int argc, char** argv)
{
  QElapsedTimer InProcess;
  InProcess.start();
  QApplication App(argc, argv);
  StartUp();
  InstallWindowHooks();
  auto* Main = new TMainFrm;
  TFirstPaint Watch(&InProcess);
  Main->installEventFilter(&Watch);
  Main->show();
  return App.exec();
}

int RunStartup(int ARuns)
{
  // The child's program folder is this benchmark's folder: settings files there are read as the
  // program reads its own; nothing is written.
  std::vector<double> Total, InProcess;
  for (int I = 0; I < ARuns; ++I) {
    QProcess Child;
    Child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer Clock;
    Clock.start();
    Child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--startup-child")});
    if (!Child.waitForStarted(10000))
      return 1;
    QByteArray Line;
    while (!Line.contains('\n') && Child.waitForReadyRead(20000))
      Line += Child.readAllStandardOutput();
    const double Elapsed = Clock.nsecsElapsed() / 1e6;
    Child.waitForFinished(5000);
    if (!Line.startsWith("painted ")) {
      std::fprintf(stderr, "start-up child said: %s\n", Line.constData());
      return 1;
    }
    Total.push_back(Elapsed);
    InProcess.push_back(Line.mid(8).trimmed().toDouble());
  }
  std::printf("Start-up to the first painted main window (%s platform), %d runs:\n",
              qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")
                  ? "offscreen"
                  : qPrintable(qEnvironmentVariable("QT_QPA_PLATFORM")),
              ARuns);
  std::printf(
      "  from starting the process: median %6.1f ms (min %6.1f, max %6.1f)  goal < 300 ms: %s\n",
      Median(Total), Min(Total), Max(Total), Median(Total) < 300 ? "met" : "MISSED");
  std::printf("  of which inside main():    median %6.1f ms\n", Median(InProcess));
  return 0;
}

} // namespace

int main(int argc, char** argv)
{
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  if (argc > 1 && std::strcmp(argv[1], "--startup-child") == 0)
    return RunStartupChild(argc, argv);
  int Runs = 15;
  for (int I = 1; I + 1 < argc; ++I)
    if (std::strcmp(argv[I], "--runs") == 0)
      Runs = std::max(1, std::atoi(argv[I + 1]));

  QApplication App(argc, argv);
  if (const int Result = RunRefresh(Runs))
    return Result;
  return RunStartup(Runs);
}
