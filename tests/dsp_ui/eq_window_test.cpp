// The equalizer window and its band layout window on real widgets: Params lines and slider signs,
// a running equalizer effect on a real stream, Reset, band layout changes, and presets saved,
// loaded and deleted through the menus in a temporary data folder.
#include "stage_window_fixture.h"

#include "audio/bass.h"
#include "audio/bass_fx.h"
#include "base/ini_file.h"
#include "dsp/dsp_manager.h"
#include "dsp/integrated_dsp.h"
#include "dsp/presets.h"
#include "dsp_ui/dsp_eq_bands_frm.h"
#include "dsp_ui/dsp_window_registry.h"
#include "dsp_ui/eq_dsp_frm.h"
#include "dsp_ui/float_edit.h"
#include "dsp_ui/stage_windows.h"
#include "support/message_box_recorder.h"

#include <QAccessible>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <memory>

namespace {

class EqWindowTest : public TStageWindowTest
{
protected:
  void SetUp() override
  {
    TStageWindowTest::SetUp();
    Item = Chain.Add();
    Item->SetT(dspIntegrated);
    Item->SetIntDSPKind(dspEqualizer);
    Item->SetDispName(QStringLiteral("Equalizer"));
  }

  void TearDown() override
  {
    Form.reset();
    TStageWindowTest::TearDown();
  }

  // Opens the window for Item the way the chain editor's Configure does.
  TEqDSPFrm* Show()
  {
    Form = std::make_unique<TEqDSPFrm>(Item);
    Form->setAttribute(Qt::WA_DeleteOnClose, false);
    Form->show();
    return Form.get();
  }

  int VisibleBands() const
  {
    int Count = 0;
    for (int i = 0; i < TEqDSPFrm::MaxBands; ++i)
      if (Form->TrackBar[i]->isVisible()) {
        EXPECT_TRUE(Form->leq[i]->isVisible());
        EXPECT_TRUE(Form->l_eq[i]->isVisible());
        ++Count;
      }
    return Count;
  }

  QString EqFile(const QString& AName) const
  {
    return DataFolder + QStringLiteral("Presets/Equalizer/") + AName + QStringLiteral(".eqp");
  }

