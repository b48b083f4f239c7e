#include "endpoint_list.h"

#include "audio_engine.h"

#include <chrono>
#include <cstring>
#include <map>
#include <pulse/pulseaudio.h>

namespace vexmo::audio {

namespace {

struct TRawEndpoint
{
  std::string Name;
  std::string Id;
  DWORD Type = BASS_WASAPI_TYPE_UNKNOWN;
  bool Input = false;
  bool Available = true;
  bool Default = false;
  uint32_t MonitorOf = PA_INVALID_INDEX; // sink index for a monitor source
  uint32_t Index = PA_INVALID_INDEX;     // sink index for a sink
  DWORD Freq = 0;
  DWORD Chans = 0;
};

// What one enumeration collects while the main loop runs.
struct TQuery
{
  bool Failed = false;
  bool Requested = false;
  int Pending = 0;
  std::string DefaultSource;
  std::string DefaultSink;
  std::vector<TRawEndpoint> Sinks;
  std::vector<TRawEndpoint> Sources;
};

DWORD TypeOf(const pa_proplist* AProps)
{
  const char* formFactor = AProps ? pa_proplist_gets(AProps, PA_PROP_DEVICE_FORM_FACTOR) : nullptr;
  if (!formFactor)
    return BASS_WASAPI_TYPE_UNKNOWN;
  static const std::map<std::string, DWORD> types = {
      {"internal", BASS_WASAPI_TYPE_SPEAKERS},  {"speaker", BASS_WASAPI_TYPE_SPEAKERS},
      {"handset", BASS_WASAPI_TYPE_HANDSET},    {"tv", BASS_WASAPI_TYPE_HDMI},
      {"webcam", BASS_WASAPI_TYPE_MICROPHONE},  {"microphone", BASS_WASAPI_TYPE_MICROPHONE},
      {"headset", BASS_WASAPI_TYPE_HEADSET},    {"headphone", BASS_WASAPI_TYPE_HEADPHONES},
      {"hands-free", BASS_WASAPI_TYPE_HANDSET}, {"car", BASS_WASAPI_TYPE_SPEAKERS},
      {"hifi", BASS_WASAPI_TYPE_LINELEVEL},     {"computer", BASS_WASAPI_TYPE_NETWORKDEVICE},
      {"portable", BASS_WASAPI_TYPE_SPEAKERS}};
  auto type = types.find(formFactor);
  return type == types.end() ? BASS_WASAPI_TYPE_UNKNOWN : type->second;
}

void OnServerInfo(pa_context*, const pa_server_info* AInfo, void* AUser)
{
  auto* query = static_cast<TQuery*>(AUser);
  if (AInfo) {
    query->DefaultSource = AInfo->default_source_name ? AInfo->default_source_name : "";
    query->DefaultSink = AInfo->default_sink_name ? AInfo->default_sink_name : "";
  }
  --query->Pending;
}

// What sinks and sources share; false at the end of the list (the reply then no longer counts).
template <typename TInfo>
bool TakeEndpoint(TQuery* AQuery, const TInfo* AInfo, int AEol, TRawEndpoint& AEndpoint)
{
  if (AEol) {
    if (AEol < 0)
      AQuery->Failed = true;
    --AQuery->Pending;
    return false;
  }
  AEndpoint.Name = AInfo->description ? AInfo->description : AInfo->name;
  AEndpoint.Id = AInfo->name;
  AEndpoint.Type = TypeOf(AInfo->proplist);
  AEndpoint.Available =
      !(AInfo->active_port && AInfo->active_port->available == PA_PORT_AVAILABLE_NO);
  AEndpoint.Freq = AInfo->sample_spec.rate;
  AEndpoint.Chans = AInfo->sample_spec.channels;
  return true;
}

void OnSinkInfo(pa_context*, const pa_sink_info* AInfo, int AEol, void* AUser)
{
  auto* query = static_cast<TQuery*>(AUser);
  TRawEndpoint sink;
  if (!TakeEndpoint(query, AInfo, AEol, sink))
    return;
  sink.Index = AInfo->index;
  query->Sinks.push_back(std::move(sink));
}

void OnSourceInfo(pa_context*, const pa_source_info* AInfo, int AEol, void* AUser)
{
  auto* query = static_cast<TQuery*>(AUser);
  TRawEndpoint source;
  if (!TakeEndpoint(query, AInfo, AEol, source))
    return;
  source.Input = true;
  source.MonitorOf = AInfo->monitor_of_sink;
  query->Sources.push_back(std::move(source));
}

void OnContextState(pa_context* AContext, void* AUser)
{
  auto* query = static_cast<TQuery*>(AUser);
  switch (pa_context_get_state(AContext)) {
  case PA_CONTEXT_READY:
    if (query->Requested)
      break;
    query->Requested = true;
    // All three replies count; the loop ends when none is pending.
    query->Pending = 3;
    pa_operation_unref(pa_context_get_server_info(AContext, OnServerInfo, query));
    pa_operation_unref(pa_context_get_sink_info_list(AContext, OnSinkInfo, query));
    pa_operation_unref(pa_context_get_source_info_list(AContext, OnSourceInfo, query));
    break;
  case PA_CONTEXT_FAILED:
  case PA_CONTEXT_TERMINATED:
    query->Failed = true;
    break;
  default:
    break;
  }
}

// Runs one enumeration against the sound server; false when it could not be completed in time.
bool Enumerate(TQuery& AQuery, int ATimeoutMs)
{
  pa_mainloop* loop = pa_mainloop_new();
  if (!loop)
    return false;
  pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "Vexmo");
  bool done = false;
  if (context) {
    pa_context_set_state_callback(context, OnContextState, &AQuery);
    // No autospawn: listing devices must never start a sound server as a side effect.
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
      using TClock = std::chrono::steady_clock;
      const auto deadline = TClock::now() + std::chrono::milliseconds(ATimeoutMs);
      while (!AQuery.Failed && !(AQuery.Requested && AQuery.Pending == 0)) {
        const auto left =
            std::chrono::duration_cast<std::chrono::microseconds>(deadline - TClock::now());
        if (left.count() <= 0)
          break;
        if (pa_mainloop_prepare(loop, static_cast<int>(left.count())) < 0 ||
            pa_mainloop_poll(loop) < 0 || pa_mainloop_dispatch(loop) < 0)
          break;
      }
      done = !AQuery.Failed && AQuery.Requested && AQuery.Pending == 0;
      pa_context_set_state_callback(context, nullptr, nullptr);
      pa_context_disconnect(context);
    }
    pa_context_unref(context);
  }
  pa_mainloop_free(loop);
  return done;
}

} // namespace

