// The compressor and gain windows on real widgets: first-open values, Params lines in their
// number form, the ratio's accessible value, the running effects, and compressor presets through
// the menus in a temporary data folder.
#include "stage_window_fixture.h"

#include "audio/bass.h"
#include "audio/bass_fx.h"
#include "base/ini_file.h"
#include "dsp/dsp_manager.h"
#include "dsp/integrated_dsp.h"
#include "dsp/presets.h"
#include "dsp_ui/compressor_dsp_frm.h"
#include "dsp_ui/dsp_window_registry.h"
#include "dsp_ui/gain_dsp_frm.h"
#include "dsp_ui/l_bar.h"
#include "dsp_ui/preset_manager.h"
#include "dsp_ui/stage_windows.h"
#include "support/message_box_recorder.h"

#include <QAccessible>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <memory>

namespace {

class CompressorWindowTest : public TStageWindowTest
{
protected:
  void SetUp() override
  {
    TStageWindowTest::SetUp();
    Item = Chain.Add();
    Item->SetT(dspIntegrated);
    Item->SetIntDSPKind(dspCompressor);
  }

  void TearDown() override
  {
    Form.reset();
    TStageWindowTest::TearDown();
  }

  TCompressorDSPFrm* Show()
  {
    Form = std::make_unique<TCompressorDSPFrm>(Item);
    Form->setAttribute(Qt::WA_DeleteOnClose, false);
    Form->show();
    return Form.get();
  }

  QStringList Shown() const
  {
    QStringList Result;
    for (const TLBar* Bar :
         {Form->cpGain, Form->cpThres, Form->cpRatio, Form->cpAttack, Form->cpRelease})
      Result.append(Bar->Label2()->text());
    return Result;
  }

  QString CmpFile(const QString& AName) const
  {
    return DataFolder + QStringLiteral("Presets/Compressor/") + AName + QStringLiteral(".cmp");
  }

