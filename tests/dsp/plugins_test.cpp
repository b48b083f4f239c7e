// Plug-in discovery: the catalogue, the Winamp DSP and VST lists with real plug-ins, and the
// VST bridge's binding with its failures.
#include "dsp_test_support.h"

#include "dsp/plugin_probe.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cfenv>
#include <utime.h>

using namespace dsptest;

namespace {

const QString SystemVSTFolder = QStringLiteral("/usr/lib/vst/");

class TPluginsTest : public TChainTest
{
protected:
  QStringList Names(const TDSPItemsC& AList)
  {
    QStringList Result;
    for (int i = 0; i < AList.Count(); ++i)
      Result.append(AList.Items(i)->DispName());
    return Result;
  }

  const TDSPItemC* Find(const TDSPItemsC& AList, const QString& AName)
  {
    for (int i = 0; i < AList.Count(); ++i)
      if (AList.Items(i)->DispName() == AName)
        return AList.Items(i);
    return nullptr;
  }

  void UseVSTFolder(const QString& AText) { FSettings.SetVSTFolder({AText}); }

  QString Folder(const QTemporaryDir& ADir) { return ADir.path() + QLatin1Char('/'); }

  QTemporaryDir FFolder;
};

TEST_F(TPluginsTest, BothKindsOffGiveTheThreeBuiltInStages)
{
  const auto List = GetAvailableDSPs();
  ASSERT_EQ(Names(*List), QStringList({"Equalizer", "Compressor", "Gain"}));
  const TIntDSPKind Kinds[] = {dspEqualizer, dspCompressor, dspGain};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(List->Items(i)->T(), dspIntegrated);
    EXPECT_EQ(List->Items(i)->IntDSPKind(), Kinds[i]);
    EXPECT_EQ(List->Items(i)->State(), psOff);
  }
  EXPECT_EQ(WinampDSPPlugins(), nullptr);
  EXPECT_EQ(VSTPlugins(), nullptr);
  EXPECT_FALSE(VSTBound());
  EXPECT_TRUE(FBoxes.Calls.isEmpty());
}

TEST_F(TPluginsTest, WinampDSPPluginsAreListedByTheirNamesAndStayLoaded)
{
  FSettings.SetAllowWinampPlugins(true);
  // A file that is no plug-in is listed all the same, without a handle.
  ASSERT_TRUE(QFile::copy(BinDir() + "Plugins/dsp_echo.so", Folder(FFolder) + "dsp_echo.so"));
  QFile Bogus(Folder(FFolder) + "dsp_bogus.so");
  ASSERT_TRUE(Bogus.open(QIODevice::WriteOnly));
  Bogus.write("not a library");
  Bogus.close();
  ASSERT_TRUE(QDir().mkdir(Folder(FFolder) + "dsp_folder.so"));
  SetupPlugins(&FSettings, FData.path() + "/", Folder(FFolder), 0, QString(), {}, {});

  const auto List = GetAvailableDSPs();
  ASSERT_EQ(List->Count(), 5);
  const TDSPItemC* Echo = Find(*List, QStringLiteral("(DSP) Echo [dsp_echo.so]"));
  ASSERT_NE(Echo, nullptr) << Names(*List).join(" | ").toStdString();
  EXPECT_EQ(Echo->T(), dspPlugin);
  EXPECT_EQ(Echo->PluginType(), ptDSP);
  EXPECT_EQ(Echo->PluginPath(), QStringLiteral("dsp_echo.so"));
  EXPECT_NE(Echo->H, 0u);
  const TDSPItemC* Broken = Find(*List, QStringLiteral("(DSP)  [dsp_bogus.so]"));
  ASSERT_NE(Broken, nullptr) << Names(*List).join(" | ").toStdString();
  EXPECT_EQ(Broken->H, 0u);

  // Kept while switched on: the same handles, no new scan.
  const quint32 Handle = Echo->H;
  QFile::copy(BinDir() + "Plugins/dsp_tremolo.so", Folder(FFolder) + "dsp_tremolo.so");
  const auto Again = GetAvailableDSPs();
  EXPECT_EQ(Again->Count(), 5);
  EXPECT_EQ(Find(*Again, QStringLiteral("(DSP) Echo [dsp_echo.so]"))->H, Handle);

  // Off and on again: a fresh scan.
  FSettings.SetAllowWinampPlugins(false);
  EXPECT_EQ(GetAvailableDSPs()->Count(), 3);
  EXPECT_EQ(WinampDSPPlugins(), nullptr);
  FSettings.SetAllowWinampPlugins(true);
  EXPECT_NE(Find(*GetAvailableDSPs(), QStringLiteral("(DSP) Tremolo [dsp_tremolo.so]")), nullptr);
  EXPECT_TRUE(FBoxes.Calls.isEmpty());
}

