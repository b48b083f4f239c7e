#include "dsp_ui/kel_track_bar.h"

#include <QAccessible>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>

namespace {

// A label's caption as a screen reader should hear it: "&Gain" is "Gain", "&&" is "&".
QString StripMnemonic(const QString& AText)
{
  QString result;
  result.reserve(AText.size());
  for (qsizetype i = 0; i < AText.size(); ++i) {
    if (AText[i] == u'&') {
      if (i + 1 < AText.size() && AText[i + 1] == u'&')
        ++i;
      else
        continue;
    }
    result += AText[i];
  }
  return result;
}

} // namespace

TKelTrackBar::TKelTrackBar(QWidget* AParent) : QSlider(Qt::Horizontal, AParent)
{
  setRange(0, 10);
  setValue(0);
  setSingleStep(1);
  setPageStep(2);
  connect(this, &QAbstractSlider::valueChanged, this, [this] { Changed(); });
}

TKelTrackBar::~TKelTrackBar()
{
  if (FAssociateLabel && FAssociateLabel->buddy() == this)
    FAssociateLabel->setBuddy(nullptr);
}

void TKelTrackBar::SetOrientation(Qt::Orientation AOrientation)
{
  setOrientation(AOrientation);
  // The user's picture of a vertical level slider: low end at the top is how the equalizer
  // shows gains (position -g is gain g), and Up moves the thumb up.
  const bool vertical = AOrientation == Qt::Vertical;
  setInvertedAppearance(vertical);
  setInvertedControls(vertical);
}

void TKelTrackBar::SetAccessibleName(const QString& AName)
{
  if (FAccessibleName == AName)
    return;
  FAccessibleName = AName;
  NotifyAccessibility(QAccessible::NameChanged);
}

void TKelTrackBar::SetAccessibleDescription(const QString& ADescription)
{
  if (FAccessibleDescription == ADescription)
    return;
  FAccessibleDescription = ADescription;
  NotifyAccessibility(QAccessible::DescriptionChanged);
}

void TKelTrackBar::SetAssociateLabel(QLabel* ALabel)
{
  if (FAssociateLabel == ALabel)
    return;
  if (FAssociateLabel && FAssociateLabel->buddy() == this)
    FAssociateLabel->setBuddy(nullptr);
  FAssociateLabel = ALabel;
  if (ALabel)
    ALabel->setBuddy(this);
  NotifyAccessibility(QAccessible::NameChanged);
}

void TKelTrackBar::SetOnGetAccessibleValue(TAccessibleValueEvent AHandler)
{
  FOnGetAccessibleValue = std::move(AHandler);
  NotifyAccessibility(QAccessible::ValueChanged);
}

QString TKelTrackBar::AccessibleNameText() const
{
  if (FAssociateLabel)
    return StripMnemonic(FAssociateLabel->text());
  if (!FAccessibleName.isEmpty())
    return FAccessibleName;
  if (QWidget* parent = parentWidget()) {
    const auto labels = parent->findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
    for (QLabel* label : labels)
      if (label->buddy() == this)
        return StripMnemonic(label->text());
  }
  return QString();
}

QString TKelTrackBar::AccessibleValueText() const
{
  QString text = QString::number(Position());
  if (FOnGetAccessibleValue)
    FOnGetAccessibleValue(const_cast<TKelTrackBar*>(this), text);
  return text;
}

void TKelTrackBar::SetAccessibleValueScale(double AScale)
{
  if (AScale == 0 || AScale == FAccessibleValueScale)
    return;
  FAccessibleValueScale = AScale;
  NotifyAccessibility(QAccessible::ValueChanged);
}

void TKelTrackBar::paintEvent(QPaintEvent* AEvent)
{
  if (orientation() != Qt::Vertical) {
    QSlider::paintEvent(AEvent);
    return;
  }
  // The minimum sits at the top, so the style fills from the top down to the handle, which
  // makes a raised level look lowered. Draw the mirror image of the range instead: the handle
  // lands on the same pixel, and the fill runs from the bottom up to it.
  QPainter Painter(this);
  QStyleOptionSlider Option;
  initStyleOption(&Option);
  Option.subControls = QStyle::SC_SliderGroove | QStyle::SC_SliderHandle;
  if (tickPosition() != NoTicks)
    Option.subControls |= QStyle::SC_SliderTickmarks;
  Option.upsideDown = !Option.upsideDown;
  Option.sliderPosition = Option.minimum + Option.maximum - Option.sliderPosition;
  Option.sliderValue = Option.minimum + Option.maximum - Option.sliderValue;
  style()->drawComplexControl(QStyle::CC_Slider, &Option, &Painter, this);
}

void TKelTrackBar::Changed()
{
  if (FOnChange)
    FOnChange(this);
}

void TKelTrackBar::NotifyAccessibility(int AEvent)
{
  // Cheap when no assistive technology listens: nothing is created then.
  QAccessibleEvent event(this, static_cast<QAccessible::Event>(AEvent));
  QAccessible::updateAccessibility(&event);
}

TTBar::TTBar(QWidget* AParent) : TKelTrackBar(AParent)
{
  // Moves without a button held are reported too.
  setMouseTracking(true);
}

void TTBar::mousePressEvent(QMouseEvent* AEvent)
{
  TKelTrackBar::mousePressEvent(AEvent);
  const QPoint pos = AEvent->position().toPoint();
  if (AEvent->button() == Qt::LeftButton) {
    if (FOnMouseDown)
      FOnMouseDown(this, Qt::LeftButton, Qt::NoModifier, pos.x(), pos.y());
  } else if (AEvent->button() == Qt::RightButton) {
    if (FOnMouseRight)
      FOnMouseRight(this);
  }
}

void TTBar::mouseReleaseEvent(QMouseEvent* AEvent)
{
  TKelTrackBar::mouseReleaseEvent(AEvent);
  const QPoint pos = AEvent->position().toPoint();
  if (AEvent->button() == Qt::LeftButton && FOnMouseUp)
    FOnMouseUp(this, Qt::LeftButton, Qt::NoModifier, pos.x(), pos.y());
}

void TTBar::mouseMoveEvent(QMouseEvent* AEvent)
{
  TKelTrackBar::mouseMoveEvent(AEvent);
  const QPoint pos = AEvent->position().toPoint();
  if (FOnMouseMove)
    FOnMouseMove(this, Qt::NoModifier, pos.x(), pos.y());
}