  TDSPItemsC Chain;
  TDSPItemC* Item = nullptr;
  std::unique_ptr<TCompressorDSPFrm> Form;
};

TEST_F(CompressorWindowTest, NewStageShowsTheStartingValuesAndWritesOnFirstMove)
{
  Show();
  EXPECT_EQ(Shown(), (QStringList{"4 dB", "-16 dB", "5.0 ", "10 ms", "200 ms"}));
  EXPECT_EQ(Form->cpRatio->Min(), 10);
  EXPECT_EQ(Form->cpRatio->Max(), 200);
  EXPECT_TRUE(Item->Params().isEmpty());

  Form->cpRatio->SetPosition(13);
  EXPECT_EQ(Item->Params(), (QStringList{"4", "-16", "1.29999995231628", "10", "200"}));
  QAccessibleInterface* Ratio = QAccessible::queryAccessibleInterface(Form->cpRatio);
  ASSERT_NE(Ratio, nullptr);
  EXPECT_EQ(Ratio->text(QAccessible::Name), "Ratio");
  EXPECT_EQ(Ratio->text(QAccessible::Value), "1.3");
  EXPECT_EQ(QAccessible::queryAccessibleInterface(Form->cpAttack)->text(QAccessible::Name),
            "Attack");

  // One arrow step is one unit of the last decimal.
  Form->cpAttack->setFocus();
  QTest::keyClick(Form->cpAttack, Qt::Key_Right);
  EXPECT_EQ(Item->Params().at(3), "11");
}

TEST_F(CompressorWindowTest, StoredValuesOrStartingValues)
{
  const struct
  {
    QStringList Params;
    QStringList Shown;
  } Cases[] = {
      {{"-3", "-20", "2.5", "50", "1000"}, {"-3 dB", "-20 dB", "2.5 ", "50 ms", "1000 ms"}},
      // A line that does not parse is 0, which the slider raises to its minimum.
      {{"6", "x", "oops", "5", "300"}, {"6 dB", "0 dB", "1.0 ", "5 ms", "300 ms"}},
      // Wrong length: the starting values, and Params is left alone.
      {{"1", "2", "3", "4"}, {"4 dB", "-16 dB", "5.0 ", "10 ms", "200 ms"}},
      {{"1", "2", "3", "4", "5", "6"}, {"4 dB", "-16 dB", "5.0 ", "10 ms", "200 ms"}},
  };
  for (const auto& Case : Cases) {
    Item->SetParams(Case.Params);
    Show();
    EXPECT_EQ(Shown(), Case.Shown) << Case.Params.join(',').toStdString();
    EXPECT_EQ(Item->Params(), Case.Params);
  }
}

TEST_F(CompressorWindowTest, GainSliderEnds)
{
  Show();
  Form->cpGain->SetPosition(Form->cpGain->Min());
  EXPECT_EQ(Form->cpGain->Label2()->text(), "-30 dB");
  Form->cpGain->SetPosition(Form->cpGain->Max());
  EXPECT_EQ(Form->cpGain->Label2()->text(), "30 dB");
  EXPECT_EQ(Item->Params().at(0), "30");
}

TEST_F(CompressorWindowTest, ResetAndChangesReachTheRunningCompressor)
{
  const HSTREAM Stream = BASS_StreamCreate(44100, 2, 0, nullptr, nullptr);
  ASSERT_NE(Stream, 0u);
  TDSPManager Manager(QStringLiteral("Test"));
  Manager.SetDSPList(&Chain);
  Manager.SetWorkChannel(Stream);
  Item->SetState(psActive);
  Manager.StartDSP(0);
  ASSERT_TRUE(Item->IntDsp);
  const auto Current = [this] {
    BASS_BFX_COMPRESSOR2 Values{};
    EXPECT_TRUE(BASS_FXGetParameters(Item->IntDsp->HFX, &Values));
    return Values;
  };

  Item->SetParams({"1", "-5", "3", "20", "400"});
  Show();
  Form->cpThres->SetPosition(-25);
  BASS_BFX_COMPRESSOR2 Values = Current();
  EXPECT_FLOAT_EQ(Values.fGain, 1);
  EXPECT_FLOAT_EQ(Values.fThreshold, -25);
  EXPECT_FLOAT_EQ(Values.fRatio, 3);
  EXPECT_FLOAT_EQ(Values.fRelease, 400);

  Form->btReset->click();
  EXPECT_EQ(Item->Params(), (QStringList{"4", "-16", "5", "10", "200"}));
  Values = Current();
  EXPECT_FLOAT_EQ(Values.fGain, 4);
  EXPECT_FLOAT_EQ(Values.fThreshold, -16);
  EXPECT_FLOAT_EQ(Values.fRatio, 5);
  EXPECT_FLOAT_EQ(Values.fAttack, 10);
  EXPECT_FLOAT_EQ(Values.fRelease, 200);

  Form.reset();
  Manager.StopDSP(0);
  BASS_StreamFree(Stream);
}

TEST_F(CompressorWindowTest, PresetsThroughTheMenus)
{
  Show();
  ASSERT_EQ(Captions(Form->Load1), QStringList{"(no presets)"});

  // Saved right after opening a new stage: the values shown, not an empty parameter list.
  InputAnswers.append(QStringLiteral("Voice?"));
  Form->Save1->trigger();
  ASSERT_TRUE(QFile::exists(CmpFile("Voice")));
  EXPECT_EQ(Item->PresetName(), "Voice");
  EXPECT_EQ(*ReadCompressorPresetFile(CmpFile("Voice")),
            (TCompressorPresetValues{4, -16, 5, 10, 200}));
  const QString Block = TIniFile(CmpFile("Voice")).ReadString("Compressor", "Settings");
  EXPECT_EQ(Block.size(), 80);
  EXPECT_TRUE(Block.startsWith("0000000000001040")) << Block.toStdString(); // 4.0 as a double
  EXPECT_EQ(Captions(Form->Load1), QStringList{"Voice"});
  EXPECT_EQ(Captions(Form->Delete1), QStringList{"Voice"});

  // A preset written elsewhere, with a short block: missing values read 0.
  QString Error;
  ASSERT_TRUE(WriteCompressorPresetFile(CmpFile("Loud"),
                                        TCompressorPresetValues{-6, -24, 8, 3, 900}, Error))
      << Error.toStdString();
  Form->FPresetManager->UpdateMenus();
  Entry(Form->Load1, "Loud")->trigger();
  EXPECT_EQ(Shown(), (QStringList{"-6 dB", "-24 dB", "8.0 ", "3 ms", "900 ms"}));
  EXPECT_EQ(Item->Params(), (QStringList{"-6", "-24", "8", "3", "900"}));
  EXPECT_EQ(Item->PresetName(), "Loud");

  Entry(Form->Load1, "Voice")->trigger();
  EXPECT_EQ(Item->Params(), (QStringList{"4", "-16", "5", "10", "200"}));

  ASSERT_TRUE(TIniFile(CmpFile("Loud")).WriteString("Compressor", "Settings", "00000000000000C0"));
  Entry(Form->Load1, "Loud")->trigger();
  // Gain -2, the rest 0 and raised to the sliders' minimums.
  EXPECT_EQ(Shown(), (QStringList{"-2 dB", "0 dB", "1.0 ", "1 ms", "1 ms"}));

  Entry(Form->Delete1, "Loud")->trigger();
  EXPECT_FALSE(QFile::exists(CmpFile("Loud")));
  EXPECT_EQ(Captions(Form->Load1), QStringList{"Voice"});
}

TEST_F(CompressorWindowTest, SaveFailureIsShown)
{
  Show();
  ASSERT_TRUE(QDir().mkpath(DataFolder + "Presets"));
  {
    QFile Blocker(DataFolder + "Presets/Compressor");
    ASSERT_TRUE(Blocker.open(QIODevice::WriteOnly));
  }
  TMessageBoxRecorder Boxes;
  InputAnswers.append(QStringLiteral("x"));
  Form->Save1->trigger();
  ASSERT_EQ(Boxes.Calls.size(), 1);
  EXPECT_TRUE(Boxes.Calls[0].Text.startsWith("Unable to save preset: "));
  EXPECT_EQ(Boxes.Calls[0].Caption, "Error");
  EXPECT_EQ(Boxes.Calls[0].Flags, MB_ICONERROR);
  EXPECT_TRUE(Item->PresetName().isEmpty());
}

TEST_F(CompressorWindowTest, GainWindow)
{
  Item->SetIntDSPKind(dspGain);
  const HSTREAM Stream = BASS_StreamCreate(44100, 1, 0, nullptr, nullptr);
  TDSPManager Manager(QStringLiteral("Test"));
  Manager.SetDSPList(&Chain);
  Manager.SetWorkChannel(Stream);
  Item->SetState(psActive);
  Item->SetParams({"-7.5"});
  Manager.StartDSP(0);
  auto* Gain = dynamic_cast<TIntegratedDSPGain*>(Item->IntDsp.get());
  ASSERT_NE(Gain, nullptr);

  RegisterStageWindows();
  ASSERT_TRUE(OpenStageWindow(dspGain, Item, nullptr));
  QPointer<TGainDSPFrm> Window = TGainDSPFrm::OpenWindow();
  ASSERT_TRUE(Window);
  EXPECT_EQ(Window->windowTitle(), "Gain");
  EXPECT_EQ(Window->cpGain->Label2()->text(), "-8 dB"); // the nearest whole decibel, ties to even
  EXPECT_EQ(Item->Params(), QStringList{"-7.5"});

  Window->cpGain->SetPosition(12);
  EXPECT_EQ(Item->Params(), QStringList{"12"});
  EXPECT_DOUBLE_EQ(Gain->FData->Level.load(), 12.0);
  EXPECT_EQ(QAccessible::queryAccessibleInterface(Window->cpGain)->text(QAccessible::Name), "Gain");

  // Without exactly one line the window starts from 0.
  Item->SetParams({"3", "4"});
  OpenStageWindow(dspGain, Item, nullptr);
  EXPECT_FALSE(Window);
  Window = TGainDSPFrm::OpenWindow();
  EXPECT_EQ(Window->cpGain->Label2()->text(), "0 dB");
  EXPECT_EQ(Item->Params(), (QStringList{"3", "4"}));

  ASSERT_TRUE(CloseStageWindow(dspGain));
  EXPECT_FALSE(Window);
  Manager.StopDSP(0);
  BASS_StreamFree(Stream);
}

TEST_F(CompressorWindowTest, OneCompressorWindowAtATime)
{
  RegisterStageWindows();
  TDSPItemC* Second = Chain.Add();
  Second->SetT(dspIntegrated);
  Second->SetIntDSPKind(dspCompressor);
  OpenStageWindow(dspCompressor, Item, nullptr);
  QPointer<TCompressorDSPFrm> First = TCompressorDSPFrm::OpenWindow();
  ASSERT_TRUE(First);
  EXPECT_EQ(First->windowTitle(), "Compressor");
  OpenStageWindow(dspCompressor, Second, nullptr);
  EXPECT_FALSE(First);
  EXPECT_EQ(TCompressorDSPFrm::OpenWindow()->D, Second);
  CloseStageWindow(dspCompressor);
  EXPECT_EQ(TCompressorDSPFrm::OpenWindow(), nullptr);
}

} // namespace
