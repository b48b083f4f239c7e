// "Echo": a sample Winamp DSP plug-in. Each channel hears itself again 300 ms later, with the
// repeats fed back so that they fade out.
#include "winamp_dsp.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int DelayMs = 300;
constexpr float Feedback = 0.35f;
constexpr float Mix = 0.5f;

struct TEchoState
{
  int Rate = 0;
  int Channels = 0;
  std::vector<float> Line; // one delay line per channel, interleaved
  size_t Pos = 0;          // frame position in the line
};

void Config(winampDSPModule* AModule)
{
  // No dialog: the settings are fixed, so telling them is all there is to configure.
  std::printf("Echo: %d ms delay, %d%% feedback, %d%% mix\n", DelayMs,
              static_cast<int>(Feedback * 100), static_cast<int>(Mix * 100));
  std::fflush(stdout);
}

int Init(winampDSPModule* AModule)
{
  AModule->userData = new TEchoState;
  return 0;
}

int ModifySamples(winampDSPModule* AModule, short int* ASamples, int AFrames, int ABits,
                  int AChannels, int ARate)
{
  auto* state = static_cast<TEchoState*>(AModule->userData);
  if (!state || ABits != 16 || AChannels <= 0 || ARate <= 0)
    return AFrames;
  if (state->Rate != ARate || state->Channels != AChannels) {
    state->Rate = ARate;
    state->Channels = AChannels;
    // At least one frame, so that absurdly low rates still have a (short) line.
    const size_t lineFrames = std::max<size_t>(static_cast<size_t>(ARate) * DelayMs / 1000, 1);
    state->Line.assign(lineFrames * AChannels, 0.0f);
    state->Pos = 0;
  }
  const size_t frames = state->Line.size() / AChannels;
  for (int i = 0; i < AFrames; ++i) {
    float* line = state->Line.data() + state->Pos * AChannels;
    for (int c = 0; c < AChannels; ++c) {
      short& sample = ASamples[i * AChannels + c];
      const float delayed = line[c];
      line[c] = sample + Feedback * delayed;
      sample = static_cast<short>(std::clamp(sample + Mix * delayed, -32768.0f, 32767.0f));
    }
    state->Pos = (state->Pos + 1) % frames;
  }
  return AFrames;
}

void Quit(winampDSPModule* AModule)
{
  delete static_cast<TEchoState*>(AModule->userData);
  AModule->userData = nullptr;
}

char GName[] = "Echo";
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
