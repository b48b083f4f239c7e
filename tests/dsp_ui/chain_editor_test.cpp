// The chain editor: ticking and unticking stages, grey rows of switched-off plug-in families,
// moving with re-selection, removing (with the stage windows it must close), configuring built-in
// and VST stages, adding from the add dialog, the permission hook, keyboard use and DPI scaling.
#include "chain_ui_fixture.h"

#include "dsp_ui/compressor_dsp_frm.h"
#include "dsp_ui/dsp_list_frm.h"
#include "dsp_ui/eq_dsp_frm.h"
#include "dsp_ui/gain_dsp_frm.h"
#include "dsp_ui/stage_windows.h"
#include "dsp_ui/vst_param_frm.h"
#include "ui_common/screen_utils.h"

#include <QFileInfo>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QToolButton>
#include <array>

using namespace chainui;

namespace {

const QString PluginsOffText = QStringLiteral(
    "Plugins of this type are turned off. Please click the \"+\" button and turn on plugins "
    "(VST or Winamp DSP).");

void DeleteLaterNow()
{
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

class TChainEditorTest : public TChainUiTest
{
protected:
  // Stand-ins for the equalizer, compressor and gain windows, keeping their rules: one window
  // per kind, a new Open replaces the open one. Real top-level widgets, so closing is real.
  struct TKindWindows
  {
    QPointer<QWidget> Window;
    TDSPItemC* Item = nullptr;
    QWidget* Owner = nullptr;
    int Opens = 0;
  };

  void RegisterKindWindows()
  {
    for (TIntDSPKind Kind : {dspEqualizer, dspCompressor, dspGain}) {
      TKindWindows& Kinds = Windows[Kind];
      RegisterStageWindow(Kind, {[&Kinds](TDSPItemC* AItem, QWidget* AOwner) {
                                   delete Kinds.Window;
                                   Kinds.Window = new QWidget;
                                   Kinds.Window->setAttribute(Qt::WA_DeleteOnClose);
                                   Kinds.Window->show();
                                   Kinds.Item = AItem;
                                   Kinds.Owner = AOwner;
                                   ++Kinds.Opens;
                                 },
                                 [&Kinds] {
                                   if (Kinds.Window)
                                     Kinds.Window->close();
                                   DeleteLaterNow();
                                 }});
    }
  }

  void TearDown() override
  {
    for (TKindWindows& Kinds : Windows)
      delete Kinds.Window;
    TChainUiTest::TearDown();
  }

  std::array<TKindWindows, 3> Windows;
};

TEST_F(TChainEditorTest, APluginOfASwitchedOffFamilyCannotBeTickedAndIsGrey)
{
  struct TCase
  {
    TPluginType Type;
    QString Path;
  };
  const TCase Cases[] = {{ptVST, TestGainPath()}, {ptDSP, QStringLiteral("dsp_echo.so")}};
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Path.toStdString());
    List.Clear();
    Boxes.Calls.clear();
    AddBuiltIn(dspEqualizer);
    TDSPItemC* Plugin = AddPlugin(Case.Type, Case.Path);
    Frame->UpdateDSPListView();
    EXPECT_FALSE(RowGrey(0));
    EXPECT_TRUE(RowGrey(1));

    ToggleRow(1);
    ASSERT_EQ(Boxes.Calls.size(), 1);
    EXPECT_EQ(Boxes.Calls[0].Text, PluginsOffText);
    EXPECT_EQ(Boxes.Calls[0].Caption, QStringLiteral("Plugins"));
    EXPECT_EQ(Boxes.Calls[0].Flags, MB_ICONWARNING);
    EXPECT_FALSE(RowChecked(1));
    EXPECT_EQ(Plugin->State(), psOff);
    EXPECT_EQ(Plugin->H, 0u);

    // Built-in stages are never grey and always tick.
    ToggleRow(0);
    EXPECT_TRUE(RowChecked(0));
    EXPECT_EQ(List.Items(0)->State(), psActive);
    EXPECT_EQ(Boxes.Calls.size(), 1);
    ToggleRow(0);
  }

