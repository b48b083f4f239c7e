// The recorder's window on the offscreen platform, recording from the private
// server's microphone: record, stop, trim, normalise, redo, use take, and a
// take left by a crash.
#include "app/take_handover.h"
#include "base/data_folders.h"
#include "mic_server.h"
#include "recorder/recorder_frm.h"
#include "recorder/recorder_settings.h"
#include "recorder/recorder_startup.h"
#include "recorder/take_edit.h"
#include "recorder/take_file.h"
#include "recorder/take_writer.h"
#include "recorder_test_helpers.h"
#include "settings/player_ini.h"
#include "settings/settings_file.h"
#include "settings/system_ini.h"
#include "support/message_box_recorder.h"
#include "ui_common/level_meter_widget.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class TRecorderWindow : public ::testing::Test
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
    if (!FServer->Running())
      GTEST_SKIP() << "No sound server: " << FServer->Failure();
    qputenv("PULSE_SERVER", FServer->Address());
    TSystemIni System;
    System.Inputs().Items(0)->SetMethod(DeviceMethodWasapi);
    System.Inputs().Items(0)->SetDeviceID(QStringLiteral("vmic"));
    SaveSettingsFile(System, FDir.filePath(QStringLiteral("system.ini")));
    RecorderStartUp(true, FDir.path());
  }
  void TearDown() override
  {
    FServer->StopFeeding();
    delete FWindow;
    FWindow = nullptr;
    RecorderShutDown();
    qunsetenv("PULSE_SERVER");
  }

  TRecorderFrm* Show(TRecorderFrm::THandOver AHandOver = {})
  {
    FWindow = new TRecorderFrm(std::move(AHandOver));
    FWindow->show();
    // Keys reach the window's shortcuts only while it is the active window.
    FWindow->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(FWindow));
    FWindow->Start();
    return FWindow;
  }

  QString VoiceTracks() const
  {
    return FDir.filePath(QStringLiteral("VoiceTracks")) + QLatin1Char('/');
  }

  static inline TMicServer* FServer = nullptr;
  QTemporaryDir FDir;
  TMessageBoxRecorder Boxes;
  TRecorderFrm* FWindow = nullptr;
};

bool WaitFor(const std::function<bool()>& ACondition, int AMs = 10000)
{
  return QTest::qWaitFor(ACondition, AMs);
}

} // namespace

