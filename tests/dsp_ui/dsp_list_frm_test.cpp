// The add-DSP dialog with the build's real plug-ins: the catalogue, the family switches and the
// question before one goes off, Refresh list, the VST folder change rule; the plug-in folders
// dialog with its folder picker and file manager links; the confirm check box.
#include "chain_ui_fixture.h"

#include "dsp_ui/dsp_list_frm.h"
#include "dsp_ui/kel_confirm_check_box.h"
#include "dsp_ui/link_button.h"
#include "dsp_ui/plugin_folders_frm.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <algorithm>

using namespace chainui;

namespace {

const QString EchoRow = QStringLiteral("(DSP) Echo [dsp_echo.so]");
const QString TremoloRow = QStringLiteral("(DSP) Tremolo [dsp_tremolo.so]");
const QString TestGainRow = QStringLiteral("(VST) Vexmo Vexmo Test Gain [vexmo_testgain.so]");
const QStringList BuiltInRows = {"Equalizer", "Compressor", "Gain"};

class TDSPListFrmTest : public TChainUiTest
{
protected:
  void SetUp() override
  {
    TChainUiTest::SetUp();
    Dialog = std::make_unique<TDSPListFrm>();
  }

  void TearDown() override
  {
    Dialog.reset();
    TChainUiTest::TearDown();
  }

  QStringList CatalogueRows() const
  {
    QStringList Rows;
    const QAbstractItemModel* Model = Dialog->ListView1->model();
    for (int i = 0; i < Model->rowCount(); ++i)
      Rows.append(Model->index(i, 0).data().toString());
    return Rows;
  }

  // A copy of our test plug-in in a folder of the test's own, under AName.
  void CopyTestGain(const QTemporaryDir& AFolder, const QString& AName)
  {
    ASSERT_TRUE(QFile::copy(TestGainPath(), AFolder.path() + QLatin1Char('/') + AName));
  }

  // Opens the plug-in folders dialog the way the user does.
  TPluginFoldersFrm* OpenFolders()
  {
    Dialog->Button3->click();
    return Dialog->PluginFoldersDialog();
  }

