// Writes a finished take as a FLAC file with libFLAC. The file appears under its name only when
// it is complete: it is written under a temporary name in the same folder and renamed at the end,
// so a failure never leaves a half file where the caller asked for one.
#pragma once

#include <QDateTime>
#include <QString>
#include <cstdint>

struct TFlacFormat
{
  int Rate = 44100;
  int Chans = 1;
  int Bits = 16; // 16 or 24
  int Level = 5; // libFLAC compression level 0..8
};

// AFrames interleaved float frames of AFormat.Chans channels at AFormat.Rate; samples beyond full
// scale are clipped. False with AError (in words) on failure.
bool WriteFlacFile(const QString& APath, const float* ASamples, int64_t AFrames,
                   const TFlacFormat& AFormat, QString* AError = nullptr);

// A name from the date and time for a new voice track, e.g. "VoiceTrack 2026-12-11 16-04-55".
QString VoiceTrackBaseName(const QDateTime& AWhen);
// AFolder (ending in "/") + that name + ASuffix, with " 2", " 3", ... added before the suffix
// while such a file exists, so that two takes of one second never share a file.
QString NewVoiceTrackPath(const QString& AFolder, const QString& ASuffix, const QDateTime& AWhen);
