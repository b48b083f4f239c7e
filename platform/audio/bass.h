// Core C interface of libvexmo_audio.so, our own small audio engine. The calls carry the names and
// the type codes of the audio library family the program was designed around, so the program code
// reads the same; the engine behind them is ours.
//
// Handles are 32-bit unsigned values and 0 is never a valid handle. A stream made without a
// procedure is a decoding stream with no sound card behind it: samples reach it through our own
// extension BASS_ChannelProcess (below), which runs them through the stream's DSP procedures and
// effects. Live audio goes over the desktop's sound server (PulseAudio, or PipeWire's pulse
// server): recording channels (BASS_RecordStart) and output streams (a stream made with
// STREAMPROC_PUSH or a STREAMPROC). All calls may be made from any thread; the error code is kept
// per thread.
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
typedef DWORD HRECORD; // recording channel

#define BASS_VERSION 0x204
#define BASSVERSION BASS_VERSION

// Error codes (BASS_ErrorGetCode).
#define BASS_OK 0
#define BASS_ERROR_MEM 1       // out of memory
#define BASS_ERROR_FILEOPEN 2  // the file could not be opened
#define BASS_ERROR_DRIVER 3    // no sound server could be reached
#define BASS_ERROR_BUFLOST 4   // the connection to the sound server was lost
#define BASS_ERROR_HANDLE 5    // invalid handle (including 0)
#define BASS_ERROR_FORMAT 6    // unsupported sample format (rate, channel count)
#define BASS_ERROR_INIT 8      // not initialised (BASS_RecordInit was not called)
#define BASS_ERROR_START 9     // the channel is not running
#define BASS_ERROR_ALREADY 14  // already in that state
#define BASS_ERROR_ILLTYPE 19  // unknown type (effect type, config option)
#define BASS_ERROR_ILLPARAM 20 // an illegal parameter
#define BASS_ERROR_DEVICE 23   // no such device
#define BASS_ERROR_NOTAVAIL 37 // not available for this channel
#define BASS_ERROR_DECODE 38   // the channel is not a decoding channel
#define BASS_ERROR_FILEFORM 41 // the file is not in a known format (e.g. not a plug-in)
#define BASS_ERROR_TIMEOUT 40  // the sound server did not answer in time
#define BASS_ERROR_ENDED 45    // the stream has ended (BASS_STREAMPROC_END was given)
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

// Stream procedure of an output stream: fill `buffer` with up to `length` bytes of interleaved
// 32-bit float samples and return how many were written, or'ed with BASS_STREAMPROC_END after the
// last data. It runs on the stream's sound server thread and must not block. A short answer is
// played as silence (the stream stalls) rather than waiting.
typedef DWORD(STREAMPROC)(HSTREAM handle, void* buffer, DWORD length, void* user);
#define STREAMPROC_DUMMY ((STREAMPROC*)0) // a decoding stream with no sound card (see above)
#define STREAMPROC_PUSH ((STREAMPROC*)-1) // an output stream fed with BASS_StreamPutData
#define BASS_STREAMPROC_END 0x80000000

// Recording procedure: `buffer` holds `length` bytes of interleaved 32-bit float samples that
// already went through the channel's DSP procedures and effects. It runs on the channel's own
// processing thread (never the sound server's and never the caller's); return FALSE to stop the
// channel. `buffer` is valid only during the call.
typedef BOOL(RECORDPROC)(HRECORD handle, const void* buffer, DWORD length, void* user);

// BASS_RecordStart flags (besides BASS_SAMPLE_FLOAT, which is what is always delivered).
#define BASS_RECORD_PAUSE 0x8000 // start paused: BASS_ChannelPlay starts it

// BASS_ChannelIsActive.
#define BASS_ACTIVE_STOPPED 0
#define BASS_ACTIVE_PLAYING 1
#define BASS_ACTIVE_STALLED 2 // running but starved of data (no source, push queue empty)
#define BASS_ACTIVE_PAUSED 3

// BASS_ChannelGetPosition modes.
#define BASS_POS_BYTE 0

// BASS_ChannelGetLevelEx flags.
#define BASS_LEVEL_MONO 1   // one level, the highest of all channels
#define BASS_LEVEL_STEREO 2 // two levels: left (even channels) and right (odd channels)
#define BASS_LEVEL_RMS 4    // RMS instead of peak

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

// A stream of `freq` hertz (1..384000) and `chans` channels (1..32).
// - proc NULL (STREAMPROC_DUMMY): a decoding stream with no source (BASS_ChannelProcess); any
//   flags are kept.
// - proc STREAMPROC_PUSH or a STREAMPROC: an output stream to the sound server's default sink (or
//   the one named with BASS_SetOutputSink), made stopped: BASS_ChannelPlay starts it. Its stages
//   run on every buffer before it is played. Fails with BASS_ERROR_DRIVER when no sound server
//   answers within about two seconds, BASS_ERROR_DEVICE when the chosen sink does not exist, and
//   BASS_ERROR_NOTAVAIL with BASS_STREAM_DECODE.
HSTREAM BASSDEF(BASS_StreamCreate)(DWORD freq, DWORD chans, DWORD flags, STREAMPROC* proc,
                                   void* user);
// Frees the stream with every DSP and effect on it; waits for a BASS_ChannelProcess in progress,
// and for an output stream's current buffer. Afterwards its STREAMPROC is not called again.
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

// ---- Live audio: recording ----

