// The bridge with real VST2 plug-ins nobody here wrote: Debian's dpf-plugins-vst in /usr/lib/vst,
// which export only "main". Skipped where the package is not installed.
#include "vst_bridge.h"

#include <QDir>
#include <QFileInfo>
#include <cmath>
#include <gtest/gtest.h>
#include <set>
#include <vector>

namespace {

const QString SystemFolder = QStringLiteral("/usr/lib/vst/");

class VstSystemPlugins : public ::testing::Test
{
protected:
  void SetUp() override
  {
    ASSERT_TRUE(B.Bound) << B.Error;
    if (!QFileInfo::exists(SystemFolder + "MaFreeverb-vst.so"))
      GTEST_SKIP()
          << "Debian's dpf-plugins-vst is not installed (no /usr/lib/vst/MaFreeverb-vst.so)";
    FStream = BASS_StreamCreate(44100, 2, BASS_STREAM_DECODE, nullptr, nullptr);
    ASSERT_NE(FStream, 0u);
  }

  void TearDown() override
  {
    for (const auto& [Channel, Handle] : FLoaded)
      B.ChannelRemoveDSP(Channel, Handle);
    if (FStream)
      BASS_StreamFree(FStream);
  }

  DWORD Load(DWORD AChannel, const QString& AFile)
  {
    const DWORD Handle = B.Load(AChannel, SystemFolder + AFile);
    if (Handle)
      FLoaded.emplace_back(AChannel, Handle);
    return Handle;
  }

  std::vector<float> Process(std::vector<float> ASamples)
  {
    const DWORD Bytes = static_cast<DWORD>(ASamples.size() * sizeof(float));
    EXPECT_EQ(BASS_ChannelProcess(FStream, ASamples.data(), Bytes), Bytes);
    return ASamples;
  }

  const TVstBridge& B = TVstBridge::Get();
  HSTREAM FStream = 0;
  std::vector<std::pair<DWORD, DWORD>> FLoaded;
};

std::vector<float> Sine(size_t AFrames, float ALevel)
{
  std::vector<float> Samples(AFrames * 2);
  for (size_t f = 0; f < AFrames; ++f)
    Samples[2 * f] = Samples[2 * f + 1] = ALevel * std::sin(0.031f * static_cast<float>(f));
  return Samples;
}

bool AllFinite(const std::vector<float>& ASamples)
{
  for (float Sample : ASamples)
    if (!std::isfinite(Sample))
      return false;
  return true;
}

double Energy(const std::vector<float>& ASamples)
{
  double Sum = 0;
  for (float Sample : ASamples)
    Sum += static_cast<double>(Sample) * Sample;
  return Sum;
}

} // namespace

TEST_F(VstSystemPlugins, ReportNamesParametersAndEditorFlag)
{
  struct TCase
  {
    const char* File;
    const char* Effect;
    const char* Vendor;
    int Params;
    const char* FirstParam;
    DWORD HasEditor;
  };
  const TCase Cases[] = {
      {"MaFreeverb-vst.so", "MaFreeverb", "DISTRHO", 4, "fb2", 0},
      {"Kars-vst.so", "Kars", "falkTX", 3, "Sustain", 0},
      {"MaBitcrush-vst.so", "MaBitcrush", "DISTRHO", 1, "resolution", 0},
      {"MaGigaverb-vst.so", "MaGigaverb", "DISTRHO", 8, "damping", 0},
      {"3BandEQ-vst.so", "3 Band EQ", "DISTRHO", 6, "Low", 1},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.File);
    if (!QFileInfo::exists(SystemFolder + Case.File)) {
      ADD_FAILURE() << "missing from the installed package";
      continue;
    }
    // Once for editing only and once attached, as the program's probe does.
    for (DWORD Channel : {DWORD(0), FStream}) {
      const DWORD Handle = Load(Channel, Case.File);
      ASSERT_NE(Handle, 0u);
      BASS_VST_INFO Info{};
      ASSERT_TRUE(B.GetInfo(Handle, &Info));
      EXPECT_STREQ(Info.effectName, Case.Effect);
      EXPECT_STREQ(Info.vendorName, Case.Vendor);
      EXPECT_EQ(Info.hasEditor, Case.HasEditor);
      if (Case.HasEditor && HaveXDisplay()) {
        EXPECT_GT(Info.editorWidth, 0u);
        EXPECT_GT(Info.editorHeight, 0u);
      }
      ASSERT_EQ(B.GetParamCount(Handle), Case.Params);
      for (int i = 0; i < Case.Params; ++i) {
        BASS_VST_PARAM_INFO Param{};
        ASSERT_TRUE(B.GetParamInfo(Handle, i, &Param)) << "parameter " << i;
        EXPECT_GT(strlen(Param.name), 0u) << "parameter " << i;
        EXPECT_GT(strlen(Param.display), 0u) << "parameter " << i;
      }
      BASS_VST_PARAM_INFO First{};
      B.GetParamInfo(Handle, 0, &First);
      EXPECT_STREQ(First.name, Case.FirstParam);
    }
  }
}