  TDSPItemsC Chain;
  TDSPItemC* Item = nullptr;
  std::unique_ptr<TEqDSPFrm> Form;
};

QStringList Lines(std::initializer_list<const char*> ATexts)
{
  QStringList Result;
  for (const char* Text : ATexts)
    Result.append(QString::fromLatin1(Text));
  return Result;
}

TEST_F(EqWindowTest, ShowReadsGainsAndEveryMoveRewritesParams)
{
  Settings.SetBandsNum(10);
  Item->SetParams(Lines({"3", "-2", "loud", "0", "5"}));
  Show();

  EXPECT_EQ(VisibleBands(), 10);
  // Position -g shows gain g, with its sign above the slider.
  EXPECT_EQ(Form->TrackBar[0]->Position(), -3);
  EXPECT_EQ(Form->leq[0]->text(), "+3");
  EXPECT_EQ(Form->leq[1]->text(), "-2");
  EXPECT_EQ(Form->leq[2]->text(), "0"); // not a number: 0
  EXPECT_EQ(Form->leq[4]->text(), "+5");
  EXPECT_EQ(Form->TrackBar[0]->Min(), -10);
  EXPECT_EQ(Form->TrackBar[0]->Max(), 10);
  // Showing writes nothing.
  EXPECT_EQ(Item->Params(), Lines({"3", "-2", "loud", "0", "5"}));

  Form->TrackBar[4]->SetPosition(-6);
  EXPECT_EQ(Form->leq[4]->text(), "+6");
  EXPECT_EQ(Item->Params(), Lines({"3", "-2", "0", "0", "6", "0", "0", "0", "0", "0"}));

  // Keyboard: Up raises the gain (the slider's top is +range).
  Form->TrackBar[1]->setFocus();
  QTest::keyClick(Form->TrackBar[1], Qt::Key_Up);
  EXPECT_EQ(Form->leq[1]->text(), "-1");
  EXPECT_EQ(Item->Params().at(1), "-1");
}

TEST_F(EqWindowTest, ScreenReaderHearsFrequencyAndGain)
{
  Show();
  Form->TrackBar[4]->SetPosition(-6);
  QAccessibleInterface* Band5 = QAccessible::queryAccessibleInterface(Form->TrackBar[4]);
  ASSERT_NE(Band5, nullptr);
  EXPECT_EQ(Band5->role(), QAccessible::Slider);
  EXPECT_EQ(Band5->text(QAccessible::Name), "500 hertz");
  EXPECT_EQ(Band5->text(QAccessible::Value), "6");
  Form->TrackBar[5]->SetPosition(4);
  QAccessibleInterface* Band6 = QAccessible::queryAccessibleInterface(Form->TrackBar[5]);
  EXPECT_EQ(Band6->text(QAccessible::Name), "1K hertz");
  EXPECT_EQ(Band6->text(QAccessible::Value), "-4");
  EXPECT_EQ(Form->leq[5]->text(), "-4");
}

TEST_F(EqWindowTest, FrequencyLabels)
{
  const struct
  {
    int Frequency;
    const char* Text;
  } Cases[] = {{15000, "15K"}, {999, "999"},   {1000, "1K"},
               {1500, "1K"},   {12000, "12K"}, {31, "31"}};
  for (const auto& Case : Cases)
    EXPECT_EQ(TEqDSPFrm::FrequencyText(Case.Frequency), QString::fromLatin1(Case.Text))
        << Case.Frequency;

  Settings.EQBands().Items(0)->SetCenterFreq(15000);
  Settings.EQBands().Items(1)->SetCenterFreq(999);
  Show();
  EXPECT_EQ(Form->l_eq[0]->text(), "15K");
  EXPECT_EQ(Form->l_eq[1]->text(), "999");
}

TEST_F(EqWindowTest, ChangesReachTheRunningEqualizer)
{
  const HSTREAM Stream = BASS_StreamCreate(44100, 2, 0, nullptr, nullptr);
  ASSERT_NE(Stream, 0u);
  TDSPManager Manager(QStringLiteral("Test"));
  Manager.SetDSPList(&Chain);
  Manager.SetWorkChannel(Stream);
  Item->SetState(psActive);
  Manager.StartDSP(0);
  ASSERT_TRUE(Item->IntDsp);
  ASSERT_NE(Item->IntDsp->HFX, 0u);
  const auto Gain = [this](int ABand) {
    BASS_BFX_PEAKEQ Band{};
    Band.lBand = ABand;
    EXPECT_TRUE(BASS_FXGetParameters(Item->IntDsp->HFX, &Band));
    return Band.fGain;
  };

  Show();
  Form->TrackBar[2]->SetPosition(-7);
  Form->TrackBar[9]->SetPosition(3);
  EXPECT_FLOAT_EQ(Gain(2), 7.0f);
  EXPECT_FLOAT_EQ(Gain(9), -3.0f);

  Form->SpeedButton2->click();
  EXPECT_FLOAT_EQ(Gain(2), 0.0f);
  EXPECT_FLOAT_EQ(Gain(9), 0.0f);

  Form.reset();
  Manager.StopDSP(0);
  BASS_StreamFree(Stream);
}

TEST_F(EqWindowTest, ResetZeroesEveryVisibleBand)
{
  Settings.SetBandsNum(8);
  Item->SetParams(Lines({"4", "-3", "2", "1", "0", "-1", "-2", "5"}));
  Show();
  Form->SpeedButton2->click();
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(Form->TrackBar[i]->Position(), 0) << i;
    EXPECT_EQ(Form->leq[i]->text(), "0") << i;
  }
  EXPECT_EQ(Item->Params(), QStringList(8, QStringLiteral("0")));
}

