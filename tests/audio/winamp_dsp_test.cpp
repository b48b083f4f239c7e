// Winamp DSP hosting with the sample plug-ins of the program folder.
#include "bass.h"
#include "bass_wadsp.h"
#include "signal_helpers.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace vexmo::audio::test;

namespace {

const std::string PluginFolder = std::string(VEXMO_BIN_DIR) + "Plugins/";

class TWinampDSPTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    ASSERT_TRUE(BASS_WADSP_Init(nullptr));
    FStream = BASS_StreamCreate(SampleRate, 2, BASS_STREAM_DECODE, nullptr, nullptr);
    ASSERT_NE(FStream, 0u);
  }
  void TearDown() override
  {
    BASS_WADSP_Free();
    BASS_StreamFree(FStream);
  }

  HWADSP LoadSample(const char* AFile)
  {
    return BASS_WADSP_Load((PluginFolder + AFile).c_str(), 0, 0, 10, 10, nullptr);
  }

  HSTREAM FStream = 0;
};

TEST_F(TWinampDSPTest, EchoRepeatsAnImpulse300msLater)
{
  const HWADSP echo = LoadSample("dsp_echo.so");
  ASSERT_NE(echo, 0u) << "error " << BASS_ErrorGetCode();
  EXPECT_STREQ(BASS_WADSP_GetName(echo), "Echo");
  ASSERT_TRUE(BASS_WADSP_Start(echo, 0, 0));
  ASSERT_NE(BASS_WADSP_ChannelSetDSP(echo, FStream, 49), 0u);

  std::vector<float> samples(SampleRate / 2 * 2, 0.0f);
  samples[0] = samples[1] = 0.5f;
  ASSERT_TRUE(ProcessInChunks(FStream, samples, 2));
  const size_t echoFrame = SampleRate * 300 / 1000;
  EXPECT_NEAR(samples[0], 0.5f, 1.0f / 32768);
  EXPECT_NEAR(samples[echoFrame * 2], 0.25f, 2.0f / 32768);
  EXPECT_NEAR(samples[echoFrame * 2 + 1], 0.25f, 2.0f / 32768);
  // Silence elsewhere.
  float elsewhere = 0;
  for (size_t i = 1; i < samples.size() / 2; ++i)
    if (i != echoFrame)
      elsewhere = std::max(elsewhere, std::fabs(samples[i * 2]));
  EXPECT_EQ(elsewhere, 0.0f);
}

TEST_F(TWinampDSPTest, StoppedOrDetachedPluginLeavesSamplesAlone)
{
  const HWADSP echo = LoadSample("dsp_echo.so");
  ASSERT_NE(echo, 0u);
  // Attached but never started: samples pass bit for bit (no 16-bit round trip).
  ASSERT_NE(BASS_WADSP_ChannelSetDSP(echo, FStream, 49), 0u);
  std::vector<float> samples = Sine(440, 0.3, 8192);
  const std::vector<float> original = samples;
  ASSERT_TRUE(ProcessInChunks(FStream, samples, 2));
  EXPECT_EQ(samples, original);

  ASSERT_TRUE(BASS_WADSP_Start(echo, 0, 0));
  ASSERT_TRUE(ProcessInChunks(FStream, samples, 2));
  EXPECT_NE(samples, original);

  // What the chain manager does when the stage is switched off.
  ASSERT_TRUE(BASS_WADSP_ChannelRemoveDSP(echo));
  ASSERT_TRUE(BASS_WADSP_Stop(echo));
  samples = original;
  ASSERT_TRUE(ProcessInChunks(FStream, samples, 2));
  EXPECT_EQ(samples, original);
  EXPECT_FALSE(BASS_WADSP_ChannelRemoveDSP(echo));
}

TEST_F(TWinampDSPTest, TremoloSwingsBetweenFullAndHalfLevelAndClipsAtFullScale)
{
  const HWADSP tremolo = LoadSample("dsp_tremolo.so");
  ASSERT_NE(tremolo, 0u);
  EXPECT_STREQ(BASS_WADSP_GetName(tremolo), "Tremolo");
  ASSERT_TRUE(BASS_WADSP_Start(tremolo, 0, 0));
  ASSERT_NE(BASS_WADSP_ChannelSetDSP(tremolo, FStream, 49), 0u);

  std::vector<float> samples(SampleRate * 2, 0.5f);
  samples[1] = 1.5f; // beyond full scale on the way to 16 bits
  ASSERT_TRUE(ProcessInChunks(FStream, samples, 2));
  EXPECT_NEAR(samples[1], 32767.0f / 32768, 1.0f / 32768);
  const auto [low, high] = std::minmax_element(samples.begin() + 2, samples.end());
  EXPECT_NEAR(*high, 0.5f, 1.0f / 1000);
  EXPECT_NEAR(*low, 0.25f, 1.0f / 1000);
}

