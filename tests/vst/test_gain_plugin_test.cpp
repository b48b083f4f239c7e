// The bridge with our own test plug-in (vexmo_testgain.so): the records the program reads at fixed
// byte offsets, parameters, audio through a real stream of the audio engine, handles and the
// plug-in files the bridge must turn down.
#include "vst_bridge.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

class VstTestGain : public ::testing::Test
{
protected:
  void SetUp() override
  {
    ASSERT_TRUE(B.Bound) << B.Error;
    ASSERT_TRUE(QFile::exists(TestGainPath())) << TestGainPath().toStdString();
  }

  void TearDown() override
  {
    for (const auto& [Channel, Handle] : FLoaded)
      B.ChannelRemoveDSP(Channel, Handle);
    for (HSTREAM Stream : FStreams)
      BASS_StreamFree(Stream);
  }

  HSTREAM MakeStream(DWORD AChans, DWORD AFreq = 44100)
  {
    const HSTREAM Stream = BASS_StreamCreate(AFreq, AChans, BASS_STREAM_DECODE, nullptr, nullptr);
    EXPECT_NE(Stream, 0u);
    FStreams.push_back(Stream);
    return Stream;
  }

  // Loads the test plug-in and removes it again after the test.
  DWORD LoadGain(DWORD AChannel)
  {
    const DWORD Handle = B.Load(AChannel, TestGainPath());
    EXPECT_NE(Handle, 0u);
    if (Handle)
      FLoaded.emplace_back(AChannel, Handle);
    return Handle;
  }

  void Forget(DWORD AHandle)
  {
    std::erase_if(FLoaded, [&](const auto& Entry) { return Entry.second == AHandle; });
  }

  const TVstBridge& B = TVstBridge::Get();
  std::vector<HSTREAM> FStreams;
  std::vector<std::pair<DWORD, DWORD>> FLoaded;
};

// Fills AFrames frames of AChans channels, channel c at level ALevels[c].
std::vector<float> ConstantBlock(size_t AFrames, const std::vector<float>& ALevels)
{
  std::vector<float> Samples(AFrames * ALevels.size());
  for (size_t f = 0; f < AFrames; ++f)
    for (size_t c = 0; c < ALevels.size(); ++c)
      Samples[f * ALevels.size() + c] = ALevels[c] * std::sin(0.05f * static_cast<float>(f + 1));
  return Samples;
}

// Ratio of processed to original level of channel AChannel, over the whole block.
double Ratio(const std::vector<float>& AOut, const std::vector<float>& AIn, size_t AChans,
             size_t AChannel)
{
  double Out = 0;
  double In = 0;
  for (size_t i = AChannel; i < AIn.size(); i += AChans) {
    Out += std::fabs(AOut[i]);
    In += std::fabs(AIn[i]);
  }
  return Out / In;
}

std::vector<float> Process(HSTREAM AStream, std::vector<float> ASamples)
{
  const DWORD Bytes = static_cast<DWORD>(ASamples.size() * sizeof(float));
  EXPECT_EQ(BASS_ChannelProcess(AStream, ASamples.data(), Bytes), Bytes);
  return ASamples;
}

std::string Text(const unsigned char* ARecord, size_t AOffset, size_t AMax)
{
  const char* Start = reinterpret_cast<const char*>(ARecord + AOffset);
  return std::string(Start, strnlen(Start, AMax));
}

uint32_t Word(const unsigned char* ARecord, size_t AOffset)
{
  uint32_t Value;
  std::memcpy(&Value, ARecord + AOffset, sizeof(Value));
  return Value;
}

} // namespace

