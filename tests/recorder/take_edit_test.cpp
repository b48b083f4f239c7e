// Measuring, trimming and normalising a take, and writing it as FLAC, checked with outside tools.
#include "recorder/flac_output.h"
#include "recorder/take_edit.h"
#include "recorder/wave_overview.h"
#include "recorder_test_helpers.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

#include <random>

TEST(TakeEdit, TrimSilenceKeepsTheSoundAndThePaddingAroundIt)
{
  struct TCase
  {
    double ThresholdDb;
    int PaddingMs;
    double ToneDb;
    int64_t Start, End; // expected, in frames at 10 kHz
  };
  // 1 s of silence, 1 s of tone, 1 s of silence at 10 kHz.
  const TCase Cases[] = {
      {-40, 0, -20, 10000, 20000},
      {-40, 150, -20, 8500, 21500},
      {-40, 5000, -20, 0, 30000}, // padding stops at the ends
      {-10, 150, -20, 0, 30000},  // nothing loud enough: the whole take stays
  };
  for (const TCase& C : Cases) {
    const TTakeAudio A = SilenceToneSilence(10000, 2, 1.0, 1.0, C.ToneDb, 250);
    const TTakeEdit E = TrimSilence(A, C.ThresholdDb, C.PaddingMs);
    // The sine's first sample is 0, so the first loud frame comes a little after the onset.
    EXPECT_NEAR(double(E.Start), double(C.Start), 3) << C.ThresholdDb << " " << C.PaddingMs;
    EXPECT_NEAR(double(E.End), double(C.End), 3) << C.ThresholdDb << " " << C.PaddingMs;
  }
}

TEST(TakeEdit, MonoIsMeasuredAsDualMonoLikeTheSameSoundOnBothChannels)
{
  const TTakeAudio Mono = SilenceToneSilence(48000, 1, 0, 5.0, -20);
  const TTakeAudio Stereo = SilenceToneSilence(48000, 2, 0, 5.0, -20);
  const TTakeLevels M = MeasureTake(Mono, 0, Mono.Frames());
  const TTakeLevels S = MeasureTake(Stereo, 0, Stereo.Frames());
  EXPECT_NEAR(M.IntegratedLufs, S.IntegratedLufs, 0.05);
  // A full-scale-referenced 1 kHz sine on both channels at -20 dBFS peak reads about -20 LUFS.
  EXPECT_NEAR(S.IntegratedLufs, -20.0, 0.5);
  EXPECT_NEAR(M.SamplePeakDb, -20.0, 0.01);
  EXPECT_NEAR(M.TruePeakDb, -20.0, 0.2);
  EXPECT_EQ(M.Frames, Mono.Frames());

  const TTakeLevels Silent = MeasureTake(SilenceToneSilence(48000, 1, 1.0, 0, -20), 0, 48000);
  EXPECT_TRUE(std::isinf(Silent.IntegratedLufs));
  EXPECT_TRUE(NormaliseGain(Silent, -16, -1).Silent);
  EXPECT_EQ(NormaliseGain(Silent, -16, -1).GainDb, 0.0);
}

TEST(TakeEdit, NormaliseReachesTheTargetOrStopsAtTheCeiling)
{
  // A sine: peak-to-loudness about 0 dB, so -16 LUFS fits under -1 dBTP.
  const TTakeAudio Tone = SilenceToneSilence(44100, 2, 0, 5.0, -30);
  const TTakeLevels Before = MeasureTake(Tone, 0, Tone.Frames());
  const TNormaliseResult N = NormaliseGain(Before, -16, -1);
  EXPECT_FALSE(N.CeilingLimited);
  const TTakeLevels After = MeasureTake(Tone, 0, Tone.Frames(), N.GainDb);
  EXPECT_NEAR(After.IntegratedLufs, -16.0, 0.1);

  // Sparse clicks on quiet noise: peaks far above the loudness, so the ceiling holds the gain.
  TTakeAudio Clicks = SilenceToneSilence(44100, 1, 0, 5.0, -60);
  for (int64_t F = 0; F < Clicks.Frames(); F += 4410)
    Clicks.Samples[size_t(F)] = 0.5f;
  const TTakeLevels CB = MeasureTake(Clicks, 0, Clicks.Frames());
  const TNormaliseResult NC = NormaliseGain(CB, -16, -1);
  EXPECT_TRUE(NC.CeilingLimited);
  const TTakeLevels CA = MeasureTake(Clicks, 0, Clicks.Frames(), NC.GainDb);
  EXPECT_NEAR(CA.TruePeakDb, -1.0, 0.05);
  EXPECT_LT(CA.IntegratedLufs, -16.5);
  EXPECT_NEAR(NC.ResultLufs, CA.IntegratedLufs, 0.05);

  // Rendering applies the range and the gain and leaves the take alone.
  TTakeEdit Edit{44100, 88200, 6.0};
  const std::vector<float> Out = RenderTake(Tone, Edit);
  ASSERT_EQ(Out.size(), size_t(44100 * 2));
  EXPECT_NEAR(Out[100], Tone.Samples[size_t(44100 * 2 + 100)] * DbToGain(6.0), 1e-6);
}

