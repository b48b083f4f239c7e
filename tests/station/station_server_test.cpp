// The station server over real HTTP(S) on 127.0.0.1, driven by libcurl the way the client
// talks to a station.
#include "http_fetch.h"
#include "station_server.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <atomic>
#include <thread>

namespace {

const QDateTime CNoon(QDate(2024, 3, 1), QTime(12, 0, 0));

TStationEntry Entry(const QString& AArtist, const QString& ATitle, qint64 ADurationMs)
{
  TStationEntry Result;
  Result.Artist = AArtist;
  Result.SongTitle = ATitle;
  Result.DurationMs = ADurationMs;
  return Result;
}

QList<TStationEntry> Letters(int ACount, qint64 ADurationMs = 180000)
{
  QList<TStationEntry> Entries;
  for (int I = 0; I < ACount; ++I)
    Entries.append(Entry(QString(), QString(QChar('A' + I)), ADurationMs));
  return Entries;
}

QStringList Titles(const QList<TStationEntry>& AEntries)
{
  QStringList Result;
  for (const TStationEntry& Entry : AEntries)
    Result << Entry.CastTitle();
  return Result;
}

QStringList Column(const QList<QMap<QString, QString>>& AElements, const QString& AName)
{
  QStringList Result;
  for (const auto& Element : AElements)
    Result << Element.value(AName);
  return Result;
}

// Makes a real FLAC file with sox.
QByteArray MakeFlac(const QString& APath, int ARate, int AChannels, int ABits, double ASeconds)
{
  QProcess Sox;
  Sox.start(QStringLiteral("sox"),
            {QStringLiteral("-n"), QStringLiteral("-r"), QString::number(ARate),
             QStringLiteral("-c"), QString::number(AChannels), QStringLiteral("-b"),
             QString::number(ABits), APath, QStringLiteral("synth"), QString::number(ASeconds),
             QStringLiteral("sine"), QStringLiteral("440")});
  if (!Sox.waitForFinished(30000) || Sox.exitCode() != 0)
    return {};
  QFile File(APath);
  return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray();
}

class StationServerTest : public ::testing::Test
{
protected:
  void SetUp() override { Options.StorageFolder = Temp.filePath(QStringLiteral("storage")); }

  // Started, with its clock stopped at noon and entry 1 on air from then.
  TStationServer& Station()
  {
    if (!FStation) {
      FStation = std::make_unique<TStationServer>(Options);
      EXPECT_TRUE(FStation->Start()) << FStation->ErrorText().toStdString();
      FStation->SetTime(CNoon);
      FStation->SetPlayingPosition(1);
    }
    return *FStation;
  }

  QString Url(const QString& AParams) const
  {
    return FStation->BaseUrl() + QStringLiteral("/?user=demo&pass=demo&") + AParams;
  }

  THttpReply Query(const QString& AParams) { return Get(Url(AParams)); }

  QList<QMap<QString, QString>> Tracks()
  {
    const THttpReply Reply = Query(QStringLiteral("action=getplaylist2"));
    EXPECT_EQ(Reply.Status, 200) << Reply.Error.toStdString();
    return XmlElements(Reply.Body, QStringLiteral("TRACK"));
  }

  QMap<QString, QString> Playback()
  {
    const THttpReply Reply = Query(QStringLiteral("action=playbackinfo"));
    EXPECT_EQ(Reply.Status, 200) << Reply.Error.toStdString();
    const auto Elements = XmlElements(Reply.Body, QStringLiteral("Playback"));
    EXPECT_EQ(Elements.size(), 1) << Reply.Body.toStdString();
    return Elements.value(0);
  }

  THttpReply Upload(const QByteArray& AForm)
  {
    THttpRequest Request;
    Request.Url = FStation->BaseUrl();
    Request.Post = true;
    Request.Body = AForm;
    return Fetch(Request);
  }

  QStringList StoredFiles() const
  {
    return QDir(Options.StorageFolder).entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
  }

