// The microphone DSP window over real settings files in a temporary data folder: what it is made
// of, player.ini written on every way of closing it, and the three windows translating
// themselves from the language file.
#include "base/data_folders.h"
#include "base/localisation.h"
#include "dsp/dsp_manager.h"
#include "dsp/plugins.h"
#include "dsp/vst_binding.h"
#include "dsp_ui/dsp_list_frm.h"
#include "dsp_ui/dsp_manager_fr.h"
#include "dsp_ui/gain_dsp_frm.h"
#include "dsp_ui/l_bar.h"
#include "dsp_ui/link_button.h"
#include "dsp_ui/mic_dsp_frm.h"
#include "dsp_ui/plugin_folders_frm.h"
#include "dsp_ui/stage_windows.h"
#include "settings/player_ini.h"
#include "settings/system_ini.h"
#include "support/message_box_recorder.h"
#include "ui_common/translate_form.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListView>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

// A portable program folder of the test's own (no uid.ini), which is then also the data folder.
class TMicDSPFrmTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    ASSERT_TRUE(FFolder.isValid());
    Folder = FFolder.path() + QLatin1Char('/');
    InitProgramFolder(Folder);
    InitDataFolder();
    ASSERT_EQ(DataFolder(), Folder);
    FOldLanguage = LanguageDir();
    SetupPlugins(&System, Folder, Folder + QStringLiteral("Plugins/"), 0, QString(), {}, {});
  }

  void TearDown() override
  {
    SetupPlugins(nullptr, QString(), QString(), 0, QString(), {}, {});
    SetLanguageDir(FOldLanguage);
    InitProgramFolder(QStringLiteral(VEXMO_BIN_DIR));
    InitDataFolder();
  }

  static void AddStage(TDSPItemsC& AList, TIntDSPKind AKind, const QString& AName,
                       TPluginState AState)
  {
    TDSPItemC* Item = AList.Add();
    Item->SetT(dspIntegrated);
    Item->SetIntDSPKind(AKind);
    Item->SetDispName(AName);
    Item->SetState(AState);
  }

  static QStringList Rows(const TMicDSPFrm& AFrm)
  {
    QStringList Names;
    const QAbstractItemModel* Model = AFrm.DSPManagerFr()->lDSP->model();
    for (int i = 0; i < Model->rowCount(); ++i)
      Names.append(Model->index(i, 0).data().toString());
    return Names;
  }

  QString Folder;
  TMessageBoxRecorder Boxes;
  TPlayerIni Player;
  TSystemIni System;

private:
  QTemporaryDir FFolder;
  QString FOldLanguage;
};

TEST_F(TMicDSPFrmTest, TheWindowEditsThePlayerSettingsChainThroughAManagerNamedMic)
{
  AddStage(Player.MicDSPList(), dspEqualizer, QStringLiteral("Equalizer"), psActive);
  AddStage(Player.MicDSPList(), dspGain, QStringLiteral("Gain"), psOff);

  struct TCase
  {
    bool ScreenReader;
    bool TextUI;
  };
  for (const TCase& Case : {TCase{false, true}, TCase{true, false}, TCase{true, true}}) {
    SCOPED_TRACE(testing::Message() << Case.ScreenReader << Case.TextUI);
    System.SetScreenReaderMode(Case.ScreenReader);
    System.SetScreenReaderVSTTextUI(Case.TextUI);
    TMicDSPFrm Frm(nullptr, &Player, &System);
    EXPECT_EQ(Frm.windowTitle(), QStringLiteral("DSP"));
    ASSERT_NE(Frm.DSPManager(), nullptr);
    EXPECT_EQ(Frm.DSPManager()->Name(), QStringLiteral("Mic"));
    EXPECT_EQ(Frm.DSPManager()->DSPList(), &Player.MicDSPList());
    EXPECT_TRUE(DSPManagers().contains(Frm.DSPManager()));
    EXPECT_EQ(Frm.DSPManagerFr()->objectName(), QStringLiteral("MicDSPManagerFrame"));
    EXPECT_EQ(Frm.DSPManagerFr()->DSPManager(), Frm.DSPManager());
    EXPECT_EQ(Frm.DSPManagerFr()->VSTUseTextUI(), Case.ScreenReader && Case.TextUI);
    // Filled before it is first shown; showing starts nothing.
    EXPECT_EQ(Rows(Frm), QStringList({"Equalizer", "Gain"}));
    Frm.show();
    EXPECT_EQ(Player.MicDSPList().Items(0)->IntDsp, nullptr);
  }
  // The chain outlives the window; the manager is gone with it.
  EXPECT_EQ(Player.MicDSPList().Count(), 2);
  EXPECT_TRUE(DSPManagers().isEmpty());
}

