// Winamp DSP plug-in hosting of libvexmo_audio.so: loads dsp_*.so files that export the interface
// of winamp_dsp.h and runs a started plug-in as a stage of a channel (bass.h). Plug-ins process
// 16-bit samples, so the channel's float samples are converted around them (clipped at full
// scale). Texts are UTF-8.
#ifndef VEXMO_AUDIO_BASS_WADSP_H
#define VEXMO_AUDIO_BASS_WADSP_H

#include "bass.h"

#ifdef __cplusplus
extern "C" {
#endif

#pragma GCC visibility push(default)

typedef DWORD HWADSP; // a loaded plug-in
typedef void* HWND;   // a window handle (any pointer the host wants to hand to plug-ins)

// Window procedure of the original interface; kept for the shape of BASS_WADSP_Load, never called.
typedef intptr_t(WINAMPWINPROC)(HWND hwnd, unsigned int msg, uintptr_t wParam, intptr_t lParam);

// Remembers the window that started modules get as hwndParent. Always succeeds.
BOOL BASSDEF(BASS_WADSP_Init)(HWND hwndMain);
// Detaches, stops and unloads every plug-in; their handles become invalid.
BOOL BASSDEF(BASS_WADSP_Free)(void);
// The same for one plug-in.
BOOL BASSDEF(BASS_WADSP_FreeDSP)(HWADSP plugin);

// Loads the plug-in file (full path) with module 0 selected. The position and size are kept for
// the original interface's sake and not used; proc may be null. Returns 0 when the file cannot
// be opened (BASS_ERROR_FILEOPEN), is not a Winamp DSP plug-in (BASS_ERROR_FILEFORM) or is
// already loaded (BASS_ERROR_ALREADY).
HWADSP BASSDEF(BASS_WADSP_Load)(const char* dspfile, int x, int y, int width, int height,
                                WINAMPWINPROC* proc);
// The plug-in's name (its header's description), valid while the plug-in is loaded.
const char* BASSDEF(BASS_WADSP_GetName)(HWADSP plugin);

// Starts module `module` (calls its Init); a started plug-in stays started. hchan is not used.
BOOL BASSDEF(BASS_WADSP_Start)(HWADSP plugin, DWORD module, DWORD hchan);
// Stops the running module (calls its Quit); an attached plug-in then passes samples unchanged.
BOOL BASSDEF(BASS_WADSP_Stop)(HWADSP plugin);

// Attaches the plug-in to a channel (moving it from the one it was on). Returns the stage's
// handle, 0 for channel 0 or an unknown channel (BASS_ERROR_HANDLE).
HDSP BASSDEF(BASS_WADSP_ChannelSetDSP)(HWADSP plugin, DWORD hchan, int priority);
BOOL BASSDEF(BASS_WADSP_ChannelRemoveDSP)(HWADSP plugin);

// Title and file name of what is playing; kept with the plug-in (copied).
BOOL BASSDEF(BASS_WADSP_SetSongTitle)(HWADSP plugin, const char* title);
BOOL BASSDEF(BASS_WADSP_SetFileName)(HWADSP plugin, const char* file);
// Our own extension: what was last set (empty text at first), valid until the next change.
const char* BASSDEF(BASS_WADSP_GetSongTitle)(HWADSP plugin);
const char* BASSDEF(BASS_WADSP_GetFileName)(HWADSP plugin);

// Calls the selected module's Config.
BOOL BASSDEF(BASS_WADSP_Config)(HWADSP plugin);

#pragma GCC visibility pop

#ifdef __cplusplus
}
#endif

#endif