TEST_F(VstTestGain, InfoRecordHasNamesAndEditorAtTheirOffsets)
{
  const DWORD Handle = LoadGain(0);
  // A byte buffer, read at the offsets the program uses; the guard bytes after the 288 of the
  // record must stay untouched.
  unsigned char Record[288 + 32];
  std::memset(Record, 0xAB, sizeof(Record));
  ASSERT_TRUE(B.GetInfo(Handle, reinterpret_cast<BASS_VST_INFO*>(Record)));
  EXPECT_EQ(Text(Record, 8, 80), "Vexmo Test Gain");
  EXPECT_EQ(Text(Record, 180, 80), "Vexmo");
  EXPECT_EQ(Word(Record, 276), 1u);
  // Editors often build their user interface to tell their size, which needs a display; without
  // one the size stays unknown rather than risking the plug-in.
  const bool Display = HaveXDisplay();
  EXPECT_EQ(Word(Record, 280), Display ? 320u : 0u);
  EXPECT_EQ(Word(Record, 284), Display ? 200u : 0u);
  for (size_t i = 288; i < sizeof(Record); ++i)
    ASSERT_EQ(Record[i], 0xAB) << "written past the record at byte " << i;

  const auto* Info = reinterpret_cast<const BASS_VST_INFO*>(Record);
  EXPECT_EQ(Info->params, 3u);
  EXPECT_EQ(Info->inputs, 2u);
  EXPECT_EQ(Info->outputs, 2u);
  EXPECT_EQ(Info->chans, 0u);
  EXPECT_EQ(Info->uniqueID, static_cast<DWORD>(('V' << 24) | ('x' << 16) | ('T' << 8) | 'g'));
}

TEST_F(VstTestGain, ParametersHaveNamesUnitsAndDisplayTexts)
{
  const DWORD Handle = LoadGain(0);
  ASSERT_EQ(B.GetParamCount(Handle), 3);

  struct TCase
  {
    const char* Name;
    const char* Unit;
    float Default;
    const char* DefaultText;
  };
  const TCase Cases[] = {
      {"Gain", "dB", 0.5f, "0.0"}, {"Pan", "", 0.5f, "C"}, {"Mix", "%", 1.0f, "100"}};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(Cases[i].Name);
    unsigned char Record[48 + 16];
    std::memset(Record, 0xAB, sizeof(Record));
    ASSERT_TRUE(B.GetParamInfo(Handle, i, reinterpret_cast<BASS_VST_PARAM_INFO*>(Record)));
    EXPECT_EQ(Text(Record, 0, 16), Cases[i].Name);
    EXPECT_EQ(Text(Record, 16, 16), Cases[i].Unit);
    EXPECT_EQ(Text(Record, 32, 16), Cases[i].DefaultText);
    for (size_t k = 48; k < sizeof(Record); ++k)
      ASSERT_EQ(Record[k], 0xAB) << "written past the record at byte " << k;
    EXPECT_FLOAT_EQ(B.GetParam(Handle, i), Cases[i].Default);
  }

  BASS_VST_PARAM_INFO Info{};
  EXPECT_FALSE(B.GetParamInfo(Handle, 3, &Info));
  EXPECT_FALSE(B.GetParamInfo(Handle, -1, &Info));
  EXPECT_FALSE(B.SetParam(Handle, 3, 0.5f));
  EXPECT_EQ(B.GetParam(Handle, 3), 0.0f);
}

TEST_F(VstTestGain, SetParamChangesValueAndDisplayClampedToTheNormalRange)
{
  const DWORD Handle = LoadGain(0);
  struct TCase
  {
    int Index;
    float Sent;
    float Stored;
    const char* Display;
  };
  const TCase Cases[] = {
      {0, 1.0f, 1.0f, "24.0"},   {0, 0.75f, 0.75f, "12.0"}, {0, 0.0f, 0.0f, "-24.0"},
      {0, -1.0f, 0.0f, "-24.0"}, // the parameter window's left end
      {0, 7.5f, 1.0f, "24.0"},   {1, 0.0f, 0.0f, "L100"},   {1, 0.75f, 0.75f, "R50"},
      {2, 0.25f, 0.25f, "25"},   {2, NAN, 0.0f, "0"},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(testing::Message() << "param " << Case.Index << " <- " << Case.Sent);
    ASSERT_TRUE(B.SetParam(Handle, Case.Index, Case.Sent));
    EXPECT_FLOAT_EQ(B.GetParam(Handle, Case.Index), Case.Stored);
    BASS_VST_PARAM_INFO Info{};
    ASSERT_TRUE(B.GetParamInfo(Handle, Case.Index, &Info));
    EXPECT_STREQ(Info.display, Case.Display);
  }
}

