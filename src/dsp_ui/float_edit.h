// Text boxes for a real number: TCustomFloatEdit filters keystrokes so that only numbers inside
// its range can be typed; TSpinFloatEdit adds a spin button and stepping.
#pragma once

#include "dsp_ui/value_control_events.h"

#include <QLineEdit>
#include <QLocale>

class QToolButton;

// Value lives in the text: reading parses it (clamped to Min..Max), writing formats it with
// Digits decimals in the user's decimal separator. Defaults: Digits 1, Min 0, Max 100, text
// "0.0", right-aligned (setAlignment changes that). The mouse wheel steps by 0.1 per notch.
class TCustomFloatEdit : public QLineEdit
{
  Q_OBJECT

public:
  explicit TCustomFloatEdit(QWidget* AParent = nullptr);

  // Decimals shown and accepted, 0..18 (larger numbers are stored as 18).
  int Digits() const { return FDigits; }
  void SetDigits(int ADigits);
  // Empty text, "-", the separator alone or "E" read as 0; text that does not parse reads as Min.
  double Value() const;
  // Clamped to Max, then to Min, and shown with Digits decimals.
  void SetValue(double AValue);
  double Min() const { return FMin; }
  // Throws std::invalid_argument ("Minimum value must not be greater than maximum value !") for a
  // value above Max; the bounds stay as they were.
  void SetMin(double AMin);
  double Max() const { return FMax; }
  // Throws std::invalid_argument ("Maximum value must not be less than minimum value !").
  void SetMax(double AMax);
  // Select the whole text when the focus arrives other than by a left-button press (default on).
  bool AutoSelect() const { return FAutoSelect; }
  void SetAutoSelect(bool AAutoSelect) { FAutoSelect = AAutoSelect; }
  // Called when Enter is typed; the key is then passed on, so a dialog's default button works.
  const TKeyPressEvent& OnEnterPress() const { return FOnEnterPress; }
  void SetOnEnterPress(TKeyPressEvent AHandler) { FOnEnterPress = std::move(AHandler); }
  // The user's decimal separator, taken when the control was made.
  QChar DecimalSeparator() const { return FDec; }

  // While loading, Value is kept aside and applied (clamped, formatted) by EndLoading().
  void BeginLoading();
  void EndLoading();
  bool Loading() const { return FLoading; }

protected:
  void keyPressEvent(QKeyEvent* AEvent) override;
  void inputMethodEvent(QInputMethodEvent* AEvent) override;
  void focusInEvent(QFocusEvent* AEvent) override;
  void focusOutEvent(QFocusEvent* AEvent) override;
  void wheelEvent(QWheelEvent* AEvent) override;

  // Decides about one typed printable character: true inserts it as typed; false drops it (the
  // filter may have rewritten the text itself, as for a lone "-").
  bool AcceptChar(QChar AKey);
  // The text as a number by the user's locale; false for text that is not a finite number.
  bool ParseNumber(const QString& AText, double& AResult) const;

private:
  QString FormatValue(double AValue) const;

  int FDigits = 1;
  double FMin = 0;
  double FMax = 100;
  bool FAutoSelect = true;
  TKeyPressEvent FOnEnterPress;
  QChar FDec;
  QLocale FLocale;
  double FOldVal = 0;
  double FTempValue = 0;
  bool FLoading = false;
  int FWheelDelta = 0;
};

// The two arrow buttons of a TSpinFloatEdit; they repeat while held and never take the focus.
class TSpinButton : public QWidget
{
  Q_OBJECT

public:
  explicit TSpinButton(QWidget* AParent = nullptr);

  QToolButton* UpButton() const { return FUpButton; }
  QToolButton* DownButton() const { return FDownButton; }
  void SetOnUpClick(TNotifyEvent AHandler) { FOnUpClick = std::move(AHandler); }
  void SetOnDownClick(TNotifyEvent AHandler) { FOnDownClick = std::move(AHandler); }

protected:
  void resizeEvent(QResizeEvent* AEvent) override;

private:
  QToolButton* FUpButton;
  QToolButton* FDownButton;
  TNotifyEvent FOnUpClick;
  TNotifyEvent FOnDownClick;
};

// A TCustomFloatEdit with a spin button inside its right edge. Up / Down keys and the button step
// by Increment (default 1.0) or through OnComputedIncrement; the wheel keeps its fixed 0.1.
class TSpinFloatEdit : public TCustomFloatEdit
{
  Q_OBJECT

public:
  explicit TSpinFloatEdit(QWidget* AParent = nullptr);

  double Increment() const { return FIncrement; }
  void SetIncrement(double AIncrement) { FIncrement = AIncrement; }
  // When false the text cannot be typed into, cut or pasted; only the spin button (and the
  // wheel) change it.
  bool EditorEnabled() const { return FEditorEnabled; }
  void SetEditorEnabled(bool AEnabled);
  // When set, does the whole work of a step instead of adding or subtracting Increment.
  const TComputedIncrementEvent& OnComputedIncrement() const { return FComputedIncrement; }
  void SetOnComputedIncrement(TComputedIncrementEvent AHandler)
  {
    FComputedIncrement = std::move(AHandler);
  }
  TSpinButton* Button() const { return FButton; }

  // A read-only edit only beeps.
  void StepUp();
  void StepDown();

protected:
  void keyPressEvent(QKeyEvent* AEvent) override;
  void inputMethodEvent(QInputMethodEvent* AEvent) override;
  void mouseReleaseEvent(QMouseEvent* AEvent) override;
  void contextMenuEvent(QContextMenuEvent* AEvent) override;
  void resizeEvent(QResizeEvent* AEvent) override;
  void changeEvent(QEvent* AEvent) override;
  void showEvent(QShowEvent* AEvent) override;

private:
  void Step(bool AUp);
  void UpdateMinHeight();
  void PlaceButton();

  double FIncrement = 1.0;
  bool FEditorEnabled = true;
  TComputedIncrementEvent FComputedIncrement;
  TSpinButton* FButton;
};