  // A family switched on is drawn normally at once.
  Settings.SetAllowWinampPlugins(true);
  EXPECT_FALSE(RowGrey(1));
  Settings.SetAllowWinampPlugins(false);
  EXPECT_TRUE(RowGrey(1));
}

TEST_F(TChainEditorTest, TickingStartsAStageAndUntickingStopsIt)
{
  SwitchVSTOn();
  TDSPItemC* Gain = AddBuiltIn(dspGain);
  TDSPItemC* Vst = AddPlugin(ptVST, TestGainPath());
  Frame->UpdateDSPListView();

  ToggleRow(0);
  EXPECT_EQ(Gain->State(), psActive);
  EXPECT_NE(Gain->IntDsp, nullptr);
  EXPECT_TRUE(RowChecked(0));
  ToggleRow(1);
  EXPECT_EQ(Vst->State(), psActive);
  EXPECT_NE(Vst->H, 0u);
  EXPECT_TRUE(RowChecked(1));
  EXPECT_FALSE(RowGrey(1));

  ToggleRow(0);
  EXPECT_EQ(Gain->State(), psOff);
  EXPECT_EQ(Gain->IntDsp, nullptr);
  ToggleRow(1);
  EXPECT_EQ(Vst->State(), psOff);
  EXPECT_EQ(Vst->H, 0u);
  EXPECT_FALSE(RowChecked(0));
  EXPECT_FALSE(RowChecked(1));
  EXPECT_TRUE(Boxes.Calls.isEmpty());
}

TEST_F(TChainEditorTest, MoveKeepsTheEntrySelectedAndRestartsTheChain)
{
  AddBuiltIn(dspEqualizer, psActive);
  AddBuiltIn(dspCompressor);
  AddBuiltIn(dspGain, psActive);
  Frame->UpdateDSPListView();

  Select(2);
  Frame->btDSPUp->click();
  EXPECT_EQ(ChainNames(), QStringList({"Equalizer", "Gain", "Compressor"}));
  EXPECT_EQ(RowNames(), ChainNames());
  EXPECT_EQ(Frame->SelectedIndex(), 1);
  Frame->btDSPUp->click();
  EXPECT_EQ(ChainNames(), QStringList({"Gain", "Equalizer", "Compressor"}));
  EXPECT_EQ(Frame->SelectedIndex(), 0);
  // The restart started exactly the stages marked on.
  EXPECT_NE(List.Items(0)->IntDsp, nullptr);
  EXPECT_NE(List.Items(1)->IntDsp, nullptr);
  EXPECT_EQ(List.Items(2)->IntDsp, nullptr);
  EXPECT_TRUE(RowChecked(0));
  EXPECT_TRUE(RowChecked(1));
  EXPECT_FALSE(RowChecked(2));

  // Past either end nothing moves.
  Frame->btDSPUp->click();
  EXPECT_EQ(ChainNames(), QStringList({"Gain", "Equalizer", "Compressor"}));
  Select(2);
  Frame->btDSPDown->click();
  EXPECT_EQ(ChainNames(), QStringList({"Gain", "Equalizer", "Compressor"}));
  Frame->btDSPUp->click();
  Frame->btDSPDown->click();
  EXPECT_EQ(ChainNames(), QStringList({"Gain", "Equalizer", "Compressor"}));
  EXPECT_EQ(Frame->SelectedIndex(), 2);
}

TEST_F(TChainEditorTest, WithoutASelectedRowTheButtonsDoNothing)
{
  RegisterKindWindows();
  AddBuiltIn(dspEqualizer, psActive);
  AddBuiltIn(dspGain);
  Frame->UpdateDSPListView();
  ASSERT_EQ(Frame->SelectedIndex(), -1);

  for (QToolButton* Button :
       {Frame->btDSPUp, Frame->btDSPDown, Frame->btDSPRemove, Frame->btDSPConfig})
    Button->click();
  EXPECT_EQ(ChainNames(), QStringList({"Equalizer", "Gain"}));
  for (const TKindWindows& Kinds : Windows)
    EXPECT_EQ(Kinds.Opens, 0);
}