TEST_F(VstTestGain, TwoInstancesHaveTheirOwnHandlesAndParameters)
{
  const DWORD First = LoadGain(0);
  const DWORD Second = LoadGain(0);
  ASSERT_NE(First, Second);
  B.SetParam(First, 0, 0.9f);
  EXPECT_FLOAT_EQ(B.GetParam(First, 0), 0.9f);
  EXPECT_FLOAT_EQ(B.GetParam(Second, 0), 0.5f);

  // A freed handle is dead for good, and the next instance gets a new one.
  ASSERT_TRUE(B.ChannelRemoveDSP(0, First));
  Forget(First);
  EXPECT_EQ(B.GetParamCount(First), 0);
  EXPECT_FALSE(B.ChannelRemoveDSP(0, First));
  const DWORD Third = LoadGain(0);
  EXPECT_NE(Third, First);
  EXPECT_NE(Third, Second);
}

TEST_F(VstTestGain, ProcessingFollowsGainPanAndMix)
{
  struct TCase
  {
    const char* Name;
    float Gain, Pan, Mix;
    double Left, Right; // expected level ratios
  };
  const auto Db = [](double ADb) { return std::pow(10.0, ADb / 20.0); };
  const TCase Cases[] = {
      {"unity", 0.5f, 0.5f, 1.0f, 1.0, 1.0},
      {"+12 dB", 0.75f, 0.5f, 1.0f, Db(12), Db(12)},
      {"-24 dB", 0.0f, 0.5f, 1.0f, Db(-24), Db(-24)},
      {"full left", 0.5f, 0.0f, 1.0f, 1.0, 0.0},
      {"half right", 0.5f, 0.75f, 1.0f, 0.5, 1.0},
      {"dry", 1.0f, 0.5f, 0.0f, 1.0, 1.0},
      {"half wet +24 dB", 1.0f, 0.5f, 0.5f, 0.5 + 0.5 * Db(24), 0.5 + 0.5 * Db(24)},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    const HSTREAM Stream = MakeStream(2);
    const DWORD Handle = LoadGain(Stream);
    ASSERT_NE(Handle, 0u);
    B.SetParam(Handle, 0, Case.Gain);
    B.SetParam(Handle, 1, Case.Pan);
    B.SetParam(Handle, 2, Case.Mix);
    // Longer than one plug-in block, so the bridge's splitting is covered too.
    const auto In = ConstantBlock(3000, {0.25f, 0.125f});
    const auto Out = Process(Stream, In);
    EXPECT_NEAR(Ratio(Out, In, 2, 0), Case.Left, 1e-4);
    EXPECT_NEAR(Ratio(Out, In, 2, 1), Case.Right, 1e-4);
  }
}

TEST_F(VstTestGain, MonoChannelFeedsBothInputsAndGetsTheirMix)
{
  const HSTREAM Stream = MakeStream(1, 22050);
  const DWORD Handle = LoadGain(Stream);
  ASSERT_NE(Handle, 0u);
  BASS_VST_INFO Info{};
  ASSERT_TRUE(B.GetInfo(Handle, &Info));
  EXPECT_EQ(Info.chans, 1u);

  B.SetParam(Handle, 0, 0.75f);
  const auto In = ConstantBlock(500, {0.5f});
  EXPECT_NEAR(Ratio(Process(Stream, In), In, 1, 0), std::pow(10.0, 12.0 / 20.0), 1e-4);
  // Full left: the right output is silent, so the mono channel gets half of the left one.
  B.SetParam(Handle, 0, 0.5f);
  B.SetParam(Handle, 1, 0.0f);
  EXPECT_NEAR(Ratio(Process(Stream, In), In, 1, 0), 0.5, 1e-4);
}

TEST_F(VstTestGain, ChannelsBeyondThePluginsOutputsPassUnchanged)
{
  const HSTREAM Stream = MakeStream(4);
  const DWORD Handle = LoadGain(Stream);
  ASSERT_NE(Handle, 0u);
  B.SetParam(Handle, 0, 0.0f);
  const auto In = ConstantBlock(256, {0.1f, 0.2f, 0.3f, 0.4f});
  const auto Out = Process(Stream, In);
  EXPECT_NEAR(Ratio(Out, In, 4, 0), std::pow(10.0, -24.0 / 20.0), 1e-4);
  EXPECT_NEAR(Ratio(Out, In, 4, 1), std::pow(10.0, -24.0 / 20.0), 1e-4);
  EXPECT_EQ(Ratio(Out, In, 4, 2), 1.0);
  EXPECT_EQ(Ratio(Out, In, 4, 3), 1.0);
}

