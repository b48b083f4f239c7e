// The happy paths against the local station, in-process on 127.0.0.1.
#include "api/start_time.h"
#include "api_test_support.h"
#include "station_server.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// Runs a tool quietly; its exit code.
int RunTool(const QString& AProgram, const QStringList& AArguments)
{
  QProcess Process;
  Process.setStandardOutputFile(QProcess::nullDevice());
  Process.setStandardErrorFile(QProcess::nullDevice());
  Process.start(AProgram, AArguments);
  if (!Process.waitForFinished(60000) || Process.exitStatus() != QProcess::NormalExit)
    return -1;
  return Process.exitCode();
}

class StationTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    TStationOptions Options;
    Options.Entries = 8;
    Options.AutoFill = false;
    Options.LogToStderr = false;
    Options.User = "Anna Maria";
    Options.Password = "p&ss wörd";
    FStation = std::make_unique<TStationServer>(Options);
    ASSERT_TRUE(FStation->Start()) << FStation->ErrorText().toStdString();
    // A stopped clock keeps the playlist where it is while the test runs.
    FStation->SetTime(QDateTime::currentDateTime());
    UseServer("127.0.0.1", FStation->Port(), Options.User, Options.Password);
  }

  QStringList StationTitles() const
  {
    QStringList Titles;
    for (const TStationEntry& Entry : FStation->Playlist())
      Titles.append(Entry.CastTitle());
    return Titles;
  }

  std::unique_ptr<TStationServer> FStation;
};

} // namespace

TEST_F(StationTest, Playlist)
{
  const auto Outcome = RunWorker([](TAPI* W) { W->GetPlaylistContents(); });
  ASSERT_EQ(Outcome->Calls, 1);
  EXPECT_TRUE(Outcome->OnUiThread);
  ASSERT_TRUE(Outcome->Success) << Outcome->Error.toStdString();
  const QList<TStationEntry> Entries = FStation->Playlist();
  ASSERT_EQ(Outcome->Playlist->size(), size_t(Entries.size()));
  for (int I = 0; I < Entries.size(); ++I) {
    const TPlaylistItem& Item = Outcome->Playlist->at(I);
    EXPECT_EQ(Item.Title, Entries[I].CastTitle());
    EXPECT_EQ(Item.Duration, Entries[I].DurationText());
    EXPECT_EQ(Item.StartTime, FormatStartTime(Entries[I].StartTimeText()));
  }
  EXPECT_TRUE(Outcome->WorkerGone);
}

TEST_F(StationTest, PlayingPosition)
{
  ASSERT_TRUE(FStation->SetPlayingPosition(4));
  auto Outcome = RunWorker([](TAPI* W) { W->GetPlaybackInfo(); });
  ASSERT_EQ(Outcome->Calls, 1);
  ASSERT_TRUE(Outcome->Success) << Outcome->Error.toStdString();
  EXPECT_EQ(Outcome->Info.PlaylistPos, 4);
  ASSERT_TRUE(FStation->SetPlayingPosition(0)); // stopped: nothing marked
  Outcome = RunWorker([](TAPI* W) { W->GetPlaybackInfo(); });
  EXPECT_EQ(Outcome->Info.PlaylistPos, 0);
}

TEST_F(StationTest, DeleteAndMove)
{
  QStringList Expected = StationTitles();
  auto Outcome = RunWorker([](TAPI* W) { W->DeletePlaylistTrack(0); });
  ASSERT_EQ(Outcome->Calls, 1);
  EXPECT_TRUE(Outcome->Success) << Outcome->Error.toStdString();
  EXPECT_TRUE(Outcome->Error.isEmpty());
  Expected.removeFirst();
  EXPECT_EQ(StationTitles(), Expected);

  // Dragging row 0 onto row 3.
  Outcome = RunWorker([](TAPI* W) { W->MovePlaylistTrack(0, 3); });
  ASSERT_EQ(Outcome->Calls, 1);
  EXPECT_TRUE(Outcome->Success) << Outcome->Error.toStdString();
  Expected.move(0, 3);
  EXPECT_EQ(StationTitles(), Expected);

  // A position the station does not have: its answer is the error text.
  Outcome = RunWorker([](TAPI* W) { W->DeletePlaylistTrack(99); });
  EXPECT_FALSE(Outcome->Success);
  EXPECT_TRUE(Outcome->Error.contains("100")) << Outcome->Error.toStdString();
  EXPECT_EQ(StationTitles(), Expected);
}

