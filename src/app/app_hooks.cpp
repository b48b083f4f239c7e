#include "app/app_hooks.h"

namespace {
TPluginSetupHook GPluginSetup;
TMicDSPWindowFactory GMicDSPFactory;
} // namespace

TPluginSetupHook SetPluginSetupHook(TPluginSetupHook AHook)
{
  TPluginSetupHook Previous = std::move(GPluginSetup);
  GPluginSetup = std::move(AHook);
  return Previous;
}

void RunPluginSetupHook(QWidget* AMainWindow)
{
  if (GPluginSetup)
    GPluginSetup(AMainWindow);
}

TMicDSPWindowFactory SetMicDSPWindowFactory(TMicDSPWindowFactory AFactory)
{
  TMicDSPWindowFactory Previous = std::move(GMicDSPFactory);
  GMicDSPFactory = std::move(AFactory);
  return Previous;
}

QDialog* CreateMicDSPWindow(QWidget* AMainWindow)
{
  return GMicDSPFactory ? GMicDSPFactory(AMainWindow) : nullptr;
}