  std::unique_ptr<TDSPListFrm> Dialog;
};

TEST_F(TDSPListFrmTest, TheCatalogueListsBuiltInsThenWinampThenVSTPlugins)
{
  struct TCase
  {
    bool Winamp;
    bool Vst;
    QStringList Plugins;
  };
  const TCase Cases[] = {
      {false, false, {}},
      {true, false, {EchoRow, TremoloRow}},
      {false, true, {TestGainRow}},
      {true, true, {EchoRow, TremoloRow, TestGainRow}},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(testing::Message() << Case.Winamp << Case.Vst);
    Settings.SetAllowWinampPlugins(Case.Winamp);
    Settings.SetAllowVstPlugins(Case.Vst);
    Dialog = std::make_unique<TDSPListFrm>();
    EXPECT_FALSE(Dialog->Init());
    Dialog->show();
    EXPECT_TRUE(Dialog->Init());
    EXPECT_EQ(Dialog->Label45->isChecked(), Case.Winamp);
    EXPECT_EQ(Dialog->chVstplugins->isChecked(), Case.Vst);

    const QStringList Rows = CatalogueRows();
    ASSERT_GE(Rows.size(), 3);
    EXPECT_EQ(Rows.mid(0, 3), BuiltInRows);
    // Winamp DSP plug-ins in the order the folder lists them, then the VST ones.
    QStringList Plugins = Rows.mid(3);
    const qsizetype WinampCount = Case.Winamp ? 2 : 0;
    std::sort(Plugins.begin(), Plugins.begin() + WinampCount);
    EXPECT_EQ(Plugins, Case.Plugins);
    EXPECT_TRUE(Boxes.Calls.isEmpty());
  }

  // The chosen row is the catalogue's entry, with what the chain needs to run it.
  Dialog->ListView1->setCurrentIndex(Dialog->ListView1->model()->index(5, 0));
  Dialog->Button1->click();
  ASSERT_NE(Dialog->SelectedDSP, nullptr);
  EXPECT_EQ(Dialog->SelectedDSP->T(), dspPlugin);
  EXPECT_EQ(Dialog->SelectedDSP->PluginType(), ptVST);
  EXPECT_EQ(Dialog->SelectedDSP->PluginPath(), TestGainPath());
  EXPECT_EQ(Dialog->result(), QDialog::Accepted);
}

TEST_F(TDSPListFrmTest, TurningAFamilyOffAsksAndThenStopsItsStages)
{
  struct TCase
  {
    bool Vst;
    QString Question;
    QString Caption;
  };
  const TCase Cases[] = {
      {false, "All Winamp DSP plugins will be stopped. Are you sure?", "Turn off Winamp plugins"},
      {true, "All VST plugins will be stopped. Are you sure?", "Turn off VST plugins"},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Caption.toStdString());
    List.Clear();
    Boxes.Calls.clear();
    Settings.SetAllowWinampPlugins(true);
    Settings.SetAllowVstPlugins(true);
    Dialog = std::make_unique<TDSPListFrm>();
    Dialog->show();
    TKelConfirmCheckBox* Switch = Case.Vst ? Dialog->chVstplugins : Dialog->Label45;
    const QString PluginRow = Case.Vst ? TestGainRow : EchoRow;
    ASSERT_TRUE(CatalogueRows().contains(PluginRow));

    // A running stage of the family, added from the catalogue as the chain editor does.
    TDSPItemC* Stage = List.Add();
    Dialog->L()->Items(CatalogueRows().indexOf(PluginRow))->AssignTo(Stage);
    Frame->UpdateDSPListView();
    ToggleRow(0);
    ASSERT_EQ(Stage->State(), psActive);
    ASSERT_NE(Stage->H, 0u);

    Boxes.QueueAnswer(IDCANCEL);
    Switch->click();
    ASSERT_EQ(Boxes.Calls.size(), 1);
    EXPECT_EQ(Boxes.Calls[0].Text, Case.Question);
    EXPECT_EQ(Boxes.Calls[0].Caption, Case.Caption);
    EXPECT_EQ(Boxes.Calls[0].Flags, MB_ICONWARNING | MB_OKCANCEL);
    EXPECT_TRUE(Switch->isChecked());
    EXPECT_NE(Stage->H, 0u);
    EXPECT_TRUE(CatalogueRows().contains(PluginRow));

    Boxes.QueueAnswer(IDOK);
    Switch->click();
    EXPECT_FALSE(Switch->isChecked());
    EXPECT_FALSE(Case.Vst ? Settings.AllowVstPlugins() : Settings.AllowWinampPlugins());
    EXPECT_EQ(Stage->H, 0u);
    const QStringList Rows = CatalogueRows();
    EXPECT_EQ(Rows.mid(0, 3), BuiltInRows);
    EXPECT_TRUE(
        Rows.filter(Case.Vst ? QStringLiteral("(VST)") : QStringLiteral("(DSP)")).isEmpty());
    // The other family stays listed.
    EXPECT_EQ(Rows.size(), 3 + (Case.Vst ? 2 : 1)) << Rows.join(" | ").toStdString();
    // The stage keeps its mark and is drawn grey in the chain editor.
    EXPECT_EQ(Stage->State(), psActive);
    EXPECT_TRUE(RowGrey(0));

    // Turning it on again asks nothing and lists the family again.
    Switch->click();
    EXPECT_EQ(Boxes.Calls.size(), 2);
    EXPECT_TRUE(Switch->isChecked());
    EXPECT_TRUE(CatalogueRows().contains(PluginRow));
    EXPECT_FALSE(RowGrey(0));
  }
}

TEST_F(TDSPListFrmTest, RefreshFindsANewPluginOnlyAfterTheSwitchWentOffAndOn)
{
  QTemporaryDir Folder;
  CopyTestGain(Folder, QStringLiteral("first.so"));
  Settings.SetVSTFolder({Folder.path()});
  Settings.SetAllowVstPlugins(true);
  Dialog->show();
  EXPECT_EQ(CatalogueRows().filter(QStringLiteral("(VST)")).size(), 1);

  CopyTestGain(Folder, QStringLiteral("second.so"));
  Dialog->Button4->click();
  EXPECT_EQ(CatalogueRows().filter(QStringLiteral("(VST)")).size(), 1);

  Dialog->chVstplugins->click();
  Dialog->chVstplugins->click();
  EXPECT_EQ(CatalogueRows().filter(QStringLiteral("(VST)")).size(), 2);
}

