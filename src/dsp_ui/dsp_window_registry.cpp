#include "dsp_ui/dsp_window_registry.h"

#include <array>

namespace {

// Indexed by TIntDSPKind; filled on the user-interface thread at start-up.
std::array<TStageWindowHooks, 3>& StageHooks()
{
  static std::array<TStageWindowHooks, 3> hooks;
  return hooks;
}

TCreateVSTParamWindow& VSTFactory()
{
  static TCreateVSTParamWindow factory;
  return factory;
}

bool ValidKind(TIntDSPKind AKind)
{
  return AKind >= dspEqualizer && AKind <= dspGain;
}

} // namespace

void RegisterStageWindow(TIntDSPKind AKind, TStageWindowHooks AHooks)
{
  if (ValidKind(AKind))
    StageHooks()[AKind] = std::move(AHooks);
}

void RegisterVSTParamWindow(TCreateVSTParamWindow AFactory)
{
  VSTFactory() = std::move(AFactory);
}

const TStageWindowHooks& StageWindow(TIntDSPKind AKind)
{
  static const TStageWindowHooks none;
  return ValidKind(AKind) ? StageHooks()[AKind] : none;
}

const TCreateVSTParamWindow& VSTParamWindowFactory()
{
  return VSTFactory();
}

bool OpenStageWindow(TIntDSPKind AKind, TDSPItemC* AItem, QWidget* AOwner)
{
  const TStageWindowHooks& hooks = StageWindow(AKind);
  if (!hooks.Open)
    return false;
  hooks.Open(AItem, AOwner);
  return true;
}

bool CloseStageWindow(TIntDSPKind AKind)
{
  const TStageWindowHooks& hooks = StageWindow(AKind);
  if (!hooks.Close)
    return false;
  hooks.Close();
  return true;
}
