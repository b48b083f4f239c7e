#include "dsp_ui/value_control_accessible.h"

#include "dsp_ui/kel_track_bar.h"

#include <algorithm>
#include <cmath>

namespace {

QAccessibleInterface* ValueControlFactory(const QString& AClassName, QObject* AObject)
{
  Q_UNUSED(AClassName);
  // By type rather than class name, so that every class derived from the slider gets it.
  if (auto* trackBar = qobject_cast<TKelTrackBar*>(AObject))
    return new TValueControlAccessible(trackBar);
  return nullptr;
}

} // namespace

TValueControlAccessible::TValueControlAccessible(TKelTrackBar* ATrackBar)
    : QAccessibleWidget(ATrackBar, QAccessible::Slider)
{}

TKelTrackBar* TValueControlAccessible::TrackBar() const
{
  return static_cast<TKelTrackBar*>(widget());
}

QString TValueControlAccessible::text(QAccessible::Text AText) const
{
  switch (AText) {
  case QAccessible::Name:
    return TrackBar()->AccessibleNameText();
  case QAccessible::Description:
    return TrackBar()->AccessibleDescription();
  case QAccessible::Value:
    return TrackBar()->AccessibleValueText();
  case QAccessible::Help:
    return QString();
  default:
    return QAccessibleWidget::text(AText);
  }
}

void* TValueControlAccessible::interface_cast(QAccessible::InterfaceType AType)
{
  if (AType == QAccessible::ValueInterface)
    return static_cast<QAccessibleValueInterface*>(this);
  return QAccessibleWidget::interface_cast(AType);
}

// The numbers go out in the units the user sees (decibels, a ratio, milliseconds) with their
// sign: the toolkit's bridge passes numbers only, and a screen reader would otherwise announce
// the position (a band at +6 dB as -6, a ratio of 5.0 as 50).
QVariant TValueControlAccessible::currentValue() const
{
  return TrackBar()->AccessibleNumber(TrackBar()->Position());
}

void TValueControlAccessible::setCurrentValue(const QVariant& AValue)
{
  bool ok = false;
  const double value = AValue.toDouble(&ok);
  if (!ok || !std::isfinite(value))
    return;
  const double position = std::round(value * TrackBar()->AccessibleValueScale());
  TrackBar()->SetPosition(
      int(qBound(double(TrackBar()->Min()), position, double(TrackBar()->Max()))));
}

QVariant TValueControlAccessible::maximumValue() const
{
  const TKelTrackBar* bar = TrackBar();
  return std::max(bar->AccessibleNumber(bar->Min()), bar->AccessibleNumber(bar->Max()));
}

QVariant TValueControlAccessible::minimumValue() const
{
  const TKelTrackBar* bar = TrackBar();
  return std::min(bar->AccessibleNumber(bar->Min()), bar->AccessibleNumber(bar->Max()));
}

QVariant TValueControlAccessible::minimumStepSize() const
{
  return std::abs(TrackBar()->AccessibleNumber(TrackBar()->LineSize()));
}

void InstallValueControlAccessibility()
{
  static bool installed = false;
  if (installed)
    return;
  installed = true;
  QAccessible::installFactory(&ValueControlFactory);
}
