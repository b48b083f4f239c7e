// The level and loudness meter on known signals, handed over in 10 ms blocks as a capture
// channel delivers them.
#include "level_meter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using vexmo::audio::TLevelMeter;

namespace {

constexpr unsigned Rate = 48000;
constexpr size_t Block = Rate / 100;

std::vector<float> Sine(double AFrequency, double APeakDb, double ASeconds, unsigned AChans,
                        double APhase = 0)
{
  const double amplitude = std::pow(10.0, APeakDb / 20);
  const size_t frames = static_cast<size_t>(ASeconds * Rate);
  std::vector<float> samples(frames * AChans);
  for (size_t i = 0; i < frames; ++i)
    for (unsigned c = 0; c < AChans; ++c)
      samples[i * AChans + c] =
          static_cast<float>(amplitude * std::sin(2 * M_PI * AFrequency * i / Rate + APhase));
  return samples;
}

void Feed(TLevelMeter& AMeter, const std::vector<float>& ASamples)
{
  const size_t frames = ASamples.size() / AMeter.Chans();
  for (size_t at = 0; at < frames; at += Block)
    AMeter.Process(ASamples.data() + at * AMeter.Chans(), std::min(Block, frames - at));
}

TEST(TLevelMeterTest, ReferenceSineReadsItsLevelsAndLoudness)
{
  // EBU's reference: a 1 kHz sine with peaks at -23 dBFS reads -23.0 LUFS, in stereo and (as
  // dual mono) in mono.
  for (unsigned chans : {2u, 1u}) {
    SCOPED_TRACE(chans);
    TLevelMeter meter(Rate, chans);
    Feed(meter, Sine(1000, -23, 4, chans));
    const TLevelMeter::TReading reading = meter.Read();
    ASSERT_EQ(reading.Chans, chans);
    for (unsigned c = 0; c < chans; ++c) {
      EXPECT_NEAR(reading.PeakDb[c], -23.0, 0.05);
      EXPECT_NEAR(reading.RmsDb[c], -26.01, 0.05);
      EXPECT_NEAR(reading.HoldDb[c], -23.0, 0.05);
      EXPECT_FALSE(reading.Clip[c]);
    }
    EXPECT_NEAR(reading.TruePeakDb, -23.0, 0.2);
    EXPECT_NEAR(reading.MomentaryLufs, -23.0, 0.1);
    EXPECT_NEAR(reading.ShortTermLufs, -23.0, 0.1);
    EXPECT_EQ(reading.Frames, 4u * Rate);
  }
}

TEST(TLevelMeterTest, LoudnessFollowsMomentaryFasterThanShortTerm)
{
  TLevelMeter meter(Rate, 2);
  Feed(meter, Sine(1000, -23, 3, 2));
  // A second 10 dB louder: the 400 ms figure has moved all the way, the 3 s one a third of it.
  Feed(meter, Sine(1000, -13, 1, 2));
  const TLevelMeter::TReading reading = meter.Read();
  EXPECT_NEAR(reading.MomentaryLufs, -13.0, 0.1);
  EXPECT_NEAR(reading.ShortTermLufs, -23 + 10 * std::log10((2 + 10) / 3.0), 0.1);
}

TEST(TLevelMeterTest, SilenceReadsMinusInfinity)
{
  TLevelMeter meter(Rate, 2);
  Feed(meter, std::vector<float>(Rate * 2, 0.0f));
  const TLevelMeter::TReading reading = meter.Read();
  EXPECT_TRUE(std::isinf(reading.PeakDb[0]) && reading.PeakDb[0] < 0);
  EXPECT_TRUE(std::isinf(reading.RmsDb[1]) && reading.RmsDb[1] < 0);
  EXPECT_TRUE(std::isinf(reading.MomentaryLufs) && reading.MomentaryLufs < 0);
}

TEST(TLevelMeterTest, PeakBetweenReadingsIsKeptAndHoldFallsAfterTwoSeconds)
{
  TLevelMeter meter(Rate, 1);
  Feed(meter, Sine(1000, -20, 0.5, 1));
  // One sample at -6 dBFS in a block, then more quiet blocks before the next reading.
  std::vector<float> spike(Block, 0.0f);
  spike[100] = 0.5f;
  meter.Process(spike.data(), Block);
  Feed(meter, Sine(1000, -20, 0.2, 1));
  TLevelMeter::TReading reading = meter.Read();
  EXPECT_NEAR(reading.PeakDb[0], -6.02, 0.05);
  EXPECT_NEAR(reading.HoldDb[0], -6.02, 0.05);
  // The next reading starts afresh; the hold stays for two seconds, then falls.
  Feed(meter, Sine(1000, -20, 1.5, 1));
  reading = meter.Read();
  EXPECT_NEAR(reading.PeakDb[0], -20, 0.05);
  EXPECT_NEAR(reading.HoldDb[0], -6.02, 0.05);
  Feed(meter, Sine(1000, -20, 1.0, 1));
  EXPECT_NEAR(meter.Read().HoldDb[0], -20, 0.05);
}

TEST(TLevelMeterTest, ClipStaysUntilReset)
{
  TLevelMeter meter(Rate, 2);
  std::vector<float> block(Block * 2, 0.0f);
  block[11] = -1.0f; // right channel at full scale
  meter.Process(block.data(), Block);
  Feed(meter, Sine(1000, -20, 0.5, 2));
  TLevelMeter::TReading reading = meter.Read();
  EXPECT_FALSE(reading.Clip[0]);
  EXPECT_TRUE(reading.Clip[1]);
  meter.ResetClip();
  EXPECT_FALSE(meter.Read().Clip[1]);
}

TEST(TLevelMeterTest, TruePeakSeesBetweenTheSamples)
{
  // A sine at a quarter of the rate, shifted by 45 degrees: every sample sits at 0.707 of the
  // peak, so the samples read -3 dB below what the converter will play.
  TLevelMeter meter(Rate, 1);
  Feed(meter, Sine(Rate / 4.0, -6, 1, 1, M_PI / 4));
  const TLevelMeter::TReading reading = meter.Read();
  EXPECT_NEAR(reading.PeakDb[0], -9.01, 0.05);
  EXPECT_NEAR(reading.TruePeakDb, -6.0, 0.6);
}

TEST(TLevelMeterTest, MetersAChannelAsADspStage)
{
  TLevelMeter meter(Rate, 2);
  std::vector<float> samples = Sine(1000, -12, 0.5, 2);
  const std::vector<float> before = samples;
  for (size_t at = 0; at < samples.size(); at += Block * 2)
    TLevelMeter::DspProc(0, 0, samples.data() + at, Block * 2 * sizeof(float), &meter);
  EXPECT_EQ(samples, before);
  EXPECT_NEAR(meter.Read().PeakDb[1], -12, 0.05);
}

} // namespace