TEST_F(TChainEditorTest, ConfigureOpensTheKindsWindowAndRemoveClosesIt)
{
  RegisterKindWindows();
  TDSPItemC* FirstEq = AddBuiltIn(dspEqualizer, psActive);
  TDSPItemC* SecondEq = AddBuiltIn(dspEqualizer);
  TDSPItemC* Compressor = AddBuiltIn(dspCompressor);
  Frame->UpdateDSPListView();

  Select(0);
  Frame->btDSPConfig->click();
  ASSERT_TRUE(Windows[dspEqualizer].Window);
  EXPECT_EQ(Windows[dspEqualizer].Item, FirstEq);
  EXPECT_EQ(Windows[dspEqualizer].Owner, Frame->window());
  Select(2);
  Frame->btDSPConfig->click();
  ASSERT_TRUE(Windows[dspCompressor].Window);
  EXPECT_EQ(Windows[dspCompressor].Item, Compressor);

  // Removing the second equalizer closes the equalizer window, although it edits the first.
  Select(1);
  Frame->btDSPRemove->click();
  EXPECT_FALSE(Windows[dspEqualizer].Window);
  EXPECT_TRUE(Windows[dspCompressor].Window);
  EXPECT_EQ(ChainNames(), QStringList({"Equalizer", "Compressor"}));
  EXPECT_EQ(List.IndexOf(SecondEq), -1);

  // Removing a running stage stops it; nothing is asked.
  Select(1);
  Frame->btDSPRemove->click();
  EXPECT_FALSE(Windows[dspCompressor].Window);
  Select(0);
  Frame->btDSPRemove->click();
  EXPECT_EQ(List.Count(), 0);
  EXPECT_EQ(RowCount(), 0);
  EXPECT_TRUE(Boxes.Calls.isEmpty());
}

TEST_F(TChainEditorTest, ConfigureOnARunningVSTStageBringsBackTheSameWindow)
{
  SwitchVSTOn();
  int Built = 0;
  bool TextUI = false;
  RegisterVSTParamWindow([&](TDSPItemC* AItem, bool AUseTextUI, QWidget*) {
    ++Built;
    TextUI = AUseTextUI;
    auto Window = std::make_unique<QWidget>();
    Window->setWindowTitle(AItem->DispName());
    return Window;
  });
  Frame->SetVSTUseTextUI(true);
  TDSPItemC* Vst = AddPlugin(ptVST, TestGainPath());
  Frame->UpdateDSPListView();

  // Not running: no instance to show, and the user is told why.
  Select(0);
  Frame->btDSPConfig->click();
  EXPECT_EQ(Built, 0);
  EXPECT_EQ(Vst->Frm, nullptr);
  ASSERT_EQ(Boxes.Calls.size(), 1);
  EXPECT_EQ(Boxes.Calls[0].Text, QStringLiteral("This VST plugin is not running. Tick its box "
                                                "to switch it on, then configure it."));
  EXPECT_EQ(Boxes.Calls[0].Caption, QStringLiteral("VST"));
  Boxes.Calls.clear();

  ToggleRow(0);
  ASSERT_NE(Vst->H, 0u);
  Select(0);
  Frame->btDSPConfig->click();
  ASSERT_EQ(Built, 1);
  EXPECT_TRUE(TextUI);
  QPointer<QWidget> Window = qobject_cast<QWidget*>(Vst->Frm.get());
  ASSERT_TRUE(Window);
  EXPECT_TRUE(Window->isVisible());

  // Closed from its title bar it only hides; Configure shows the same one again.
  Window->close();
  Frame->btDSPConfig->click();
  EXPECT_EQ(Built, 1);
  EXPECT_EQ(Vst->Frm.get(), Window.data());
  EXPECT_TRUE(Window->isVisible());
  EXPECT_TRUE(Boxes.Calls.isEmpty());

  // Stopping the stage frees its window.
  ToggleRow(0);
  EXPECT_FALSE(Window);
}

