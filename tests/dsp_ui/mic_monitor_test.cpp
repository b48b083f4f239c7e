// The microphone DSP window on live sound: a private sound server's sine source is the
// microphone chosen in system.ini, and the window's meters show the chain at work.
#include "../audio/private_pulse.h"
#include "audio/level_meter.h"
#include "base/data_folders.h"
#include "dsp/dsp_manager.h"
#include "dsp/plugins.h"
#include "dsp_ui/mic_dsp_frm.h"
#include "settings/player_ini.h"
#include "settings/system_ini.h"
#include "support/message_box_recorder.h"
#include "ui_common/level_meter_widget.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using vexmo::audio::test::TPrivatePulse;

namespace {

class TMicMonitorTest : public ::testing::Test
{
protected:
  static void SetUpTestSuite()
  {
    FPulse = new TPrivatePulse({"module-null-sink sink_name=out rate=48000",
                                "module-sine-source source_name=vmic frequency=1000 rate=48000"});
    if (FPulse->Start())
      qputenv("PULSE_SERVER", FPulse->Address());
  }
  static void TearDownTestSuite()
  {
    delete FPulse;
    FPulse = nullptr;
    qunsetenv("PULSE_SERVER");
  }

  void SetUp() override
  {
    ASSERT_TRUE(FFolder.isValid());
    InitProgramFolder(FFolder.path() + QLatin1Char('/'));
    InitDataFolder();
    SetupPlugins(&System, DataFolder(), DataFolder() + QStringLiteral("Plugins/"), 0, QString(), {},
                 {});
    System.Inputs().Add()->SetDeviceID(QStringLiteral("vmic"));
    TDSPItemC* Gain = Player.MicDSPList().Add();
    Gain->SetT(dspIntegrated);
    Gain->SetIntDSPKind(dspGain);
    Gain->SetDispName(QStringLiteral("Gain"));
    Gain->SetParams({QStringLiteral("6")});
    Gain->SetState(psActive);
  }

  void TearDown() override
  {
    SetupPlugins(nullptr, QString(), QString(), 0, QString(), {}, {});
    InitProgramFolder(QStringLiteral(VEXMO_BIN_DIR));
    InitDataFolder();
  }

  static void Wait(int AMs)
  {
    QElapsedTimer Timer;
    Timer.start();
    while (Timer.elapsed() < AMs)
      QTest::qWait(20);
  }

  static inline TPrivatePulse* FPulse = nullptr;
  TMessageBoxRecorder Boxes;
  TPlayerIni Player;
  TSystemIni System;

private:
  QTemporaryDir FFolder;
};

TEST_F(TMicMonitorTest, MonitorRunsTheChainOnTheMicrophoneAndTheMetersShowIt)
{
  if (!FPulse->SkipReason().empty())
    GTEST_SKIP() << FPulse->SkipReason();
  TMicDSPFrm Frm(nullptr, &Player, &System);
  Frm.show();
  EXPECT_FALSE(Frm.MonitorCheck->isChecked());
  EXPECT_EQ(Frm.Capture(), 0u);
  EXPECT_EQ(Frm.InMeter->Meter(), nullptr);

  Frm.MonitorCheck->setChecked(true);
  ASSERT_NE(Frm.Capture(), 0u) << Frm.AudioStatus->text().toStdString();
  EXPECT_EQ(Frm.DSPManager()->WorkChannel(), Frm.Capture());
  Wait(1500);
  ASSERT_NE(Frm.InMeter->Meter(), nullptr);
  const auto In = Frm.InMeter->Meter()->Read();
  const auto Out = Frm.OutMeter->Meter()->Read();
  // The sine source: peaks at 0.5 (RMS -9.03 dBFS); the gain stage adds its 6 dB.
  EXPECT_NEAR(In.RmsDb[0], -9.03, 0.5);
  EXPECT_NEAR(Out.RmsDb[0] - In.RmsDb[0], 6.0, 0.2);
  EXPECT_GT(Out.MomentaryLufs, In.MomentaryLufs + 5.5);
  // The true peak is measured where the sound leaves the chain: 0.5 + 6 dB. (Each reading has
  // what came since the one before, and the widget reads too: take the highest of a few.)
  vexmo::audio::TLevelMeter* OutLevel = Frm.OutMeter->Meter();
  Frm.OutMeter->SetMeter(nullptr);
  float TruePeak = -INFINITY;
  for (int i = 0; i < 50; ++i, Wait(20))
    TruePeak = std::max(TruePeak, OutLevel->Read().TruePeakDb);
  Frm.OutMeter->SetMeter(OutLevel);
  EXPECT_NEAR(TruePeak, 0.0, 0.5);

  // Listening plays the processed sound to the output.
  Frm.ListenCheck->setChecked(true);
  ASSERT_NE(Frm.ListenStream(), 0u);
  Wait(300);
  EXPECT_GT(BASS_ChannelGetPosition(Frm.ListenStream(), BASS_POS_BYTE), 0u);

  // Closing stops the capture and gives the chain back its old state (no channel).
  const HRECORD Capture = Frm.Capture();
  Frm.accept();
  EXPECT_EQ(Frm.Capture(), 0u);
  EXPECT_EQ(Frm.ListenStream(), 0u);
  EXPECT_FALSE(Frm.MonitorCheck->isChecked());
  EXPECT_EQ(Frm.DSPManager()->WorkChannel(), 0u);
  EXPECT_EQ(BASS_ChannelIsActive(Capture), static_cast<DWORD>(BASS_ACTIVE_STOPPED));
  EXPECT_EQ(Player.MicDSPList().Items(0)->State(), psActive);
}

TEST_F(TMicMonitorTest, WithoutASoundServerTheWindowSaysWhyTheMetersAreIdle)
{
  QTemporaryDir Nowhere;
  const QByteArray Old = qgetenv("PULSE_SERVER");
  qputenv("PULSE_SERVER", "unix:" + Nowhere.filePath("none").toLocal8Bit());
  BASS_RecordFree();
  {
    TMicDSPFrm Frm(nullptr, &Player, &System);
    Frm.show();
    Frm.MonitorCheck->setChecked(true);
    EXPECT_FALSE(Frm.MonitorCheck->isChecked());
    EXPECT_EQ(Frm.Capture(), 0u);
    EXPECT_FALSE(Frm.ListenCheck->isEnabled());
    EXPECT_EQ(Frm.AudioStatus->text(),
              QStringLiteral("No sound server is running, so the meters are idle."));
    EXPECT_EQ(Frm.InMeter->IdleText(), Frm.AudioStatus->text());
    // The chain is still there to edit.
    EXPECT_EQ(Frm.DSPManager()->WorkChannel(), 0u);
  }
  qputenv("PULSE_SERVER", Old);
}

} // namespace
