// Sound endpoints of libvexmo_audio.so, in the shape of the audio library family's WASAPI add-on.
// The list comes from the sound server (PulseAudio or PipeWire through libpulse):
// - every source is an input endpoint (BASS_DEVICE_INPUT), the monitor of a sink is a loopback
//   endpoint (BASS_DEVICE_LOOPBACK | BASS_DEVICE_INPUT), every sink is an output endpoint;
// - an endpoint is enabled (BASS_DEVICE_ENABLED) unless its active port is reported unavailable,
//   in which case it is BASS_DEVICE_UNPLUGGED (a monitor follows its sink);
// - name = the server's description, id = the server's name of the source or sink.
// With no sound server the list is empty. Only sound endpoints are listed; nothing is opened.
#ifndef VEXMO_AUDIO_BASSWASAPI_H
#define VEXMO_AUDIO_BASSWASAPI_H

#include "bass.h"

#ifdef __cplusplus
extern "C" {
#endif

#pragma GCC visibility push(default)

// Device flags.
#ifndef BASS_DEVICE_ENABLED
#define BASS_DEVICE_ENABLED 1
#define BASS_DEVICE_DEFAULT 2
#define BASS_DEVICE_INIT 4
#define BASS_DEVICE_LOOPBACK 8
#define BASS_DEVICE_INPUT 16
#define BASS_DEVICE_UNPLUGGED 32
#define BASS_DEVICE_DISABLED 64
#endif

// Device types, from the endpoint's form factor where the server reports one.
#define BASS_WASAPI_TYPE_NETWORKDEVICE 0
#define BASS_WASAPI_TYPE_SPEAKERS 1
#define BASS_WASAPI_TYPE_LINELEVEL 2
#define BASS_WASAPI_TYPE_HEADPHONES 3
#define BASS_WASAPI_TYPE_MICROPHONE 4
#define BASS_WASAPI_TYPE_HEADSET 5
#define BASS_WASAPI_TYPE_HANDSET 6
#define BASS_WASAPI_TYPE_DIGITAL 7
#define BASS_WASAPI_TYPE_SPDIF 8
#define BASS_WASAPI_TYPE_HDMI 9
#define BASS_WASAPI_TYPE_UNKNOWN 10

typedef struct
{
  const char* name; // UTF-8 description; kept alive by the library for the process's life
  const char* id;   // UTF-8 source or sink name; kept alive likewise
  DWORD type;       // BASS_WASAPI_TYPE_*
  DWORD flags;      // BASS_DEVICE_*
  float minperiod;  // not known through the sound server: 0
  float defperiod;  // not known through the sound server: 0
  DWORD mixfreq;    // the endpoint's sample rate
  DWORD mixchans;   // the endpoint's channel count
} BASS_WASAPI_DEVICEINFO;

#define BASS_ERROR_WASAPI 5000 // no sound server could be reached

// Device `device` of the list, FALSE (BASS_ERROR_DEVICE) past its end, or BASS_ERROR_WASAPI when
// the last enumeration found no sound server. Asking for device 0 reads the list afresh from the
// sound server (waiting at most about two seconds); the other indexes read the list of the last
// enumeration.
BOOL BASSDEF(BASS_WASAPI_GetDeviceInfo)(DWORD device, BASS_WASAPI_DEVICEINFO* info);

#pragma GCC visibility pop

#ifdef __cplusplus
}
#endif

#endif