TEndpointList& TEndpointList::Instance()
{
  // Never destroyed: the texts it handed out stay valid until the process ends.
  static TEndpointList* list = new TEndpointList;
  return *list;
}

const char* TEndpointList::Intern(const std::string& AText)
{
  return FTexts.insert(AText).first->c_str();
}

void TEndpointList::Refresh(int ATimeoutMs)
{
  TQuery query;
  const bool ok = Enumerate(query, ATimeoutMs);
  std::lock_guard lock(FLock);
  FRead = true;
  FReachable = ok;
  FDevices.clear();
  if (!ok)
    return;
  std::map<uint32_t, const TRawEndpoint*> sinksByIndex;
  for (const TRawEndpoint& sink : query.Sinks)
    sinksByIndex[sink.Index] = &sink;
  auto add = [&](const TRawEndpoint& AEndpoint, DWORD AFlags, bool AAvailable, DWORD AType) {
    BASS_WASAPI_DEVICEINFO info{};
    info.name = Intern(AEndpoint.Name);
    info.id = Intern(AEndpoint.Id);
    info.type = AType;
    info.flags = AFlags | (AAvailable ? BASS_DEVICE_ENABLED : BASS_DEVICE_UNPLUGGED);
    info.mixfreq = AEndpoint.Freq;
    info.mixchans = AEndpoint.Chans;
    FDevices.push_back(info);
  };
  for (const TRawEndpoint& sink : query.Sinks)
    add(sink, sink.Id == query.DefaultSink ? BASS_DEVICE_DEFAULT : 0, sink.Available, sink.Type);
  for (const TRawEndpoint& source : query.Sources) {
    if (source.MonitorOf != PA_INVALID_INDEX) {
      // A monitor captures what its sink plays: it is there exactly when the sink is.
      auto sink = sinksByIndex.find(source.MonitorOf);
      const bool available = sink == sinksByIndex.end() || sink->second->Available;
      const bool isDefault = sink != sinksByIndex.end() && sink->second->Id == query.DefaultSink;
      const DWORD type = sink == sinksByIndex.end() ? source.Type : sink->second->Type;
      add(source, BASS_DEVICE_INPUT | BASS_DEVICE_LOOPBACK | (isDefault ? BASS_DEVICE_DEFAULT : 0),
          available, type);
    } else {
      add(source, BASS_DEVICE_INPUT | (source.Id == query.DefaultSource ? BASS_DEVICE_DEFAULT : 0),
          source.Available, source.Type);
    }
  }
}

bool TEndpointList::Device(DWORD AIndex, BASS_WASAPI_DEVICEINFO& AInfo)
{
  {
    std::lock_guard lock(FLock);
    if (FRead) {
      if (AIndex >= FDevices.size())
        return false;
      AInfo = FDevices[AIndex];
      return true;
    }
  }
  Refresh();
  return Device(AIndex, AInfo);
}

bool TEndpointList::Reachable()
{
  std::lock_guard lock(FLock);
  return FReachable;
}

} // namespace vexmo::audio

using namespace vexmo::audio;

extern "C" BOOL BASS_WASAPI_GetDeviceInfo(DWORD device, BASS_WASAPI_DEVICEINFO* info)
{
  if (!info) {
    SetError(BASS_ERROR_ILLPARAM);
    return FALSE;
  }
  if (device == 0)
    TEndpointList::Instance().Refresh();
  if (!TEndpointList::Instance().Device(device, *info)) {
    SetError(TEndpointList::Instance().Reachable() ? BASS_ERROR_DEVICE : BASS_ERROR_WASAPI);
    return FALSE;
  }
  SetError(BASS_OK);
  return TRUE;
}
