// What assistive technology learns about the value sliders (TKelTrackBar and the classes built on
// it): name, description, value text, the slider role and the on-screen rectangle.
#pragma once

#include <QAccessibleWidget>

class TKelTrackBar;

// The accessible face of one TKelTrackBar. Name, description and value text come from the
// slider's own properties (AccessibleNameText, AccessibleDescription, AccessibleValueText); the
// numeric value, range and step are the slider's position, Min..Max and LineSize in the units the
// user sees (divided by AccessibleValueScale), lowest first.
class TValueControlAccessible : public QAccessibleWidget, public QAccessibleValueInterface
{
public:
  explicit TValueControlAccessible(TKelTrackBar* ATrackBar);

  QString text(QAccessible::Text AText) const override;
  void* interface_cast(QAccessible::InterfaceType AType) override;

  QVariant currentValue() const override;
  void setCurrentValue(const QVariant& AValue) override;
  QVariant maximumValue() const override;
  QVariant minimumValue() const override;
  QVariant minimumStepSize() const override;

private:
  TKelTrackBar* TrackBar() const;
};

// Installs the factory that gives every TKelTrackBar its TValueControlAccessible. The program
// calls it once at start-up (after the QApplication exists); calling it again does nothing.
void InstallValueControlAccessibility();