TEST_F(TMicDSPFrmTest, LongPluginNamesShowWhole)
{
  TDSPItemC* Item = Player.MicDSPList().Add();
  Item->SetT(dspPlugin);
  Item->SetPluginType(ptVST);
  Item->SetDispName(QStringLiteral("(VST) A Vendor With A Long Name Some Effect [some_effect.so]"));
  TMicDSPFrm Frm(nullptr, &Player, &System);
  const int DesignWidth = Frm.width();
  Frm.show();
  QListView* View = Frm.DSPManagerFr()->lDSP;
  EXPECT_GT(Frm.width(), DesignWidth);
  EXPECT_GE(View->viewport()->width(), View->sizeHintForColumn(0));
}

TEST_F(TMicDSPFrmTest, ClosingTheWindowWritesPlayerIniWithEveryEdit)
{
  enum TClose
  {
    ByOK,
    ByTitleBar,
    ByEscape
  };
  for (TClose How : {ByOK, ByTitleBar, ByEscape}) {
    SCOPED_TRACE(static_cast<int>(How));
    QFile::remove(TPlayerIni::FileName());
    QFile::remove(TPlayerIni::FileName() + QStringLiteral(".bak"));
    Player.MicDSPList().Clear();
    QWidget Main;
    auto* Frm = new TMicDSPFrm(&Main, &Player, &System);
    Main.show();
    // The way the main window's DSP button shows it: modal to the main window only, so the
    // stage windows (top-level windows of their own) still take input.
    Frm->open();
    EXPECT_EQ(Frm->windowModality(), Qt::WindowModal);
    ASSERT_TRUE(Frm->isVisible());

    // An edit: a stage appended and ticked.
    AddStage(Player.MicDSPList(), dspCompressor, QStringLiteral("Compressor"), psOff);
    Frm->DSPManagerFr()->UpdateDSPListView();
    QListView* View = Frm->DSPManagerFr()->lDSP;
    View->setCurrentIndex(View->model()->index(0, 0));
    QTest::keyClick(View, Qt::Key_Space);
    ASSERT_EQ(Player.MicDSPList().Items(0)->State(), psActive);
    EXPECT_FALSE(QFileInfo::exists(TPlayerIni::FileName()));

    switch (How) {
    case ByOK:
      Frm->Button1->click();
      break;
    case ByTitleBar:
      Frm->close();
      break;
    case ByEscape:
      QTest::keyClick(Frm, Qt::Key_Escape);
      break;
    }
    // Hidden, not destroyed.
    EXPECT_FALSE(Frm->isVisible());
    ASSERT_TRUE(QFileInfo::exists(TPlayerIni::FileName()));
    EXPECT_TRUE(QFileInfo::exists(TPlayerIni::FileName() + QStringLiteral(".bak")));
    TPlayerIni Stored;
    Stored.Read();
    ASSERT_EQ(Stored.MicDSPList().Count(), 1);
    EXPECT_EQ(Stored.MicDSPList().Items(0)->DispName(), QStringLiteral("Compressor"));
    EXPECT_EQ(Stored.MicDSPList().Items(0)->IntDSPKind(), dspCompressor);
    EXPECT_EQ(Stored.MicDSPList().Items(0)->State(), psActive);

    // Closing again without a change writes again.
    QFile::remove(TPlayerIni::FileName());
    Frm->open();
    Frm->Button1->click();
    EXPECT_TRUE(QFileInfo::exists(TPlayerIni::FileName()));
    EXPECT_TRUE(Boxes.Calls.isEmpty());
    // Stop what the tick started while the chain still exists.
    Player.MicDSPList().Items(0)->SetState(psOff);
    Frm->DSPManager()->StopDSP(0);
  }
}

