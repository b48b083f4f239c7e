// The XML replies of the station's remote-control interface.
#pragma once

#include "station_playlist.h"

#include <QByteArray>

// Snapshot of every entry with its start time on the station's clock (ANowMs, local time).
QList<TStationEntry> PlaylistSnapshot(const TStationPlaylist& APlaylist, qint64 ANowMs);

// Reply to "getplaylist2": one TRACK element per entry, in playlist order, under <Playlist>.
QByteArray PlaylistXml(const TStationPlaylist& APlaylist, qint64 ANowMs);

// Reply to "playbackinfo": the entry on air under <CurrentTrack>, then <Playback> with the
// 1-based playlistpos (0 when stopped), pos and len in milliseconds and the state.
QByteArray PlaybackXml(const TStationPlaylist& APlaylist, qint64 ANowMs);
