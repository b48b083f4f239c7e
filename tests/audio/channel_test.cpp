// Streams, the order in which their stages run, and the start-up configuration calls.
#include "bass.h"
#include "bass_fx.h"
#include "signal_helpers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace vexmo::audio::test;

namespace {

// DSP procedure that writes its name into the log it gets as user pointer.
struct TLogEntry
{
  std::vector<std::string>* Log;
  std::string Name;
};

void LogDSP(HDSP, DWORD, void*, DWORD, void* AUser)
{
  auto* entry = static_cast<TLogEntry*>(AUser);
  entry->Log->push_back(entry->Name);
}

class TChannelTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    FStream = BASS_StreamCreate(44100, 2, BASS_STREAM_DECODE, nullptr, nullptr);
    ASSERT_NE(FStream, 0u);
  }
  void TearDown() override { BASS_StreamFree(FStream); }

  std::vector<std::string> ProcessAndLog()
  {
    FLog.clear();
    std::vector<float> samples(512);
    EXPECT_EQ(BASS_ChannelProcess(FStream, samples.data(), 512 * sizeof(float)),
              512 * sizeof(float));
    return FLog;
  }

  HSTREAM FStream = 0;
  std::vector<std::string> FLog;
};

TEST_F(TChannelTest, StagesRunByPriorityThenInOrderOfAttachment)
{
  TLogEntry a{&FLog, "a"}, b{&FLog, "b"}, c{&FLog, "c"}, d{&FLog, "d"}, e{&FLog, "e"};
  ASSERT_NE(BASS_ChannelSetDSP(FStream, LogDSP, &a, 49), 0u);
  ASSERT_NE(BASS_ChannelSetDSP(FStream, LogDSP, &b, 49), 0u);
  ASSERT_NE(BASS_ChannelSetDSP(FStream, LogDSP, &c, 100), 0u);
  ASSERT_NE(BASS_ChannelSetDSP(FStream, LogDSP, &d, -5), 0u);
  const HDSP hE = BASS_ChannelSetDSP(FStream, LogDSP, &e, 49);
  ASSERT_NE(hE, 0u);
  EXPECT_EQ(ProcessAndLog(), (std::vector<std::string>{"c", "a", "b", "e", "d"}));

  // Removing and attaching again puts a stage last among its equals.
  ASSERT_TRUE(BASS_ChannelRemoveDSP(FStream, hE));
  EXPECT_EQ(ProcessAndLog(), (std::vector<std::string>{"c", "a", "b", "d"}));
  ASSERT_NE(BASS_ChannelSetDSP(FStream, LogDSP, &e, 49), 0u);
  EXPECT_EQ(ProcessAndLog(), (std::vector<std::string>{"c", "a", "b", "e", "d"}));
}

// Copies the buffer it sees into the vector it gets as user pointer.
void SnapshotDSP(HDSP, DWORD, void* ABuffer, DWORD ALength, void* AUser)
{
  auto* copy = static_cast<std::vector<float>*>(AUser);
  const float* samples = static_cast<const float*>(ABuffer);
  copy->assign(samples, samples + ALength / sizeof(float));
}

TEST_F(TChannelTest, EffectsTakeTheirPlaceAmongDSPsByPriority)
{
  std::vector<float> beforeEq, afterEq;
  ASSERT_NE(BASS_ChannelSetDSP(FStream, SnapshotDSP, &afterEq, 49), 0u);
  const HFX fx = BASS_ChannelSetFX(FStream, BASS_FX_BFX_PEAKEQ, 50);
  BASS_BFX_PEAKEQ band = {0, 1, 0, 1000, 12, BASS_BFX_CHANALL};
  ASSERT_TRUE(BASS_FXSetParameters(fx, &band));
  ASSERT_NE(BASS_ChannelSetDSP(FStream, SnapshotDSP, &beforeEq, 51), 0u);

  std::vector<float> samples = Sine(1000, 0.1, 4096);
  const std::vector<float> original = samples;
  ASSERT_TRUE(ProcessInChunks(FStream, samples, 2, 4096));
  EXPECT_EQ(beforeEq, original);
  EXPECT_EQ(afterEq, samples);
  EXPECT_NE(afterEq, original);
}

void DoubleDSP(HDSP, DWORD, void* ABuffer, DWORD ALength, void*)
{
  float* samples = static_cast<float*>(ABuffer);
  for (DWORD i = 0; i < ALength / sizeof(float); ++i)
    samples[i] *= 2;
}

