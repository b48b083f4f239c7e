// quillon --record against a private sound server whose microphone the test
// feeds: the FLAC is checked with sox and flac, which share no code with ours.
#include "mic_server.h"
#include "recorder/recorder_settings.h"
#include "recorder/take_edit.h"
#include "recorder/take_file.h"
#include "recorder_test_helpers.h"
#include "settings/player_ini.h"
#include "settings/settings_file.h"
#include "settings/system_ini.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>

namespace {

// A program folder of its own (a copy of quillon and the audio library), which
// is also the data folder, with system.ini naming the microphone and player.ini
// holding the chain.
class TQuillonFolder
{
public:
  explicit TQuillonFolder(const QString& AMicId = QStringLiteral("vmic"), int AGainDb = 0)
  {
    for (const char* Name : {"quillon", "libvexmo_audio.so"}) {
      const QString Target = Dir.filePath(QLatin1String(Name));
      QFile::copy(QStringLiteral(VEXMO_BIN_DIR) + QLatin1String(Name), Target);
      QFile::setPermissions(Target, QFile::permissions(Target) | QFile::ExeOwner);
    }
    TSystemIni System;
    System.Inputs().Items(0)->SetMethod(DeviceMethodWasapi);
    System.Inputs().Items(0)->SetDeviceID(AMicId);
    SaveSettingsFile(System, Dir.filePath(QStringLiteral("system.ini")));
    TPlayerIni Player;
    if (AGainDb != 0) {
      TDSPItemC* Gain = Player.MicDSPList().Add();
      Gain->SetT(dspIntegrated);
      Gain->SetIntDSPKind(dspGain);
      Gain->SetParams({QString::number(AGainDb)});
      Gain->SetState(psActive);
    }
    SaveSettingsFile(Player, Dir.filePath(QStringLiteral("player.ini")));
  }
  void Write(const QString& AName, const QString& AText)
  {
    QFile F(Dir.filePath(AName));
    F.open(QIODevice::WriteOnly);
    F.write(AText.toUtf8());
  }
  QString Program() const { return Dir.filePath(QStringLiteral("quillon")); }
  QString VoiceTracks() const { return Dir.filePath(QStringLiteral("VoiceTracks")); }

  QTemporaryDir Dir;
};

QByteArray NoServer()
{
  return QByteArrayLiteral("unix:/nonexistent-vexmo-sound-server/native");
}

struct TRun
{
  int Exit = -1;
  QString Out, Err;
};

class TQuillonScripted : public ::testing::Test
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
  }
  void TearDown() override
  {
    if (FServer)
      FServer->StopFeeding();
  }

  // Starts quillon, feeds AInput once it listens, and waits for it to end.
  TRun Record(const TQuillonFolder& AFolder, const QStringList& AArgs,
              const std::vector<float>& AInput, const QByteArray& AServer = {})
  {
    QProcess P;
    QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
    Env.insert(QStringLiteral("PULSE_SERVER"),
               QString::fromLocal8Bit(AServer.isEmpty() ? FServer->Address() : AServer));
    P.setProcessEnvironment(Env);
    P.start(AFolder.Program(), AArgs);
    if (AServer.isEmpty())
      for (int I = 0; I < 100 && P.state() != QProcess::NotRunning && !FServer->HasRecorder(); ++I)
        QThread::msleep(50);
    FServer->Feed(AInput);
    P.waitForFinished(120000);
    FServer->StopFeeding();
    TRun R;
    R.Exit = P.exitStatus() == QProcess::NormalExit ? P.exitCode() : -1;
    R.Out = QString::fromLocal8Bit(P.readAllStandardOutput());
    R.Err = QString::fromLocal8Bit(P.readAllStandardError());
    return R;
  }

  static inline TMicServer* FServer = nullptr;
};

TTakeAudio Decode(const QString& APath)
{
  TTakeAudio A;
  QTemporaryDir Dir;
  const QString Raw = Dir.filePath(QStringLiteral("d.raw"));
  A.Rate = RunTool(QStringLiteral("sox"), {"--i", "-r", APath}).toInt();
  A.Chans = RunTool(QStringLiteral("sox"), {"--i", "-c", APath}).toInt();
  int Exit = 0;
  RunTool(QStringLiteral("sox"), {APath, "-e", "float", "-b", "32", "-t", "raw", Raw}, &Exit);
  QFile F(Raw);
  if (Exit != 0 || !F.open(QIODevice::ReadOnly))
    return {};
  const QByteArray B = F.readAll();
  A.Samples.resize(size_t(B.size()) / 4);
  std::memcpy(A.Samples.data(), B.constData(), size_t(B.size()));
  return A;
}