TEST_F(TPluginsTest, SystemVSTPluginsAreListedWithTheNamesTheyReport)
{
  if (!QFileInfo::exists(SystemVSTFolder + "MaFreeverb-vst.so"))
    GTEST_SKIP() << "Debian's dpf-plugins-vst is not installed";
  FSettings.SetAllowVstPlugins(true);
  UseVSTFolder(QStringLiteral("  /usr/lib/vst  ")); // trimmed, "/" added
  const auto List = GetAvailableDSPs();
  EXPECT_TRUE(FBoxes.Calls.isEmpty());
  ASSERT_TRUE(VSTBound());
  const TDSPItemC* Reverb =
      Find(*List, QStringLiteral("(VST) DISTRHO MaFreeverb [MaFreeverb-vst.so]"));
  ASSERT_NE(Reverb, nullptr) << Names(*List).join(" | ").toStdString();
  EXPECT_EQ(Reverb->PluginType(), ptVST);
  EXPECT_EQ(Reverb->PluginPath(), SystemVSTFolder + "MaFreeverb-vst.so");
  EXPECT_EQ(Reverb->H, 0u);
  EXPECT_NE(Find(*List, QStringLiteral("(VST) falkTX Kars [Kars-vst.so]")), nullptr);
  // One entry per plug-in file, subfolders included: ProM.vst/ holds one, lsp-plugins/ many
  // (beside their shared library, which is no plug-in).
  QStringList Paths;
  for (int i = 3; i < List->Count(); ++i) {
    EXPECT_TRUE(List->Items(i)->DispName().startsWith("(VST) "));
    Paths.append(List->Items(i)->PluginPath());
  }
  EXPECT_EQ(Paths.removeDuplicates(), 0);
  for (const QString& File : QDir(SystemVSTFolder).entryList({"*.so"}, QDir::Files))
    EXPECT_TRUE(Paths.contains(SystemVSTFolder + File)) << File.toStdString();
  EXPECT_GT(Paths.filter(SystemVSTFolder + "lsp-plugins/").size(), 100);
  const TDSPItemC* ProM = Find(*List, QStringLiteral("(VST) DISTRHO ProM [ProM.so]"));
  ASSERT_NE(ProM, nullptr) << Names(*List).join(" | ").toStdString();
  EXPECT_EQ(ProM->PluginPath(), SystemVSTFolder + "ProM.vst/ProM.so");
}

