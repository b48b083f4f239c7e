// The built-in effects measured with sine signals pushed through a decoding stream.
#include "bass.h"
#include "bass_fx.h"
#include "signal_helpers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace vexmo::audio::test;

namespace {

constexpr unsigned Chans = 2;
constexpr unsigned Frames = SampleRate;  // one second
constexpr unsigned Settled = Frames / 2; // measure after the filters have settled

class TEffectTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    FStream = BASS_StreamCreate(SampleRate, Chans, BASS_STREAM_DECODE, nullptr, nullptr);
    ASSERT_NE(FStream, 0u);
  }
  void TearDown() override { BASS_StreamFree(FStream); }

  // Level change in dB that the stream applies to a sine of the given frequency and peak.
  double GainAt(double AFrequency, double AAmplitude = 0.25)
  {
    std::vector<float> samples = Sine(AFrequency, AAmplitude, Frames, Chans);
    const double before = RmsDb(samples, Chans, 0, Settled);
    EXPECT_TRUE(ProcessInChunks(FStream, samples, Chans));
    return RmsDb(samples, Chans, 0, Settled) - before;
  }

  HFX AddEq()
  {
    const HFX fx = BASS_ChannelSetFX(FStream, BASS_FX_BFX_PEAKEQ, 49);
    EXPECT_NE(fx, 0u);
    return fx;
  }

  static BASS_BFX_PEAKEQ Band(int AIndex, float ACenter, float AGain, float ABandwidth = 1,
                              float AQ = 0)
  {
    return BASS_BFX_PEAKEQ{AIndex, ABandwidth, AQ, ACenter, AGain, BASS_BFX_CHANALL};
  }

  HSTREAM FStream = 0;
};

TEST_F(TEffectTest, EqualizerBandRaisesItsCentreAndSparesTwoOctavesAway)
{
  const HFX fx = AddEq();
  BASS_BFX_PEAKEQ band = Band(0, 1000, 6);
  ASSERT_TRUE(BASS_FXSetParameters(fx, &band));

  EXPECT_NEAR(GainAt(1000), 6.0, 0.5);
  EXPECT_NEAR(GainAt(250), 0.0, 0.5);
  EXPECT_NEAR(GainAt(4000), 0.0, 0.5);
}

TEST_F(TEffectTest, EqualizerWidthFromQWhenGiven)
{
  const HFX fx = AddEq();
  BASS_BFX_PEAKEQ band = Band(0, 2000, -6, /*bandwidth, ignored*/ 6, /*Q*/ 4);
  ASSERT_TRUE(BASS_FXSetParameters(fx, &band));

  EXPECT_NEAR(GainAt(2000), -6.0, 0.5);
  // A narrow band (Q 4) leaves an octave away almost alone; 6 octaves wide would not.
  EXPECT_NEAR(GainAt(1000), 0.0, 0.5);
}

TEST_F(TEffectTest, SeveralBandsWorkTogether)
{
  const HFX fx = AddEq();
  const BASS_BFX_PEAKEQ bands[] = {Band(0, 250, 6), Band(1, 1000, 0), Band(2, 4000, -6)};
  for (const BASS_BFX_PEAKEQ& band : bands)
    ASSERT_TRUE(BASS_FXSetParameters(fx, &band));

  EXPECT_NEAR(GainAt(250), 6.0, 0.5);
  EXPECT_NEAR(GainAt(1000), 0.0, 0.5);
  EXPECT_NEAR(GainAt(4000), -6.0, 0.5);

  // Changing one band later keeps the others.
  BASS_BFX_PEAKEQ changed = Band(1, 1000, 3);
  ASSERT_TRUE(BASS_FXSetParameters(fx, &changed));
  EXPECT_NEAR(GainAt(1000), 3.0, 0.5);
  EXPECT_NEAR(GainAt(4000), -6.0, 0.5);
}

TEST_F(TEffectTest, FlatEqualizerLeavesSamplesBitForBit)
{
  // What the program attaches when an equalizer stage is switched on: the band layout at 0 dB.
  const HFX fx = AddEq();
  const float centres[] = {31, 62, 125, 250, 500, 1000, 2000, 4000, 8000, 16000};
  for (int i = 0; i < 10; ++i) {
    BASS_BFX_PEAKEQ band = Band(i, centres[i], 0, 2.5f);
    ASSERT_TRUE(BASS_FXSetParameters(fx, &band));
  }
  std::vector<float> samples = Sine(440, 0.5, 4096, Chans);
  const std::vector<float> original = samples;
  ASSERT_TRUE(ProcessInChunks(FStream, samples, Chans));
  EXPECT_EQ(samples, original);
}

