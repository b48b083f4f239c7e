// From the microphone to the station's playlist: the recorder's window records, trims and uses a
// take; the real main window, reached over the hand-over socket, uploads it to a local station
// right after its selected entry.
#include "app/take_handover.h"
#include "app_fixture.h"
#include "mic_server.h"
#include "recorder/recorder_frm.h"
#include "recorder/take_handover_client.h"

#include <QLabel>
#include <QTest>

namespace {

class TEndToEnd : public TAppFixture
{
protected:
  static void SetUpTestSuite() { FServer = new TMicServer; }
  static void TearDownTestSuite()
  {
    delete FServer;
    FServer = nullptr;
  }
  void SetUp() override
  {
    TAppFixture::SetUp();
    if (!FServer->Running())
      GTEST_SKIP() << "No sound server: " << FServer->Failure();
    qputenv("PULSE_SERVER", FServer->Address());
    SystemIni->Inputs().Items(0)->SetMethod(DeviceMethodWasapi);
    SystemIni->Inputs().Items(0)->SetDeviceID(QStringLiteral("vmic"));
  }
  void TearDown() override
  {
    FServer->StopFeeding();
    qunsetenv("PULSE_SERVER");
    TAppFixture::TearDown();
  }
  static inline TMicServer* FServer = nullptr;
};

} // namespace

TEST_F(TEndToEnd, RecordTrimUseTakeAndTheStationHasItAfterTheSelectedEntry)
{
  const std::vector<float> Words = Speech(QStringLiteral("Coming up next, the weather."), 1.0);
  if (Words.empty())
    GTEST_SKIP() << "espeak-ng or sox is missing";
  TStationServer& Station = StartStation(Entries(5));
  ConnectTo(Station);
  TMainFrm* Main = ShowMainWindow();
  ASSERT_TRUE(WaitFor([&] { return Main->Model()->rowCount() == 5; }));
  Main->lvPlaylist->SelectRow(1);

  TTakeHandoverClient Client;
  TRecorderFrm Recorder([&](const QString& AFile, std::function<void(bool, const QString&)> ADone) {
    Client.Send(AFile, std::move(ADone));
  });
  Recorder.show();
  Recorder.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&Recorder));
  Recorder.Start();
  ASSERT_EQ(Recorder.State(), TTakeState::Idle) << Str(Recorder.lbStatus->text());

  FServer->Feed(Words);
  QTest::keyClick(&Recorder, Qt::Key_Space);
  const int64_t Wanted = int64_t(Words.size()) + TMicServer::Rate / 2;
  ASSERT_TRUE(WaitFor([&] { return Recorder.Engine().Writer().FramesWritten() >= Wanted; }, 30000));
  QTest::keyClick(&Recorder, Qt::Key_Space);
  ASSERT_EQ(Recorder.State(), TTakeState::Review);
  QTest::keyClick(&Recorder, Qt::Key_T, Qt::ControlModifier);
  QTest::keyClick(&Recorder, Qt::Key_Return, Qt::ControlModifier);

  ASSERT_TRUE(WaitFor(
      [&] { return Recorder.lbStatus->text().contains(QStringLiteral("is in the playlist")); },
      20000))
      << Str(Recorder.lbStatus->text());
  const QList<TStationRequest> Uploads = RequestsFor(Station, QStringLiteral("vexmo"));
  ASSERT_EQ(Uploads.size(), 1);
  EXPECT_EQ(Str(Field(Uploads[0], QStringLiteral("pos"))), "3");
  EXPECT_EQ(Str(Field(Uploads[0], QStringLiteral("fn"))),
            Str(QFileInfo(Recorder.UsedFile()).fileName()));
  ASSERT_TRUE(WaitFor([&] { return Main->Model()->rowCount() == 6; }));
  EXPECT_EQ(Cell(Main, 2, TPlaylistModel::colTitle),
            QFileInfo(Recorder.UsedFile()).completeBaseName());
}