TEST_F(TPluginsTest, SystemVSTStageKeepsItsParamsAcrossARestartOnChannelZero)
{
  if (!QFileInfo::exists(SystemVSTFolder + "MaGigaverb-vst.so"))
    GTEST_SKIP() << "Debian's dpf-plugins-vst is not installed";
  FSettings.SetAllowVstPlugins(true);
  // The one plug-in alone, so that the whole system folder is not examined for it.
  ASSERT_TRUE(
      QFile::link(SystemVSTFolder + "MaGigaverb-vst.so", Folder(FFolder) + "MaGigaverb-vst.so"));
  UseVSTFolder(Folder(FFolder));
  const auto Catalogue = GetAvailableDSPs();
  const TDSPItemC* Choice =
      Find(*Catalogue, QStringLiteral("(VST) DISTRHO MaGigaverb [MaGigaverb-vst.so]"));
  ASSERT_NE(Choice, nullptr);
  TDSPItemC* Stage = FList.Add();
  Choice->AssignTo(Stage);
  ASSERT_EQ(FManager.WorkChannel(), 0u);
  Tick(0);
  ASSERT_NE(Stage->H, 0u);
  const int Count = VST().GetParamCount(Stage->H);
  ASSERT_EQ(Count, 8);
  std::vector<float> Values;
  for (int i = 0; i < Count; ++i) {
    Values.push_back(VST().GetParam(Stage->H, i) == 0.25f ? 0.75f : 0.25f);
    VST().SetParam(Stage->H, i, Values.back());
  }
  // The plug-in may round what it is given; what it reports is what is stored and applied.
  for (int i = 0; i < Count; ++i)
    Values[i] = VST().GetParam(Stage->H, i);

  FManager.StartAllDSPs();
  ASSERT_EQ(Stage->Params().size(), Count);
  for (int i = 0; i < Count; ++i)
    EXPECT_EQ(Stage->Params().at(i).toFloat(), Values[i]) << "parameter " << i;
  ASSERT_NE(Stage->H, 0u);
  for (int i = 0; i < Count; ++i)
    EXPECT_EQ(VST().GetParam(Stage->H, i), Values[i]) << "parameter " << i;
}

TEST_F(TPluginsTest, VSTFolderScanKeepsOnlyUsablePluginsAndFollowsTheFolderSetting)
{
  const QString Dir = Folder(FFolder);
  ASSERT_TRUE(QFile::copy(BinDir() + "VST/vexmo_testgain.so", Dir + "testgain.so"));
  ASSERT_TRUE(
      QFile::copy(QStringLiteral(VEXMO_VST_FIXTURES_DIR "libnotavst.so"), Dir + "notavst.so"));
  QFile Text(Dir + "readme.so");
  ASSERT_TRUE(Text.open(QIODevice::WriteOnly));
  Text.write("hello");
  Text.close();
  ASSERT_TRUE(QDir().mkdir(Dir + "folder.so"));
  FSettings.SetAllowVstPlugins(true);

  struct TCase
  {
    QStringList Setting;
    bool Found;
  };
  const TCase Cases[] = {
      {{Dir}, true},
      {{FFolder.path()}, true}, // without a final "/"
      {{Dir, Dir}, false},      // two lines name no folder
      {{Dir + "missing/"}, false},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Setting.join('|').toStdString());
    FSettings.SetVSTFolder(Case.Setting);
    // Dropping the list (as a new folder does) lets the next catalogue scan again.
    FSettings.SetAllowVstPlugins(false);
    LoadVSTList();
    FSettings.SetAllowVstPlugins(true);
    const auto List = GetAvailableDSPs();
    if (Case.Found) {
      ASSERT_EQ(Names(*List).mid(3), QStringList({"(VST) Vexmo Vexmo Test Gain [testgain.so]"}));
      EXPECT_EQ(List->Items(3)->PluginPath(), Dir + "testgain.so");
    } else {
      EXPECT_EQ(List->Count(), 3);
    }
  }
  EXPECT_TRUE(FBoxes.Calls.isEmpty());

  // A plug-in added after the scan is not seen until the list is dropped.
  FSettings.SetVSTFolder({Dir});
  FSettings.SetAllowVstPlugins(false);
  LoadVSTList();
  FSettings.SetAllowVstPlugins(true);
  EXPECT_EQ(GetAvailableDSPs()->Count(), 4);
  ASSERT_TRUE(QFile::copy(BinDir() + "VST/vexmo_testgain.so", Dir + "second.so"));
  EXPECT_EQ(GetAvailableDSPs()->Count(), 4);
}

