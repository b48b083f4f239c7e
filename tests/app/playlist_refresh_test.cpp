// The playlist grid against a local station: filling, the keep-or-rebuild rule, the bold entry,
// failures in the status bar and the in-flight guards of the timer.
#include "app_fixture.h"

#include <QFont>
#include <QLabel>
#include <QScrollBar>
#include <QTest>

namespace {

class TPlaylistRefresh : public TAppFixture
{};

TEST_F(TPlaylistRefresh, FirstShowingFillsTheGridWithTheStationsPlaylist)
{
  TStationServer& Station = StartStation(Entries(12));
  ConnectTo(Station);
  TMainFrm* Main = ShowMainWindow();
  // The playlist is asked for as the window is shown, without waiting for the timer.
  ASSERT_TRUE(WaitFor([&] { return Main->Model()->rowCount() == 12; }));

  const QList<TStationEntry> Expected = Station.Playlist();
  for (int Row : {0, 5, 11}) {
    EXPECT_EQ(Str(Cell(Main, Row, TPlaylistModel::colPosition)), std::to_string(Row + 1));
    EXPECT_EQ(Str(Cell(Main, Row, TPlaylistModel::colTitle)), Str(Expected[Row].CastTitle()));
    EXPECT_EQ(Str(Cell(Main, Row, TPlaylistModel::colDuration)), Str(Expected[Row].DurationText()));
    EXPECT_FALSE(Cell(Main, Row, TPlaylistModel::colStartTime).isEmpty());
  }
  EXPECT_TRUE(Main->StatusPanel->text().isEmpty());
  // Nothing is bold until the first playing position arrives with the first tick.
  EXPECT_EQ(Main->PlaybackInfo().PlaylistPos, -1);
  EXPECT_EQ(RequestsFor(Station, QStringLiteral("getplaylist2")).size(), 1);
  EXPECT_EQ(RequestsFor(Station, QStringLiteral("playbackinfo")).size(), 0);
  EXPECT_TRUE(Main->lvPlaylist->hasFocus() || !Main->isActiveWindow());
}

TEST_F(TPlaylistRefresh, SameCountKeepsSelectionAndScrollOtherCountRebuilds)
{
  TStationServer& Station = StartStation(Entries(80));
  ConnectTo(Station);
  TMainFrm* Main = ShowMainWindow();
  ASSERT_TRUE(WaitFor([&] { return Main->Model()->rowCount() == 80; }));
  TVirtualTreePlaylist* Grid = Main->lvPlaylist;
  Grid->SelectRow(5);
  Grid->SelectRow(9, true);
  QScrollBar* Bar = Grid->verticalScrollBar();
  ASSERT_GT(Bar->maximum(), 20);
  Bar->setValue(20);

  // Same number of entries with other texts: the rows show the new texts and stay as they were.
  Station.SetPlaylist(Entries(80, QStringLiteral("Other")));
  ASSERT_TRUE(Refresh(Main));
  // Let the grid lay its rows out and paint them again.
  QTest::qWait(50);
  Grid->viewport()->repaint();
  EXPECT_EQ(Str(Cell(Main, 5, TPlaylistModel::colTitle)), "Artist 6 - Other 6");
  EXPECT_EQ(Grid->SelectedRows(), (QList<int>{5, 9}));
  EXPECT_EQ(Bar->value(), 20);

  // Another number: rebuilt, the selection is gone, the scroll position stays.
  Station.SetPlaylist(Entries(81));
  ASSERT_TRUE(Refresh(Main));
  QTest::qWait(50);
  EXPECT_EQ(Main->Model()->rowCount(), 81);
  EXPECT_TRUE(Grid->SelectedRows().isEmpty());
  EXPECT_EQ(Bar->value(), 20);
  EXPECT_EQ(Str(Cell(Main, 80, TPlaylistModel::colTitle)), "Artist 81 - Song 81");
}

TEST_F(TPlaylistRefresh, BoldRowFollowsThePlayingPosition)
{
  TStationServer& Station = StartStation(Entries(6));
  ConnectTo(Station);
  TMainFrm* Main = ShowMainWindow();
  ASSERT_TRUE(WaitFor([&] { return Main->Model()->rowCount() == 6; }));

  const auto BoldRows = [Main] {
    QList<int> Rows;
    for (int Row = 0; Row < Main->Model()->rowCount(); ++Row) {
      int BoldCells = 0;
      for (int Column = 0; Column < TPlaylistModel::ColumnCount; ++Column)
        if (Main->Model()->index(Row, Column).data(Qt::FontRole).value<QFont>().bold())
          ++BoldCells;
      if (BoldCells > 0) {
        EXPECT_EQ(BoldCells, int(TPlaylistModel::ColumnCount)) << "row " << Row;
        Rows << Row;
      }
    }
    return Rows;
  };

  const struct
  {
    int Position; // on the station, 0 = stopped
    QList<int> Bold;
  } Cases[] = {{3, {2}}, {6, {5}}, {0, {}}, {1, {0}}};
  for (const auto& Case : Cases) {
    ASSERT_TRUE(Station.SetPlayingPosition(Case.Position));
    Main->RefreshPlaybackInfo();
    ASSERT_TRUE(WaitFor([&] { return !Main->UpdatingPlaybackInfo(); }));
    EXPECT_EQ(Main->PlaybackInfo().PlaylistPos, Case.Position);
    EXPECT_EQ(BoldRows(), Case.Bold) << "position " << Case.Position;
  }

  // A failed position request takes the mark away.
  Station.SetFixedReply(500, "Internal error");
  Main->RefreshPlaybackInfo();
  ASSERT_TRUE(WaitFor([&] { return !Main->UpdatingPlaybackInfo(); }));
  EXPECT_EQ(Main->PlaybackInfo().PlaylistPos, -1);
  EXPECT_TRUE(BoldRows().isEmpty());
}

TEST_F(TPlaylistRefresh, FailuresGoToTheStatusBarAndTheGridKeepsItsRows)
{
  // No server configured: the text of the first refresh, and an empty grid.
  TMainFrm* Main = ShowMainWindow();
  ASSERT_TRUE(WaitForRefresh(Main));
  EXPECT_EQ(Str(Main->StatusPanel->text()), "Connection not configured. Please open Settings.");
  EXPECT_EQ(Main->Model()->rowCount(), 0);

  TStationServer& Station = StartStation(Entries(4));
  ConnectTo(Station);
  ASSERT_TRUE(Refresh(Main));
  EXPECT_EQ(Main->Model()->rowCount(), 4);
  EXPECT_TRUE(Main->StatusPanel->text().isEmpty());

  // An error page: its text is shown as text (not as markup), the rows stay.
  Station.SetFixedReply(503, "<html><body><h1>Station busy</h1></body></html>",
                        "text/html; charset=utf-8");
  ASSERT_TRUE(Refresh(Main));
  EXPECT_EQ(Str(Main->StatusPanel->text()), "<html><body><h1>Station busy</h1></body></html>");
  EXPECT_EQ(Main->StatusPanel->textFormat(), Qt::PlainText);
  EXPECT_EQ(Main->Model()->rowCount(), 4);

  // Wrong credentials are the station's own words.
  Station.ClearFixedReply();
  Settings->SetPass(QStringLiteral("wrong"));
  ASSERT_TRUE(Refresh(Main));
  EXPECT_EQ(Str(Main->StatusPanel->text()), "Access denied: wrong user name or password");
  EXPECT_TRUE(Boxes.Calls.isEmpty());
}

TEST_F(TPlaylistRefresh, TicksAreSkippedWhileTheirRequestIsInFlight)
{
  TStationServer& Station = StartStation(Entries(3));
  ConnectTo(Station);
  TMainFrm* Main = ShowMainWindow();
  ASSERT_TRUE(WaitFor([&] { return Main->Model()->rowCount() == 3; }));
  Station.ClearRequests();
  Station.SetUnresponsive(true);

  for (int Tick = 0; Tick < 4; ++Tick)
    Main->tmrMainTimer();
  ASSERT_TRUE(Station.WaitForRequests(2, 10000));
  QThread::msleep(200);
  QCoreApplication::processEvents();
  EXPECT_EQ(RequestsFor(Station, QStringLiteral("getplaylist2")).size(), 1);
  EXPECT_EQ(RequestsFor(Station, QStringLiteral("playbackinfo")).size(), 1);
  EXPECT_TRUE(Main->UpdatingPlaylist());
  EXPECT_TRUE(Main->UpdatingPlaybackInfo());

  // Once answered, the next tick asks again.
  Station.SetUnresponsive(false);
  ASSERT_TRUE(WaitFor([&] { return !Main->UpdatingPlaylist() && !Main->UpdatingPlaybackInfo(); }));
  Main->tmrMainTimer();
  ASSERT_TRUE(Station.WaitForRequests(4, 10000));
  EXPECT_EQ(RequestsFor(Station, QStringLiteral("getplaylist2")).size(), 2);
}

TEST_F(TPlaylistRefresh, EditFinishingWhileARefreshIsInFlightStartsNoSecondOne)
{
  // The periodic refresh hangs on one station; the edit goes to another one and succeeds.
  TStationServer& Hanging = StartStation(Entries(3));
  TStationServer& Answering = StartStation(Entries(3));
  ConnectTo(Answering);
  TMainFrm* Main = ShowMainWindow();
  ASSERT_TRUE(WaitFor([&] { return Main->Model()->rowCount() == 3; }));

  Hanging.SetUnresponsive(true);
  ConnectTo(Hanging);
  Main->RefreshPlaylist();
  ASSERT_TRUE(Hanging.WaitForRequests(1, 10000));

  ConnectTo(Answering);
  Answering.ClearRequests();
  Main->lvPlaylist->SelectRow(0);
  Main->btDeleteClick();
  // Only the hanging request is left once the delete has had its callback.
  ASSERT_TRUE(WaitFor([&] { return Answering.Count() == 2 && TAPI::LiveCount() == 1; }));
  QCoreApplication::processEvents();
  EXPECT_EQ(RequestsFor(Answering, QStringLiteral("delete")).size(), 1);
  EXPECT_EQ(RequestsFor(Answering, QStringLiteral("getplaylist2")).size(), 0);
  EXPECT_TRUE(Main->UpdatingPlaylist());
  EXPECT_TRUE(Boxes.Calls.isEmpty());
}

} // namespace
