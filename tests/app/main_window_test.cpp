// The main window's controls, the recorder launch, the DSP window and the settings dialog.
#include "app/app_hooks.h"
#include "app/startup.h"
#include "app_fixture.h"
#include "dsp_ui/mic_dsp_frm.h"
#include "settings_ui/settings_frm.h"
#include "ui_common/common_images.h"
#include "ui_common/screen_utils.h"

#include <QAccessible>
#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>

namespace {

class TMainWindow : public TAppFixture
{};

TEST_F(TMainWindow, ToolBarButtonsCarryTheirHintsImagesAndNames)
{
  TMainFrm* Main = ShowMainWindow();
  const struct
  {
    QToolButton* Button;
    const char* Hint;
    const char* Image;
    const char* AccessibleName;
  } Buttons[] = {
      {Main->btRecord, "Record voice track (Ctrl+R)", "record broadcast ", "Record voice track"},
      {Main->btInsert, "Insert voice track (Ins)", "insert", "Insert voice track"},
      {Main->btDelete, "Delete track (Del)", "Delete", "Delete track"},
      {Main->btDSP, "Microphone DSP chain (Ctrl+D)", "FX", "Microphone DSP"},
      {Main->btSettings, "Settings (Ctrl+,)", "settings", "Settings"},
  };
  int Left = -1;
  for (const auto& Item : Buttons) {
    SCOPED_TRACE(Item.Hint);
    EXPECT_EQ(Str(Item.Button->toolTip()), Item.Hint);
    EXPECT_EQ(Str(Item.Button->accessibleName()), Item.AccessibleName);
    EXPECT_TRUE(Item.Button->text().isEmpty() ||
                Item.Button->toolButtonStyle() == Qt::ToolButtonIconOnly);
    // The button shows the collection's drawing of that name.
    const QImage Shown = Item.Button->icon().pixmap(30, 30).toImage();
    EXPECT_EQ(Shown, CommonImage(QString::fromLatin1(Item.Image)).pixmap(30, 30).toImage());
    EXPECT_GT(Item.Button->x(), Left); // left to right in this order
    Left = Item.Button->x();
  }
  // Three groups: a wider gap before Delete and before DSP.
  const auto Gap = [](QWidget* A, QWidget* B) { return B->x() - (A->x() + A->width()); };
  EXPECT_EQ(Gap(Main->btRecord, Main->btInsert), 3);
  EXPECT_EQ(Gap(Main->btInsert, Main->btDelete), 6);
  EXPECT_EQ(Gap(Main->btDelete, Main->btDSP), 6);
  EXPECT_EQ(Gap(Main->btDSP, Main->btSettings), 3);

  EXPECT_EQ(Str(Main->windowTitle()), "Vexmo");
  EXPECT_EQ(Str(Main->lvPlaylist->accessibleName()), "Playlist");
  QAccessibleInterface* Grid = QAccessible::queryAccessibleInterface(Main->lvPlaylist);
  ASSERT_NE(Grid, nullptr);
  EXPECT_EQ(Str(Grid->text(QAccessible::Name)), "Playlist");
  // Tab order: record, insert, delete, settings, DSP.
  EXPECT_EQ(Main->btDelete->nextInFocusChain(), Main->btSettings);
  EXPECT_EQ(Main->btSettings->nextInFocusChain(), Main->btDSP);

  QStringList Captions;
  for (int I = 0; I < TPlaylistModel::ColumnCount; ++I)
    Captions << Main->Model()->headerData(I, Qt::Horizontal).toString();
  EXPECT_EQ(Captions, (QStringList{"#", "Start Time", "Track Title", "Duration"}));
}

TEST_F(TMainWindow, MouseSelectsRowsAndAPressOnEmptySpaceClearsThem)
{
  TStationServer& Station = StartStation(Entries(3));
  ConnectTo(Station);
  TMainFrm* Main = ShowMainWindow();
  ASSERT_TRUE(WaitFor([&] { return Main->Model()->rowCount() == 3; }));
  TVirtualTreePlaylist* Grid = Main->lvPlaylist;
  QWidget* Viewport = Grid->viewport();
  const auto RowPoint = [&](int ARow) {
    return Grid->visualRect(Main->Model()->index(ARow, 2)).center();
  };
  EXPECT_EQ(Grid->Delegate()->RowHeight(), QFontMetrics(Grid->font()).height() + ScaleForDpi(8));

  QTest::mouseClick(Viewport, Qt::LeftButton, Qt::NoModifier, RowPoint(0));
  QTest::mouseClick(Viewport, Qt::LeftButton, Qt::ControlModifier, RowPoint(2));
  EXPECT_EQ(Grid->SelectedRows(), (QList<int>{0, 2}));

  const QPoint Empty(RowPoint(2).x(), Viewport->height() - 3);
  ASSERT_FALSE(Grid->indexAt(Empty).isValid());
  QTest::mouseClick(Viewport, Qt::LeftButton, Qt::ControlModifier, Empty);
  EXPECT_FALSE(Grid->SelectedRows().isEmpty());
  QTest::mouseClick(Viewport, Qt::LeftButton, Qt::NoModifier, Empty);
  EXPECT_TRUE(Grid->SelectedRows().isEmpty());

  // A right click selects too.
  QTest::mouseClick(Viewport, Qt::RightButton, Qt::NoModifier, RowPoint(1));
  EXPECT_EQ(Grid->SelectedRows(), (QList<int>{1}));
}

TEST_F(TMainWindow, HeaderMenuHidesColumnsButNeverTheLastOne)
{
  TMainFrm* Main = ShowMainWindow();
  QHeaderView* Header = Main->lvPlaylist->header();
  std::unique_ptr<QMenu> Menu(Main->lvPlaylist->CreateHeaderMenu(nullptr));
  ASSERT_EQ(Menu->actions().size(), 4);
  Menu->actions()[1]->trigger(); // "Start Time"
  EXPECT_TRUE(Header->isSectionHidden(1));
  Menu->actions()[1]->trigger();
  EXPECT_FALSE(Header->isSectionHidden(1));

  for (int I : {0, 1, 2})
    Header->hideSection(I);
  Menu.reset(Main->lvPlaylist->CreateHeaderMenu(nullptr));
  EXPECT_FALSE(Menu->actions()[3]->isEnabled());
  EXPECT_TRUE(Menu->actions()[0]->isEnabled());
}

TEST_F(TMainWindow, RecordStartsTheRecorderFromTheProgramFolder)
{
  // A stand-in recorder that notes its arguments; the program folder has a blank in its name.
  ASSERT_NE(Folder().indexOf(QLatin1Char(' ')), -1);
  const QString Script = Folder() + QStringLiteral("quillon");
  {
    QFile File(Script);
    ASSERT_TRUE(File.open(QIODevice::WriteOnly));
    File.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(dirname \"$0\")/recorder-args.txt\"\n");
  }
  QFile::setPermissions(Script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  TMainFrm* Main = ShowMainWindow();
  Main->btRecordClick();
  QFile Args(Folder() + QStringLiteral("recorder-args.txt"));
  ASSERT_TRUE(WaitFor([&] { return Args.exists() && Args.size() > 0; }));
  ASSERT_TRUE(Args.open(QIODevice::ReadOnly));
  EXPECT_EQ(Args.readAll(), QByteArray("-vexmo\n"));

  EXPECT_TRUE(Boxes.Calls.isEmpty());

  // Without a recorder the user is told where it was looked for.
  QFile::remove(Script);
  Main->btRecordClick();
  ASSERT_EQ(Boxes.Calls.size(), 1);
  EXPECT_EQ(Str(Boxes.Calls[0].Text),
            Str(QStringLiteral("The recorder was not found in ") + QDir::cleanPath(Folder())));
  EXPECT_EQ(Boxes.Calls[0].Flags, MB_ICONWARNING);
}

TEST_F(TMainWindow, TheDSPWindowIsMadeAtFirstShowingAndOpenedByItsButton)
{
  const TMicDSPWindowFactory Previous = SetMicDSPWindowFactory(nullptr);
  const TPluginSetupHook PreviousSetup = SetPluginSetupHook(nullptr);
  InstallWindowHooks();
  // The plug-in layer keeps what SetupPlugins gives it for the whole process; without it, it
  // uses the settings objects of the moment, which is what a test wants.
  SetPluginSetupHook(nullptr);
  TMainFrm* Main = ShowMainWindow();
  auto* Window = qobject_cast<TMicDSPFrm*>(Main->MicDSPWindow());
  ASSERT_NE(Window, nullptr);
  EXPECT_FALSE(Window->isVisible());
  Main->btDSPClick();
  EXPECT_TRUE(Window->isVisible());
  EXPECT_TRUE(Window->isModal());
  Window->accept();
  EXPECT_FALSE(Window->isVisible());
  // Closing it writes player.ini; the window stays for the next use.
  EXPECT_TRUE(QFile::exists(Folder() + QStringLiteral("player.ini")));
  EXPECT_EQ(Main->MicDSPWindow(), Window);
  SetMicDSPWindowFactory(Previous);
  SetPluginSetupHook(PreviousSetup);
}

TEST_F(TMainWindow, SettingsDialogOpensModallyAndItsValuesAreUsedByTheNextTick)
{
  TStationServer& Station = StartStation(Entries(2));
  TMainFrm* Main = ShowMainWindow();
  ASSERT_TRUE(WaitForRefresh(Main));
  ASSERT_EQ(Main->Model()->rowCount(), 0);

  Main->btSettingsClick();
  TSettingsFrm* Dialog = Main->findChild<TSettingsFrm*>();
  ASSERT_NE(Dialog, nullptr);
  EXPECT_TRUE(Dialog->isVisible());
  EXPECT_TRUE(Dialog->isModal());
  const auto Edit = [Dialog](const char* AName) {
    return Dialog->findChild<QLineEdit*>(QLatin1String(AName));
  };
  ASSERT_TRUE(Edit("edServer") && Edit("edUser") && Edit("edPass"));
  Edit("edServer")->setText(QStringLiteral("127.0.0.1"));
  Edit("edUser")->setText(QStringLiteral("demo"));
  Edit("edPass")->setText(QStringLiteral("demo"));
  auto* Port = Dialog->findChild<QSpinBox*>(QStringLiteral("nbPort"));
  ASSERT_NE(Port, nullptr);
  Port->setValue(Station.Port());
  auto* OK = Dialog->findChild<QPushButton*>(QStringLiteral("btOK"));
  ASSERT_NE(OK, nullptr);
  OK->click();
  ASSERT_TRUE(WaitFor([&] { return Main->findChild<TSettingsFrm*>() == nullptr; }));

  // Nothing is refreshed when it closes; the next tick uses the new values.
  EXPECT_EQ(Main->Model()->rowCount(), 0);
  Main->tmrMainTimer();
  ASSERT_TRUE(WaitFor([&] { return Main->Model()->rowCount() == 2; }));
  EXPECT_EQ(Str(Settings->Server()), "127.0.0.1");
}

} // namespace