// What player.ini holds for the first stage right now.
QStringList StoredParams()
{
  TPlayerIni Stored;
  Stored.Read();
  return Stored.MicDSPList().Count() > 0 ? Stored.MicDSPList().Items(0)->Params() : QStringList();
}

// The program's end as the real main loop goes through it.
void RunAndQuit()
{
  QTimer::singleShot(0, qApp, &QCoreApplication::quit);
  QCoreApplication::exec();
}

TEST_F(TMicDSPFrmTest, APluginsValuesReachPlayerIniOnClosingUntickingAndQuitting)
{
  const QString PreviousBridge =
      SetVSTBridgeFallbackName(QStringLiteral(VEXMO_BIN_DIR) + QStringLiteral("libbass_vst.so"));
  System.SetAllowVstPlugins(true);
  ASSERT_TRUE(BindVST()) << VSTBindError().toStdString();
  TDSPItemC* Vst = Player.MicDSPList().Add();
  Vst->SetT(dspPlugin);
  Vst->SetPluginType(ptVST);
  Vst->SetPluginPath(QStringLiteral(VEXMO_BIN_DIR) + QStringLiteral("VST/vexmo_testgain.so"));
  Vst->SetDispName(QStringLiteral("(VST) Test gain"));
  QWidget Main;
  auto* Frm = new TMicDSPFrm(&Main, &Player, &System);
  Main.show();
  Frm->open();
  QListView* View = Frm->DSPManagerFr()->lDSP;
  View->setCurrentIndex(View->model()->index(0, 0));
  QTest::keyClick(View, Qt::Key_Space);
  ASSERT_NE(Vst->H, 0u);

  // Closing the window stores what the plug-in holds now (a change made in its editor).
  ASSERT_TRUE(VST().SetParam(Vst->H, 0, 0.25f));
  Frm->Button1->click();
  EXPECT_EQ(StoredParams(), QStringList({"0.25", "0.5", "1"}));

  // Quitting with the window closed stores the later change.
  VST().SetParam(Vst->H, 1, 0.75f);
  RunAndQuit();
  EXPECT_EQ(StoredParams(), QStringList({"0.25", "0.75", "1"}));

  // Unticking keeps the values in the stage; the window's close writes them.
  Frm->open();
  VST().SetParam(Vst->H, 2, 0.125f);
  QTest::keyClick(View, Qt::Key_Space);
  EXPECT_EQ(Vst->H, 0u);
  Frm->Button1->click();
  EXPECT_EQ(StoredParams(), QStringList({"0.25", "0.75", "0.125"}));
  EXPECT_TRUE(Boxes.Calls.isEmpty());

  delete Frm;
  UnbindVST();
  SetVSTBridgeFallbackName(PreviousBridge);
}

