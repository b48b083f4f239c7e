#include "dsp/integrated_dsp.h"

#include "audio/bass_fx.h"
#include "dsp/dsp_params.h"
#include "dsp/plugins.h"
#include "settings/system_ini.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int CompressorLines = 5;
constexpr double MinGainLevel = -60.0;
constexpr double MaxGainLevel = 50.0;

template <class T> TIntegratedDSPPtr Create(TDSPItemC* inD, DWORD inChan)
{
  return TIntegratedDSPPtr(new T(inD, inChan), [](TIntegratedDSP* AObject) { delete AObject; });
}

// Bands in use that have a definition: a damaged file may claim more bands than it defines.
int UsableBands(TSystemIniBase& ASettings)
{
  return std::clamp(ASettings.BandsNum(), 0, ASettings.EQBands().Count());
}

} // namespace

TIntegratedDSP::TIntegratedDSP(TDSPItemC* inD, DWORD inChan) : FD(inD), Chan(inChan) {}

TIntegratedDSP::~TIntegratedDSP() = default;

// --- Equalizer --------------------------------------------------------------------------------

TIntegratedDSPEq::~TIntegratedDSPEq()
{
  SetDSP(false);
}

void TIntegratedDSPEq::SetDSP(bool A)
{
  if (HFX != 0) {
    BASS_ChannelRemoveFX(Chan, HFX);
    HFX = 0;
  }
  if (!A)
    return;
  HFX = BASS_ChannelSetFX(Chan, BASS_FX_BFX_PEAKEQ, DSPPriority);
  TSystemIniBase* Settings = PluginSettings();
  if (HFX == 0 || !Settings)
    return;
  const int Bands = UsableBands(*Settings);
  for (int i = 0; i < Bands; ++i) {
    BASS_BFX_PEAKEQ Band{};
    Band.lBand = i;
    Band.fBandwidth = Settings->Bandwidth();
    Band.fQ = 0;
    Band.fCenter = static_cast<float>(Settings->EQBands().Items(i)->CenterFreq());
    Band.fGain = 0;
    Band.lChannel = BASS_BFX_CHANALL;
    BASS_FXSetParameters(HFX, &Band);
  }
}

void TIntegratedDSPEq::UpdateDSP()
{
  TSystemIniBase* Settings = PluginSettings();
  if (HFX == 0 || !FD || !Settings || FD->Params().size() != Settings->BandsNum())
    return;
  const int Bands = UsableBands(*Settings);
  for (int i = 0; i < Bands; ++i) {
    BASS_BFX_PEAKEQ Band{};
    Band.lBand = i;
    // A band the engine refused (a centre above half the sample rate) is left out.
    if (!BASS_FXGetParameters(HFX, &Band))
      continue;
    Band.fGain = static_cast<float>(ParseParamInt(FD->Params().at(i)));
    BASS_FXSetParameters(HFX, &Band);
  }
}

// --- Compressor -------------------------------------------------------------------------------

TIntegratedDSPCompressor::~TIntegratedDSPCompressor()
{
  if (HFX != 0)
    SetDSP(false);
}

void TIntegratedDSPCompressor::SetDSP(bool A)
{
  if (A) {
    if (HFX == 0)
      HFX = BASS_ChannelSetFX(Chan, BASS_FX_BFX_COMPRESSOR2, DSPPriority);
    return;
  }
  BASS_ChannelRemoveFX(Chan, HFX);
  HFX = 0;
}

void TIntegratedDSPCompressor::UpdateDSP()
{
  if (HFX == 0 || !FD || FD->Params().size() != CompressorLines)
    return;
  const QStringList& Lines = FD->Params();
  BASS_BFX_COMPRESSOR2 Values{};
  Values.fGain = static_cast<float>(ParseParamFloat(Lines.at(0)));
  Values.fThreshold = static_cast<float>(ParseParamFloat(Lines.at(1)));
  Values.fRatio = static_cast<float>(ParseParamFloat(Lines.at(2)));
  Values.fAttack = static_cast<float>(ParseParamFloat(Lines.at(3)));
  Values.fRelease = static_cast<float>(ParseParamFloat(Lines.at(4)));
  Values.lChannel = BASS_BFX_CHANALL;
  BASS_FXSetParameters(HFX, &Values);
}

// --- Gain -------------------------------------------------------------------------------------

TIntegratedDSPGain::TIntegratedDSPGain(TDSPItemC* inD, DWORD inChan)
    : TIntegratedDSP(inD, inChan), FData(new TGainData)
{}

TIntegratedDSPGain::~TIntegratedDSPGain()
{
  // Once the procedure is removed the engine no longer calls it, so FData may go.
  SetDSP(false);
  delete FData;
}

void TIntegratedDSPGain::SetDSP(bool A)
{
  if (A) {
    if (HFX == 0)
      HFX = BASS_ChannelSetDSP(Chan, &GainDSPProc, FData, DSPPriority);
    return;
  }
  BASS_ChannelRemoveDSP(Chan, HFX);
  HFX = 0;
}

void TIntegratedDSPGain::UpdateDSP()
{
  if (!FD || FD->Params().size() != 1 || !FData)
    return;
  FData->Level.store(ParseParamFloat(FD->Params().at(0)), std::memory_order_relaxed);
}

void GainDSPProc(HDSP handle, DWORD channel, void* buffer, DWORD length, void* user)
{
  if (!user || !buffer)
    return;
  const double Level =
      std::clamp(static_cast<TGainData*>(user)->Level.load(std::memory_order_relaxed), MinGainLevel,
                 MaxGainLevel);
  const double Factor = std::pow(10.0, Level / 20.0);
  if (Factor == 1.0)
    return;
  float* Samples = static_cast<float*>(buffer);
  const DWORD Count = length / sizeof(float);
  for (DWORD i = 0; i < Count; ++i)
    Samples[i] = static_cast<float>(Samples[i] * Factor);
}

TIntegratedDSPClass IntegratedDSPClass(TIntDSPKind AKind)
{
  switch (AKind) {
  case dspEqualizer:
    return &Create<TIntegratedDSPEq>;
  case dspCompressor:
    return &Create<TIntegratedDSPCompressor>;
  case dspGain:
    return &Create<TIntegratedDSPGain>;
  }
  return nullptr;
}
