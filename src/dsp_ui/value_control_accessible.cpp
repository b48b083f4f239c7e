#include "dsp_ui/value_control_accessible.h"

#include "dsp_ui/kel_track_bar.h"

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

QVariant TValueControlAccessible::currentValue() const
{
  return TrackBar()->Position();
}

void TValueControlAccessible::setCurrentValue(const QVariant& AValue)
{
  bool ok = false;
  const int position = AValue.toInt(&ok);
  if (ok)
    TrackBar()->SetPosition(position);
}

QVariant TValueControlAccessible::maximumValue() const
{
  return TrackBar()->Max();
}

QVariant TValueControlAccessible::minimumValue() const
{
  return TrackBar()->Min();
}

QVariant TValueControlAccessible::minimumStepSize() const
{
  return TrackBar()->LineSize();
}

void InstallValueControlAccessibility()
{
  static bool installed = false;
  if (installed)
    return;
  installed = true;
  QAccessible::installFactory(&ValueControlFactory);
}
