// The exported core and effect calls (bass.h, bass_fx.h).
#include "audio_engine.h"
#include "bass.h"
#include "bass_fx.h"
#include "effects.h"
#include "live_audio.h"

using namespace vexmo::audio;

namespace {

constexpr DWORD Failed = static_cast<DWORD>(-1);

} // namespace

extern "C" {

DWORD BASS_GetVersion(void)
{
  return Succeed<DWORD>(0x02040000u | 0x0100u);
}

int BASS_ErrorGetCode(void)
{
  return LastError();
}

BOOL BASS_SetConfig(DWORD option, DWORD value)
{
  switch (option) {
  case BASS_CONFIG_FLOATDSP:
    TAudioEngine::Instance().FloatDSP = value ? 1 : 0;
    return Succeed(TRUE);
  default:
    return Fail(BASS_ERROR_ILLTYPE, FALSE);
  }
}

DWORD BASS_GetConfig(DWORD option)
{
  switch (option) {
  case BASS_CONFIG_FLOATDSP:
    return Succeed<DWORD>(TAudioEngine::Instance().FloatDSP);
  default:
    return Fail(BASS_ERROR_ILLTYPE, Failed);
  }
}

BOOL BASS_SetConfigPtr(DWORD option, const void* value)
{
  switch (option) {
  case BASS_CONFIG_NET_AGENT:
    // Kept as given: the caller owns the text and keeps it alive.
    TAudioEngine::Instance().NetAgent = value;
    return Succeed(TRUE);
  default:
    return Fail(BASS_ERROR_ILLTYPE, FALSE);
  }
}

const void* BASS_GetConfigPtr(DWORD option)
{
  switch (option) {
  case BASS_CONFIG_NET_AGENT:
    return Succeed<const void*>(TAudioEngine::Instance().NetAgent);
  default:
    return Fail<const void*>(BASS_ERROR_ILLTYPE, nullptr);
  }
}

HSTREAM BASS_StreamCreate(DWORD freq, DWORD chans, DWORD flags, STREAMPROC* proc, void* user)
{
  if (proc && (flags & BASS_STREAM_DECODE))
    return Fail<HSTREAM>(BASS_ERROR_NOTAVAIL, 0);
  if (freq == 0 || freq > MaxFreq || chans == 0 || chans > MaxChans)
    return Fail<HSTREAM>(BASS_ERROR_FORMAT, 0);
  if (!proc)
    return Succeed(TAudioEngine::Instance().CreateStream(freq, chans, flags));
  std::string sink;
  {
    std::lock_guard lock(TLiveRegistry::Instance().Lock);
    sink = TLiveRegistry::Instance().Sink;
  }
  return OpenLiveChannel(freq, chans, flags, [&](std::shared_ptr<TChannel> AChannel) {
    return std::make_shared<TOutputStream>(std::move(AChannel), sink, proc, user);
  });
}

BOOL BASS_StreamFree(HSTREAM handle)
{
  // A live channel stops first, so that no callback runs on a channel being freed.
  if (auto live = TLiveRegistry::Instance().Take(handle))
    live->Close();
  if (!TAudioEngine::Instance().FreeStream(handle))
    return Fail(BASS_ERROR_HANDLE, FALSE);
  return Succeed(TRUE);
}

BOOL BASS_ChannelGetInfo(DWORD handle, BASS_CHANNELINFO* info)
{
  auto channel = TAudioEngine::Instance().Channel(handle);
  if (!channel)
    return Fail(BASS_ERROR_HANDLE, FALSE);
  if (!info)
    return Fail(BASS_ERROR_ILLPARAM, FALSE);
  *info = BASS_CHANNELINFO{};
  info->freq = channel->Freq();
  info->chans = channel->Chans();
  info->flags = channel->Flags();
  info->ctype = BASS_CTYPE_STREAM;
  info->origres = 32;
  return Succeed(TRUE);
}

HDSP BASS_ChannelSetDSP(DWORD handle, DSPPROC* proc, void* user, int priority)
{
  if (!proc)
    return Fail<HDSP>(BASS_ERROR_ILLPARAM, 0);
  TStage stage;
  stage.Kind = TStageKind::DSP;
  stage.Priority = priority;
  stage.Proc = proc;
  stage.User = user;
  const HDSP dsp = TAudioEngine::Instance().AttachStage(handle, std::move(stage));
  if (!dsp)
    return Fail<HDSP>(BASS_ERROR_HANDLE, 0);
  return Succeed(dsp);
}

BOOL BASS_ChannelRemoveDSP(DWORD handle, HDSP dsp)
{
  if (!TAudioEngine::Instance().DetachStage(handle, dsp, TStageKind::DSP))
    return Fail(BASS_ERROR_HANDLE, FALSE);
  return Succeed(TRUE);
}

HFX BASS_ChannelSetFX(DWORD handle, DWORD type, int priority)
{
  auto channel = TAudioEngine::Instance().Channel(handle);
  if (!channel)
    return Fail<HFX>(BASS_ERROR_HANDLE, 0);
  std::shared_ptr<TAudioEffect> effect = CreateEffect(type, channel->Freq(), channel->Chans());
  if (!effect)
    return Fail<HFX>(BASS_ERROR_ILLTYPE, 0);
  TStage stage;
  stage.Kind = TStageKind::FX;
  stage.Priority = priority;
  stage.Processor = std::move(effect);
  const HFX fx = TAudioEngine::Instance().AttachStage(handle, std::move(stage));
  if (!fx)
    return Fail<HFX>(BASS_ERROR_HANDLE, 0);
  return Succeed(fx);
}

BOOL BASS_ChannelRemoveFX(DWORD handle, HFX fx)
{
  if (!TAudioEngine::Instance().DetachStage(handle, fx, TStageKind::FX))
    return Fail(BASS_ERROR_HANDLE, FALSE);
  return Succeed(TRUE);
}

static BOOL AccessFX(HFX handle, void* params, bool ASet)
{
  auto channel = TAudioEngine::Instance().ChannelOfStage(handle);
  if (!channel)
    return Fail(BASS_ERROR_HANDLE, FALSE);
  // The channel's lock keeps the effect from running on half-written settings.
  std::lock_guard lock(channel->Lock());
  TStage* stage = channel->FindStage(handle);
  if (!stage || stage->Kind != TStageKind::FX)
    return Fail(BASS_ERROR_HANDLE, FALSE);
  if (!params)
    return Fail(BASS_ERROR_ILLPARAM, FALSE);
  auto* effect = static_cast<TAudioEffect*>(stage->Processor.get());
  const bool ok = ASet ? effect->SetParameters(params) : effect->GetParameters(params);
  if (!ok)
    return Fail(BASS_ERROR_ILLPARAM, FALSE);
  return Succeed(TRUE);
}

BOOL BASS_FXSetParameters(HFX handle, const void* params)
{
  return AccessFX(handle, const_cast<void*>(params), true);
}

BOOL BASS_FXGetParameters(HFX handle, void* params)
{
  return AccessFX(handle, params, false);
}

DWORD BASS_ChannelProcess(DWORD handle, void* buffer, DWORD length)
{
  auto channel = TAudioEngine::Instance().Channel(handle);
  if (!channel)
    return Fail(BASS_ERROR_HANDLE, Failed);
  if (length % (sizeof(float) * channel->Chans()) != 0 || (length && !buffer))
    return Fail(BASS_ERROR_ILLPARAM, Failed);
  if (length) {
    std::lock_guard lock(channel->Lock());
    channel->Process(static_cast<float*>(buffer), length);
  }
  return Succeed(length);
}

DWORD BASS_FX_GetVersion(void)
{
  return Succeed<DWORD>(0x02040000u | 0x0100u);
}

} // extern "C"
