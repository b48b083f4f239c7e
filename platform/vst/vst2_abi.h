// Our own description of the VST 2 plug-in binary interface: the effect record that a plug-in
// hands out, the host callback, and the few opcodes and flags that the bridge and our sample
// plug-ins use. Shared by the bridge (host side) and plugins/vst (plug-in side).
#pragma once

#include <cstddef>
#include <cstdint>

namespace Vst2 {

struct TAEffect;

// dispatcher(effect, opcode, index, value, ptr, opt): the one multi-purpose call in each
// direction. The host callback has the same shape.
using TDispatcherProc = intptr_t (*)(TAEffect* AEffect, int32_t AOpcode, int32_t AIndex,
                                     intptr_t AValue, void* APtr, float AOpt);
using THostCallback = TDispatcherProc;
using TProcessProc = void (*)(TAEffect* AEffect, float** AInputs, float** AOutputs,
                              int32_t AFrames);
using TProcessDoubleProc = void (*)(TAEffect* AEffect, double** AInputs, double** AOutputs,
                                    int32_t AFrames);
using TSetParameterProc = void (*)(TAEffect* AEffect, int32_t AIndex, float AValue);
using TGetParameterProc = float (*)(TAEffect* AEffect, int32_t AIndex);

// The entry point a plug-in exports as "VSTPluginMain" (or "main" in older builds).
using TEntryProc = TAEffect* (*)(THostCallback AHost);

// 'VstP'
constexpr int32_t kEffectMagic = ('V' << 24) | ('s' << 16) | ('t' << 8) | 'P';

struct TAEffect
{
  int32_t magic;
  TDispatcherProc dispatcher;
  TProcessProc process; // accumulating, deprecated; only for plug-ins that lack processReplacing
  TSetParameterProc setParameter;
  TGetParameterProc getParameter;
  int32_t numPrograms;
  int32_t numParams;
  int32_t numInputs;
  int32_t numOutputs;
  int32_t flags;
  intptr_t resvd1;
  intptr_t resvd2;
  int32_t initialDelay;
  int32_t realQualities;
  int32_t offQualities;
  float ioRatio;
  void* object; // the plug-in's own object
  void* user;   // the host's own pointer
  int32_t uniqueID;
  int32_t version;
  TProcessProc processReplacing;
  TProcessDoubleProc processDoubleReplacing;
  char future[56];
};

// The layout is fixed by plug-ins already built; a change here would break every one of them.
static_assert(offsetof(TAEffect, dispatcher) == 8);
static_assert(offsetof(TAEffect, numPrograms) == 40);
static_assert(offsetof(TAEffect, flags) == 56);
static_assert(offsetof(TAEffect, initialDelay) == 80);
static_assert(offsetof(TAEffect, object) == 96);
static_assert(offsetof(TAEffect, uniqueID) == 112);
static_assert(offsetof(TAEffect, processReplacing) == 120);
static_assert(offsetof(TAEffect, future) == 136);
static_assert(sizeof(TAEffect) == 192);

// Editor rectangle, in pixels, returned through effEditGetRect.
struct TERect
{
  int16_t top;
  int16_t left;
  int16_t bottom;
  int16_t right;
};

// TAEffect::flags
constexpr int32_t effFlagsHasEditor = 1;
constexpr int32_t effFlagsCanReplacing = 1 << 4;
constexpr int32_t effFlagsProgramChunks = 1 << 5;
constexpr int32_t effFlagsIsSynth = 1 << 8;
constexpr int32_t effFlagsCanDoubleReplacing = 1 << 12;

// Host to plug-in opcodes.
constexpr int32_t effOpen = 0;
constexpr int32_t effClose = 1;
constexpr int32_t effGetParamLabel = 6;
constexpr int32_t effGetParamDisplay = 7;
constexpr int32_t effGetParamName = 8;
constexpr int32_t effSetSampleRate = 10;
constexpr int32_t effSetBlockSize = 11;
constexpr int32_t effMainsChanged = 12;
constexpr int32_t effEditGetRect = 13;
constexpr int32_t effEditOpen = 14;
constexpr int32_t effEditClose = 15;
constexpr int32_t effEditIdle = 19;
constexpr int32_t effGetEffectName = 45;
constexpr int32_t effGetVendorString = 47;
constexpr int32_t effGetProductString = 48;
constexpr int32_t effCanDo = 51;

// Plug-in to host opcodes.
constexpr int32_t audioMasterAutomate = 0;
constexpr int32_t audioMasterVersion = 1;
constexpr int32_t audioMasterCurrentId = 2;
constexpr int32_t audioMasterIdle = 3;
constexpr int32_t audioMasterGetSampleRate = 16;
constexpr int32_t audioMasterGetBlockSize = 17;

// What a host answers to audioMasterVersion: the 2.4 revision of the interface.
constexpr intptr_t kHostVersion = 2400;

} // namespace Vst2
