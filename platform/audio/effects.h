// The built-in effects: peaking equalizer and compressor on 32-bit float samples.
#pragma once

#include "audio_engine.h"
#include "bass_fx.h"

#include <map>
#include <memory>
#include <vector>

namespace vexmo::audio {

// An effect whose settings travel as the parameter record of its type.
class TAudioEffect : public TStageProcessor
{
public:
  // False (and nothing changed) when the record holds a value out of range.
  virtual bool SetParameters(const void* AParams) = 0;
  virtual bool GetParameters(void* AParams) const = 0;
};

// Type BASS_FX_BFX_PEAKEQ: up to 64 bands, each an RBJ peaking biquad per channel.
class TPeakEqualizer : public TAudioEffect
{
public:
  static constexpr int MaxBands = 64;

  TPeakEqualizer(DWORD AFreq, DWORD AChans);
  bool SetParameters(const void* AParams) override;
  bool GetParameters(void* AParams) const override;
  void Process(float* ASamples, DWORD AFrames, DWORD AChans, DWORD AFreq) override;

private:
  struct TBand
  {
    BASS_BFX_PEAKEQ Params{};
    double B0 = 1, B1 = 0, B2 = 0, A1 = 0, A2 = 0; // normalised by a0
    std::vector<double> State;                     // two values per channel
  };

  void Design(TBand& ABand) const;
  void ProcessStereo(TBand& ABand, float* ASamples, DWORD AFrames);

  DWORD FFreq;
  DWORD FChans;
  std::map<int, TBand> FBands; // in band order
};

// Type BASS_FX_BFX_COMPRESSOR2: feed-forward, linked over the selected channels. The detector
// follows peaks at once and falls with the release time; its level is smoothed with the attack
// time; the gain computer turns that level into a gain reduction with a hard knee.
class TCompressor : public TAudioEffect
{
public:
  TCompressor(DWORD AFreq, DWORD AChans);
  bool SetParameters(const void* AParams) override;
  bool GetParameters(void* AParams) const override;
  void Process(float* ASamples, DWORD AFrames, DWORD AChans, DWORD AFreq) override;

private:
  void UpdateCoefficients();

  DWORD FFreq;
  BASS_BFX_COMPRESSOR2 FParams{};
  double FAttackCoef = 0;
  double FReleaseCoef = 0;
  double FPeak = 0;     // detector: instant attack, release decay
  double FEnvelope = 0; // detector smoothed by the attack time
};

// The effect of the given type for a channel, or null for an unknown type.
std::shared_ptr<TAudioEffect> CreateEffect(DWORD AType, DWORD AFreq, DWORD AChans);

} // namespace vexmo::audio
