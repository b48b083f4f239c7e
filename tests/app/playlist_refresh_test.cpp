// The playlist grid against a local station: filling, the keep-or-rebuild rule, the bold entry,
// failures in the status bar and the in-flight guards of the timer.
#include "app_fixture.h"

#include <QFont>
#include <QLabel>
#include <QScrollBar>
#include <QTest>
#include <functional>

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

TEST_F(TPlaylistRefresh, SelectionFocusAndTopRowFollowTheirEntries)
{
  QList<TStationEntry> List = Entries(80);
  TStationServer& Station = StartStation(List);
  ConnectTo(Station);
  TMainFrm* Main = ShowMainWindow();
  ASSERT_TRUE(WaitFor([&] { return Main->Model()->rowCount() == 80; }));
  TVirtualTreePlaylist* Grid = Main->lvPlaylist;
  Grid->SelectRow(5);
  Grid->SelectRow(9, true); // also the focus row
  Grid->scrollTo(Main->Model()->index(20, 0), QAbstractItemView::PositionAtTop);
  const auto TopRow = [Grid] { return Grid->indexAt(QPoint(0, 0)).row(); };
  ASSERT_EQ(TopRow(), 20);

  const struct
  {
    const char* What;
    int Drop;   // entries leaving the top
    int Append; // entries arriving at the bottom
    QList<int> Selected;
    int Current;
    int Top;
  } Cases[] = {
      // The same count: the rows do not stay, the entries are followed.
      {"one played, one new", 1, 1, {4, 8}, 8, 19},
      {"two played, three new", 2, 3, {2, 6}, 6, 17},
      {"three played, none new", 3, 0, {3}, 3, 14}, // the entry of row 2 left: unselected
  };
  int Next = 81;
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.What);
    List = List.mid(Case.Drop);
    for (int I = 0; I < Case.Append; ++I, ++Next)
      List << Entry(QStringLiteral("Artist %1").arg(Next), QStringLiteral("Song %1").arg(Next));
    Station.SetPlaylist(List);
    ASSERT_TRUE(Refresh(Main));
    QTest::qWait(20);
    EXPECT_EQ(Grid->SelectedRows(), Case.Selected);
    EXPECT_EQ(Grid->currentIndex().row(), Case.Current);
    EXPECT_EQ(TopRow(), Case.Top);
  }
  EXPECT_EQ(Str(Cell(Main, 3, TPlaylistModel::colTitle)), "Artist 10 - Song 10");

  // The focus entry gone as well: nothing selected, no focus row; the top row still follows.
  List = List.mid(4);
  Station.SetPlaylist(List);
  ASSERT_TRUE(Refresh(Main));
  EXPECT_TRUE(Grid->SelectedRows().isEmpty());
  EXPECT_FALSE(Grid->currentIndex().isValid());
  EXPECT_EQ(TopRow(), 10);
}