TEST_F(EqWindowTest, BandsWindowChangesLayoutButNotGains)
{
  Item->SetParams(Lines({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}));
  Show();
  ASSERT_EQ(VisibleBands(), 10);

  Form->SpeedButton1->click();
  TDSPEqBandsFrm* Bands = Form->FBandsFrm;
  ASSERT_NE(Bands, nullptr);
  EXPECT_EQ(Bands->uBandsNum->value(), 10);
  EXPECT_EQ(Bands->uRange->value(), 10);
  EXPECT_DOUBLE_EQ(Bands->uBandwidth->Value(), 2.5);
  EXPECT_EQ(Bands->uBand[11]->value(), 20000);
  EXPECT_EQ(Bands->uBand[5]->text(), "1,000"); // with the thousands separator
  EXPECT_TRUE(Bands->uBand[9]->isEnabled());
  EXPECT_FALSE(Bands->uBand[10]->isEnabled());

  Bands->uBandsNum->setValue(12);
  EXPECT_TRUE(Bands->uBand[11]->isEnabled());
  Bands->uBandsNum->setValue(6);
  EXPECT_FALSE(Bands->uBand[6]->isEnabled());
  Bands->uRange->setValue(12);
  Bands->uBandwidth->SetValue(1.5);
  Bands->uBand[0]->setValue(40);
  Bands->uBand[11]->setValue(19000); // disabled fields are stored too
  Bands->Button1->click();

  EXPECT_EQ(Settings.BandsNum(), 6);
  EXPECT_EQ(Settings.EQRange(), 12);
  EXPECT_FLOAT_EQ(Settings.Bandwidth(), 1.5f);
  EXPECT_EQ(Settings.EQBands().Items(0)->CenterFreq(), 40);
  EXPECT_EQ(Settings.EQBands().Items(11)->CenterFreq(), 19000);

  EXPECT_EQ(VisibleBands(), 6);
  EXPECT_EQ(Form->l_eq[0]->text(), "40");
  EXPECT_EQ(Form->TrackBar[0]->Min(), -12);
  EXPECT_EQ(Form->TrackBar[0]->Max(), 12);
  EXPECT_EQ(QAccessible::queryAccessibleInterface(Form->TrackBar[0])->text(QAccessible::Name),
            "40 hertz");
  // The stored gains stay until a slider moves.
  EXPECT_EQ(Item->Params(), Lines({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}));
  Form->TrackBar[0]->SetPosition(-2);
  EXPECT_EQ(Item->Params(), Lines({"2", "2", "3", "4", "5", "6"}));
}

TEST_F(EqWindowTest, BandsWindowCancelChangesNothing)
{
  TDSPEqBandsFrm Bands(&Settings);
  Bands.uBandsNum->setValue(3);
  Bands.uRange->setValue(4);
  Bands.uBand[0]->setValue(77);
  Bands.Button2->click();
  EXPECT_EQ(Bands.result(), QDialog::Rejected);
  EXPECT_EQ(Settings.BandsNum(), 10);
  EXPECT_EQ(Settings.EQRange(), 10);
  EXPECT_EQ(Settings.EQBands().Items(0)->CenterFreq(), 31);
}

