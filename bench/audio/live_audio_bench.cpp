// Live audio figures, printed as text:
// 1. The program's default microphone chain (10-band equalizer, compressor, gain) plus an input
//    and an output meter on 48 kHz stereo in blocks of 10 ms, as the capture channel runs them:
//    seconds of audio per second of CPU time on one thread. Goal: at least 150.
// 2. Against a private sound server (a pipe source as the microphone, a null sink as output):
//    the time from a tone's first block reaching the capture callback to the meter the UI reads
//    showing it (goal: at most 50 ms), and the monitor path from capture to output as the server
//    reports it (goal: at most 40 ms).
#include "audio/bass.h"
#include "audio/level_meter.h"
#include "audio/private_pulse.h"
#include "dsp/dsp_manager.h"
#include "dsp/plugins.h"
#include "settings/dsp_items.h"
#include "settings/system_ini.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <random>
#include <thread>
#include <unistd.h>
#include <vector>

using vexmo::audio::TLevelMeter;

namespace {

constexpr unsigned Rate = 48000;
constexpr unsigned Chans = 2;
constexpr size_t Block = Rate / 100; // frames

double CpuSeconds()
{
  timespec Now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &Now);
  return Now.tv_sec + Now.tv_nsec / 1e9;
}

double WallMs()
{
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

void AddDefaultChain(TDSPItemsC& AList)
{
  auto Add = [&AList](TIntDSPKind AKind, const QStringList& AParams) {
    TDSPItemC* Item = AList.Add();
    Item->SetT(dspIntegrated);
    Item->SetIntDSPKind(AKind);
    Item->SetParams(AParams);
    Item->SetState(psActive);
  };
  Add(dspEqualizer, {"-3", "-2", "0", "1", "2", "3", "4", "2", "1", "-1"});
  Add(dspCompressor, {"4", "-16", "5", "10", "200"});
  Add(dspGain, {"3"});
}

void Throughput()
{
  constexpr unsigned Seconds = 60;
  std::vector<float> Input(static_cast<size_t>(Rate) * Seconds * Chans);
  std::mt19937 Random(1);
  std::uniform_real_distribution<float> Noise(-0.05f, 0.05f);
  for (size_t i = 0; i < Input.size() / Chans; ++i) {
    const double T = double(i) / Rate;
    const float Voice =
        float(0.15 * std::sin(2 * M_PI * 180 * T) + 0.08 * std::sin(2 * M_PI * 900 * T) +
              0.04 * std::sin(2 * M_PI * 3100 * T));
    for (unsigned c = 0; c < Chans; ++c)
      Input[i * Chans + c] = Voice + Noise(Random);
  }

  TDSPItemsC List;
  AddDefaultChain(List);
  const HSTREAM Stream = BASS_StreamCreate(Rate, Chans, BASS_STREAM_DECODE, nullptr, nullptr);
  TDSPManager Manager(QStringLiteral("Bench"));
  Manager.SetDSPList(&List);
  Manager.SetWorkChannel(Stream);
  Manager.StartAllDSPs();
  // What the microphone window runs: the input meter without the costly true peak, the output
  // meter with it.
  TLevelMeter In(Rate, Chans, false), Out(Rate, Chans);
  BASS_ChannelSetDSP(Stream, &TLevelMeter::DspProc, &In, INT_MAX);
  BASS_ChannelSetDSP(Stream, &TLevelMeter::DspProc, &Out, INT_MIN);

  double Best = 0;
  for (int Round = 0; Round < 3; ++Round) {
    std::vector<float> Work = Input;
    const double Start = CpuSeconds();
    for (size_t Pos = 0; Pos < Work.size(); Pos += Block * Chans)
      BASS_ChannelProcess(Stream, Work.data() + Pos, DWORD(Block * Chans * sizeof(float)));
    Best = std::max(Best, Seconds / (CpuSeconds() - Start));
  }
  // The meters alone, for comparison.
  double MetersOnly = 0;
  {
    const double Start = CpuSeconds();
    for (size_t Pos = 0; Pos < Input.size(); Pos += Block * Chans) {
      In.Process(Input.data() + Pos, Block);
      Out.Process(Input.data() + Pos, Block);
    }
    MetersOnly = Seconds / (CpuSeconds() - Start);
  }
  std::printf("chain (10-band EQ, compressor, gain) + 2 meters, 48 kHz stereo, 10 ms blocks: "
              "%.0fx real time on one core (goal >= 150x)\n",
              Best);
  std::printf("  the two meters alone (true peak on the output one): %.0fx real time\n",
              MetersOnly);
  for (int i = 0; i < List.Count(); ++i)
    Manager.StopDSP(i);
  BASS_StreamFree(Stream);
}

struct TProbe
{
  TLevelMeter Meter{Rate, Chans};
};

bool Latency()
{
  QTemporaryDir Dir;
  const QString Fifo = Dir.filePath(QStringLiteral("mic"));
  vexmo::audio::test::TPrivatePulse Pulse(
      {"module-null-sink sink_name=out rate=48000",
       QStringLiteral("module-pipe-source source_name=pmic file=%1 format=float32le rate=48000 "
                      "channels=2")
           .arg(Fifo)});
  if (!Pulse.Start()) {
    std::printf("latency: skipped, %s\n", Pulse.SkipReason().c_str());
    return false;
  }
  qputenv("PULSE_SERVER", Pulse.Address());
  // The pipe source makes the FIFO itself.
  const int Writer = open(Fifo.toLocal8Bit().constData(), O_WRONLY);
  if (Writer < 0) {
    std::printf("latency: the pipe source did not load\n");
    return false;
  }
  BASS_RecordSetSource("pmic");
  if (!BASS_RecordInit(-1)) {
    std::printf("latency: no server (%d)\n", BASS_ErrorGetCode());
    return false;
  }
  TProbe Probe;
  const HSTREAM Output = BASS_StreamCreate(Rate, Chans, BASS_SAMPLE_FLOAT | BASS_STREAM_LIVE,
                                           STREAMPROC_PUSH, nullptr);
  BASS_ChannelPlay(Output, FALSE);
  struct TContext
  {
    TLevelMeter* Meter;
    HSTREAM Output;
  } Context{&Probe.Meter, Output};
  const HRECORD Capture = BASS_RecordStart(
      Rate, Chans, 0,
      [](HRECORD, const void* ABuffer, DWORD ALength, void* AUser) -> BOOL {
        auto* Self = static_cast<TContext*>(AUser);
        Self->Meter->Process(static_cast<const float*>(ABuffer), ALength / (Chans * 4));
        // As the microphone window does: a backlog (the output started late) is not kept.
        BASS_CHANNELSTATUS Out{};
        if (BASS_ChannelGetStatus(Self->Output, &Out) && Out.queued <= ALength)
          BASS_StreamPutData(Self->Output, ABuffer, ALength);
        return TRUE;
      },
      &Context);
  if (!Capture) {
    std::printf("latency: recording failed (%d)\n", BASS_ErrorGetCode());
    return false;
  }

  // Writes 10 ms blocks to the pipe in real time; AOnsets: blocks at which a tone starts.
  std::vector<float> Silence(Block * Chans, 0.0f), Tone(Block * Chans);
  for (size_t i = 0; i < Block; ++i)
    Tone[2 * i] = Tone[2 * i + 1] = float(0.5 * std::sin(2 * M_PI * 1000 * double(i) / Rate));
  std::atomic<double> ToneAt{0};
  std::atomic<bool> Done{false};
  std::thread Feeder([&] {
    double Next = WallMs();
    for (int n = 0; n < 1200; ++n) {
      // Two seconds of tone every four seconds, after a first second of silence.
      const bool Loud = n >= 100 && (n - 100) % 400 < 200;
      if (Loud && (n - 100) % 400 == 0)
        ToneAt = WallMs();
      const auto& Data = Loud ? Tone : Silence;
      if (write(Writer, Data.data(), Data.size() * sizeof(float)) < 0)
        break;
      Next += 10;
      std::this_thread::sleep_until(std::chrono::steady_clock::time_point(
          std::chrono::duration_cast<std::chrono::steady_clock::duration>(
              std::chrono::duration<double, std::milli>(Next))));
    }
    Done = true;
  });

  // The UI's side: reads the meter; here every millisecond to see the engine's part, not the
  // timer's (a 30 Hz UI timer adds up to 33 ms, 17 on average).
  std::vector<double> Delays;
  std::vector<double> Monitor;
  double Parts[4] = {}; // the last reading's source, our ring, output queue, sink
  double Seen = 0;      // the onset already measured
  while (!Done) {
    const TLevelMeter::TReading Reading = Probe.Meter.Read();
    const bool Loud = Reading.PeakDb[0] > -20;
    const double Onset = ToneAt;
    if (Loud && Onset > Seen) {
      Delays.push_back(WallMs() - Onset);
      Seen = Onset;
    }
    if (Loud) {
      BASS_CHANNELSTATUS In{}, Out{};
      BASS_ChannelGetStatus(Capture, &In);
      BASS_ChannelGetStatus(Output, &Out);
      // Source buffering + our ring + what waits in the output queue + the sink's buffer.
      Parts[0] = In.latency / 1000.0;
      Parts[1] = In.queued * 1000.0 / (Rate * Chans * 4);
      Parts[2] = Out.queued * 1000.0 / (Rate * Chans * 4);
      Parts[3] = Out.latency / 1000.0;
      Monitor.push_back((In.latency + Out.latency) / 1000.0 +
                        (In.queued + Out.queued) * 1000.0 / (Rate * Chans * 4));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  Feeder.join();
  close(Writer);
  BASS_CHANNELSTATUS OutStatus{};
  BASS_ChannelGetStatus(Output, &OutStatus);
  const DWORD Underruns = OutStatus.underruns;
  BASS_ChannelFree(Capture);
  BASS_StreamFree(Output);
  BASS_RecordFree();
  std::sort(Delays.begin(), Delays.end());
  std::sort(Monitor.begin(), Monitor.end());
  if (Delays.empty() || Monitor.empty()) {
    std::printf("latency: the tone never reached the meter\n");
    return false;
  }
  std::printf("tone written to the microphone -> meter value readable: median %.1f ms, worst "
              "%.1f ms over %zu onsets (goal <= 50 ms; a 30 Hz UI timer adds up to 33 ms)\n",
              Delays[Delays.size() / 2], Delays.back(), Delays.size());
  std::printf("monitor path capture -> output as the server reports it: median %.1f ms, 95th "
              "percentile %.1f ms (goal <= 40 ms)\n",
              Monitor[Monitor.size() / 2], Monitor[Monitor.size() * 95 / 100]);
  std::printf("  last reading: capture stream %.1f ms, capture ring %.1f ms, output queue %.1f ms, "
              "output stream %.1f ms; output underruns %u\n",
              Parts[0], Parts[1], Parts[2], Parts[3], Underruns);
  return true;
}

} // namespace

int main(int argc, char** argv)
{
  QCoreApplication App(argc, argv);
  TSystemIni Settings; // 10 bands, 2.5 octaves
  SetupPlugins(&Settings, QString(), QString(), 0, QString(), {}, {});
  if (!qEnvironmentVariableIsSet("VEXMO_BENCH_NO_CHAIN"))
    Throughput();
  SetupPlugins(nullptr, QString(), QString(), 0, QString(), {}, {});
  Latency();
  return 0;
}
