// Live audio against a private sound server: a sine source and a pipe source stand in for the
// microphone, a null sink for the speakers.
#include "bass.h"
#include "bass_fx.h"
#include "bass_wadsp.h"
#include "private_pulse.h"
#include "signal_helpers.h"

#include <QDir>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>
#include <vector>

using namespace vexmo::audio::test;

namespace {

constexpr DWORD Rate = 48000;

// What a recording procedure received, after the channel's stages.
struct TCollector
{
  std::mutex Lock;
  std::vector<float> Samples;
  std::atomic<int> Calls{0};
  std::atomic<bool> StopAfter{false};

  static BOOL Proc(HRECORD, const void* ABuffer, DWORD ALength, void* AUser)
  {
    auto* self = static_cast<TCollector*>(AUser);
    const auto* samples = static_cast<const float*>(ABuffer);
    std::lock_guard lock(self->Lock);
    self->Samples.insert(self->Samples.end(), samples, samples + ALength / sizeof(float));
    ++self->Calls;
    return !self->StopAfter;
  }

  std::vector<float> Take()
  {
    std::lock_guard lock(Lock);
    return std::exchange(Samples, {});
  }
};

// Waits up to ATimeoutMs for ACondition.
template <typename T> bool WaitFor(T ACondition, int ATimeoutMs = 5000)
{
  QElapsedTimer timer;
  timer.start();
  while (!ACondition()) {
    if (timer.elapsed() > ATimeoutMs)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

DWORD StateOf(DWORD AHandle)
{
  BASS_CHANNELSTATUS status{};
  BASS_ChannelGetStatus(AHandle, &status);
  return status.state;
}

// Zero crossings upwards per second on channel 0.
double FrequencyOf(const std::vector<float>& ASamples, unsigned AChans)
{
  int crossings = 0;
  for (size_t i = AChans; i < ASamples.size(); i += AChans)
    crossings += ASamples[i - AChans] < 0 && ASamples[i] >= 0;
  return crossings * double(Rate) / (ASamples.size() / AChans);
}

class TLiveAudioTest : public ::testing::Test
{
protected:
  static void SetUpTestSuite()
  {
    FPulse = new TPrivatePulse({"module-null-sink sink_name=out rate=48000",
                                "module-sine-source source_name=vmic frequency=1000 rate=48000"});
    if (!FPulse->Start())
      return;
    qputenv("PULSE_SERVER", FPulse->Address());
  }

  static void TearDownTestSuite()
  {
    BASS_RecordFree();
    delete FPulse;
    FPulse = nullptr;
    qunsetenv("PULSE_SERVER");
  }

  void SetUp() override
  {
    if (!FPulse->SkipReason().empty())
      GTEST_SKIP() << FPulse->SkipReason();
    BASS_RecordSetSource("vmic");
    ASSERT_TRUE(BASS_RecordInit(-1)) << BASS_ErrorGetCode();
  }

  void TearDown() override
  {
    BASS_RecordSetSource(nullptr);
    BASS_SetOutputSink(nullptr);
  }

  // Records ASeconds from the chosen source; stages may be attached in AAttach.
  template <typename T> std::vector<float> Record(double ASeconds, T AAttach, DWORD AChans = 2)
  {
    TCollector collector;
    const HRECORD channel = BASS_RecordStart(Rate, AChans, 0, &TCollector::Proc, &collector);
    EXPECT_NE(channel, 0u) << BASS_ErrorGetCode();
    if (!channel)
      return {};
    AAttach(channel);
    // Let the stages settle, then keep what comes after.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    collector.Take();
    const size_t wanted = static_cast<size_t>(ASeconds * Rate) * AChans;
    EXPECT_TRUE(WaitFor([&] {
      std::lock_guard lock(collector.Lock);
      return collector.Samples.size() >= wanted;
    }));
    EXPECT_TRUE(BASS_ChannelFree(channel));
    return collector.Take();
  }

  static inline TPrivatePulse* FPulse = nullptr;
};

TEST_F(TLiveAudioTest, CapturesTheSourceAtItsLevelAndFrequency)
{
  TCollector collector;
  const HRECORD channel = BASS_RecordStart(Rate, 2, 0, &TCollector::Proc, &collector);
  ASSERT_NE(channel, 0u) << BASS_ErrorGetCode();
  EXPECT_EQ(BASS_ChannelIsActive(channel), static_cast<DWORD>(BASS_ACTIVE_PLAYING));
  ASSERT_TRUE(WaitFor([&] { return BASS_ChannelGetPosition(channel, BASS_POS_BYTE) >= Rate * 8; }));

  // Blocks of 10 ms, interleaved stereo floats.
  const std::vector<float> samples = collector.Take();
  ASSERT_FALSE(samples.empty());
  EXPECT_EQ(samples.size() % (Rate / 100 * 2), 0u);
  // The sine source plays a 1 kHz sine with peaks at 0.5: RMS -9.03 dBFS.
  EXPECT_NEAR(RmsDb(samples, 2, 0, 0), -9.03, 0.5);
  EXPECT_NEAR(RmsDb(samples, 2, 1, 0), -9.03, 0.5);
  EXPECT_NEAR(FrequencyOf(samples, 2), 1000, 20);

  float levels[2] = {};
  ASSERT_TRUE(BASS_ChannelGetLevelEx(channel, levels, 0.1f, BASS_LEVEL_RMS));
  EXPECT_NEAR(20 * std::log10(levels[0]), -9.03, 0.5);
  ASSERT_TRUE(BASS_ChannelGetLevelEx(channel, levels, 0.1f, BASS_LEVEL_MONO));
  EXPECT_NEAR(levels[0], 0.5, 0.03);

  BASS_CHANNELSTATUS status{};
  ASSERT_TRUE(BASS_ChannelGetStatus(channel, &status));
  EXPECT_NE(status.state, static_cast<DWORD>(BASS_STATE_DEVICELOST));

  // Stopped, nothing more arrives; played again, it does.
  ASSERT_TRUE(BASS_ChannelStop(channel));
  EXPECT_EQ(BASS_ChannelIsActive(channel), static_cast<DWORD>(BASS_ACTIVE_PAUSED));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  collector.Take();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_TRUE(collector.Take().empty());
  ASSERT_TRUE(BASS_ChannelPlay(channel, FALSE));
  EXPECT_TRUE(WaitFor([&] { return collector.Calls > 0 && !collector.Take().empty(); }));

  EXPECT_TRUE(BASS_ChannelFree(channel));
  EXPECT_EQ(BASS_ChannelIsActive(channel), static_cast<DWORD>(BASS_ACTIVE_STOPPED));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
}

TEST_F(TLiveAudioTest, ProcedureReturningFalseStopsTheChannel)
{
  TCollector collector;
  collector.StopAfter = true;
  const HRECORD channel = BASS_RecordStart(Rate, 1, 0, &TCollector::Proc, &collector);
  ASSERT_NE(channel, 0u);
  ASSERT_TRUE(WaitFor([&] { return BASS_ChannelIsActive(channel) == BASS_ACTIVE_PAUSED; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(collector.Calls, 1);
  BASS_ChannelFree(channel);
}

TEST_F(TLiveAudioTest, StagesRunBeforeTheProcedure)
{
  const double plain = RmsDb(Record(0.5, [](HRECORD) {}), 2, 0, 0);

  // An equalizer band boosts its own frequency, and a band elsewhere leaves it alone.
  struct TCase
  {
    float Center;
    double Boost;
  } cases[] = {{1000, 6}, {4000, 0}};
  for (const TCase& test : cases) {
    const std::vector<float> eq = Record(0.5, [&](HRECORD AChannel) {
      const HFX fx = BASS_ChannelSetFX(AChannel, BASS_FX_BFX_PEAKEQ, 0);
      BASS_BFX_PEAKEQ band{0, 1.0f, 0, test.Center, 6.0f, BASS_BFX_CHANALL};
      ASSERT_TRUE(BASS_FXSetParameters(fx, &band));
    });
    EXPECT_NEAR(RmsDb(eq, 2, 0, 0) - plain, test.Boost, 0.5) << "band at " << test.Center;
  }

  // A DSP procedure runs on the live samples: a +6 dB gain (x 1.995).
  const std::vector<float> louder = Record(0.5, [](HRECORD AChannel) {
    BASS_ChannelSetDSP(
        AChannel,
        [](HDSP, DWORD, void* ABuffer, DWORD ALength, void*) {
          auto* samples = static_cast<float*>(ABuffer);
          for (DWORD i = 0; i < ALength / sizeof(float); ++i)
            samples[i] *= 1.9953f;
        },
        nullptr, 0);
  });
  EXPECT_NEAR(RmsDb(louder, 2, 0, 0) - plain, 6.0, 0.5);
}

TEST_F(TLiveAudioTest, WinampPluginChangesTheLiveSignal)
{
  const QString path = QDir(VEXMO_BIN_DIR "Plugins").filePath("dsp_tremolo.so");
  const HDSP plugin = BASS_WADSP_Load(path.toLocal8Bit().constData(), 0, 0, 0, 0, nullptr);
  ASSERT_NE(plugin, 0u) << path.toStdString();
  ASSERT_TRUE(BASS_WADSP_Start(plugin, 0, 0));
  const std::vector<float> samples = Record(
      1.0, [&](HRECORD AChannel) { ASSERT_NE(BASS_WADSP_ChannelSetDSP(plugin, AChannel, 0), 0u); });
  BASS_WADSP_Stop(plugin);
  BASS_WADSP_FreeDSP(plugin);
  // A tremolo moves the level: 10 ms windows differ by several dB where the sine alone is flat.
  double lowest = 0, highest = -200;
  for (size_t from = 0; from + 960 <= samples.size(); from += 960) {
    const std::vector<float> window(samples.begin() + from, samples.begin() + from + 960);
    const double level = RmsDb(window, 2, 0, 0);
    lowest = std::min(lowest, level);
    highest = std::max(highest, level);
  }
  EXPECT_GT(highest - lowest, 3.0);
}

TEST_F(TLiveAudioTest, UnknownSourceIsRefused)
{
  BASS_RecordSetSource("no-such-microphone");
  EXPECT_EQ(BASS_RecordStart(Rate, 2, 0, nullptr, nullptr), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DEVICE);
}

TEST_F(TLiveAudioTest, SourceUnloadedMidCaptureIsReportedAndHeals)
{
  const int module = FPulse->LoadModule("module-sine-source",
                                        {"source_name=usbmic", "frequency=440", "rate=48000"});
  ASSERT_GE(module, 0);
  BASS_RecordSetSource("usbmic");
  TCollector collector;
  const HRECORD channel = BASS_RecordStart(Rate, 2, 0, &TCollector::Proc, &collector);
  ASSERT_NE(channel, 0u) << BASS_ErrorGetCode();
  ASSERT_TRUE(WaitFor([&] { return collector.Calls > 5; }));

  // Unplugged: the channel says so and stalls; the calls answer at once.
  ASSERT_TRUE(FPulse->Pactl({"unload-module", QString::number(module)}));
  ASSERT_TRUE(WaitFor([&] { return StateOf(channel) == BASS_STATE_DEVICELOST; }));
  EXPECT_EQ(BASS_ChannelIsActive(channel), static_cast<DWORD>(BASS_ACTIVE_STALLED));

  // Plugged in again: it records again on its own.
  ASSERT_GE(FPulse->LoadModule("module-sine-source",
                               {"source_name=usbmic", "frequency=440", "rate=48000"}),
            0);
  ASSERT_TRUE(WaitFor([&] { return StateOf(channel) == BASS_STATE_OK; }));
  collector.Take();
  EXPECT_TRUE(WaitFor([&] {
    std::lock_guard lock(collector.Lock);
    return collector.Samples.size() > Rate / 5;
  }));
  EXPECT_NEAR(FrequencyOf(collector.Take(), 2), 440, 20);

  QElapsedTimer timer;
  timer.start();
  EXPECT_TRUE(BASS_ChannelFree(channel));
  EXPECT_LT(timer.elapsed(), 2000);
}

TEST_F(TLiveAudioTest, SlowStageDropsBlocksAndSaysSo)
{
  const HRECORD channel = BASS_RecordStart(Rate, 2, 0, nullptr, nullptr);
  ASSERT_NE(channel, 0u);
  // Three times slower than real time: the channel's second of room fills, then blocks drop.
  BASS_ChannelSetDSP(
      channel,
      [](HDSP, DWORD, void*, DWORD, void*) {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
      },
      nullptr, 0);
  ASSERT_TRUE(WaitFor([&] { return StateOf(channel) == BASS_STATE_OVERRUN; }, 8000));
  BASS_CHANNELSTATUS status{};
  QElapsedTimer timer;
  timer.start();
  ASSERT_TRUE(BASS_ChannelGetStatus(channel, &status));
  EXPECT_LT(timer.elapsed(), 50);
  EXPECT_GT(status.dropped, 0u);
  EXPECT_TRUE(BASS_ChannelFree(channel));
}

TEST_F(TLiveAudioTest, PushedSamplesReachTheSink)
{
  BASS_SetOutputSink("out");
  const HSTREAM output = BASS_StreamCreate(Rate, 2, BASS_SAMPLE_FLOAT, STREAMPROC_PUSH, nullptr);
  ASSERT_NE(output, 0u) << BASS_ErrorGetCode();
  // Listen to the sink through its monitor.
  BASS_RecordSetSource("out.monitor");
  TCollector heard;
  const HRECORD monitor = BASS_RecordStart(Rate, 2, 0, &TCollector::Proc, &heard);
  ASSERT_NE(monitor, 0u);

  // A -12 dBFS 440 Hz sine, pushed in 10 ms blocks as a capture callback would.
  const std::vector<float> tone = [] {
    std::vector<float> samples(Rate * 2 * 2);
    for (size_t i = 0; i < samples.size() / 2; ++i)
      samples[2 * i] = samples[2 * i + 1] = float(0.2512 * std::sin(2 * M_PI * 440 * i / Rate));
    return samples;
  }();
  // An idle null sink wakes up late (it sleeps for its whole latency): start once it runs.
  ASSERT_TRUE(BASS_ChannelPlay(output, FALSE));
  ASSERT_TRUE(
      WaitFor([&] { return BASS_ChannelGetPosition(output, BASS_POS_BYTE) > Rate * 8 / 10; }));
  const QWORD startedAt = BASS_ChannelGetPosition(output, BASS_POS_BYTE);
  heard.Take();
  // The whole tone at once (the queue holds two seconds), then the end: it plays out and stops.
  ASSERT_EQ(BASS_StreamPutData(output, tone.data(), tone.size() * sizeof(float)),
            tone.size() * sizeof(float));
  EXPECT_NE(BASS_StreamPutData(output, nullptr, BASS_STREAMPROC_END), DWORD(-1));
  BASS_CHANNELSTATUS status{};
  ASSERT_TRUE(BASS_ChannelGetStatus(output, &status));
  EXPECT_LT(status.latency, 100'000u); // what the server holds: its 30 ms
  ASSERT_TRUE(WaitFor([&] { return BASS_ChannelIsActive(output) == BASS_ACTIVE_STOPPED; }));
  EXPECT_EQ(StateOf(output), static_cast<DWORD>(BASS_STATE_ENDED));
  // Played: the tone, give or take the sink's own buffering and the blocks of silence between
  // the start and the push.
  const double played =
      double(BASS_ChannelGetPosition(output, BASS_POS_BYTE) - startedAt) / (Rate * 8);
  EXPECT_NEAR(played, 2.0, 0.15);

  // The monitor heard the tone: the loudest half second is the sine at its level.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const std::vector<float> samples = heard.Take();
  ASSERT_GT(samples.size(), size_t(Rate * 2));
  const size_t half = Rate / 2 * 2;
  size_t best = 0;
  double bestDb = -200;
  for (size_t at = 0; at + half <= samples.size(); at += half / 5) {
    const double level = RmsDb({samples.begin() + at, samples.begin() + at + half}, 2, 0, 0);
    if (level > bestDb)
      bestDb = level, best = at;
  }
  EXPECT_NEAR(bestDb, -15.0, 0.5);
  EXPECT_NEAR(FrequencyOf({samples.begin() + best, samples.begin() + best + half}, 2), 440, 20);
  EXPECT_EQ(BASS_StreamPutData(output, tone.data(), 8), DWORD(-1));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ENDED);
  BASS_ChannelFree(monitor);
  BASS_StreamFree(output);
}

TEST_F(TLiveAudioTest, StreamProcedureFeedsTheSinkUntilItsEnd)
{
  struct TSource
  {
    std::atomic<size_t> Given{0};
    size_t Total = Rate / 2; // frames: half a second
  } source;
  const HSTREAM output = BASS_StreamCreate(
      Rate, 1, BASS_SAMPLE_FLOAT,
      [](HSTREAM, void* ABuffer, DWORD ALength, void* AUser) -> DWORD {
        auto* self = static_cast<TSource*>(AUser);
        const size_t frames = std::min<size_t>(ALength / 4, self->Total - self->Given);
        std::fill_n(static_cast<float*>(ABuffer), frames, 0.1f);
        self->Given += frames;
        return DWORD(frames * 4) | (self->Given == self->Total ? BASS_STREAMPROC_END : 0);
      },
      &source);
  ASSERT_NE(output, 0u) << BASS_ErrorGetCode();
  ASSERT_TRUE(BASS_ChannelPlay(output, FALSE));
  ASSERT_TRUE(WaitFor([&] { return BASS_ChannelIsActive(output) == BASS_ACTIVE_STOPPED; }));
  EXPECT_EQ(source.Given, source.Total);
  EXPECT_NEAR(double(BASS_ChannelGetPosition(output, BASS_POS_BYTE)) / (Rate * 4), 0.5, 0.1);
  BASS_StreamFree(output);
}

TEST_F(TLiveAudioTest, ServerRestartIsReportedAndHeals)
{
  TCollector collector;
  const HRECORD channel = BASS_RecordStart(Rate, 2, 0, &TCollector::Proc, &collector);
  ASSERT_NE(channel, 0u);
  ASSERT_TRUE(WaitFor([&] { return collector.Calls > 5; }));

  FPulse->Stop();
  EXPECT_TRUE(WaitFor([&] { return StateOf(channel) == BASS_STATE_SERVERLOST; }));
  ASSERT_TRUE(FPulse->Start());
  ASSERT_TRUE(WaitFor([&] { return StateOf(channel) == BASS_STATE_OK; }, 8000));
  collector.Take();
  EXPECT_TRUE(WaitFor([&] {
    std::lock_guard lock(collector.Lock);
    return collector.Samples.size() > Rate / 5;
  }));
  BASS_ChannelFree(channel);
}

// Without a sound server nothing live starts, and the answer comes at once.
TEST(TLiveAudioNoServer, CallsFailWithDriverError)
{
  QTemporaryDir dir;
  const QByteArray old = qgetenv("PULSE_SERVER");
  qputenv("PULSE_SERVER", "unix:" + dir.filePath("none").toLocal8Bit());
  BASS_RecordFree();
  QElapsedTimer timer;
  timer.start();
  EXPECT_FALSE(BASS_RecordInit(-1));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DRIVER);
  EXPECT_EQ(BASS_RecordStart(Rate, 2, 0, nullptr, nullptr), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
  EXPECT_EQ(BASS_StreamCreate(Rate, 2, 0, STREAMPROC_PUSH, nullptr), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DRIVER);
  EXPECT_LT(timer.elapsed(), 2000);
  // Decoding streams need no server.
  const HSTREAM dummy = BASS_StreamCreate(Rate, 2, 0, nullptr, nullptr);
  EXPECT_NE(dummy, 0u);
  EXPECT_EQ(BASS_ChannelPlay(dummy, FALSE), FALSE);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DECODE);
  BASS_StreamFree(dummy);
  if (old.isEmpty())
    qunsetenv("PULSE_SERVER");
  else
    qputenv("PULSE_SERVER", old);
}

} // namespace
