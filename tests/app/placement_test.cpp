// Window placement and the column layout: survival across a restart, the rules of restoring a
// stored layout, and the first start.
#include "app/column_layout.h"
#include "app/kel_pos_save.h"
#include "app_fixture.h"
#include "base/ini_file.h"
#include "settings/my_columns.h"
#include "ui_common/screen_utils.h"

#include <QFile>
#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>

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
  EXPECT_EQ(Restored->sectionSize(2), 222);
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
  EXPECT_EQ(First->lvPlaylist->header()->sectionSize(2), ScaleForDpi(300));
  CloseAndDestroy(First);

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
  EXPECT_EQ(Second->lvPlaylist->header()->sectionSize(2), ScaleForDpi(300));
  CloseAndDestroy(Second);
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
