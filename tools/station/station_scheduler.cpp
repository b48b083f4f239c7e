#include "station_scheduler.h"

#include <algorithm>
#include <iterator>

namespace {

struct TCatalogueItem
{
  const char* Artist;
  const char* Title;
  int Seconds;
};

// Invented artists and titles; a few carry accents, an ampersand and quotes on purpose, because
// real playlists do and clients must show them intact.
const TCatalogueItem CSongs[] = {
    {"The Harbour Lights", "Northbound Train", 225},
    {"Mara Quill", "Paper Satellites", 198},
    {"Zoë Marchetti", "Café de Nuit", 241},
    {"Hartley & The Tides", "Saltwater Letters", 212},
    {"Ólafur Brynjarsson", "Ljós í myrkri", 263},
    {"Juniper Vale", "Summer in Reverse", 187},
    {"Kōji Amano", "Neon Rain", 229},
    {"The Lantern Society", "Gold on the River", 254},
    {"Ada Finch", "Rooftop Weather", 201},
    {"Les Étoiles Filantes", "Minuit à Lyon", 236},
    {"Brass Kestrel", "Copper Sky", 219},
    {"Nina Okafor", "Slow Motion Parade", 244},
    {"Velvet Static", "Radio Silence", 207},
    {"Tomás Ferreira", "Canção do Mar", 276},
    {"The Paper Kites Club", "Long Way Home", 193},
    {"Ivy Calder", "Bright Side of Tuesday", 215},
    {"Otto & Lena", "Two Cups of Coffee", 182},
    {"Silver Birch", "Woodsmoke", 258},
    {"Dmitri Volkov Trio", "Midnight Express", 312},
    {"Sunny Days Collective", "\"Hello\" Again", 204},
    {"Marisol Peña", "Luna Llena", 223},
    {"Frost Avenue", "Cold Hands, Warm Heart", 238},
    {"The Wanderlings", "Atlas", 249},
    {"Grace Holloway", "Letters I Never Sent", 231},
    {"Citylights Orchestra", "Downtown 5 AM", 285},
    {"Henrik Sjöberg", "Nordic Summer", 214},
    {"Papercut Hearts", "Static Love", 196},
    {"Luca Bianchi", "Strade di Roma", 227},
    {"The Quiet Engines", "Steam", 242},
    {"Amara Lindqvist", "Glass Houses", 208},
    {"Blue Harbour Band", "Fishing for Stars", 233},
    {"Rosa Delgado", "Dance Until Sunrise", 219},
    {"Echo Park Revival", "Polaroid Summer", 201},
    {"Jonah Whitfield", "Ten Miles of Rain", 266},
    {"Saffron Skies", "Monsoon", 247},
    {"The Late Arrivals", "Missed the Last Bus", 189},
};

// Short station elements between songs, as a rotation plays them.
const TCatalogueItem CJingles[] = {
    {"Station ID", "Your Music, All Day", 8},
    {"Station ID", "The Morning Mix", 12},
    {"Station ID", "Non-Stop Hits", 6},
};

TStationEntry MakeEntry(const TCatalogueItem& AItem)
{
  TStationEntry Entry;
  Entry.Artist = QString::fromUtf8(AItem.Artist);
  Entry.SongTitle = QString::fromUtf8(AItem.Title);
  Entry.DurationMs = qint64(AItem.Seconds) * 1000;
  Entry.FileName = QStringLiteral("/srv/music/%1 - %2.mp3").arg(Entry.Artist, Entry.SongTitle);
  return Entry;
}

} // namespace

TStationScheduler::TStationScheduler(quint32 ASeed) : FRandom(ASeed)
{
  Reshuffle();
}

void TStationScheduler::Reshuffle()
{
  const int Last = FOrder.isEmpty() ? -1 : FOrder.last();
  FOrder.clear();
  for (int I = 0; I < int(std::size(CSongs)); ++I)
    FOrder.append(I);
  std::shuffle(FOrder.begin(), FOrder.end(), FRandom);
  if (FOrder.first() == Last)
    std::swap(FOrder.first(), FOrder.last());
  FOrderPos = 0;
}

TStationEntry TStationScheduler::Next()
{
  const bool JingleSlot = FSlot % 5 == 4;
  ++FSlot;
  if (JingleSlot)
    return MakeEntry(CJingles[FJingle++ % std::size(CJingles)]);
  if (FOrderPos >= FOrder.size())
    Reshuffle();
  return MakeEntry(CSongs[FOrder[FOrderPos++]]);
}
