#include "live_audio.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <pulse/pulseaudio.h>

namespace vexmo::audio {

namespace {

constexpr int OpenTimeoutMs = 2000;
constexpr pa_usec_t RetryUs = PA_USEC_PER_SEC;
constexpr int64_t RecentNs = 1'000'000'000;

// Holds the main loop's lock for a scope (never on the main loop's own thread).
class TLoopLock
{
public:
  explicit TLoopLock(pa_threaded_mainloop* ALoop) : FLoop(ALoop)
  {
    pa_threaded_mainloop_lock(FLoop);
  }
  ~TLoopLock() { pa_threaded_mainloop_unlock(FLoop); }

private:
  pa_threaded_mainloop* FLoop;
};

} // namespace

// ---- TByteRing ----

TByteRing::TByteRing(size_t ACapacity) : FData(ACapacity) {}

size_t TByteRing::Readable() const
{
  return FHead.load(std::memory_order_acquire) - FTail.load(std::memory_order_acquire);
}

size_t TByteRing::Writable() const
{
  return FData.size() - Readable();
}

size_t TByteRing::Write(const void* AData, size_t ALength)
{
  const size_t head = FHead.load(std::memory_order_relaxed);
  const size_t tail = FTail.load(std::memory_order_acquire);
  const size_t count = std::min(ALength, FData.size() - (head - tail));
  const size_t at = head % FData.size();
  const size_t first = std::min(count, FData.size() - at);
  const auto* bytes = static_cast<const unsigned char*>(AData);
  std::memcpy(FData.data() + at, bytes, first);
  std::memcpy(FData.data(), bytes + first, count - first);
  FHead.store(head + count, std::memory_order_release);
  return count;
}

size_t TByteRing::Read(void* AData, size_t ALength)
{
  const size_t tail = FTail.load(std::memory_order_relaxed);
  const size_t head = FHead.load(std::memory_order_acquire);
  const size_t count = std::min(ALength, head - tail);
  const size_t at = tail % FData.size();
  const size_t first = std::min(count, FData.size() - at);
  auto* bytes = static_cast<unsigned char*>(AData);
  std::memcpy(bytes, FData.data() + at, first);
  std::memcpy(bytes + first, FData.data(), count - first);
  FTail.store(tail + count, std::memory_order_release);
  return count;
}

void TByteRing::Clear()
{
  FTail.store(FHead.load(std::memory_order_acquire), std::memory_order_release);
}

// ---- TLevelHistory ----

TLevelHistory::TLevelHistory(DWORD AFreq, DWORD AChans)
    : FFreq(AFreq), FChans(AChans), FFrames(AFreq), FData(static_cast<size_t>(AFreq) * AChans)
{}

void TLevelHistory::Add(const float* ASamples, size_t AFrames)
{
  size_t frame = FWritten.load(std::memory_order_relaxed);
  for (size_t i = 0; i < AFrames; ++i, ++frame) {
    const size_t at = (frame % FFrames) * FChans;
    for (DWORD c = 0; c < FChans; ++c)
      FData[at + c].store(ASamples[i * FChans + c], std::memory_order_relaxed);
  }
  FWritten.store(frame, std::memory_order_release);
}

bool TLevelHistory::Levels(float* ALevels, float ASeconds, DWORD AFlags) const
{
  if (!ALevels || !(ASeconds > 0) || ASeconds > 1)
    return false;
  const size_t end = FWritten.load(std::memory_order_acquire);
  const size_t want = std::max<size_t>(1, static_cast<size_t>(std::lround(ASeconds * FFreq)));
  const size_t count = std::min({want, end, FFrames});
  const bool rms = AFlags & BASS_LEVEL_RMS;
  const DWORD outputs = (AFlags & BASS_LEVEL_MONO) ? 1 : (AFlags & BASS_LEVEL_STEREO) ? 2 : FChans;
  double acc[32] = {};
  DWORD seen[32] = {};
  for (size_t frame = end - count; frame < end; ++frame) {
    const size_t at = (frame % FFrames) * FChans;
    for (DWORD c = 0; c < FChans; ++c) {
      const double v = FData[at + c].load(std::memory_order_relaxed);
      const DWORD out = outputs == 1 ? 0 : outputs == 2 ? (FChans == 1 ? 0 : c % 2) : c;
      if (rms)
        acc[out] += v * v;
      else
        acc[out] = std::max(acc[out], std::fabs(v));
      ++seen[out];
    }
  }
  for (DWORD o = 0; o < outputs; ++o) {
    // A mono channel shows the same level on both sides of a stereo reading.
    const DWORD from = (outputs == 2 && FChans == 1) ? 0 : o;
    ALevels[o] =
        static_cast<float>(rms ? std::sqrt(acc[from] / std::max<DWORD>(seen[from], 1)) : acc[from]);
  }
  return true;
}

// ---- TLiveChannel ----

TLiveChannel::TLiveChannel(std::shared_ptr<TChannel> AChannel, std::string ADevice, bool APaused)
    : FChannel(std::move(AChannel)), FDevice(std::move(ADevice)), FPaused(APaused),
      FHistory(FChannel->Freq(), FChannel->Chans())
{}

TLiveChannel::~TLiveChannel()
{
  TLiveChannel::Close();
}

int64_t TLiveChannel::Now()
{
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool TLiveChannel::Recent(const std::atomic<int64_t>& AWhen)
{
  const int64_t when = AWhen.load(std::memory_order_relaxed);
  return when != INT64_MIN && Now() - when < RecentNs;
}

void TLiveChannel::NoteDrop(DWORD ABlocks)
{
  FDropped.fetch_add(ABlocks, std::memory_order_relaxed);
  FLastDrop.store(Now(), std::memory_order_relaxed);
}

void TLiveChannel::RunStages(float* ASamples, DWORD ABytes)
{
  {
    // Held only by the UI while a stage is added, removed or set: never for long.
    std::lock_guard lock(FChannel->Lock());
    FChannel->Process(ASamples, ABytes);
  }
  FHistory.Add(ASamples, ABytes / BytesPerFrame());
}

void TLiveChannel::UpdateLatency()
{
  pa_usec_t latency = 0;
  int negative = 0;
  if (FStream && pa_stream_get_latency(FStream, &latency, &negative) == 0)
    FLatency.store(negative ? 0 : static_cast<DWORD>(std::min<pa_usec_t>(latency, UINT32_MAX)),
                   std::memory_order_relaxed);
}

int TLiveChannel::Open()
{
  FLoop = pa_threaded_mainloop_new();
  if (!FLoop)
    return BASS_ERROR_MEM;
  {
    TLoopLock lock(FLoop);
    Connect();
  }
  if (pa_threaded_mainloop_start(FLoop) < 0)
    return BASS_ERROR_MEM;
  int result = BASS_ERROR_TIMEOUT;
  for (int waited = 0; waited < OpenTimeoutMs; waited += 10) {
    {
      TLoopLock lock(FLoop);
      const int connection = FConnection.load();
      if (connection == cReady) {
        FOpened = true;
        return BASS_OK;
      }
      if (connection == cNoServer || connection == cServerLost) {
        result = BASS_ERROR_DRIVER;
        break;
      }
      if (connection == cDeviceLost) {
        result = BASS_ERROR_DEVICE;
        break;
      }
      if (connection == cFailedToOpen) {
        result = BASS_ERROR_FORMAT;
        break;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  Close();
  return result;
}

void TLiveChannel::Close()
{
  if (!FLoop || FClosed)
    return;
  FClosed = true;
  {
    TLoopLock lock(FLoop);
    if (FRetryEvent) {
      pa_threaded_mainloop_get_api(FLoop)->time_free(FRetryEvent);
      FRetryEvent = nullptr;
    }
    DropStream();
    DropContext();
  }
  pa_threaded_mainloop_stop(FLoop);
  pa_threaded_mainloop_free(FLoop);
  FLoop = nullptr;
}

void TLiveChannel::Connect()
{
  pa_proplist* props = pa_proplist_new();
  pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, "Vexmo");
  pa_proplist_sets(props, PA_PROP_APPLICATION_ID, "vexmo");
  FContext = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(FLoop), "Vexmo", props);
  pa_proplist_free(props);
  if (!FContext) {
    FConnection = cNoServer;
    ScheduleRetry();
    return;
  }
  pa_context_set_state_callback(FContext, &TLiveChannel::OnContextState, this);
  if (pa_context_connect(FContext, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
    if (FConnection != cServerLost)
      FConnection = cNoServer;
    ScheduleRetry();
  }
}

void TLiveChannel::DropStream()
{
  if (!FStream)
    return;
  pa_stream_set_state_callback(FStream, nullptr, nullptr);
  pa_stream_set_read_callback(FStream, nullptr, nullptr);
  pa_stream_set_write_callback(FStream, nullptr, nullptr);
  pa_stream_set_overflow_callback(FStream, nullptr, nullptr);
  pa_stream_set_underflow_callback(FStream, nullptr, nullptr);
  pa_stream_set_latency_update_callback(FStream, nullptr, nullptr);
  if (pa_stream_get_state(FStream) == PA_STREAM_READY ||
      pa_stream_get_state(FStream) == PA_STREAM_CREATING)
    pa_stream_disconnect(FStream);
  pa_stream_unref(FStream);
  FStream = nullptr;
}

void TLiveChannel::DropContext()
{
  if (!FContext)
    return;
  pa_context_set_state_callback(FContext, nullptr, nullptr);
  pa_context_disconnect(FContext);
  pa_context_unref(FContext);
  FContext = nullptr;
}

void TLiveChannel::ScheduleRetry()
{
  // Before the channel is open a failure is the answer; afterwards the channel heals itself.
  if (!FOpened || FClosed || FRetryEvent)
    return;
  struct timeval when;
  pa_gettimeofday(&when);
  pa_timeval_add(&when, RetryUs);
  FRetryEvent = pa_threaded_mainloop_get_api(FLoop)->time_new(pa_threaded_mainloop_get_api(FLoop),
                                                              &when, &TLiveChannel::OnRetry, this);
}

void TLiveChannel::OnRetry(pa_mainloop_api* AApi, pa_time_event* AEvent, const struct timeval*,
                           void* AUser)
{
  auto* self = static_cast<TLiveChannel*>(AUser);
  AApi->time_free(AEvent);
  self->FRetryEvent = nullptr;
  self->Retry();
}

void TLiveChannel::Retry()
{
  DropStream();
  if (FContext && pa_context_get_state(FContext) == PA_CONTEXT_READY) {
    FStream = NewStream(FContext);
    if (FStream)
      pa_stream_set_state_callback(FStream, &TLiveChannel::OnStreamState, this);
    else
      ScheduleRetry();
    return;
  }
  DropContext();
  Connect();
}

void TLiveChannel::OnContextState(pa_context* AContext, void* AUser)
{
  auto* self = static_cast<TLiveChannel*>(AUser);
  switch (pa_context_get_state(AContext)) {
  case PA_CONTEXT_READY:
    self->DropStream();
    self->FStream = self->NewStream(AContext);
    if (self->FStream) {
      pa_stream_set_state_callback(self->FStream, &TLiveChannel::OnStreamState, self);
    } else {
      self->FConnection = cFailedToOpen;
      self->ScheduleRetry();
    }
    break;
  case PA_CONTEXT_FAILED:
  case PA_CONTEXT_TERMINATED:
    // Never reached the server: none there; reached it before: it went away (or restarts).
    self->FConnection =
        (self->FOpened || self->FConnection == cServerLost) ? cServerLost : cNoServer;
    self->ScheduleRetry();
    break;
  default:
    break;
  }
}

void TLiveChannel::OnStreamState(pa_stream* AStream, void* AUser)
{
  auto* self = static_cast<TLiveChannel*>(AUser);
  switch (pa_stream_get_state(AStream)) {
  case PA_STREAM_READY:
    self->FConnection = cReady;
    self->UpdateLatency();
    break;
  case PA_STREAM_FAILED: {
    // The server is still there (else the context reports it): the device is gone or unknown.
    pa_context* context = pa_stream_get_context(AStream);
    if (pa_context_get_state(context) == PA_CONTEXT_READY) {
      const int error = pa_context_errno(context);
      self->FConnection =
          (error == PA_ERR_NOTSUPPORTED || error == PA_ERR_INVALID) ? cFailedToOpen : cDeviceLost;
    }
    self->ScheduleRetry();
    break;
  }
  case PA_STREAM_TERMINATED:
    // The device was unloaded or unplugged under a stream that must not move.
    if (self->FConnection == cReady) {
      self->FConnection = cDeviceLost;
      self->ScheduleRetry();
    }
    break;
  default:
    break;
  }
}

bool TLiveChannel::Play(bool)
{
  FPaused = false;
  TLoopLock lock(FLoop);
  if (FStream && pa_stream_get_state(FStream) == PA_STREAM_READY)
    pa_operation_unref(pa_stream_cork(FStream, 0, nullptr, nullptr));
  return true;
}

bool TLiveChannel::Stop()
{
  FPaused = true;
  TLoopLock lock(FLoop);
  if (FStream && pa_stream_get_state(FStream) == PA_STREAM_READY)
    pa_operation_unref(pa_stream_cork(FStream, 1, nullptr, nullptr));
  return true;
}

DWORD TLiveChannel::Active() const
{
  if (FConnection.load() != cReady)
    return BASS_ACTIVE_STALLED;
  return ActiveNow();
}

void TLiveChannel::Status(BASS_CHANNELSTATUS& AStatus) const
{
  AStatus = BASS_CHANNELSTATUS{};
  switch (FConnection.load()) {
  case cNoServer:
    AStatus.state = BASS_STATE_NOSERVER;
    break;
  case cServerLost:
    AStatus.state = BASS_STATE_SERVERLOST;
    break;
  case cDeviceLost:
  case cFailedToOpen:
    AStatus.state = BASS_STATE_DEVICELOST;
    break;
  default:
    AStatus.state = Recent(FLastDrop) ? BASS_STATE_OVERRUN : BASS_STATE_OK;
    break;
  }
  AStatus.dropped = FDropped.load(std::memory_order_relaxed);
  AStatus.latency = FLatency.load(std::memory_order_relaxed);
  AddStatus(AStatus);
}

// ---- TCaptureChannel ----

TCaptureChannel::TCaptureChannel(std::shared_ptr<TChannel> AChannel, std::string ASource,
                                 bool APaused, RECORDPROC* AProc, void* AUser)
    : TLiveChannel(std::move(AChannel), std::move(ASource), APaused), FProc(AProc), FUser(AUser),
      FBlockBytes(std::max<DWORD>(1, FChannel->Freq() / 100) * BytesPerFrame()),
      // Two seconds of room: a stage may stall now and then, and a source may hand over a burst
      // (a server catching up), without losing sound.
      FRing(static_cast<size_t>(FChannel->Freq()) * 2 * BytesPerFrame()),
      FBlock(FBlockBytes / sizeof(float))
{
  FWorker = std::thread([this] { Work(); });
}

TCaptureChannel::~TCaptureChannel()
{
  TCaptureChannel::Close();
}

void TCaptureChannel::Close()
{
  if (FWorker.joinable()) {
    FQuit = true;
    FWake.fetch_add(1);
    FWake.notify_all();
    FWorker.join();
  }
  TLiveChannel::Close();
}

pa_stream* TCaptureChannel::NewStream(pa_context* AContext)
{
  pa_sample_spec spec{PA_SAMPLE_FLOAT32NE, FChannel->Freq(),
                      static_cast<uint8_t>(FChannel->Chans())};
  pa_channel_map map;
  pa_channel_map_init_extend(&map, spec.channels, PA_CHANNEL_MAP_DEFAULT);
  pa_stream* stream = pa_stream_new(AContext, "Microphone", &spec, &map);
  if (!stream)
    return nullptr;
  pa_stream_set_read_callback(stream, &TCaptureChannel::OnRead, this);
  pa_stream_set_overflow_callback(stream, &TCaptureChannel::OnOverflow, this);
  pa_buffer_attr attr;
  attr.maxlength = static_cast<uint32_t>(-1);
  attr.tlength = attr.prebuf = attr.minreq = static_cast<uint32_t>(-1);
  attr.fragsize = FBlockBytes;
  int flags =
      PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_INTERPOLATE_TIMING;
  // A chosen microphone must not be swapped for another one when it goes away.
  if (!FDevice.empty())
    flags |= PA_STREAM_DONT_MOVE;
  if (FPaused)
    flags |= PA_STREAM_START_CORKED;
  if (pa_stream_connect_record(stream, FDevice.empty() ? nullptr : FDevice.c_str(), &attr,
                               static_cast<pa_stream_flags_t>(flags)) < 0) {
    pa_stream_unref(stream);
    return nullptr;
  }
  return stream;
}

void TCaptureChannel::OnRead(pa_stream* AStream, size_t, void* AUser)
{
  auto* self = static_cast<TCaptureChannel*>(AUser);
  const void* data = nullptr;
  size_t bytes = 0;
  while (pa_stream_readable_size(AStream) > 0) {
    if (pa_stream_peek(AStream, &data, &bytes) < 0 || bytes == 0)
      break;
    // A hole (data null) is sound the server never had: nothing to deliver.
    if (data && !self->FProcStopped) {
      const size_t written = self->FRing.Write(data, bytes);
      if (written < bytes)
        self->NoteDrop(
            static_cast<DWORD>((bytes - written + self->FBlockBytes - 1) / self->FBlockBytes));
    }
    pa_stream_drop(AStream);
  }
  if (self->FProcStopped && !self->FPaused) {
    // The procedure asked to stop: pause here, on the server's thread, without waiting for anyone.
    self->FPaused = true;
    pa_operation_unref(pa_stream_cork(AStream, 1, nullptr, nullptr));
  }
  self->UpdateLatency();
  self->FWake.fetch_add(1, std::memory_order_release);
  self->FWake.notify_one();
}

void TCaptureChannel::OnOverflow(pa_stream*, void* AUser)
{
  static_cast<TCaptureChannel*>(AUser)->NoteDrop(1);
}

void TCaptureChannel::Work()
{
  while (!FQuit) {
    const uint32_t seen = FWake.load(std::memory_order_acquire);
    bool worked = false;
    while (!FQuit && FRing.Readable() >= FBlockBytes) {
      FRing.Read(FBlock.data(), FBlockBytes);
      worked = true;
      if (FProcStopped)
        continue;
      RunStages(FBlock.data(), FBlockBytes);
      FDelivered.fetch_add(FBlockBytes, std::memory_order_relaxed);
      if (FProc && !FProc(Handle(), FBlock.data(), FBlockBytes, FUser))
        FProcStopped = true;
    }
    if (!worked)
      FWake.wait(seen, std::memory_order_acquire);
  }
}

DWORD TCaptureChannel::ActiveNow() const
{
  return FPaused ? BASS_ACTIVE_PAUSED : BASS_ACTIVE_PLAYING;
}

void TCaptureChannel::AddStatus(BASS_CHANNELSTATUS& AStatus) const
{
  AStatus.queued = static_cast<DWORD>(FRing.Readable());
}

// ---- TOutputStream ----

TOutputStream::TOutputStream(std::shared_ptr<TChannel> AChannel, std::string ASink,
                             STREAMPROC* AProc, void* AUser)
    : TLiveChannel(std::move(AChannel), std::move(ASink), true), FProc(AProc), FUser(AUser),
      // Two seconds of room for pushed samples.
      FRing(static_cast<size_t>(FChannel->Freq()) * 2 * BytesPerFrame())
{}

pa_stream* TOutputStream::NewStream(pa_context* AContext)
{
  pa_sample_spec spec{PA_SAMPLE_FLOAT32NE, FChannel->Freq(),
                      static_cast<uint8_t>(FChannel->Chans())};
  pa_channel_map map;
  pa_channel_map_init_extend(&map, spec.channels, PA_CHANNEL_MAP_DEFAULT);
  pa_stream* stream = pa_stream_new(AContext, "Playback", &spec, &map);
  if (!stream)
    return nullptr;
  pa_stream_set_write_callback(stream, &TOutputStream::OnWrite, this);
  pa_stream_set_underflow_callback(stream, &TOutputStream::OnUnderflow, this);
  pa_stream_set_latency_update_callback(stream, &TOutputStream::OnTiming, this);
  const uint32_t block = std::max<DWORD>(1, FChannel->Freq() / 100) * BytesPerFrame();
  pa_buffer_attr attr;
  attr.maxlength = static_cast<uint32_t>(-1);
  attr.tlength = 3 * block; // 30 ms in the server: low enough to listen to oneself
  attr.prebuf = static_cast<uint32_t>(-1);
  attr.minreq = block;
  attr.fragsize = static_cast<uint32_t>(-1);
  int flags = PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE |
              PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_NOT_MONOTONIC;
  if (!FDevice.empty())
    flags |= PA_STREAM_DONT_MOVE;
  if (FPaused)
    flags |= PA_STREAM_START_CORKED;
  if (pa_stream_connect_playback(stream, FDevice.empty() ? nullptr : FDevice.c_str(), &attr,
                                 static_cast<pa_stream_flags_t>(flags), nullptr, nullptr) < 0) {
    pa_stream_unref(stream);
    return nullptr;
  }
  return stream;
}

void TOutputStream::OnWrite(pa_stream* AStream, size_t ABytes, void* AUser)
{
  auto* self = static_cast<TOutputStream*>(AUser);
  const DWORD frame = self->BytesPerFrame();
  if (self->FEnded) {
    self->TakeTime();
    return;
  }
  void* data = nullptr;
  size_t room = ABytes;
  if (pa_stream_begin_write(AStream, &data, &room) < 0 || !data)
    return;
  room = std::min(room, ABytes) / frame * frame;
  if (room == 0) {
    pa_stream_cancel_write(AStream);
    return;
  }
  size_t got = 0;
  bool end = false;
  if (self->FProc == STREAMPROC_PUSH) {
    got = self->FRing.Read(data, room) / frame * frame;
    end = self->FEndQueued && self->FRing.Readable() == 0;
  } else {
    const DWORD answer = self->FProc(self->Handle(), data, static_cast<DWORD>(room), self->FUser);
    end = answer & BASS_STREAMPROC_END;
    got = std::min<size_t>(answer & ~BASS_STREAMPROC_END, room) / frame * frame;
  }
  if (got < room && !end) {
    // Starved: play silence rather than let the stream stop and wait to refill.
    std::memset(static_cast<char*>(data) + got, 0, room - got);
    self->FUnderruns.fetch_add(1, std::memory_order_relaxed);
    self->FLastUnderrun.store(Now(), std::memory_order_relaxed);
    got = room;
  }
  if (got)
    self->RunStages(static_cast<float*>(data), static_cast<DWORD>(got));
  if (got)
    pa_stream_write(AStream, data, got, nullptr, 0, PA_SEEK_RELATIVE);
  else
    pa_stream_cancel_write(AStream);
  if (end) {
    self->FEnded = true;
    // What is still buffered plays out: the server is told there is nothing more coming.
    pa_operation_unref(pa_stream_drain(
        AStream,
        [](pa_stream*, int, void* AUser) {
          auto* self = static_cast<TOutputStream*>(AUser);
          self->TakeTime();
          self->FDrained = true;
        },
        self));
  }
  self->TakeTime();
}

void TOutputStream::OnUnderflow(pa_stream*, void* AUser)
{
  auto* self = static_cast<TOutputStream*>(AUser);
  if (self->FEnded)
    return;
  self->FUnderruns.fetch_add(1, std::memory_order_relaxed);
  self->FLastUnderrun.store(Now(), std::memory_order_relaxed);
}

void TOutputStream::OnTiming(pa_stream*, void* AUser)
{
  static_cast<TOutputStream*>(AUser)->TakeTime();
}

void TOutputStream::TakeTime()
{
  UpdateLatency();
  pa_usec_t played = 0;
  if (FStream && pa_stream_get_time(FStream, &played) == 0) {
    if (FRestarted.exchange(false))
      FPositionBaseUs = played;
    FPlayedUs.store(played, std::memory_order_relaxed);
    FPlayedAt.store(Now(), std::memory_order_relaxed);
  }
}

bool TOutputStream::Play(bool ARestart)
{
  if (ARestart) {
    TLoopLock lock(FLoop);
    FRing.Clear();
    FEndQueued = false;
    FEnded = false;
    FDrained = false;
    FRestarted = true;
    if (FStream && pa_stream_get_state(FStream) == PA_STREAM_READY)
      pa_operation_unref(pa_stream_flush(FStream, nullptr, nullptr));
    TakeTime();
  }
  return TLiveChannel::Play(ARestart);
}

QWORD TOutputStream::Position() const
{
  uint64_t us = FPlayedUs.load(std::memory_order_relaxed);
  const uint64_t base = FPositionBaseUs.load(std::memory_order_relaxed);
  // Between two server reports (every 10 ms while the server takes data) the clock runs on;
  // never further, as a server that has stopped taking data sends no reports.
  if (ActiveNow() == BASS_ACTIVE_PLAYING && FConnection == cReady && us > 0) {
    const int64_t since = (Now() - FPlayedAt.load(std::memory_order_relaxed)) / 1000;
    us += static_cast<uint64_t>(std::clamp<int64_t>(since, 0, 10'000));
  }
  us = us > base ? us - base : 0;
  return us * FChannel->Freq() / 1'000'000 * BytesPerFrame();
}

DWORD TOutputStream::PutData(const void* ABuffer, DWORD ALength)
{
  if (FProc != STREAMPROC_PUSH) {
    SetError(BASS_ERROR_NOTAVAIL);
    return static_cast<DWORD>(-1);
  }
  const bool end = ALength & BASS_STREAMPROC_END;
  const DWORD bytes = ALength & ~BASS_STREAMPROC_END;
  if (bytes % BytesPerFrame() != 0 || (bytes && !ABuffer)) {
    SetError(BASS_ERROR_ILLPARAM);
    return static_cast<DWORD>(-1);
  }
  if (FEndQueued) {
    SetError(BASS_ERROR_ENDED);
    return static_cast<DWORD>(-1);
  }
  const size_t written = FRing.Write(ABuffer, bytes);
  if (written < bytes) {
    const DWORD block = std::max<DWORD>(1, FChannel->Freq() / 100) * BytesPerFrame();
    NoteDrop((bytes - written + block - 1) / block);
  }
  if (end)
    FEndQueued = true;
  SetError(BASS_OK);
  return static_cast<DWORD>(FRing.Readable());
}

DWORD TOutputStream::ActiveNow() const
{
  if (FEnded)
    return FDrained ? BASS_ACTIVE_STOPPED : BASS_ACTIVE_PLAYING;
  if (FPaused)
    return BASS_ACTIVE_PAUSED;
  if (FProc == STREAMPROC_PUSH && FRing.Readable() == 0)
    return BASS_ACTIVE_STALLED;
  return BASS_ACTIVE_PLAYING;
}

void TOutputStream::AddStatus(BASS_CHANNELSTATUS& AStatus) const
{
  AStatus.underruns = FUnderruns.load(std::memory_order_relaxed);
  AStatus.queued = static_cast<DWORD>(FRing.Readable());
  if (AStatus.state == BASS_STATE_OK) {
    if (FEnded)
      AStatus.state = BASS_STATE_ENDED;
    else if (Recent(FLastUnderrun) && !FPaused)
      AStatus.state = BASS_STATE_UNDERRUN;
  }
}

// ---- TLiveRegistry ----

TLiveRegistry& TLiveRegistry::Instance()
{
  static TLiveRegistry* registry = new TLiveRegistry;
  return *registry;
}

void TLiveRegistry::Add(std::shared_ptr<TLiveChannel> AChannel)
{
  std::lock_guard lock(Lock);
  FChannels[AChannel->Handle()] = std::move(AChannel);
}

std::shared_ptr<TLiveChannel> TLiveRegistry::Find(DWORD AHandle)
{
  std::lock_guard lock(Lock);
  auto pos = FChannels.find(AHandle);
  return pos == FChannels.end() ? nullptr : pos->second;
}

std::shared_ptr<TLiveChannel> TLiveRegistry::Take(DWORD AHandle)
{
  std::lock_guard lock(Lock);
  auto pos = FChannels.find(AHandle);
  if (pos == FChannels.end())
    return nullptr;
  auto channel = std::move(pos->second);
  FChannels.erase(pos);
  return channel;
}

std::vector<std::shared_ptr<TLiveChannel>> TLiveRegistry::TakeRecording()
{
  std::lock_guard lock(Lock);
  std::vector<std::shared_ptr<TLiveChannel>> taken;
  for (auto pos = FChannels.begin(); pos != FChannels.end();) {
    if (pos->second->IsRecording()) {
      taken.push_back(std::move(pos->second));
      pos = FChannels.erase(pos);
    } else {
      ++pos;
    }
  }
  return taken;
}

bool ServerAnswers(int ATimeoutMs)
{
  pa_mainloop* loop = pa_mainloop_new();
  if (!loop)
    return false;
  pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "Vexmo");
  bool ready = false;
  if (context && pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ATimeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
      const pa_context_state_t state = pa_context_get_state(context);
      if (state == PA_CONTEXT_READY) {
        ready = true;
        break;
      }
      if (!PA_CONTEXT_IS_GOOD(state))
        break;
      pa_mainloop_prepare(loop, 10'000);
      pa_mainloop_poll(loop);
      pa_mainloop_dispatch(loop);
    }
  }
  if (context) {
    pa_context_disconnect(context);
    pa_context_unref(context);
  }
  pa_mainloop_free(loop);
  return ready;
}

} // namespace vexmo::audio
