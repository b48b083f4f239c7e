// The built-in stages measured with sines pushed through a decoding stream, and the chain's
// order of processing.
#include "dsp/integrated_dsp.h"
#include "dsp_test_support.h"

#include "audio/bass_fx.h"

using namespace dsptest;

namespace {

class TEffectsTest : public TChainTest
{
protected:
  // The object the manager would create for the stage, attached to the stream and updated.
  TIntegratedDSPPtr Start(TDSPItemC* AItem, DWORD AChannel)
  {
    TIntegratedDSPPtr Object = IntegratedDSPClass(AItem->IntDSPKind())(AItem, AChannel);
    Object->SetDSP(true);
    Object->UpdateDSP();
    return Object;
  }

  // Level change in dB at AFrequency, measured after the filters have settled.
  double GainAt(double AFrequency)
  {
    std::vector<float> Samples = Sine(AFrequency, 0.25, SampleRate);
    const double Before = RmsDb(Samples, SampleRate / 2);
    Process(FStream, Samples);
    return RmsDb(Samples, SampleRate / 2) - Before;
  }
};

TEST_F(TEffectsTest, GainMultipliesEverySampleByItsClampedFactor)
{
  struct TCase
  {
    const char* Line;
    double ExpectedDb; // what the stage must apply
  };
  const TCase Cases[] = {
      {"0", 0},      {"6", 6},    {"-12.5", -12.5}, {"80", 50},
      {"-100", -60}, {"1E1", 10}, {"abc", 0},       {"nan", 0},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Line);
    TDSPItemC* Item = AddBuiltIn(dspGain, {QString::fromLatin1(Case.Line)});
    TIntegratedDSPPtr Gain = Start(Item, FStream);
    ASSERT_NE(Gain->HFX, 0u);
    const std::vector<float> In = Sine(440, 0.3, 4096);
    std::vector<float> Out = In;
    Process(FStream, Out);
    const double Factor = std::pow(10.0, Case.ExpectedDb / 20.0);
    for (size_t i = 0; i < In.size(); ++i)
      ASSERT_EQ(Out[i], static_cast<float>(In[i] * Factor)) << "sample " << i;
    if (Case.ExpectedDb == 0) {
      EXPECT_EQ(Out, In); // bit for bit
    }
    Gain.reset();
    FList.Delete(0);
  }
  // +6 dB is a factor of about 1.995.
  float Sample = 0.5f;
  TGainData Data;
  Data.Level = 6;
  GainDSPProc(0, 0, &Sample, sizeof(Sample), &Data);
  EXPECT_NEAR(Sample / 0.5f, 1.995, 0.001);
}

TEST_F(TEffectsTest, GainProcedureIgnoresShortBuffersAndMissingData)
{
  TGainData Data;
  Data.Level = 20;
  float Samples[2] = {0.25f, -0.5f};
  GainDSPProc(0, 0, Samples, 3, &Data);
  GainDSPProc(0, 0, Samples, sizeof(Samples), nullptr);
  EXPECT_EQ(Samples[0], 0.25f);
  EXPECT_EQ(Samples[1], -0.5f);
}

TEST_F(TEffectsTest, NewLevelTakesEffectFromTheNextBuffer)
{
  TDSPItemC* Item = AddBuiltIn(dspGain, {"0"});
  TIntegratedDSPPtr Gain = Start(Item, FStream);
  std::vector<float> First(256, 0.5f);
  Process(FStream, First);
  EXPECT_EQ(First.back(), 0.5f);
  Item->SetParams({"-6.0205999132796"}); // one half
  Gain->UpdateDSP();
  std::vector<float> Second(256, 0.5f);
  Process(FStream, Second);
  EXPECT_NEAR(Second.front(), 0.25f, 1e-6);
  // A list of the wrong length keeps the level.
  Item->SetParams({"0", "0"});
  Gain->UpdateDSP();
  EXPECT_NEAR(static_cast<TIntegratedDSPGain&>(*Gain).FData->Level.load(), -6.0206, 1e-4);
}

TEST_F(TEffectsTest, EqualizerBandsFollowParamsOnlyWithBandsNumLines)
{
  // Band 5 of the default layout is centred on 1000 Hz.
  QStringList Lines(10, QStringLiteral("0"));
  Lines[5] = QStringLiteral("6");
  TDSPItemC* Item = AddBuiltIn(dspEqualizer, Lines);
  TIntegratedDSPPtr Eq = Start(Item, FStream);
  ASSERT_NE(Eq->HFX, 0u);
  EXPECT_NEAR(GainAt(1000), 6.0, 0.5);

  BASS_BFX_PEAKEQ Band{};
  Band.lBand = 9;
  ASSERT_TRUE(BASS_FXGetParameters(Eq->HFX, &Band));
  EXPECT_EQ(Band.fCenter, 16000.0f);
  EXPECT_EQ(Band.fBandwidth, 2.5f);
  EXPECT_EQ(Band.fGain, 0.0f);
  Band.lBand = 10; // not in use
  EXPECT_FALSE(BASS_FXGetParameters(Eq->HFX, &Band));

  // Switching off and on starts flat; with one line too few it stays flat.
  Eq->SetDSP(false);
  EXPECT_EQ(Eq->HFX, 0u);
  Eq->SetDSP(true);
  Item->Params().removeLast();
  Eq->UpdateDSP();
  const std::vector<float> In = Sine(1000, 0.25, 8192);
  std::vector<float> Out = In;
  Process(FStream, Out);
  EXPECT_EQ(Out, In);

  // Ten lines after the layout went down to eight bands: flat as well.
  Item->Params().append(QStringLiteral("0"));
  FSettings.SetBandsNum(8);
  Eq->SetDSP(true);
  Eq->UpdateDSP();
  Out = In;
  Process(FStream, Out);
  EXPECT_EQ(Out, In);
}

