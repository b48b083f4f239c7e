#include "recorder/capture_engine.h"

#include "audio/basswasapi.h"
#include "dsp/dsp_manager.h"
#include "settings/system_ini.h"

#include <cmath>

TMicrophone ConfiguredMicrophone(TSystemIni* ASystemIni)
{
  TMicrophone Mic;
  TInputDevice* Input = ASystemIni ? ASystemIni->Inputs().Items(0) : nullptr;
  if (Input) {
    if (!Input->DeviceID().startsWith(QLatin1Char(':')))
      Mic.SourceName = Input->DeviceID();
    Mic.Chans = Input->Stereo() ? 2 : 1;
  }
  // The name the user picked it by, from the sound server's list.
  BASS_WASAPI_DEVICEINFO Info{};
  for (DWORD I = 0; !Mic.SourceName.isEmpty() && BASS_WASAPI_GetDeviceInfo(I, &Info); ++I)
    if (Info.id && QString::fromUtf8(Info.id) == Mic.SourceName && Info.name) {
      Mic.DisplayName = QString::fromUtf8(Info.name);
      break;
    }
  if (Mic.DisplayName.isEmpty())
    Mic.DisplayName =
        Mic.SourceName.isEmpty() ? QStringLiteral("Default microphone") : Mic.SourceName;
  return Mic;
}

TCaptureEngine::TCaptureEngine() = default;

TCaptureEngine::~TCaptureEngine()
{
  Close();
}

bool TCaptureEngine::Open(const TMicrophone& AMic, int ARate, TDSPManager* AChain, QString* AError)
{
  Close();
  auto Fail = [&](const QString& AText) {
    if (AError)
      *AError = AText;
    return false;
  };
  const QByteArray Source = AMic.SourceName.toUtf8();
  BASS_RecordSetSource(Source.constData());
  if (!BASS_RecordInit(-1))
    return Fail(QStringLiteral("No sound server answers, so the microphone cannot be used."));
  FRate = ARate;
  FChans = AMic.Chans;
  FBlocks = 0;
  // The window shows peak, hold, clip and short-term loudness, never the live true peak (a take's
  // true peak is measured on the take): leave out the meter's costly oversampling.
  FMeter =
      std::make_unique<vexmo::audio::TLevelMeter>(unsigned(ARate), unsigned(AMic.Chans), false);
  FChannel =
      BASS_RecordStart(DWORD(ARate), DWORD(AMic.Chans), 0, &TCaptureEngine::RecordProc, this);
  if (!FChannel) {
    switch (BASS_ErrorGetCode()) {
    case BASS_ERROR_DEVICE:
      return Fail(QStringLiteral("The microphone \"%1\" is not connected.").arg(AMic.DisplayName));
    case BASS_ERROR_DRIVER:
      return Fail(QStringLiteral("No sound server answers, so the microphone cannot be used."));
    default:
      return Fail(QStringLiteral("The microphone \"%1\" could not be started (error %2).")
                      .arg(AMic.DisplayName)
                      .arg(BASS_ErrorGetCode()));
    }
  }
  FChain = AChain;
  if (FChain) {
    FChain->SetWorkChannel(FChannel);
    FChain->StartAllDSPs();
  }
  return true;
}

void TCaptureEngine::Close()
{
  SetListen(false);
  if (Recording())
    StopTake();
  if (FChain && FChannel) {
    // Stages come off the channel before it goes; their switches stay as the
    // user set them.
    for (int I = 0; FChain->DSPList() && I < FChain->DSPList()->Count(); ++I)
      FChain->StopDSP(I);
    FChain->SetWorkChannel(0);
  }
  FChain = nullptr;
  if (FChannel)
    BASS_ChannelFree(FChannel);
  FChannel = 0;
}

bool TCaptureEngine::StartTake(const QString& APath, QString* AError)
{
  if (!FChannel)
    return false;
  if (Recording())
    StopTake();
  if (!FWriter.Start(APath, FRate, FChans)) {
    if (AError)
      *AError = FWriter.Error();
    return false;
  }
  FRecording.store(true, std::memory_order_release);
  return true;
}

bool TCaptureEngine::StopTake()
{
  FRecording.store(false, std::memory_order_release);
  return FWriter.Stop();
}

BOOL TCaptureEngine::RecordProc(HRECORD, const void* ABuffer, DWORD ALength, void* AUser)
{
  auto* Self = static_cast<TCaptureEngine*>(AUser);
  Self->OnBlock(static_cast<const float*>(ABuffer), ALength / DWORD(4 * Self->FChans));
  return TRUE;
}

void TCaptureEngine::OnBlock(const float* ASamples, DWORD AFrames)
{
  FBlocks.fetch_add(1, std::memory_order_relaxed);
  FMeter->Process(ASamples, AFrames);
  if (FRecording.load(std::memory_order_acquire))
    FWriter.Push(ASamples, int64_t(AFrames));
  if (FListen.load(std::memory_order_acquire) && FMonitor)
    BASS_StreamPutData(FMonitor, ASamples, AFrames * DWORD(4 * FChans));
}

QString TCaptureEngine::Trouble() const
{
  BASS_CHANNELSTATUS Status{};
  if (!FChannel || !BASS_ChannelGetStatus(FChannel, &Status))
    return {};
  switch (Status.state) {
  case BASS_STATE_NOSERVER:
    return QStringLiteral("No sound server: waiting for it to come back.");
  case BASS_STATE_SERVERLOST:
    return QStringLiteral("The sound server went away: waiting for it to come back.");
  case BASS_STATE_DEVICELOST:
    return QStringLiteral("The microphone was disconnected: waiting for it to come back.");
  case BASS_STATE_OVERRUN:
    return QStringLiteral("The computer cannot keep up: some sound was lost.");
  default:
    return {};
  }
}

bool TCaptureEngine::Lost() const
{
  BASS_CHANNELSTATUS Status{};
  if (!FChannel || !BASS_ChannelGetStatus(FChannel, &Status))
    return false;
  return Status.state == BASS_STATE_NOSERVER || Status.state == BASS_STATE_SERVERLOST ||
         Status.state == BASS_STATE_DEVICELOST;
}

bool TCaptureEngine::SetListen(bool AOn, QString* AError)
{
  if (!AOn) {
    FListen.store(false, std::memory_order_release);
    if (FMonitor) {
      BASS_ChannelFree(FMonitor);
      FMonitor = 0;
    }
    return true;
  }
  if (!FChannel)
    return false;
  if (!FMonitor) {
    FMonitor = BASS_StreamCreate(DWORD(FRate), DWORD(FChans), 0, STREAMPROC_PUSH, nullptr);
    if (!FMonitor || !BASS_ChannelPlay(FMonitor, FALSE)) {
      if (FMonitor)
        BASS_ChannelFree(FMonitor);
      FMonitor = 0;
      if (AError)
        *AError = QStringLiteral("The headphones could not be opened for listening.");
      return false;
    }
  }
  FListen.store(true, std::memory_order_release);
  return true;
}
