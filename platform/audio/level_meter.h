// Level and loudness meter for live audio, exported by libvexmo_audio.so (link vexmo_audio and
// include "audio/level_meter.h").
//
// Process() runs on the audio thread: it never allocates, never locks and never waits. Read()
// runs on any other thread (the UI, about ten times a second or more) and is lock-free too. There
// is one reader per meter: Read() gives the peak since the previous Read(), so that no short
// peak between two readings is missed.
//
// Figures (dB relative to full scale, -inf for silence):
// - Peak: the highest sample per channel since the last reading (dBFS).
// - RMS: per channel over about the last 300 ms (dBFS; a full-scale sine reads -3.0).
// - Hold: the highest peak of the last two seconds, per channel.
// - Clip: a sample reached full scale (|x| >= 0.9999) since ResetClip(); stays set.
// - True peak: the highest inter-sample peak of all channels since the last reading (dBTP),
//   from libebur128's four times oversampling.
// - Momentary (400 ms) and short-term (3 s) loudness in LUFS from libebur128 (ITU-R BS.1770,
//   EBU R128), updated every 100 ms of audio. A mono signal is measured as dual mono (as the
//   station plays it on both channels), so a -23 dBFS 1 kHz sine reads -23 LUFS in mono and in
//   stereo.
//
// To meter a channel's samples at a point of its chain, attach the meter as a DSP procedure:
//   BASS_ChannelSetDSP(channel, &TLevelMeter::DspProc, &meter, priority);
// (higher priority runs earlier: INT_MAX meters what comes in, INT_MIN what goes out).
#pragma once

#include "bass.h"

#include <atomic>
#include <cmath>
#include <cstdint>

namespace vexmo::audio {

class __attribute__((visibility("default"))) TLevelMeter
{
public:
  static constexpr unsigned MaxChans = 8;

  struct TReading
  {
    unsigned Chans = 0;
    float PeakDb[MaxChans];
    float RmsDb[MaxChans];
    float HoldDb[MaxChans];
    bool Clip[MaxChans];
    float TruePeakDb = -INFINITY;
    float MomentaryLufs = -INFINITY;
    float ShortTermLufs = -INFINITY;
    uint64_t Frames = 0; // frames metered since the start
  };

  // AChans 1..MaxChans (more are metered as the first MaxChans). Allocates; call it off the
  // audio thread.
  TLevelMeter(unsigned AFreq, unsigned AChans);
  ~TLevelMeter();
  TLevelMeter(const TLevelMeter&) = delete;
  TLevelMeter& operator=(const TLevelMeter&) = delete;

  unsigned Freq() const { return FFreq; }
  unsigned Chans() const { return FChans; }

  // Audio thread: AFrames frames of Chans() interleaved floats.
  void Process(const float* ASamples, size_t AFrames);
  // Any one other thread.
  TReading Read();
  // Clears the clip flags (the user acknowledged them).
  void ResetClip();
  // Back to silence, as if nothing had been metered (not while Process runs).
  void Reset();

  // A DSPPROC that meters the buffer without changing it; `user` is the TLevelMeter.
  static void DspProc(HDSP AHandle, DWORD AChannel, void* ABuffer, DWORD ALength, void* AUser);

  // dB of a linear level, -inf for 0.
  static float ToDb(double ALevel)
  {
    return ALevel > 0 ? float(20 * std::log10(ALevel)) : -INFINITY;
  }

private:
  void AddLoudness(const float* ASamples, size_t AFrames);
  void UpdateLoudness();

  unsigned FFreq;
  unsigned FChans;
  unsigned FStride;               // channels in the samples handed over
  void* FLoudnessState = nullptr; // ebur128_state
  size_t FWindowFrames;           // 100 ms
  size_t FWindowFill = 0;
  double FEnergies[30] = {}; // the last thirty 100 ms windows, newest at FEnergyAt
  unsigned FEnergyAt = 0;
  unsigned FEnergyCount = 0;
  double FMeanSquare[MaxChans] = {};
  float FHoldLevel[MaxChans] = {};
  uint64_t FHoldAge[MaxChans] = {}; // frames since the hold was set
  float FConvert[MaxChans * 64];    // scratch for frames handed over with more channels

  std::atomic<float> FPeak[MaxChans];
  std::atomic<float> FRms[MaxChans];
  std::atomic<float> FHold[MaxChans];
  std::atomic<bool> FClip[MaxChans];
  std::atomic<float> FTruePeak{0};
  std::atomic<float> FMomentary{-INFINITY};
  std::atomic<float> FShortTerm{-INFINITY};
  std::atomic<uint64_t> FFrames{0};
};

} // namespace vexmo::audio
