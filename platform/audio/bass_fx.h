// Effects of libvexmo_audio.so, with the type codes and parameter records of the audio library
// family's effects add-on. Effects are attached with BASS_ChannelSetFX (bass.h) and set with
// BASS_FXSetParameters / BASS_FXGetParameters, passing a pointer to the record of their type.
#ifndef VEXMO_AUDIO_BASS_FX_H
#define VEXMO_AUDIO_BASS_FX_H

#include "bass.h"

#ifdef __cplusplus
extern "C" {
#endif

#pragma GCC visibility push(default)

// Effect types.
#define BASS_FX_BFX_PEAKEQ 0x10004      // peaking equalizer with several bands
#define BASS_FX_BFX_COMPRESSOR2 0x10011 // compressor

// Channel masks (lChannel): bit n selects channel n + 1.
#define BASS_BFX_CHANALL -1
#define BASS_BFX_CHANNONE 0
#define BASS_BFX_CHAN1 1
#define BASS_BFX_CHAN2 2
#define BASS_BFX_CHAN3 4
#define BASS_BFX_CHAN4 8
#define BASS_BFX_CHAN5 16
#define BASS_BFX_CHAN6 32
#define BASS_BFX_CHAN7 64
#define BASS_BFX_CHAN8 128

// Peaking equalizer: one record per band. Setting a band with a new lBand adds that band; to read
// a band, set lBand and call BASS_FXGetParameters (fails for a band never set).
// Accepted: lBand 0..63; fCenter above 0 and below half the sample rate; fGain -60..+60 dB;
// fQ 0..100, where 0 means the width is fBandwidth octaves (then 0 < fBandwidth <= 12).
// Bands are RBJ peaking biquads, run one after the other in band order.
typedef struct
{
  int lBand;        // band index
  float fBandwidth; // width in octaves, used when fQ is 0
  float fQ;         // quality factor, or 0
  float fCenter;    // centre frequency in hertz
  float fGain;      // gain in decibels
  int lChannel;     // channel mask (BASS_BFX_CHAN*)
} BASS_BFX_PEAKEQ;

// Compressor: a feed-forward compressor with a peak detector. Above the threshold the level rises
// by 1/fRatio dB per dB; fGain is the make-up gain added afterwards. Until first set: gain 0 dB,
// threshold 0 dB, ratio 1 (no change), attack 10 ms, release 200 ms.
// Accepted: fGain -60..+60 dB; fThreshold -60..0 dB; fRatio 1..1000; fAttack 0..1000 ms;
// fRelease 0..5000 ms.
typedef struct
{
  float fGain;      // make-up gain in decibels
  float fThreshold; // threshold in decibels (0 dB = full scale)
  float fRatio;     // compression ratio
  float fAttack;    // attack time in milliseconds
  float fRelease;   // release time in milliseconds
  int lChannel;     // channel mask (BASS_BFX_CHAN*)
} BASS_BFX_COMPRESSOR2;

// Version of the effects part (0x02040000 + our own revision).
DWORD BASSDEF(BASS_FX_GetVersion)(void);

#pragma GCC visibility pop

#ifdef __cplusplus
}
#endif

#endif