TEST_F(TMicDSPFrmTest, StageWindowEditsAfterTheDSPWindowClosedReachPlayerIni)
{
  RegisterStageWindows();
  AddStage(Player.MicDSPList(), dspGain, QStringLiteral("Gain"), psOff);
  QWidget Main;
  auto* Frm = new TMicDSPFrm(&Main, &Player, &System);
  Main.show();
  Frm->open();
  QListView* View = Frm->DSPManagerFr()->lDSP;
  View->setCurrentIndex(View->model()->index(0, 0));
  Frm->DSPManagerFr()->btDSPConfig->click();
  QPointer<TGainDSPFrm> Gain = TGainDSPFrm::OpenWindow();
  ASSERT_TRUE(Gain);
  Frm->Button1->click();
  ASSERT_TRUE(QFileInfo::exists(TPlayerIni::FileName()));

  // The gain window stays open; its edit is written when it closes.
  Gain->cpGain->SetValue(4);
  EXPECT_NE(StoredParams(), QStringList({"4"}));
  Gain->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_FALSE(Gain);
  EXPECT_EQ(StoredParams(), QStringList({"4"}));

  // A window still open when the program ends: its edit is written at the end.
  Frm->DSPManagerFr()->btDSPConfig->click();
  Gain = TGainDSPFrm::OpenWindow();
  ASSERT_TRUE(Gain);
  Gain->cpGain->SetValue(-2);
  RunAndQuit();
  EXPECT_EQ(StoredParams(), QStringList({"-2"}));

  // Nothing changed since: the end writes nothing.
  QFile::remove(TPlayerIni::FileName());
  RunAndQuit();
  EXPECT_FALSE(QFileInfo::exists(TPlayerIni::FileName()));
  TGainDSPFrm::CloseOpen();
  EXPECT_TRUE(Boxes.Calls.isEmpty());
  delete Frm;
}

TEST_F(TMicDSPFrmTest, TheWindowsTranslateThemselvesFromTheLanguageFile)
{
  ASSERT_TRUE(QDir().mkpath(Folder + QStringLiteral("Lang/Xx")));
  QFile Lang(Folder + QStringLiteral("Lang/Xx/lang.ini"));
  ASSERT_TRUE(Lang.open(QIODevice::WriteOnly));
  Lang.write("[TranslationStrings]\n"
             "cancel=Abbrechen\n"
             "[MicDSP.Captions]\n"
             "@=Mikrofon\n"
             "Button1=Fertig\n"
             "[DSPAdd.Captions]\n"
             "@=DSP hinzuf\xc3\xbcgen\n"
             "Button4=Liste aktualisieren\n"
             "[PluginFolders.Captions]\n"
             "Label2=Ordner \xc3\xb6"
             "ffnen\n");
  Lang.close();
  SetLanguageDir(QStringLiteral("Xx"));
  // The dialogs reach the translation through the plug-in layer's hooks, as the main window
  // sets them up.
  int FormHookCalls = 0;
  SetupPlugins(
      &System, Folder, Folder + QStringLiteral("Plugins/"), 0, QString(),
      [](QObject* AForm, const QString& ASection) {
        TranslateForm(qobject_cast<QWidget*>(AForm), ASection);
      },
      [&FormHookCalls](QObject*) { ++FormHookCalls; });

  TMicDSPFrm Frm(nullptr, &Player, &System);
  Frm.show();
  EXPECT_EQ(Frm.windowTitle(), QStringLiteral("Mikrofon"));
  EXPECT_EQ(Frm.Button1->text(), QStringLiteral("Fertig"));

  Frm.DSPManagerFr()->btDSPAdd->click();
  TDSPListFrm* Add = Frm.DSPManagerFr()->AddDialog();
  ASSERT_NE(Add, nullptr);
  EXPECT_EQ(Add->windowTitle(), QStringLiteral("DSP hinzufügen"));
  EXPECT_EQ(Add->Button4->text(), QStringLiteral("Liste aktualisieren"));
  EXPECT_EQ(Add->Button2->text(), QStringLiteral("Abbrechen"));
  EXPECT_EQ(Add->Button1->text(), QStringLiteral("OK"));

  Add->Button3->click();
  TPluginFoldersFrm* Folders = Add->PluginFoldersDialog();
  ASSERT_NE(Folders, nullptr);
  EXPECT_EQ(Folders->Label2->text(), QStringLiteral("Ordner öffnen"));
  EXPECT_EQ(Folders->Label27->text(), QStringLiteral("open folder"));
  EXPECT_EQ(Folders->Button4->text(), QStringLiteral("Abbrechen"));
  EXPECT_EQ(FormHookCalls, 2);
  Folders->reject();
  Add->reject();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace
