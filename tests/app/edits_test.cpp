// Delete, move and upload from the main window against a local station: what is sent, the
// refresh after a success, and what the user sees after a failure.
#include "app_fixture.h"

#include <QDropEvent>
#include <QFile>
#include <QHeaderView>
#include <QMimeData>
#include <QProgressBar>
#include <QScrollBar>
#include <QTest>

namespace {

class TEdits : public TAppFixture
{
protected:
  // A window showing the station's six entries.
  TMainFrm* ShowWithSix(TStationServer*& AStation)
  {
    AStation = &StartStation(Entries(6));
    ConnectTo(*AStation);
    TMainFrm* Main = ShowMainWindow();
    EXPECT_TRUE(WaitFor([&] { return Main->Model()->rowCount() == 6; }));
    AStation->ClearRequests();
    return Main;
  }

  // Waits until every request started so far has had its callback.
  static bool Settled()
  {
    return WaitFor([] { return TAPI::LiveCount() == 0; });
  }

  QString WriteFile(const QString& AName, const QByteArray& AData)
  {
    QFile File(Folder() + AName);
    EXPECT_TRUE(File.open(QIODevice::WriteOnly));
    File.write(AData);
    return File.fileName();
  }
};

TEST_F(TEdits, DeleteSendsTheTopmostSelectedRowAndRefreshes)
{
  TStationServer* Station;
  TMainFrm* Main = ShowWithSix(Station);
  Main->lvPlaylist->SelectRow(3);
  Main->lvPlaylist->SelectRow(1, true);
  Main->lvPlaylist->SelectRow(4, true);
  Main->btDeleteClick();
  ASSERT_TRUE(WaitFor([&] { return Main->Model()->rowCount() == 5; }));
  ASSERT_TRUE(Settled());

  const QList<TStationRequest> Deletes = RequestsFor(*Station, QStringLiteral("delete"));
  ASSERT_EQ(Deletes.size(), 1);
  EXPECT_EQ(Str(Field(Deletes[0], QStringLiteral("pos"))), "2");
  // One fetch to find the entry before the delete, one refresh after it.
  EXPECT_EQ(RequestsFor(*Station, QStringLiteral("getplaylist2")).size(), 2);
  EXPECT_EQ(Str(Cell(Main, 1, TPlaylistModel::colTitle)), "Artist 3 - Song 3");
  EXPECT_EQ(Str(Main->StatusPanel->text()), "Deleted 'Artist 2 - Song 2'");
  EXPECT_TRUE(Boxes.Calls.isEmpty());

  // Without a selection nothing is sent.
  Main->lvPlaylist->clearSelection();
  Station->ClearRequests();
  Main->btDeleteClick();
  QTest::qWait(100);
  EXPECT_EQ(Station->RequestCount(), 0);
}

TEST_F(TEdits, TheDeleteKeyDeletes)
{
  TStationServer* Station;
  TMainFrm* Main = ShowWithSix(Station);
  Main->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(Main));
  Main->lvPlaylist->setFocus();
  Main->lvPlaylist->SelectRow(0);
  QTest::keyClick(Main->lvPlaylist, Qt::Key_Delete);
  ASSERT_TRUE(WaitFor([&] { return !RequestsFor(*Station, QStringLiteral("delete")).isEmpty(); }));
  EXPECT_EQ(Str(Field(RequestsFor(*Station, QStringLiteral("delete"))[0], QStringLiteral("pos"))),
            "1");
}