TEST_F(TChannelTest, ProcedureGetsTheSamplesInPlaceWithItsHandles)
{
  struct TSeen
  {
    HDSP Handle = 0;
    DWORD Channel = 0;
    DWORD Length = 0;
  } seen;
  auto record = [](HDSP AHandle, DWORD AChannel, void*, DWORD ALength, void* AUser) {
    *static_cast<TSeen*>(AUser) = {AHandle, AChannel, ALength};
  };
  const HDSP dsp = BASS_ChannelSetDSP(FStream, record, &seen, 0);
  ASSERT_NE(BASS_ChannelSetDSP(FStream, DoubleDSP, nullptr, 1), 0u);
  std::vector<float> samples = {0.25f, -0.5f, 0.125f, 0};
  ASSERT_EQ(BASS_ChannelProcess(FStream, samples.data(), 16), 16u);
  EXPECT_EQ(samples, (std::vector<float>{0.5f, -1, 0.25f, 0}));
  EXPECT_EQ(seen.Handle, dsp);
  EXPECT_EQ(seen.Channel, FStream);
  EXPECT_EQ(seen.Length, 16u);
}

TEST_F(TChannelTest, ChannelZeroAndFreedStreamsRefuseAttachments)
{
  TLogEntry a{&FLog, "a"};
  EXPECT_EQ(BASS_ChannelSetDSP(0, LogDSP, &a, 49), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
  EXPECT_EQ(BASS_ChannelSetFX(0, BASS_FX_BFX_PEAKEQ, 49), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
  EXPECT_EQ(BASS_ChannelSetFX(0, BASS_FX_BFX_COMPRESSOR2, 49), 0u);
  EXPECT_FALSE(BASS_ChannelRemoveDSP(0, 0));
  EXPECT_FALSE(BASS_ChannelRemoveFX(0, 0));
  EXPECT_FALSE(BASS_FXSetParameters(0, &a));

  const HSTREAM other = BASS_StreamCreate(48000, 1, BASS_STREAM_DECODE, nullptr, nullptr);
  ASSERT_NE(other, 0u);
  const HFX fx = BASS_ChannelSetFX(other, BASS_FX_BFX_COMPRESSOR2, 49);
  const HDSP dsp = BASS_ChannelSetDSP(other, LogDSP, &a, 49);
  ASSERT_TRUE(BASS_StreamFree(other));
  EXPECT_FALSE(BASS_StreamFree(other));
  EXPECT_EQ(BASS_ChannelSetDSP(other, LogDSP, &a, 49), 0u);
  BASS_BFX_COMPRESSOR2 params{};
  EXPECT_FALSE(BASS_FXGetParameters(fx, &params));
  EXPECT_FALSE(BASS_ChannelRemoveDSP(other, dsp));
  float sample = 0;
  EXPECT_EQ(BASS_ChannelProcess(other, &sample, 4), static_cast<DWORD>(-1));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
}

TEST_F(TChannelTest, StagesAreRemovedOnlyFromTheirOwnChannelAndKind)
{
  TLogEntry a{&FLog, "a"};
  const HDSP dsp = BASS_ChannelSetDSP(FStream, LogDSP, &a, 49);
  const HFX fx = BASS_ChannelSetFX(FStream, BASS_FX_BFX_PEAKEQ, 49);
  const HSTREAM other = BASS_StreamCreate(44100, 2, 0, nullptr, nullptr);
  ASSERT_NE(other, 0u);
  EXPECT_FALSE(BASS_ChannelRemoveDSP(other, dsp));
  EXPECT_FALSE(BASS_ChannelRemoveFX(FStream, dsp));
  EXPECT_FALSE(BASS_ChannelRemoveDSP(FStream, fx));
  EXPECT_EQ(ProcessAndLog(), (std::vector<std::string>{"a"}));
  EXPECT_TRUE(BASS_ChannelRemoveDSP(FStream, dsp));
  EXPECT_TRUE(BASS_ChannelRemoveFX(FStream, fx));
  EXPECT_FALSE(BASS_ChannelRemoveFX(FStream, fx));
  EXPECT_TRUE(ProcessAndLog().empty());
  BASS_StreamFree(other);
}

TEST(TStreamTest, CreationChecksFormatAndSource)
{
  const struct
  {
    const char* What;
    DWORD Freq, Chans;
    STREAMPROC* Proc;
    int Error;
  } refused[] = {
      {"no channels", 44100, 0, nullptr, BASS_ERROR_FORMAT},
      {"too many channels", 44100, 33, nullptr, BASS_ERROR_FORMAT},
      {"rate 0", 0, 2, nullptr, BASS_ERROR_FORMAT},
      {"a source procedure", 44100, 2, [](HSTREAM, void*, DWORD, void*) -> DWORD { return 0; },
       BASS_ERROR_NOTAVAIL},
  };
  for (const auto& c : refused) {
    EXPECT_EQ(BASS_StreamCreate(c.Freq, c.Chans, BASS_STREAM_DECODE, c.Proc, nullptr), 0u)
        << c.What;
    EXPECT_EQ(BASS_ErrorGetCode(), c.Error) << c.What;
  }

  // The probe stream of plug-in discovery.
  const HSTREAM stream = BASS_StreamCreate(44100, 2, BASS_STREAM_DECODE, nullptr, nullptr);
  ASSERT_NE(stream, 0u);
  BASS_CHANNELINFO info{};
  ASSERT_TRUE(BASS_ChannelGetInfo(stream, &info));
  EXPECT_EQ(info.freq, 44100u);
  EXPECT_EQ(info.chans, 2u);
  EXPECT_EQ(info.flags, static_cast<DWORD>(BASS_STREAM_DECODE));
  EXPECT_EQ(info.ctype, static_cast<DWORD>(BASS_CTYPE_STREAM));

  // Only whole frames can be pushed.
  float samples[3] = {};
  EXPECT_EQ(BASS_ChannelProcess(stream, samples, 12), static_cast<DWORD>(-1));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
  EXPECT_EQ(BASS_ChannelProcess(stream, nullptr, 8), static_cast<DWORD>(-1));
  EXPECT_EQ(BASS_ChannelProcess(stream, nullptr, 0), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_OK);
  EXPECT_TRUE(BASS_StreamFree(stream));
}

TEST(TConfigTest, StartUpOptionsAreKept)
{
  EXPECT_NE(BASS_FX_GetVersion(), 0u);
  EXPECT_TRUE(BASS_SetConfig(BASS_CONFIG_FLOATDSP, 1));
  EXPECT_EQ(BASS_GetConfig(BASS_CONFIG_FLOATDSP), 1u);

  static const char agent[] = "Vexmo/1.0";
  EXPECT_TRUE(BASS_SetConfigPtr(BASS_CONFIG_NET_AGENT, agent));
  // The pointer itself is kept: the program keeps its text alive for that reason.
  EXPECT_EQ(BASS_GetConfigPtr(BASS_CONFIG_NET_AGENT), static_cast<const void*>(agent));

  EXPECT_FALSE(BASS_SetConfig(12345, 1));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLTYPE);
  EXPECT_FALSE(BASS_SetConfigPtr(12345, agent));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLTYPE);
}