TEST_F(TEffectTest, EqualizerChannelMaskSelectsChannels)
{
  const HFX fx = AddEq();
  BASS_BFX_PEAKEQ band = Band(0, 1000, 6);
  band.lChannel = BASS_BFX_CHAN2;
  ASSERT_TRUE(BASS_FXSetParameters(fx, &band));

  std::vector<float> samples = Sine(1000, 0.25, Frames, Chans);
  const std::vector<float> original = samples;
  ASSERT_TRUE(ProcessInChunks(FStream, samples, Chans));
  EXPECT_NEAR(RmsDb(samples, Chans, 1, Settled) - RmsDb(original, Chans, 1, Settled), 6.0, 0.5);
  for (size_t i = 0; i < samples.size(); i += Chans)
    ASSERT_EQ(samples[i], original[i]) << "frame " << i / Chans;
}

TEST_F(TEffectTest, EqualizerGetReturnsWhatWasSet)
{
  const HFX fx = AddEq();
  BASS_BFX_PEAKEQ set = {3, 2.5f, 0, 8000, -4, BASS_BFX_CHANALL};
  ASSERT_TRUE(BASS_FXSetParameters(fx, &set));

  BASS_BFX_PEAKEQ got{};
  got.lBand = 3;
  ASSERT_TRUE(BASS_FXGetParameters(fx, &got));
  EXPECT_EQ(got.lBand, 3);
  EXPECT_EQ(got.fBandwidth, 2.5f);
  EXPECT_EQ(got.fQ, 0.0f);
  EXPECT_EQ(got.fCenter, 8000.0f);
  EXPECT_EQ(got.fGain, -4.0f);
  EXPECT_EQ(got.lChannel, BASS_BFX_CHANALL);

  // A band never set has no values to report.
  BASS_BFX_PEAKEQ unknown{};
  unknown.lBand = 4;
  EXPECT_FALSE(BASS_FXGetParameters(fx, &unknown));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
}

TEST_F(TEffectTest, EqualizerRefusesValuesOutOfRangeAndKeepsTheBand)
{
  const HFX fx = AddEq();
  BASS_BFX_PEAKEQ good = Band(0, 1000, 5);
  ASSERT_TRUE(BASS_FXSetParameters(fx, &good));

  const float nan = std::numeric_limits<float>::quiet_NaN();
  const struct
  {
    const char* What;
    BASS_BFX_PEAKEQ Params;
  } cases[] = {
      {"negative band", Band(-1, 1000, 5)},
      {"band past the last", Band(64, 1000, 5)},
      {"centre 0", Band(0, 0, 5)},
      {"centre at half the sample rate", Band(0, 22050, 5)},
      {"centre not a number", Band(0, nan, 5)},
      {"gain too high", Band(0, 1000, 61)},
      {"gain not a number", Band(0, 1000, nan)},
      {"no width at all", Band(0, 1000, 5, 0, 0)},
      {"negative Q", Band(0, 1000, 5, 1, -1)},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(BASS_FXSetParameters(fx, &c.Params)) << c.What;
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM) << c.What;
  }
  BASS_BFX_PEAKEQ got{};
  ASSERT_TRUE(BASS_FXGetParameters(fx, &got));
  EXPECT_EQ(got.fCenter, 1000.0f);
  EXPECT_EQ(got.fGain, 5.0f);
  EXPECT_NEAR(GainAt(1000), 5.0, 0.5);
}

TEST_F(TEffectTest, EqualizerWidestHighestBandStaysFinite)
{
  // The band layout allows 6 octaves wide bands up to 20 kHz at 44.1 kHz.
  const HFX fx = AddEq();
  BASS_BFX_PEAKEQ band = Band(0, 22000, 10, 6);
  ASSERT_TRUE(BASS_FXSetParameters(fx, &band));
  std::vector<float> samples = Sine(1000, 0.25, 8192, Chans);
  ASSERT_TRUE(ProcessInChunks(FStream, samples, Chans));
  for (float sample : samples)
    ASSERT_TRUE(std::isfinite(sample));
}

struct TCompressorCase
{
  const char* What;
  double InputPeakDb;
  BASS_BFX_COMPRESSOR2 Params;
  double ExpectedPeakDb;
};

void PrintTo(const TCompressorCase& ACase, std::ostream* AOut)
{
  *AOut << ACase.What;
}

class TCompressorTest : public TEffectTest, public ::testing::WithParamInterface<TCompressorCase>
{};

TEST_P(TCompressorTest, SteadyStateLevelFollowsThresholdAndRatio)
{
  const TCompressorCase& c = GetParam();
  const HFX fx = BASS_ChannelSetFX(FStream, BASS_FX_BFX_COMPRESSOR2, 49);
  ASSERT_NE(fx, 0u);
  ASSERT_TRUE(BASS_FXSetParameters(fx, &c.Params));

  std::vector<float> samples = Sine(1000, std::pow(10.0, c.InputPeakDb / 20), Frames, Chans);
  ASSERT_TRUE(ProcessInChunks(FStream, samples, Chans));
  EXPECT_NEAR(PeakDb(samples, Chans, Frames * 3 / 4), c.ExpectedPeakDb, 0.5);
}

