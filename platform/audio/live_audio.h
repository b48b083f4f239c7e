// Inside of libvexmo_audio.so: live channels over the sound server (libpulse). A live channel
// owns a threaded main loop, a context and one stream, and keeps reconnecting on its own when the
// server or its device goes away. Samples cross threads through single-producer/single-consumer
// rings, so neither the server thread nor the processing thread waits for the other or for a
// caller.
#pragma once

#include "audio_engine.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;
struct pa_time_event;
struct pa_mainloop_api;

namespace vexmo::audio {

// Bytes in a ring of fixed room, one writer thread and one reader thread, no locks.
class TByteRing
{
public:
  explicit TByteRing(size_t ACapacity);
  size_t Capacity() const { return FData.size(); }
  size_t Readable() const;
  size_t Writable() const;
  // Copies as much as fits (Write) or is there (Read); returns the count.
  size_t Write(const void* AData, size_t ALength);
  size_t Read(void* AData, size_t ALength);
  // Reader side: forgets what is queued.
  void Clear();

private:
  std::vector<unsigned char> FData;
  std::atomic<size_t> FHead{0}; // total bytes written
  std::atomic<size_t> FTail{0}; // total bytes read
};

// The last second of a channel's processed samples, for BASS_ChannelGetLevelEx. Written by the
// audio thread, read by anyone without a lock (a torn read only skews one level).
class TLevelHistory
{
public:
  TLevelHistory(DWORD AFreq, DWORD AChans);
  void Add(const float* ASamples, size_t AFrames);
  bool Levels(float* ALevels, float ASeconds, DWORD AFlags) const;

private:
  DWORD FFreq;
  DWORD FChans;
  size_t FFrames;
  std::vector<std::atomic<float>> FData;
  std::atomic<size_t> FWritten{0}; // total frames
};

class TLiveChannel
{
public:
  TLiveChannel(std::shared_ptr<TChannel> AChannel, std::string ADevice, bool APaused);
  virtual ~TLiveChannel();
  TLiveChannel(const TLiveChannel&) = delete;
  TLiveChannel& operator=(const TLiveChannel&) = delete;

  DWORD Handle() const { return FChannel->Handle(); }
  // Connects and makes the stream; waits about two seconds at most. BASS_OK or an error code.
  int Open();
  // Stops every thread of the channel; no callback runs afterwards.
  virtual void Close();
  virtual bool Play(bool ARestart);
  bool Stop();
  DWORD Active() const;
  void Status(BASS_CHANNELSTATUS& AStatus) const;
  virtual QWORD Position() const = 0;
  bool Levels(float* ALevels, float ASeconds, DWORD AFlags) const
  {
    return FHistory.Levels(ALevels, ASeconds, AFlags);
  }
  virtual bool IsRecording() const = 0;

protected:
  enum TConnection
  {
    cConnecting,
    cReady,
    cNoServer,
    cServerLost,
    cDeviceLost,
    cFailedToOpen
  };

  // With the main loop locked: make and connect the stream (FStream).
  virtual pa_stream* NewStream(pa_context* AContext) = 0;
  virtual DWORD ActiveNow() const = 0;
  virtual void AddStatus(BASS_CHANNELSTATUS& AStatus) const = 0;
  // Runs the channel's stages on a buffer and records its levels (audio threads only).
  void RunStages(float* ASamples, DWORD ABytes);
  void NoteDrop(DWORD ABlocks);
  static bool Recent(const std::atomic<int64_t>& AWhen);
  static int64_t Now();
  DWORD BytesPerFrame() const { return 4 * FChannel->Chans(); }
  void UpdateLatency();

  std::shared_ptr<TChannel> FChannel;
  std::string FDevice;
  pa_threaded_mainloop* FLoop = nullptr;
  pa_stream* FStream = nullptr;
  std::atomic<bool> FPaused;
  std::atomic<int> FConnection{cConnecting};
  std::atomic<DWORD> FDropped{0};
  std::atomic<int64_t> FLastDrop{INT64_MIN};
  std::atomic<DWORD> FLatency{0};
  TLevelHistory FHistory;

private:
  void Connect();
  void DropStream();
  void DropContext();
  void ScheduleRetry();
  void Retry();
  static void OnContextState(pa_context* AContext, void* AUser);
  static void OnStreamState(pa_stream* AStream, void* AUser);
  static void OnRetry(pa_mainloop_api* AApi, pa_time_event* AEvent, const struct timeval* ATime,
                      void* AUser);

