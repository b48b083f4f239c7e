#include "recorder/recorder_settings.h"

#include "base/data_folders.h"
#include "base/message_box.h"
#include "settings/settings_file.h"

#include <QFileInfo>
#include <cmath>

void TRecorderSettings::DefineProperties(TPropertyList& AList)
{
  TSettingsRecord::DefineProperties(AList);
  AList.Double("TrimThreshold", &TrimThresholdDb);
  AList.Integer("TrimPadding", &TrimPaddingMs);
  AList.Double("TargetLoudness", &TargetLufs);
  AList.Double("TruePeakCeiling", &CeilingDbtp);
  AList.Integer("SampleRate", &SampleRate);
  AList.Integer("BitsPerSample", &BitsPerSample);
  AList.Integer("Channels", &Channels);
  AList.Boolean("Listen", &Listen);
}

QString TRecorderSettings::FileName()
{
  return DataFolder() + QStringLiteral("recorder.ini");
}

void TRecorderSettings::Read()
{
  if (QFileInfo::exists(FileName()))
    LoadSettingsFile(*this, FileName());
  Sanitise();
}

bool TRecorderSettings::Save()
{
  const TSettingsError Error = SaveSettingsFile(*this, FileName());
  if (Error.Failed()) {
    MyMessageBox(QStringLiteral("Error saving file (recorder.ini): %1.").arg(Error.Message),
                 QStringLiteral("Error"), MB_ICONERROR);
    return false;
  }
  return true;
}

void TRecorderSettings::Sanitise()
{
  const TRecorderSettings Defaults;
  if (!std::isfinite(TrimThresholdDb) || TrimThresholdDb > 0 || TrimThresholdDb < -120)
    TrimThresholdDb = Defaults.TrimThresholdDb;
  if (TrimPaddingMs < 0 || TrimPaddingMs > 10000)
    TrimPaddingMs = Defaults.TrimPaddingMs;
  if (!std::isfinite(TargetLufs) || TargetLufs > 0 || TargetLufs < -70)
    TargetLufs = Defaults.TargetLufs;
  if (!std::isfinite(CeilingDbtp) || CeilingDbtp > 0 || CeilingDbtp < -20)
    CeilingDbtp = Defaults.CeilingDbtp;
  if (SampleRate != 44100 && SampleRate != 48000)
    SampleRate = Defaults.SampleRate;
  if (BitsPerSample != 16 && BitsPerSample != 24)
    BitsPerSample = Defaults.BitsPerSample;
  if (Channels < 0 || Channels > 2)
    Channels = Defaults.Channels;
}