TEST_F(TWinampDSPTest, OnlyWinampDSPPluginsLoad)
{
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString fake = dir.filePath("dsp_fake.so");
  QFile file(fake);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("not a library");
  file.close();

  const struct
  {
    const char* What;
    std::string Path;
    int Error;
  } cases[] = {
      {"a library that is no plug-in", std::string(VEXMO_BIN_DIR) + "libvexmo_audio.so",
       BASS_ERROR_FILEFORM},
      {"a text file", fake.toStdString(), BASS_ERROR_FILEFORM},
      {"a missing file", PluginFolder + "dsp_missing.so", BASS_ERROR_FILEOPEN},
      {"a folder", PluginFolder, BASS_ERROR_FILEOPEN},
      {"an empty path", "", BASS_ERROR_FILEOPEN},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(BASS_WADSP_Load(c.Path.c_str(), 0, 0, 10, 10, nullptr), 0u) << c.What;
    EXPECT_EQ(BASS_ErrorGetCode(), c.Error) << c.What;
  }
  EXPECT_EQ(BASS_WADSP_Load(nullptr, 0, 0, 10, 10, nullptr), 0u);

  // One file loaded twice would share one module's state behind two handles.
  ASSERT_NE(LoadSample("dsp_echo.so"), 0u);
  EXPECT_EQ(LoadSample("dsp_echo.so"), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ALREADY);
}

TEST_F(TWinampDSPTest, ChannelZeroIsRefusedAndAttachmentMoves)
{
  const HWADSP echo = LoadSample("dsp_echo.so");
  ASSERT_TRUE(BASS_WADSP_Start(echo, 0, 0));
  EXPECT_EQ(BASS_WADSP_ChannelSetDSP(echo, 0, 49), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);

  const HSTREAM other = BASS_StreamCreate(SampleRate, 2, 0, nullptr, nullptr);
  ASSERT_NE(BASS_WADSP_ChannelSetDSP(echo, FStream, 49), 0u);
  ASSERT_NE(BASS_WADSP_ChannelSetDSP(echo, other, 49), 0u);
  std::vector<float> samples = Sine(440, 0.3, 20000);
  const std::vector<float> original = samples;
  ASSERT_TRUE(ProcessInChunks(FStream, samples, 2));
  EXPECT_EQ(samples, original) << "still attached to the first stream";
  ASSERT_TRUE(ProcessInChunks(other, samples, 2));
  EXPECT_NE(samples, original);

  // Freeing the stream takes the attachment with it.
  ASSERT_TRUE(BASS_StreamFree(other));
  EXPECT_TRUE(BASS_WADSP_ChannelRemoveDSP(echo));
}

TEST_F(TWinampDSPTest, TitlesConfigAndFreeingAllPlugins)
{
  const HWADSP echo = LoadSample("dsp_echo.so");
  const HWADSP tremolo = LoadSample("dsp_tremolo.so");
  ASSERT_NE(echo, 0u);
  ASSERT_NE(tremolo, 0u);
  EXPECT_STREQ(BASS_WADSP_GetSongTitle(echo), "");
  ASSERT_TRUE(BASS_WADSP_SetSongTitle(echo, "Morning Show"));
  ASSERT_TRUE(BASS_WADSP_SetFileName(echo, "Morning Show"));
  EXPECT_STREQ(BASS_WADSP_GetSongTitle(echo), "Morning Show");
  EXPECT_STREQ(BASS_WADSP_GetFileName(echo), "Morning Show");
  EXPECT_STREQ(BASS_WADSP_GetSongTitle(tremolo), "");
  EXPECT_TRUE(BASS_WADSP_Config(echo));

  ASSERT_TRUE(BASS_WADSP_Start(echo, 0, 0));
  ASSERT_NE(BASS_WADSP_ChannelSetDSP(echo, FStream, 49), 0u);
  EXPECT_FALSE(BASS_WADSP_Start(tremolo, 1, 0)) << "the plug-in has one module";

  ASSERT_TRUE(BASS_WADSP_Free());
  for (HWADSP plugin : {echo, tremolo}) {
    EXPECT_EQ(BASS_WADSP_GetName(plugin), nullptr);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_FALSE(BASS_WADSP_Start(plugin, 0, 0));
    EXPECT_FALSE(BASS_WADSP_SetSongTitle(plugin, "x"));
  }
  // Detached from the stream while freeing; the plug-in can be loaded again.
  std::vector<float> samples = Sine(440, 0.3, 4096);
  const std::vector<float> original = samples;
  ASSERT_TRUE(ProcessInChunks(FStream, samples, 2));
  EXPECT_EQ(samples, original);
  EXPECT_NE(LoadSample("dsp_echo.so"), 0u);
}

} // namespace