TEST_F(VstSystemPlugins, SetParamReachesThePlugin)
{
  const DWORD Handle = Load(0, QStringLiteral("MaBitcrush-vst.so"));
  ASSERT_NE(Handle, 0u);
  BASS_VST_PARAM_INFO Info{};
  ASSERT_TRUE(B.GetParamInfo(Handle, 0, &Info));
  EXPECT_STREQ(Info.unit, "bits");
  const std::string Before = Info.display;

  ASSERT_TRUE(B.SetParam(Handle, 0, 1.0f));
  EXPECT_FLOAT_EQ(B.GetParam(Handle, 0), 1.0f);
  ASSERT_TRUE(B.GetParamInfo(Handle, 0, &Info));
  EXPECT_NE(Info.display, Before);
  EXPECT_EQ(std::atof(Info.display), 16.0) << Info.display;
}

TEST_F(VstSystemPlugins, ReverbLeavesATailAfterAnImpulse)
{
  const DWORD Handle = Load(FStream, QStringLiteral("MaFreeverb-vst.so"));
  ASSERT_NE(Handle, 0u);
  std::vector<float> Impulse(4096 * 2, 0.0f);
  Impulse[0] = Impulse[1] = 1.0f;
  const auto First = Process(Impulse);
  const auto Tail = Process(std::vector<float>(4096 * 2, 0.0f));
  EXPECT_TRUE(AllFinite(First));
  EXPECT_TRUE(AllFinite(Tail));
  EXPECT_GT(Energy(Tail), 1e-6) << "silence in, silence out: the plug-in did not run";
  // Mono plug-in on a stereo channel: both channels carry its one output.
  for (size_t i = 0; i < Tail.size(); i += 2)
    ASSERT_EQ(Tail[i], Tail[i + 1]);
}

TEST_F(VstSystemPlugins, BitcrusherQuantisesTheSignal)
{
  const DWORD Handle = Load(FStream, QStringLiteral("MaBitcrush-vst.so"));
  ASSERT_NE(Handle, 0u);
  B.SetParam(Handle, 0, 0.0f); // the fewest bits
  const auto In = Sine(8192, 0.8f);
  const auto Out = Process(In);
  ASSERT_TRUE(AllFinite(Out));
  EXPECT_GT(Energy(Out), 0.0);
  const std::set<float> InLevels(In.begin(), In.end());
  const std::set<float> OutLevels(Out.begin(), Out.end());
  EXPECT_GT(InLevels.size(), 1000u);
  EXPECT_LE(OutLevels.size(), 8u);
}

TEST_F(VstSystemPlugins, EveryInstalledPluginSurvivesTheProbe)
{
  // What the program does with each file of the folder: attach to a probe stream at priority 1,
  // read the information, process a little, detach.
  const QStringList Files = QDir(SystemFolder).entryList({QStringLiteral("*.so")}, QDir::Files);
  ASSERT_FALSE(Files.isEmpty());
  for (const QString& File : Files) {
    SCOPED_TRACE(File.toStdString());
    const DWORD Handle = B.Load(FStream, SystemFolder + File, 1);
    ASSERT_NE(Handle, 0u);
    BASS_VST_INFO Info{};
    ASSERT_TRUE(B.GetInfo(Handle, &Info));
    EXPECT_GT(strlen(Info.effectName), 0u);
    EXPECT_GT(strlen(Info.vendorName), 0u);
    EXPECT_GT(B.GetParamCount(Handle), 0);
    EXPECT_TRUE(AllFinite(Process(Sine(3000, 0.5f))));
    EXPECT_TRUE(B.ChannelRemoveDSP(FStream, Handle));
  }
}
