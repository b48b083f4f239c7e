// The binary interface between a Winamp-style DSP plug-in (dsp_*.so) and its host, as this
// program defines it. A plug-in exports one C function, winampDSPGetHeader2, returning its header;
// the header hands out modules by index, and each module processes 16-bit interleaved samples.
#ifndef VEXMO_WINAMP_DSP_H
#define VEXMO_WINAMP_DSP_H

#ifdef __cplusplus
extern "C" {
#endif

#define WINAMP_DSP_HEADER_VERSION 0x20

typedef struct winampDSPModule
{
  char* description;  // the module's name
  void* hwndParent;   // set by the host before Init: the host's main window (may be null)
  void* hDllInstance; // set by the host before Init: the library handle from dlopen
  // Shows the module's settings; must not block or fail without a display.
  void (*Config)(struct winampDSPModule* this_mod);
  // Called once before processing; 0 means success.
  int (*Init)(struct winampDSPModule* this_mod);
  // Changes `numsamples` frames of `nch` interleaved samples of `bps` bits (16 here) at `srate`
  // hertz in place and returns the number of frames it leaves in the buffer. The buffer has room
  // for twice `numsamples` frames.
  int (*ModifySamples)(struct winampDSPModule* this_mod, short int* samples, int numsamples,
                       int bps, int nch, int srate);
  // Called once after processing ends; frees what Init made.
  void (*Quit)(struct winampDSPModule* this_mod);
  void* userData; // the module's own
} winampDSPModule;

typedef struct
{
  int version;                              // WINAMP_DSP_HEADER_VERSION
  char* description;                        // the plug-in's name
  winampDSPModule* (*getModule)(int index); // null past the last module
} winampDSPHeader;

typedef winampDSPHeader* (*winampDSPGetHeaderType)(void);

#define WINAMP_DSP_ENTRY_POINT "winampDSPGetHeader2"

#ifdef __cplusplus
}
#endif

#endif