TEST_F(TEdits, FailedEditsShowTheErrorTextAndDoNotRefresh)
{
  TStationServer* Station;
  TMainFrm* Main = ShowWithSix(Station);
  Main->lvPlaylist->SelectRow(2);

  const struct
  {
    int Status;
    QByteArray Body;
    const char* Shown;
  } Cases[] = {{200, "ok", "ok"},
               {403, "Access denied", "Access denied"},
               {500, "Cannot store the voice track", "Cannot store the voice track"},
               {502, "", "HTTP 502 Bad Gateway"}};
  for (const auto& Case : Cases) {
    Boxes.Calls.clear();
    Station->ClearRequests();
    Station->SetFixedReplyFor(QStringLiteral("delete"), Case.Status, Case.Body);
    Main->btDeleteClick();
    ASSERT_TRUE(WaitFor([&] { return !Boxes.Calls.isEmpty(); }));
    ASSERT_TRUE(Settled());
    EXPECT_EQ(Str(Boxes.Calls[0].Text), Case.Shown);
    EXPECT_EQ(Str(Boxes.Calls[0].Caption), "Error");
    EXPECT_EQ(Boxes.Calls[0].Flags, MB_ICONERROR);
    // Only the look-up before the delete; no refresh after it.
    EXPECT_EQ(RequestsFor(*Station, QStringLiteral("getplaylist2")).size(), 1);
  }

  // A station that cannot be reached: the network's own words.
  Boxes.Calls.clear();
  const quint16 Port = Station->Port();
  Station->Stop();
  Main->lvPlaylistDragDrop(4);
  ASSERT_TRUE(WaitFor([&] { return !Boxes.Calls.isEmpty(); }));
  EXPECT_EQ(Str(Boxes.Calls[0].Text),
            Str(QStringLiteral("The playlist could not be fetched to find the entry. Nothing was "
                               "moved.\n\nStation not reachable at 127.0.0.1:%1 (connection "
                               "refused)")
                    .arg(Port)));
  EXPECT_EQ(Str(Boxes.Calls[0].Caption), "Error");
}

TEST_F(TEdits, DropSwapsTheRowsAtOnceAndSendsTheMove)
{
  TStationServer* Station;
  TMainFrm* Main = ShowWithSix(Station);
  Station->SetReplyDelay(300);
  Main->lvPlaylist->SelectRow(0);
  Main->lvPlaylistDragDrop(3);
  // Before the station has answered, the two rows have traded places.
  EXPECT_EQ(Str(Cell(Main, 0, TPlaylistModel::colTitle)), "Artist 4 - Song 4");
  EXPECT_EQ(Str(Cell(Main, 3, TPlaylistModel::colTitle)), "Artist 1 - Song 1");

  // The refresh after the move shows the station's order: entry 1 moved to position 4.
  ASSERT_TRUE(WaitFor([&] {
    return !RequestsFor(*Station, QStringLiteral("getplaylist2")).isEmpty() &&
           TAPI::LiveCount() == 0;
  }));
  const QList<TStationRequest> Moves = RequestsFor(*Station, QStringLiteral("move"));
  ASSERT_EQ(Moves.size(), 1);
  EXPECT_EQ(Str(Field(Moves[0], QStringLiteral("pos1"))), "1");
  EXPECT_EQ(Str(Field(Moves[0], QStringLiteral("pos2"))), "4");
  const QStringList Expected = {"Artist 2 - Song 2", "Artist 3 - Song 3", "Artist 4 - Song 4",
                                "Artist 1 - Song 1"};
  for (int Row = 0; Row < 4; ++Row)
    EXPECT_EQ(Str(Cell(Main, Row, TPlaylistModel::colTitle)), Str(Expected[Row]));

  // A drop onto the row itself still sends a move.
  Station->SetReplyDelay(0);
  Station->ClearRequests();
  Main->lvPlaylist->SelectRow(2);
  Main->lvPlaylistDragDrop(2);
  ASSERT_TRUE(WaitFor([&] { return !RequestsFor(*Station, QStringLiteral("move")).isEmpty(); }));
  EXPECT_EQ(Str(Field(RequestsFor(*Station, QStringLiteral("move"))[0], QStringLiteral("pos2"))),
            "3");
}

