// Edits against a log that moves while the presenter works: played entries leave the top and new
// ones arrive between the click and the key press, or between the window's last refresh and the
// edit. Driven through the real widgets (mouse clicks, keys, drops, the row menu).
#include "app_fixture.h"

#include <QContextMenuEvent>
#include <QFile>
#include <QMenu>
#include <QMimeData>
#include <QShortcut>
#include <QTest>

namespace {

class TLiveLog : public TAppFixture
{
protected:
  // A station whose log rolls: each step (Roll) takes the entry on top away and appends one.
  TStationServer& StartRollingStation(int ACount)
  {
    TStationOptions Options;
    Options.LogToStderr = false;
    Options.KeepPlayed = 0;
    Options.AutoFill = true;
    Options.Entries = ACount;
    auto Station = std::make_unique<TStationServer>(Options);
    EXPECT_TRUE(Station->Start()) << Str(Station->ErrorText());
    Station->SetTime(QDateTime(QDate(2024, 5, 6), QTime(9, 0, 0)));
    Station->SetPlaylist(Entries(ACount));
    Stations.push_back(std::move(Station));
    return *Stations.back();
  }

  TMainFrm* ShowActive(TStationServer& AStation)
  {
    ConnectTo(AStation);
    TMainFrm* Main = ShowMainWindow();
    EXPECT_TRUE(WaitFor([&] { return Main->Model()->rowCount() == AStation.Count(); }));
    Main->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(Main));
    Main->lvPlaylist->setFocus();
    return Main;
  }

  static int RowOf(TMainFrm* AMain, const QString& ATitle)
  {
    for (int Row = 0; Row < AMain->Model()->rowCount(); ++Row)
      if (Cell(AMain, Row, TPlaylistModel::colTitle) == ATitle)
        return Row;
    return -1;
  }

  static QPoint RowPoint(TMainFrm* AMain, int ARow)
  {
    TVirtualTreePlaylist* Grid = AMain->lvPlaylist;
    Grid->scrollTo(AMain->Model()->index(ARow, 0));
    return Grid->visualRect(AMain->Model()->index(ARow, TPlaylistModel::colTitle)).center();
  }

  // A click on the row showing ATitle, as the presenter makes it.
  static void ClickEntry(TMainFrm* AMain, const QString& ATitle)
  {
    const int Row = RowOf(AMain, ATitle);
    ASSERT_GE(Row, 0) << Str(ATitle);
    QTest::mouseClick(AMain->lvPlaylist->viewport(), Qt::LeftButton, Qt::NoModifier,
                      RowPoint(AMain, Row));
    ASSERT_EQ(AMain->lvPlaylist->SelectedRows(), QList<int>{Row});
  }

  static QStringList StationTitles(const TStationServer& AStation)
  {
    QStringList Titles;
    for (const TStationEntry& Entry : AStation.Playlist())
      Titles << Entry.CastTitle();
    return Titles;
  }

  static bool Settled()
  {
    return WaitFor([] { return TAPI::LiveCount() == 0; });
  }

  static QString Song(int AN) { return QStringLiteral("Artist %1 - Song %1").arg(AN); }
};

TEST_F(TLiveLog, DeleteRemovesTheEntryClickedOnAfterTheLogMoved)
{
  TStationServer& Station = StartRollingStation(10);
  TMainFrm* Main = ShowActive(Station);
  ClickEntry(Main, Song(4));
  // Two entries leave the top between the click and the key press; the grid has not refreshed.
  Station.Roll();
  Station.Roll();
  Station.ClearRequests();
  QTest::keyClick(Main->lvPlaylist, Qt::Key_Delete);
  ASSERT_TRUE(WaitFor([&] { return !RequestsFor(Station, QStringLiteral("delete")).isEmpty(); }));
  ASSERT_TRUE(Settled());

  EXPECT_EQ(Str(Field(RequestsFor(Station, QStringLiteral("delete"))[0], QStringLiteral("pos"))),
            "2");
  const QStringList Titles = StationTitles(Station);
  EXPECT_FALSE(Titles.contains(Song(4)));
  for (int N : {3, 5, 6, 10})
    EXPECT_TRUE(Titles.contains(Song(N))) << N;
  EXPECT_EQ(Str(Main->StatusPanel->text()), Str("Deleted '" + Song(4) + "'"));
  EXPECT_TRUE(Boxes.Calls.isEmpty());
}