TEST_F(EqWindowTest, PresetsSavedLoadedAndDeletedThroughTheMenus)
{
  Show();
  // No folder yet: one disabled entry in each submenu.
  for (QMenu* Menu : {Form->Load1, Form->Delete1}) {
    ASSERT_EQ(Captions(Menu), QStringList{"(no presets)"});
    EXPECT_FALSE(Menu->actions().first()->isEnabled());
  }

  Form->TrackBar[0]->SetPosition(-3);
  Form->TrackBar[1]->SetPosition(2);
  Item->SetPresetName(QStringLiteral("old"));
  InputAnswers.append(QStringLiteral("a/b:c"));
  Form->Save1->trigger();

  ASSERT_EQ(InputCalls.size(), 1);
  EXPECT_EQ(InputCalls[0].Caption, "Save");
  EXPECT_EQ(InputCalls[0].Prompt, "Preset name");
  EXPECT_EQ(InputCalls[0].Default, "old");
  ASSERT_TRUE(QFile::exists(EqFile("abc")));
  const QString Block = TIniFile(EqFile("abc")).ReadString("Equalizer", "Settings");
  EXPECT_EQ(Block.size(), 96);
  EXPECT_TRUE(Block.startsWith("03000000FEFFFFFF00000000")) << Block.toStdString();
  EXPECT_EQ(Item->PresetName(), "abc");
  EXPECT_EQ(Captions(Form->Load1), QStringList{"abc"});
  EXPECT_EQ(Captions(Form->Delete1), QStringList{"abc"});

  // Cancel writes nothing.
  Form->Save1->trigger();
  EXPECT_EQ(InputCalls.size(), 2);
  EXPECT_EQ(QDir(DataFolder + "Presets/Equalizer").entryList(QDir::Files).size(), 1);

  Form->SpeedButton2->click();
  ASSERT_EQ(Item->Params().at(0), "0");
  Item->SetPresetName(QString());
  Entry(Form->Load1, "abc")->trigger();
  EXPECT_EQ(Form->TrackBar[0]->Position(), -3);
  EXPECT_EQ(Form->TrackBar[1]->Position(), 2);
  EXPECT_EQ(Form->leq[0]->text(), "+3");
  EXPECT_EQ(Item->Params().mid(0, 3), Lines({"3", "-2", "0"}));
  EXPECT_EQ(Item->Params().size(), 10);
  EXPECT_EQ(Item->PresetName(), "abc");

  // Saving under the same name overwrites.
  Form->TrackBar[0]->SetPosition(-9);
  InputAnswers.append(QStringLiteral("abc"));
  Form->Save1->trigger();
  EXPECT_EQ(ReadEqPreset("abc").value()[0], 9);
  EXPECT_EQ(Captions(Form->Load1), QStringList{"abc"});

  Entry(Form->Delete1, "abc")->trigger();
  EXPECT_FALSE(QFile::exists(EqFile("abc")));
  EXPECT_EQ(Captions(Form->Load1), QStringList{"(no presets)"});
  EXPECT_EQ(Captions(Form->Delete1), QStringList{"(no presets)"});
}

TEST_F(EqWindowTest, PresetFileDetails)
{
  // A short block: bands 0 and 1 from the file, the rest 0; more bands than in use are kept.
  ASSERT_TRUE(QDir().mkpath(DataFolder + "Presets/Equalizer"));
  ASSERT_TRUE(TIniFile(EqFile("short")).WriteString("Equalizer", "Settings", "05000000fbffffff"));
  Settings.SetBandsNum(4);
  Item->SetParams(Lines({"1", "1", "1", "1"}));
  Show();
  Entry(Form->Load1, "short")->trigger();
  EXPECT_EQ(Item->Params(), Lines({"5", "-5", "0", "0"}));

  // Twelve gains are saved whatever the band count.
  InputAnswers.append(QStringLiteral("four"));
  Form->Save1->trigger();
  const QString Block = TIniFile(EqFile("four")).ReadString("Equalizer", "Settings");
  EXPECT_EQ(Block, "05000000FBFFFFFF" + QString(80, QLatin1Char('0')));

  // A preset that vanished since the menu was filled changes nothing.
  ASSERT_TRUE(QFile::remove(EqFile("short")));
  Item->SetPresetName("four");
  Entry(Form->Load1, "short")->trigger();
  EXPECT_EQ(Item->Params(), Lines({"5", "-5", "0", "0"}));
  EXPECT_EQ(Item->PresetName(), "four");
}

TEST_F(EqWindowTest, PresetNamesWithAmpersandWork)
{
  Show();
  Form->TrackBar[0]->SetPosition(-4);
  InputAnswers.append(QStringLiteral("Rock & Roll"));
  Form->Save1->trigger();
  ASSERT_TRUE(QFile::exists(EqFile("Rock & Roll")));
  // Shown as typed: "&&" is a literal "&" in a menu.
  ASSERT_EQ(Captions(Form->Load1), QStringList{"Rock && Roll"});

  Form->SpeedButton2->click();
  Entry(Form->Load1, "Rock && Roll")->trigger();
  EXPECT_EQ(Form->TrackBar[0]->Position(), -4);
  EXPECT_EQ(Item->PresetName(), "Rock & Roll");

  TMessageBoxRecorder Boxes;
  Entry(Form->Delete1, "Rock && Roll")->trigger();
  EXPECT_TRUE(Boxes.Calls.isEmpty());
  EXPECT_FALSE(QFile::exists(EqFile("Rock & Roll")));
}

