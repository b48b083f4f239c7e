// Window placement and the column layout: survival across a restart, the rules of restoring a
// stored layout, and the first start.
#include "app/column_layout.h"
#include "app/kel_pos_save.h"
#include "app_fixture.h"
#include "base/ini_file.h"
#include "settings/my_columns.h"
#include "ui_common/screen_utils.h"

#include "api/start_time.h"

#include <QFile>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QScreen>
#include <memory>

namespace {

struct TColumnSpec
{
  int Width;
  int Pos;
  bool Visible;
};

void Fill(TMyColumns& AColumns, const QList<TColumnSpec>& ASpecs)
{
  AColumns.Clear();
  for (const TColumnSpec& Spec : ASpecs) {
    TMyColumn* Item = AColumns.Add();
    Item->SetWidth(Spec.Width);
    Item->SetPos(Spec.Pos);
    Item->SetVisible(Spec.Visible);
  }
}

QList<int> DisplayOrder(const QHeaderView* AHeader)
{
  QList<int> Order;
  for (int V = 0; V < AHeader->count(); ++V)
    Order << AHeader->logicalIndex(V);
  return Order;
}

class TPlacement : public TAppFixture
{};

TEST_F(TPlacement, RestoringAStoredLayoutFollowsItsRules)
{
  const QList<int> Designed = {60, 90, 300, 60};
  const struct
  {
    const char* Name;
    QList<TColumnSpec> Stored;
    bool Applied;
    QList<int> Order; // logical columns from left to right
    int MainColumn;   // the tree position after restoring
    int ItemsAfter;   // the collection after restoring
  } Cases[] = {
      {"reverse",
       {{10, 3, true}, {20, 2, true}, {30, 1, true}, {40, 0, true}},
       true,
       {3, 2, 1, 0},
       3,
       4},
      {"position used twice",
       {{10, 0, true}, {20, 0, true}, {30, 1, true}, {40, 2, true}},
       false,
       {0, 1, 2, 3},
       1,
       4},
      {"position out of range",
       {{10, 0, true}, {20, 4, true}, {30, 1, true}, {40, 2, true}},
       false,
       {0, 1, 2, 3},
       1,
       4},
      {"negative position",
       {{10, -1, true}, {20, 1, true}, {30, 2, true}, {40, 3, true}},
       false,
       {0, 1, 2, 3},
       1,
       4},
      {"more columns than the grid",
       {{10, 0, true}, {20, 1, true}, {30, 2, true}, {40, 3, true}, {50, 4, true}},
       false,
       {0, 1, 2, 3},
       1,
       5},
      // Two stored columns: the third and fourth are completed at their own positions.
      {"short layout", {{70, 1, true}, {80, 0, true}}, true, {1, 0, 2, 3}, 1, 4},
      {"first column hidden",
       {{10, 0, false}, {20, 1, true}, {30, 2, true}, {40, 3, true}},
       true,
       {0, 1, 2, 3},
       1,
       4},
      {"empty", {}, true, {0, 1, 2, 3}, 0, 4},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    TPlaylistModel Model;
    TVirtualTreePlaylist Grid;
    Grid.SetPlaylistModel(&Model);
    for (int I = 0; I < 4; ++I)
      Grid.header()->resizeSection(I, Designed[I]);
    Grid.setTreePosition(1);
    TMyColumns Columns;
    Fill(Columns, Case.Stored);

    EXPECT_EQ(RestoreColumnLayout(&Grid, Columns), Case.Applied);
    EXPECT_EQ(DisplayOrder(Grid.header()), Case.Order);
    EXPECT_EQ(Grid.treePosition(), Case.MainColumn);
    EXPECT_EQ(Columns.Count(), Case.ItemsAfter);
    if (!Case.Applied) {
      for (int I = 0; I < 4; ++I)
        EXPECT_EQ(Grid.header()->sectionSize(I), Designed[I]);
    }
  }
}

TEST_F(TPlacement, ACompletedLayoutTakesTheGridsOwnColumns)
{
  TPlaylistModel Model;
  TVirtualTreePlaylist Grid;
  Grid.SetPlaylistModel(&Model);
  Grid.header()->resizeSection(2, 300);
  Grid.header()->hideSection(3);
  TMyColumns Columns;
  Fill(Columns, {{70, 1, true}, {80, 0, true}});
  ASSERT_TRUE(RestoreColumnLayout(&Grid, Columns));
  EXPECT_EQ(Columns.Items(2)->Pos(), 2);
  EXPECT_EQ(Columns.Items(2)->Width(), 300);
  EXPECT_TRUE(Columns.Items(2)->Visible());
  EXPECT_EQ(Columns.Items(3)->Pos(), 3);
  EXPECT_FALSE(Columns.Items(3)->Visible());
  EXPECT_EQ(Grid.header()->sectionSize(0), 70);
  EXPECT_EQ(Grid.header()->sectionSize(1), 80);
}

// Widths too small to see a column by, and layouts that would leave nothing to click.
TEST_F(TPlacement, EveryColumnThatCanBeShownHasAUsableWidth)
{
  const struct
  {
    const char* Name;
    QList<TColumnSpec> Stored;
    QList<bool> Visible;
  } Cases[] = {
      {"shown with no width",
       {{0, 0, true}, {0, 1, true}, {-3, 2, true}, {1, 3, true}},
       {true, true, true, true}},
      {"hidden with no width",
       {{40, 0, true}, {0, 1, false}, {200, 2, true}, {0, 3, false}},
       {true, false, true, false}},
      {"every column hidden",
       {{40, 0, false}, {80, 1, false}, {200, 2, false}, {50, 3, false}},
       {true, true, true, true}},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    TPlaylistModel Model;
    TVirtualTreePlaylist Grid;
    Grid.SetPlaylistModel(&Model);
    SetUpPlaylistColumns(&Grid);
    QHeaderView* Header = Grid.header();
    QList<int> Designed;
    for (int I = 0; I < 4; ++I)
      Designed << Header->sectionSize(I);
    TMyColumns Columns;
    Fill(Columns, Case.Stored);
    ASSERT_TRUE(RestoreColumnLayout(&Grid, Columns));

    for (int I = 0; I < 4; ++I) {
      SCOPED_TRACE(I);
      EXPECT_EQ(!Header->isSectionHidden(I), Case.Visible[I]);
      if (Header->isSectionHidden(I)) {
        // Shown from the header's menu, as the user does.
        std::unique_ptr<QMenu> Menu(Grid.CreateHeaderMenu(nullptr));
        QAction* Show = Menu->actions().value(Header->visualIndex(I));
        ASSERT_NE(Show, nullptr);
        Show->trigger();
        EXPECT_FALSE(Header->isSectionHidden(I));
      }
      EXPECT_GE(Header->sectionSize(I), Header->minimumSectionSize());
      // A stored width that could not be used gives way to the designed one.
      if (Case.Stored[I].Width < Header->minimumSectionSize())
        EXPECT_GE(Header->sectionSize(I), Designed[I]);
    }
  }
}

TEST_F(TPlacement, TheLastVisibleColumnCannotBeHidden)
{
  TPlaylistModel Model;
  TVirtualTreePlaylist Grid;
  Grid.SetPlaylistModel(&Model);
  TMyColumns Columns;
  Fill(Columns, {{40, 0, false}, {80, 1, false}, {200, 2, true}, {50, 3, false}});
  ASSERT_TRUE(RestoreColumnLayout(&Grid, Columns));
  std::unique_ptr<QMenu> Menu(Grid.CreateHeaderMenu(nullptr));
  QAction* Title = Menu->actions().value(2);
  ASSERT_NE(Title, nullptr);
  EXPECT_TRUE(Title->isChecked());
  EXPECT_FALSE(Title->isEnabled());
  Title->trigger();
  EXPECT_FALSE(Grid.header()->isSectionHidden(2));
}

// The entry on air is drawn bold: its texts must fit the designed widths, here in a format with
// AM and PM, the widest there is.
TEST_F(TPlacement, TheOnAirRowFitsItsColumnsInBold)
{
  const QLocale Locale(QLocale::English, QLocale::UnitedStates);
  const TStartTimeFormat Format(Locale);
  TPlaylist List;
  for (const char* Time : {"11:59:59", "23:59:59", "10:08:08", "20:08:08"})
    List.push_back({QStringLiteral("Artist - Title"), QStringLiteral("1:08:08"),
                    Format.Format(QString::fromLatin1(Time))});
  ASSERT_TRUE(List.front().StartTime.contains(QLatin1String("AM")));
  TPlaylistModel Model;
  Model.SetList(&List);
  Model.RebuildRows();
  // The width the view needs to show every cell of a column uncut.
  struct TProbe : TVirtualTreePlaylist
  {
    using TVirtualTreePlaylist::sizeHintForColumn;
  } Grid;
  Grid.SetPlaylistModel(&Model);
  SetUpPlaylistColumns(&Grid, Locale);
  for (int Playing = 1; Playing <= int(List.size()); ++Playing) {
    SCOPED_TRACE(Playing);
    Model.SetPlayingPos(Playing);
    for (int Column :
         {TPlaylistModel::colPosition, TPlaylistModel::colStartTime, TPlaylistModel::colDuration}) {
      SCOPED_TRACE(Column);
      EXPECT_LE(Grid.sizeHintForColumn(Column), Grid.header()->sectionSize(Column));
    }
  }
}

TEST_F(TPlacement, TheTitleColumnTakesTheSpareWidth)
{
  TPlaylistModel Model;
  TVirtualTreePlaylist Grid;
  Grid.SetPlaylistModel(&Model);
  SetUpPlaylistColumns(&Grid);
  QHeaderView* Header = Grid.header();
  const int Own = Header->sectionSize(TPlaylistModel::colTitle);
  const auto Total = [Header] {
    int Sum = 0;
    for (int I = 0; I < Header->count(); ++I)
      Sum += Header->isSectionHidden(I) ? 0 : Header->sectionSize(I);
    return Sum;
  };
  Grid.resize(Total() + 200, 300);
  Grid.show();
  ASSERT_TRUE(WaitFor([&] { return Grid.viewport()->width() > Total() - Own; }));

  // Wider: the title fills the grid; the other columns keep their widths.
  const int Start = Header->sectionSize(TPlaylistModel::colStartTime);
  Grid.resize(Grid.width() + 150, 300);
  EXPECT_EQ(Total(), Grid.viewport()->width());
  EXPECT_GT(Header->sectionSize(TPlaylistModel::colTitle), Own);
  EXPECT_EQ(Header->sectionSize(TPlaylistModel::colStartTime), Start);
  // A column hidden gives its width to the title, shown again takes it back.
  Header->hideSection(TPlaylistModel::colDuration);
  EXPECT_EQ(Total(), Grid.viewport()->width());
  Header->showSection(TPlaylistModel::colDuration);
  EXPECT_EQ(Total(), Grid.viewport()->width());
  // Narrower than the columns need: the title returns to its own width, not less.
  Grid.resize(Total() - Header->sectionSize(TPlaylistModel::colTitle) + Own - 100, 300);
  EXPECT_EQ(Header->sectionSize(TPlaylistModel::colTitle), Own);

  // The user's width for the title is what is kept, not what the window lent it.
  Grid.resize(2000, 300);
  Header->resizeSection(TPlaylistModel::colTitle, Own + 40);
  TMyColumns Columns;
  SaveColumnLayout(Header, Columns);
  EXPECT_EQ(Columns.Items(TPlaylistModel::colTitle)->Width(), Own + 40);
  Grid.resize(Total() + 500, 300);
  SaveColumnLayout(Header, Columns);
  EXPECT_EQ(Columns.Items(TPlaylistModel::colTitle)->Width(), Own + 40);
}

TEST_F(TPlacement, PlacementAndColumnsSurviveARestart)
{
  TMainFrm* First = ShowMainWindow();
  First->move(40, 30);
  First->resize(700, 380);
  QHeaderView* Header = First->lvPlaylist->header();
  Header->moveSection(Header->visualIndex(2), 0); // title leftmost
  Header->resizeSection(2, 222);
  Header->hideSection(1); // start time hidden, with its width kept
  const int HiddenWidth = ScaleForDpi(90);
  const QPoint Client = First->geometry().topLeft();
  CloseAndDestroy(First);

  // windowpos.ini: the five keys in the section with the empty name; the rectangle is the
  // client area's, inside whatever frame the window has.
  const TIniFile Ini(Folder() + QStringLiteral("windowpos.ini"));
  EXPECT_EQ(Ini.ReadInteger(QString(), QStringLiteral("X"), -1), Client.x());
  EXPECT_EQ(Ini.ReadInteger(QString(), QStringLiteral("Y"), -1), Client.y());
  EXPECT_EQ(Ini.ReadInteger(QString(), QStringLiteral("W"), -1), 700);
  EXPECT_EQ(Ini.ReadInteger(QString(), QStringLiteral("H"), -1), 380);
  EXPECT_EQ(Ini.ReadInteger(QString(), QStringLiteral("S"), -1), 0);
  // settings.ini, written when the window was destroyed, carries the layout.
  QFile SettingsFile(Folder() + QStringLiteral("settings.ini"));
  ASSERT_TRUE(SettingsFile.open(QIODevice::ReadOnly));
  const QByteArray Text = SettingsFile.readAll();
  EXPECT_TRUE(Text.contains("Width = 222")) << Text.constData();
  EXPECT_TRUE(Text.contains("Visible = False")) << Text.constData();
  EXPECT_TRUE(Text.contains("TLS = False")) << Text.constData();
  EXPECT_FALSE(Text.contains("Server")) << Text.constData();

  // A new run: fresh settings objects read the files again.
  delete Settings;
  Settings = new TSettings;
  TMainFrm* Second = ShowMainWindow();
  EXPECT_EQ(Second->pos(), QPoint(40, 30));
  EXPECT_EQ(Second->size(), QSize(700, 380));
  QHeaderView* Restored = Second->lvPlaylist->header();
  EXPECT_EQ(DisplayOrder(Restored), (QList<int>{2, 0, 1, 3}));
  EXPECT_TRUE(Restored->isSectionHidden(1));
  // The title's own width, widened by the window's spare width.
  EXPECT_GE(Restored->sectionSize(2), 222);
  EXPECT_EQ(Restored->sectionSize(0) + Restored->sectionSize(2) + Restored->sectionSize(3),
            Second->lvPlaylist->viewport()->width());
  EXPECT_EQ(Second->lvPlaylist->treePosition(), 2);
  Restored->showSection(1);
  EXPECT_EQ(Restored->sectionSize(1), HiddenWidth);
}

TEST_F(TPlacement, AMaximisedWindowOpensMaximisedAgain)
{
  TMainFrm* First = ShowMainWindow();
  First->resize(650, 400);
  First->showMaximized();
  ASSERT_TRUE(WaitFor([&] { return First->isMaximized(); }));
  CloseAndDestroy(First);
  const TIniFile Ini(Folder() + QStringLiteral("windowpos.ini"));
  EXPECT_EQ(Ini.ReadInteger(QString(), QStringLiteral("S"), -1), 1);
  // The size to return to when the window is restored.
  EXPECT_EQ(Ini.ReadInteger(QString(), QStringLiteral("W"), -1), 650);

  TMainFrm* Second = ShowMainWindow();
  EXPECT_TRUE(Second->isMaximized());
  Second->showNormal();
  ASSERT_TRUE(WaitFor([&] { return !Second->isMaximized(); }));
  EXPECT_EQ(Second->width(), 650);
}

TEST_F(TPlacement, FirstStartKeepsTheDesignAndABadStoredLayoutIsReplaced)
{
  // First start: designed size, designed columns, "#" becomes the main column.
  TMainFrm* First = ShowMainWindow();
  EXPECT_EQ(First->size(), QSize(ScaleForDpi(624), ScaleForDpi(435)));
  EXPECT_EQ(First->lvPlaylist->treePosition(), 0);
  EXPECT_GE(First->lvPlaylist->header()->sectionSize(2), ScaleForDpi(300));
  CloseAndDestroy(First);
  EXPECT_EQ(Settings->PlaylistCols().Items(2)->Width(), ScaleForDpi(300));

  // A layout using one position twice is ignored, and the next close stores the real one.
  delete Settings;
  Settings = new TSettings;
  Settings->Read();
  Fill(Settings->PlaylistCols(), {{10, 0, true}, {20, 0, true}, {30, 1, true}, {40, 2, true}});
  Settings->Save();
  delete Settings;
  Settings = new TSettings;
  TMainFrm* Second = ShowMainWindow();
  EXPECT_EQ(DisplayOrder(Second->lvPlaylist->header()), (QList<int>{0, 1, 2, 3}));
  EXPECT_GE(Second->lvPlaylist->header()->sectionSize(2), ScaleForDpi(300));
  CloseAndDestroy(Second);
  EXPECT_EQ(Settings->PlaylistCols().Items(2)->Width(), ScaleForDpi(300));
  for (int I = 0; I < 4; ++I)
    EXPECT_EQ(Settings->PlaylistCols().Items(I)->Pos(), I);
}

TEST_F(TPlacement, AWindowStoredOffEveryScreenIsCentred)
{
  TIniFile Ini(Folder() + QStringLiteral("windowpos.ini"));
  ASSERT_TRUE(Ini.WriteInteger(QString(), QStringLiteral("X"), 20000));
  ASSERT_TRUE(Ini.WriteInteger(QString(), QStringLiteral("Y"), 20000));
  ASSERT_TRUE(Ini.WriteInteger(QString(), QStringLiteral("W"), 520));
  ASSERT_TRUE(Ini.WriteInteger(QString(), QStringLiteral("H"), 300));
  TMainFrm* Main = ShowMainWindow();
  const QRect Screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_TRUE(Screen.intersects(Main->frameGeometry()));
  // Centred by its size before it had a frame; the frame may add a few pixels.
  EXPECT_LE(qAbs(Main->frameGeometry().center().x() - Screen.center().x()), 4);
  EXPECT_LE(qAbs(Main->frameGeometry().center().y() - Screen.center().y()), 16);
}

TEST_F(TPlacement, AStoredSizeLargerThanTheScreenIsFittedIntoIt)
{
  const QRect Area = QGuiApplication::primaryScreen()->availableGeometry();
  const struct
  {
    const char* Name;
    QRect Stored;
  } Cases[] = {
      {"on the screen", {Area.x() + 50, Area.y() + 40, Area.width() * 3, Area.height() * 2}},
      {"partly off it", {Area.right() - 100, Area.y() + 10, 400, Area.height() + 300}},
      {"on no screen", {20000, 20000, Area.width() + 500, Area.height() + 500}},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    TIniFile Ini(Folder() + QStringLiteral("windowpos.ini"));
    ASSERT_TRUE(Ini.WriteInteger(QString(), QStringLiteral("X"), Case.Stored.x()));
    ASSERT_TRUE(Ini.WriteInteger(QString(), QStringLiteral("Y"), Case.Stored.y()));
    ASSERT_TRUE(Ini.WriteInteger(QString(), QStringLiteral("W"), Case.Stored.width()));
    ASSERT_TRUE(Ini.WriteInteger(QString(), QStringLiteral("H"), Case.Stored.height()));
    TMainFrm* Main = ShowMainWindow();
    const QRect Frame = Main->frameGeometry();
    EXPECT_TRUE(Area.contains(Frame));
    // As large as stored where the screen has room, frame included.
    EXPECT_EQ(Main->width(),
              qMin(Case.Stored.width(), Area.width() - (Frame.width() - Main->width())));
    EXPECT_EQ(Main->height(),
              qMin(Case.Stored.height(), Area.height() - (Frame.height() - Main->height())));
    CloseAndDestroy(Main);
  }
}

TEST_F(TPlacement, PlacementIsNotWrittenBeforeItWasRestored)
{
  QWidget Window;
  TKelPosSave Saver(&Window);
  Saver.SetIniFileName(Folder() + QStringLiteral("pos.ini"));
  Saver.SavePos();
  EXPECT_FALSE(QFile::exists(Folder() + QStringLiteral("pos.ini")));
  Saver.SetKey(QStringLiteral("Other"));
  Saver.RestorePos();
  Saver.SavePos();
  const TIniFile Ini(Folder() + QStringLiteral("pos.ini"));
  EXPECT_TRUE(Ini.ValueExists(QStringLiteral("Other"), QStringLiteral("W")));
  EXPECT_FALSE(Ini.SectionExists(QString()));
}

} // namespace
