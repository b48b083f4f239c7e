// The station's playlist and what is on air: entries, the playing position and the clock rule
// that moves it on when an entry has played to its end.
#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>

struct TStationEntry
{
  QString Artist; // empty for voice tracks
  QString SongTitle;
  qint64 DurationMs = 0;
  QString FileName; // where the station keeps the audio (the stored upload for voice tracks)
  bool VoiceTrack = false;
  // Filled in snapshots (TStationServer::Playlist); ignored when entries are handed in.
  QDateTime StartTime;

  // What listeners and the remote client see: "Artist - Title", or the title alone.
  QString CastTitle() const;
  // "m:ss", or "h:mm:ss" from one hour on; rounded to the nearest second.
  QString DurationText() const;
  // Time of day of StartTime as "hh:mm:ss" (24-hour, wraps after midnight).
  QString StartTimeText() const;
};

// "m:ss" / "h:mm:ss" of a length in milliseconds (see TStationEntry::DurationText).
QString FormatStationDuration(qint64 AMs);

// Not thread-safe: the server guards it with its own lock. Times are milliseconds since the
// epoch on the station's clock; callers pass "now" so that the clock can be set by tests.
class TStationPlaylist
{
public:
  struct TPolicy
  {
    // Played entries kept above the playing one; older ones drop off the top. -1 keeps all.
    int KeepPlayed = 3;
    // After an entry ends, the scheduler appends entries until this many are still to play
    // (the playing one included). 0 disables the automatic fill.
    int FillTo = 37;
    // Rolling log: an entry ends after this long on air even when it is longer. 0: no limit.
    qint64 MaxPlayMs = 0;
  };
  using TNextEntry = std::function<TStationEntry()>;

  TStationPlaylist(TPolicy APolicy, TNextEntry ANext);

  int Count() const { return FEntries.size(); }
  const TStationEntry& At(int AIndex) const { return FEntries.at(AIndex); }
  // 0-based index of the entry on air, -1 when the station is stopped.
  int PlayingIndex() const { return FPlaying; }
  // How far into the playing entry the station is (0 when stopped).
  qint64 ElapsedMs(qint64 ANowMs) const;
  // When entry AIndex started or will start: the playing entry at its real start, the others
  // back to back around it. When stopped, as if entry 0 started now.
  qint64 StartMs(int AIndex, qint64 ANowMs) const;

  // Moves the playing position on past every entry that has played to its end by ANowMs.
  void CatchUp(qint64 ANowMs);
  // Replaces all entries; the first one starts playing at ANowMs (an empty list is stopped).
  void Replace(const QList<TStationEntry>& AEntries, qint64 ANowMs);
  // Appends AEntries scheduled entries without touching the playing position.
  void Fill(int ACount);
  // Puts entry AIndex on air, started at AStartMs; -1 stops. False when out of range.
  bool Play(int AIndex, qint64 AStartMs);
  // Ends the playing entry now, as if it had played out.
  void Skip(qint64 ANowMs);

  // Edits keep the same entry on air. Deleting the playing entry skips to the next one, which
  // starts at ANowMs. Each returns false, changing nothing, when an index is out of range.
  bool Remove(int AIndex, qint64 ANowMs);
  bool Move(int AFrom, int ATo);
  bool Insert(int AIndex, const TStationEntry& AEntry); // AIndex may be Count() (append)

private:
  void EntryEnded(qint64 AEndMs);
  // How long entry AIndex stays on air.
  qint64 PlayLength(int AIndex) const;

  TPolicy FPolicy;
  TNextEntry FNext;
  QList<TStationEntry> FEntries;
  int FPlaying = -1;
  qint64 FPlayingStartMs = 0;
};