TEST_F(VstTestGain, RemovingDetachesOnlyFromTheChannelItWasAttachedTo)
{
  const HSTREAM Stream = MakeStream(2);
  const HSTREAM Other = MakeStream(2);
  const DWORD Handle = LoadGain(Stream);
  ASSERT_NE(Handle, 0u);
  B.SetParam(Handle, 0, 0.0f);
  const auto In = ConstantBlock(128, {0.5f, 0.5f});

  EXPECT_FALSE(B.ChannelRemoveDSP(Other, Handle));
  EXPECT_FALSE(B.ChannelRemoveDSP(0, Handle));
  EXPECT_LT(Ratio(Process(Stream, In), In, 2, 0), 0.1) << "still attached after a wrong remove";

  EXPECT_TRUE(B.ChannelRemoveDSP(Stream, Handle));
  Forget(Handle);
  EXPECT_EQ(Process(Stream, In), In);
  EXPECT_FALSE(B.ChannelRemoveDSP(Stream, Handle));
}

TEST_F(VstTestGain, InstanceOutlivesItsFreedStream)
{
  const HSTREAM Stream = MakeStream(2);
  const DWORD Handle = LoadGain(Stream);
  ASSERT_NE(Handle, 0u);
  ASSERT_TRUE(BASS_StreamFree(Stream));
  // The parameters stay usable, and removing it afterwards still frees it.
  EXPECT_EQ(B.GetParamCount(Handle), 3);
  EXPECT_TRUE(B.ChannelRemoveDSP(Stream, Handle));
  Forget(Handle);
  EXPECT_EQ(B.GetParamCount(Handle), 0);
}

TEST_F(VstTestGain, TwoInstancesOnOneChannelBothProcess)
{
  const HSTREAM Stream = MakeStream(2);
  const DWORD First = B.Load(Stream, TestGainPath(), 10);
  const DWORD Second = B.Load(Stream, TestGainPath(), 20);
  ASSERT_NE(First, 0u);
  ASSERT_NE(Second, 0u);
  FLoaded.emplace_back(Stream, First);
  FLoaded.emplace_back(Stream, Second);
  B.SetParam(First, 0, 0.75f);   // +12 dB
  B.SetParam(Second, 0, 0.375f); // -6 dB
  const auto In = ConstantBlock(256, {0.5f, 0.5f});
  EXPECT_NEAR(Ratio(Process(Stream, In), In, 2, 0), std::pow(10.0, 6.0 / 20.0), 1e-4);
}

TEST_F(VstTestGain, ParameterChangesWhileAudioRunsOnAnotherThread)
{
  const HSTREAM Stream = MakeStream(2);
  const DWORD Handle = LoadGain(Stream);
  ASSERT_NE(Handle, 0u);
  std::atomic<bool> Stop{false};
  std::atomic<int> Blocks{0};
  std::atomic<bool> Bad{false};
  std::thread Audio([&] {
    const auto Block = ConstantBlock(2048, {0.5f, 0.5f});
    while (!Stop) {
      auto Out = Block;
      BASS_ChannelProcess(Stream, Out.data(), static_cast<DWORD>(Out.size() * sizeof(float)));
      // Whatever the settings, a sample never leaves the plug-in's range (+24 dB at most).
      for (float Sample : Out)
        if (!std::isfinite(Sample) || std::fabs(Sample) > 0.5f * 15.85f + 1e-3f)
          Bad = true;
      ++Blocks;
    }
  });
  // Both sides do a fair amount of work at the same time, however the threads are scheduled.
  for (int i = 0; i < 3000 || Blocks < 300; ++i) {
    B.SetParam(Handle, i % 3, static_cast<float>(i % 101) / 100.0f);
    BASS_VST_PARAM_INFO Info{};
    B.GetParamInfo(Handle, i % 3, &Info);
    B.GetParam(Handle, i % 3);
  }
  B.SetParam(Handle, 0, 0.0f);
  B.SetParam(Handle, 1, 0.5f);
  B.SetParam(Handle, 2, 1.0f);
  Stop = true;
  Audio.join();
  EXPECT_FALSE(Bad);
  const auto In = ConstantBlock(256, {0.5f, 0.5f});
  EXPECT_NEAR(Ratio(Process(Stream, In), In, 2, 0), std::pow(10.0, -24.0 / 20.0), 1e-4);
}

