// What the station needs to know about an uploaded FLAC file before it puts it on the playlist.
#pragma once

#include <QByteArray>
#include <QString>

struct TFlacInfo
{
  quint32 SampleRate = 0;
  quint32 Channels = 0;
  quint32 BitsPerSample = 0;
  quint64 TotalSamples = 0;

  // Play length from the stream header, rounded to the nearest millisecond.
  qint64 DurationMs() const;
};

// Reads the STREAMINFO block of a whole FLAC file. Returns false with AError set when the data
// is no FLAC stream, does not state its length, or holds no audio after its metadata.
bool ReadFlacInfo(const QByteArray& AData, TFlacInfo& AInfo, QString& AError);
