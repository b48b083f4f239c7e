// The exported live audio calls (bass.h): recording, output streams and their common calls.
#include "audio_engine.h"
#include "bass.h"
#include "live_audio.h"

using namespace vexmo::audio;

namespace vexmo::audio {

DWORD OpenLiveChannel(
    DWORD AFreq, DWORD AChans, DWORD AFlags,
    const std::function<std::shared_ptr<TLiveChannel>(std::shared_ptr<TChannel>)>& AMake)
{
  TAudioEngine& engine = TAudioEngine::Instance();
  const HSTREAM handle = engine.CreateStream(AFreq, AChans, AFlags);
  std::shared_ptr<TLiveChannel> live = AMake(engine.Channel(handle));
  const int result = live->Open();
  if (result != BASS_OK) {
    live->Close();
    engine.FreeStream(handle);
    SetError(result);
    return 0;
  }
  TLiveRegistry::Instance().Add(std::move(live));
  SetError(BASS_OK);
  return handle;
}

} // namespace vexmo::audio

extern "C" {

BOOL BASS_RecordSetSource(const char* name)
{
  std::lock_guard lock(TLiveRegistry::Instance().Lock);
  TLiveRegistry::Instance().Source = name ? name : "";
  return Succeed(TRUE);
}

BOOL BASS_SetOutputSink(const char* name)
{
  std::lock_guard lock(TLiveRegistry::Instance().Lock);
  TLiveRegistry::Instance().Sink = name ? name : "";
  return Succeed(TRUE);
}

BOOL BASS_RecordInit(int device)
{
  if (device != -1 && device != 0)
    return Fail(BASS_ERROR_DEVICE, FALSE);
  TLiveRegistry& registry = TLiveRegistry::Instance();
  {
    std::lock_guard lock(registry.Lock);
    if (registry.RecordInitialised)
      return Succeed(TRUE);
  }
  if (!ServerAnswers(2000))
    return Fail(BASS_ERROR_DRIVER, FALSE);
  std::lock_guard lock(registry.Lock);
  registry.RecordInitialised = true;
  return Succeed(TRUE);
}

BOOL BASS_RecordFree(void)
{
  TLiveRegistry& registry = TLiveRegistry::Instance();
  {
    std::lock_guard lock(registry.Lock);
    if (!registry.RecordInitialised)
      return Fail(BASS_ERROR_INIT, FALSE);
    registry.RecordInitialised = false;
  }
  for (auto& channel : registry.TakeRecording()) {
    channel->Close();
    TAudioEngine::Instance().FreeStream(channel->Handle());
  }
  return Succeed(TRUE);
}

HRECORD BASS_RecordStart(DWORD freq, DWORD chans, DWORD flags, RECORDPROC* proc, void* user)
{
  std::string source;
  {
    std::lock_guard lock(TLiveRegistry::Instance().Lock);
    if (!TLiveRegistry::Instance().RecordInitialised)
      return Fail<HRECORD>(BASS_ERROR_INIT, 0);
    source = TLiveRegistry::Instance().Source;
  }
  if (freq == 0 || freq > MaxFreq || chans == 0 || chans > MaxChans)
    return Fail<HRECORD>(BASS_ERROR_FORMAT, 0);
  const bool paused = flags & BASS_RECORD_PAUSE;
  return OpenLiveChannel(freq, chans, flags, [&](std::shared_ptr<TChannel> AChannel) {
    return std::make_shared<TCaptureChannel>(std::move(AChannel), source, paused, proc, user);
  });
}

DWORD BASS_StreamPutData(HSTREAM handle, const void* buffer, DWORD length)
{
  auto live = std::dynamic_pointer_cast<TOutputStream>(TLiveRegistry::Instance().Find(handle));
  if (!live) {
    if (TAudioEngine::Instance().Channel(handle))
      return Fail(BASS_ERROR_NOTAVAIL, static_cast<DWORD>(-1));
    return Fail(BASS_ERROR_HANDLE, static_cast<DWORD>(-1));
  }
  return live->PutData(buffer, length);
}

BOOL BASS_ChannelPlay(DWORD handle, BOOL restart)
{
  auto live = TLiveRegistry::Instance().Find(handle);
  if (!live)
    return Fail(TAudioEngine::Instance().Channel(handle) ? BASS_ERROR_DECODE : BASS_ERROR_HANDLE,
                FALSE);
  return Succeed<BOOL>(live->Play(restart));
}

BOOL BASS_ChannelStop(DWORD handle)
{
  auto live = TLiveRegistry::Instance().Find(handle);
  if (!live)
    return Fail(TAudioEngine::Instance().Channel(handle) ? BASS_ERROR_DECODE : BASS_ERROR_HANDLE,
                FALSE);
  return Succeed<BOOL>(live->Stop());
}

DWORD BASS_ChannelIsActive(DWORD handle)
{
  if (auto live = TLiveRegistry::Instance().Find(handle))
    return Succeed(live->Active());
  if (TAudioEngine::Instance().Channel(handle))
    return Succeed<DWORD>(BASS_ACTIVE_STOPPED);
  return Fail<DWORD>(BASS_ERROR_HANDLE, BASS_ACTIVE_STOPPED);
}

BOOL BASS_ChannelFree(DWORD handle)
{
  return BASS_StreamFree(handle);
}

QWORD BASS_ChannelGetPosition(DWORD handle, DWORD mode)
{
  auto live = TLiveRegistry::Instance().Find(handle);
  if (!live)
    return Fail(TAudioEngine::Instance().Channel(handle) ? BASS_ERROR_NOTAVAIL : BASS_ERROR_HANDLE,
                static_cast<QWORD>(-1));
  if (mode != BASS_POS_BYTE)
    return Fail(BASS_ERROR_NOTAVAIL, static_cast<QWORD>(-1));
  return Succeed(live->Position());
}

BOOL BASS_ChannelGetLevelEx(DWORD handle, float* levels, float length, DWORD flags)
{
  auto live = TLiveRegistry::Instance().Find(handle);
  if (!live)
    return Fail(TAudioEngine::Instance().Channel(handle) ? BASS_ERROR_NOTAVAIL : BASS_ERROR_HANDLE,
                FALSE);
  if (!live->Levels(levels, length, flags))
    return Fail(BASS_ERROR_ILLPARAM, FALSE);
  return Succeed(TRUE);
}

BOOL BASS_ChannelGetStatus(DWORD handle, BASS_CHANNELSTATUS* status)
{
  auto live = TLiveRegistry::Instance().Find(handle);
  if (!live)
    return Fail(TAudioEngine::Instance().Channel(handle) ? BASS_ERROR_NOTAVAIL : BASS_ERROR_HANDLE,
                FALSE);
  if (!status)
    return Fail(BASS_ERROR_ILLPARAM, FALSE);
  live->Status(*status);
  return Succeed(TRUE);
}

} // extern "C"
