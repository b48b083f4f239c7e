#include "flac_info.h"

namespace {

quint32 Byte(const QByteArray& AData, qsizetype APos)
{
  return quint8(AData.at(APos));
}

} // namespace

qint64 TFlacInfo::DurationMs() const
{
  if (SampleRate == 0)
    return 0;
  return qint64((TotalSamples * 1000 + SampleRate / 2) / SampleRate);
}

bool ReadFlacInfo(const QByteArray& AData, TFlacInfo& AInfo, QString& AError)
{
  constexpr qsizetype CStreamInfoLength = 34;
  if (!AData.startsWith("fLaC")) {
    AError = QStringLiteral("not a FLAC file");
    return false;
  }
  // The first metadata block must be STREAMINFO (type 0) of its fixed length.
  if (AData.size() < 8 + CStreamInfoLength || (Byte(AData, 4) & 0x7F) != 0 ||
      ((Byte(AData, 5) << 16) | (Byte(AData, 6) << 8) | Byte(AData, 7)) != CStreamInfoLength) {
    AError = QStringLiteral("damaged FLAC file (no stream information)");
    return false;
  }
  const qsizetype S = 8;
  TFlacInfo Info;
  Info.SampleRate =
      (Byte(AData, S + 10) << 12) | (Byte(AData, S + 11) << 4) | (Byte(AData, S + 12) >> 4);
  Info.Channels = ((Byte(AData, S + 12) >> 1) & 0x07) + 1;
  Info.BitsPerSample = (((Byte(AData, S + 12) & 0x01) << 4) | (Byte(AData, S + 13) >> 4)) + 1;
  Info.TotalSamples = (quint64(Byte(AData, S + 13) & 0x0F) << 32) |
                      (quint64(Byte(AData, S + 14)) << 24) | (Byte(AData, S + 15) << 16) |
                      (Byte(AData, S + 16) << 8) | Byte(AData, S + 17);
  if (Info.SampleRate == 0) {
    AError = QStringLiteral("damaged FLAC file (sample rate 0)");
    return false;
  }
  if (Info.TotalSamples == 0) {
    AError = QStringLiteral("the FLAC file does not state its length");
    return false;
  }

  // Walk the metadata blocks to the first audio frame, so that a file cut short after its
  // header is not put on air as silence.
  qsizetype Pos = 4;
  for (;;) {
    if (Pos + 4 > AData.size()) {
      AError = QStringLiteral("damaged FLAC file (metadata cut short)");
      return false;
    }
    const bool Last = Byte(AData, Pos) & 0x80;
    const qsizetype Length =
        (Byte(AData, Pos + 1) << 16) | (Byte(AData, Pos + 2) << 8) | Byte(AData, Pos + 3);
    Pos += 4 + Length;
    if (Last)
      break;
  }
  // Frame sync: 14 bits of 1, then a reserved 0 bit and the blocking-strategy bit.
  if (Pos + 2 > AData.size() || Byte(AData, Pos) != 0xFF || (Byte(AData, Pos + 1) & 0xFE) != 0xF8) {
    AError = QStringLiteral("damaged FLAC file (no audio frames)");
    return false;
  }
  AInfo = Info;
  return true;
}
