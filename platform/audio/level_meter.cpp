#include "level_meter.h"

#include <algorithm>
#include <ebur128.h>

namespace vexmo::audio {

namespace {

constexpr double RmsSeconds = 0.3;
constexpr double HoldSeconds = 2.0;
constexpr float ClipLevel = 0.9999f;
constexpr unsigned MomentaryWindows = 4;  // 400 ms
constexpr unsigned ShortTermWindows = 30; // 3 s

double EnergyOf(double ALufs)
{
  return std::isfinite(ALufs) ? std::pow(10.0, (ALufs + 0.691) / 10.0) : 0.0;
}

float LufsOf(double AEnergy)
{
  return AEnergy > 0 ? static_cast<float>(-0.691 + 10 * std::log10(AEnergy)) : -INFINITY;
}

// Atomic maximum for a reader that exchanges the value back to 0.
void RaiseTo(std::atomic<float>& AValue, float ALevel)
{
  float seen = AValue.load(std::memory_order_relaxed);
  while (ALevel > seen && !AValue.compare_exchange_weak(seen, ALevel, std::memory_order_relaxed)) {
  }
}

// The state lives behind a void pointer: its type cannot be declared ahead in the header.
ebur128_state*& Ebur(void*& AState)
{
  return reinterpret_cast<ebur128_state*&>(AState);
}

} // namespace

TLevelMeter::TLevelMeter(unsigned AFreq, unsigned AChans)
    : FFreq(std::max(AFreq, 1u)), FChans(std::clamp(AChans, 1u, MaxChans)),
      FStride(std::max(AChans, 1u)), FWindowFrames(std::max(FFreq / 10, 1u))
{
  // Histogram mode: adding frames never allocates (no list of blocks grows).
  Ebur(FLoudnessState) = ebur128_init(FChans, FFreq,
                                      EBUR128_MODE_M | EBUR128_MODE_S | EBUR128_MODE_TRUE_PEAK |
                                          EBUR128_MODE_HISTOGRAM);
  if (Ebur(FLoudnessState) && FChans == 1)
    ebur128_set_channel(Ebur(FLoudnessState), 0, EBUR128_DUAL_MONO);
  Reset();
}

TLevelMeter::~TLevelMeter()
{
  if (Ebur(FLoudnessState))
    ebur128_destroy(&Ebur(FLoudnessState));
}

void TLevelMeter::Reset()
{
  for (unsigned c = 0; c < MaxChans; ++c) {
    FPeak[c] = 0;
    FRms[c] = 0;
    FHold[c] = 0;
    FClip[c] = false;
    FMeanSquare[c] = 0;
    FHoldLevel[c] = 0;
    FHoldAge[c] = 0;
  }
  FTruePeak = 0;
  FMomentary = -INFINITY;
  FShortTerm = -INFINITY;
  FFrames = 0;
  std::fill(std::begin(FEnergies), std::end(FEnergies), 0.0);
  FEnergyAt = FEnergyCount = 0;
  FWindowFill = 0;
  if (Ebur(FLoudnessState)) {
    // A fresh state forgets the audio buffer too; only here, never on the audio thread.
    const int mode = Ebur(FLoudnessState)->mode;
    ebur128_destroy(&Ebur(FLoudnessState));
    Ebur(FLoudnessState) = ebur128_init(FChans, FFreq, mode);
    if (Ebur(FLoudnessState) && FChans == 1)
      ebur128_set_channel(Ebur(FLoudnessState), 0, EBUR128_DUAL_MONO);
  }
}

void TLevelMeter::ResetClip()
{
  for (unsigned c = 0; c < MaxChans; ++c)
    FClip[c].store(false, std::memory_order_relaxed);
}

void TLevelMeter::DspProc(HDSP, DWORD, void* ABuffer, DWORD ALength, void* AUser)
{
  auto* meter = static_cast<TLevelMeter*>(AUser);
  meter->Process(static_cast<const float*>(ABuffer), ALength / (sizeof(float) * meter->FStride));
}

void TLevelMeter::Process(const float* ASamples, size_t AFrames)
{
  if (!ASamples || AFrames == 0)
    return;
  const double blockWeight = 1 - std::exp(-static_cast<double>(AFrames) / (RmsSeconds * FFreq));
  const uint64_t holdFrames = static_cast<uint64_t>(HoldSeconds * FFreq);
  for (unsigned c = 0; c < FChans; ++c) {
    float peak = 0;
    double squares = 0;
    bool clipped = false;
    for (size_t i = 0; i < AFrames; ++i) {
      const float v = std::fabs(ASamples[i * FStride + c]);
      peak = std::max(peak, v);
      squares += static_cast<double>(v) * v;
      clipped |= v >= ClipLevel;
    }
    // A one-pole average of the mean square per block: 300 ms, whatever the block size.
    FMeanSquare[c] += (squares / AFrames - FMeanSquare[c]) * blockWeight;
    FRms[c].store(static_cast<float>(std::sqrt(FMeanSquare[c])), std::memory_order_relaxed);
    RaiseTo(FPeak[c], peak);
    FHoldAge[c] += AFrames;
    if (peak >= FHoldLevel[c] || FHoldAge[c] > holdFrames) {
      FHoldLevel[c] = peak;
      FHoldAge[c] = 0;
    }
    FHold[c].store(FHoldLevel[c], std::memory_order_relaxed);
    if (clipped)
      FClip[c].store(true, std::memory_order_relaxed);
  }
  if (FStride == FChans) {
    AddLoudness(ASamples, AFrames);
  } else {
    // More channels than metered: hand the first FChans of each frame over in small pieces.
    constexpr size_t Piece = sizeof(FConvert) / sizeof(FConvert[0]) / MaxChans;
    for (size_t from = 0; from < AFrames; from += Piece) {
      const size_t count = std::min(Piece, AFrames - from);
      for (size_t i = 0; i < count; ++i)
        for (unsigned c = 0; c < FChans; ++c)
          FConvert[i * FChans + c] = ASamples[(from + i) * FStride + c];
      AddLoudness(FConvert, count);
    }
  }
  FFrames.fetch_add(AFrames, std::memory_order_relaxed);
}

void TLevelMeter::AddLoudness(const float* ASamples, size_t AFrames)
{
  if (!Ebur(FLoudnessState))
    return;
  // Cut the frames at every 100 ms boundary, so that each window is measured exactly.
  while (AFrames > 0) {
    const size_t count = std::min(AFrames, FWindowFrames - FWindowFill);
    ebur128_add_frames_float(Ebur(FLoudnessState), ASamples, count);
    float truePeak = 0;
    for (unsigned c = 0; c < FChans; ++c) {
      double channelPeak = 0;
      if (ebur128_prev_true_peak(Ebur(FLoudnessState), c, &channelPeak) == EBUR128_SUCCESS)
        truePeak = std::max(truePeak, static_cast<float>(channelPeak));
    }
    RaiseTo(FTruePeak, truePeak);
    ASamples += count * FChans;
    AFrames -= count;
    FWindowFill += count;
    if (FWindowFill == FWindowFrames) {
      FWindowFill = 0;
      UpdateLoudness();
    }
  }
}

void TLevelMeter::UpdateLoudness()
{
  // The momentary and short-term figures are means of window energies: one pass over 100 ms of
  // filtered samples per window, instead of 3 s of them every time.
  double lufs = -HUGE_VAL;
  if (ebur128_loudness_window(Ebur(FLoudnessState), 100, &lufs) != EBUR128_SUCCESS)
    return;
  FEnergyAt = (FEnergyAt + 1) % ShortTermWindows;
  FEnergies[FEnergyAt] = EnergyOf(lufs);
  FEnergyCount = std::min(FEnergyCount + 1, ShortTermWindows);
  double momentary = 0;
  double shortTerm = 0;
  for (unsigned i = 0; i < ShortTermWindows; ++i) {
    const double energy = FEnergies[(FEnergyAt + ShortTermWindows - i) % ShortTermWindows];
    if (i < MomentaryWindows)
      momentary += energy;
    shortTerm += energy;
  }
  FMomentary.store(LufsOf(momentary / MomentaryWindows), std::memory_order_relaxed);
  FShortTerm.store(LufsOf(shortTerm / ShortTermWindows), std::memory_order_relaxed);
}

TLevelMeter::TReading TLevelMeter::Read()
{
  TReading reading;
  reading.Chans = FChans;
  for (unsigned c = 0; c < FChans; ++c) {
    reading.PeakDb[c] = ToDb(FPeak[c].exchange(0, std::memory_order_relaxed));
    reading.RmsDb[c] = ToDb(FRms[c].load(std::memory_order_relaxed));
    reading.HoldDb[c] = ToDb(FHold[c].load(std::memory_order_relaxed));
    reading.Clip[c] = FClip[c].load(std::memory_order_relaxed);
  }
  reading.TruePeakDb = ToDb(FTruePeak.exchange(0, std::memory_order_relaxed));
  reading.MomentaryLufs = FMomentary.load(std::memory_order_relaxed);
  reading.ShortTermLufs = FShortTerm.load(std::memory_order_relaxed);
  reading.Frames = FFrames.load(std::memory_order_relaxed);
  return reading;
}

} // namespace vexmo::audio