TEST_F(TLiveLog, EveryEditFindsItsEntryInALogThatRollsBeforeEachFetch)
{
  // The log moves on whenever the playlist is asked for: the list the window shows is always
  // one step behind the station when an edit is looked up.
  TStationServer& Station = StartRollingStation(24);
  TMainFrm* Main = ShowActive(Station);
  Station.SetRequestHook([&Station](const TStationRequest& ARequest) {
    for (const auto& Field : ARequest.Fields)
      if (Field.first == QLatin1String("action") && Field.second == QLatin1String("getplaylist2"))
        Station.Roll();
  });
  const auto Follows = [&](const QString& AFirst, const QString& ASecond) {
    const QStringList Titles = StationTitles(Station);
    const int At = Titles.indexOf(AFirst);
    return At >= 0 && At + 1 < Titles.size() && Titles[At + 1] == ASecond;
  };

  // Alt+Down: one place down.
  ClickEntry(Main, Song(6));
  QTest::keyClick(Main->lvPlaylist, Qt::Key_Down, Qt::AltModifier);
  ASSERT_TRUE(WaitFor([&] { return !RequestsFor(Station, QStringLiteral("move")).isEmpty(); }));
  ASSERT_TRUE(Settled());
  EXPECT_TRUE(Follows(Song(7), Song(6))) << Str(StationTitles(Station).join(" | "));
  // The selection stayed with the entry it was on.
  EXPECT_EQ(Main->lvPlaylist->SelectedRows(), QList<int>{RowOf(Main, Song(6))});

  // Insert: the voice track goes right after the entry selected when the file was chosen.
  {
    QFile File(Folder() + QStringLiteral("VT 01.flac"));
    ASSERT_TRUE(File.open(QIODevice::WriteOnly));
    File.write(TinyFlac());
    NextFile = File.fileName();
  }
  ClickEntry(Main, Song(9));
  QTest::keyClick(Main->lvPlaylist, Qt::Key_Insert);
  ASSERT_TRUE(WaitFor([&] { return !RequestsFor(Station, QStringLiteral("vexmo")).isEmpty(); }));
  ASSERT_TRUE(Settled());
  EXPECT_TRUE(Follows(Song(9), QStringLiteral("VT 01"))) << Str(StationTitles(Station).join(" | "));
  EXPECT_EQ(Str(Main->StatusPanel->text()),
            Str("Voice track 'VT 01.flac' inserted after '" + Song(9) + "'"));

  // A drop: the dragged entry takes the place of the entry dropped onto.
  ClickEntry(Main, Song(11));
  std::unique_ptr<QMimeData> Data(
      Main->Model()->mimeData({Main->Model()->index(RowOf(Main, Song(11)), 0)}));
  const QPoint Target = RowPoint(Main, RowOf(Main, Song(13)));
  QWidget* Viewport = Main->lvPlaylist->viewport();
  QDragEnterEvent Enter(Target, Qt::MoveAction, Data.get(), Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(Viewport, &Enter);
  QDragMoveEvent Over(Target, Qt::MoveAction, Data.get(), Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(Viewport, &Over);
  ASSERT_TRUE(Over.isAccepted());
  QDropEvent Drop(Target, Qt::MoveAction, Data.get(), Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(Viewport, &Drop);
  ASSERT_TRUE(WaitFor([&] { return RequestsFor(Station, QStringLiteral("move")).size() == 2; }))
      << (Boxes.Calls.isEmpty() ? std::string("no box") : Str(Boxes.Calls[0].Text));
  ASSERT_TRUE(Settled());
  EXPECT_TRUE(Follows(Song(12), Song(13)) && Follows(Song(13), Song(11)))
      << Str(StationTitles(Station).join(" | "));
  EXPECT_TRUE(Boxes.Calls.isEmpty());
}

TEST_F(TLiveLog, AnEntryThatLeftOrCannotBeToldApartIsNotEdited)
{
  const TStationEntry Jingle = Entry(QStringLiteral("Station ID"), QStringLiteral("Hits"), 6000);
  QList<TStationEntry> List = Entries(8);
  List[2] = Jingle;
  List[6] = Jingle;
  TStationServer& Station = StartStation(List);
  TMainFrm* Main = ShowActive(Station);

  const struct
  {
    const char* What;
    int Row;                         // clicked
    std::function<void()> ChangeLog; // between the click and the key press
    Qt::Key Key;
    Qt::KeyboardModifiers Modifiers;
    const char* Told;
  } Cases[] = {
      {"deleted meanwhile", 1, [&] { Station.SetPlaylist(List.mid(3)); }, Qt::Key_Delete,
       Qt::NoModifier, "'Artist 2 - Song 2' is no longer in the playlist. Nothing was deleted."},
      {"an equal entry equally near", 2,
       [&] {
         QList<TStationEntry> Changed = Entries(8);
         Changed[0] = Jingle;
         Changed[4] = Jingle; // both two rows away from row 2
         Station.SetPlaylist(Changed);
       },
       Qt::Key_Up, Qt::AltModifier,
       "'Station ID - Hits' is in the playlist more than once and can no longer be told apart "
       "from the other. Nothing was moved."},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.What);
    Station.SetPlaylist(List);
    ASSERT_TRUE(Refresh(Main));
    ASSERT_TRUE(Settled());
    Boxes.Calls.clear();
    ClickEntry(Main, Cell(Main, Case.Row, TPlaylistModel::colTitle));
    Case.ChangeLog();
    Station.ClearRequests();
    QTest::keyClick(Main->lvPlaylist, Case.Key, Case.Modifiers);
    ASSERT_TRUE(WaitFor([&] { return !Boxes.Calls.isEmpty(); }));
    ASSERT_TRUE(Settled());
    EXPECT_EQ(Str(Boxes.Calls[0].Text), Case.Told);
    EXPECT_EQ(Boxes.Calls[0].Flags, MB_ICONWARNING);
    EXPECT_EQ(Str(Main->StatusPanel->text()), Case.Told);
    // Only the look-up went out; the grid now shows the log as it was found.
    ASSERT_EQ(Station.Requests().size(), 1);
    EXPECT_EQ(Str(Field(Station.Requests()[0], QStringLiteral("action"))), "getplaylist2");
    EXPECT_EQ(Main->Model()->rowCount(), Station.Count());
  }
}

TEST_F(TLiveLog, TheVoiceTrackFollowsTheEntrySelectedWhenTheFileIsChosen)
{
  TStationServer& Station = StartRollingStation(10);
  TMainFrm* Main = ShowActive(Station);
  {
    QFile File(Folder() + QStringLiteral("VT 02.flac"));
    ASSERT_TRUE(File.open(QIODevice::WriteOnly));
    File.write(TinyFlac());
    NextFile = File.fileName();
  }
  // While the dialog is open the log moves on and the window refreshes: the selection follows
  // its entry, and the track goes after that entry.
  WhileDialogOpen = [&] {
    Station.Roll();
    Station.Roll();
    ASSERT_TRUE(Refresh(Main));
  };
  ClickEntry(Main, Song(5));
  Main->btInsertClick();
  ASSERT_TRUE(WaitFor([&] { return !RequestsFor(Station, QStringLiteral("vexmo")).isEmpty(); }));
  ASSERT_TRUE(Settled());
  const QStringList Titles = StationTitles(Station);
  ASSERT_GE(Titles.indexOf(Song(5)), 0);
  EXPECT_EQ(Str(Titles.value(Titles.indexOf(Song(5)) + 1)), "VT 02");

  // The entry leaves while the dialog is open: nothing is sent, and the user is told.
  WhileDialogOpen = [&] {
    for (int I = 0; I < 5; ++I) // 3, 4, 5, the voice track and 6
      Station.Roll();
    ASSERT_TRUE(Refresh(Main));
  };
  ClickEntry(Main, Song(6));
  Station.ClearRequests();
  Main->btInsertClick();
  ASSERT_EQ(Boxes.Calls.size(), 1);
  EXPECT_EQ(Str(Boxes.Calls[0].Text),
            Str("'" + Song(6) + "' is no longer in the playlist. The voice track was not sent."));
  ASSERT_TRUE(Settled());
  EXPECT_TRUE(RequestsFor(Station, QStringLiteral("vexmo")).isEmpty());
}

TEST_F(TLiveLog, AHeldKeyIsOneEdit)
{
  TStationServer& Station = StartRollingStation(12);
  TMainFrm* Main = ShowActive(Station);
  TVirtualTreePlaylist* Grid = Main->lvPlaylist;
  // What the keyboard sends while a key is held: a press, then repeated presses, one release.
  const auto Hold = [Grid](Qt::Key AKey, Qt::KeyboardModifiers AModifiers) {
    QTest::simulateEvent(Grid, true, AKey, AModifiers, QString(), false);
    for (int I = 0; I < 5; ++I)
      QTest::simulateEvent(Grid, true, AKey, AModifiers, QString(), true);
    QTest::simulateEvent(Grid, false, AKey, AModifiers, QString(), false);
  };

  const struct
  {
    Qt::Key Key;
    Qt::KeyboardModifiers Modifiers;
    const char* Action;
  } Edits[] = {{Qt::Key_Delete, Qt::NoModifier, "delete"},
               {Qt::Key_Down, Qt::AltModifier, "move"},
               {Qt::Key_Up, Qt::AltModifier, "move"}};
  for (const auto& Edit : Edits) {
    SCOPED_TRACE(Edit.Action);
    ClickEntry(Main, Cell(Main, 4, TPlaylistModel::colTitle));
    Station.ClearRequests();
    Hold(Edit.Key, Edit.Modifiers);
    ASSERT_TRUE(
        WaitFor([&] { return !RequestsFor(Station, QLatin1String(Edit.Action)).isEmpty(); }));
    QTest::qWait(300);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(RequestsFor(Station, QLatin1String(Edit.Action)).size(), 1);
  }

  // Insert opens one file dialog, Ctrl+R says once that there is no recorder.
  NextFile.clear();
  Hold(Qt::Key_Insert, Qt::NoModifier);
  EXPECT_EQ(DialogCount, 1);
  Boxes.Calls.clear();
  Hold(Qt::Key_R, Qt::ControlModifier);
  EXPECT_EQ(Boxes.Calls.size(), 1);
  for (QShortcut* Shortcut : Main->Shortcuts())
    EXPECT_FALSE(Shortcut->autoRepeat()) << Str(Shortcut->key().toString());
}

TEST_F(TLiveLog, TheRowMenuOffersTheEditsOfThatRow)
{
  TStationServer& Station = StartStation(Entries(6));
  TMainFrm* Main = ShowActive(Station);
  const auto OpenMenu = [Main](QContextMenuEvent::Reason AReason, int ARow) -> QMenu* {
    const QPoint At = RowPoint(Main, ARow);
    QContextMenuEvent Event(AReason, At, Main->lvPlaylist->viewport()->mapToGlobal(At));
    QCoreApplication::sendEvent(Main->lvPlaylist->viewport(), &Event);
    for (QMenu* Menu : Main->findChildren<QMenu*>(QStringLiteral("RowMenu")))
      if (Menu->isVisible())
        return Menu;
    return nullptr;
  };

  QMenu* Menu = OpenMenu(QContextMenuEvent::Mouse, 3);
  ASSERT_NE(Menu, nullptr);
  // The row asked on is the one the menu works on.
  EXPECT_EQ(Main->lvPlaylist->SelectedRows(), QList<int>{3});
  QStringList Texts;
  for (QAction* Action : Menu->actions())
    if (!Action->isSeparator())
      Texts << Action->text();
  EXPECT_EQ(Texts, (QStringList{"Insert voice track after\tIns", "Record voice track\tCtrl+R",
                                "Move up\tAlt+Up", "Move down\tAlt+Down", "Delete\tDel"}));
  Station.ClearRequests();
  Menu->findChild<QAction*>(QStringLiteral("actMoveUp"))->trigger();
  Menu->close();
  ASSERT_TRUE(WaitFor([&] { return !RequestsFor(Station, QStringLiteral("move")).isEmpty(); }));
  const TStationRequest Move = RequestsFor(Station, QStringLiteral("move"))[0];
  EXPECT_EQ(Str(Field(Move, QStringLiteral("pos1"))), "4");
  EXPECT_EQ(Str(Field(Move, QStringLiteral("pos2"))), "3");
  ASSERT_TRUE(Settled());

  // On the first and the last row the move that cannot be made is offered greyed.
  Menu = OpenMenu(QContextMenuEvent::Mouse, 0);
  ASSERT_NE(Menu, nullptr);
  EXPECT_FALSE(Menu->findChild<QAction*>(QStringLiteral("actMoveUp"))->isEnabled());
  EXPECT_TRUE(Menu->findChild<QAction*>(QStringLiteral("actMoveDown"))->isEnabled());
  Menu->close();

  // The menu key opens it for the focus row.
  Main->lvPlaylist->SelectRow(5);
  Menu = OpenMenu(QContextMenuEvent::Keyboard, 0);
  ASSERT_NE(Menu, nullptr);
  EXPECT_FALSE(Menu->findChild<QAction*>(QStringLiteral("actMoveDown"))->isEnabled());
  Station.ClearRequests();
  Menu->findChild<QAction*>(QStringLiteral("actDelete"))->trigger();
  Menu->close();
  ASSERT_TRUE(WaitFor([&] { return !RequestsFor(Station, QStringLiteral("delete")).isEmpty(); }));
  EXPECT_EQ(Str(Field(RequestsFor(Station, QStringLiteral("delete"))[0], QStringLiteral("pos"))),
            "6");
}

} // namespace
