// Prints three measurements, each the best of several runs:
// - the microphone chain (equalizer, compressor, gain), the live meters as the recorder shows
//   them (peak, RMS, loudness) and FLAC encoding on
//   60 s of 44.1 kHz stereo in 10 ms blocks, as a multiple of real time (goal: at least 100);
// - FLAC encoding of the same samples against the flac tool at the same level, both reading
//   what they need from memory or a file and writing a file (goal: a ratio of at most 1.1);
// - drawing the waveform of a 10-minute take across 1000 pixels (goal: under 16 ms a frame).
// Run it with QT_QPA_PLATFORM=offscreen on a quiet machine.
#include "audio/bass.h"
#include "audio/level_meter.h"
#include "dsp/dsp_manager.h"
#include "dsp/plugins.h"
#include "recorder/flac_output.h"
#include "recorder/wave_overview.h"
#include "recorder/waveform_view.h"
#include "settings/dsp_items.h"
#include "settings/system_ini.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <random>
#include <vector>

namespace {

constexpr int Rate = 44100;
constexpr int Chans = 2;

std::vector<float> Speechlike(int64_t AFrames)
{
  std::vector<float> Result(size_t(AFrames * Chans));
  std::mt19937 Random(1);
  std::uniform_real_distribution<float> Noise(-0.05f, 0.05f);
  for (int64_t I = 0; I < AFrames; ++I) {
    const double T = double(I) / Rate;
    // Syllables: the voice comes and goes four times a second.
    const double Envelope = 0.5 + 0.5 * std::sin(2 * M_PI * 4 * T);
    const float Voice = float(Envelope * (0.15 * std::sin(2 * M_PI * 180 * T) +
                                          0.08 * std::sin(2 * M_PI * 900 * T) +
                                          0.04 * std::sin(2 * M_PI * 3100 * T)));
    for (int C = 0; C < Chans; ++C)
      Result[size_t(I * Chans + C)] = Voice + Noise(Random);
  }
  return Result;
}

double BestSeconds(int ARuns, const std::function<void()>& AWork)
{
  double Best = 1e30;
  for (int I = 0; I < ARuns; ++I) {
    QElapsedTimer Clock;
    Clock.start();
    AWork();
    Best = std::min(Best, double(Clock.nsecsElapsed()) / 1e9);
  }
  return Best;
}

bool WriteWav16(const QString& APath, const std::vector<float>& ASamples)
{
  QFile F(APath);
  if (!F.open(QIODevice::WriteOnly))
    return false;
  const uint32_t Data = uint32_t(ASamples.size() * 2);
  auto Put32 = [&](uint32_t V) { F.write(reinterpret_cast<const char*>(&V), 4); };
  auto Put16 = [&](uint16_t V) { F.write(reinterpret_cast<const char*>(&V), 2); };
  F.write("RIFF");
  Put32(36 + Data);
  F.write("WAVEfmt ");
  Put32(16);
  Put16(1);
  Put16(Chans);
  Put32(Rate);
  Put32(Rate * Chans * 2);
  Put16(Chans * 2);
  Put16(16);
  F.write("data");
  Put32(Data);
  std::vector<int16_t> Pcm(ASamples.size());
  for (size_t I = 0; I < ASamples.size(); ++I)
    Pcm[I] = int16_t(std::clamp(std::nearbyint(double(ASamples[I]) * 32768.0), -32768.0, 32767.0));
  F.write(reinterpret_cast<const char*>(Pcm.data()), qint64(Pcm.size() * 2));
  return true;
}

} // namespace

