// The station's music scheduler: picks the songs and jingles that fill the playlist, the way an
// automation program's rotation does, from a small built-in catalogue.
#pragma once

#include "station_playlist.h"

#include <QList>
#include <QRandomGenerator>

class TStationScheduler
{
public:
  // The same seed always gives the same sequence, so tests and demos see a stable playlist.
  explicit TStationScheduler(quint32 ASeed);

  // The next entry of the rotation: songs in shuffled order, a jingle after every four songs,
  // and no song twice in a row when the rotation starts over.
  TStationEntry Next();

private:
  void Reshuffle();

  QRandomGenerator FRandom;
  QList<int> FOrder;
  int FOrderPos = 0;
  int FSlot = 0;
  int FJingle = 0;
};
