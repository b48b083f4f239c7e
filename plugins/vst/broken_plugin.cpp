// Libraries that look like VST2 plug-ins to a file scan but are not usable ones; the bridge must
// turn each of them down without crashing.
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
#endif