int main(int argc, char** argv)
{
  QApplication App(argc, argv);
  QTemporaryDir Dir;
  const int64_t Frames = int64_t(Rate) * 60;
  const std::vector<float> Input = Speechlike(Frames);

  // 1. Chain + meters + FLAC.
  TSystemIni Settings;
  SetupPlugins(&Settings, QString(), QString(), 0, QString(), {}, {});
  TDSPItemsC List;
  auto Add = [&List](TIntDSPKind AKind, const QStringList& AParams) {
    TDSPItemC* Item = List.Add();
    Item->SetT(dspIntegrated);
    Item->SetIntDSPKind(AKind);
    Item->SetParams(AParams);
    Item->SetState(psActive);
  };
  Add(dspEqualizer, {"-3", "-2", "0", "1", "2", "3", "4", "2", "1", "-1"});
  Add(dspCompressor, {"4", "-16", "5", "10", "200"});
  Add(dspGain, {"3"});
  const HSTREAM Stream = BASS_StreamCreate(Rate, Chans, BASS_STREAM_DECODE, nullptr, nullptr);
  TDSPManager Manager(QStringLiteral("Bench"));
  Manager.SetDSPList(&List);
  Manager.SetWorkChannel(Stream);
  Manager.StartAllDSPs();
  std::vector<float> Work(Input.size());
  const QString ChainOut = Dir.filePath(QStringLiteral("chain.flac"));
  // As the recorder's window builds it: no live true peak (it is not shown there).
  vexmo::audio::TLevelMeter Meter(Rate, Chans, false);
  const double ChainSeconds = BestSeconds(3, [&] {
    Work = Input;
    const size_t Block = size_t(Rate / 100) * Chans;
    for (size_t At = 0; At < Work.size(); At += Block) {
      const size_t N = std::min(Block, Work.size() - At);
      BASS_ChannelProcess(Stream, Work.data() + At, DWORD(N * sizeof(float)));
      Meter.Process(Work.data() + At, N / Chans);
      if (At % (Block * 10) == 0)
        Meter.Read(); // the window reads about ten times a second
    }
    WriteFlacFile(ChainOut, Work.data(), Frames, {Rate, Chans, 16, 5});
  });
  std::printf("chain+meters+flac: %.1fx real time (goal >= 100)\n", 60.0 / ChainSeconds);

  // 2. FLAC alone against the flac tool, same samples, same level.
  const QString Wav = Dir.filePath(QStringLiteral("in.wav"));
  WriteWav16(Wav, Input);
  const QString Ours = Dir.filePath(QStringLiteral("ours.flac"));
  const QString Theirs = Dir.filePath(QStringLiteral("theirs.flac"));
  const double OurSeconds = BestSeconds(5, [&] {
    WriteFlacFile(Ours, Input.data(), Frames, {Rate, Chans, 16, 5});
  });
  const double ToolSeconds = BestSeconds(5, [&] {
    QProcess::execute(QStringLiteral("flac"), {"-5", "-f", "-s", "-o", Theirs, Wav});
  });
  std::printf("flac encoding: ours %.1f ms, flac tool %.1f ms, ratio %.2f (goal <= 1.1)\n",
              OurSeconds * 1000, ToolSeconds * 1000, OurSeconds / ToolSeconds);

  // 3. The waveform of a 10-minute take at 1000 pixels.
  const int64_t LongFrames = int64_t(Rate) * 600;
  std::vector<float> Long(size_t(LongFrames * Chans));
  for (int64_t F = 0; F < LongFrames; F += Frames)
    std::copy(Input.begin(), Input.begin() + std::min<int64_t>(Frames, LongFrames - F) * Chans,
              Long.begin() + F * Chans);
  TWaveOverview Overview;
  Overview.Append(Long.data(), LongFrames, Chans);
  TWaveformView View;
  View.resize(1000, 160);
  View.SetTake(&Overview, Long.data(), Chans, LongFrames);
  View.SetHandlesShown(true);
  View.SetTrim(LongFrames / 10, LongFrames - LongFrames / 10);
  QImage Image(View.size(), QImage::Format_ARGB32_Premultiplied);
  const double DrawSeconds = BestSeconds(20, [&] { View.render(&Image); });
  std::printf("waveform of a 10-minute take at 1000 px: %.2f ms a frame (goal < 16)\n",
              DrawSeconds * 1000);
  return 0;
}
