// Many workers at once, and workers abandoned at shut-down.
#include "api_test_support.h"
#include "capture_server.h"
#include "station_server.h"

#include <QElapsedTimer>
#include <QProcess>
#include <gtest/gtest.h>
#include <map>

TEST(Lifecycle, FiftyWorkersInFlightEachCallBackOnce)
{
  TStationOptions Options;
  Options.LogToStderr = false;
  Options.Entries = 20;
  TStationServer Station(Options);
  ASSERT_TRUE(Station.Start()) << Station.ErrorText().toStdString();
  // Every reply waits a little, so that all fifty are in flight together.
  Station.SetReplyDelay(200);
  UseServer("127.0.0.1", Station.Port());

  constexpr int Count = 50;
  std::map<int, int> Calls;
  int OffUiThread = 0;
  int Failed = 0;
  std::vector<QPointer<TAPI>> Workers;
  for (int I = 0; I < Count; ++I) {
    auto* Worker = new TAPI([&, I](TAPI* ASender) {
      ++Calls[I];
      if (QThread::currentThread() != QCoreApplication::instance()->thread())
        ++OffUiThread;
      const bool Expected = I % 2 ? ASender->PlaybackInfo().PlaylistPos == 1
                                  : ASender->Playlist() && ASender->Playlist()->size() == 20;
      if (!ASender->Success() || !Expected)
        ++Failed;
    });
    Workers.emplace_back(Worker);
    if (I % 2)
      Worker->GetPlaybackInfo();
    else
      Worker->GetPlaylistContents();
  }
  EXPECT_TRUE(Station.WaitForRequests(Count, 20000));
  ASSERT_TRUE(WaitUntil([&] {
    return std::all_of(Workers.begin(), Workers.end(), [](const auto& W) { return W.isNull(); });
  }));
  EXPECT_EQ(TAPI::LiveCount(), 0);
  ASSERT_EQ(Calls.size(), size_t(Count));
  for (const auto& [Index, Times] : Calls)
    EXPECT_EQ(Times, 1) << Index;
  EXPECT_EQ(OffUiThread, 0);
  EXPECT_EQ(Failed, 0);
}

TEST(Lifecycle, AbandonedWorkersEndAtOnceWithoutCallback)
{
  TCaptureServer Server;
  Server.SetSilent(true); // the program's own 30 s time-outs stay in force
  UseServer("127.0.0.1", Server.Port());
  int Calls = 0;
  std::vector<QPointer<TAPI>> Workers;
  for (int I = 0; I < 5; ++I) {
    Workers.emplace_back(new TAPI([&](TAPI*) { ++Calls; }));
    Workers.back()->GetPlaylistContents();
  }
  ASSERT_TRUE(Server.WaitForRequests(5, 10000));
  QElapsedTimer Clock;
  Clock.start();
  TAPI::AbandonAll();
  EXPECT_LT(Clock.elapsed(), 1000); // nobody waits for the network
  // Far below the 30 s that a stalled exchange would otherwise take.
  ASSERT_TRUE(WaitUntil(
      [&] {
        return std::all_of(Workers.begin(), Workers.end(),
                           [](const auto& W) { return W.isNull(); });
      },
      10000));
  EXPECT_EQ(Calls, 0);
  EXPECT_EQ(TAPI::LiveCount(), 0);
}

TEST(Lifecycle, AbandonReleasesWorkersWaitingForTheUiThread)
{
  TCaptureServer Server;
  UseServer("127.0.0.1", Server.Port());
  int Calls = 0;
  for (int I = 0; I < 3; ++I)
    (new TAPI([&](TAPI*) { ++Calls; }))->DeletePlaylistTrack(I);
  ASSERT_TRUE(Server.WaitForRequests(3, 10000));
  QThread::msleep(200); // the replies are in; the workers wait for their callbacks
  TAPI::AbandonAll();
  // Without a look at the UI thread's events, the workers still get to their end.
  QDeadlineTimer Deadline(5000);
  while (TAPI::LiveCount() > 0 && !Deadline.hasExpired())
    QThread::msleep(5);
  EXPECT_EQ(TAPI::LiveCount(), 0);
  WaitUntil([] { return false; }, 200); // now deliver whatever is queued
  EXPECT_EQ(Calls, 0);
}

TEST(Lifecycle, DeletedReceiverGetsNoCallback)
{
  TCaptureServer Server;
  Server.SetReply(200, "OK", "text/plain");
  UseServer("127.0.0.1", Server.Port());
  struct TWindow : QObject
  {
    int Calls = 0;
    void OnReady(TAPI*) { ++Calls; }
  };
  auto* Window = new TWindow;
  QPointer<TAPI> Worker = new TAPI(Window, &TWindow::OnReady);
  Worker->DeletePlaylistTrack(0);
  ASSERT_TRUE(Server.WaitForRequests(1, 10000));
  delete Window;
  EXPECT_TRUE(WaitUntil([&] { return Worker.isNull(); }));

  TWindow Alive;
  Worker = new TAPI(&Alive, &TWindow::OnReady);
  Worker->DeletePlaylistTrack(0);
  EXPECT_TRUE(WaitUntil([&] { return Worker.isNull(); }));
  EXPECT_EQ(Alive.Calls, 1);
}

// Workers that outlive the application object end quietly: no callback, no crash, no warning.
TEST(Lifecycle, WorkersOutlivingTheApplication)
{
  for (const char* Mode : {"stalled", "pending", "abandon"}) {
    QProcess Probe;
    Probe.start(VEXMO_API_SHUTDOWN_PROBE, {Mode});
    ASSERT_TRUE(Probe.waitForFinished(30000)) << Mode;
    const QString Out = QString::fromUtf8(Probe.readAllStandardOutput());
    const QString Err = QString::fromUtf8(Probe.readAllStandardError());
    EXPECT_EQ(Probe.exitStatus(), QProcess::NormalExit) << Mode;
    EXPECT_EQ(Probe.exitCode(), 0) << Mode << Out.toStdString();
    EXPECT_TRUE(Out.contains("live at exit: 3")) << Mode << Out.toStdString();
    EXPECT_TRUE(Out.contains("live after: 0")) << Mode << Out.toStdString();
    EXPECT_TRUE(Out.contains("callbacks: 0")) << Mode << Out.toStdString();
    EXPECT_TRUE(Err.isEmpty()) << Mode << Err.toStdString();
  }
}