// Our own extension: the sound server source (its name, as BASS_WASAPI_DEVICEINFO.id lists it)
// that recording channels started from now on use. NULL or "" means the server's default source.
// The text is copied.
BOOL BASSDEF(BASS_RecordSetSource)(const char* name);
// Checks that a sound server answers (about two seconds at most). `device` -1 or 0 is the source
// chosen with BASS_RecordSetSource; other numbers fail with BASS_ERROR_DEVICE. Fails with
// BASS_ERROR_DRIVER when no server answers. A second call succeeds without checking again.
BOOL BASSDEF(BASS_RecordInit)(int device);
// Frees every recording channel (as BASS_ChannelStop + free) and undoes BASS_RecordInit.
BOOL BASSDEF(BASS_RecordFree)(void);
// Starts recording `chans` channels (1..32) at `freq` hertz (1..384000; the server converts)
// from the chosen source, in blocks of 10 ms. Each block runs through the channel's stages
// (BASS_ChannelSetDSP / SetFX, BASS_WADSP_ChannelSetDSP, the VST bridge), then reaches `proc`
// (may be NULL). Fails with BASS_ERROR_INIT before BASS_RecordInit, BASS_ERROR_DRIVER when the
// server is gone, BASS_ERROR_DEVICE when the source does not exist, BASS_ERROR_TIMEOUT when the
// server does not answer in time. Free the channel with BASS_ChannelFree (or BASS_RecordFree).
HRECORD BASSDEF(BASS_RecordStart)(DWORD freq, DWORD chans, DWORD flags, RECORDPROC* proc,
                                  void* user);

// ---- Live audio: output ----

// Our own extension: the sound server sink (its name) that output streams made from now on play
// to. NULL or "" means the server's default sink. The text is copied.
BOOL BASSDEF(BASS_SetOutputSink)(const char* name);
// Queues `length` bytes of interleaved floats on a STREAMPROC_PUSH stream (copied; the stream's
// stages run on them when they are played). Or'ed with BASS_STREAMPROC_END: this is the last data.
// Returns the number of bytes now queued, or (DWORD)-1 (BASS_ERROR_HANDLE, BASS_ERROR_NOTAVAIL
// for other streams, BASS_ERROR_ILLPARAM for a partial frame, BASS_ERROR_ENDED after the end).
// What does not fit in the queue (two seconds) is dropped and counted (BASS_ChannelGetStatus).
DWORD BASSDEF(BASS_StreamPutData)(HSTREAM handle, const void* buffer, DWORD length);

// ---- Live audio: both kinds of channel ----

// Starts (or resumes) a recording channel or an output stream. `restart` on an output stream
// also drops what is queued and sets the position back to 0.
BOOL BASSDEF(BASS_ChannelPlay)(DWORD handle, BOOL restart);
// Stops (pauses) a recording channel or an output stream; BASS_ChannelPlay resumes it.
BOOL BASSDEF(BASS_ChannelStop)(DWORD handle);
// BASS_ACTIVE_*: PLAYING, PAUSED (stopped by BASS_ChannelStop or started paused), STALLED
// (running but no data: source or server lost, push queue empty), STOPPED (ended, or a decoding
// stream). 0 with BASS_ERROR_HANDLE for a bad handle.
DWORD BASSDEF(BASS_ChannelIsActive)(DWORD handle);
// Frees a recording channel or any stream (as BASS_StreamFree).
BOOL BASSDEF(BASS_ChannelFree)(DWORD handle);
// Output stream: bytes played so far (what has left the speakers as the server reports it).
// Recording channel: bytes delivered so far. (QWORD)-1 on failure.
QWORD BASSDEF(BASS_ChannelGetPosition)(DWORD handle, DWORD mode);
// Levels (linear, 1 = full scale) of the last `length` seconds (up to 1) of samples after the
// stages, per channel (flags 0), or BASS_LEVEL_MONO / BASS_LEVEL_STEREO; peak, or RMS with
// BASS_LEVEL_RMS. Lock-free. For meters with hold, clip and loudness see level_meter.h.
BOOL BASSDEF(BASS_ChannelGetLevelEx)(DWORD handle, float* levels, float length, DWORD flags);

// Our own extension: the state of a live channel, for the UI to show in words.
#define BASS_STATE_OK 0         // running (or paused) normally
#define BASS_STATE_NOSERVER 1   // no sound server (yet): the channel retries every second
#define BASS_STATE_SERVERLOST 2 // the connection to the server broke: retrying every second
#define BASS_STATE_DEVICELOST 3 // the source or sink is gone (unplugged): retrying every second
#define BASS_STATE_OVERRUN 4    // blocks were dropped in the last second: too slow for real time
#define BASS_STATE_UNDERRUN 5   // an output stream ran out of data in the last second
#define BASS_STATE_ENDED 6      // an output stream played its last data
typedef struct
{
  DWORD state;     // BASS_STATE_*
  DWORD dropped;   // recording: blocks of 10 ms dropped since the start (channel too slow, or
                   // the server overran); output: pushed blocks that did not fit the queue
  DWORD underruns; // output: times the server found no data
  DWORD latency;   // microseconds of audio in the server for this stream, as it reports it
  DWORD queued;    // bytes waiting in the channel: recording, not yet processed; output, queued
} BASS_CHANNELSTATUS;
// Fills `status` for a recording channel or an output stream; lock-free, never waits for audio.
BOOL BASSDEF(BASS_ChannelGetStatus)(DWORD handle, BASS_CHANNELSTATUS* status);

#pragma GCC visibility pop

#ifdef __cplusplus
}
#endif

#endif
