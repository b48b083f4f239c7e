// A Debian VST2 plug-in on a live recording channel: a private sound server's sine source is the
// microphone, the bit crusher must reach the samples the recording procedure gets.
#include "../audio/private_pulse.h"
#include "vst_bridge.h"

#include <QFileInfo>
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

using vexmo::audio::test::TPrivatePulse;

namespace {

struct TCollected
{
  std::mutex Lock;
  std::vector<float> Samples;
};

BOOL Collect(HRECORD, const void* ABuffer, DWORD ALength, void* AUser)
{
  auto* collected = static_cast<TCollected*>(AUser);
  const auto* samples = static_cast<const float*>(ABuffer);
  std::lock_guard lock(collected->Lock);
  collected->Samples.insert(collected->Samples.end(), samples, samples + ALength / sizeof(float));
  return TRUE;
}

TEST(VstLivePlugin, BitcrusherQuantisesTheMicrophone)
{
  const QString plugin = QStringLiteral("/usr/lib/vst/MaBitcrush-vst.so");
  if (!QFileInfo::exists(plugin))
    GTEST_SKIP() << "Debian's dpf-plugins-vst is not installed (no " << plugin.toStdString() << ")";
  TPrivatePulse pulse({"module-sine-source source_name=vmic frequency=1000 rate=48000"});
  if (!pulse.Start())
    GTEST_SKIP() << pulse.SkipReason();
  qputenv("PULSE_SERVER", pulse.Address());
  const TVstBridge& bridge = TVstBridge::Get();
  ASSERT_TRUE(bridge.Bound) << bridge.Error;

  BASS_RecordSetSource("vmic");
  ASSERT_TRUE(BASS_RecordInit(-1));
  TCollected collected;
  const HRECORD channel = BASS_RecordStart(48000, 2, 0, &Collect, &collected);
  ASSERT_NE(channel, 0u) << BASS_ErrorGetCode();
  const DWORD handle = bridge.Load(channel, plugin);
  ASSERT_NE(handle, 0u);
  bridge.SetParam(handle, 0, 0.0f); // the fewest bits
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  {
    std::lock_guard lock(collected.Lock);
    collected.Samples.clear();
  }
  // The test source hands its sound over in bursts: wait for half a second of it.
  for (int i = 0; i < 300; ++i) {
    {
      std::lock_guard lock(collected.Lock);
      if (collected.Samples.size() > 48000u)
        break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  bridge.ChannelRemoveDSP(channel, handle);
  BASS_ChannelFree(channel);
  BASS_RecordFree();
  qunsetenv("PULSE_SERVER");

  // The sine has hundreds of levels; crushed, a handful are left.
  ASSERT_GT(collected.Samples.size(), 48000u / 2);
  const std::set<float> levels(collected.Samples.begin(), collected.Samples.end());
  EXPECT_LE(levels.size(), 8u);
  EXPECT_GT(levels.size(), 1u);
}

} // namespace