TEST_F(TPluginsTest, MissingOrIncompleteBridgeIsReportedOncePerSwitchingOn)
{
  struct TCase
  {
    QString ProgramFolder;
    QString Fallback;
    QString Reason;
  };
  const TCase Cases[] = {
      {Folder(FFolder), QStringLiteral("libbass_vst_nowhere.so"), QString()},
      {QStringLiteral(VEXMO_DSP_FIXTURES_DIR "incomplete/"), VSTBridgeFileName,
       QStringLiteral("Unable to locate a function (VST)")},
  };
  FSettings.SetAllowVstPlugins(true);
  UseVSTFolder(BinDir() + "VST/");
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.ProgramFolder.toStdString());
    InitProgramFolder(Case.ProgramFolder);
    SetVSTBridgeFallbackName(Case.Fallback);
    FBoxes.Calls.clear();
    auto List = GetAvailableDSPs();
    EXPECT_EQ(List->Count(), 3);
    ASSERT_EQ(FBoxes.Calls.size(), 1);
    EXPECT_EQ(FBoxes.Calls[0].Text, QStringLiteral("VST bridge load error"));
    EXPECT_EQ(FBoxes.Calls[0].Caption, QStringLiteral("Error"));
    EXPECT_EQ(FBoxes.Calls[0].Flags, 16);
    EXPECT_FALSE(VSTBound());
    if (!Case.Reason.isEmpty())
      EXPECT_EQ(VSTBindError(), Case.Reason);
    else
      EXPECT_FALSE(VSTBindError().isEmpty());
    // Opening the add dialog again: no second message, no plug-ins.
    List = GetAvailableDSPs();
    EXPECT_EQ(List->Count(), 3);
    EXPECT_EQ(FBoxes.Calls.size(), 1);
    // Switching off and on tries again.
    FSettings.SetAllowVstPlugins(false);
    LoadVSTList();
    FSettings.SetAllowVstPlugins(true);
    GetAvailableDSPs();
    EXPECT_EQ(FBoxes.Calls.size(), 2);
    FSettings.SetAllowVstPlugins(false);
    LoadVSTList();
    FSettings.SetAllowVstPlugins(true);
  }
}

TEST_F(TPluginsTest, BridgeIsFoundByPlainNameWhenTheProgramFolderLacksIt)
{
  // The test program's library path holds the build's bin/, as an installed system copy
  // would be found.
  InitProgramFolder(Folder(FFolder));
  ASSERT_TRUE(BindVST()) << VSTBindError().toStdString();
  EXPECT_TRUE(VSTBound());
  EXPECT_NE(VST().GetParamInfo, nullptr);
  // Binding again is allowed and keeps it bound.
  ASSERT_TRUE(BindVST());
  UnbindVST();
  EXPECT_FALSE(VSTBound());
  EXPECT_EQ(VST().ChannelSetDSP, nullptr);
}

TEST_F(TPluginsTest, PluginRaisingAnErrorWhileProbedIsReportedAndLeftOut)
{
  InitProgramFolder(QStringLiteral(VEXMO_DSP_FIXTURES_DIR "throwing/"));
  SetPluginProbeProgram(BinDir() + "vexmo-plugin-probe");
  ASSERT_TRUE(QFile::copy(BinDir() + "VST/vexmo_testgain.so", Folder(FFolder) + "crash.so"));
  FSettings.SetAllowVstPlugins(true);
  UseVSTFolder(Folder(FFolder));
  const auto List = GetAvailableDSPs();
  EXPECT_EQ(List->Count(), 3);
  ASSERT_EQ(FBoxes.Calls.size(), 1);
  EXPECT_EQ(FBoxes.Calls[0].Text,
            QStringLiteral("Error loading VST plugin (crash.so): access violation in plug-in h=0"));
  EXPECT_EQ(FBoxes.Calls[0].Caption, QStringLiteral("Error"));
  EXPECT_EQ(FBoxes.Calls[0].Flags, 16);
  SetPluginProbeProgram(QString());
}

