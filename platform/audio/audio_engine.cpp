#include "audio_engine.h"

#include <algorithm>

namespace vexmo::audio {

namespace {
thread_local int GLastError = BASS_OK;
}

void SetError(int ACode)
{
  GLastError = ACode;
}

int LastError()
{
  return GLastError;
}

TChannel::TChannel(DWORD AHandle, DWORD AFreq, DWORD AChans, DWORD AFlags)
    : FHandle(AHandle), FFreq(AFreq), FChans(AChans), FFlags(AFlags)
{}

void TChannel::AddStage(TStage AStage)
{
  AStage.Order = FNextOrder++;
  // Higher priority runs first; among equals, the earlier attachment runs first.
  auto pos = std::find_if(FStages.begin(), FStages.end(),
                          [&](const TStage& AOther) { return AOther.Priority < AStage.Priority; });
  FStages.insert(pos, std::move(AStage));
  FRunOrder.reserve(FStages.size());
}

bool TChannel::RemoveStage(DWORD AHandle, TStageKind AKind)
{
  auto pos = std::find_if(FStages.begin(), FStages.end(), [&](const TStage& AStage) {
    return AStage.Handle == AHandle && AStage.Kind == AKind;
  });
  if (pos == FStages.end())
    return false;
  FStages.erase(pos);
  return true;
}

TStage* TChannel::FindStage(DWORD AHandle)
{
  for (TStage& stage : FStages)
    if (stage.Handle == AHandle)
      return &stage;
  return nullptr;
}

std::vector<DWORD> TChannel::StageHandles() const
{
  std::vector<DWORD> handles;
  handles.reserve(FStages.size());
  for (const TStage& stage : FStages)
    handles.push_back(stage.Handle);
  return handles;
}

void TChannel::Process(float* ASamples, DWORD ALength)
{
  const DWORD frames = ALength / (sizeof(float) * FChans);
  // A procedure may change the stage list of this very channel (same thread, recursive lock):
  // walk a snapshot of the order and skip what was removed meanwhile.
  // Stages added meanwhile (by a procedure) wait for the next buffer, so the copy never grows.
  FRunOrder.clear();
  for (const TStage& stage : FStages)
    FRunOrder.push_back(stage.Handle);
  const size_t count = FRunOrder.size();
  for (size_t i = 0; i < count; ++i) {
    const DWORD handle = FRunOrder[i];
    TStage* stage = FindStage(handle);
    if (!stage)
      continue;
    if (stage->Proc) {
      DSPPROC* proc = stage->Proc;
      void* user = stage->User;
      proc(handle, FHandle, ASamples, ALength, user);
    } else if (stage->Processor) {
      std::shared_ptr<TStageProcessor> processor = stage->Processor;
      processor->Process(ASamples, frames, FChans, FFreq);
    }
  }
}

TAudioEngine& TAudioEngine::Instance()
{
  // Never destroyed: plug-ins and other threads may still call in while the process exits.
  static TAudioEngine* engine = new TAudioEngine;
  return *engine;
}

DWORD TAudioEngine::AllocateHandle()
{
  std::lock_guard lock(FLock);
  // Numbers are not reused until the counter wraps, and never while still alive.
  do {
    ++FNextHandle;
  } while (FNextHandle == 0 || FLiveHandles.count(FNextHandle));
  FLiveHandles.insert(FNextHandle);
  return FNextHandle;
}

void TAudioEngine::ReleaseHandle(DWORD AHandle)
{
  std::lock_guard lock(FLock);
  FLiveHandles.erase(AHandle);
}

HSTREAM TAudioEngine::CreateStream(DWORD AFreq, DWORD AChans, DWORD AFlags)
{
  const DWORD handle = AllocateHandle();
  auto channel = std::make_shared<TChannel>(handle, AFreq, AChans, AFlags);
  std::lock_guard lock(FLock);
  FChannels[handle] = std::move(channel);
  return handle;
}

bool TAudioEngine::FreeStream(HSTREAM AHandle)
{
  std::shared_ptr<TChannel> channel;
  {
    std::lock_guard lock(FLock);
    auto pos = FChannels.find(AHandle);
    if (pos == FChannels.end())
      return false;
    channel = pos->second;
    FChannels.erase(pos);
  }
  // Waits for a buffer in progress; afterwards no stage of this channel runs again.
  std::vector<DWORD> stages;
  {
    std::lock_guard channelLock(channel->Lock());
    stages = channel->StageHandles();
    for (DWORD stage : stages) {
      if (!channel->RemoveStage(stage, TStageKind::DSP))
        channel->RemoveStage(stage, TStageKind::FX);
    }
  }
  std::lock_guard lock(FLock);
  for (DWORD stage : stages) {
    FStageChannel.erase(stage);
    FLiveHandles.erase(stage);
  }
  FLiveHandles.erase(AHandle);
  return true;
}

std::shared_ptr<TChannel> TAudioEngine::Channel(DWORD AHandle)
{
  if (AHandle == 0)
    return nullptr;
  std::lock_guard lock(FLock);
  auto pos = FChannels.find(AHandle);
  return pos == FChannels.end() ? nullptr : pos->second;
}

DWORD TAudioEngine::AttachStage(DWORD AChannel, TStage AStage)
{
  std::shared_ptr<TChannel> channel = Channel(AChannel);
  if (!channel)
    return 0;
  AStage.Handle = AllocateHandle();
  const DWORD handle = AStage.Handle;
  std::lock_guard channelLock(channel->Lock());
  {
    std::lock_guard lock(FLock);
    // Freed between the look-up and now: the stream is gone, so is the attachment.
    if (!FChannels.count(AChannel)) {
      FLiveHandles.erase(handle);
      return 0;
    }
    FStageChannel[handle] = AChannel;
  }
  channel->AddStage(std::move(AStage));
  return handle;
}

bool TAudioEngine::DetachStage(DWORD AChannel, DWORD AStage, TStageKind AKind)
{
  std::shared_ptr<TChannel> channel = Channel(AChannel);
  if (!channel || AStage == 0)
    return false;
  {
    std::lock_guard channelLock(channel->Lock());
    if (!channel->RemoveStage(AStage, AKind))
      return false;
  }
  std::lock_guard lock(FLock);
  FStageChannel.erase(AStage);
  FLiveHandles.erase(AStage);
  return true;
}

std::shared_ptr<TChannel> TAudioEngine::ChannelOfStage(DWORD AStage)
{
  if (AStage == 0)
    return nullptr;
  std::lock_guard lock(FLock);
  auto stage = FStageChannel.find(AStage);
  if (stage == FStageChannel.end())
    return nullptr;
  auto channel = FChannels.find(stage->second);
  return channel == FChannels.end() ? nullptr : channel->second;
}

} // namespace vexmo::audio
