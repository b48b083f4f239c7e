// How fast the chain runs: one minute of 48 kHz stereo through a decoding stream, in buffers of
// 1024 frames as a sound card would hand them over. Each benchmark reports "x_realtime", the
// seconds of audio processed per second of CPU time; the empty stream is the peer that shows
// what the stream itself costs. The goal for the full chain (10-band equalizer, compressor,
// gain) is at least 200 on one core.
#include "audio/bass.h"
#include "dsp/dsp_manager.h"
#include "dsp/plugins.h"
#include "settings/dsp_items.h"
#include "settings/system_ini.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>
#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr unsigned Rate = 48000;
constexpr unsigned Chans = 2;
constexpr unsigned Seconds = 60;
constexpr size_t Frames = static_cast<size_t>(Rate) * Seconds;
constexpr size_t Chunk = 1024 * Chans;

// Speech-like material: a few sines and some noise at about -12 dBFS, so that the compressor
// works and no band sees silence.
const std::vector<float>& Input()
{
  static const std::vector<float> Samples = [] {
    std::vector<float> Result(Frames * Chans);
    std::mt19937 Random(1);
    std::uniform_real_distribution<float> Noise(-0.05f, 0.05f);
    for (size_t i = 0; i < Frames; ++i) {
      const double T = static_cast<double>(i) / Rate;
      const float Voice = static_cast<float>(0.15 * std::sin(2 * M_PI * 180 * T) +
                                             0.08 * std::sin(2 * M_PI * 900 * T) +
                                             0.04 * std::sin(2 * M_PI * 3100 * T));
      for (unsigned c = 0; c < Chans; ++c)
        Result[i * Chans + c] = Voice + Noise(Random);
    }
    return Result;
  }();
  return Samples;
}

enum TStages
{
  sEqualizer = 1,
  sCompressor = 2,
  sGain = 4,
};

void RunChain(benchmark::State& AState, int AStages)
{
  TSystemIni Settings; // 10 bands, 2.5 octaves
  SetupPlugins(&Settings, QString(), QString(), 0, QString(), {}, {});
  TDSPItemsC List;
  auto Add = [&List](TIntDSPKind AKind, const QStringList& AParams) {
    TDSPItemC* Item = List.Add();
    Item->SetT(dspIntegrated);
    Item->SetIntDSPKind(AKind);
    Item->SetParams(AParams);
    Item->SetState(psActive);
  };
  if (AStages & sEqualizer)
    Add(dspEqualizer, {"-3", "-2", "0", "1", "2", "3", "4", "2", "1", "-1"});
  if (AStages & sCompressor)
    Add(dspCompressor, {"4", "-16", "5", "10", "200"});
  if (AStages & sGain)
    Add(dspGain, {"3"});

  const HSTREAM Stream = BASS_StreamCreate(Rate, Chans, BASS_STREAM_DECODE, nullptr, nullptr);
  TDSPManager Manager(QStringLiteral("Bench"));
  Manager.SetDSPList(&List);
  Manager.SetWorkChannel(Stream);
  Manager.StartAllDSPs();

  std::vector<float> Work(Input().size());
  for (auto _ : AState) {
    AState.PauseTiming();
    Work = Input();
    AState.ResumeTiming();
    for (size_t Pos = 0; Pos < Work.size(); Pos += Chunk) {
      const size_t Count = std::min(Chunk, Work.size() - Pos);
      BASS_ChannelProcess(Stream, Work.data() + Pos, static_cast<DWORD>(Count * sizeof(float)));
    }
    benchmark::DoNotOptimize(Work.data());
    benchmark::ClobberMemory();
  }
  AState.counters["x_realtime"] = benchmark::Counter(
      static_cast<double>(Seconds) * AState.iterations(), benchmark::Counter::kIsRate);

  for (int i = 0; i < List.Count(); ++i)
    Manager.StopDSP(i);
  BASS_StreamFree(Stream);
  SetupPlugins(nullptr, QString(), QString(), 0, QString(), {}, {});
}

void BM_EmptyStream(benchmark::State& AState)
{
  RunChain(AState, 0);
}
void BM_Equalizer10Bands(benchmark::State& AState)
{
  RunChain(AState, sEqualizer);
}
void BM_Compressor(benchmark::State& AState)
{
  RunChain(AState, sCompressor);
}
void BM_Gain(benchmark::State& AState)
{
  RunChain(AState, sGain);
}
void BM_FullChain(benchmark::State& AState)
{
  RunChain(AState, sEqualizer | sCompressor | sGain);
}

BENCHMARK(BM_EmptyStream)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Equalizer10Bands)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Compressor)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Gain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FullChain)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
  QCoreApplication App(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