TEST_F(TPluginsTest, ScanMasksFloatingPointExceptions)
{
  FSettings.SetAllowVstPlugins(true);
  UseVSTFolder(BinDir() + "VST/");
  feenableexcept(FE_DIVBYZERO | FE_INVALID);
  ASSERT_NE(fegetexcept(), 0);
  GetAvailableDSPs();
  EXPECT_EQ(fegetexcept(), 0);
  fedisableexcept(FE_ALL_EXCEPT);
}

TEST_F(TPluginsTest, ListFilesMatchesTheMaskWithHiddenFilesAndWithoutFolders)
{
  const QString Dir = Folder(FFolder);
  for (const char* Name : {"dsp_a.so", "DSP_B.SO", ".dsp_hidden.so", "dsp_c.txt", "other.so"}) {
    QFile File(Dir + Name);
    ASSERT_TRUE(File.open(QIODevice::WriteOnly));
  }
  ASSERT_TRUE(QDir().mkdir(Dir + "dsp_dir.so"));
  QStringList Files{QStringLiteral("kept")};
  ListFiles(Dir, QStringLiteral("dsp_*.so"), Files);
  Files.sort();
  EXPECT_EQ(Files, QStringList({"DSP_B.SO", "dsp_a.so", "kept"}));
  Files.clear();
  ListFiles(Dir, QStringLiteral("*.so"), Files);
  EXPECT_TRUE(Files.contains(".dsp_hidden.so"));
  EXPECT_FALSE(Files.contains("dsp_dir.so"));
  Files.clear();
  ListFiles(Dir + "missing/", QStringLiteral("*"), Files);
  EXPECT_TRUE(Files.isEmpty());
}

class TPluginProbeTest : public TPluginsTest
{
protected:
  void TearDown() override
  {
    SetPluginProbeProgram(QString());
    SetPluginProbeTimeLimit(10000);
    TPluginsTest::TearDown();
  }

  void Copy(const QString& AFrom, const QString& ATo)
  {
    QDir().mkpath(QFileInfo(ATo).path());
    ASSERT_TRUE(QFile::copy(AFrom, ATo)) << AFrom.toStdString() << " -> " << ATo.toStdString();
  }

  // Drops the VST list, as switching VST off and on does, and builds the catalogue again.
  std::unique_ptr<TDSPItemsC> Rescan()
  {
    FSettings.SetAllowVstPlugins(false);
    LoadVSTList();
    FSettings.SetAllowVstPlugins(true);
    return GetAvailableDSPs();
  }

  static QString Fixture(const char* AKind)
  {
    return QStringLiteral(VEXMO_VST_FIXTURES_DIR) + "lib" + AKind + ".so";
  }
};

