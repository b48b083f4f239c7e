// The VST parameter window against our own test plug-in (bin/VST/vexmo_testgain.so) through the
// real bridge: the text interface's rows, names, value texts, and values set from the sliders.
#include "stage_window_fixture.h"

#include "dsp/vst_binding.h"
#include "dsp_ui/dsp_window_registry.h"
#include "dsp_ui/kel_track_bar.h"
#include "dsp_ui/stage_windows.h"
#include "dsp_ui/vst_param_frm.h"

#include <QAccessible>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QScrollArea>
#include <QTest>

#include <memory>

namespace {

class VstParamWindowTest : public TStageWindowTest
{
protected:
  void SetUp() override
  {
    TStageWindowTest::SetUp();
    FWasBound = VSTBound();
    FPreviousBridge =
        SetVSTBridgeFallbackName(QStringLiteral(VEXMO_BIN_DIR) + QStringLiteral("libbass_vst.so"));
    ASSERT_TRUE(BindVST()) << VSTBindError().toStdString();
    const QString Path = QStringLiteral(VEXMO_BIN_DIR) + QStringLiteral("VST/vexmo_testgain.so");
    Item = Chain.Add();
    Item->SetT(dspPlugin);
    Item->SetPluginType(ptVST);
    Item->SetPluginPath(Path);
    Item->H = VST().ChannelSetDSP(0, Path.utf16(), BASS_UNICODE, 49);
    ASSERT_NE(Item->H, 0u);
  }

  void TearDown() override
  {
    if (Item && Item->H != 0 && VSTBound()) {
      Item->Frm.reset();
      VST().ChannelRemoveDSP(0, Item->H);
    }
    SetVSTBridgeFallbackName(FPreviousBridge);
    if (!FWasBound)
      UnbindVST();
    TStageWindowTest::TearDown();
  }

  TFrmVSTParam* TextWindow()
  {
    RegisterStageWindows();
    std::unique_ptr<QWidget> Made = VSTParamWindowFactory()(Item, true, nullptr);
    auto* Form = qobject_cast<TFrmVSTParam*>(Made.get());
    Item->Frm = std::move(Made);
    return Form;
  }