  QTemporaryDir Temp;
  TStationOptions Options;
  std::unique_ptr<TStationServer> FStation;
};

TEST_F(StationServerTest, PlaylistReplyListsEveryEntryBackToBack)
{
  TStationServer& Station = this->Station();
  const THttpReply Reply = Query(QStringLiteral("action=getplaylist2"));
  ASSERT_EQ(Reply.Status, 200) << Reply.Error.toStdString();
  EXPECT_EQ(Reply.ContentType, "text/xml; charset=utf-8");

  const auto Tracks = XmlElements(Reply.Body, QStringLiteral("TRACK"));
  const QList<TStationEntry> Entries = Station.Playlist();
  ASSERT_EQ(Tracks.size(), 40);
  ASSERT_EQ(Entries.size(), 40);
  EXPECT_EQ(Column(Tracks, QStringLiteral("CASTTITLE")), Titles(Entries));
  QDateTime Start = CNoon;
  const QRegularExpression DurationForm(QStringLiteral("^\\d{1,2}:\\d\\d$"));
  for (int I = 0; I < Tracks.size(); ++I) {
    SCOPED_TRACE(I);
    EXPECT_EQ(Tracks[I][QStringLiteral("STARTTIME")], Start.toString(QStringLiteral("HH:mm:ss")));
    EXPECT_TRUE(DurationForm.match(Tracks[I][QStringLiteral("DURATION")]).hasMatch());
    EXPECT_EQ(Tracks[I][QStringLiteral("DURATION")], Entries[I].DurationText());
    EXPECT_GT(Entries[I].DurationMs, 0);
    Start = Start.addMSecs(Entries[I].DurationMs);
  }
  // A rotation, not one song forty times; and the same seed gives the same playlist.
  const QStringList AllTitles = Titles(Entries);
  EXPECT_GT(QSet<QString>(AllTitles.begin(), AllTitles.end()).size(), 30);
  TStationServer Twin(Options);
  EXPECT_EQ(Titles(Twin.Playlist()), Titles(Entries));
}

TEST_F(StationServerTest, TitlesDurationsAndStartTimesAreWrittenFaithfully)
{
  TStationServer& Station = this->Station();
  Station.SetTime(QDateTime(QDate(2024, 3, 1), QTime(23, 55, 30)));
  Station.SetPlaylist(
      {Entry(QStringLiteral("Zoë & \"Friends\""), QStringLiteral("<Intro>"), 225000),
       Entry(QString(), QStringLiteral("Ljós í myrkri"), 3723000),
       Entry(QStringLiteral("Jingle"), QStringLiteral("ID"), 500),
       Entry(QStringLiteral("Kōji"), QStringLiteral("Tab\there"), 59499)});
  const THttpReply Reply = Query(QStringLiteral("action=getplaylist2"));
  ASSERT_EQ(Reply.Status, 200);
  EXPECT_TRUE(Reply.Body.contains("&amp;")) << "the ampersand must be escaped";
  EXPECT_TRUE(Reply.Body.contains(QStringLiteral("Ljós").toUtf8())) << "UTF-8, not an entity";

  const auto Tracks = XmlElements(Reply.Body, QStringLiteral("TRACK"));
  ASSERT_EQ(Tracks.size(), 4);
  EXPECT_EQ(
      Column(Tracks, QStringLiteral("CASTTITLE")),
      QStringList({QStringLiteral("Zoë & \"Friends\" - <Intro>"), QStringLiteral("Ljós í myrkri"),
                   QStringLiteral("Jingle - ID"), QStringLiteral("Kōji - Tab\there")}));
  EXPECT_EQ(Column(Tracks, QStringLiteral("ARTIST"))[0], QStringLiteral("Zoë & \"Friends\""));
  EXPECT_EQ(Column(Tracks, QStringLiteral("TITLE"))[0], QStringLiteral("<Intro>"));
  EXPECT_EQ(Column(Tracks, QStringLiteral("DURATION")),
            QStringList({"3:45", "1:02:03", "0:01", "0:59"}));
  // Start times are times of day: after midnight they start again at 00.
  EXPECT_EQ(Column(Tracks, QStringLiteral("STARTTIME")),
            QStringList({"23:55:30", "23:59:15", "01:01:18", "01:01:18"}));
}

TEST_F(StationServerTest, PlayingPositionFollowsTheClock)
{
  Options.KeepPlayed = -1;
  Options.AutoFill = false;
  TStationServer& Station = this->Station();
  Station.SetPlaylist(
      {Entry("A", "One", 60000), Entry("B", "Two", 30000), Entry("C", "Three", 90000)});

  auto Playing = Playback();
  EXPECT_EQ(Playing[QStringLiteral("playlistpos")], "1");
  EXPECT_EQ(Playing[QStringLiteral("state")], "play");
  EXPECT_EQ(Playing[QStringLiteral("len")], "60000");

  Station.AdvanceTime(59999);
  EXPECT_EQ(Playback()[QStringLiteral("playlistpos")], "1");
  EXPECT_EQ(Playback()[QStringLiteral("pos")], "59999");
  Station.AdvanceTime(1);
  Playing = Playback();
  EXPECT_EQ(Playing[QStringLiteral("playlistpos")], "2");
  EXPECT_EQ(Playing[QStringLiteral("pos")], "0");
  // The entry on air is also named in the reply.
  const THttpReply Reply = Query(QStringLiteral("action=playbackinfo"));
  EXPECT_EQ(XmlElements(Reply.Body, QStringLiteral("TRACK")).value(0).value("CASTTITLE"),
            "B - Two");

  // Played entries keep the times they started at.
  EXPECT_EQ(Column(Tracks(), QStringLiteral("STARTTIME")),
            QStringList({"12:00:00", "12:01:00", "12:01:30"}));

  // Past the last entry the station stops; nothing is marked.
  Station.AdvanceTime(30000 + 90000);
  Playing = Playback();
  EXPECT_EQ(Playing[QStringLiteral("playlistpos")], "0");
  EXPECT_EQ(Playing[QStringLiteral("state")], "stop");
  EXPECT_EQ(Station.PlayingPosition(), 0);
  EXPECT_EQ(Station.Count(), 3);

  // Knobs: jump to an entry part-way in, and skip.
  ASSERT_TRUE(Station.SetPlayingPosition(3, 10000));
  EXPECT_EQ(Playback()[QStringLiteral("pos")], "10000");
  // Setting the clock plays nothing forward: the same entry, as far in, starting later.
  Station.SetTime(CNoon.addDays(1));
  EXPECT_EQ(Playback()[QStringLiteral("pos")], "10000");
  EXPECT_EQ(Station.Playlist()[2].StartTime, CNoon.addDays(1).addMSecs(-10000));
  Station.SkipToNext();
  EXPECT_EQ(Station.PlayingPosition(), 0);
  EXPECT_FALSE(Station.SetPlayingPosition(4));
}

TEST_F(StationServerTest, PlayedEntriesDropOffAndTheRotationRefills)
{
  TStationServer& Station = this->Station();
  const QList<TStationEntry> Before = Station.Playlist();
  qint64 FiveEntries = 0;
  for (int I = 0; I < 5; ++I)
    FiveEntries += Before[I].DurationMs;

  Station.AdvanceTime(FiveEntries + 1);
  const QList<TStationEntry> After = Station.Playlist();
  // Three played entries stay above the one on air; the two oldest are gone.
  EXPECT_EQ(Station.PlayingPosition(), 4);
  ASSERT_EQ(After.size(), 40);
  EXPECT_EQ(Titles(After).mid(0, 38), Titles(Before).mid(2, 38));
  EXPECT_EQ(After[0].StartTime, CNoon.addMSecs(Before[0].DurationMs + Before[1].DurationMs));
  EXPECT_EQ(After[3].StartTime, CNoon.addMSecs(FiveEntries));
  EXPECT_EQ(XmlElements(Query(QStringLiteral("action=getplaylist2")).Body, "TRACK").size(), 40);

  // A whole day later it still plays, with a full list.
  Station.AdvanceTime(24LL * 3600 * 1000);
  EXPECT_EQ(Station.PlayingPosition(), 4);
  EXPECT_EQ(Station.Count(), 40);
}

TEST_F(StationServerTest, RollingLogMovesOnByItsOwnClock)
{
  Options.RollMs = 10000;
  Options.KeepPlayed = 0;
  TStationServer& Station = this->Station();
  const QStringList Before = Titles(Station.Playlist());
  ASSERT_EQ(Before.size(), 40);

  // Not yet: songs last minutes, the roll comes every ten seconds.
  Station.AdvanceTime(9999);
  EXPECT_EQ(Titles(Station.Playlist()), Before);

  // Each step: the entry on air leaves the top, a new one is appended, the count stays.
  Station.AdvanceTime(1);
  QStringList After = Titles(Station.Playlist());
  EXPECT_EQ(After.mid(0, 39), Before.mid(1, 39));
  EXPECT_EQ(After.size(), 40);
  Station.AdvanceTime(20000);
  After = Titles(Station.Playlist());
  EXPECT_EQ(After.mid(0, 37), Before.mid(3, 37));
  EXPECT_EQ(Station.PlayingPosition(), 1);
  EXPECT_EQ(XmlElements(Query(QStringLiteral("action=getplaylist2")).Body, "TRACK").size(), 40);

  // Setting the clock keeps the rhythm: 10 s after the last step comes the next one.
  Station.SetTime(CNoon.addSecs(3600));
  Station.AdvanceTime(9999);
  EXPECT_EQ(Titles(Station.Playlist()), After);
  Station.AdvanceTime(1);
  EXPECT_EQ(Titles(Station.Playlist()).first(), After[1]);
}

TEST_F(StationServerTest, RequestHookAndFixedRepliesForOneAction)
{
  TStationServer& Station = this->Station();
  const QStringList Before = Titles(Station.Playlist());
  // The hook runs before the request is answered: a roll made there is in the reply.
  QStringList Seen;
  Station.SetRequestHook([&](const TStationRequest& ARequest) {
    for (const auto& Field : ARequest.Fields)
      if (Field.first == QLatin1String("action"))
        Seen << Field.second;
    Station.Roll();
  });
  const auto Elements = XmlElements(Query(QStringLiteral("action=getplaylist2")).Body, "TRACK");
  Station.SetRequestHook({});
  EXPECT_EQ(Seen, QStringList{"getplaylist2"});
  EXPECT_EQ(Column(Elements, QStringLiteral("CASTTITLE")).mid(0, 3), Before.mid(0, 3));
  EXPECT_EQ(Station.PlayingPosition(), 2);

  Station.SetFixedReplyFor(QStringLiteral("delete"), 502, "");
  EXPECT_EQ(Query("action=delete&pos=1").Status, 502);
  EXPECT_EQ(Query("action=getplaylist2").Status, 200);
  Station.ClearFixedReply();
  EXPECT_EQ(Query("action=delete&pos=1").Status, 200);
}

TEST_F(StationServerTest, DeleteAndMoveKeepTheSameEntryOnAir)
{
  TStationServer& Station = this->Station();
  Station.SetPlaylist(Letters(6));
  ASSERT_TRUE(Station.SetPlayingPosition(3, 5000)); // C

  THttpReply Reply = Query(QStringLiteral("action=delete&pos=1"));
  EXPECT_EQ(Reply.Status, 200);
  EXPECT_EQ(Reply.Body, "OK");
  EXPECT_EQ(Reply.ContentType, "text/plain; charset=utf-8");
  EXPECT_EQ(Column(Tracks(), "CASTTITLE"), QStringList({"B", "C", "D", "E", "F"}));
  EXPECT_EQ(Playback()["playlistpos"], "2");

  struct TCase
  {
    const char* Params;
    QStringList Titles;
    const char* Playing;
  };
  const TCase Cases[] = {
      {"action=move&pos1=1&pos2=4", {"C", "D", "E", "B", "F"}, "1"}, // across the one on air
      {"action=move&pos1=1&pos2=3", {"D", "E", "C", "B", "F"}, "3"}, // the one on air itself
      {"action=move&pos1=5&pos2=1", {"F", "D", "E", "C", "B"}, "4"},
      {"action=move&pos1=2&pos2=2", {"F", "D", "E", "C", "B"}, "4"},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Params);
    Reply = Query(QString::fromLatin1(Case.Params));
    EXPECT_EQ(Reply.Status, 200);
    EXPECT_EQ(Reply.Body, "OK");
    EXPECT_EQ(Column(Tracks(), "CASTTITLE"), Case.Titles);
    EXPECT_EQ(Playback()["playlistpos"], Case.Playing);
  }