  pa_context* FContext = nullptr;
  pa_time_event* FRetryEvent = nullptr;
  bool FOpened = false; // after Open succeeded: failures are retried instead of reported
  bool FClosed = false;
};

class TCaptureChannel final : public TLiveChannel
{
public:
  TCaptureChannel(std::shared_ptr<TChannel> AChannel, std::string ASource, bool APaused,
                  RECORDPROC* AProc, void* AUser);
  ~TCaptureChannel() override;
  void Close() override;
  QWORD Position() const override { return FDelivered.load(); }
  bool IsRecording() const override { return true; }

protected:
  pa_stream* NewStream(pa_context* AContext) override;
  DWORD ActiveNow() const override;
  void AddStatus(BASS_CHANNELSTATUS& AStatus) const override;

private:
  static void OnRead(pa_stream* AStream, size_t ABytes, void* AUser);
  static void OnOverflow(pa_stream* AStream, void* AUser);
  void Work();

  RECORDPROC* FProc;
  void* FUser;
  DWORD FBlockBytes;
  TByteRing FRing;
  std::vector<float> FBlock;
  std::thread FWorker;
  std::atomic<bool> FQuit{false};
  std::atomic<bool> FProcStopped{false};
  std::atomic<uint32_t> FWake{0};
  std::atomic<QWORD> FDelivered{0};
};

class TOutputStream final : public TLiveChannel
{
public:
  TOutputStream(std::shared_ptr<TChannel> AChannel, std::string ASink, STREAMPROC* AProc,
                void* AUser);
  bool Play(bool ARestart) override;
  QWORD Position() const override;
  bool IsRecording() const override { return false; }
  // STREAMPROC_PUSH streams: (DWORD)-1 with an error code set on failure.
  DWORD PutData(const void* ABuffer, DWORD ALength);

protected:
  pa_stream* NewStream(pa_context* AContext) override;
  DWORD ActiveNow() const override;
  void AddStatus(BASS_CHANNELSTATUS& AStatus) const override;

private:
  static void OnWrite(pa_stream* AStream, size_t ABytes, void* AUser);
  static void OnUnderflow(pa_stream* AStream, void* AUser);
  static void OnTiming(pa_stream* AStream, void* AUser);
  void TakeTime();

  STREAMPROC* FProc; // STREAMPROC_PUSH for a push stream
  void* FUser;
  TByteRing FRing;
  std::atomic<bool> FEndQueued{false}; // no more data will come
  std::atomic<bool> FEnded{false};     // the last data has been handed to the server
  std::atomic<bool> FDrained{false};   // ... and the server has played it
  std::atomic<DWORD> FUnderruns{0};
  std::atomic<int64_t> FLastUnderrun{INT64_MIN};
  std::atomic<uint64_t> FPlayedUs{0};       // server's playing time at FPlayedAt
  std::atomic<int64_t> FPlayedAt{0};        // steady clock, nanoseconds
  std::atomic<uint64_t> FPositionBaseUs{0}; // playing time at the last restart
  std::atomic<bool> FRestarted{false};
};

// The live channels by handle.
class TLiveRegistry
{
public:
  static TLiveRegistry& Instance();
  void Add(std::shared_ptr<TLiveChannel> AChannel);
  std::shared_ptr<TLiveChannel> Find(DWORD AHandle);
  std::shared_ptr<TLiveChannel> Take(DWORD AHandle);
  std::vector<std::shared_ptr<TLiveChannel>> TakeRecording();

  std::mutex Lock;
  bool RecordInitialised = false;
  std::string Source;
  std::string Sink;

private:
  std::unordered_map<DWORD, std::shared_ptr<TLiveChannel>> FChannels;
};

// Whether a sound server answers within ATimeoutMs.
bool ServerAnswers(int ATimeoutMs);

// Makes the engine channel, the live channel on it (AMake) and opens it; registers it. Returns
// the handle, or 0 with the error code set (and nothing left behind).
DWORD OpenLiveChannel(
    DWORD AFreq, DWORD AChans, DWORD AFlags,
    const std::function<std::shared_ptr<TLiveChannel>(std::shared_ptr<TChannel>)>& AMake);

} // namespace vexmo::audio