TEST_F(TChainEditorTest, TheRealStageWindowsOpenAndCloseThroughTheEditor)
{
  RegisterStageWindows();
  SwitchVSTOn();
  Frame->SetVSTUseTextUI(true);
  TDSPItemC* Eq = AddBuiltIn(dspEqualizer, psActive);
  AddBuiltIn(dspCompressor);
  AddBuiltIn(dspGain);
  TDSPItemC* Vst = AddPlugin(ptVST, TestGainPath());
  Frame->UpdateDSPListView();

  const auto Configure = [this](int ARow) {
    Select(ARow);
    Frame->btDSPConfig->click();
  };
  Configure(0);
  QPointer<TEqDSPFrm> EqWindow = TEqDSPFrm::OpenWindow();
  ASSERT_TRUE(EqWindow);
  EXPECT_EQ(EqWindow->D, Eq);
  EXPECT_TRUE(EqWindow->isVisible());
  Configure(1);
  QPointer<TCompressorDSPFrm> CompressorWindow = TCompressorDSPFrm::OpenWindow();
  ASSERT_TRUE(CompressorWindow);
  Configure(2);
  QPointer<TGainDSPFrm> GainWindow = TGainDSPFrm::OpenWindow();
  ASSERT_TRUE(GainWindow);

  ToggleRow(3);
  Configure(3);
  QPointer<TFrmVSTParam> VstWindow = qobject_cast<TFrmVSTParam*>(Vst->Frm.get());
  ASSERT_TRUE(VstWindow);
  EXPECT_EQ(VstWindow->H, Vst->H);
  Configure(3);
  EXPECT_EQ(Vst->Frm.get(), VstWindow.data());

  // Remove closes the window of the removed entry's kind and only that one.
  Select(1);
  Frame->btDSPRemove->click();
  DeleteLaterNow();
  EXPECT_FALSE(CompressorWindow);
  EXPECT_TRUE(EqWindow);
  EXPECT_TRUE(GainWindow);
  Select(0);
  Frame->btDSPRemove->click();
  DeleteLaterNow();
  EXPECT_FALSE(EqWindow);
  EXPECT_EQ(TEqDSPFrm::OpenWindow(), nullptr);
  Select(0);
  Frame->btDSPRemove->click();
  DeleteLaterNow();
  EXPECT_FALSE(GainWindow);
  // The VST window goes with its stage.
  Select(0);
  Frame->btDSPRemove->click();
  EXPECT_FALSE(VstWindow);
  EXPECT_EQ(List.Count(), 0);
  EXPECT_TRUE(Boxes.Calls.isEmpty());
}

TEST_F(TChainEditorTest, AVSTPluginWithoutAnEditorSaysSoUnlessTheParameterListIsOn)
{
  const QString Path = QStringLiteral("/usr/lib/vst/MaBitcrush-vst.so");
  if (!QFileInfo::exists(Path))
    GTEST_SKIP() << "needs Debian's dpf-plugins-vst";
  SwitchVSTOn();
  int Built = 0;
  RegisterVSTParamWindow([&](TDSPItemC*, bool, QWidget*) {
    ++Built;
    return std::make_unique<QWidget>();
  });
  TDSPItemC* Vst = AddPlugin(ptVST, Path);
  Frame->UpdateDSPListView();
  ToggleRow(0);
  ASSERT_NE(Vst->H, 0u);

  Select(0);
  Frame->btDSPConfig->click();
  ASSERT_EQ(Boxes.Calls.size(), 1);
  EXPECT_EQ(Boxes.Calls[0].Text, QStringLiteral("No parameters window available"));
  EXPECT_EQ(Boxes.Calls[0].Caption, QStringLiteral("VST"));
  EXPECT_EQ(Boxes.Calls[0].Flags, MB_ICONINFORMATION);
  EXPECT_EQ(Built, 0);

  // The screen reader's parameter list needs no editor: it is offered instead.
  Frame->SetVSTUseTextUI(true);
  Frame->btDSPConfig->click();
  EXPECT_EQ(Boxes.Calls.size(), 1);
  EXPECT_EQ(Built, 1);
  EXPECT_NE(Vst->Frm, nullptr);
}