TEST_F(TDSPListFrmTest, TheScanShowsABusyCursorAndLeavesNoneBehind)
{
  QTemporaryDir Folder;
  CopyTestGain(Folder, QStringLiteral("gain.so"));
  ASSERT_TRUE(QFile::copy(QStringLiteral(VEXMO_VST_FIXTURES_DIR "libcrashes.so"),
                          Folder.path() + QStringLiteral("/crashes.so")));
  Settings.SetVSTFolder({Folder.path()});
  Settings.SetAllowVstPlugins(true);
  // The scan's report of the file it left out comes while the scan is still on.
  QList<int> CursorsDuringBoxes;
  const TMessageBoxHandler Previous =
      SetMessageBoxHandler([&](const QString&, const QString&, int AFlags) {
        const QCursor* Cursor = QApplication::overrideCursor();
        CursorsDuringBoxes.append(Cursor ? int(Cursor->shape()) : -1);
        return DefaultMessageBoxAnswer(AFlags);
      });
  Dialog->show();
  SetMessageBoxHandler(Previous);
  EXPECT_EQ(CatalogueRows().filter(QStringLiteral("(VST)")).size(), 1);
  EXPECT_EQ(CursorsDuringBoxes, QList<int>{int(Qt::WaitCursor)});
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(TDSPListFrmTest, AnotherVSTFolderIsSearchedAfterOKAndTheSameOneIsNot)
{
  QTemporaryDir First;
  QTemporaryDir Second;
  CopyTestGain(First, QStringLiteral("first.so"));
  CopyTestGain(Second, QStringLiteral("second.so"));
  CopyTestGain(Second, QStringLiteral("third.so"));
  // Stored with blanks: the dialog shows the trimmed text.
  const QString FirstFolder = First.path() + QStringLiteral("/");
  Settings.SetVSTFolder({QStringLiteral("  ") + FirstFolder + QStringLiteral(" ")});
  Settings.SetAllowVstPlugins(true);
  Dialog->show();
  EXPECT_EQ(CatalogueRows().filter(QStringLiteral("(VST)")).size(), 1);

  // OK without a change: no new search, so a plug-in dropped in meanwhile stays unseen.
  CopyTestGain(First, QStringLiteral("late.so"));
  TPluginFoldersFrm* Folders = OpenFolders();
  ASSERT_NE(Folders, nullptr);
  EXPECT_TRUE(Folders->isVisible());
  EXPECT_EQ(Folders->Edit2->text(), FirstFolder);
  Folders->Button3->click();
  EXPECT_EQ(Settings.VSTFolder(), QStringList{FirstFolder});
  EXPECT_EQ(CatalogueRows().filter(QStringLiteral("(VST)")).size(), 1);

  // A running VST stage stops when the folder changes.
  SwitchVSTOn();
  TDSPItemC* Stage = AddPlugin(ptVST, TestGainPath());
  Frame->UpdateDSPListView();
  ToggleRow(0);
  ASSERT_NE(Stage->H, 0u);

  // Another folder, picked with "...".
  Folders = OpenFolders();
  ASSERT_NE(Folders, nullptr);
  PickedFolder = Second.path();
  Folders->Button2->click();
  EXPECT_EQ(PickerStarts, QStringList{FirstFolder});
  EXPECT_EQ(Folders->Edit2->text(), Second.path());
  Folders->Button3->click();
  EXPECT_EQ(Settings.VSTFolder(), QStringList{Second.path() + QStringLiteral("/")});
  EXPECT_TRUE(Settings.AllowVstPlugins());
  EXPECT_EQ(Stage->H, 0u);
  const QStringList VstRows = CatalogueRows().filter(QStringLiteral("(VST)"));
  ASSERT_EQ(VstRows.size(), 2);
  EXPECT_TRUE(VstRows[0].endsWith(QStringLiteral("[second.so]")) ||
              VstRows[0].endsWith(QStringLiteral("[third.so]")));
  EXPECT_TRUE(Boxes.Calls.isEmpty());
}

TEST_F(TDSPListFrmTest, ThePluginFoldersDialogStoresOnlyOnOK)
{
  Settings.SetVSTFolder({QStringLiteral("/opt/vst/")});
  Dialog->show();
  struct TCase
  {
    QString Typed;
    bool Ok;
    QString Stored;
  };
  const TCase Cases[] = {
      {"  /srv/plugins  ", true, "/srv/plugins/"},
      {"/srv/other/", false, "/srv/plugins/"},
      {"", true, "/"},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Typed.toStdString());
    QPointer<TPluginFoldersFrm> Folders = OpenFolders();
    ASSERT_TRUE(Folders);
    EXPECT_EQ(Folders->Edit1->text(), PluginFolder());
    EXPECT_TRUE(Folders->Edit1->isReadOnly());
    EXPECT_FALSE(Folders->Button1->isEnabled());
    Folders->Edit2->setText(Case.Typed);
    (Case.Ok ? Folders->Button3 : Folders->Button4)->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(Folders);
    EXPECT_EQ(Settings.VSTFolder(), QStringList{Case.Stored});
  }
}