TEST_F(TPluginProbeTest, CrashingHangingAndRefusedPluginsAreLeftOutWithOneMessage)
{
  const QString Dir = Folder(FFolder);
  Copy(BinDir() + "VST/vexmo_testgain.so", Dir + "a_gain.so");
  Copy(Fixture("crashes"), Dir + "crashes.so");
  Copy(Fixture("hangs"), Dir + "hangs.so");
  Copy(Fixture("manyparams"), Dir + "manyparams.so");
  Copy(Fixture("notavst"), Dir + "notavst.so");
  Copy(BinDir() + "VST/vexmo_testgain.so", Dir + "z_gain.so");
  FSettings.SetAllowVstPlugins(true);
  UseVSTFolder(Dir);
  SetPluginProbeTimeLimit(1500);

  const QStringList Expected = {"(VST) Vexmo Vexmo Test Gain [a_gain.so]",
                                "(VST) Vexmo Vexmo Test Gain [z_gain.so]"};
  auto List = GetAvailableDSPs();
  QStringList Found = Names(*List).mid(3);
  Found.sort();
  EXPECT_EQ(Found, Expected);
  ASSERT_EQ(FBoxes.Calls.size(), 1);
  QStringList Lines = FBoxes.Calls[0].Text.split('\n');
  Lines.sort();
  EXPECT_EQ(Lines, QStringList({
                       "Error loading VST plugin (crashes.so): it crashed while it was loaded h=0",
                       "Error loading VST plugin (hangs.so): it did not answer within 1.5 "
                       "seconds while it was loaded h=0",
                       "Error loading VST plugin (manyparams.so): it reports 5000000 parameters, "
                       "more than the 10000 a plug-in may have h=0",
                   }));
  EXPECT_EQ(FBoxes.Calls[0].Flags, 16);

  // Unchanged files are not examined again: without the helper the same list and message come.
  SetPluginProbeProgram(Dir + "no-such-probe");
  FBoxes.Calls.clear();
  List = Rescan();
  Found = Names(*List).mid(3);
  Found.sort();
  EXPECT_EQ(Found, Expected);
  ASSERT_EQ(FBoxes.Calls.size(), 1);
  EXPECT_EQ(FBoxes.Calls[0].Text.count('\n'), 2);

  // A file that changed is examined again; without the helper it cannot be, which is said.
  const QFileInfo Info(Dir + "z_gain.so");
  utimbuf Times{Info.lastModified().toSecsSinceEpoch() + 10,
                Info.lastModified().toSecsSinceEpoch() + 10};
  ASSERT_EQ(utime(QFile::encodeName(Dir + "z_gain.so").constData(), &Times), 0);
  FBoxes.Calls.clear();
  List = Rescan();
  EXPECT_EQ(Names(*List).mid(3), QStringList({"(VST) Vexmo Vexmo Test Gain [a_gain.so]"}));
  ASSERT_EQ(FBoxes.Calls.size(), 1);
  EXPECT_TRUE(FBoxes.Calls[0].Text.contains(
      "\nUnable to examine the VST plugins (1 files): no-such-probe could not be started"))
      << FBoxes.Calls[0].Text.toStdString();

  // The helper back: the changed file is found again, and the cache file reads as text.
  SetPluginProbeProgram(QString());
  FBoxes.Calls.clear();
  List = Rescan();
  Found = Names(*List).mid(3);
  Found.sort();
  EXPECT_EQ(Found, Expected);
  QFile Cache(FData.path() + "/pluginprobe.ini");
  ASSERT_TRUE(Cache.open(QIODevice::ReadOnly));
  const QByteArray Text = Cache.readAll();
  EXPECT_TRUE(Text.contains(QFile::encodeName("Path=" + Dir + "z_gain.so\n"))) << Text.constData();
  EXPECT_TRUE(Text.contains("Vendor=Vexmo\nEffect=Vexmo Test Gain\nParams=3\n"))
      << Text.constData();
}

