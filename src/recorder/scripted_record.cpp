#include "recorder/scripted_record.h"

#include "dsp/dsp_manager.h"
#include "recorder/capture_engine.h"
#include "recorder/command_line.h"
#include "recorder/flac_output.h"
#include "recorder/recorder_settings.h"
#include "recorder/recorder_startup.h"
#include "recorder/take_edit.h"
#include "settings/player_ini.h"
#include "settings/system_ini.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <cmath>
#include <cstdio>
#include <unistd.h>

namespace {

int Fail(int ACode, const QString& AText)
{
  std::fprintf(stderr, "quillon: %s\n", qUtf8Printable(AText));
  return ACode;
}

// Numbers in what we print use "." whatever the locale.
QString Db(double AValue)
{
  return std::isfinite(AValue) ? QString::number(AValue, 'f', 1) : QStringLiteral("-inf");
}

} // namespace

int RunScriptedRecord(const TCommandLine& ACmd)
{
  const QFileInfo Output(ACmd.Output);
  const QString OutFolder = Output.absolutePath();
  if (!QFileInfo(OutFolder).isDir())
    return Fail(CExitOutput, QStringLiteral("The folder %1 does not exist.").arg(OutFolder));
  if (::access(QFile::encodeName(OutFolder).constData(), W_OK) != 0 || Output.isDir())
    return Fail(CExitOutput,
                QStringLiteral("%1 cannot be written.").arg(Output.absoluteFilePath()));

  const TRecorderSettings& Settings = RecorderSettings();
  const TMicrophone Mic = ConfiguredMicrophone(SystemIni);
  // The server converts to the output rate, so the take needs no resampling.
  const int Rate = Settings.SampleRate;
  TDSPManager Chain(QStringLiteral("Mic"));
  Chain.SetDSPList(&PlayerIni->MicDSPList());
  TCaptureEngine Engine;
  QString Error;
  if (!Engine.Open(Mic, Rate, &Chain, &Error))
    return Fail(CExitSound, Error);

  // The take streams into the voice-track folder like every take, so a crash
  // leaves it there.
  const QString TakePath =
      NewVoiceTrackPath(VoiceTrackFolder(), TakeFileSuffix(), QDateTime::currentDateTime());
  if (!Engine.StartTake(TakePath, &Error))
    return Fail(CExitOutput, Error);

  const int64_t Wanted = int64_t(std::llround(ACmd.Seconds * Rate));
  // Time is counted in samples; the wall clock only guards against a server
  // that stalls.
  const qint64 GiveUpMs = qint64(ACmd.Seconds * 1000) + 10000;
  QElapsedTimer Clock;
  Clock.start();
  QString Trouble;
  while (Engine.Writer().FramesWritten() < Wanted && !Engine.Writer().Failed()) {
    if (Engine.Lost() && Clock.elapsed() > 2000) {
      Trouble = Engine.Trouble();
      break;
    }
    if (Clock.elapsed() > GiveUpMs) {
      Trouble = QStringLiteral("The microphone stopped delivering sound.");
      break;
    }
    QThread::msleep(10);
  }
  const bool WriterOk = Engine.StopTake();
  const uint64_t Dropped = Engine.Writer().DroppedFrames();
  Engine.Close();
  if (!WriterOk)
    return Fail(CExitOutput, Engine.Writer().Error() +
                                 QStringLiteral(" What was recorded is kept in %1.").arg(TakePath));
  if (!Trouble.isEmpty())
    return Fail(CExitSound,
                Trouble + QStringLiteral(" What was recorded is kept in %1.").arg(TakePath));

  TTakeAudio Take;
  if (!ReadTakeFile(TakePath, Take, &Error))
    return Fail(CExitOutput, QStringLiteral("Cannot read the take back: %1").arg(Error));
  if (Take.Frames() > Wanted)
    Take.Samples.resize(size_t(Wanted * Take.Chans));

  TTakeEdit Edit{0, Take.Frames(), 0.0};
  if (ACmd.Trim)
    Edit = TrimSilence(Take, Settings.TrimThresholdDb, Settings.TrimPaddingMs);
  if (ACmd.Normalize) {
    const TTakeLevels Levels = MeasureTake(Take, Edit.Start, Edit.End - Edit.Start);
    Edit.GainDb = NormaliseGain(Levels, Settings.TargetLufs, Settings.CeilingDbtp).GainDb;
  }
  const std::vector<float> Final = RenderTake(Take, Edit);
  const int64_t Frames = int64_t(Final.size()) / Take.Chans;
  TFlacFormat Format{Take.Rate, Take.Chans, Settings.BitsPerSample, 5};
  if (!WriteFlacFile(Output.absoluteFilePath(), Final.data(), Frames, Format, &Error))
    return Fail(CExitOutput,
                Error + QStringLiteral(" What was recorded is kept in %1.").arg(TakePath));
  QFile::remove(TakePath);

  TTakeAudio Written{Take.Rate, Take.Chans, Final};
  const TTakeLevels Levels = MeasureTake(Written, 0, Frames);
  std::printf("%s s, peak %s dBFS, %s LUFS%s\n",
              qUtf8Printable(QString::number(double(Frames) / Take.Rate, 'f', 3)),
              qUtf8Printable(Db(Levels.SamplePeakDb)), qUtf8Printable(Db(Levels.IntegratedLufs)),
              Dropped ? qUtf8Printable(QStringLiteral(" (%1 samples lost)").arg(Dropped)) : "");
  std::fflush(stdout);
  return CExitOk;
}
