// Core C interface of libvexmo_audio.so, our own small audio engine. The calls carry the names and
// the type codes of the audio library family the program was designed around, so the program code
// reads the same; the engine behind them is ours.
//
// Handles are 32-bit unsigned values and 0 is never a valid handle. There is no sound card behind
// a stream: every stream is a decoding stream, and samples reach it through our own extension
// BASS_ChannelProcess (below), which runs them through the stream's DSP procedures and effects.
// All calls may be made from any thread; the error code is kept per thread.
#ifndef VEXMO_AUDIO_BASS_H
#define VEXMO_AUDIO_BASS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define BASSDEF(f) f

// The library is built with hidden visibility; the calls declared here are its exports.
#pragma GCC visibility push(default)

typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef uint64_t QWORD;
typedef int BOOL;
#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

typedef DWORD HSTREAM; // stream (a channel)
typedef DWORD HDSP;    // DSP procedure attached to a channel
typedef DWORD HFX;     // effect attached to a channel
typedef DWORD HPLUGIN; // add-on (never created by this engine, kept for record layouts)
typedef DWORD HSAMPLE; // sample (never created by this engine, kept for record layouts)

#define BASS_VERSION 0x204
#define BASSVERSION BASS_VERSION

// Error codes (BASS_ErrorGetCode).
#define BASS_OK 0
#define BASS_ERROR_MEM 1       // out of memory
#define BASS_ERROR_FILEOPEN 2  // the file could not be opened
#define BASS_ERROR_HANDLE 5    // invalid handle (including 0)
#define BASS_ERROR_FORMAT 6    // unsupported sample format (rate, channel count)
#define BASS_ERROR_INIT 8      // not initialised
#define BASS_ERROR_ALREADY 14  // already in that state
#define BASS_ERROR_ILLTYPE 19  // unknown type (effect type, config option)
#define BASS_ERROR_ILLPARAM 20 // an illegal parameter
#define BASS_ERROR_DEVICE 23   // no such device
#define BASS_ERROR_NOTAVAIL 37 // not available for this channel
#define BASS_ERROR_DECODE 38   // the channel is not a decoding channel
#define BASS_ERROR_FILEFORM 41 // the file is not in a known format (e.g. not a plug-in)
#define BASS_ERROR_UNKNOWN -1

// Configuration options.
#define BASS_CONFIG_NET_AGENT 16 // pointer option: user agent text; the pointer itself is kept
#define BASS_CONFIG_FLOATDSP 36  // DSP procedures get 32-bit float samples (always so here)

// Stream flags.
#define BASS_SAMPLE_8BITS 1
#define BASS_SAMPLE_MONO 2
#define BASS_SAMPLE_FLOAT 256
#define BASS_STREAM_DECODE 0x200000

// Channel types (BASS_CHANNELINFO.ctype).
#define BASS_CTYPE_STREAM 0x10000

// Stream procedure; our streams have none (pass NULL, or STREAMPROC_DUMMY).
typedef DWORD(STREAMPROC)(HSTREAM handle, void* buffer, DWORD length, void* user);
#define STREAMPROC_DUMMY ((STREAMPROC*)0)

// DSP procedure: buffer holds `length` bytes of interleaved 32-bit float samples, changed in
// place. `channel` is the channel the procedure is attached to.
typedef void(DSPPROC)(HDSP handle, DWORD channel, void* buffer, DWORD length, void* user);

typedef struct
{
  DWORD freq;           // sample rate in hertz
  DWORD chans;          // channel count
  DWORD flags;          // BASS_SAMPLE_* / BASS_STREAM_* flags the stream was made with
  DWORD ctype;          // BASS_CTYPE_STREAM
  DWORD origres;        // original resolution in bits: 32 (float) here
  HPLUGIN plugin;       // 0
  HSAMPLE sample;       // 0
  const char* filename; // NULL
} BASS_CHANNELINFO;

// Library version: 0x02040000 + our own revision.
DWORD BASSDEF(BASS_GetVersion)(void);
// Error code of the last call made on this thread (BASS_OK after a success).
int BASSDEF(BASS_ErrorGetCode)(void);

// BASS_CONFIG_FLOATDSP: stored and reported. Unknown options fail with BASS_ERROR_ILLTYPE.
BOOL BASSDEF(BASS_SetConfig)(DWORD option, DWORD value);
DWORD BASSDEF(BASS_GetConfig)(DWORD option); // (DWORD)-1 on failure
// BASS_CONFIG_NET_AGENT: the pointer is kept as given (the caller keeps the text alive).
BOOL BASSDEF(BASS_SetConfigPtr)(DWORD option, const void* value);
const void* BASSDEF(BASS_GetConfigPtr)(DWORD option);

// A stream of `freq` hertz (1..384000) and `chans` channels (1..32) with no source. Only a
// procedure of NULL is accepted (BASS_ERROR_NOTAVAIL otherwise); any flags are kept.
HSTREAM BASSDEF(BASS_StreamCreate)(DWORD freq, DWORD chans, DWORD flags, STREAMPROC* proc,
                                   void* user);
// Frees the stream with every DSP and effect on it; waits for a BASS_ChannelProcess in progress.
BOOL BASSDEF(BASS_StreamFree)(HSTREAM handle);
BOOL BASSDEF(BASS_ChannelGetInfo)(DWORD handle, BASS_CHANNELINFO* info);

// Stages of a channel run by priority, higher first, and in the order of attachment among equal
// priorities. Attaching to channel 0 or to a freed channel fails with 0 (BASS_ERROR_HANDLE).
HDSP BASSDEF(BASS_ChannelSetDSP)(DWORD handle, DSPPROC* proc, void* user, int priority);
// Once this returns, the procedure is not running and will not be called again.
BOOL BASSDEF(BASS_ChannelRemoveDSP)(DWORD handle, HDSP dsp);
// Effect types are in bass_fx.h (0x10004 peaking equalizer, 0x10011 compressor).
HFX BASSDEF(BASS_ChannelSetFX)(DWORD handle, DWORD type, int priority);
BOOL BASSDEF(BASS_ChannelRemoveFX)(DWORD handle, HFX fx);
// `params` points to the effect's parameter record (bass_fx.h).
BOOL BASSDEF(BASS_FXSetParameters)(HFX handle, const void* params);
BOOL BASSDEF(BASS_FXGetParameters)(HFX handle, void* params);

// Our own extension, not part of the library family: runs `length` bytes of interleaved 32-bit
// float samples in place through every DSP procedure and effect of the channel, in stage order.
// `length` must be a whole number of frames (4 * chans bytes). Returns the number of bytes
// processed, or (DWORD)-1 on failure (BASS_ERROR_HANDLE, BASS_ERROR_ILLPARAM).
DWORD BASSDEF(BASS_ChannelProcess)(DWORD handle, void* buffer, DWORD length);

#pragma GCC visibility pop

#ifdef __cplusplus
}
#endif

#endif