TEST_F(TChainEditorTest, AddAppendsACopyOfTheChosenStageSwitchedOff)
{
  AddBuiltIn(dspGain, psActive);
  Frame->UpdateDSPListView();

  enum TAnswer
  {
    OkWithRow,
    OkWithoutRow,
    Cancel
  };
  struct TCase
  {
    TAnswer Answer;
    QStringList Chain;
  };
  const TCase Cases[] = {
      {OkWithRow, {"Gain", "Compressor"}},
      {OkWithoutRow, {"Gain", "Compressor"}},
      {Cancel, {"Gain", "Compressor"}},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(static_cast<int>(Case.Answer));
    Frame->btDSPAdd->click();
    QPointer<TDSPListFrm> Dialog = Frame->AddDialog();
    ASSERT_TRUE(Dialog);
    ASSERT_TRUE(Dialog->isVisible());
    EXPECT_EQ(Dialog->windowModality(), Qt::WindowModal);
    ASSERT_EQ(Dialog->ListView1->model()->rowCount(), 3);
    if (Case.Answer != OkWithoutRow)
      Dialog->ListView1->setCurrentIndex(Dialog->ListView1->model()->index(1, 0));
    (Case.Answer == Cancel ? Dialog->Button2 : Dialog->Button1)->click();
    DeleteLaterNow();
    EXPECT_FALSE(Dialog);
    EXPECT_EQ(ChainNames(), Case.Chain);
  }
  const TDSPItemC* Added = List.Items(1);
  EXPECT_EQ(Added->T(), dspIntegrated);
  EXPECT_EQ(Added->IntDSPKind(), dspCompressor);
  EXPECT_EQ(Added->State(), psOff);
  EXPECT_TRUE(Added->Params().isEmpty());
  EXPECT_EQ(Added->IntDsp, nullptr);
  EXPECT_EQ(RowNames(), ChainNames());
  EXPECT_TRUE(RowChecked(0));
  EXPECT_FALSE(RowChecked(1));
}

TEST_F(TChainEditorTest, APermissionHookThatSaysNoStopsEveryEdit)
{
  RegisterKindWindows();
  int Asked = 0;
  Frame->UACCallback = [&Asked] {
    ++Asked;
    return false;
  };
  AddBuiltIn(dspEqualizer);
  AddBuiltIn(dspGain);
  Frame->UpdateDSPListView();
  Select(1);
  for (QToolButton* Button : {Frame->btDSPAdd, Frame->btDSPRemove, Frame->btDSPUp, Frame->btDSPDown,
                              Frame->btDSPConfig}) {
    Button->click();
    Select(1);
  }
  EXPECT_EQ(Asked, 5);
  EXPECT_EQ(Frame->AddDialog(), nullptr);
  EXPECT_EQ(ChainNames(), QStringList({"Equalizer", "Gain"}));
  EXPECT_EQ(Windows[dspGain].Opens, 0);
  // Ticking is not an edit the hook guards.
  ToggleRow(1);
  EXPECT_EQ(List.Items(1)->State(), psActive);
}