// State shared between the processing thread and the thread that adds and removes a DSP.
struct TRaceState
{
  std::atomic<bool> Removed{false};
  std::atomic<int> CallsAfterRemoval{0};
  std::atomic<int> Calls{0};
};

void RaceDSP(HDSP, DWORD, void*, DWORD, void* AUser)
{
  auto* state = static_cast<TRaceState*>(AUser);
  state->Calls++;
  if (state->Removed)
    state->CallsAfterRemoval++;
}

TEST_F(TChannelTest, StagesChangeWhileAnotherThreadProcesses)
{
  std::atomic<bool> stop{false};
  std::atomic<int> failures{0};
  std::thread audio([&] {
    std::vector<float> samples(256);
    while (!stop)
      if (BASS_ChannelProcess(FStream, samples.data(), 256 * sizeof(float)) != 256 * sizeof(float))
        failures++;
  });
  const HFX fx = BASS_ChannelSetFX(FStream, BASS_FX_BFX_COMPRESSOR2, 49);
  int totalCalls = 0;
  for (int i = 0; i < 300; ++i) {
    TRaceState state;
    const HDSP dsp = BASS_ChannelSetDSP(FStream, RaceDSP, &state, i % 3);
    ASSERT_NE(dsp, 0u);
    BASS_BFX_COMPRESSOR2 params = {0, -10.0f - i % 20, 2, 10, 200, BASS_BFX_CHANALL};
    ASSERT_TRUE(BASS_FXSetParameters(fx, &params));
    std::this_thread::yield();
    ASSERT_TRUE(BASS_ChannelRemoveDSP(FStream, dsp));
    state.Removed = true;
    // Once removal returned, the procedure (and its user data, about to go) is never called.
    std::this_thread::yield();
    EXPECT_EQ(state.CallsAfterRemoval, 0);
    totalCalls += state.Calls;
  }
  stop = true;
  audio.join();
  EXPECT_EQ(failures, 0);
  EXPECT_GT(totalCalls, 0);
}

TEST_F(TChannelTest, ProcedureMayRemoveItselfWhileRunning)
{
  struct TSelf
  {
    HSTREAM Stream;
    HDSP Handle;
    int Calls;
  } self{FStream, 0, 0};
  auto once = [](HDSP AHandle, DWORD AChannel, void*, DWORD, void* AUser) {
    auto* me = static_cast<TSelf*>(AUser);
    me->Calls++;
    BASS_ChannelRemoveDSP(AChannel, AHandle);
  };
  TLogEntry after{&FLog, "after"};
  self.Handle = BASS_ChannelSetDSP(FStream, once, &self, 49);
  ASSERT_NE(BASS_ChannelSetDSP(FStream, LogDSP, &after, 49), 0u);
  EXPECT_EQ(ProcessAndLog(), (std::vector<std::string>{"after"}));
  EXPECT_EQ(ProcessAndLog(), (std::vector<std::string>{"after"}));
  EXPECT_EQ(self.Calls, 1);
}

} // namespace
