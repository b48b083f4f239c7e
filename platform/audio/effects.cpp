#include "effects.h"

#include <algorithm>
#include <cmath>

namespace vexmo::audio {

namespace {

bool InRange(float AValue, float AMin, float AMax)
{
  return std::isfinite(AValue) && AValue >= AMin && AValue <= AMax;
}

bool ChannelSelected(int AMask, DWORD AChannel)
{
  return AChannel < 32 && ((static_cast<uint32_t>(AMask) >> AChannel) & 1u);
}

// Per-sample coefficient of a one-pole smoother with the given time constant.
double SmoothingCoef(float AMilliseconds, DWORD AFreq)
{
  if (AMilliseconds <= 0)
    return 0;
  return std::exp(-1.0 / (AMilliseconds / 1000.0 * AFreq));
}

} // namespace

TPeakEqualizer::TPeakEqualizer(DWORD AFreq, DWORD AChans) : FFreq(AFreq), FChans(AChans) {}

bool TPeakEqualizer::SetParameters(const void* AParams)
{
  const auto& params = *static_cast<const BASS_BFX_PEAKEQ*>(AParams);
  if (params.lBand < 0 || params.lBand >= MaxBands)
    return false;
  if (!std::isfinite(params.fCenter) || params.fCenter <= 0 || params.fCenter >= FFreq / 2.0)
    return false;
  if (!InRange(params.fGain, -60, 60) || !InRange(params.fQ, 0, 100))
    return false;
  if (params.fQ == 0 && (!InRange(params.fBandwidth, 0, 12) || params.fBandwidth == 0))
    return false;
  if (!std::isfinite(params.fBandwidth))
    return false;
  TBand& band = FBands[params.lBand];
  band.Params = params;
  if (band.State.empty())
    band.State.assign(FChans * 2, 0.0);
  Design(band);
  return true;
}

bool TPeakEqualizer::GetParameters(void* AParams) const
{
  auto& params = *static_cast<BASS_BFX_PEAKEQ*>(AParams);
  auto band = FBands.find(params.lBand);
  if (band == FBands.end())
    return false;
  params = band->second.Params;
  return true;
}

void TPeakEqualizer::Design(TBand& ABand) const
{
  // Audio EQ Cookbook (R. Bristow-Johnson) peaking filter.
  const BASS_BFX_PEAKEQ& p = ABand.Params;
  const double a = std::pow(10.0, p.fGain / 40.0);
  const double w0 = 2 * M_PI * p.fCenter / FFreq;
  const double sinW0 = std::sin(w0);
  const double cosW0 = std::cos(w0);
  double alpha;
  if (p.fQ > 0) {
    alpha = sinW0 / (2 * p.fQ);
  } else {
    // Close to half the sample rate sin(w0) vanishes and the argument grows without bound;
    // capping it keeps the coefficients finite for the widest, highest bands.
    const double arg = std::min(std::log(2.0) / 2 * p.fBandwidth * w0 / sinW0, 30.0);
    alpha = sinW0 * std::sinh(arg);
  }
  const double a0 = 1 + alpha / a;
  ABand.B0 = (1 + alpha * a) / a0;
  ABand.B1 = -2 * cosW0 / a0;
  ABand.B2 = (1 - alpha * a) / a0;
  ABand.A1 = -2 * cosW0 / a0;
  ABand.A2 = (1 - alpha / a) / a0;
}

void TPeakEqualizer::ProcessStereo(TBand& ABand, float* ASamples, DWORD AFrames)
{
  // Both channels of a frame in one register: the same operations in the same order as the
  // one-channel loop below (so the same results), at half the instructions.
  using TPair = double __attribute__((vector_size(16)));
  const TPair b0 = {ABand.B0, ABand.B0}, b1 = {ABand.B1, ABand.B1}, b2 = {ABand.B2, ABand.B2};
  const TPair a1 = {ABand.A1, ABand.A1}, a2 = {ABand.A2, ABand.A2};
  TPair z1 = {ABand.State[0], ABand.State[2]};
  TPair z2 = {ABand.State[1], ABand.State[3]};
  for (DWORD i = 0; i < AFrames; ++i) {
    float* frame = ASamples + i * 2;
    const TPair x = {frame[0], frame[1]};
    const TPair y = b0 * x + z1;
    z1 = b1 * x - a1 * y + z2;
    z2 = b2 * x - a2 * y;
    frame[0] = static_cast<float>(y[0]);
    frame[1] = static_cast<float>(y[1]);
  }
  for (int c = 0; c < 2; ++c) {
    ABand.State[c * 2] = std::fabs(z1[c]) < 1e-30 ? 0.0 : z1[c];
    ABand.State[c * 2 + 1] = std::fabs(z2[c]) < 1e-30 ? 0.0 : z2[c];
  }
}

void TPeakEqualizer::Process(float* ASamples, DWORD AFrames, DWORD AChans, DWORD AFreq)
{
  for (auto& [index, band] : FBands) {
    // A flat band passes the samples untouched (bit for bit) and forgets its history.
    if (band.Params.fGain == 0) {
      std::fill(band.State.begin(), band.State.end(), 0.0);
      continue;
    }
    if (AChans == 2 && band.State.size() >= 4 && ChannelSelected(band.Params.lChannel, 0) &&
        ChannelSelected(band.Params.lChannel, 1)) {
      ProcessStereo(band, ASamples, AFrames);
      continue;
    }
    for (DWORD c = 0; c < AChans; ++c) {
      if (!ChannelSelected(band.Params.lChannel, c))
        continue;
      double z1 = band.State[c * 2];
      double z2 = band.State[c * 2 + 1];
      float* sample = ASamples + c;
      // Transposed direct form II, in double precision so low bands stay accurate.
      for (DWORD i = 0; i < AFrames; ++i, sample += AChans) {
        const double x = *sample;
        const double y = band.B0 * x + z1;
        z1 = band.B1 * x - band.A1 * y + z2;
        z2 = band.B2 * x - band.A2 * y;
        *sample = static_cast<float>(y);
      }
      // Denormals would slow down the silence that follows a signal.
      band.State[c * 2] = std::fabs(z1) < 1e-30 ? 0.0 : z1;
      band.State[c * 2 + 1] = std::fabs(z2) < 1e-30 ? 0.0 : z2;
    }
  }
}

TCompressor::TCompressor(DWORD AFreq, DWORD AChans) : FFreq(AFreq)
{
  FParams.fGain = 0;
  FParams.fThreshold = 0;
  FParams.fRatio = 1;
  FParams.fAttack = 10;
  FParams.fRelease = 200;
  FParams.lChannel = BASS_BFX_CHANALL;
  UpdateCoefficients();
}

bool TCompressor::SetParameters(const void* AParams)
{
  const auto& params = *static_cast<const BASS_BFX_COMPRESSOR2*>(AParams);
  if (!InRange(params.fGain, -60, 60) || !InRange(params.fThreshold, -60, 0) ||
      !InRange(params.fRatio, 1, 1000) || !InRange(params.fAttack, 0, 1000) ||
      !InRange(params.fRelease, 0, 5000))
    return false;
  FParams = params;
  UpdateCoefficients();
  return true;
}

bool TCompressor::GetParameters(void* AParams) const
{
  *static_cast<BASS_BFX_COMPRESSOR2*>(AParams) = FParams;
  return true;
}

void TCompressor::UpdateCoefficients()
{
  FAttackCoef = SmoothingCoef(FParams.fAttack, FFreq);
  FReleaseCoef = SmoothingCoef(FParams.fRelease, FFreq);
}

void TCompressor::Process(float* ASamples, DWORD AFrames, DWORD AChans, DWORD AFreq)
{
  const int mask = FParams.lChannel;
  const double threshold = FParams.fThreshold;
  const double slope = 1.0 / FParams.fRatio - 1.0; // dB of change per dB above the threshold
  const double makeup = FParams.fGain;
  const double makeupFactor = std::pow(10.0, makeup / 20.0);
  constexpr double DbPerNeper = 20 / M_LN10;
  // A little below the threshold, so that rounding never skips a level just above it.
  const double thresholdLevel = std::pow(10.0, (threshold - 0.001) / 20.0);
  for (DWORD i = 0; i < AFrames; ++i) {
    float* frame = ASamples + i * AChans;
    double peak = 0;
    for (DWORD c = 0; c < AChans; ++c)
      if (ChannelSelected(mask, c))
        peak = std::max(peak, static_cast<double>(std::fabs(frame[c])));
    FPeak = std::max(peak, FReleaseCoef * FPeak + (1 - FReleaseCoef) * peak);
    FEnvelope = FAttackCoef * FEnvelope + (1 - FAttackCoef) * FPeak;
    if (FEnvelope < 1e-30)
      FEnvelope = 0; // no denormals in long silences
    double factor = makeupFactor;
    // Below the threshold the gain is the make-up gain: no logarithm needed. Above it, natural
    // logarithm and exponential do the work of log10 and pow at a fraction of the cost.
    if (FEnvelope > thresholdLevel) {
      const double level = std::log(FEnvelope) * DbPerNeper;
      if (level > threshold)
        factor = std::exp(((level - threshold) * slope + makeup) / DbPerNeper);
    }
    if (factor == 1.0)
      continue;
    for (DWORD c = 0; c < AChans; ++c)
      if (ChannelSelected(mask, c))
        frame[c] = static_cast<float>(frame[c] * factor);
  }
}

std::shared_ptr<TAudioEffect> CreateEffect(DWORD AType, DWORD AFreq, DWORD AChans)
{
  switch (AType) {
  case BASS_FX_BFX_PEAKEQ:
    return std::make_shared<TPeakEqualizer>(AFreq, AChans);
  case BASS_FX_BFX_COMPRESSOR2:
    return std::make_shared<TCompressor>(AFreq, AChans);
  default:
    return nullptr;
  }
}

} // namespace vexmo::audio