bool FlacTestPasses(const QString& APath)
{
  int Exit = 0;
  RunTool(QStringLiteral("flac"), {"-t", "-s", APath}, &Exit);
  return Exit == 0;
}

} // namespace

TEST_F(TQuillonScripted, RecordsTheLengthAskedTrimsTheSilencesAndNormalises)
{
  const std::vector<float> Words =
      Speech(QStringLiteral("This is a voice track for the test."), 1.0);
  if (Words.empty())
    GTEST_SKIP() << "espeak-ng or sox is missing";
  // Three decimals, as the command line carries it.
  const double Seconds = std::round((double(Words.size()) / TMicServer::Rate + 0.5) * 1000) / 1000;
  TQuillonFolder Folder;

  // Plain: exactly the samples asked for.
  const QString Plain = Folder.Dir.filePath(QStringLiteral("plain.flac"));
  TRun R = Record(Folder, {"--record", QString::number(Seconds, 'f', 3), Plain}, Words);
  ASSERT_EQ(R.Exit, 0) << R.Err.toStdString();
  ASSERT_TRUE(FlacTestPasses(Plain));
  EXPECT_EQ(RunTool(QStringLiteral("sox"), {"--i", "-s", Plain}).toLongLong(),
            std::llround(Seconds * TMicServer::Rate));
  // One summary line: duration, peak, loudness.
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d+\\.\\d{3} s, peak -?\\d+\\.\\d "
                                                "dBFS, -?\\d+\\.\\d LUFS\\n$"))
                  .match(R.Out)
                  .hasMatch())
      << R.Out.toStdString();
  // The take's work file is gone once the FLAC is written.
  EXPECT_TRUE(FindUnfinishedTakes(Folder.VoiceTracks()).isEmpty());

  // Trimmed: the words stay, the silences go but for the padding (150 ms by
  // default).
  const QString Trimmed = Folder.Dir.filePath(QStringLiteral("trimmed.flac"));
  R = Record(Folder, {"--record", QString::number(Seconds, 'f', 3), "--trim", Trimmed}, Words);
  ASSERT_EQ(R.Exit, 0) << R.Err.toStdString();
  ASSERT_TRUE(FlacTestPasses(Trimmed));
  const auto [First, Last] = LoudRange(Words, -40);
  const double WordsSeconds = double(Last - First) / TMicServer::Rate;
  const TTakeAudio T = Decode(Trimmed);
  const double TrimmedSeconds = double(T.Frames()) / T.Rate;
  EXPECT_NEAR(TrimmedSeconds, WordsSeconds + 0.3, 0.05);
  const auto [TFirst, TLast] = LoudRange(T.Samples, -40);
  EXPECT_NEAR(double(TFirst) / T.Rate, 0.15, 0.02);
  EXPECT_NEAR(double(T.Frames() - TLast) / T.Rate, 0.15, 0.02);

  // Normalised with the defaults: espeak's speech peaks too high for -16 LUFS, so the true-peak
  // ceiling of -1 dBTP holds the gain, measured on the decoded file.
  const QString Loud = Folder.Dir.filePath(QStringLiteral("normalised.flac"));
  R = Record(Folder, {"--record", QString::number(Seconds, 'f', 3), "--trim", "--normalize", Loud},
             Words);
  ASSERT_EQ(R.Exit, 0) << R.Err.toStdString();
  const TTakeAudio N = Decode(Loud);
  TTakeLevels L = MeasureTake(N, 0, N.Frames());
  EXPECT_NEAR(L.TruePeakDb, -1.0, 0.2);
  EXPECT_LT(L.IntegratedLufs, -16.5);

  // A target that the ceiling allows, from recorder.ini: reached within 0.5 LU.
  TRecorderSettings Settings;
  Settings.TargetLufs = -24.0;
  ASSERT_FALSE(
      SaveSettingsFile(Settings, Folder.Dir.filePath(QStringLiteral("recorder.ini"))).Failed());
  const QString Quiet = Folder.Dir.filePath(QStringLiteral("target.flac"));
  R = Record(Folder, {"--record", QString::number(Seconds, 'f', 3), "--trim", "--normalize", Quiet},
             Words);
  ASSERT_EQ(R.Exit, 0) << R.Err.toStdString();
  const TTakeAudio Q = Decode(Quiet);
  L = MeasureTake(Q, 0, Q.Frames());
  EXPECT_NEAR(L.IntegratedLufs, -24.0, 0.5);
  EXPECT_LE(L.TruePeakDb, -1.0 + 0.1);
  EXPECT_TRUE(R.Out.contains(QStringLiteral("LUFS"))) << R.Out.toStdString();
}