TEST(FlacOutput, FilesMatchTheFormatAndDecodeToTheSamples)
{
  QTemporaryDir Dir;
  struct TCase
  {
    int Rate, Chans, Bits;
  };
  const TCase Cases[] = {{44100, 1, 16}, {44100, 2, 16}, {48000, 2, 24}};
  for (const TCase& C : Cases) {
    TTakeAudio A = SilenceToneSilence(C.Rate, C.Chans, 0.1, 0.5, -3, 440);
    A.Samples[0] = 1.5f; // beyond full scale: clipped, not wrapped
    const QString Path =
        Dir.filePath(QStringLiteral("t%1-%2-%3.flac").arg(C.Rate).arg(C.Chans).arg(C.Bits));
    QString Error;
    ASSERT_TRUE(
        WriteFlacFile(Path, A.Samples.data(), A.Frames(), {C.Rate, C.Chans, C.Bits, 5}, &Error))
        << Error.toStdString();
    int Exit = 0;
    RunTool(QStringLiteral("flac"), {"-t", "-s", Path}, &Exit);
    EXPECT_EQ(Exit, 0);
    EXPECT_EQ(RunTool(QStringLiteral("sox"), {"--i", "-s", Path}).toLongLong(), A.Frames());
    EXPECT_EQ(RunTool(QStringLiteral("sox"), {"--i", "-r", Path}).toInt(), C.Rate);
    EXPECT_EQ(RunTool(QStringLiteral("sox"), {"--i", "-c", Path}).toInt(), C.Chans);
    EXPECT_EQ(RunTool(QStringLiteral("sox"), {"--i", "-b", Path}).toInt(), C.Bits);
    // sox's own peak reading: the clipped first sample is full scale, not a wrapped negative.
    QString Stat;
    RunTool(QStringLiteral("sox"), {Path, "-n", "trim", "0", "1s", "stat"}, &Exit, &Stat);
    EXPECT_TRUE(
        Stat.contains(QRegularExpression(QStringLiteral("Maximum amplitude:\\s+(1\\.0|0\\.99)"))))
        << Stat.toStdString();
  }
  EXPECT_EQ(QDir(Dir.path()).entryList(QDir::Hidden | QDir::Files).size(), 3)
      << "no temporary files left";
}

TEST(FlacOutput, AFailedWriteLeavesNothingAtTheTargetAndSaysWhy)
{
  QTemporaryDir Dir;
  const TTakeAudio A = SilenceToneSilence(44100, 1, 0, 0.1, -3);
  QString Error;
  EXPECT_FALSE(WriteFlacFile(Dir.filePath(QStringLiteral("missing/x.flac")), A.Samples.data(),
                             A.Frames(), {}, &Error));
  EXPECT_TRUE(Error.contains(QStringLiteral("does not exist")));

  // The target is taken by a folder: the rename fails, the error names the file, and the
  // temporary file is gone.
  const QString Taken = Dir.filePath(QStringLiteral("taken.flac"));
  QDir().mkpath(Taken + QStringLiteral("/inside"));
  Error.clear();
  EXPECT_FALSE(WriteFlacFile(Taken, A.Samples.data(), A.Frames(), {}, &Error));
  EXPECT_TRUE(Error.contains(QStringLiteral("taken.flac"))) << Error.toStdString();
  EXPECT_TRUE(QFileInfo(Taken).isDir());
  EXPECT_EQ(QDir(Dir.path()).entryList(QDir::Hidden | QDir::Files).size(), 0);
}

TEST(WaveOverview, ColumnsMatchTheSamplesAtEveryZoom)
{
  std::mt19937 Rng(7);
  std::uniform_real_distribution<float> D(-1, 1);
  const int Chans = 2;
  const int64_t Frames = 3 * 65536 + 1000;
  std::vector<float> S(size_t(Frames * Chans));
  for (float& V : S)
    V = D(Rng) * 0.5f;
  S[size_t(70000 * Chans + 1)] = 0.9f; // one peak on the second channel
  TWaveOverview O;
  // Appended in uneven blocks, as the writer does.
  for (int64_t F = 0; F < Frames;) {
    const int64_t N = std::min<int64_t>(Frames - F, 777);
    O.Append(S.data() + F * Chans, N, Chans);
    F += N;
  }
  ASSERT_EQ(O.Frames(), Frames);
  for (double Fpc : {100.0, 256.0, 1000.0, 65536.0, 100000.0}) {
    const int Cols = int(std::ceil(double(Frames) / Fpc));
    std::vector<TMinMax> Out;
    O.Columns(0, Fpc, Cols, Out, S.data(), Chans);
    ASSERT_EQ(Out.size(), size_t(Cols));
    // The column that holds the peak shows it, whatever summary served it.
    const int PeakCol = int(70000 / Fpc);
    EXPECT_FLOAT_EQ(Out[size_t(PeakCol)].Max, 0.9f) << Fpc;
    for (int C = 0; C < Cols; ++C)
      EXPECT_LE(Out[size_t(C)].Min, Out[size_t(C)].Max);
  }
  // Columns past the end are empty.
  std::vector<TMinMax> Out;
  O.Columns(Frames + 10, 256, 4, Out);
  for (const TMinMax& M : Out)
    EXPECT_TRUE(M.Min == 0 && M.Max == 0);
}
