#include "station_playlist.h"

QString FormatStationDuration(qint64 AMs)
{
  const qint64 Seconds = (qMax<qint64>(AMs, 0) + 500) / 1000;
  if (Seconds >= 3600)
    return QStringLiteral("%1:%2:%3")
        .arg(Seconds / 3600)
        .arg(Seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(Seconds % 60, 2, 10, QLatin1Char('0'));
  return QStringLiteral("%1:%2").arg(Seconds / 60).arg(Seconds % 60, 2, 10, QLatin1Char('0'));
}

QString TStationEntry::CastTitle() const
{
  return Artist.isEmpty() ? SongTitle : Artist + QStringLiteral(" - ") + SongTitle;
}

QString TStationEntry::DurationText() const
{
  return FormatStationDuration(DurationMs);
}

QString TStationEntry::StartTimeText() const
{
  return StartTime.time().toString(QStringLiteral("HH:mm:ss"));
}

TStationPlaylist::TStationPlaylist(TPolicy APolicy, TNextEntry ANext)
    : FPolicy(APolicy), FNext(std::move(ANext))
{}

qint64 TStationPlaylist::ElapsedMs(qint64 ANowMs) const
{
  return FPlaying < 0 ? 0 : qMax<qint64>(ANowMs - FPlayingStartMs, 0);
}

qint64 TStationPlaylist::StartMs(int AIndex, qint64 ANowMs) const
{
  const int Anchor = FPlaying < 0 ? 0 : FPlaying;
  qint64 Start = FPlaying < 0 ? ANowMs : FPlayingStartMs;
  for (int I = Anchor; I < AIndex; ++I)
    Start += FEntries.at(I).DurationMs;
  for (int I = AIndex; I < Anchor; ++I)
    Start -= FEntries.at(I).DurationMs;
  return Start;
}

void TStationPlaylist::CatchUp(qint64 ANowMs)
{
  // Each pass ends one entry; entries of zero length end at once, like a player skips them.
  while (FPlaying >= 0 && ANowMs >= FPlayingStartMs + PlayLength(FPlaying))
    EntryEnded(FPlayingStartMs + PlayLength(FPlaying));
}

qint64 TStationPlaylist::PlayLength(int AIndex) const
{
  const qint64 Length = FEntries.at(AIndex).DurationMs;
  return FPolicy.MaxPlayMs > 0 ? qMin(Length, FPolicy.MaxPlayMs) : Length;
}

void TStationPlaylist::EntryEnded(qint64 AEndMs)
{
  ++FPlaying;
  FPlayingStartMs = AEndMs;
  if (FPolicy.KeepPlayed >= 0 && FPlaying > FPolicy.KeepPlayed) {
    const int Drop = FPlaying - FPolicy.KeepPlayed;
    FEntries.remove(0, Drop);
    FPlaying -= Drop;
  }
  if (FNext && FPolicy.FillTo > 0)
    while (FEntries.size() - FPlaying < FPolicy.FillTo)
      FEntries.append(FNext());
  if (FPlaying >= FEntries.size())
    FPlaying = -1;
}

void TStationPlaylist::Replace(const QList<TStationEntry>& AEntries, qint64 ANowMs)
{
  FEntries = AEntries;
  for (TStationEntry& Entry : FEntries)
    Entry.StartTime = QDateTime();
  FPlaying = FEntries.isEmpty() ? -1 : 0;
  FPlayingStartMs = ANowMs;
}

void TStationPlaylist::Fill(int ACount)
{
  if (!FNext)
    return;
  for (int I = 0; I < ACount; ++I)
    FEntries.append(FNext());
}

bool TStationPlaylist::Play(int AIndex, qint64 AStartMs)
{
  if (AIndex < -1 || AIndex >= FEntries.size())
    return false;
  FPlaying = AIndex;
  FPlayingStartMs = AStartMs;
  return true;
}

void TStationPlaylist::Skip(qint64 ANowMs)
{
  if (FPlaying >= 0)
    EntryEnded(ANowMs);
}

bool TStationPlaylist::Remove(int AIndex, qint64 ANowMs)
{
  if (AIndex < 0 || AIndex >= FEntries.size())
    return false;
  FEntries.removeAt(AIndex);
  if (AIndex < FPlaying) {
    --FPlaying;
  } else if (AIndex == FPlaying) {
    // The entry that moved up into its place goes on air at once.
    FPlayingStartMs = ANowMs;
    if (FPlaying >= FEntries.size())
      FPlaying = -1;
  }
  return true;
}

bool TStationPlaylist::Move(int AFrom, int ATo)
{
  if (AFrom < 0 || AFrom >= FEntries.size() || ATo < 0 || ATo >= FEntries.size())
    return false;
  FEntries.move(AFrom, ATo);
  if (FPlaying == AFrom)
    FPlaying = ATo;
  else if (AFrom < FPlaying && ATo >= FPlaying)
    --FPlaying;
  else if (AFrom > FPlaying && ATo <= FPlaying && FPlaying >= 0)
    ++FPlaying;
  return true;
}

bool TStationPlaylist::Insert(int AIndex, const TStationEntry& AEntry)
{
  if (AIndex < 0 || AIndex > FEntries.size())
    return false;
  FEntries.insert(AIndex, AEntry);
  if (FPlaying >= 0 && AIndex <= FPlaying)
    ++FPlaying;
  return true;
}