TEST_F(StationTest, UploadVoiceTrack)
{
  QTemporaryDir Dir;
  const QString Path = Dir.filePath("VT 01.flac");
  ASSERT_EQ(RunTool("sox", {"-n", "-r", "44100", "-c", "1", "-b", "16", Path, "synth", "0.5",
                            "sine", "440"}),
            0);
  const int Before = FStation->Count();
  std::vector<std::pair<qint64, qint64>> Progress;
  QObject Receiver;
  const auto Outcome = RunWorker([&](TAPI* W) {
    QObject::connect(W, &TAPI::UploadProgress, &Receiver, [&](qint64 ASent, qint64 ATotal) {
      EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
      Progress.emplace_back(ASent, ATotal);
    });
    W->InsertVoiceTrack(3, Path);
  });
  ASSERT_EQ(Outcome->Calls, 1);
  ASSERT_TRUE(Outcome->Success) << Outcome->Error.toStdString();
  ASSERT_EQ(FStation->Count(), Before + 1);
  const TStationEntry Entry = FStation->Playlist().at(2);
  EXPECT_TRUE(Entry.VoiceTrack);
  EXPECT_EQ(Entry.SongTitle, "VT 01");
  QFile Original(Path), Stored(Entry.FileName);
  ASSERT_TRUE(Original.open(QIODevice::ReadOnly) && Stored.open(QIODevice::ReadOnly));
  EXPECT_EQ(Stored.readAll(), Original.readAll());
  // The last report is the whole form.
  WaitUntil([&] { return !Progress.empty() && Progress.back().first == Progress.back().second; },
            2000);
  ASSERT_FALSE(Progress.empty());
  EXPECT_EQ(Progress.back().first, Progress.back().second);
  for (size_t I = 1; I < Progress.size(); ++I)
    EXPECT_LE(Progress[I - 1].first, Progress[I].first);
}

TEST_F(StationTest, WrongPasswordIsRefused)
{
  UseServer("127.0.0.1", FStation->Port(), "Anna Maria", "wrong");
  const auto Outcome = RunWorker([](TAPI* W) { W->GetPlaylistContents(); });
  ASSERT_EQ(Outcome->Calls, 1);
  EXPECT_FALSE(Outcome->Success);
  EXPECT_EQ(Outcome->Error, "Access denied: wrong user name or password");
  EXPECT_EQ(Outcome->Playlist, nullptr);
}

TEST(StationHttps, SelfSignedCertificateIsRejected)
{
  QTemporaryDir Dir;
  const QString Cert = Dir.filePath("cert.pem"), Key = Dir.filePath("key.pem");
  ASSERT_EQ(RunTool("openssl",
                    {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                     "-nodes", "-keyout", Key, "-out", Cert, "-days", "2", "-subj", "/CN=127.0.0.1",
                     "-addext", "subjectAltName=IP:127.0.0.1"}),
            0);
  TStationOptions Options;
  Options.CertFile = Cert;
  Options.KeyFile = Key;
  Options.LogToStderr = false;
  TStationServer Station(Options);
  ASSERT_TRUE(Station.Start()) << Station.ErrorText().toStdString();
  ASSERT_TRUE(Station.IsHttps());
  UseServer("127.0.0.1", Station.Port(), "demo", "demo", true);
  const auto Outcome = RunWorker([](TAPI* W) { W->GetPlaylistContents(); });
  EXPECT_EQ(Outcome->Calls, 1);
  EXPECT_FALSE(Outcome->Success);
  EXPECT_TRUE(Outcome->Error.contains("SSL certificate problem: self-signed certificate"))
      << Outcome->Error.toStdString();
  EXPECT_EQ(Station.RequestCount(), 0);
}
