// The chain manager: notifications, Winamp DSP stages finding their plug-ins, VST parameters
// kept across restarts, the plug-in switches, and the stage record's copying rules.
#include "audio/bass_wadsp.h"
#include "dsp/integrated_dsp.h"
#include "dsp_test_support.h"

#include <QFile>

using namespace dsptest;

namespace {

class TManagerTest : public TChainTest
{
protected:
  TDSPItemC* AddWinamp(const QString& AFile, TPluginType AType = ptDSP)
  {
    TDSPItemC* Item = FList.Add();
    Item->SetT(dspPlugin);
    Item->SetPluginType(AType);
    Item->SetPluginPath(AFile);
    return Item;
  }

  // A copy of our own test plug-in (parameters Gain, Pan, Mix; defaults 0.5, 0.5, 1) under
  // another file name, in a folder of the test's own.
  QString TestPluginCopy(const QString& AFileName)
  {
    const QString Path = FVstFolder.path() + QLatin1Char('/') + AFileName;
    EXPECT_TRUE(QFile::copy(BinDir() + "VST/vexmo_testgain.so", Path));
    return Path;
  }

  // Echo repeats an impulse 300 ms later.
  bool EchoHeard()
  {
    std::vector<float> Samples(SampleRate / 2 * Chans, 0.0f);
    Samples[0] = Samples[1] = 0.5f;
    Process(FStream, Samples);
    const size_t From = static_cast<size_t>(SampleRate * 0.25) * Chans;
    for (size_t i = From; i < Samples.size(); ++i)
      if (std::fabs(Samples[i]) > 0.01f)
        return true;
    return false;
  }

