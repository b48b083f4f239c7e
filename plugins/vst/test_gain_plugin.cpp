// Vexmo Test Gain: a small stereo VST2 effect of our own with gain, balance and dry/wet mix, an
// editor size and a plain X11 editor. The tests and the demo load it like any other plug-in.
#include "test_gain_editor.h"
#include "vst/vst2_abi.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>

#define VEXMO_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

enum TParam : int32_t
{
  pGain,
  pPan,
  pMix,
  pCount
};

constexpr const char* ParamNames[pCount] = {"Gain", "Pan", "Mix"};
constexpr const char* ParamLabels[pCount] = {"dB", "", "%"};
constexpr float ParamDefaults[pCount] = {0.5f, 0.5f, 1.0f};
constexpr float GainRangeDb = 24.0f; // the gain parameter spans -24 .. +24 dB

// Copies into a host buffer. Hosts of this interface commonly give 64 bytes for names and 8 for
// parameter strings, but ours are short enough for either.
void CopyText(void* ADest, const char* AText, size_t ASize)
{
  if (!ADest)
    return;
  std::snprintf(static_cast<char*>(ADest), ASize, "%s", AText);
}

class TTestGain
{
public:
  explicit TTestGain(Vst2::THostCallback AHost) : FHost(AHost)
  {
    FEffect.magic = Vst2::kEffectMagic;
    FEffect.dispatcher = &Dispatcher;
    FEffect.setParameter = &SetParameter;
    FEffect.getParameter = &GetParameter;
    FEffect.processReplacing = &ProcessReplacing;
    FEffect.numPrograms = 0;
    FEffect.numParams = pCount;
    FEffect.numInputs = 2;
    FEffect.numOutputs = 2;
    FEffect.flags = Vst2::effFlagsHasEditor | Vst2::effFlagsCanReplacing;
    FEffect.ioRatio = 1.0f;
    FEffect.object = this;
    FEffect.uniqueID = ('V' << 24) | ('x' << 16) | ('T' << 8) | 'g';
    FEffect.version = 1000;
    for (int i = 0; i < pCount; ++i)
      FParams[i].store(ParamDefaults[i]);
  }

  Vst2::TAEffect* Effect() { return &FEffect; }

private:
  static TTestGain* Self(Vst2::TAEffect* AEffect)
  {
    return static_cast<TTestGain*>(AEffect->object);
  }

  static intptr_t Dispatcher(Vst2::TAEffect* AEffect, int32_t AOpcode, int32_t AIndex,
                             intptr_t AValue, void* APtr, float AOpt)
  {
    TTestGain* Plugin = Self(AEffect);
    switch (AOpcode) {
    case Vst2::effOpen:
      return 0;
    case Vst2::effClose:
      delete Plugin;
      return 1;
    case Vst2::effGetParamLabel:
    case Vst2::effGetParamDisplay:
    case Vst2::effGetParamName:
      if (AIndex < 0 || AIndex >= pCount)
        return 0;
      if (AOpcode == Vst2::effGetParamName)
        CopyText(APtr, ParamNames[AIndex], 8);
      else if (AOpcode == Vst2::effGetParamLabel)
        CopyText(APtr, ParamLabels[AIndex], 8);
      else
        Plugin->DisplayText(AIndex, static_cast<char*>(APtr), 8);
      return 1;
    case Vst2::effSetSampleRate:
      Plugin->FSampleRate = AOpt;
      return 1;
    case Vst2::effSetBlockSize:
      return 1;
    case Vst2::effMainsChanged:
      return 1;
    case Vst2::effEditGetRect:
      if (!APtr)
        return 0;
      Plugin->FRect = {0, 0, TTestGainEditor::Height, TTestGainEditor::Width};
      *static_cast<Vst2::TERect**>(APtr) = &Plugin->FRect;
      return 1;
    case Vst2::effEditOpen:
      return Plugin->FEditor.Open(reinterpret_cast<uintptr_t>(APtr)) ? 1 : 0;
    case Vst2::effEditClose:
      Plugin->FEditor.Close();
      return 1;
    case Vst2::effEditIdle: {
      char Text[32];
      Plugin->DisplayText(pGain, Text, sizeof(Text));
      char Line[64];
      std::snprintf(Line, sizeof(Line), "Gain %s dB", Text);
      Plugin->FEditor.Idle(Line);
      return 1;
    }
    case Vst2::effGetEffectName:
      CopyText(APtr, "Vexmo Test Gain", 32);
      return 1;
    case Vst2::effGetVendorString:
      CopyText(APtr, "Vexmo", 64);
      return 1;
    case Vst2::effGetProductString:
      CopyText(APtr, "Vexmo Test Gain", 64);
      return 1;
    case Vst2::effCanDo:
      return 0;
    default:
      return 0;
    }
  }

