// The recorder's own settings (recorder.ini in the data folder, in the program's settings text
// form): how a take is trimmed and normalised and what the FLAC file holds.
#pragma once

#include "settings/settings_record.h"

class TRecorderSettings : public TSettingsRecord
{
public:
  QString ClassName() const override { return QStringLiteral("TRecorderSettings"); }
  void DefineProperties(TPropertyList& AList) override;

  // Data folder + "recorder.ini".
  static QString FileName();
  // Missing file: the defaults. Shows nothing.
  void Read();
  // A failure is shown.
  bool Save();

  // Trim silence: frames quieter than this (dBFS) at the head and tail go ...
  double TrimThresholdDb = -40.0;
  // ... but this much of them stays on each side.
  qint32 TrimPaddingMs = 150;
  // Normalise: integrated loudness target and true-peak ceiling.
  double TargetLufs = -16.0;
  double CeilingDbtp = -1.0;
  // FLAC output: rate (44100 or 48000), bits (16 or 24), channels (0: the microphone's).
  qint32 SampleRate = 44100;
  qint32 BitsPerSample = 16;
  qint32 Channels = 0;
  // Headphone monitoring of the processed microphone.
  bool Listen = false;

  // Values outside what the recorder can write are brought back to the defaults.
  void Sanitise();
};