TEST_F(TEffectsTest, EqualizerReadsWholeDecibelsAndNonNumbersAsZero)
{
  TDSPItemC* Item =
      AddBuiltIn(dspEqualizer, {"3", "-2", "x", "0", "0", "2.5", "0", "0", "0", "12"});
  TIntegratedDSPPtr Eq = Start(Item, FStream);
  const float Expected[] = {3, -2, 0, 0, 0, 0, 0, 0, 0, 12};
  for (int i = 0; i < 10; ++i) {
    BASS_BFX_PEAKEQ Band{};
    Band.lBand = i;
    ASSERT_TRUE(BASS_FXGetParameters(Eq->HFX, &Band));
    EXPECT_EQ(Band.fGain, Expected[i]) << "band " << i;
  }
}

TEST_F(TEffectsTest, CompressorGetsItsFiveValuesOrKeepsTheEngineSettings)
{
  TDSPItemC* Item = AddBuiltIn(dspCompressor, {"4", "-16", "5", "10", "200", "1"});
  TIntegratedDSPPtr Compressor = Start(Item, FStream);
  ASSERT_NE(Compressor->HFX, 0u);
  BASS_BFX_COMPRESSOR2 Values{};
  ASSERT_TRUE(BASS_FXGetParameters(Compressor->HFX, &Values));
  EXPECT_EQ(Values.fRatio, 1.0f) << "six lines must not be applied";

  Item->SetParams({"4", "-16", "5", "10", "200"});
  Compressor->UpdateDSP();
  ASSERT_TRUE(BASS_FXGetParameters(Compressor->HFX, &Values));
  EXPECT_EQ(Values.fGain, 4.0f);
  EXPECT_EQ(Values.fThreshold, -16.0f);
  EXPECT_EQ(Values.fRatio, 5.0f);
  EXPECT_EQ(Values.fAttack, 10.0f);
  EXPECT_EQ(Values.fRelease, 200.0f);
  EXPECT_EQ(Values.lChannel, -1);

  // Attaching again while attached keeps the one effect.
  const DWORD Handle = Compressor->HFX;
  Compressor->SetDSP(true);
  EXPECT_EQ(Compressor->HFX, Handle);
}

TEST_F(TEffectsTest, OnChannelZeroNothingAttachesAndOnlyTheGainRecordsItsLevel)
{
  for (TIntDSPKind Kind : {dspEqualizer, dspCompressor, dspGain}) {
    SCOPED_TRACE(Kind);
    TDSPItemC* Item = AddBuiltIn(Kind, {"6"});
    TIntegratedDSPPtr Object = Start(Item, 0);
    EXPECT_EQ(Object->HFX, 0u);
    EXPECT_EQ(Object->Chan, 0u);
    EXPECT_EQ(Object->FD, Item);
    if (Kind == dspGain) {
      EXPECT_EQ(static_cast<TIntegratedDSPGain&>(*Object).FData->Level.load(), 6.0);
    }
  }
  EXPECT_EQ(IntegratedDSPClass(static_cast<TIntDSPKind>(3)), nullptr);
}

TEST_F(TEffectsTest, ChainRunsInCollectionOrderAndAMoveRestartsIt)
{
  // A compressor is not linear, so its place before or after a +20 dB gain shows in the level.
  AddBuiltIn(dspGain, {"20"});
  AddBuiltIn(dspCompressor, {"0", "-20", "20", "0", "200"});
  FManager.SetWorkChannel(FStream);
  FManager.StartAllDSPs();

  auto PeakOut = [this] {
    std::vector<float> Samples = Sine(1000, 0.1, SampleRate / 2); // -20 dBFS peak
    Process(FStream, Samples);
    return PeakDb(Samples, SampleRate / 4);
  };
  // Gain first: 0 dBFS reaches the compressor, 20 dB above its threshold: 19 dB come off.
  EXPECT_NEAR(PeakOut(), -19.0, 1.0);

  FList.Move(1, 0);
  FManager.StartAllDSPs();
  // Compressor first: the signal sits at its threshold and passes; then +20 dB.
  EXPECT_NEAR(PeakOut(), 0.0, 0.5);
}

TEST_F(TEffectsTest, DestroyingARunningStageDetachesItsEffect)
{
  AddBuiltIn(dspGain, {"12"});
  FManager.SetWorkChannel(FStream);
  FManager.StartDSP(0);
  ASSERT_NE(FList.Items(0)->IntDsp, nullptr);
  FList.Delete(0);
  const std::vector<float> In = Sine(440, 0.3, 2048);
  std::vector<float> Out = In;
  Process(FStream, Out);
  EXPECT_EQ(Out, In);
}

} // namespace