TEST_F(EqWindowTest, SaveAndDeleteFailuresAreShown)
{
  Show();
  // A file where the preset folder should be: the folder cannot be made.
  ASSERT_TRUE(QDir().mkpath(DataFolder + "Presets"));
  {
    QFile Blocker(DataFolder + "Presets/Equalizer");
    ASSERT_TRUE(Blocker.open(QIODevice::WriteOnly));
  }
  TMessageBoxRecorder Boxes;
  Item->SetPresetName("before");
  InputAnswers.append(QStringLiteral("x"));
  Form->Save1->trigger();
  ASSERT_EQ(Boxes.Calls.size(), 1);
  EXPECT_TRUE(Boxes.Calls[0].Text.startsWith("An error occurred: "))
      << Boxes.Calls[0].Text.toStdString();
  EXPECT_GT(Boxes.Calls[0].Text.size(), QStringLiteral("An error occurred: ").size());
  EXPECT_EQ(Boxes.Calls[0].Caption, "Error");
  EXPECT_EQ(Boxes.Calls[0].Flags, MB_ICONERROR);
  EXPECT_EQ(Item->PresetName(), "before");
  EXPECT_EQ(Captions(Form->Load1), QStringList{"(no presets)"});
}

TEST_F(EqWindowTest, DeletingAFileThatIsGoneSaysSo)
{
  ASSERT_TRUE(QDir().mkpath(DataFolder + "Presets/Equalizer"));
  ASSERT_TRUE(TIniFile(EqFile("gone")).WriteString("Equalizer", "Settings", "01000000"));
  ASSERT_TRUE(TIniFile(EqFile("kept")).WriteString("Equalizer", "Settings", "02000000"));
  Show();
  ASSERT_EQ(Form->Delete1->actions().size(), 2);
  ASSERT_TRUE(QFile::remove(EqFile("gone")));
  TMessageBoxRecorder Boxes;
  Entry(Form->Delete1, "gone")->trigger();
  ASSERT_EQ(Boxes.Calls.size(), 1);
  EXPECT_EQ(Boxes.Calls[0].Text, "Unable to delete preset");
  EXPECT_EQ(Boxes.Calls[0].Caption, "Error");
  EXPECT_EQ(Boxes.Calls[0].Flags, MB_ICONERROR);
  EXPECT_EQ(Captions(Form->Delete1), QStringList{"kept"});
}

TEST_F(EqWindowTest, OneWindowAtATimeThroughTheRegistry)
{
  RegisterStageWindows();
  TDSPItemC* Second = Chain.Add();
  Second->SetT(dspIntegrated);
  Second->SetIntDSPKind(dspEqualizer);

  ASSERT_TRUE(OpenStageWindow(dspEqualizer, Item, nullptr));
  QPointer<TEqDSPFrm> First = TEqDSPFrm::OpenWindow();
  ASSERT_TRUE(First);
  EXPECT_TRUE(First->isVisible());
  EXPECT_EQ(First->windowTitle(), "Equalizer");
  EXPECT_EQ(First->D, Item);

  OpenStageWindow(dspEqualizer, Second, nullptr);
  EXPECT_FALSE(First); // the first window is gone
  ASSERT_TRUE(TEqDSPFrm::OpenWindow());
  EXPECT_EQ(TEqDSPFrm::OpenWindow()->D, Second);

  ASSERT_TRUE(CloseStageWindow(dspEqualizer));
  EXPECT_EQ(TEqDSPFrm::OpenWindow(), nullptr);

  // OK closes (and frees) the window; the stage keeps what was changed.
  OpenStageWindow(dspEqualizer, Item, nullptr);
  QPointer<TEqDSPFrm> Open = TEqDSPFrm::OpenWindow();
  Open->TrackBar[0]->SetPosition(-1);
  Open->Button1->click();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_FALSE(Open);
  EXPECT_EQ(TEqDSPFrm::OpenWindow(), nullptr);
  EXPECT_EQ(Item->Params().at(0), "1");

  // Escape closes it as well.
  OpenStageWindow(dspEqualizer, Item, nullptr);
  Open = TEqDSPFrm::OpenWindow();
  QTest::keyClick(Open, Qt::Key_Escape);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_FALSE(Open);
}

} // namespace