  // Deleting the entry on air starts the next one at once.
  Station.AdvanceTime(7000);
  EXPECT_EQ(Query(QStringLiteral("action=delete&pos=4")).Body, "OK");
  EXPECT_EQ(Column(Tracks(), "CASTTITLE"), QStringList({"F", "D", "E", "B"}));
  const auto Playing = Playback();
  EXPECT_EQ(Playing["playlistpos"], "4");
  EXPECT_EQ(Playing["pos"], "0");
  EXPECT_EQ(Station.Playlist()[3].StartTime, Station.Now());
}

TEST_F(StationServerTest, InvalidEditsAreRefusedAndChangeNothing)
{
  TStationServer& Station = this->Station();
  Station.SetPlaylist(Letters(6));
  const struct
  {
    const char* Params;
    const char* Body; // expected text, or null for any non-empty text
  } Cases[] = {
      {"action=delete&pos=0", "Invalid position 0: the playlist has 6 entries"},
      {"action=delete&pos=7", "Invalid position 7: the playlist has 6 entries"},
      {"action=delete&pos=abc", "Invalid position: abc"},
      {"action=delete&pos=-1", nullptr},
      {"action=delete&pos=1x", nullptr},
      {"action=delete", nullptr},
      {"action=move&pos1=0&pos2=1", nullptr},
      {"action=move&pos1=1&pos2=7", "Invalid position 7: the playlist has 6 entries"},
      {"action=move&pos1=7&pos2=1", nullptr},
      {"action=move&pos1=1", nullptr},
      {"action=shuffle", "Unknown action: shuffle"},
      {"action=", "Missing action"},
      {"action=vexmo&fn=a.flac&pos=1&vt=", "Voice tracks are uploaded with POST"},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Params);
    const THttpReply Reply = Query(QString::fromLatin1(Case.Params));
    EXPECT_GE(Reply.Status, 400);
    EXPECT_LT(Reply.Status, 500);
    EXPECT_FALSE(Reply.Body.isEmpty());
    EXPECT_NE(Reply.Body, "OK");
    if (Case.Body) {
      EXPECT_EQ(Reply.Body, Case.Body);
    }
  }
  EXPECT_EQ(Titles(Station.Playlist()), QStringList({"A", "B", "C", "D", "E", "F"}));
  EXPECT_EQ(Station.PlayingPosition(), 1);

  EXPECT_EQ(Get(Station.BaseUrl() + "/other?user=demo&pass=demo&action=getplaylist2").Status, 404);
}

TEST_F(StationServerTest, WrongCredentialsGet403)
{
  TStationServer& Station = this->Station();
  Station.SetCredentials(QStringLiteral("studio b"), QStringLiteral("p&ss/é"));
  const struct
  {
    const char* Auth;
    long Status;
  } Cases[] = {
      {"user=studio+b&pass=p%26ss%2F%C3%A9", 200},
      {"user=studio%20b&pass=p%26ss%2f%c3%a9", 200},
      {"pass=p%26ss%2F%C3%A9&user=studio+b", 200},
      {"user=studio+b&pass=p%26ss", 403},
      {"user=Studio+b&pass=p%26ss%2F%C3%A9", 403},
      {"user=studio+b&pass=P%26SS%2F%C3%A9", 403},
      {"pass=p%26ss%2F%C3%A9", 403},
      {"user=studio+b", 403},
      {"", 403},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Auth);
    const THttpReply Reply = Get(Station.BaseUrl() + "/?" + Case.Auth + "&action=getplaylist2");
    EXPECT_EQ(Reply.Status, Case.Status);
    if (Case.Status == 403) {
      EXPECT_EQ(Reply.Body, "Access denied: wrong user name or password");
      EXPECT_EQ(Reply.ContentType, "text/plain; charset=utf-8");
    }
  }
  // Edits and uploads are checked too, and change nothing.
  const int Count = Station.Count();
  EXPECT_EQ(Get(Station.BaseUrl() + "/?user=demo&pass=demo&action=delete&pos=1").Status, 403);
  EXPECT_EQ(Upload(ClientUploadForm("studio b", "wrong", "VT.flac", 1, "fLaC")).Status, 403);
  EXPECT_EQ(Station.Count(), Count);
  EXPECT_TRUE(StoredFiles().isEmpty());
}

TEST_F(StationServerTest, UploadInsertsTheVoiceTrackWithItsLength)
{
  TStationServer& Station = this->Station();
  Station.SetPlaylist(Letters(6));
  const struct
  {
    const char* FileName;
    int Rate, Channels, Bits;
    double Seconds;
    int Position;
    qint64 DurationMs;
    const char* Duration;
    const char* StoredAs;
  } Cases[] = {
      {"VT 01.flac", 44100, 2, 16, 1, 4, 1000, "0:01", "VT 01.flac"},
      {"Späť o 5 minút.flac", 48000, 1, 24, 2.5, 1, 2500, "0:03", "Späť o 5 minút.flac"},
      // The same name again is stored beside the first, never over it.
      {"VT 01.flac", 22050, 1, 16, 0.2, 9, 200, "0:00", "VT 01 (2).flac"},
      // A name with folders is reduced to its last part: nothing is written elsewhere.
      {"../../escape.flac", 8000, 1, 8, 0.5, 10, 500, "0:01", "escape.flac"},
  };
  int Count = 6;
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.FileName);
    const QByteArray Flac =
        MakeFlac(Temp.filePath("made.flac"), Case.Rate, Case.Channels, Case.Bits, Case.Seconds);
    ASSERT_TRUE(Flac.startsWith("fLaC")) << "sox could not make a FLAC file";
    Station.ClearRequests();
    const THttpReply Reply = Upload(
        ClientUploadForm("demo", "demo", QString::fromUtf8(Case.FileName), Case.Position, Flac));
    ASSERT_EQ(Reply.Status, 200) << Reply.Body.toStdString() << Reply.Error.toStdString();
    EXPECT_EQ(Reply.Body, "OK");
    ++Count;

    const QList<TStationEntry> Entries = Station.Playlist();
    ASSERT_EQ(Entries.size(), Count);
    const TStationEntry& Inserted = Entries[Case.Position - 1];
    EXPECT_EQ(Inserted.CastTitle(), QFileInfo(QString::fromUtf8(Case.StoredAs)).completeBaseName());
    EXPECT_EQ(Inserted.DurationMs, Case.DurationMs);
    EXPECT_EQ(Inserted.DurationText(), Case.Duration);
    EXPECT_TRUE(Inserted.VoiceTrack);
    const QString Stored = QDir(Options.StorageFolder).filePath(QString::fromUtf8(Case.StoredAs));
    EXPECT_EQ(QDir::cleanPath(Inserted.FileName), QDir::cleanPath(Stored));
    QFile File(Stored);
    ASSERT_TRUE(File.open(QIODevice::ReadOnly));
    EXPECT_EQ(File.readAll(), Flac);

    const auto Track = XmlElements(Query("action=getplaylist2").Body, "TRACK")[Case.Position - 1];
    EXPECT_EQ(Track["DURATION"], Case.Duration);
    EXPECT_EQ(Track["STARTTIME"], Inserted.StartTimeText());

    const QList<TStationRequest> Log = Station.Requests();
    ASSERT_GE(Log.size(), 1);
    EXPECT_EQ(Log[0].Method, "POST");
    EXPECT_EQ(Log[0].Target, "/");
    EXPECT_EQ(Log[0].ContentType, "application/x-www-form-urlencoded");
    EXPECT_EQ(Log[0].Status, 200);
    const QString Vt = [&] {
      for (const auto& Field : Log[0].Fields)
        if (Field.first == "vt")
          return Field.second;
      return QString();
    }();
    EXPECT_EQ(Vt.toLatin1(), ClientBase64(Flac));
  }
  EXPECT_EQ(StoredFiles().size(), 4);
  EXPECT_FALSE(QFile::exists(Temp.filePath("escape.flac")));
  // The voice track on air plays out like any entry.
  EXPECT_EQ(Station.PlayingPosition(), 2);
}

