// Vexmo's side of the take hand-over: the real main window against a local station, a take sent
// by the recorder's client lands right after the selected entry, and the outcome comes back.
#include "app/take_handover.h"
#include "app_fixture.h"
#include "recorder/take_handover_client.h"

#include <QFile>
#include <optional>

namespace {

class TVexmoHandover : public TAppFixture
{
protected:
  std::optional<std::pair<bool, QString>> Send(const QString& AFile)
  {
    std::optional<std::pair<bool, QString>> Result;
    TTakeHandoverClient Client(TakeHandoverSocketPath(DataFolder()));
    Client.Send(AFile, [&](bool AOk, const QString& AMessage) { Result = {AOk, AMessage}; });
    WaitFor([&] { return Result.has_value(); }, 20000);
    return Result;
  }
};

} // namespace

TEST_F(TVexmoHandover, AHandedOverTakeGoesAfterTheSelectedEntryAndTheOutcomeComesBack)
{
  TStationServer& Station = StartStation(Entries(6));
  ConnectTo(Station);
  TMainFrm* Main = ShowMainWindow();
  ASSERT_TRUE(WaitFor([&] { return Main->Model()->rowCount() == 6; }));
  Station.ClearRequests();

  const QString Take = Folder() + QStringLiteral("VoiceTrack 2026-12-11 10.00.00.flac");
  {
    QFile F(Take);
    ASSERT_TRUE(F.open(QIODevice::WriteOnly));
    F.write(TinyFlac());
  }

  // Nothing selected: Insert's warning in Vexmo, and the recorder hears why.
  auto R = Send(Take);
  ASSERT_TRUE(R);
  EXPECT_FALSE(R->first);
  EXPECT_TRUE(R->second.contains(QStringLiteral("No entry is selected"))) << Str(R->second);
  ASSERT_EQ(Boxes.Calls.size(), 1);
  EXPECT_EQ(Boxes.Calls[0].Flags, MB_ICONWARNING);

  Main->lvPlaylist->SelectRow(2);
  R = Send(Take);
  ASSERT_TRUE(R);
  EXPECT_TRUE(R->first) << Str(R->second);
  const QList<TStationRequest> Uploads = RequestsFor(Station, QStringLiteral("vexmo"));
  ASSERT_EQ(Uploads.size(), 1);
  EXPECT_EQ(Str(Field(Uploads[0], QStringLiteral("pos"))), "4");
  EXPECT_EQ(Str(Field(Uploads[0], QStringLiteral("fn"))), "VoiceTrack 2026-12-11 10.00.00.flac");
  ASSERT_TRUE(WaitFor([&] { return Main->Model()->rowCount() == 7; }));

  // The station refuses a file: its error, in Vexmo's box and in the recorder's answer.
  const QString Broken = Folder() + QStringLiteral("broken.flac");
  {
    QFile F(Broken);
    ASSERT_TRUE(F.open(QIODevice::WriteOnly));
    F.write("not a flac file");
  }
  Boxes.Calls.clear();
  Main->lvPlaylist->SelectRow(2); // the refresh with a new row count rebuilt the rows
  R = Send(Broken);
  ASSERT_TRUE(R);
  EXPECT_FALSE(R->first);
  EXPECT_EQ(Str(R->second), "broken.flac: not a FLAC file");
  ASSERT_EQ(Boxes.Calls.size(), 1);
  EXPECT_EQ(Boxes.Calls[0].Flags, MB_ICONERROR);
}