TEST_F(TDSPListFrmTest, OpenFolderShowsTheFolderAndOffersToCreateAMissingOne)
{
  QTemporaryDir Base;
  const QString Missing = Base.path() + QStringLiteral("/new/vst");
  Dialog->show();
  TPluginFoldersFrm* Folders = OpenFolders();
  ASSERT_NE(Folders, nullptr);

  Folders->Label27->click();
  EXPECT_EQ(OpenedFolders, QStringList{PluginFolder()});
  EXPECT_TRUE(Boxes.Calls.isEmpty());

  struct TCase
  {
    int Answer;
    bool Created;
  };
  for (const TCase& Case : {TCase{IDNO, false}, TCase{IDYES, true}}) {
    SCOPED_TRACE(Case.Answer);
    Boxes.Calls.clear();
    OpenedFolders.clear();
    Boxes.QueueAnswer(Case.Answer);
    Folders->Edit2->setText(QStringLiteral(" ") + Missing);
    Folders->Label2->click();
    ASSERT_EQ(Boxes.Calls.size(), 1);
    EXPECT_EQ(Boxes.Calls[0].Text, QStringLiteral("Directory does not exist, create?"));
    EXPECT_EQ(Boxes.Calls[0].Caption, QStringLiteral("Create directory"));
    EXPECT_EQ(Boxes.Calls[0].Flags, MB_ICONQUESTION | MB_YESNO);
    EXPECT_EQ(QDir(Missing).exists(), Case.Created);
    // The file manager opens on the path either way.
    EXPECT_EQ(OpenedFolders, QStringList{Missing});
  }

  // An existing folder is simply shown.
  Boxes.Calls.clear();
  OpenedFolders.clear();
  Folders->Label2->click();
  EXPECT_TRUE(Boxes.Calls.isEmpty());
  EXPECT_EQ(OpenedFolders, QStringList{Missing});

  // The links are reached with the keyboard and say which folder they open.
  OpenedFolders.clear();
  Folders->Label27->setFocus();
  QTest::keyClick(Folders->Label27, Qt::Key_Space);
  QTest::keyClick(Folders->Label27, Qt::Key_Return);
  EXPECT_EQ(OpenedFolders, QStringList({PluginFolder(), PluginFolder()}));
  EXPECT_NE(Folders->Label27->accessibleDescription(), Folders->Label2->accessibleDescription());
  EXPECT_EQ(Folders->Label27->text(), QStringLiteral("open folder"));
}

TEST(TKelConfirmCheckBoxTest, TheHandlerDecidesEveryChangeTheUserMakes)
{
  struct TCase
  {
    const char* Name;
    bool HasHandler;
    bool Allow;
    bool Changes;
  };
  const TCase Cases[] = {
      {"no handler", false, false, true},
      {"allowed", true, true, true},
      {"refused", true, false, false},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    TKelConfirmCheckBox Box(QStringLiteral("Switch"));
    Box.show();
    int Asked = 0;
    bool SeenChecked = true;
    if (Case.HasHandler)
      Box.SetOnBeforeChange([&](QObject* ASender, bool& AAllow) {
        ++Asked;
        EXPECT_EQ(ASender, &Box);
        EXPECT_TRUE(AAllow);
        SeenChecked = Box.isChecked();
        AAllow = Case.Allow;
      });
    int Toggles = 0;
    QObject::connect(&Box, &QCheckBox::toggled, [&Toggles] { ++Toggles; });

    QTest::mouseClick(&Box, Qt::LeftButton);
    EXPECT_EQ(Box.isChecked(), Case.Changes);
    // The handler sees the mark as it was.
    EXPECT_FALSE(SeenChecked && Case.HasHandler);
    Box.setFocus();
    QTest::keyClick(&Box, Qt::Key_Space);
    EXPECT_FALSE(Box.isChecked());
    EXPECT_EQ(Toggles, Case.Changes ? 2 : 0);
    EXPECT_EQ(Asked, Case.HasHandler ? 2 : 0);

    // The program sets the mark without asking.
    Box.setChecked(true);
    EXPECT_TRUE(Box.isChecked());
    EXPECT_EQ(Asked, Case.HasHandler ? 2 : 0);
  }
}

} // namespace