TEST_F(StationServerTest, MultipartUploadIsAcceptedToo)
{
  TStationServer& Station = this->Station();
  Station.SetPlaylist(Letters(2));
  const QByteArray Flac = MakeFlac(Temp.filePath("m.flac"), 44100, 2, 16, 1);
  ASSERT_FALSE(Flac.isEmpty());
  THttpRequest Request;
  Request.Url = Station.BaseUrl();
  Request.Multipart = {{"user", "demo"},     {"pass", "demo"}, {"action", "vexmo"},
                       {"fn", "Multi.flac"}, {"pos", "3"},     {"vt", ClientBase64(Flac)}};
  const THttpReply Reply = Fetch(Request);
  ASSERT_EQ(Reply.Status, 200) << Reply.Body.toStdString();
  EXPECT_EQ(Titles(Station.Playlist()), QStringList({"A", "B", "Multi"}));
}

TEST_F(StationServerTest, RejectedUploadsStoreNothing)
{
  TStationServer& Station = this->Station();
  Station.SetPlaylist(Letters(3));
  const QByteArray Flac = MakeFlac(Temp.filePath("good.flac"), 44100, 2, 16, 1);
  ASSERT_FALSE(Flac.isEmpty());
  QByteArray NoLength = Flac;
  for (int I = 21; I <= 25; ++I) // total samples: the low nibble of byte 21 and bytes 22-25
    NoLength[I] = char(I == 21 ? NoLength[I] & 0xF0 : 0);

  const struct
  {
    const char* Name;
    QByteArray Form;
    const char* BodyPart;
  } Cases[] = {
      {"text file", ClientUploadForm("demo", "demo", "notes.flac", 2, "just some text\n"),
       "notes.flac: not a FLAC file"},
      {"empty file", ClientUploadForm("demo", "demo", "empty.flac", 2, ""), "not a FLAC file"},
      {"header only", ClientUploadForm("demo", "demo", "cut.flac", 2, Flac.left(42)),
       "damaged FLAC file"},
      {"no length", ClientUploadForm("demo", "demo", "nolen.flac", 2, NoLength),
       "does not state its length"},
      {"bad Base64", "user=demo&pass=demo&action=vexmo&fn=a.flac&pos=2&vt=%40%40%40%40",
       "not valid Base64"},
      {"position 0", ClientUploadForm("demo", "demo", "a.flac", 0, Flac),
       "Invalid position 0: the playlist has 3 entries"},
      {"position past the end", ClientUploadForm("demo", "demo", "a.flac", 5, Flac),
       "Invalid position 5: the playlist has 3 entries"},
      {"no file name", ClientUploadForm("demo", "demo", "", 2, Flac), "Missing file name"},
      {"only a folder", ClientUploadForm("demo", "demo", "../", 2, Flac), "Invalid file name"},
      {"no data", "user=demo&pass=demo&action=vexmo&fn=a.flac&pos=2", "Missing voice track data"},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    const THttpReply Reply = Upload(Case.Form);
    EXPECT_EQ(Reply.Status, 400);
    EXPECT_TRUE(Reply.Body.contains(Case.BodyPart)) << Reply.Body.toStdString();
  }
  EXPECT_EQ(Titles(Station.Playlist()), QStringList({"A", "B", "C"}));
  EXPECT_TRUE(StoredFiles().isEmpty());
}