TEST_F(TQuillonScripted, AGainStageOfTheChainIsInTheFile)
{
  // The chain as Vexmo's DSP window stores it: a gain stage of +6 dB, switched
  // on.
  TQuillonFolder Folder(QStringLiteral("vmic"), 6);
  const QString Out = Folder.Dir.filePath(QStringLiteral("gain.flac"));
  const TRun R = Record(Folder, {"--record", "2", Out}, Sine(3.0, -20));
  ASSERT_EQ(R.Exit, 0) << R.Err.toStdString();
  const TTakeAudio A = Decode(Out);
  // Skip the start, where the feed may not have reached the microphone yet.
  const TTakeLevels L = MeasureTake(A, A.Rate / 2, A.Frames() - A.Rate / 2);
  EXPECT_NEAR(L.SamplePeakDb, -20.0 + 6.0, 0.3);
}

TEST_F(TQuillonScripted, FailuresSayWhatHappenedAndLeaveNoFile)
{
  TQuillonFolder Folder;
  const QString Out = Folder.Dir.filePath(QStringLiteral("x.flac"));

  TRun R = Record(Folder, {"--record", "1", Out}, {}, NoServer());
  EXPECT_EQ(R.Exit, 2);
  EXPECT_TRUE(R.Err.contains(QStringLiteral("sound server"))) << R.Err.toStdString();

  TQuillonFolder NoMic(QStringLiteral("nosuchmic"));
  R = Record(NoMic, {"--record", "1", Out}, {});
  EXPECT_EQ(R.Exit, 2);
  EXPECT_TRUE(R.Err.contains(QStringLiteral("not connected"))) << R.Err.toStdString();

  R = Record(Folder, {"--record", "1", Folder.Dir.filePath(QStringLiteral("missing/x.flac"))}, {},
             NoServer());
  EXPECT_EQ(R.Exit, 3);
  EXPECT_TRUE(R.Err.contains(QStringLiteral("does not exist"))) << R.Err.toStdString();

  R = Record(Folder, {"--record", "soon", Out}, {}, NoServer());
  EXPECT_EQ(R.Exit, 1);
  EXPECT_FALSE(QFileInfo::exists(Out));

  int Exit = 0;
  const QString Help = RunTool(Folder.Program(), {"--help"}, &Exit);
  EXPECT_EQ(Exit, 0);
  EXPECT_TRUE(Help.contains(QStringLiteral("--record SECONDS [--trim] [--normalize] OUTPUT.flac")));
}

TEST_F(TQuillonScripted, AKilledRecordingLeavesAPlayableTakeInTheVoiceTrackFolder)
{
  TQuillonFolder Folder;
  QProcess P;
  QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
  Env.insert(QStringLiteral("PULSE_SERVER"), QString::fromLocal8Bit(FServer->Address()));
  P.setProcessEnvironment(Env);
  P.start(Folder.Program(), {"--record", "60", Folder.Dir.filePath(QStringLiteral("never.flac"))});
  for (int I = 0; I < 100 && !FServer->HasRecorder(); ++I)
    QThread::msleep(50);
  FServer->Feed(Sine(10, -10));
  QThread::msleep(2500);
  ::kill(pid_t(P.processId()), SIGKILL);
  P.waitForFinished();
  FServer->StopFeeding();

  const QStringList Takes = FindUnfinishedTakes(Folder.VoiceTracks());
  ASSERT_EQ(Takes.size(), 1);
  // Playable as the crash left it, with at least a second of sound.
  const int64_t Frames = RunTool(QStringLiteral("sox"), {"--i", "-s", Takes.first()}).toLongLong();
  EXPECT_GE(Frames, TMicServer::Rate);
  int Exit = 0;
  RunTool(QStringLiteral("sox"), {Takes.first(), "-n", "stat"}, &Exit);
  EXPECT_EQ(Exit, 0);
  EXPECT_FALSE(QFileInfo::exists(Folder.Dir.filePath(QStringLiteral("never.flac"))));
}