TEST_F(VstTestGain, PathsAsUtf16AndAsUtf8)
{
  QTemporaryDir Dir;
  ASSERT_TRUE(Dir.isValid());
  const QString Folder = Dir.filePath(QStringLiteral("Plug-ins Ünïcødé €𝄞"));
  ASSERT_TRUE(QDir().mkpath(Folder));
  const QString Copy = Folder + QStringLiteral("/gain ñ.so");
  ASSERT_TRUE(QFile::copy(TestGainPath(), Copy));

  const DWORD Wide = B.Load(0, Copy);
  EXPECT_NE(Wide, 0u);
  const QByteArray Utf8 = Copy.toUtf8();
  const DWORD Narrow = B.ChannelSetDSP(0, Utf8.constData(), 0, 49);
  EXPECT_NE(Narrow, 0u);
  for (DWORD Handle : {Wide, Narrow}) {
    if (Handle)
      FLoaded.emplace_back(0, Handle);
  }

  // The same name read as 8-bit text with the UTF-16 flag, or the other way round, names no file.
  EXPECT_EQ(B.ChannelSetDSP(0, Utf8.constData(), BASS_UNICODE, 49), 0u);
  EXPECT_EQ(B.ChannelSetDSP(0, Copy.utf16(), 0, 49), 0u);
}

TEST_F(VstTestGain, FilesThatAreNoUsablePluginGiveZero)
{
  QTemporaryDir Dir;
  ASSERT_TRUE(Dir.isValid());
  QFile Text(Dir.filePath("readme.so"));
  ASSERT_TRUE(Text.open(QIODevice::WriteOnly));
  Text.write("not an ELF file\n");
  Text.close();

  const QString Cases[] = {
      BrokenPluginPath("notavst"),   // a library without an entry point
      BrokenPluginPath("nullentry"), // the entry point returns nothing
      BrokenPluginPath("badmagic"),  // the entry point returns a record without the magic
      BrokenPluginPath("throws"),    // the entry point throws
      Dir.filePath("readme.so"),     // not a library
      Dir.filePath("missing.so"),    // no file
      Dir.path(),                    // a folder
      QString(),                     // an empty name
  };
  for (const QString& Path : Cases) {
    SCOPED_TRACE(Path.toStdString());
    if (Path.startsWith(QStringLiteral(VEXMO_VST_FIXTURES_DIR))) {
      ASSERT_TRUE(QFile::exists(Path));
    }
    EXPECT_EQ(B.Load(0, Path), 0u);
    const HSTREAM Stream = MakeStream(2);
    EXPECT_EQ(B.Load(Stream, Path), 0u);
  }
  EXPECT_EQ(B.ChannelSetDSP(0, nullptr, BASS_UNICODE, 49), 0u);
}

TEST_F(VstTestGain, UnknownChannelOrHandleIsRefused)
{
  EXPECT_EQ(B.Load(0x7fff1234, TestGainPath()), 0u);

  const DWORD Unknown = 0x7fff4321;
  BASS_VST_INFO Info;
  std::memset(&Info, 0xAB, sizeof(Info));
  EXPECT_FALSE(B.GetInfo(Unknown, &Info));
  EXPECT_EQ(reinterpret_cast<unsigned char*>(&Info)[8], 0xAB) << "record touched on failure";
  BASS_VST_PARAM_INFO ParamInfo{};
  EXPECT_FALSE(B.GetParamInfo(Unknown, 0, &ParamInfo));
  EXPECT_EQ(B.GetParamCount(Unknown), 0);
  EXPECT_EQ(B.GetParam(Unknown, 0), 0.0f);
  EXPECT_FALSE(B.SetParam(Unknown, 0, 0.5f));
  EXPECT_FALSE(B.EmbedEditor(Unknown, 0));
  EXPECT_FALSE(B.ChannelRemoveDSP(0, Unknown));
  EXPECT_FALSE(B.ChannelRemoveDSP(0, 0));
}

TEST_F(VstTestGain, EditorIsRefusedWithoutDisplay)
{
  if (HaveXDisplay())
    GTEST_SKIP() << "an X display is available; the VstEditor tests cover embedding";
  const DWORD Handle = LoadGain(0);
  EXPECT_FALSE(B.EmbedEditor(Handle, 0x400001));
  EXPECT_TRUE(B.EmbedEditor(Handle, 0));
}