TEST_F(StationServerTest, RequestLogAndMisbehaviourKnobs)
{
  TStationServer& Station = this->Station();
  Station.ClearRequests();
  EXPECT_EQ(Query("action=playbackinfo").Status, 200);
  QList<TStationRequest> Log = Station.Requests();
  ASSERT_EQ(Log.size(), 1);
  EXPECT_EQ(Log[0].Method, "GET");
  EXPECT_EQ(Log[0].Target, "/?user=demo&pass=demo&action=playbackinfo");
  EXPECT_EQ(Log[0].Fields.size(), 3);
  EXPECT_EQ(Log[0].Fields[2], qMakePair(QString("action"), QString("playbackinfo")));

  // An unresponsive station takes the request and never answers.
  Station.SetUnresponsive(true);
  THttpRequest Request;
  Request.Url = Url("action=getplaylist2");
  Request.TimeoutMs = 500;
  THttpReply Reply = Fetch(Request);
  EXPECT_EQ(Reply.Status, 0);
  EXPECT_TRUE(Reply.Error.contains("timed out")) << Reply.Error.toStdString();
  EXPECT_EQ(Station.RequestCount(), 2);
  Station.SetUnresponsive(false);
  EXPECT_EQ(Query("action=getplaylist2").Status, 200);

  Station.SetReplyDelay(300);
  QElapsedTimer Timer;
  Timer.start();
  EXPECT_EQ(Query("action=playbackinfo").Status, 200);
  EXPECT_GE(Timer.elapsed(), 300);
  Station.SetReplyDelay(0);

  Station.SetFixedReply(500, "<html><body>Fehler: \xe4</body></html>",
                        "text/html; charset=iso-8859-1");
  Reply = Query("action=delete&pos=1");
  EXPECT_EQ(Reply.Status, 500);
  EXPECT_EQ(Reply.Body, "<html><body>Fehler: \xe4</body></html>");
  EXPECT_EQ(Reply.ContentType, "text/html; charset=iso-8859-1");
  Station.SetFixedReply(204, "");
  Reply = Query("action=delete&pos=1");
  EXPECT_EQ(Reply.Status, 204);
  EXPECT_TRUE(Reply.Body.isEmpty());
  Station.SetFixedReply(404, "");
  EXPECT_TRUE(Query("action=delete&pos=1").Body.isEmpty());
  Station.ClearFixedReply();
  EXPECT_EQ(Station.Count(), 40) << "fixed replies do not touch the playlist";

  // Stop() releases a held request instead of waiting for it.
  Station.SetUnresponsive(true);
  std::atomic<long> HeldStatus = -1;
  std::thread Held([&] { HeldStatus = Get(Url("action=getplaylist2")).Status; });
  ASSERT_TRUE(Station.WaitForRequests(Station.RequestCount() + 1, 5000));
  Timer.restart();
  Station.Stop();
  Held.join();
  EXPECT_LT(Timer.elapsed(), 5000);
  EXPECT_NE(HeldStatus, 200);
  EXPECT_FALSE(Station.IsRunning());
}

