// The live microphone: a recording channel of the audio library with the
// microphone chain on it, levels for the meters, headphone monitoring, and the
// take writer that the recording callback feeds while a take is recorded. The
// callback runs on the audio library's processing thread and only copies
// samples into lock-free structures.
#pragma once

#include "audio/bass.h"
#include "audio/level_meter.h"
#include "recorder/take_writer.h"

#include <QString>
#include <atomic>
#include <memory>

class TDSPManager;
class TSystemIni;

// The microphone chosen in the settings dialog (system.ini, input 0).
struct TMicrophone
{
  QString SourceName;  // sound server source; empty: the server's default source
  QString DisplayName; // what the user sees
  int Chans = 1;
};
TMicrophone ConfiguredMicrophone(TSystemIni* ASystemIni);

class TCaptureEngine
{
public:
  TCaptureEngine();
  ~TCaptureEngine();
  TCaptureEngine(const TCaptureEngine&) = delete;
  TCaptureEngine& operator=(const TCaptureEngine&) = delete;

  // Connects to the sound server and starts the microphone with the switched-on
  // stages of AChain (which gets the channel as its WorkChannel; may be
  // nullptr). Nothing is recorded yet. False with AError in words when there is
  // no server or no such microphone.
  bool Open(const TMicrophone& AMic, int ARate, TDSPManager* AChain, QString* AError);
  // Stops a take in progress, detaches the chain and frees the channel.
  void Close();
  bool IsOpen() const { return FChannel != 0; }
  HRECORD Channel() const { return FChannel; }
  int Rate() const { return FRate; }
  int Chans() const { return FChans; }

  // Starts streaming into a new take file. False with AError.
  bool StartTake(const QString& APath, QString* AError);
  // Ends the take: the rest is written and the file closed. False when the file
  // failed.
  bool StopTake();
  bool Recording() const { return FRecording.load(std::memory_order_acquire); }
  TTakeWriter& Writer() { return FWriter; }

  // The levels after the chain (peak, hold, clip, loudness); read from one
  // thread only.
  vexmo::audio::TLevelMeter& Meter() { return *FMeter; }
  // Blocks of 10 ms delivered since Open.
  uint64_t Blocks() const { return FBlocks.load(std::memory_order_relaxed); }

  // The channel's trouble in plain words, empty when it runs normally.
  QString Trouble() const;
  // True when the channel lost its microphone or server (recording then holds
  // still).
  bool Lost() const;

  // Headphone monitoring of the processed microphone.
  bool SetListen(bool AOn, QString* AError = nullptr);
  bool Listening() const { return FListen.load(std::memory_order_acquire); }

private:
  static BOOL RecordProc(HRECORD AHandle, const void* ABuffer, DWORD ALength, void* AUser);
  void OnBlock(const float* ASamples, DWORD AFrames);

  HRECORD FChannel = 0;
  HSTREAM FMonitor = 0;
  TDSPManager* FChain = nullptr;
  int FRate = 0;
  int FChans = 0;
  TTakeWriter FWriter;
  std::atomic<bool> FRecording{false};
  std::atomic<bool> FListen{false};
  std::atomic<uint64_t> FBlocks{0};
  std::unique_ptr<vexmo::audio::TLevelMeter> FMeter;
};
