// TPresetManager on real menus and real files: the default entry, the delete events and what a
// load hands to its handler.
#include "stage_window_fixture.h"

#include "base/ini_file.h"
#include "dsp_ui/preset_manager.h"
#include "support/message_box_recorder.h"

#include <QDir>
#include <QFile>

namespace {

class PresetManagerTest : public TStageWindowTest
{
protected:
  void SetUp() override
  {
    TStageWindowTest::SetUp();
    Folder = DataFolder + QStringLiteral("Presets/Compressor/");
    ASSERT_TRUE(QDir().mkpath(Folder));
  }

  void Make(const QString& AName)
  {
    ASSERT_TRUE(TIniFile(Folder + AName + QStringLiteral(".cmp"))
                    .WriteString(QStringLiteral("Compressor"), QStringLiteral("Settings"),
                                 QStringLiteral("00")));
  }

  QString Folder;
  QMenu LoadMenu;
  QMenu DelMenu;
  QObject Owner;
};

TEST_F(PresetManagerTest, DefaultEntryAndLoads)
{
  Make(QStringLiteral("One"));
  // Files of another kind are not listed.
  ASSERT_TRUE(TIniFile(Folder + "Other.eqp").WriteString("Equalizer", "Settings", "00"));
  QList<QPair<QObject*, QString>> Loads;
  TPresetManager Manager(
      Folder, &LoadMenu, &DelMenu, &Owner,
      [&Loads](QObject* ASender, const QString& AFileName) {
        Loads.append({ASender, AFileName});
      },
      QStringLiteral("cmp"));
  Manager.SetIncludeDefaultPreset(true);
  Manager.UpdateMenus();
  EXPECT_EQ(Captions(&LoadMenu), (QStringList{"(Default)", "-", "One"}));
  EXPECT_EQ(Captions(&DelMenu), QStringList{"One"});

  LoadMenu.actions().at(0)->trigger();
  Entry(&LoadMenu, "One")->trigger();
  ASSERT_EQ(Loads.size(), 2);
  EXPECT_EQ(Loads[0].first, LoadMenu.actions().at(0));
  EXPECT_EQ(Loads[0].second, "");
  EXPECT_EQ(Loads[1].second, Folder + "One.cmp");

  // Rebuilding does not pile up entries.
  Manager.SetDefaultPresetCaption(QStringLiteral("Flat"));
  Manager.UpdateMenus();
  EXPECT_EQ(Captions(&LoadMenu), (QStringList{"Flat", "-", "One"}));
}

TEST_F(PresetManagerTest, DeleteAskedFirstAndReported)
{
  Make(QStringLiteral("Keep"));
  TPresetManager Manager(Folder, &LoadMenu, &DelMenu, &Owner, {}, QStringLiteral("cmp"));
  bool Allow = false;
  QStringList Deleted;
  Manager.SetOnBeforeDeletePreset([&Allow](QObject*, bool& AAllow) { AAllow = Allow; });
  Manager.SetOnDeletePreset(
      [&Deleted](QObject*, const QString& AFileName) { Deleted.append(AFileName); });
  Manager.UpdateMenus();

  // No load handler: choosing an entry does nothing.
  Entry(&LoadMenu, "Keep")->trigger();

  Entry(&DelMenu, "Keep")->trigger();
  EXPECT_TRUE(QFile::exists(Folder + "Keep.cmp"));
  EXPECT_TRUE(Deleted.isEmpty());

  Allow = true;
  TMessageBoxRecorder Boxes;
  Entry(&DelMenu, "Keep")->trigger();
  EXPECT_FALSE(QFile::exists(Folder + "Keep.cmp"));
  EXPECT_EQ(Deleted, QStringList{Folder + "Keep.cmp"});
  EXPECT_TRUE(Boxes.Calls.isEmpty());
  EXPECT_EQ(Captions(&DelMenu), QStringList{"(no presets)"});
  EXPECT_FALSE(DelMenu.actions().first()->isEnabled());
}

TEST_F(PresetManagerTest, EntriesLeaveTheMenusWithTheManager)
{
  Make(QStringLiteral("A"));
  {
    TPresetManager Manager(Folder, &LoadMenu, &DelMenu, &Owner, {}, QStringLiteral("cmp"));
    Manager.UpdateMenus();
    EXPECT_EQ(LoadMenu.actions().size(), 1);
  }
  EXPECT_TRUE(LoadMenu.actions().isEmpty());
  EXPECT_TRUE(DelMenu.actions().isEmpty());
}

} // namespace
