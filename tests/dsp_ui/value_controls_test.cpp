// The value controls of the DSP windows on real widgets (offscreen platform): number formats,
// rounding, notifications, keystroke filtering, stepping, and what assistive technology reads.
#include "dsp_ui/dpi_units.h"
#include "dsp_ui/float_edit.h"
#include "dsp_ui/kel_track_bar.h"
#include "dsp_ui/l_bar.h"
#include "dsp_ui/value_control_accessible.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLocale>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <stdexcept>

// Readable failure messages for texts.
static void PrintTo(const QString& AText, std::ostream* AStream)
{
  *AStream << '"' << AText.toStdString() << '"';
}

namespace {

class ValueControlsTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    FOldLocale = QLocale();
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    InstallValueControlAccessibility();
  }
  void TearDown() override { QLocale::setDefault(FOldLocale); }

  // A shown, active window, so that focus moves as it does for a user.
  void ShowActive(QWidget& AWindow)
  {
    AWindow.show();
    AWindow.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&AWindow));
  }

  static void Wheel(QWidget* AWidget, int ADelta)
  {
    const QPointF pos(AWidget->width() / 2.0, AWidget->height() / 2.0);
    QWheelEvent event(pos, AWidget->mapToGlobal(pos), QPoint(), QPoint(0, ADelta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(AWidget, &event);
  }

  QLocale FOldLocale;
};

// A TLBar set up the way the compressor and gain windows do it.
std::unique_ptr<TLBar> MakeBar(QWidget* AParent, int APrec, float AMin, float AMax,
                               const QString& AUnit, bool AShowSign = false)
{
  auto bar = std::make_unique<TLBar>(AParent);
  bar->BeginLoading();
  bar->SetLabelSpacing(0);
  bar->SetPrec(APrec);
  bar->SetMinValue(AMin);
  bar->SetMaxValue(AMax);
  bar->Set_unit(AUnit);
  bar->SetShowSign(AShowSign);
  bar->SetValue(AMin);
  bar->EndLoading();
  return bar;
}

// ---------------------------------------------------------------------------------------------
// TLBar

TEST_F(ValueControlsTest, LBarRangeAndLabelFollowPrecisionUnitAndSign)
{
  struct Case
  {
    int Prec;
    float Min, Max;
    const char* Unit;
    bool ShowSign;
    int Position;
    int ExpectedMin, ExpectedMax;
    const char* Label;
    double Value;
  };
  const Case cases[] = {
      {1, 1, 20, "", false, 15, 10, 200, "1.5 ", 1.5},
      {0, -30, 30, "dB", true, 0, -30, 30, "+0 dB", 0},
      {0, -30, 30, "dB", true, -3, -30, 30, "-3 dB", -3},
      {0, -30, 30, "dB", false, 30, -30, 30, "30 dB", 30},
      {0, 1, 2000, "ms", false, 200, 1, 2000, "200 ms", 200},
      {2, 0, 1, "x", true, 5, 0, 100, "+0.05 x", 0.05f},
      {1, 1, 20, "", false, 13, 10, 200, "1.3 ", 1.3f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Label);
    auto bar = MakeBar(nullptr, c.Prec, c.Min, c.Max, c.Unit, c.ShowSign);
    EXPECT_EQ(bar->Min(), c.ExpectedMin);
    EXPECT_EQ(bar->Max(), c.ExpectedMax);
    bar->SetPosition(c.Position);
    EXPECT_EQ(bar->Label2()->text(), QString::fromUtf8(c.Label));
    EXPECT_EQ(bar->Value(), static_cast<float>(c.Value));
  }
}

TEST_F(ValueControlsTest, LBarValueIsSinglePrecision)
{
  // The compressor writes the ratio as the float it holds: 1.3 is 1.29999995231628.
  auto bar = MakeBar(nullptr, 1, 1, 20, "");
  bar->SetPosition(13);
  EXPECT_EQ(QString::asprintf("%.15g", double(bar->Value())), "1.29999995231628");
}

TEST_F(ValueControlsTest, LBarLabelUsesTheUserDecimalSeparator)
{
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  auto bar = MakeBar(nullptr, 1, 1, 20, "");
  bar->SetPosition(25);
  EXPECT_EQ(bar->Label2()->text(), "2,5 ");
}

TEST_F(ValueControlsTest, LBarRoundsPositionsTiesToEven)
{
  struct Case
  {
    int Prec;
    float Min, Max;
    int ExpectedMin, ExpectedMax;
  };
  const Case ranges[] = {
      {1, 0.25f, 0.75f, 2, 8}, // 2.5 -> 2, 7.5 -> 8
      {0, -2.5f, 2.5f, -2, 2}, // halves go to the even neighbour, both signs
      {0, -1.5f, 3.5f, -2, 4},
      {1, 0.26f, 0.74f, 3, 7}, // not a tie: nearest
  };
  for (const Case& c : ranges) {
    SCOPED_TRACE(c.ExpectedMin);
    auto bar = MakeBar(nullptr, c.Prec, c.Min, c.Max, "");
    EXPECT_EQ(bar->Min(), c.ExpectedMin);
    EXPECT_EQ(bar->Max(), c.ExpectedMax);
  }

  auto bar = MakeBar(nullptr, 0, -10, 10, "dB");
  const std::pair<float, int> values[] = {{2.5f, 2}, {3.5f, 4}, {-2.5f, -2}, {-3.5f, -4},
                                          {0.5f, 0}, {1.5f, 2}, {4.4f, 4},   {4.6f, 5}};
  for (const auto& [value, position] : values) {
    bar->SetValue(value);
    EXPECT_EQ(bar->Position(), position) << value;
  }

  EXPECT_EQ(RoundHalfEven(1e12), INT_MAX);
  EXPECT_EQ(RoundHalfEven(-1e12), INT_MIN);
  EXPECT_EQ(RoundHalfEven(std::nan("")), 0);
}

TEST_F(ValueControlsTest, LBarValueSetterNotifiesOnceOrTwice)
{
  struct Case
  {
    const char* What;
    int StartPosition;
    float Assigned;
    int Notifications;
    float Value;
    int Position;
    const char* Label;
  };
  const Case cases[] = {
      // Position unchanged: Value keeps the exact number and the label is not redrawn.
      {"same position", 0, 0.4f, 1, 0.4f, 0, "0 dB"},
      {"moved", 0, 5, 2, 5, 5, "5 dB"},
      {"below the range", 0, -100, 2, -30, -30, "-30 dB"},
      {"above the range", 0, 100, 2, 30, 30, "30 dB"},
      // Already at the upper end: the number is still held to the range.
      {"above, at the end", 30, 100, 1, 30, 30, "30 dB"},
      {"below, at the end", -30, -31, 1, -30, -30, "-30 dB"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    auto bar = MakeBar(nullptr, 0, -30, 30, "dB");
    bar->SetPosition(c.StartPosition);
    int notifications = 0;
    int changes = 0;
    bar->SetOnValueChange([&](QObject* ASender) {
      EXPECT_EQ(ASender, bar.get());
      ++notifications;
    });
    bar->SetOnChange([&](QObject*) { ++changes; });
    bar->SetValue(c.Assigned);
    EXPECT_EQ(notifications, c.Notifications);
    EXPECT_EQ(changes, c.Notifications - 1);
    EXPECT_EQ(bar->Value(), c.Value);
    EXPECT_EQ(bar->Position(), c.Position);
    EXPECT_EQ(bar->Label2()->text(), c.Label);
  }
}

TEST_F(ValueControlsTest, LBarRefreshesLabelBeforeTheSliderChangeNotification)
{
  auto bar = MakeBar(nullptr, 1, 1, 20, "");
  QString labelSeen;
  float valueSeen = 0;
  bar->SetOnChange([&](QObject*) {
    labelSeen = bar->Label2()->text();
    valueSeen = bar->Value();
  });
  bar->SetPosition(42);
  EXPECT_EQ(labelSeen, "4.2 ");
  EXPECT_EQ(valueSeen, 4.2f);
}

TEST_F(ValueControlsTest, LBarRangeChangesClampThePosition)
{
  auto bar = MakeBar(nullptr, 0, 0, 10, "dB");
  bar->SetPosition(8);
  int notifications = 0;
  bar->SetOnValueChange([&](QObject*) { ++notifications; });
  bar->SetMaxValue(5); // position clamped: label refresh
  EXPECT_EQ(bar->Position(), 5);
  EXPECT_EQ(bar->Value(), 5.0f);
  EXPECT_EQ(bar->Label2()->text(), "5 dB");
  EXPECT_EQ(notifications, 1);
  bar->SetMinValue(20); // a Min above Max raises Max
  EXPECT_EQ(bar->Min(), 20);
  EXPECT_EQ(bar->Max(), 20);
  EXPECT_EQ(bar->Value(), 20.0f);
  bar->SetMaxValue(-5); // a Max below Min lowers Min
  EXPECT_EQ(bar->Min(), -5);
  EXPECT_EQ(bar->Max(), -5);
  EXPECT_EQ(bar->Position(), -5);

  // Prec rescales both ends: Max first, then Min.
  auto ratio = MakeBar(nullptr, 0, 1, 20, "");
  EXPECT_EQ(ratio->_mult(), 1);
  ratio->SetPrec(2);
  EXPECT_EQ(ratio->_mult(), 100);
  EXPECT_EQ(ratio->Min(), 100);
  EXPECT_EQ(ratio->Max(), 2000);
}

TEST_F(ValueControlsTest, LBarBeforePrecShowsTheIntegerMaximum)
{
  TLBar bar;
  EXPECT_EQ(bar._mult(), 0);
  EXPECT_EQ(bar.Value(), 10.0f); // slider default range 0..10
  EXPECT_EQ(bar.Label1()->text(), "Caption");
  EXPECT_EQ(bar.Label2()->text(), "10 ");
  EXPECT_EQ(bar.LineSize(), 1);
  EXPECT_EQ(bar.PageSize(), 2);
  EXPECT_EQ(bar.Position(), 0);
  EXPECT_EQ(bar.tickPosition(), QSlider::NoTicks);
  EXPECT_FALSE(bar.ShowSign());
}

TEST_F(ValueControlsTest, LBarEndLoadingRefreshesAStaleLabel)
{
  // Value assigned at the current position leaves the label; the end of loading fixes it.
  auto bar = std::make_unique<TLBar>();
  bar->BeginLoading();
  bar->SetPrec(0);
  bar->SetMinValue(-30);
  bar->SetMaxValue(30);
  bar->Set_unit("dB");
  bar->SetValue(0);
  EXPECT_EQ(bar->Label2()->text(), "10 ");
  bar->EndLoading();
  EXPECT_FALSE(bar->Loading());
  EXPECT_EQ(bar->Label2()->text(), "0 dB");
}

TEST_F(ValueControlsTest, LBarArrowAndPageKeysStepByLineAndPageSize)
{
  auto bar = MakeBar(nullptr, 1, 1, 20, "");
  bar->SetValue(5);
  QTest::keyClick(bar.get(), Qt::Key_Right);
  EXPECT_EQ(bar->Value(), 5.1f);
  QTest::keyClick(bar.get(), Qt::Key_Left);
  QTest::keyClick(bar.get(), Qt::Key_Left);
  EXPECT_EQ(bar->Value(), 4.9f);
  QTest::keyClick(bar.get(), Qt::Key_PageUp);
  EXPECT_EQ(bar->Position(), 51);

  auto gain = MakeBar(nullptr, 0, -30, 30, "dB");
  gain->SetValue(0);
  QTest::keyClick(gain.get(), Qt::Key_Right);
  EXPECT_EQ(gain->Label2()->text(), "1 dB");
}

TEST_F(ValueControlsTest, VerticalTrackBarHasItsMinimumAtTheTop)
{
  // The equalizer shows gain g at position -g: Up raises the gain.
  TKelTrackBar bar;
  bar.SetOrientation(Qt::Vertical);
  bar.SetMin(-10);
  bar.SetMax(10);
  bar.SetPageSize(1);
  QTest::keyClick(&bar, Qt::Key_Up);
  EXPECT_EQ(bar.Position(), -1);
  QTest::keyClick(&bar, Qt::Key_PageDown);
  QTest::keyClick(&bar, Qt::Key_PageDown);
  EXPECT_EQ(bar.Position(), 1);
  EXPECT_TRUE(bar.invertedAppearance());
}

TEST_F(ValueControlsTest, LBarLabelsSitBesideTheSliderInItsParent)
{
  QWidget window;
  window.resize(353, 187);
  auto bar = MakeBar(&window, 0, -30, 0, "dB");
  bar->setGeometry(64, 36, 220, 20);
  bar->SetCaption("Threshold");
  ShowActive(window);

  QLabel* caption = bar->Label1();
  QLabel* value = bar->Label2();
  EXPECT_EQ(caption->parentWidget(), &window);
  EXPECT_EQ(value->parentWidget(), &window);
  EXPECT_TRUE(caption->isVisible());
  EXPECT_TRUE(value->isVisible());
  EXPECT_EQ(caption->geometry().right() + 1, 64);
  EXPECT_EQ(value->x(), 64 + 220);
  const int top = 36 + 20 / 2 - caption->height() / 2 - ScaleFrom96Dpi(bar.get(), 2);
  EXPECT_EQ(caption->y(), top);
  EXPECT_EQ(value->y(), top);

  // A longer caption grows to the left; spacing and moves are followed.
  bar->SetCaption("A much longer caption");
  EXPECT_EQ(caption->geometry().right() + 1, 64);
  bar->SetLabelSpacing(6);
  const int spacing = ScaleFrom96Dpi(bar.get(), 6);
  EXPECT_EQ(caption->geometry().right() + 1, 64 - spacing);
  EXPECT_EQ(value->x(), 64 + 220 + spacing);
  bar->move(80, 60);
  EXPECT_EQ(value->x(), 80 + 220 + spacing);
  EXPECT_EQ(value->y(), 60 + 20 / 2 - caption->height() / 2 - ScaleFrom96Dpi(bar.get(), 2));

  bar->hide();
  EXPECT_FALSE(caption->isVisible());
  bar->show();
  EXPECT_TRUE(value->isVisible());

  // The slider owns its labels.
  QPointer<QLabel> guard1 = caption;
  QPointer<QLabel> guard2 = value;
  bar.reset();
  EXPECT_TRUE(guard1.isNull());
  EXPECT_TRUE(guard2.isNull());
}

TEST_F(ValueControlsTest, LBarLabelsMoveWhenTheSliderGetsAParent)
{
  QWidget window;
  auto* bar = new TLBar; // parent destroys it: no double delete of the labels
  bar->setParent(&window);
  EXPECT_EQ(bar->Label1()->parentWidget(), &window);
  EXPECT_EQ(bar->Label2()->parentWidget(), &window);
  ShowActive(window);
  EXPECT_TRUE(bar->Label1()->isVisible());
}

TEST_F(ValueControlsTest, TBarReportsMouseActivityAfterItsOwnHandling)
{
  QWidget window;
  TTBar bar(&window);
  bar.setGeometry(10, 10, 200, 24);
  ShowActive(window);

  QStringList log;
  bar.SetOnMouseDown(
      [&](QObject* ASender, Qt::MouseButton AButton, Qt::KeyboardModifiers AShift, int AX, int AY) {
        EXPECT_EQ(ASender, &bar);
        EXPECT_EQ(AShift, Qt::NoModifier);
        log << QString("down %1 %2 %3").arg(AButton == Qt::LeftButton).arg(AX).arg(AY);
      });
  bar.SetOnMouseUp([&](QObject*, Qt::MouseButton AButton, Qt::KeyboardModifiers, int AX, int AY) {
    log << QString("up %1 %2 %3").arg(AButton == Qt::LeftButton).arg(AX).arg(AY);
  });
  bar.SetOnMouseRight([&](QObject*) { log << "right"; });
  bar.SetOnMouseMove([&](QObject*, Qt::KeyboardModifiers AShift, int AX, int AY) {
    EXPECT_EQ(AShift, Qt::NoModifier);
    log << QString("move %1 %2").arg(AX).arg(AY);
  });

  QTest::mousePress(&bar, Qt::LeftButton, Qt::ShiftModifier, QPoint(150, 12));
  QTest::mouseRelease(&bar, Qt::LeftButton, Qt::NoModifier, QPoint(151, 12));
  QTest::mousePress(&bar, Qt::RightButton, Qt::NoModifier, QPoint(20, 5));
  QTest::mouseRelease(&bar, Qt::RightButton, Qt::NoModifier, QPoint(20, 5));
  QMouseEvent move(QEvent::MouseMove, QPointF(33, 7), bar.mapToGlobal(QPointF(33, 7)), Qt::NoButton,
                   Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(&bar, &move);

  EXPECT_EQ(log, QStringList({"down 1 150 12", "up 1 151 12", "right", "move 33 7"}));
  EXPECT_GT(bar.Position(), 0); // the slider handled the press first
}

// ---------------------------------------------------------------------------------------------
// Accessibility

TValueControlAccessible* AccessibleOf(QWidget* AWidget)
{
  return dynamic_cast<TValueControlAccessible*>(QAccessible::queryAccessibleInterface(AWidget));
}

TEST_F(ValueControlsTest, AccessibleNameComesFromTheLabelOrTheProperty)
{
  QWidget window;
  auto* label = new QLabel("&Band 1", &window);
  auto* buddyLabel = new QLabel("Buddy &level", &window);
  TKelTrackBar named(&window);
  TKelTrackBar labelled(&window);
  TKelTrackBar buddied(&window);
  TKelTrackBar nameless(&window);

  named.SetAccessibleName("1K hertz");
  labelled.SetAccessibleName("ignored while a label is associated");
  labelled.SetAssociateLabel(label);
  buddyLabel->setBuddy(&buddied);

  QAccessibleInterface* iface = AccessibleOf(&named);
  ASSERT_NE(iface, nullptr);
  EXPECT_EQ(iface->text(QAccessible::Name), "1K hertz");
  ASSERT_NE(AccessibleOf(&labelled), nullptr);
  EXPECT_EQ(AccessibleOf(&labelled)->text(QAccessible::Name), "Band 1");
  EXPECT_EQ(label->buddy(), &labelled);
  EXPECT_EQ(AccessibleOf(&buddied)->text(QAccessible::Name), "Buddy level");
  EXPECT_EQ(AccessibleOf(&nameless)->text(QAccessible::Name), "");

  // The name follows the label, and falls back to the property when the label goes.
  label->setText("Band 2");
  EXPECT_EQ(AccessibleOf(&labelled)->text(QAccessible::Name), "Band 2");
  delete label;
  EXPECT_EQ(AccessibleOf(&labelled)->text(QAccessible::Name),
            "ignored while a label is associated");
}

TEST_F(ValueControlsTest, AccessibleDescriptionValueRoleAndRange)
{
  TKelTrackBar bar;
  bar.SetMin(-10);
  bar.SetMax(10);
  bar.SetPosition(-6);
  bar.SetAccessibleDescription("Equalizer band gain");

  QAccessibleInterface* iface = AccessibleOf(&bar);
  ASSERT_NE(iface, nullptr);
  EXPECT_EQ(iface->role(), QAccessible::Slider);
  EXPECT_EQ(iface->text(QAccessible::Description), "Equalizer band gain");
  EXPECT_EQ(iface->text(QAccessible::Value), "-6");

  // The equalizer reads its gain as the negated position.
  bar.SetOnGetAccessibleValue([&](QObject* ASender, QString& AValue) {
    EXPECT_EQ(ASender, &bar);
    EXPECT_EQ(AValue, QString::number(bar.Position()));
    AValue = QString::number(-bar.Position());
  });
  EXPECT_EQ(iface->text(QAccessible::Value), "6");
  bar.SetPosition(3);
  EXPECT_EQ(iface->text(QAccessible::Value), "-3");

  QAccessibleValueInterface* value = iface->valueInterface();
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(value->currentValue().toInt(), 3);
  EXPECT_EQ(value->minimumValue().toInt(), -10);
  EXPECT_EQ(value->maximumValue().toInt(), 10);
  EXPECT_EQ(value->minimumStepSize().toInt(), 1);
  value->setCurrentValue(7);
  EXPECT_EQ(bar.Position(), 7);

  // In the units the user sees, lowest first: a band (position -g is gain g) and a slider of
  // tenths (a ratio).
  bar.SetAccessibleValueScale(-1);
  EXPECT_EQ(value->currentValue().toDouble(), -7.0);
  EXPECT_EQ(value->minimumValue().toDouble(), -10.0);
  EXPECT_EQ(value->maximumValue().toDouble(), 10.0);
  value->setCurrentValue(4.0);
  EXPECT_EQ(bar.Position(), -4);
  TLBar ratio;
  ratio.SetPrec(1);
  ratio.SetMinValue(1);
  ratio.SetMaxValue(20);
  ratio.SetValue(5);
  QAccessibleValueInterface* ratioValue = AccessibleOf(&ratio)->valueInterface();
  ASSERT_NE(ratioValue, nullptr);
  EXPECT_EQ(ratioValue->currentValue().toDouble(), 5.0);
  EXPECT_EQ(ratioValue->minimumValue().toDouble(), 1.0);
  EXPECT_EQ(ratioValue->maximumValue().toDouble(), 20.0);
  EXPECT_DOUBLE_EQ(ratioValue->minimumStepSize().toDouble(), 0.1);
  ratioValue->setCurrentValue(2.5);
  EXPECT_EQ(ratio.Position(), 25);
}

// The handle's rectangle, as the style places it.
class TProbeTrackBar : public TKelTrackBar
{
public:
  QRect Handle()
  {
    QStyleOptionSlider Option;
    initStyleOption(&Option);
    return style()->subControlRect(QStyle::CC_Slider, &Option, QStyle::SC_SliderHandle, this);
  }
};

TEST_F(ValueControlsTest, AVerticalSlidersFillRunsFromTheBottomToTheHandle)
{
  TProbeTrackBar bar;
  bar.SetOrientation(Qt::Vertical);
  bar.SetMin(-10);
  bar.SetMax(10);
  bar.setTickPosition(QSlider::NoTicks);
  bar.resize(30, 200);
  // Gains +8 (handle high up) and 0 (handle in the middle).
  for (int position : {-8, 0}) {
    SCOPED_TRACE(position);
    bar.SetPosition(position);
    const QImage image = bar.grab().toImage();
    const QRect handle = bar.Handle();
    ASSERT_TRUE(handle.isValid());
    const int x = handle.center().x();
    int above = 0;
    int below = 0;
    for (int y = 0; y < image.height(); ++y) {
      if (QColor(image.pixel(x, y)).hsvSaturation() < 80)
        continue;
      if (y < handle.top())
        ++above;
      else if (y > handle.bottom())
        ++below;
    }
    EXPECT_EQ(above, 0);
    EXPECT_GT(below, (image.height() - handle.bottom()) / 2);
  }
}

TEST_F(ValueControlsTest, AccessibleRectIsTheSliderOnScreen)
{
  QWidget window;
  window.move(100, 50);
  window.resize(300, 200);
  TKelTrackBar bar(&window);
  bar.setGeometry(20, 34, 20, 90);
  ShowActive(window);

  QAccessibleInterface* iface = AccessibleOf(&bar);
  ASSERT_NE(iface, nullptr);
  EXPECT_EQ(iface->rect(), QRect(bar.mapToGlobal(QPoint(0, 0)), QSize(20, 90)));
  EXPECT_EQ(iface->rect().size(), QSize(20, 90));
}

TEST_F(ValueControlsTest, LBarIsAnAccessibleSliderNamedByItsCaption)
{
  auto bar = MakeBar(nullptr, 1, 1, 20, "");
  bar->SetCaption("Ratio");
  bar->SetPosition(25);
  bar->SetOnGetAccessibleValue([&](QObject*, QString& AValue) {
    AValue = QString::asprintf("%.1f", bar->Position() / 10.0);
  });
  QAccessibleInterface* iface = AccessibleOf(bar.get());
  ASSERT_NE(iface, nullptr);
  EXPECT_EQ(iface->role(), QAccessible::Slider);
  EXPECT_EQ(iface->text(QAccessible::Name), "Ratio");
  EXPECT_EQ(bar->AccessibleName(), "Ratio");
  EXPECT_EQ(iface->text(QAccessible::Value), "2.5");
}

// ---------------------------------------------------------------------------------------------
// TCustomFloatEdit / TSpinFloatEdit

// The bandwidth field of the equalizer bands window.
std::unique_ptr<TSpinFloatEdit> MakeBandwidth(QWidget* AParent = nullptr)
{
  auto edit = std::make_unique<TSpinFloatEdit>(AParent);
  edit->SetIncrement(0.1);
  edit->SetDigits(1);
  edit->SetMin(0.1);
  edit->SetMax(6.0);
  edit->SetValue(0.1);
  return edit;
}

TEST_F(ValueControlsTest, FloatEditDefaults)
{
  TSpinFloatEdit edit;
  EXPECT_EQ(edit.text(), "0.0");
  EXPECT_EQ(edit.Digits(), 1);
  EXPECT_EQ(edit.Min(), 0);
  EXPECT_EQ(edit.Max(), 100);
  EXPECT_EQ(edit.Increment(), 1.0);
  EXPECT_TRUE(edit.EditorEnabled());
  EXPECT_EQ(edit.alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
  EXPECT_EQ(edit.DecimalSeparator(), u'.');
}

TEST_F(ValueControlsTest, FloatEditFiltersTypedCharacters)
{
  struct Case
  {
    const char* Start;
    const char* Typed;
    const char* Expected;
    int SelStart = -1; // expected selection after typing, -1: none
    int SelLength = 0;
  };
  const Case cases[] = {
      {"", "7", ""},          // above Max
      {"", "5.5", "5.5"},     // number, separator, number
      {"", "5.55", "5.5"},    // one decimal only
      {"", "0", ""},          // below Min, so no leading zero
      {"", ".", "0.0", 2, 1}, // separator first: last digit ready to be typed over
      {"", ".5", "0.5"},      // ... and typed over
      {"", "-", "-0", 1, 1},  // the sign alone, whatever Min is
      {"", "60", "6"},        // 60 is above Max
      {"", "a+ E,x", ""},     // not part of a number
      {"", "5e", "5"},        // "5e" does not parse
      {"5.", "5", "5.5"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.Start) + " + " + c.Typed);
    auto edit = MakeBandwidth();
    edit->setText(c.Start);
    edit->setCursorPosition(edit->text().size());
    QTest::keyClicks(edit.get(), c.Typed);
    EXPECT_EQ(edit->text(), c.Expected);
    if (c.SelStart >= 0) {
      EXPECT_EQ(edit->selectionStart(), c.SelStart);
      EXPECT_EQ(edit->selectionLength(), c.SelLength);
    }
  }
}

TEST_F(ValueControlsTest, FloatEditTypingReplacesTheSelectionAndKeepsEditingKeys)
{
  auto edit = MakeBandwidth();
  edit->setText("5.5");
  edit->selectAll();
  QTest::keyClick(edit.get(), '3');
  EXPECT_EQ(edit->text(), "3");
  QTest::keyClick(edit.get(), Qt::Key_Backspace);
  EXPECT_EQ(edit->text(), "");
  edit->setText("4.5");
  edit->setSelection(2, 1); // the "5"
  QTest::keyClick(edit.get(), '9');
  EXPECT_EQ(edit->text(), "4.9");
  edit->setSelection(0, 1); // "9.9" would be above Max
  QTest::keyClick(edit.get(), '9');
  EXPECT_EQ(edit->text(), "4.9");

  auto whole = std::make_unique<TCustomFloatEdit>();
  whole->SetDigits(0);
  whole->setText("");
  QTest::keyClicks(whole.get(), "12.");
  EXPECT_EQ(whole->text(), "12");
  // "1e" alone is no number, so an exponent can only be put into a number that stays one.
  whole->setText("");
  QTest::keyClicks(whole.get(), "1e2");
  EXPECT_EQ(whole->text(), "12");
  whole->setCursorPosition(1);
  QTest::keyClick(whole.get(), 'e');
  EXPECT_EQ(whole->text(), "1e2");
  EXPECT_EQ(whole->Value(), 100);
}

TEST_F(ValueControlsTest, FloatEditUsesTheUserDecimalSeparator)
{
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  auto edit = MakeBandwidth();
  EXPECT_EQ(edit->DecimalSeparator(), u',');
  EXPECT_EQ(edit->text(), "0,1");
  edit->setText("");
  QTest::keyClicks(edit.get(), "5.,5");
  EXPECT_EQ(edit->text(), "5,5");
  EXPECT_DOUBLE_EQ(edit->Value(), 5.5);
  edit->SetDigits(2);
  edit->SetValue(1.25);
  EXPECT_EQ(edit->text(), "1,25");
}

TEST_F(ValueControlsTest, FloatEditReadsAndWritesValueWithinTheBounds)
{
  TCustomFloatEdit edit;
  edit.SetMin(-5);
  edit.SetMax(6);
  const std::pair<const char*, double> reads[] = {{"", 0},    {"-", 0},       {".", 0},
                                                  {"E", 0},   {"abc", -5},    {"10", 6},
                                                  {"-7", -5}, {"2.25", 2.25}, {"1e0", 1}};
  for (const auto& [text, value] : reads) {
    edit.setText(text);
    EXPECT_DOUBLE_EQ(edit.Value(), value) << text;
  }
  edit.SetMin(0.1);
  edit.setText("");
  EXPECT_DOUBLE_EQ(edit.Value(), 0.1); // 0, then held to Min

  const std::pair<double, const char*> writes[] = {
      {7, "6.0"}, {-1, "0.1"}, {std::nan(""), "0.1"}, {2.25, "2.3"}, {3, "3.0"}};
  for (const auto& [value, text] : writes) {
    edit.SetValue(value);
    EXPECT_EQ(edit.text(), text) << value;
  }
  edit.SetDigits(3);
  EXPECT_EQ(edit.text(), "3.000");
  edit.SetDigits(25);
  EXPECT_EQ(edit.Digits(), 18);
  edit.SetDigits(0);
  EXPECT_EQ(edit.text(), "3");

  TCustomFloatEdit signedEdit;
  signedEdit.SetMin(-1);
  signedEdit.SetValue(-0.0);
  EXPECT_EQ(signedEdit.text(), "0.0");
}

TEST_F(ValueControlsTest, FloatEditRefusesCrossedBounds)
{
  TCustomFloatEdit edit;
  edit.SetValue(50);
  try {
    edit.SetMin(200);
    FAIL() << "no error";
  } catch (const std::invalid_argument& error) {
    EXPECT_STREQ(error.what(), "Minimum value must not be greater than maximum value !");
  }
  try {
    edit.SetMax(-1);
    FAIL() << "no error";
  } catch (const std::invalid_argument& error) {
    EXPECT_STREQ(error.what(), "Maximum value must not be less than minimum value !");
  }
  EXPECT_EQ(edit.Min(), 0);
  EXPECT_EQ(edit.Max(), 100);
  EXPECT_EQ(edit.text(), "50.0");

  // A new bound rewrites the value, clamped and formatted.
  edit.SetMax(20);
  EXPECT_EQ(edit.text(), "20.0");
  edit.SetMin(20);
  EXPECT_EQ(edit.Min(), 20);
  EXPECT_EQ(edit.Max(), 20);
}

TEST_F(ValueControlsTest, FloatEditEscapeRestoresAndFocusExitCommits)
{
  QWidget window;
  auto edit = MakeBandwidth(&window);
  TCustomFloatEdit other(&window);
  edit->setGeometry(8, 73, 50, 22);
  other.setGeometry(8, 120, 50, 22);
  edit->SetValue(1.5);
  ShowActive(window);

  edit->setFocus(Qt::TabFocusReason);
  ASSERT_TRUE(edit->hasFocus());
  EXPECT_EQ(edit->selectedText(), "1.5"); // whole text selected on entry
  QTest::keyClicks(edit.get(), "4.2");
  EXPECT_EQ(edit->text(), "4.2");
  QTest::keyClick(edit.get(), Qt::Key_Escape);
  EXPECT_EQ(edit->text(), "1.5");
  EXPECT_EQ(edit->selectedText(), "1.5");

  struct Case
  {
    const char* Text;
    const char* Committed;
  };
  const Case exits[] = {{"", "0.1"}, {"5.", "5.0"}, {"-", "0.1"}, {"0.0", "0.1"}, {"4", "4.0"}};
  for (const Case& c : exits) {
    edit->setFocus(Qt::TabFocusReason);
    edit->setText(c.Text);
    other.setFocus(Qt::TabFocusReason);
    ASSERT_FALSE(edit->hasFocus());
    EXPECT_EQ(edit->text(), c.Committed) << c.Text;
  }
}

TEST_F(ValueControlsTest, FloatEditEnterCallsTheHandlerAndInsertsNothing)
{
  auto edit = MakeBandwidth();
  edit->setText("2.5");
  QChar received;
  edit->SetOnEnterPress([&](QObject* ASender, QChar& AKey) {
    EXPECT_EQ(ASender, edit.get());
    received = AKey;
  });
  QTest::keyClick(edit.get(), Qt::Key_Return);
  EXPECT_EQ(received, u'\r');
  EXPECT_EQ(edit->text(), "2.5");
}

TEST_F(ValueControlsTest, SpinEditStepsWithKeysAndButton)
{
  QWidget window;
  auto edit = MakeBandwidth(&window);
  TCustomFloatEdit other(&window);
  edit->setGeometry(8, 73, 50, 22);
  other.setGeometry(8, 120, 50, 22);
  edit->SetIncrement(0.5);
  edit->SetValue(1.0);
  ShowActive(window);

  QTest::keyClick(edit.get(), Qt::Key_Up);
  EXPECT_EQ(edit->text(), "1.5");
  QTest::keyClick(edit.get(), Qt::Key_Down);
  QTest::keyClick(edit.get(), Qt::Key_Down);
  EXPECT_EQ(edit->text(), "0.5");
  QTest::keyClick(edit.get(), Qt::Key_Down);
  EXPECT_EQ(edit->text(), "0.1"); // held to Min
  edit->SetValue(5.8);
  QTest::keyClick(edit.get(), Qt::Key_Up);
  EXPECT_EQ(edit->text(), "6.0"); // held to Max

  // The button steps too and brings the focus into the edit.
  other.setFocus();
  edit->SetValue(2.0);
  QTest::mouseClick(edit->Button()->UpButton(), Qt::LeftButton);
  EXPECT_EQ(edit->text(), "2.5");
  EXPECT_TRUE(edit->hasFocus());
  QTest::mouseClick(edit->Button()->DownButton(), Qt::LeftButton);
  QTest::mouseClick(edit->Button()->DownButton(), Qt::LeftButton);
  EXPECT_EQ(edit->text(), "1.5");

  // A computed increment does the whole step.
  std::vector<bool> directions;
  edit->SetOnComputedIncrement([&](QObject* ASender, bool AUp) {
    EXPECT_EQ(ASender, edit.get());
    directions.push_back(AUp);
  });
  QTest::keyClick(edit.get(), Qt::Key_Up);
  QTest::mouseClick(edit->Button()->DownButton(), Qt::LeftButton);
  EXPECT_EQ(directions, std::vector<bool>({true, false}));
  EXPECT_EQ(edit->text(), "1.5");

  // A read-only edit does not step (it beeps).
  edit->setReadOnly(true);
  edit->StepUp();
  QTest::keyClick(edit.get(), Qt::Key_Down);
  EXPECT_EQ(directions.size(), 2u);
  EXPECT_EQ(edit->text(), "1.5");
}

TEST_F(ValueControlsTest, WheelStepsByATenthWhateverTheIncrement)
{
  struct Case
  {
    double Start;
    std::vector<int> Deltas;
    const char* Expected;
    bool ReadOnly = false;
  };
  const Case cases[] = {
      {1.0, {120}, "1.1"},         {1.0, {-120}, "0.9"}, {1.0, {120, 120, 120}, "1.3"},
      {1.0, {60, 60}, "1.1"},      // two half notches are one notch
      {1.0, {60, -60, 60}, "1.0"}, // a turn back starts the count again
      {1.0, {0}, "1.0"},           // no vertical turn: nothing
      {6.0, {120}, "6.0"},         // held to Max
      {1.0, {120}, "1.1", true},   // also read-only
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Expected);
    auto edit = MakeBandwidth();
    edit->SetIncrement(0.5);
    edit->SetValue(c.Start);
    edit->setReadOnly(c.ReadOnly);
    for (int delta : c.Deltas)
      Wheel(edit.get(), delta);
    EXPECT_EQ(edit->text(), c.Expected);
  }
}

TEST_F(ValueControlsTest, SpinEditWithEditorDisabledOnlyStepsByButtonAndWheel)
{
  QWidget window;
  auto edit = MakeBandwidth(&window);
  edit->setGeometry(8, 73, 50, 22);
  edit->SetIncrement(0.5);
  edit->SetValue(2.0);
  edit->SetEditorEnabled(false);
  ShowActive(window);
  edit->setFocus();
  edit->setCursorPosition(3);

  QApplication::clipboard()->setText("3.3");
  QTest::keyClicks(edit.get(), "5");
  QTest::keyClick(edit.get(), Qt::Key_Backspace);
  QTest::keyClick(edit.get(), Qt::Key_Up);
  QTest::keyClick(edit.get(), Qt::Key_V, Qt::ControlModifier);
  QTest::keyClick(edit.get(), Qt::Key_Insert, Qt::ShiftModifier);
  EXPECT_EQ(edit->text(), "2.0");
  EXPECT_FALSE(edit->acceptDrops());

  QTest::mouseClick(edit->Button()->UpButton(), Qt::LeftButton);
  EXPECT_EQ(edit->text(), "2.5");
  Wheel(edit.get(), 120);
  EXPECT_EQ(edit->text(), "2.6");

  // Typing comes back with the editor.
  edit->SetEditorEnabled(true);
  edit->selectAll();
  QTest::keyClick(edit.get(), Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(edit->text(), "3.3");
}

TEST_F(ValueControlsTest, FloatEditKeepsValueAsideWhileLoading)
{
  TSpinFloatEdit edit;
  edit.BeginLoading();
  edit.SetValue(0.05);
  edit.SetMin(0.1);
  edit.SetMax(6);
  edit.SetDigits(2);
  EXPECT_EQ(edit.text(), "0.0");
  EXPECT_DOUBLE_EQ(edit.Value(), 0.05);
  edit.EndLoading();
  EXPECT_EQ(edit.text(), "0.10");
}

TEST_F(ValueControlsTest, SpinEditLayoutKeepsTextClearOfTheButton)
{
  QWidget window;
  auto edit = MakeBandwidth(&window);
  edit->setGeometry(8, 73, 50, 22);
  ShowActive(window);

  QWidget* button = edit->Button();
  EXPECT_EQ(button->parentWidget(), edit.get());
  EXPECT_EQ(button->width(), ScaleFrom96Dpi(edit.get(), 15));
  EXPECT_LE(button->geometry().right(), edit->width() - 1);
  EXPECT_GT(button->x(), edit->width() / 2);
  EXPECT_GE(edit->textMargins().right(), button->width());
  EXPECT_TRUE(edit->rect().contains(button->geometry()));

  // A height below the text's needs is raised.
  edit->resize(50, 3);
  EXPECT_GE(edit->height(), edit->fontMetrics().height());
  EXPECT_EQ(edit->height(), edit->minimumHeight());

  // The button follows a resize and keeps its place inside the right edge.
  const int gap = edit->width() - button->x();
  edit->resize(120, 30);
  EXPECT_EQ(edit->width() - button->x(), gap);
  EXPECT_TRUE(edit->rect().contains(button->geometry()));
}

} // namespace