TEST_F(TPlaylistRefresh, AmongEqualEntriesTheNearestIsFollowed)
{
  // Jingles repeat: the one selected is the one nearest to where it was; equally near ones
  // cannot be told apart, and the selection is dropped rather than guessed.
  const TStationEntry Jingle = Entry(QStringLiteral("Station ID"), QStringLiteral("Hits"), 6000);
  QList<TStationEntry> List = Entries(12);
  List[3] = Jingle;
  List[8] = Jingle;
  TStationServer& Station = StartStation(List);
  ConnectTo(Station);
  TMainFrm* Main = ShowMainWindow();
  ASSERT_TRUE(WaitFor([&] { return Main->Model()->rowCount() == 12; }));
  Main->lvPlaylist->SelectRow(8);

  List = List.mid(2); // jingles now at 1 and 6: 6 is nearer to 8
  Station.SetPlaylist(List);
  ASSERT_TRUE(Refresh(Main));
  EXPECT_EQ(Main->lvPlaylist->SelectedRows(), QList<int>{6});

  List.insert(9, Jingle); // at 1, 6 and 9: 6 is where it was
  Station.SetPlaylist(List);
  ASSERT_TRUE(Refresh(Main));
  EXPECT_EQ(Main->lvPlaylist->SelectedRows(), QList<int>{6});

  List = Entries(12, QStringLiteral("Other")); // jingles at 3 and 9: both 3 away from 6
  List[3] = Jingle;
  List[9] = Jingle;
  Station.SetPlaylist(List);
  ASSERT_TRUE(Refresh(Main));
  EXPECT_TRUE(Main->lvPlaylist->SelectedRows().isEmpty());
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

TEST_F(TPlaylistRefresh, FailuresAreToldInWordsAndTheLastListStaysGreyed)
{
  // No server configured: the text of the first refresh, and an empty grid.
  TMainFrm* Main = ShowMainWindow();
  ASSERT_TRUE(WaitForRefresh(Main));
  EXPECT_EQ(Str(Main->StatusPanel->text()), "Connection not configured. Please open Settings.");
  EXPECT_EQ(Main->Model()->rowCount(), 0);
  EXPECT_FALSE(Main->StaleLabel->isVisibleTo(Main)) << "nothing shown, so nothing is stale";

  TStationServer& Station = StartStation(Entries(4));
  ConnectTo(Station);
  ASSERT_TRUE(Refresh(Main));
  EXPECT_EQ(Main->Model()->rowCount(), 4);
  EXPECT_TRUE(Main->StatusPanel->text().isEmpty());
  const QString FetchedAt = Main->FetchedAt().time().toString(QStringLiteral("HH:mm:ss"));
  const auto Grey = [Main] {
    return Main->Model()->index(2, TPlaylistModel::colTitle).data(Qt::ForegroundRole).isValid();
  };
  EXPECT_FALSE(Grey());

  const quint16 Port = Station.Port();
  const struct
  {
    const char* What;
    std::function<void()> Break;
    QString Text;
    QString ToolTipHas;
  } Cases[] = {
      {"error page", [&] { Station.SetFixedReply(503, "<html><h1>Station busy</h1></html>"); },
       "<html><h1>Station busy</h1></html>", "Station busy"},
      {"empty error reply", [&] { Station.SetFixedReply(502, ""); }, "HTTP 502 Bad Gateway",
       "HTTP 502"},
      {"wrong password",
       [&] {
         Station.ClearFixedReply();
         Settings->SetPass(QStringLiteral("wrong"));
       },
       "The station refused the user name or password",
       "Access denied: wrong user name or password"},
      {"station gone", [&] { Station.Stop(); },
       QStringLiteral("Station not reachable at 127.0.0.1:%1 (connection refused); trying again "
                      "every 5 s")
           .arg(Port),
       QString::number(Port)},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.What);
    Case.Break();
    ASSERT_TRUE(Refresh(Main));
    EXPECT_EQ(Str(Main->StatusPanel->text()), Str(Case.Text));
    EXPECT_TRUE(Main->StatusPanel->toolTip().contains(Case.ToolTipHas))
        << Str(Main->StatusPanel->toolTip());
    EXPECT_EQ(Main->StatusPanel->textFormat(), Qt::PlainText);
    // The rows stay, greyed, with the time they were fetched.
    EXPECT_EQ(Main->Model()->rowCount(), 4);
    EXPECT_TRUE(Grey());
    EXPECT_TRUE(Main->StaleLabel->isVisibleTo(Main));
    EXPECT_EQ(Str(Main->StaleLabel->text()), Str("Playlist as of " + FetchedAt));
  }
  EXPECT_TRUE(Boxes.Calls.isEmpty());

  // The first good refresh clears it all.
  Settings->SetPass(QStringLiteral("demo"));
  ASSERT_TRUE(Station.Start());
  ConnectTo(Station);
  ASSERT_TRUE(Refresh(Main));
  EXPECT_TRUE(Main->StatusPanel->text().isEmpty());
  EXPECT_FALSE(Grey());
  EXPECT_FALSE(Main->StaleLabel->isVisibleTo(Main));
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
  // The one fetch is the delete's own look-up, made before it was sent.
  EXPECT_EQ(RequestsFor(Answering, QStringLiteral("getplaylist2")).size(), 1);
  EXPECT_TRUE(Main->UpdatingPlaylist());
  EXPECT_TRUE(Boxes.Calls.isEmpty());
}

} // namespace