  TDSPItemsC Chain;
  TDSPItemC* Item = nullptr;

private:
  QString FPreviousBridge;
  bool FWasBound = false;
};

TEST_F(VstParamWindowTest, TextInterfaceRows)
{
  TFrmVSTParam* Form = TextWindow();
  ASSERT_NE(Form, nullptr);
  Form->show();
  EXPECT_EQ(Form->windowTitle(), "VST");
  EXPECT_EQ(Form->H, Item->H);
  ASSERT_EQ(Form->UI.size(), 3u);

  const struct
  {
    const char* Name;
    const char* Value;
    int Position;
  } Rows[] = {{"Gain", "0.0 dB", 500}, {"Pan", "C", 500}, {"Mix", "100 %", 1000}};
  int PreviousTop = -1;
  for (size_t i = 0; i < 3; ++i) {
    const TVSTUI& Row = Form->UI[i];
    ASSERT_TRUE(Row.Name && Row.Track && Row.Val) << i;
    EXPECT_EQ(Row.Name->text(), Rows[i].Name);
    EXPECT_EQ(Row.Val->text(), Rows[i].Value);
    // The slider starts where the parameter is.
    EXPECT_EQ(Row.Track->Position(), Rows[i].Position);
    EXPECT_EQ(Row.Track->Min(), 0);
    EXPECT_EQ(Row.Track->Max(), 1000);
    EXPECT_EQ(Row.Track->Tag(), int(i));
    EXPECT_GT(Row.Track->y(), PreviousTop);
    EXPECT_EQ(Row.Track->y(), Row.Name->y());
    EXPECT_GT(Row.Track->x(), Row.Name->x());
    EXPECT_GT(Row.Val->x(), Row.Track->x() + Row.Track->width() - 1);
    PreviousTop = Row.Track->y();
  }
  // Nothing was sent to the plug-in by building the rows.
  EXPECT_FLOAT_EQ(VST().GetParam(Item->H, 0), 0.5f);
  EXPECT_FLOAT_EQ(VST().GetParam(Item->H, 2), 1.0f);
}

TEST_F(VstParamWindowTest, MovingASliderSetsTheParameter)
{
  TFrmVSTParam* Form = TextWindow();
  Form->show();
  TKelTrackBar* Gain = Form->UI[0].Track;

  Gain->SetPosition(750);
  EXPECT_FLOAT_EQ(VST().GetParam(Item->H, 0), 0.75f);
  EXPECT_EQ(Form->UI[0].Val->text(), "12.0 dB");
  QAccessibleInterface* Access = QAccessible::queryAccessibleInterface(Gain);
  ASSERT_NE(Access, nullptr);
  EXPECT_EQ(Access->text(QAccessible::Name), "Gain");
  EXPECT_EQ(Access->text(QAccessible::Value), "12.0 dB");

  Gain->SetPosition(Gain->Min());
  EXPECT_FLOAT_EQ(VST().GetParam(Item->H, 0), 0.0f);
  EXPECT_EQ(Form->UI[0].Val->text(), "-24.0 dB");

  // Keyboard: a step is a hundredth of the range.
  TKelTrackBar* Pan = Form->UI[1].Track;
  Pan->setFocus();
  QTest::keyClick(Pan, Qt::Key_Right);
  EXPECT_NEAR(VST().GetParam(Item->H, 1), 0.51f, 1e-6);
  EXPECT_EQ(Form->UI[1].Val->text(), "R2");
  QTest::keyClick(Pan, Qt::Key_PageDown);
  EXPECT_NEAR(VST().GetParam(Item->H, 1), 0.41f, 1e-6);
  EXPECT_EQ(Form->UI[1].Val->text(), "L18");
}

TEST_F(VstParamWindowTest, ClosingOnlyHides)
{
  TFrmVSTParam* Form = TextWindow();
  Form->show();
  Form->close();
  EXPECT_TRUE(Form->isHidden());
  EXPECT_EQ(Item->Frm.get(), Form);
  Form->show();
  EXPECT_EQ(Form->UI.size(), 3u);
}

TEST_F(VstParamWindowTest, EditorWindowTakesThePluginsSize)
{
  BASS_VST_INFO Info{};
  ASSERT_TRUE(VST().GetInfo(Item->H, &Info));
  ASSERT_TRUE(Info.hasEditor);
  std::unique_ptr<QWidget> Made = CreateVSTParamWindow(Item, false, nullptr);
  auto* Form = qobject_cast<TFrmVSTParam*>(Made.get());
  ASSERT_NE(Form, nullptr);
  // Without a display the plug-in cannot tell its editor's size: 600 for each side it leaves
  // open.
  EXPECT_EQ(Form->width(), Info.editorWidth ? int(Info.editorWidth) : 600);
  EXPECT_EQ(Form->height(), Info.editorHeight ? int(Info.editorHeight) : 600);
  EXPECT_TRUE(Form->UI.empty());
}

TEST_F(VstParamWindowTest, AnEditorThatCannotOpenGivesWayToTheParameterList)
{
  // Without an X display the bridge finds no window to put the editor in.
  if (QGuiApplication::platformName() == QLatin1String("xcb"))
    GTEST_SKIP() << "the editor opens under X; this case runs on the offscreen platform";
  Item->Frm = CreateVSTParamWindow(Item, false, nullptr);
  auto* Form = qobject_cast<TFrmVSTParam*>(Item->Frm.get());
  ASSERT_NE(Form, nullptr);
  Form->show();
  QDeadlineTimer Deadline(5000);
  while (Form->UI.empty() && !Deadline.hasExpired())
    QTest::qWait(20);
  EXPECT_FALSE(Form->EditorEmbedded());
  ASSERT_EQ(Form->UI.size(), 3u);
  auto* Note = Form->findChild<QLabel*>(QStringLiteral("lbEditorFailed"));
  ASSERT_NE(Note, nullptr);
  EXPECT_TRUE(Note->isVisible());
  EXPECT_TRUE(
      Note->text().startsWith(QStringLiteral("The plugin's own window could not be opened")));
  // The list works: the slider sets the plug-in's parameter.
  Form->UI[0].Track->SetPosition(250);
  EXPECT_FLOAT_EQ(VST().GetParam(Item->H, 0), 0.25f);
}

TEST_F(VstParamWindowTest, NoParametersWithoutAHandle)
{
  TFrmVSTParam Form;
  Form.H = 0;
  Form.BuildVSTTextUI();
  EXPECT_TRUE(Form.UI.empty());
}

} // namespace

// The plug-in's own editor inside the window. Needs a real X display (the xcb platform); ctest
// runs it under xvfb-run, elsewhere it is skipped.
TEST_F(VstParamWindowTest, EditorEmbeddedUnderX11)
{
  if (QGuiApplication::platformName() != QLatin1String("xcb"))
    GTEST_SKIP() << "needs the xcb platform on an X server";
  BASS_VST_INFO Info{};
  ASSERT_TRUE(VST().GetInfo(Item->H, &Info));
  EXPECT_EQ(Info.editorWidth, 320u);
  EXPECT_EQ(Info.editorHeight, 200u);

  Item->Frm = CreateVSTParamWindow(Item, false, nullptr);
  auto* Form = qobject_cast<TFrmVSTParam*>(Item->Frm.get());
  ASSERT_NE(Form, nullptr);
  EXPECT_EQ(Form->size(), QSize(320, 200));
  Form->show();
  QDeadlineTimer Deadline(5000);
  while (!Form->EditorEmbedded() && !Deadline.hasExpired())
    QTest::qWait(20);
  ASSERT_TRUE(Form->EditorEmbedded());

  // Hidden and shown again, the same editor stays in it.
  Form->close();
  EXPECT_TRUE(Form->isHidden());
  Form->show();
  EXPECT_TRUE(Form->EditorEmbedded());

  // The window takes the editor out before it goes; the plug-in then closes cleanly.
  Item->Frm.reset();
  EXPECT_TRUE(VST().ChannelRemoveDSP(0, Item->H));
  Item->H = 0;
}
