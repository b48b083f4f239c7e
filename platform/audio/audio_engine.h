// Inside of libvexmo_audio.so: the handle registry, channels and their processing stages.
#pragma once

#include "bass.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace vexmo::audio {

// Error code of the last call on this thread (BASS_ErrorGetCode).
void SetError(int ACode);
int LastError();

// The rates and channel counts a stream may have.
constexpr uint32_t MaxFreq = 384000;
constexpr uint32_t MaxChans = 32;

// Sets this thread's error code and returns AResult: the exported calls end with these.
template <typename T> T Fail(int ACode, T AResult)
{
  SetError(ACode);
  return AResult;
}

template <typename T> T Succeed(T AResult)
{
  SetError(BASS_OK);
  return AResult;
}

// Something that changes a channel's samples in place: an effect, a hosted plug-in.
class TStageProcessor
{
public:
  virtual ~TStageProcessor() = default;
  // ASamples holds AFrames frames of AChans interleaved floats at AFreq hertz.
  virtual void Process(float* ASamples, DWORD AFrames, DWORD AChans, DWORD AFreq) = 0;
};

enum class TStageKind
{
  DSP,
  FX
};

struct TStage
{
  DWORD Handle = 0;
  TStageKind Kind = TStageKind::DSP;
  int Priority = 0;
  uint64_t Order = 0; // attachment order among equal priorities
  DSPPROC* Proc = nullptr;
  void* User = nullptr;
  std::shared_ptr<TStageProcessor> Processor; // used when Proc is null
};

class TChannel
{
public:
  TChannel(DWORD AHandle, DWORD AFreq, DWORD AChans, DWORD AFlags);

  DWORD Handle() const { return FHandle; }
  DWORD Freq() const { return FFreq; }
  DWORD Chans() const { return FChans; }
  DWORD Flags() const { return FFlags; }

  // Held while processing and while the stage list or an effect's settings change, so that a
  // removed stage is never running once its removal returns. Recursive because a DSP procedure
  // may attach or remove stages of its own channel.
  std::recursive_mutex& Lock() { return FLock; }

  // The callers hold Lock().
  void AddStage(TStage AStage);
  bool RemoveStage(DWORD AHandle, TStageKind AKind);
  TStage* FindStage(DWORD AHandle);
  std::vector<DWORD> StageHandles() const;
  void Process(float* ASamples, DWORD ALength);

private:
  DWORD FHandle;
  DWORD FFreq;
  DWORD FChans;
  DWORD FFlags;
  std::recursive_mutex FLock;
  std::vector<TStage> FStages; // in running order
  // The running order copied for one Process call; its room is made when stages are added, so
  // that processing on the audio thread never allocates.
  std::vector<DWORD> FRunOrder;
  uint64_t FNextOrder = 0;
};

// Every live handle of the library, of all kinds, so that no two live objects share a number.
class TAudioEngine
{
public:
  static TAudioEngine& Instance();

  DWORD AllocateHandle();
  void ReleaseHandle(DWORD AHandle);

  HSTREAM CreateStream(DWORD AFreq, DWORD AChans, DWORD AFlags);
  bool FreeStream(HSTREAM AHandle);
  std::shared_ptr<TChannel> Channel(DWORD AHandle);

  // Stages: attach to and detach from a channel, and find the channel a stage lives on.
  DWORD AttachStage(DWORD AChannel, TStage AStage);
  bool DetachStage(DWORD AChannel, DWORD AStage, TStageKind AKind);
  std::shared_ptr<TChannel> ChannelOfStage(DWORD AStage);

  // Configuration options.
  std::atomic<DWORD> FloatDSP{1};
  std::atomic<const void*> NetAgent{nullptr};

private:
  TAudioEngine() = default;

  std::mutex FLock;
  std::unordered_set<DWORD> FLiveHandles;
  DWORD FNextHandle = 0x10000;
  std::unordered_map<DWORD, std::shared_ptr<TChannel>> FChannels;
  std::unordered_map<DWORD, DWORD> FStageChannel; // stage handle -> channel handle
};

} // namespace vexmo::audio
