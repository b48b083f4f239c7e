// C interface of libbass_vst.so, the VST bridge: hosts Linux VST2 plug-ins (.so files exporting
// VSTPluginMain or main), attaches them to channels of libvexmo_audio.so, reports their names and
// parameters and embeds their X11 editors. The program loads the library by name at run time and
// binds the eight calls below with dlsym; the function pointer types are given for that.
//
// Handles are 32-bit values, never 0 and never reused during a run. A channel of 0 gives an
// instance that is attached to no channel, for editing only. Every call may be made from any
// thread; parameter changes are safe while the plug-in processes audio on another thread.
#ifndef VEXMO_BASS_VST_H
#define VEXMO_BASS_VST_H

#include "audio/bass.h"

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define BASSVSTDEF(f) __attribute__((visibility("default"))) f

// BASS_VST_ChannelSetDSP flag: the file name is UTF-16 (char16_t), not 8-bit UTF-8.
#ifndef BASS_UNICODE
#define BASS_UNICODE 0x80000000
#endif

// What BASS_VST_GetInfo fills: exactly 288 bytes. Texts are 8-bit as the plug-in reports them,
// always zero-terminated, cut at a character boundary when too long.
typedef struct
{
  DWORD uniqueID;       // 0: the plug-in's four-character identifier
  DWORD effectVersion;  // 4: the plug-in's own version number
  char effectName[80];  // 8
  char productName[80]; // 88
  DWORD inputs;         // 168: the plug-in's audio inputs
  DWORD outputs;        // 172: the plug-in's audio outputs
  DWORD params;         // 176: parameter count
  char vendorName[80];  // 180
  DWORD programs;       // 260: program count
  DWORD initialDelay;   // 264: latency in samples
  DWORD chans;          // 268: channel count of the attached channel, 0 when unattached
  DWORD effectFlags;    // 272: the plug-in's own flags word
  DWORD hasEditor;      // 276: 1 when the plug-in has an editor of its own
  DWORD editorWidth;    // 280: editor size in pixels, 0 when unknown (no display, or the
  DWORD editorHeight;   // 284:   plug-in does not tell before its editor opens)
} BASS_VST_INFO;

// What BASS_VST_GetParamInfo fills: exactly 48 bytes, texts zero-terminated (at most 15
// characters, cut at a character boundary).
typedef struct
{
  char name[16];    // 0: parameter name
  char unit[16];    // 16: unit label ("dB", "%")
  char display[16]; // 32: the current value as the plug-in shows it
} BASS_VST_PARAM_INFO;

#ifdef __cplusplus
static_assert(offsetof(BASS_VST_INFO, effectName) == 8, "record layout");
static_assert(offsetof(BASS_VST_INFO, vendorName) == 180, "record layout");
static_assert(offsetof(BASS_VST_INFO, hasEditor) == 276, "record layout");
static_assert(offsetof(BASS_VST_INFO, editorWidth) == 280, "record layout");
static_assert(offsetof(BASS_VST_INFO, editorHeight) == 284, "record layout");
static_assert(sizeof(BASS_VST_INFO) == 288, "record layout");
static_assert(offsetof(BASS_VST_PARAM_INFO, display) == 32, "record layout");
static_assert(sizeof(BASS_VST_PARAM_INFO) == 48, "record layout");
#endif

// Loads the plug-in file and, for a channel other than 0, attaches it to the channel at the given
// priority. Returns the instance handle, or 0 when the file is missing, is no VST2 plug-in, or the
// channel does not exist.
DWORD BASSVSTDEF(BASS_VST_ChannelSetDSP)(DWORD chan, const void* file, DWORD flags, int priority);
// Detaches the instance from its channel (which must be the one given) and frees it, closing its
// editor first. FALSE for an unknown handle or another channel.
BOOL BASSVSTDEF(BASS_VST_ChannelRemoveDSP)(DWORD chan, DWORD vstHandle);
// Opens the plug-in's editor inside the X11 window `parentWindow`; a window of 0 closes it.
// FALSE when there is no X display, the window does not exist or the plug-in has no editor.
BOOL BASSVSTDEF(BASS_VST_EmbedEditor)(DWORD vstHandle, uintptr_t parentWindow);
BOOL BASSVSTDEF(BASS_VST_GetInfo)(DWORD vstHandle, BASS_VST_INFO* info);
// Parameter values are normalised to 0..1; values outside are clamped before they reach the
// plug-in. An unknown handle or index reads 0 and sets nothing.
float BASSVSTDEF(BASS_VST_GetParam)(DWORD vstHandle, int paramIndex);
BOOL BASSVSTDEF(BASS_VST_SetParam)(DWORD vstHandle, int paramIndex, float value);
// 0 for an unknown handle.
int BASSVSTDEF(BASS_VST_GetParamCount)(DWORD vstHandle);
BOOL BASSVSTDEF(BASS_VST_GetParamInfo)(DWORD vstHandle, int paramIndex, BASS_VST_PARAM_INFO* ret);

// Types for binding the calls by name.
typedef DWORD (*BASS_VST_ChannelSetDSP_t)(DWORD, const void*, DWORD, int);
typedef BOOL (*BASS_VST_ChannelRemoveDSP_t)(DWORD, DWORD);
typedef BOOL (*BASS_VST_EmbedEditor_t)(DWORD, uintptr_t);
typedef BOOL (*BASS_VST_GetInfo_t)(DWORD, BASS_VST_INFO*);
typedef float (*BASS_VST_GetParam_t)(DWORD, int);
typedef BOOL (*BASS_VST_SetParam_t)(DWORD, int, float);
typedef int (*BASS_VST_GetParamCount_t)(DWORD);
typedef BOOL (*BASS_VST_GetParamInfo_t)(DWORD, int, BASS_VST_PARAM_INFO*);

#ifdef __cplusplus
}
#endif

#endif