TEST_F(TPluginProbeTest, SubfoldersAreSearchedOnceEachAndAmbiguousNamesShowTheirPath)
{
  const QString Dir = Folder(FFolder);
  const QString Gain = BinDir() + "VST/vexmo_testgain.so";
  Copy(Gain, Dir + "gain.so");
  Copy(Gain, Dir + "suite/gain.so");
  Copy(Gain, Dir + "suite/inner/solo.so");
  Copy(Gain, Dir + "a/b/c/d/deepest.so"); // four levels down: found
  Copy(Gain, Dir + "a/b/c/d/e/too_deep.so");
  const bool HaveDebian = QFileInfo::exists(SystemVSTFolder + "MaFreeverb-vst.so");
  if (HaveDebian) {
    Copy(SystemVSTFolder + "MaFreeverb-vst.so", Dir + "suite/inner/MaFreeverb-vst.so");
    Copy(SystemVSTFolder + "MaFreeverb-vst.so", Dir + "other/MaFreeverb-vst.so");
  }
  // Links back up and to a sibling: each folder is searched once.
  ASSERT_TRUE(QFile::link(Dir, Dir + "suite/inner/loop"));
  ASSERT_TRUE(QFile::link(Dir + "suite", Dir + "suite_again"));
  FSettings.SetAllowVstPlugins(true);
  UseVSTFolder(Dir);

  const auto List = GetAvailableDSPs();
  EXPECT_TRUE(FBoxes.Calls.isEmpty());
  std::map<QString, QString> PathOf;
  for (int i = 3; i < List->Count(); ++i)
    PathOf[List->Items(i)->DispName()] = List->Items(i)->PluginPath();
  std::map<QString, QString> Expected = {
      {"(VST) Vexmo Vexmo Test Gain [gain.so]", Dir + "gain.so"},
      {"(VST) Vexmo Vexmo Test Gain [suite/gain.so]", Dir + "suite/gain.so"},
      {"(VST) Vexmo Vexmo Test Gain [solo.so]", Dir + "suite/inner/solo.so"},
      {"(VST) Vexmo Vexmo Test Gain [deepest.so]", Dir + "a/b/c/d/deepest.so"},
  };
  if (HaveDebian) {
    Expected["(VST) DISTRHO MaFreeverb [suite/inner/MaFreeverb-vst.so]"] =
        Dir + "suite/inner/MaFreeverb-vst.so";
    Expected["(VST) DISTRHO MaFreeverb [other/MaFreeverb-vst.so]"] =
        Dir + "other/MaFreeverb-vst.so";
  }
  EXPECT_EQ(PathOf, Expected);
  EXPECT_EQ(List->Count(), 3 + int(Expected.size()));
}

TEST_F(TPluginProbeTest, TickedVSTStageStartsWithoutACatalogueAndRefusesMillionsOfParameters)
{
  FSettings.SetAllowVstPlugins(true);
  TDSPItemC* Gain = AddVST(BinDir() + "VST/vexmo_testgain.so");
  TDSPItemC* Many = AddVST(Fixture("manyparams"));
  ASSERT_EQ(VSTPlugins(), nullptr);
  // Read from the settings, ticked: switched off and on again by the user.
  for (int i = 0; i < 2; ++i) {
    Untick(i);
    Tick(i);
  }
  EXPECT_NE(Gain->H, 0u);
  EXPECT_EQ(VST().GetParamCount(Gain->H), 3);
  EXPECT_EQ(Many->H, 0u);
  ASSERT_EQ(FBoxes.Calls.size(), 1);
  EXPECT_EQ(FBoxes.Calls[0].Text,
            "The VST plugin " + Fixture("manyparams") +
                " reports 5000000 parameters and is not used: a plugin may have at most 10000.");
  EXPECT_EQ(FBoxes.Calls[0].Flags, 16);
  // Nothing was stored for it.
  FManager.StartAllDSPs();
  EXPECT_TRUE(Many->Params().isEmpty());
}

TEST_F(TPluginProbeTest, CrashingWinampDSPPluginIsLeftOutAndTheOthersStayLoaded)
{
  const QString Dir = Folder(FFolder);
  Copy(BinDir() + "Plugins/dsp_echo.so", Dir + "dsp_echo.so");
  Copy(QStringLiteral(VEXMO_WINAMP_FIXTURES_DIR "dsp_crashes.so"), Dir + "dsp_crashes.so");
  FSettings.SetAllowWinampPlugins(true);
  SetupPlugins(&FSettings, FData.path() + "/", Dir, 0, QString(), {}, {});

  const auto List = GetAvailableDSPs();
  ASSERT_EQ(Names(*List).mid(3), QStringList({"(DSP) Echo [dsp_echo.so]"}));
  EXPECT_NE(List->Items(3)->H, 0u);
  ASSERT_EQ(FBoxes.Calls.size(), 1);
  EXPECT_EQ(FBoxes.Calls[0].Text,
            "Error loading Winamp DSP plugin (dsp_crashes.so): it crashed while it was loaded");
  EXPECT_EQ(FBoxes.Calls[0].Flags, 16);
}

} // namespace