TEST_F(TRecorderWindow, RecordStopTrimNormaliseAndUseTake)
{
  TRecorderFrm* W = Show();
  ASSERT_EQ(W->State(), TTakeState::Idle) << W->lbStatus->text().toStdString();
  EXPECT_TRUE(W->lbMicrophone->text().contains(QStringLiteral("VMic")))
      << W->lbMicrophone->text().toStdString();
  EXPECT_FALSE(W->btUse->isEnabled());

  // One second of silence, a second of tone, silence.
  std::vector<float> Input(size_t(TMicServer::Rate), 0.0f);
  const std::vector<float> Tone = Sine(1.0, -20);
  Input.insert(Input.end(), Tone.begin(), Tone.end());
  FServer->Feed(Input);
  QTest::keyClick(W, Qt::Key_Space);
  ASSERT_EQ(W->State(), TTakeState::Recording);
  EXPECT_EQ(W->btRecord->text(), QStringLiteral("Stop"));
  // The waveform and the meters follow while recording.
  ASSERT_TRUE(WaitFor(
      [&] { return W->Engine().Writer().FramesWritten() >= int64_t(3.2 * TMicServer::Rate); }));
  EXPECT_TRUE(W->lbTake->text().startsWith(QStringLiteral("Recording")));
  // The meter reads the engine's own meter; the tone is still in the short-term window.
  ASSERT_EQ(W->Meter->Meter(), &W->Engine().Meter());
  W->Meter->Poll();
  EXPECT_FALSE(W->Meter->ValueText().contains(QStringLiteral("S -inf")))
      << W->Meter->ValueText().toStdString();
  QTest::keyClick(W, Qt::Key_Space);
  ASSERT_EQ(W->State(), TTakeState::Review);
  const int64_t Frames = W->Take().Frames();
  EXPECT_GE(Frames, int64_t(3.2 * TMicServer::Rate));
  EXPECT_TRUE(W->lbTake->text().contains(QStringLiteral("LUFS")))
      << W->lbTake->text().toStdString();
  const QString TakeFile = W->TakeFile();
  EXPECT_TRUE(QFileInfo::exists(TakeFile));

  // Trim silence: the tone with the padding either side.
  QTest::keyClick(W, Qt::Key_T, Qt::ControlModifier);
  const double Kept = double(W->Edit().End - W->Edit().Start) / TMicServer::Rate;
  EXPECT_NEAR(Kept, 1.0 + 0.3, 0.05);
  // Normalise: -20 dBFS sine is about -20 LUFS, so +4 dB.
  QTest::keyClick(W, Qt::Key_N, Qt::ControlModifier);
  EXPECT_NEAR(W->Edit().GainDb, 4.0, 0.5);
  // Neither touched the take file.
  TTakeAudio OnDisk;
  ASSERT_TRUE(ReadTakeFile(TakeFile, OnDisk));
  EXPECT_EQ(OnDisk.Frames(), Frames);

  // Use take: a FLAC in the voice-track folder, the work file gone.
  QTest::keyClick(W, Qt::Key_Return, Qt::ControlModifier);
  ASSERT_EQ(W->State(), TTakeState::Idle) << W->lbStatus->text().toStdString();
  const QString Used = W->UsedFile();
  EXPECT_TRUE(Used.startsWith(VoiceTracks()));
  EXPECT_TRUE(Used.endsWith(QStringLiteral(".flac")));
  EXPECT_FALSE(QFileInfo::exists(TakeFile));
  int Exit = 0;
  RunTool(QStringLiteral("flac"), {"-t", "-s", Used}, &Exit);
  EXPECT_EQ(Exit, 0);
  EXPECT_NEAR(RunTool(QStringLiteral("sox"), {"--i", "-D", Used}).toDouble(), Kept, 0.01);
  EXPECT_EQ(RunTool(QStringLiteral("sox"), {"--i", "-c", Used}).toInt(), 1);
  EXPECT_TRUE(Boxes.Calls.isEmpty());
}

TEST_F(TRecorderWindow, RedoAndClosingAskFirst)
{
  TRecorderFrm* W = Show();
  ASSERT_EQ(W->State(), TTakeState::Idle);
  FServer->Feed(Sine(5, -20));
  W->RecordOrStop();
  ASSERT_TRUE(WaitFor([&] { return W->Engine().Writer().FramesWritten() > TMicServer::Rate / 2; }));
  W->RecordOrStop();
  ASSERT_EQ(W->State(), TTakeState::Review);
  const QString Take = W->TakeFile();

  Boxes.QueueAnswer(IDNO);
  W->RedoClick();
  EXPECT_EQ(W->State(), TTakeState::Review);
  EXPECT_TRUE(QFileInfo::exists(Take));
  Boxes.QueueAnswer(IDNO);
  EXPECT_FALSE(W->close());
  EXPECT_EQ(Boxes.Calls.size(), 2);

  Boxes.QueueAnswer(IDYES);
  W->RedoClick();
  EXPECT_EQ(W->State(), TTakeState::Idle);
  EXPECT_FALSE(QFileInfo::exists(Take));
}

