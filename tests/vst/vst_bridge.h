// The bridge as the program sees it: libbass_vst.so from the program folder, loaded by name and
// bound call by call with dlsym, plus the paths of the plug-ins the tests load.
#pragma once

#include "vst/bass_vst.h"

#include <QString>
#include <string>

struct TVstBridge
{
  // Loads the bridge once for the whole test run; the tests fail at the first call if it is
  // missing or incomplete.
  static const TVstBridge& Get();

  bool Bound = false;
  std::string Error;
  BASS_VST_ChannelSetDSP_t ChannelSetDSP = nullptr;
  BASS_VST_ChannelRemoveDSP_t ChannelRemoveDSP = nullptr;
  BASS_VST_EmbedEditor_t EmbedEditor = nullptr;
  BASS_VST_GetInfo_t GetInfo = nullptr;
  BASS_VST_GetParam_t GetParam = nullptr;
  BASS_VST_SetParam_t SetParam = nullptr;
  BASS_VST_GetParamCount_t GetParamCount = nullptr;
  BASS_VST_GetParamInfo_t GetParamInfo = nullptr;

  // Loads a plug-in the way the program does: the path as UTF-16 with BASS_UNICODE.
  DWORD Load(DWORD AChannel, const QString& APath, int APriority = 49) const;
};

// Whether an X server answers (DISPLAY set and reachable).
bool HaveXDisplay();

// Our own plug-ins and fixtures.
QString TestGainPath();
QString BrokenPluginPath(const char* AKind); // "notavst", "nullentry", "badmagic", "throws"