TEST_F(TChainEditorTest, TheKeyboardAloneEditsTheChain)
{
  RegisterKindWindows();
  AddBuiltIn(dspEqualizer);
  AddBuiltIn(dspGain);
  Frame->UpdateDSPListView();
  Frame->show();
  Frame->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(Frame.get()));
  QListView* View = Frame->lDSP;
  View->setFocus();

  Select(1);
  QTest::keyClick(View, Qt::Key_Up, Qt::ControlModifier);
  EXPECT_EQ(ChainNames(), QStringList({"Gain", "Equalizer"}));
  EXPECT_EQ(Frame->SelectedIndex(), 0);
  QTest::keyClick(View, Qt::Key_Return);
  EXPECT_EQ(Windows[dspGain].Opens, 1);
  QTest::keyClick(View, Qt::Key_Space);
  EXPECT_EQ(List.Items(0)->State(), psActive);
  Select(1);
  QTest::keyClick(View, Qt::Key_Delete);
  EXPECT_EQ(ChainNames(), QStringList({"Gain"}));
  QTest::keyClick(View, Qt::Key_Insert);
  ASSERT_NE(Frame->AddDialog(), nullptr);
  Frame->AddDialog()->reject();
  DeleteLaterNow();

  // Tab goes from the list through the buttons in their order, each named for screen readers.
  QWidget* Expected[] = {Frame->btDSPConfig, Frame->btDSPAdd, Frame->btDSPRemove, Frame->btDSPUp,
                         Frame->btDSPDown};
  const char* Names[] = {"Configure", "Add", "Remove", "Move up", "Move down"};
  QWidget* Current = View;
  for (int i = 0; i < 5; ++i) {
    Current = Current->nextInFocusChain();
    while (!(Current->focusPolicy() & Qt::TabFocus))
      Current = Current->nextInFocusChain();
    EXPECT_EQ(Current, Expected[i]) << Names[i];
    EXPECT_EQ(Current->accessibleName(), QLatin1String(Names[i]));
    EXPECT_EQ(Current->toolTip(), QLatin1String(Names[i]));
  }
}

TEST_F(TChainEditorTest, ATickKeepsTheSelectionAndTheKeyboardPosition)
{
  AddBuiltIn(dspEqualizer);
  AddBuiltIn(dspCompressor);
  AddBuiltIn(dspGain);
  Frame->UpdateDSPListView();
  Frame->resize(300, 200);
  Frame->show();
  Frame->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(Frame.get()));
  QListView* View = Frame->lDSP;
  View->setFocus();

  // The compressor's row is clicked, then its check box: the row stays selected, so the buttons
  // act on it.
  QStyleOptionViewItem Option;
  Option.initFrom(View);
  Option.rect = View->visualRect(Rows()->index(1, 0));
  Option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
  const QRect Box =
      View->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &Option, View);
  ASSERT_TRUE(Box.isValid());
  QTest::mouseClick(View->viewport(), Qt::LeftButton, {}, Option.rect.center());
  ASSERT_EQ(Frame->SelectedIndex(), 1);
  QTest::mouseClick(View->viewport(), Qt::LeftButton, {}, Box.center());
  EXPECT_EQ(List.Items(1)->State(), psActive);
  EXPECT_TRUE(RowChecked(1));
  EXPECT_EQ(Frame->SelectedIndex(), 1);
  Frame->btDSPDown->click();
  EXPECT_EQ(ChainNames(), QStringList({"Equalizer", "Gain", "Compressor"}));

  // Space ticks the current row and the keyboard stays there: Down goes on to the next row.
  Select(0);
  QTest::keyClick(View, Qt::Key_Space);
  EXPECT_EQ(List.Items(0)->State(), psActive);
  EXPECT_EQ(View->currentIndex().row(), 0);
  EXPECT_EQ(Frame->SelectedIndex(), 0);
  QTest::keyClick(View, Qt::Key_Down);
  EXPECT_EQ(View->currentIndex().row(), 1);
  QTest::keyClick(View, Qt::Key_Space);
  EXPECT_EQ(List.Items(1)->State(), psActive);
  Frame->btDSPRemove->click();
  EXPECT_EQ(ChainNames(), QStringList({"Equalizer", "Compressor"}));
  EXPECT_TRUE(Boxes.Calls.isEmpty());
}

TEST_F(TChainEditorTest, ButtonsGrowWithTheScreensDpi)
{
  SetDpiReaderForTesting([](QScreen*) { return 144; });
  TDSPManagerFr Large;
  SetDpiReaderForTesting({});
  EXPECT_EQ(Large.btDSPAdd->size(), QSize(38, 38));
  EXPECT_EQ(Frame->btDSPAdd->size(), QSize(25, 25));
}

} // namespace