TEST_F(StationServerTest, ConcurrentClientsSeeAConsistentPlaylist)
{
  TStationServer& Station = this->Station();
  std::atomic<int> Failures = 0;
  std::vector<std::thread> Clients;
  for (int T = 0; T < 4; ++T)
    Clients.emplace_back([&, T] {
      for (int I = 0; I < 15; ++I) {
        const THttpReply Reply =
            T % 2 ? Query(QStringLiteral("action=move&pos1=%1&pos2=%2").arg(I % 40 + 1).arg(40 - I))
                  : Query(QStringLiteral("action=getplaylist2"));
        if (Reply.Status != 200 ||
            (T % 2 == 0 && XmlElements(Reply.Body, QStringLiteral("TRACK")).size() != 40))
          ++Failures;
      }
    });
  for (std::thread& Client : Clients)
    Client.join();
  EXPECT_EQ(Failures, 0);
  EXPECT_EQ(Station.Count(), 40);
  EXPECT_EQ(Station.RequestCount(), 60);
}

TEST_F(StationServerTest, StartReportsWhatKeepsItFromListening)
{
  TStationServer& Station = this->Station();
  TStationOptions Clash = Options;
  Clash.Port = Station.Port();
  TStationServer Second(Clash);
  EXPECT_FALSE(Second.Start());
  EXPECT_TRUE(Second.ErrorText().contains(QString::number(Station.Port())));
  EXPECT_TRUE(Second.ErrorText().contains("Address already in use"))
      << Second.ErrorText().toStdString();

  TStationOptions NoKey = Options;
  NoKey.CertFile = Temp.filePath("cert.pem");
  TStationServer Third(NoKey);
  EXPECT_FALSE(Third.Start());
  EXPECT_EQ(Third.ErrorText(), "HTTPS needs both a certificate file and a key file");

  // Stop twice, then start again on a new port with the playlist kept.
  const QStringList Before = Titles(Station.Playlist());
  Station.Stop();
  Station.Stop();
  ASSERT_TRUE(Station.Start());
  EXPECT_EQ(Column(Tracks(), "CASTTITLE"), Before);
}

TEST_F(StationServerTest, DefaultStorageIsATemporaryFolderOfItsOwn)
{
  Options.StorageFolder.clear();
  QString Folder;
  {
    TStationServer Station(Options);
    ASSERT_TRUE(Station.Start());
    Folder = Station.StorageFolder();
    EXPECT_TRUE(Folder.startsWith(QDir::tempPath()));
    EXPECT_TRUE(QDir(Folder).exists());
  }
  EXPECT_FALSE(QDir(Folder).exists());
}

TEST_F(StationServerTest, ServesHttpsWithASelfSignedCertificate)
{
  const QString Cert = Temp.filePath("cert.pem");
  const QString Key = Temp.filePath("key.pem");
  QProcess OpenSsl;
  OpenSsl.start("openssl",
                {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", Key, "-out", Cert,
                 "-days", "2", "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1"});
  ASSERT_TRUE(OpenSsl.waitForFinished(60000));
  ASSERT_EQ(OpenSsl.exitCode(), 0) << OpenSsl.readAllStandardError().toStdString();

  Options.CertFile = Cert;
  Options.KeyFile = Key;
  TStationServer& Station = this->Station();
  ASSERT_TRUE(Station.IsRunning());
  EXPECT_TRUE(Station.IsHttps());
  EXPECT_TRUE(Station.BaseUrl().startsWith("https://127.0.0.1:"));

  THttpRequest Request;
  Request.Url = Url("action=getplaylist2");
  Request.CaFile = Cert;
  const THttpReply Reply = Fetch(Request);
  ASSERT_EQ(Reply.Status, 200) << Reply.Error.toStdString();
  EXPECT_EQ(XmlElements(Reply.Body, "TRACK").size(), 40);

  // Without trusting the certificate the client refuses it, as a real one would.
  const THttpReply Untrusted = Get(Url("action=getplaylist2"));
  EXPECT_EQ(Untrusted.Status, 0);
  EXPECT_TRUE(Untrusted.Error.contains("self-signed certificate")) << Untrusted.Error.toStdString();
  // Plain HTTP gets no playlist from it.
  QString Plain = Url("action=getplaylist2");
  Plain.replace("https://", "http://");
  EXPECT_NE(Get(Plain).Status, 200);

  // A key that does not belong to a certificate is reported at start.
  TStationOptions Broken = Options;
  Broken.KeyFile = Cert;
  TStationServer Wrong(Broken);
  EXPECT_FALSE(Wrong.Start());
  EXPECT_TRUE(Wrong.ErrorText().startsWith("Cannot use the certificate"))
      << Wrong.ErrorText().toStdString();
}

} // namespace