  static void SetParameter(Vst2::TAEffect* AEffect, int32_t AIndex, float AValue)
  {
    // Stored as given, without clamping, so that tests can see what the host sends.
    if (AIndex >= 0 && AIndex < pCount)
      Self(AEffect)->FParams[AIndex].store(AValue);
  }

  static float GetParameter(Vst2::TAEffect* AEffect, int32_t AIndex)
  {
    if (AIndex < 0 || AIndex >= pCount)
      return 0.0f;
    return Self(AEffect)->FParams[AIndex].load();
  }

  static void ProcessReplacing(Vst2::TAEffect* AEffect, float** AInputs, float** AOutputs,
                               int32_t AFrames)
  {
    const TTestGain* Plugin = Self(AEffect);
    const float GainDb = (Plugin->FParams[pGain].load() * 2.0f - 1.0f) * GainRangeDb;
    const float Gain = std::pow(10.0f, GainDb / 20.0f);
    const float Pan = Plugin->FParams[pPan].load() * 2.0f - 1.0f;
    const float Mix = Plugin->FParams[pMix].load();
    // Balance: the far side is turned down, the near side keeps its level.
    const float WetL = Gain * std::min(1.0f, 1.0f - Pan) * Mix;
    const float WetR = Gain * std::min(1.0f, 1.0f + Pan) * Mix;
    const float Dry = 1.0f - Mix;
    for (int32_t i = 0; i < AFrames; ++i) {
      const float L = AInputs[0][i];
      const float R = AInputs[1][i];
      AOutputs[0][i] = L * (Dry + WetL);
      AOutputs[1][i] = R * (Dry + WetR);
    }
  }

  void DisplayText(int32_t AIndex, char* ABuffer, size_t ASize) const
  {
    const float Value = FParams[AIndex].load();
    char Text[32] = {};
    switch (AIndex) {
    case pGain:
      std::snprintf(Text, sizeof(Text), "%.1f", (Value * 2.0f - 1.0f) * GainRangeDb);
      break;
    case pPan: {
      const int Percent = static_cast<int>(std::lround((Value * 2.0f - 1.0f) * 100.0f));
      if (Percent == 0)
        std::snprintf(Text, sizeof(Text), "C");
      else
        std::snprintf(Text, sizeof(Text), "%c%d", Percent < 0 ? 'L' : 'R', std::abs(Percent));
      break;
    }
    case pMix:
      std::snprintf(Text, sizeof(Text), "%d", static_cast<int>(std::lround(Value * 100.0f)));
      break;
    }
    CopyText(ABuffer, Text, ASize);
  }

  Vst2::TAEffect FEffect{};
  Vst2::THostCallback FHost;
  std::atomic<float> FParams[pCount];
  float FSampleRate = 44100.0f;
  Vst2::TERect FRect{};
  TTestGainEditor FEditor;
};

} // namespace

VEXMO_EXPORT Vst2::TAEffect* VSTPluginMain(Vst2::THostCallback AHost)
{
  // A host that does not speak at least version 2 of the interface gets nothing.
  if (!AHost || AHost(nullptr, Vst2::audioMasterVersion, 0, 0, nullptr, 0.0f) < 2)
    return nullptr;
  return (new TTestGain(AHost))->Effect();
}