TEST_F(TRecorderWindow, ATakeLeftByACrashIsOfferedBack)
{
  // A take file as a killed recorder leaves it: flushed once, the header not
  // updated since.
  QDir().mkpath(VoiceTracks());
  const QString Path =
      VoiceTracks() + QStringLiteral("VoiceTrack 2026-01-01 10-00-00") + TakeFileSuffix();
  {
    TTakeFile File;
    ASSERT_TRUE(File.Create(Path, 44100, 1));
    const std::vector<float> S = Sine(1.0, -12);
    ASSERT_TRUE(File.Write(S.data(), int64_t(S.size())));
    ASSERT_TRUE(File.Flush());
    ASSERT_TRUE(File.Write(S.data(), int64_t(S.size()))); // never reached the header
  }
  Boxes.QueueAnswer(IDYES);
  TRecorderFrm* W = Show();
  ASSERT_EQ(Boxes.Calls.size(), 1);
  EXPECT_TRUE(Boxes.Calls[0].Text.contains(QStringLiteral("was not used yet")));
  ASSERT_EQ(W->State(), TTakeState::Review);
  EXPECT_EQ(W->Take().Frames(),
            2 * 44100); // all of it, not only what the header said

  // Declined and then not deleted: it stays for the next start.
  delete FWindow;
  FWindow = nullptr;
  Boxes.Calls.clear();
  Boxes.QueueAnswer(IDNO);
  Boxes.QueueAnswer(IDNO);
  W = Show();
  EXPECT_EQ(Boxes.Calls.size(), 2);
  EXPECT_EQ(W->State(), TTakeState::Idle);
  EXPECT_TRUE(QFileInfo::exists(Path));
}

TEST_F(TRecorderWindow, UseTakeHandsTheFileOverAndShowsTheAnswer)
{
  QString Received;
  TRecorderFrm* W =
      Show([&](const QString& AFile, std::function<void(bool, const QString&)> ADone) {
        Received = AFile;
        ADone(false, QStringLiteral("No entry is selected in the playlist."));
      });
  FServer->Feed(Sine(5, -20));
  W->RecordOrStop();
  ASSERT_TRUE(WaitFor([&] { return W->Engine().Writer().FramesWritten() > TMicServer::Rate / 2; }));
  W->RecordOrStop();
  W->UseTakeClick();
  EXPECT_EQ(Received, W->UsedFile());
  EXPECT_TRUE(
      W->lbStatus->text().contains(QStringLiteral("did not insert it: No entry is selected")))
      << W->lbStatus->text().toStdString();
  // The take is saved all the same.
  EXPECT_TRUE(QFileInfo::exists(W->UsedFile()));
}

TEST_F(TRecorderWindow, AChainSavedByAnotherProgramIsReloadedWhileTheDSPWindowIsClosed)
{
  TRecorderFrm* W = Show();
  EXPECT_EQ(W->lbChain->text(), QStringLiteral("Chain: empty"));
  // Vexmo saves its chain: a gain stage, switched on.
  TPlayerIni Other;
  TDSPItemC* Gain = Other.MicDSPList().Add();
  Gain->SetT(dspIntegrated);
  Gain->SetIntDSPKind(dspGain);
  Gain->SetParams({QStringLiteral("6")});
  Gain->SetState(psActive);
  ASSERT_FALSE(SaveSettingsFile(Other, TPlayerIni::FileName()).Failed());
  ASSERT_TRUE(
      WaitFor([&] { return W->lbChain->text() == QStringLiteral("Chain: 1 of 1 stages on"); }));
  EXPECT_EQ(PlayerIni->MicDSPList().Count(), 1);
  EXPECT_TRUE(W->lbStatus->text().contains(QStringLiteral("reloaded")));

  // The reloaded stage runs on the microphone: a -20 dBFS tone records at about -14 dBFS.
  FServer->Feed(Sine(5, -20));
  W->RecordOrStop();
  ASSERT_TRUE(WaitFor([&] { return W->Engine().Writer().FramesWritten() > 2 * TMicServer::Rate; }));
  W->RecordOrStop();
  const TTakeLevels L = MeasureTake(W->Take(), TMicServer::Rate, TMicServer::Rate);
  EXPECT_NEAR(L.SamplePeakDb, -14.0, 0.5);
}
