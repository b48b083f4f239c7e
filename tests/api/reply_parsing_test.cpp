// How playlist and playing-position replies are read.
#include "api/start_time.h"
#include "api_test_support.h"
#include "capture_server.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QStringList Titles(const TPlaylist& AList)
{
  QStringList Result;
  for (const TPlaylistItem& Item : AList)
    Result.append(Item.Title);
  return Result;
}

} // namespace

TEST(ReplyParsing, PlaylistEntries)
{
  TCaptureServer Server;
  UseServer("127.0.0.1", Server.Port());
  const struct
  {
    QByteArray Body;
    QStringList Titles;
  } Cases[] = {
      {"<?xml version=\"1.0\"?><PLAYLIST><TRACK CASTTITLE=\"A\"/><TRACK CASTTITLE=\"B\"/>"
       "<TRACK CASTTITLE=\"C\"/></PLAYLIST>",
       {"A", "B", "C"}},
      {"<TRACK CASTTITLE=\"A\">text<!-- note --><![CDATA[x]]></TRACK>", {"A"}},
      {"<track CASTTITLE=\"lower\"/><Track casttitle=\"wrong case\"/>", {"lower", ""}},
      {"<TRACKS CASTTITLE=\"no\"/><OTHER/></TRACK>", {}},
      {"", {}},
      {"this is no XML at all", {}},
  };
  for (const auto& Case : Cases) {
    Server.SetReply(200, Case.Body, "text/xml");
    const auto Outcome = RunWorker([](TAPI* W) { W->GetPlaylistContents(); });
    ASSERT_EQ(Outcome->Calls, 1);
    EXPECT_TRUE(Outcome->Success) << Case.Body.toStdString();
    ASSERT_NE(Outcome->Playlist, nullptr);
    EXPECT_EQ(Titles(*Outcome->Playlist), Case.Titles) << Case.Body.toStdString();
  }
}

TEST(ReplyParsing, EntryFields)
{
  TCaptureServer Server;
  UseServer("127.0.0.1", Server.Port());
  Server.SetReply(200,
                  "<PLAYLIST>"
                  "<TRACK CASTTITLE=\"Song\" DURATION=\"3:25\" STARTTIME=\"1:2:3\"/>"
                  // Not a time of day: the entry keeps the text and the request still succeeds.
                  "<TRACK CASTTITLE=\"Odd\" DURATION=\"\" STARTTIME=\"25:61:00\"/>"
                  "<TRACK CASTTITLE=\"Short\" STARTTIME=\"9:05\"/>"
                  "</PLAYLIST>",
                  "text/xml; charset=utf-8");
  const auto Outcome = RunWorker([](TAPI* W) { W->GetPlaylistContents(); });
  ASSERT_EQ(Outcome->Calls, 1);
  ASSERT_TRUE(Outcome->Success) << Outcome->Error.toStdString();
  ASSERT_EQ(Outcome->Playlist->size(), 3u);
  const TPlaylist& List = *Outcome->Playlist;
  EXPECT_EQ(List[0].Title, "Song");
  EXPECT_EQ(List[0].Duration, "3:25");
  EXPECT_EQ(List[0].StartTime, FormatStartTime("1:2:3"));
  EXPECT_TRUE(List[0].StartTime.contains("02:03")); // every long format writes mm and ss
  EXPECT_EQ(List[1].StartTime, "25:61:00");
  EXPECT_EQ(List[1].Duration, "");
  EXPECT_EQ(List[2].StartTime, "9:05");
  EXPECT_EQ(List[2].Duration, ""); // missing attribute
}

TEST(ReplyParsing, PlayingPosition)
{
  TCaptureServer Server;
  UseServer("127.0.0.1", Server.Port());
  const struct
  {
    QByteArray Body;
    int Pos;
  } Cases[] = {
      {"<Playback playlistpos=\"7\"/>", 7},
      {"<?xml version=\"1.0\"?><Info><PLAYBACK playlistpos=\"3\" state=\"playing\"></PLAYBACK>"
       "</Info>",
       3},
      {"<Playback playlistpos=\"\"/>", -1},
      {"<Playback playlistpos=\"seven\"/>", -1},
      {"<Playback/>", -1},
      {"<Playback PlaylistPos=\"4\"/>", -1}, // attribute names are exact
      {"<Playback playlistpos=\"2\"/><Playback playlistpos=\"5\"/>", 5},
      {"<Info/>", 0},
      {"", 0},
  };
  for (const auto& Case : Cases) {
    Server.SetReply(200, Case.Body, "text/xml");
    const auto Outcome = RunWorker([](TAPI* W) { W->GetPlaybackInfo(); });
    ASSERT_EQ(Outcome->Calls, 1);
    EXPECT_TRUE(Outcome->Success);
    EXPECT_EQ(Outcome->Info.PlaylistPos, Case.Pos) << Case.Body.toStdString();
  }
}

TEST(ReplyParsing, UploadSucceedsOnAny2xx)
{
  TCaptureServer Server;
  UseServer("127.0.0.1", Server.Port());
  QTemporaryDir Dir;
  const QString Path = Dir.filePath("vt.flac");
  QFile File(Path);
  ASSERT_TRUE(File.open(QIODevice::WriteOnly));
  File.write("fLaC");
  File.close();
  const struct
  {
    int Status;
    QByteArray Body;
    bool Success;
  } Cases[] = {{200, "OK", true},
               {200, "nonsense", true},
               {201, "", true},
               {403, "Wrong password", false},
               {500, "", false}};
  for (const auto& Case : Cases) {
    Server.SetReply(Case.Status, Case.Body, "text/plain");
    const auto Outcome = RunWorker([&](TAPI* W) { W->InsertVoiceTrack(1, Path); });
    ASSERT_EQ(Outcome->Calls, 1);
    EXPECT_EQ(Outcome->Success, Case.Success) << Case.Status;
    // An error reply without a body is told by its status line.
    const QString Error = Case.Success          ? QString()
                          : Case.Body.isEmpty() ? QStringLiteral("HTTP %1 ").arg(Case.Status)
                                                : QString::fromUtf8(Case.Body);
    if (Case.Body.isEmpty() && !Case.Success)
      EXPECT_TRUE(Outcome->Error.startsWith(Error)) << Outcome->Error.toStdString();
    else
      EXPECT_EQ(Outcome->Error, Error);
  }
}
