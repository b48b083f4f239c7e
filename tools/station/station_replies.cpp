#include "station_replies.h"

#include <QXmlStreamWriter>

namespace {

// XML 1.0 cannot carry most control characters, even escaped; a title never needs them.
QString XmlSafe(const QString& AText)
{
  QString Result = AText;
  for (QChar& C : Result)
    if (C.unicode() < 0x20 && C != QLatin1Char('\t'))
      C = QLatin1Char(' ');
  return Result;
}

void WriteTrack(QXmlStreamWriter& AWriter, const TStationEntry& AEntry)
{
  AWriter.writeEmptyElement(QStringLiteral("TRACK"));
  AWriter.writeAttribute(QStringLiteral("ARTIST"), XmlSafe(AEntry.Artist));
  AWriter.writeAttribute(QStringLiteral("TITLE"), XmlSafe(AEntry.SongTitle));
  AWriter.writeAttribute(QStringLiteral("CASTTITLE"), XmlSafe(AEntry.CastTitle()));
  AWriter.writeAttribute(QStringLiteral("DURATION"), AEntry.DurationText());
  AWriter.writeAttribute(QStringLiteral("STARTTIME"), AEntry.StartTimeText());
  AWriter.writeAttribute(QStringLiteral("FILENAME"), XmlSafe(AEntry.FileName));
}

} // namespace

QList<TStationEntry> PlaylistSnapshot(const TStationPlaylist& APlaylist, qint64 ANowMs)
{
  QList<TStationEntry> Entries;
  Entries.reserve(APlaylist.Count());
  for (int I = 0; I < APlaylist.Count(); ++I) {
    TStationEntry Entry = APlaylist.At(I);
    Entry.StartTime = QDateTime::fromMSecsSinceEpoch(APlaylist.StartMs(I, ANowMs));
    Entries.append(Entry);
  }
  return Entries;
}

QByteArray PlaylistXml(const TStationPlaylist& APlaylist, qint64 ANowMs)
{
  QByteArray Xml;
  QXmlStreamWriter Writer(&Xml);
  Writer.setAutoFormatting(true);
  Writer.writeStartDocument();
  Writer.writeStartElement(QStringLiteral("Playlist"));
  for (const TStationEntry& Entry : PlaylistSnapshot(APlaylist, ANowMs))
    WriteTrack(Writer, Entry);
  Writer.writeEndElement();
  Writer.writeEndDocument();
  return Xml;
}

QByteArray PlaybackXml(const TStationPlaylist& APlaylist, qint64 ANowMs)
{
  QByteArray Xml;
  QXmlStreamWriter Writer(&Xml);
  Writer.setAutoFormatting(true);
  Writer.writeStartDocument();
  Writer.writeStartElement(QStringLiteral("Info"));
  const int Playing = APlaylist.PlayingIndex();
  qint64 Length = 0;
  if (Playing >= 0) {
    TStationEntry Entry = APlaylist.At(Playing);
    Entry.StartTime = QDateTime::fromMSecsSinceEpoch(APlaylist.StartMs(Playing, ANowMs));
    Length = Entry.DurationMs;
    Writer.writeStartElement(QStringLiteral("CurrentTrack"));
    WriteTrack(Writer, Entry);
    Writer.writeEndElement();
  }
  Writer.writeEmptyElement(QStringLiteral("Playback"));
  Writer.writeAttribute(QStringLiteral("pos"), QString::number(APlaylist.ElapsedMs(ANowMs)));
  Writer.writeAttribute(QStringLiteral("len"), QString::number(Length));
  Writer.writeAttribute(QStringLiteral("state"),
                        Playing >= 0 ? QStringLiteral("play") : QStringLiteral("stop"));
  Writer.writeAttribute(QStringLiteral("playlistpos"), QString::number(Playing + 1));
  Writer.writeEndElement();
  Writer.writeEndDocument();
  return Xml;
}
