// Libraries that look like VST2 plug-ins to a file scan but are not usable ones; the bridge must
// turn each of them down without crashing, and the program must outlive the ones that crash or
// hang while they are loaded.
#include "vst/vst2_abi.h"

#define VEXMO_EXPORT extern "C" __attribute__((visibility("default")))

#if defined(VEXMO_BROKEN_NOTAVST)
// A plain shared library: no entry point at all.
VEXMO_EXPORT int vexmo_not_a_plugin(int AValue)
{
  return AValue + 1;
}

#elif defined(VEXMO_BROKEN_NULLENTRY)
// The entry point refuses to create an effect, as plug-ins do when the host is not to their taste.
VEXMO_EXPORT Vst2::TAEffect* VSTPluginMain(Vst2::THostCallback AHost)
{
  return nullptr;
}

#elif defined(VEXMO_BROKEN_THROWS)
// The entry point throws a C++ exception, which must not reach the host's C caller.
#include <stdexcept>

VEXMO_EXPORT Vst2::TAEffect* VSTPluginMain(Vst2::THostCallback AHost)
{
  throw std::runtime_error("no effect today");
}

#elif defined(VEXMO_BROKEN_BADMAGIC)
// The entry point hands out a record that does not carry the effect magic. Every call in it would
// crash, so a host that does not check the magic first fails loudly.
namespace {
Vst2::TAEffect GEffect{};
}

VEXMO_EXPORT Vst2::TAEffect* VSTPluginMain(Vst2::THostCallback AHost)
{
  GEffect.magic = 0x12345678;
  GEffect.numParams = 3;
  return &GEffect;
}

#elif defined(VEXMO_BROKEN_CRASHES)
// The entry point dies of a bad memory access, as a plug-in built against other libraries may.
#include <csignal>

VEXMO_EXPORT Vst2::TAEffect* VSTPluginMain(Vst2::THostCallback AHost)
{
  std::raise(SIGSEGV);
  return nullptr;
}

#elif defined(VEXMO_BROKEN_HANGS)
// The entry point never returns, as a plug-in waiting for a licence server may.
#include <unistd.h>

VEXMO_EXPORT Vst2::TAEffect* VSTPluginMain(Vst2::THostCallback AHost)
{
  for (;;)
    pause();
}

#elif defined(VEXMO_BROKEN_MANYPARAMS)
// A working effect that claims five million parameters.
namespace {
Vst2::TAEffect GEffect{};

intptr_t Dispatch(Vst2::TAEffect*, int32_t, int32_t, intptr_t, void*, float)
{
  return 0;
}
void Process(Vst2::TAEffect*, float**, float**, int32_t) {}
void SetParameter(Vst2::TAEffect*, int32_t, float) {}
float GetParameter(Vst2::TAEffect*, int32_t)
{
  return 0.5f;
}
} // namespace

VEXMO_EXPORT Vst2::TAEffect* VSTPluginMain(Vst2::THostCallback AHost)
{
  GEffect.magic = Vst2::kEffectMagic;
  GEffect.dispatcher = &Dispatch;
  GEffect.processReplacing = &Process;
  GEffect.setParameter = &SetParameter;
  GEffect.getParameter = &GetParameter;
  GEffect.numParams = 5000000;
  GEffect.numInputs = 2;
  GEffect.numOutputs = 2;
  return &GEffect;
}
#endif
