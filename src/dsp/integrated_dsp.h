// The built-in stages of the chain: a peaking equalizer, a compressor and a gain. Each object
// attaches one effect (or sample procedure) of the audio engine to a channel and applies the
// settings kept in its stage's Params. The chain manager creates one when a built-in stage
// starts and frees it when the stage stops; the stage windows rewrite Params and call UpdateDSP.
#pragma once

#include "audio/bass.h"
#include "settings/dsp_items.h"

#include <atomic>

// Every built-in effect runs at this priority; stages of equal priority run in the order they
// were attached, which is the chain's order.
constexpr int DSPPriority = 49;

class TIntegratedDSP
{
public:
  // Stores the stage and the channel; nothing is attached yet.
  TIntegratedDSP(TDSPItemC* inD, DWORD inChan);
  // Detaches what is still attached, so that no effect is left behind on the channel.
  virtual ~TIntegratedDSP();
  TIntegratedDSP(const TIntegratedDSP&) = delete;
  TIntegratedDSP& operator=(const TIntegratedDSP&) = delete;

  // Attaches the effect when A is true, detaches it when false.
  virtual void SetDSP(bool A) = 0;
  // Applies the stage's Params to the attached effect; a list of the wrong length is ignored.
  virtual void UpdateDSP() = 0;

  // The stage whose Params are applied (not owned).
  TDSPItemC* FD;
  // The attached effect or sample procedure; 0 while nothing is attached.
  DWORD HFX = 0;
  // The channel to attach to.
  DWORD Chan;
};

// Peaking equalizer (effect 0x10004), one band per band of the program's band layout.
class TIntegratedDSPEq : public TIntegratedDSP
{
public:
  using TIntegratedDSP::TIntegratedDSP;
  ~TIntegratedDSPEq() override;
  // Every switch-on attaches afresh, with the current band layout and flat bands.
  void SetDSP(bool A) override;
  // Needs exactly BandsNum lines: line i is band i's gain in whole decibels.
  void UpdateDSP() override;
};

// Compressor (effect 0x10011).
class TIntegratedDSPCompressor : public TIntegratedDSP
{
public:
  using TIntegratedDSP::TIntegratedDSP;
  ~TIntegratedDSPCompressor() override;
  // Attaches only when not yet attached; the engine's own settings hold until UpdateDSP.
  void SetDSP(bool A) override;
  // Needs exactly 5 lines: gain (dB), threshold (dB), ratio, attack (ms), release (ms).
  void UpdateDSP() override;
};

// The level the gain procedure applies. The UI thread replaces it while the audio thread reads
// it; one lock-free double does for that.
struct TGainData
{
  std::atomic<double> Level{0.0}; // decibels
};

// Gain: a sample procedure that multiplies every sample by the level's factor.
class TIntegratedDSPGain : public TIntegratedDSP
{
public:
  TIntegratedDSPGain(TDSPItemC* inD, DWORD inChan);
  ~TIntegratedDSPGain() override;
  // Attaches GainDSPProc with FData as its user pointer, only when not yet attached.
  void SetDSP(bool A) override;
  // Needs exactly 1 line: the level in decibels. Recorded even while nothing is attached.
  void UpdateDSP() override;

  // Owned; the procedure's user pointer, so it always reads the current level.
  TGainData* FData;
};

// The gain stage's sample procedure: 32-bit float samples times 10^(level/20), the level
// clamped to -60..+50 dB. A factor of exactly 1 leaves the buffer untouched.
void GainDSPProc(HDSP handle, DWORD channel, void* buffer, DWORD length, void* user);

// Creates the object for a built-in stage's kind.
using TIntegratedDSPClass = TIntegratedDSPPtr (*)(TDSPItemC* inD, DWORD inChan);
// dspEqualizer, dspCompressor and dspGain have a class; any other value has none (nullptr).
TIntegratedDSPClass IntegratedDSPClass(TIntDSPKind AKind);
