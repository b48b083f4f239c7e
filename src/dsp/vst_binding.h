// The VST bridge (libbass_vst.so), loaded on demand and bound call by call by name. Loading it
// at run time keeps the program working on machines without it: VST plug-ins are then simply
// not offered.
#pragma once

#include "vst/bass_vst.h"

#include <QString>

// The eight calls; all null while the bridge is not bound.
struct TVSTBridge
{
  BASS_VST_ChannelSetDSP_t ChannelSetDSP = nullptr;
  BASS_VST_ChannelRemoveDSP_t ChannelRemoveDSP = nullptr;
  BASS_VST_EmbedEditor_t EmbedEditor = nullptr;
  BASS_VST_GetInfo_t GetInfo = nullptr;
  BASS_VST_GetParam_t GetParam = nullptr;
  BASS_VST_SetParam_t SetParam = nullptr;
  BASS_VST_GetParamCount_t GetParamCount = nullptr;
  BASS_VST_GetParamInfo_t GetParamInfo = nullptr;
};

// Plug-ins reporting more parameters than this are refused: storing and showing millions of
// them would freeze the program.
constexpr int VSTMaxParams = 10000;

// Loads the bridge (again, also when it is bound already): libbass_vst.so from the program
// folder when it is there, else the plain name through the system's library search. Then binds
// the eight calls. Any failure unbinds and returns false; nothing is shown.
//
// The bound ChannelSetDSP refuses a plug-in that reports more than VSTMaxParams parameters: it
// detaches it again, says so in a message box and returns 0.
bool BindVST();
void UnbindVST();
// Whether the bridge is loaded and bound. While VST plug-ins are switched on and it is not bound
// yet, it is bound first: a stage read from the settings needs it before any plug-in list was
// made.
bool VSTBound();
// The file of the bound bridge (empty while not bound).
QString VSTBridgePath();
// The bound calls (check VSTBound first).
const TVSTBridge& VST();
// Why the last BindVST failed (the loader's text, or "Unable to locate a function (VST)");
// empty after a success.
QString VSTBindError();

// The name tried when the program folder holds no bridge. Tests use it to stand for a machine
// without one; returns the previous name.
QString SetVSTBridgeFallbackName(const QString& AName);
// "libbass_vst.so".
extern const QString VSTBridgeFileName;