TEST_F(TEdits, TheGridTakesADropOnlyWithOneSelectedRow)
{
  TStationServer* Station;
  TMainFrm* Main = ShowWithSix(Station);
  TVirtualTreePlaylist* Grid = Main->lvPlaylist;
  QWidget* Viewport = Grid->viewport();
  const QPoint OnRow4 = Grid->visualRect(Main->Model()->index(4, 2)).center();
  std::unique_ptr<QMimeData> Data(Main->Model()->mimeData({Main->Model()->index(1, 0)}));

  const auto DragOver = [&] {
    QDragEnterEvent Enter(OnRow4, Qt::MoveAction, Data.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(Viewport, &Enter);
    QDragMoveEvent Event(OnRow4, Qt::MoveAction, Data.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(Viewport, &Event);
    return Enter.isAccepted() && Event.isAccepted();
  };

  Grid->SelectRow(1);
  Grid->SelectRow(2, true);
  Grid->SelectRow(3, true);
  EXPECT_FALSE(DragOver());
  Grid->SelectRow(1);
  EXPECT_TRUE(DragOver());

  // Data that is not a row of this program is refused whatever the selection.
  QMimeData Foreign;
  Foreign.setText(QStringLiteral("1"));
  QDragMoveEvent ForeignEvent(OnRow4, Qt::MoveAction, &Foreign, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(Viewport, &ForeignEvent);
  EXPECT_FALSE(ForeignEvent.isAccepted());

  // The drop itself goes to the move.
  QDropEvent Drop(OnRow4, Qt::MoveAction, Data.get(), Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(Viewport, &Drop);
  ASSERT_TRUE(WaitFor([&] { return !RequestsFor(*Station, QStringLiteral("move")).isEmpty(); }));
  const TStationRequest Move = RequestsFor(*Station, QStringLiteral("move"))[0];
  EXPECT_EQ(Str(Field(Move, QStringLiteral("pos1"))), "2");
  EXPECT_EQ(Str(Field(Move, QStringLiteral("pos2"))), "5");
}

TEST_F(TEdits, DraggingNearTheEdgeScrollsTheGridUpAndDownOnly)
{
  TStationServer& Station = StartStation(Entries(80));
  ConnectTo(Station);
  TMainFrm* Main = ShowMainWindow();
  ASSERT_TRUE(WaitFor([&] { return Main->Model()->rowCount() == 80; }));
  TVirtualTreePlaylist* Grid = Main->lvPlaylist;
  Grid->header()->resizeSection(2, 2000); // wide enough to scroll sideways too
  Grid->SelectRow(0);
  std::unique_ptr<QMimeData> Data(Main->Model()->mimeData({Main->Model()->index(0, 0)}));
  const QPoint NearBottom(Grid->viewport()->width() - 2, Grid->viewport()->height() - 2);
  QDragEnterEvent Enter(NearBottom, Qt::MoveAction, Data.get(), Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(Grid->viewport(), &Enter);
  QDragMoveEvent Move(NearBottom, Qt::MoveAction, Data.get(), Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(Grid->viewport(), &Move);
  ASSERT_TRUE(Move.isAccepted());
  const int Horizontal = Grid->horizontalScrollBar()->value();
  ASSERT_TRUE(WaitFor([&] { return Grid->verticalScrollBar()->value() >= 3; }, 5000));
  EXPECT_EQ(Grid->horizontalScrollBar()->value(), Horizontal);

  // Leaving the grid stops it.
  QDragLeaveEvent Leave;
  QCoreApplication::sendEvent(Grid->viewport(), &Leave);
  const int Stopped = Grid->verticalScrollBar()->value();
  QTest::qWait(200);
  EXPECT_EQ(Grid->verticalScrollBar()->value(), Stopped);
}

TEST_F(TEdits, UploadGoesRightAfterTheSelectedEntry)
{
  TStationServer* Station;
  TMainFrm* Main = ShowWithSix(Station);
  NextFile = WriteFile(QStringLiteral("VT 01.flac"), TinyFlac());
  Main->lvPlaylist->SelectRow(3);
  Station->SetReplyDelay(400);
  Main->btInsertClick();

  // The dialog opens in the voice-track folder and offers FLAC files.
  EXPECT_EQ(DialogCount, 1);
  EXPECT_EQ(Str(DialogFolder), Str(Folder() + QStringLiteral("VoiceTracks")));
  EXPECT_EQ(Str(DialogFilter), "FLAC (*.flac)");
  // The progress shows while the form is on its way.
  EXPECT_TRUE(WaitFor([&] { return Main->UploadStatus->isVisibleTo(Main); }));

  ASSERT_TRUE(WaitFor([&] { return Main->Model()->rowCount() == 7; }));
  ASSERT_TRUE(Settled());
  EXPECT_FALSE(Main->UploadStatus->isVisibleTo(Main));
  const QList<TStationRequest> Uploads = RequestsFor(*Station, QStringLiteral("vexmo"));
  ASSERT_EQ(Uploads.size(), 1);
  EXPECT_EQ(Str(Uploads[0].Method), "POST");
  EXPECT_EQ(Str(Field(Uploads[0], QStringLiteral("pos"))), "5");
  EXPECT_EQ(Str(Field(Uploads[0], QStringLiteral("fn"))), "VT 01.flac");
  EXPECT_EQ(QByteArray::fromBase64(Field(Uploads[0], QStringLiteral("vt")).toLatin1()), TinyFlac());
  EXPECT_EQ(Str(Cell(Main, 4, TPlaylistModel::colTitle)), "VT 01");
  EXPECT_EQ(Str(Main->StatusPanel->text()),
            "Voice track 'VT 01.flac' inserted after 'Artist 4 - Song 4'");
  EXPECT_TRUE(Boxes.Calls.isEmpty());
}

TEST_F(TEdits, UploadProblemsAreReported)
{
  TStationServer* Station;
  TMainFrm* Main = ShowWithSix(Station);

  // No row selected: a warning, and no dialog.
  Main->btInsertClick();
  ASSERT_EQ(Boxes.Calls.size(), 1);
  EXPECT_EQ(Str(Boxes.Calls[0].Text), "Plase select a track in the playlist");
  EXPECT_EQ(Str(Boxes.Calls[0].Caption), "Error");
  EXPECT_EQ(Boxes.Calls[0].Flags, MB_ICONWARNING);
  EXPECT_EQ(DialogCount, 0);

  // The dialog cancelled: nothing happens.
  Main->lvPlaylist->SelectRow(0);
  Boxes.Calls.clear();
  NextFile.clear();
  Main->btInsertClick();
  EXPECT_EQ(DialogCount, 1);
  EXPECT_TRUE(Boxes.Calls.isEmpty());

  // A file that cannot be read: its error, and nothing sent.
  NextFile = Folder() + QStringLiteral("gone.flac");
  Main->btInsertClick();
  ASSERT_TRUE(WaitFor([&] { return !Boxes.Calls.isEmpty(); }));
  ASSERT_EQ(Boxes.Calls.size(), 1);
  EXPECT_NE(Boxes.Calls[0].Text.indexOf(QStringLiteral("gone.flac")), -1)
      << Str(Boxes.Calls[0].Text);
  EXPECT_EQ(Boxes.Calls[0].Flags, MB_ICONERROR);
  EXPECT_FALSE(Main->UploadStatus->isVisibleTo(Main));

  // The station refuses the file: its answer.
  Boxes.Calls.clear();
  ASSERT_TRUE(Settled());
  Station->ClearRequests();
  NextFile = WriteFile(QStringLiteral("broken.flac"), "not a flac file");
  Main->btInsertClick();
  ASSERT_TRUE(WaitFor([&] { return !Boxes.Calls.isEmpty(); }));
  EXPECT_EQ(Str(Boxes.Calls[0].Text), "broken.flac: not a FLAC file");
  EXPECT_EQ(Boxes.Calls[0].Flags, MB_ICONERROR);
  ASSERT_TRUE(Settled());
  EXPECT_FALSE(Main->UploadStatus->isVisibleTo(Main));
  EXPECT_EQ(RequestsFor(*Station, QStringLiteral("vexmo")).size(), 1);
  // The look-up before the upload, and no refresh after the failure.
  EXPECT_EQ(RequestsFor(*Station, QStringLiteral("getplaylist2")).size(), 1);
}

} // namespace