  QTemporaryDir FVstFolder;
};

TEST_F(TManagerTest, OnChangeFollowsEveryStartAndStop)
{
  AddBuiltIn(dspEqualizer, {}, psOff);
  AddBuiltIn(dspGain, {"3"}, psOff);
  AddBuiltIn(dspCompressor, {}, psOff);
  Tick(1);
  EXPECT_EQ(FChanges, 1);
  EXPECT_EQ(FList.Items(1)->State(), psActive);
  ASSERT_NE(FList.Items(1)->IntDsp, nullptr);
  Tick(2);

  // Moving restarts the chain: three stops, then a start for each of the two active stages.
  FChanges = 0;
  FList.Move(2, 0);
  FManager.StartAllDSPs();
  EXPECT_EQ(FChanges, 5);
  EXPECT_EQ(FList.Items(0)->IntDsp != nullptr, true);
  EXPECT_EQ(FList.Items(1)->IntDsp, nullptr);

  FChanges = 0;
  Untick(0);
  EXPECT_EQ(FChanges, 1);
  EXPECT_EQ(FList.Items(0)->IntDsp, nullptr);
  EXPECT_EQ(FList.Items(0)->State(), psOff);

  // The registry holds the live managers.
  EXPECT_TRUE(DSPManagers().contains(&FManager));
  {
    TDSPManager Other(QStringLiteral("Other"));
    EXPECT_EQ(DSPManagers().count(), 2);
  }
  EXPECT_EQ(DSPManagers().count(), 1);
  EXPECT_EQ(FManager.Name(), QStringLiteral("Mic"));
}

TEST_F(TManagerTest, AssignToCopiesIdentityAndHandleOnly)
{
  TDSPItemC* Source = AddVST(QStringLiteral("/usr/lib/vst/x.so"));
  Source->SetDispName(QStringLiteral("(VST) A B [x.so]"));
  Source->SetParams({"0.5"});
  Source->SetPresetName(QStringLiteral("Warm"));
  Source->H = 42;
  TDSPItemC* Copy = FList.Add();
  EXPECT_EQ(Copy->State(), psOff);
  EXPECT_EQ(Copy->H, 0u);
  Source->AssignTo(Copy);
  EXPECT_EQ(Copy->T(), dspPlugin);
  EXPECT_EQ(Copy->PluginType(), ptVST);
  EXPECT_EQ(Copy->PluginPath(), Source->PluginPath());
  EXPECT_EQ(Copy->DispName(), Source->DispName());
  EXPECT_EQ(Copy->H, 42u);
  EXPECT_EQ(Copy->State(), psOff);
  EXPECT_TRUE(Copy->Params().isEmpty());
  EXPECT_TRUE(Copy->PresetName().isEmpty());

  TDSPItemC Gain;
  Gain.SetT(dspIntegrated);
  Gain.SetIntDSPKind(dspGain);
  FList.SetItems(1, &Gain);
  EXPECT_EQ(FList.Items(1)->IntDSPKind(), dspGain);
  EXPECT_EQ(FList.Items(1)->T(), dspIntegrated);
  EXPECT_EQ(FList.Items(1)->H, 0u);
}

TEST_F(TManagerTest, WinampStagesFindTheirPluginsOnRestartAndGenStagesNeverRun)
{
  FSettings.SetAllowWinampPlugins(true);
  FManager.SetWorkChannel(FStream);
  // As read from player.ini: no handles, the file name in another letter case.
  AddWinamp(QStringLiteral("DSP_ECHO.SO"))->SetState(psActive);
  TDSPItemC* Gen = AddWinamp(QStringLiteral("dsp_tremolo.so"), ptGEN);
  Gen->SetState(psActive);
  FManager.StartAllDSPs();

  const TPluginList* Plugins = WinampDSPPlugins();
  ASSERT_NE(Plugins, nullptr);
  quint32 EchoHandle = 0;
  for (const TPluginItem& Plugin : *Plugins)
    if (Plugin.Path == QStringLiteral("dsp_echo.so"))
      EchoHandle = Plugin.H;
  ASSERT_NE(EchoHandle, 0u);
  EXPECT_EQ(FList.Items(0)->H, EchoHandle);
  EXPECT_EQ(Gen->H, 0u);
  EXPECT_TRUE(EchoHeard());

  // A ptGEN stage with the handle of a loaded plug-in still runs nothing.
  Untick(0);
  EXPECT_EQ(FList.Items(0)->H, EchoHandle) << "the handle belongs to the plug-in list";
  EXPECT_FALSE(EchoHeard());
  Gen->H = EchoHandle;
  FManager.StartDSP(1);
  EXPECT_FALSE(EchoHeard());

  // The title reaches every Winamp DSP stage.
  FManager.SetSongTitle(QStringLiteral("Morning Show – Ünïcode"));
  EXPECT_EQ(QString::fromUtf8(BASS_WADSP_GetSongTitle(EchoHandle)),
            QStringLiteral("Morning Show – Ünïcode"));
  EXPECT_EQ(QString::fromUtf8(BASS_WADSP_GetFileName(EchoHandle)),
            QStringLiteral("Morning Show – Ünïcode"));

  // Switched off, the plug-ins are unloaded and the stages forget their handles, which the
  // engine may hand out again.
  FSettings.SetAllowWinampPlugins(false);
  LoadWinampDSPList();
  EXPECT_EQ(WinampDSPPlugins(), nullptr);
  EXPECT_EQ(FList.Items(0)->H, 0u);
  Tick(0);
  EXPECT_FALSE(EchoHeard());
}

TEST_F(TManagerTest, VstParamsAreAppliedOnStartUnlessTheFileIsSkipped)
{
  FSettings.SetAllowVstPlugins(true);
  ASSERT_TRUE(BindVST()) << VSTBindError().toStdString();
  const QString Path = TestPluginCopy(QStringLiteral("reverb.so"));
  struct TCase
  {
    const char* Skip;
    QStringList Params;
    float Gain; // parameter 0 after the start
  };
  const TCase Cases[] = {
      {"", {"0.75", "0.25", "1"}, 0.75f},
      {"REVERB.SO", {"0.75", "0.25", "1"}, 0.5f},
      {"other.so;Reverb.so", {"0.75", "0.25", "1"}, 0.5f},
      {"other.so; reverb.so", {"0.75", "0.25", "1"}, 0.75f}, // pieces are not trimmed
      {"reverb", {"0.75", "0.25", "1"}, 0.75f},
      {"", {"0.75", "0.25"}, 0.5f}, // count differs from the plug-in's
      {"", {"abc", "0.25", "1"}, 0.0f},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(std::string(Case.Skip) + " / " + Case.Params.join(',').toStdString());
    FSettings.SetVSTSkipSettings(QString::fromLatin1(Case.Skip));
    TDSPItemC* Item = AddVST(Path, psOff);
    Item->SetParams(Case.Params);
    Tick(0);
    ASSERT_NE(Item->H, 0u);
    EXPECT_EQ(VST().GetParam(Item->H, 0), Case.Gain);
    Untick(0);
    FList.Delete(0);
  }
  EXPECT_TRUE(TDSPManager::SkipVSTSettings(QStringLiteral("C:\\Plugins\\Other.SO")) == false);
  FSettings.SetVSTSkipSettings(QStringLiteral("a.so;Other.so"));
  EXPECT_TRUE(TDSPManager::SkipVSTSettings(QStringLiteral("C:\\Plugins\\Other.SO")));
  EXPECT_TRUE(TDSPManager::SkipVSTSettings(QStringLiteral("/x/A.so")));
}

TEST_F(TManagerTest, VstStageProcessesTheStreamWithItsStoredParams)
{
  FSettings.SetAllowVstPlugins(true);
  ASSERT_TRUE(BindVST());
  AddVST(TestPluginCopy(QStringLiteral("gain.so")), psOff)->SetParams({"0.75", "0.5", "1"});
  FManager.SetWorkChannel(FStream);
  Tick(0);
  std::vector<float> Samples = Sine(1000, 0.1, 8192);
  const double Before = RmsDb(Samples, 0);
  Process(FStream, Samples);
  EXPECT_NEAR(RmsDb(Samples, 0) - Before, 12.0, 0.01); // 0.75 of -24..+24 dB
}

TEST_F(TManagerTest, RestartAndUntickSaveVstParams)
{
  FSettings.SetAllowVstPlugins(true);
  ASSERT_TRUE(BindVST());
  AddBuiltIn(dspGain, {"0"}, psOff);
  TDSPItemC* Vst = AddVST(TestPluginCopy(QStringLiteral("gain.so")), psOff);
  Tick(1);
  ASSERT_NE(Vst->H, 0u);
  EXPECT_TRUE(Vst->Params().isEmpty()) << "starting saves nothing";
  ASSERT_TRUE(VST().SetParam(Vst->H, 0, 0.25f));
  ASSERT_TRUE(VST().SetParam(Vst->H, 2, 0.125f));

  // Moving a stage restarts the chain: the plug-in's values are stored, then applied to the
  // new instance.
  const DWORD Before = Vst->H;
  FList.Move(0, 1);
  FManager.StartAllDSPs();
  EXPECT_EQ(Vst->Params(), QStringList({"0.25", "0.5", "0.125"}));
  ASSERT_NE(Vst->H, 0u);
  EXPECT_NE(Vst->H, Before);
  EXPECT_EQ(VST().GetParam(Vst->H, 0), 0.25f);
  EXPECT_EQ(VST().GetParam(Vst->H, 2), 0.125f);

  // SaveAllVSTParams takes the current values too.
  VST().SetParam(Vst->H, 1, 0.3f);
  FManager.SaveAllVSTParams();
  EXPECT_EQ(Vst->Params().at(1), QStringLiteral("0.300000011920929"));

  // Switching the stage off (State off first, as the chain editor does) stores the values the
  // plug-in has at that moment.
  VST().SetParam(Vst->H, 0, 0.875f);
  Untick(0);
  EXPECT_EQ(Vst->Params(), QStringList({"0.875", "0.300000011920929", "0.125"}));
  EXPECT_EQ(Vst->H, 0u);
  // A stopped stage is not saved again by a restart, and comes back with what was stored.
  FManager.StartAllDSPs();
  EXPECT_EQ(Vst->Params(), QStringList({"0.875", "0.300000011920929", "0.125"}));
  Tick(0);
  ASSERT_NE(Vst->H, 0u);
  EXPECT_EQ(VST().GetParam(Vst->H, 0), 0.875f);
}

TEST_F(TManagerTest, VstSwitchOffStopsVstStagesInEveryChainAndTheyStayOff)
{
  FSettings.SetAllowVstPlugins(true);
  ASSERT_TRUE(BindVST());
  const QString Path = TestPluginCopy(QStringLiteral("gain.so"));
  AddVST(Path, psOff);
  Tick(0);
  TDSPItemsC OtherList;
  TDSPManager Other(QStringLiteral("Other"));
  Other.SetDSPList(&OtherList);
  TDSPItemC* OtherVst = OtherList.Add();
  OtherVst->SetT(dspPlugin);
  OtherVst->SetPluginType(ptVST);
  OtherVst->SetPluginPath(Path);
  OtherVst->SetState(psActive);
  Other.StartDSP(0);
  ASSERT_NE(FList.Items(0)->H, 0u);
  ASSERT_NE(OtherVst->H, 0u);
  VST().SetParam(OtherVst->H, 0, 0.625f);

  FSettings.SetAllowVstPlugins(false);
  LoadVSTList();
  EXPECT_EQ(FList.Items(0)->H, 0u);
  EXPECT_EQ(OtherVst->H, 0u);
  EXPECT_EQ(OtherVst->State(), psActive) << "the user's switch is kept";
  EXPECT_EQ(OtherVst->Params().value(0), QStringLiteral("0.625"));

  // Restarting the chain does not bring a switched-off kind back.
  Other.StartAllDSPs();
  EXPECT_EQ(OtherVst->H, 0u);
  FSettings.SetAllowVstPlugins(true);
  Other.StartAllDSPs();
  ASSERT_NE(OtherVst->H, 0u);
  EXPECT_EQ(VST().GetParam(OtherVst->H, 0), 0.625f);
  Other.StopDSP(0);
}

TEST_F(TManagerTest, VstStagesDoNothingWhileTheBridgeIsNotBound)
{
  FSettings.SetAllowVstPlugins(true);
  TDSPItemC* Vst = AddVST(TestPluginCopy(QStringLiteral("gain.so")), psOff);
  // A stage binds the bridge when it needs it; here there is none to bind.
  InitProgramFolder(FData.path() + QLatin1Char('/'));
  SetVSTBridgeFallbackName(QStringLiteral("libbass_vst_nowhere.so"));
  Vst->SetParams({"1", "1", "1"});
  Tick(0);
  EXPECT_EQ(Vst->H, 0u);
  EXPECT_EQ(FChanges, 1);
  Untick(0);
  EXPECT_EQ(Vst->Params(), QStringList({"1", "1", "1"}));
  EXPECT_TRUE(FBoxes.Calls.isEmpty());
}

TEST_F(TManagerTest, VstStageThatRaisesAnErrorIsReportedAndGetsNoHandle)
{
  InitProgramFolder(QStringLiteral(VEXMO_DSP_FIXTURES_DIR "throwing/"));
  FSettings.SetAllowVstPlugins(true);
  ASSERT_TRUE(BindVST());
  TDSPItemC* Vst = AddVST(QStringLiteral("/plugins/50%_wet.so"), psOff);
  Vst->H = 7; // from an earlier run
  Tick(0);
  ASSERT_EQ(FBoxes.Calls.size(), 1);
  EXPECT_EQ(FBoxes.Calls[0].Text,
            QStringLiteral("Unable to start VST plugin (/plugins/50%_wet.so): access violation "
                           "in plug-in"));
  EXPECT_EQ(FBoxes.Calls[0].Caption, QString());
  EXPECT_EQ(FBoxes.Calls[0].Flags, 16);
  EXPECT_EQ(Vst->State(), psActive);
  EXPECT_EQ(Vst->H, 0u);
  EXPECT_EQ(FChanges, 1);
}

} // namespace
