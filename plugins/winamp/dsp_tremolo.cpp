// "Tremolo": a sample Winamp DSP plug-in. The volume swings five times a second between full and
// half level.
#include "winamp_dsp.h"

#include <cmath>
#include <cstdio>

namespace {

constexpr double RateHz = 5.0;
constexpr double Depth = 0.5;

struct TTremoloState
{
  double Phase = 0; // 0..1 within one swing
};

void Config(winampDSPModule* AModule)
{
  // No dialog: the settings are fixed, so telling them is all there is to configure.
  std::printf("Tremolo: %.0f Hz, %.0f%% depth\n", RateHz, Depth * 100);
  std::fflush(stdout);
}

int Init(winampDSPModule* AModule)
{
  AModule->userData = new TTremoloState;
  return 0;
}

int ModifySamples(winampDSPModule* AModule, short int* ASamples, int AFrames, int ABits,
                  int AChannels, int ARate)
{
  auto* state = static_cast<TTremoloState*>(AModule->userData);
  if (!state || ABits != 16 || AChannels <= 0 || ARate <= 0)
    return AFrames;
  const double step = RateHz / ARate;
  for (int i = 0; i < AFrames; ++i) {
    const double gain = 1.0 - Depth * (0.5 - 0.5 * std::cos(2 * M_PI * state->Phase));
    for (int c = 0; c < AChannels; ++c) {
      short& sample = ASamples[i * AChannels + c];
      sample = static_cast<short>(std::lround(sample * gain));
    }
    state->Phase += step;
    if (state->Phase >= 1)
      state->Phase -= 1;
  }
  return AFrames;
}

void Quit(winampDSPModule* AModule)
{
  delete static_cast<TTremoloState*>(AModule->userData);
  AModule->userData = nullptr;
}

char GName[] = "Tremolo";
winampDSPModule GModule = {GName, nullptr, nullptr, Config, Init, ModifySamples, Quit, nullptr};

winampDSPModule* GetModule(int AIndex)
{
  return AIndex == 0 ? &GModule : nullptr;
}

winampDSPHeader GHeader = {WINAMP_DSP_HEADER_VERSION, GName, GetModule};

} // namespace

extern "C" __attribute__((visibility("default"))) winampDSPHeader* winampDSPGetHeader2()
{
  return &GHeader;
}