INSTANTIATE_TEST_SUITE_P(
    Levels, TCompressorTest,
    ::testing::Values(
        // Above the threshold the level rises by 1/ratio dB per dB: -20 + 14 / 4.
        TCompressorCase{"ratio 4", -6, {0, -20, 4, 10, 200, BASS_BFX_CHANALL}, -16.5},
        TCompressorCase{"ratio 2", -6, {0, -20, 2, 10, 200, BASS_BFX_CHANALL}, -13},
        // The program's own reset values: gain 4, threshold -16, ratio 5.
        TCompressorCase{"reset values", -6, {4, -16, 5, 10, 200, BASS_BFX_CHANALL}, -10},
        TCompressorCase{"below the threshold", -30, {0, -20, 4, 10, 200, BASS_BFX_CHANALL}, -30},
        TCompressorCase{"make-up gain only", -30, {6, -20, 4, 10, 200, BASS_BFX_CHANALL}, -24},
        TCompressorCase{"ratio 1", -6, {0, -20, 1, 10, 200, BASS_BFX_CHANALL}, -6},
        TCompressorCase{
            "instant attack and release", -6, {0, -20, 4, 0, 0, BASS_BFX_CHANALL}, -16.5}),
    [](const auto& AInfo) {
      std::string name = AInfo.param.What;
      for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch)))
          ch = '_';
      return name;
    });

TEST_F(TEffectTest, CompressorReleasesAfterALoudPassage)
{
  const HFX fx = BASS_ChannelSetFX(FStream, BASS_FX_BFX_COMPRESSOR2, 49);
  BASS_BFX_COMPRESSOR2 params = {0, -20, 4, 10, 100, BASS_BFX_CHANALL};
  ASSERT_TRUE(BASS_FXSetParameters(fx, &params));

  std::vector<float> loud = Sine(1000, 0.5, Frames, Chans);
  ASSERT_TRUE(ProcessInChunks(FStream, loud, Chans));
  // Right after the loud part a quiet sine is still held down, a second later it is not.
  std::vector<float> quiet = Sine(1000, 0.01, Frames, Chans);
  const double quietDb = PeakDb(quiet, Chans, 0);
  ASSERT_TRUE(ProcessInChunks(FStream, quiet, Chans));
  EXPECT_LT(PeakDb(std::vector<float>(quiet.begin(), quiet.begin() + 441 * Chans), Chans, 0),
            quietDb - 3);
  EXPECT_NEAR(PeakDb(quiet, Chans, Frames / 2), quietDb, 0.1);
}

TEST_F(TEffectTest, CompressorGetReturnsDefaultsThenWhatWasSet)
{
  const HFX fx = BASS_ChannelSetFX(FStream, BASS_FX_BFX_COMPRESSOR2, 49);
  ASSERT_NE(fx, 0u);
  BASS_BFX_COMPRESSOR2 got{};
  ASSERT_TRUE(BASS_FXGetParameters(fx, &got));
  EXPECT_EQ(got.fRatio, 1.0f); // does nothing until set

  BASS_BFX_COMPRESSOR2 set = {4, -16, 5, 10, 200, BASS_BFX_CHANALL};
  ASSERT_TRUE(BASS_FXSetParameters(fx, &set));
  ASSERT_TRUE(BASS_FXGetParameters(fx, &got));
  EXPECT_EQ(got.fGain, 4.0f);
  EXPECT_EQ(got.fThreshold, -16.0f);
  EXPECT_EQ(got.fRatio, 5.0f);
  EXPECT_EQ(got.fAttack, 10.0f);
  EXPECT_EQ(got.fRelease, 200.0f);
  EXPECT_EQ(got.lChannel, BASS_BFX_CHANALL);

  // Lines of a stored stage that do not parse become 0: a ratio of 0 is refused, nothing changes.
  const BASS_BFX_COMPRESSOR2 refused[] = {{0, 0, 0, 0, 0, BASS_BFX_CHANALL},
                                          {0, 3, 2, 10, 200, BASS_BFX_CHANALL},
                                          {0, -20, 2, -1, 200, BASS_BFX_CHANALL},
                                          {0, -20, 2, 10, 6000, BASS_BFX_CHANALL},
                                          {std::nanf(""), -20, 2, 10, 200, BASS_BFX_CHANALL}};
  for (const BASS_BFX_COMPRESSOR2& params : refused)
    EXPECT_FALSE(BASS_FXSetParameters(fx, &params));
  ASSERT_TRUE(BASS_FXGetParameters(fx, &got));
  EXPECT_EQ(got.fRatio, 5.0f);
  EXPECT_EQ(got.fThreshold, -16.0f);
}

TEST_F(TEffectTest, UnknownEffectTypeIsRefused)
{
  EXPECT_EQ(BASS_ChannelSetFX(FStream, 0x10005, 49), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLTYPE);
}

} // namespace
