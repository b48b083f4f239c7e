// What the station's read requests deliver.
#pragma once

#include <QString>
#include <vector>

// One playlist entry, its texts as they are shown.
struct TPlaylistItem
{
  QString Title;     // CASTTITLE
  QString Duration;  // DURATION, as sent
  QString StartTime; // STARTTIME in the user's long time format
};

// Index i is the entry at position i + 1 on the station.
using TPlaylist = std::vector<TPlaylistItem>;

struct TPlaybackInfo
{
  // 1-based position of the entry on air; 0 or -1 mark none.
  int PlaylistPos = 0;
  void Reset() { PlaylistPos = -1; }
};
