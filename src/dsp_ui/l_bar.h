// TLBar: a slider that edits a real number with a fixed number of decimals, with a caption label
// on its left and a value label ("1.5 dB") on its right.
#pragma once

#include "dsp_ui/kel_track_bar.h"

#include <QPointer>

// The slider position is Value × 10^Prec; the integer range follows MinValue and MaxValue. Set
// Prec, MinValue and MaxValue before Value: the position depends on them at the moment Value is
// assigned. The two labels are siblings of the slider in its parent (they follow it there when
// it gets a parent, and its explicit show and hide); the slider owns them.
//
// A window that sets a TLBar up in code brackets the setup with BeginLoading() / EndLoading():
// EndLoading() refreshes the value label from the position, so that the label is right even when
// the last assignment did not move the slider.
class TLBar : public TTBar
{
  Q_OBJECT

public:
  explicit TLBar(QWidget* AParent = nullptr);
  ~TLBar() override;

  QLabel* Label1() const { return FLabel1; }
  QLabel* Label2() const { return FLabel2; }

  // The caption label's text; also becomes AccessibleName.
  QString Caption() const;
  void SetCaption(const QString& ACaption);
  // Gap between the slider and each label, in 96-DPI units (scaled to the screen).
  int LabelSpacing() const { return FLabelSpacing; }
  void SetLabelSpacing(int ASpacing);

  float Value() const { return FValue; }
  // Raises a number below MinValue to MinValue (and lowers one above MaxValue to MaxValue), moves
  // the slider to the nearest position (ties to even) and fires OnValueChange: once when the
  // position stays (Value keeps the exact number, the label is left alone), twice when it moves
  // (Value then follows the position).
  void SetValue(float AValue);
  float MinValue() const { return FMinValue; }
  void SetMinValue(float AValue);
  float MaxValue() const { return FMaxValue; }
  void SetMaxValue(float AValue);
  // Decimals of Value, 0..9 (the scale 10^Prec must fit the integer slider range).
  int Prec() const { return FPrec; }
  void SetPrec(int APrec);
  // Unit shown after the number, e.g. "dB"; an empty unit still leaves the blank.
  QString _unit() const { return f_unit; }
  void Set_unit(const QString& AUnit) { f_unit = AUnit; }
  // Prefix non-negative values with "+".
  bool ShowSign() const { return FShowSign; }
  void SetShowSign(bool AShowSign) { FShowSign = AShowSign; }
  // 10^Prec once Prec has been set, 0 before.
  int _mult() const { return F_mult; }

  // Fires whenever Value may have changed.
  const TNotifyEvent& OnValueChange() const { return FOnValueChange; }
  void SetOnValueChange(TNotifyEvent AHandler) { FOnValueChange = std::move(AHandler); }

  void BeginLoading() { FLoading = true; }
  void EndLoading();
  bool Loading() const { return FLoading; }

  // Value from the position, value label text, OnValueChange. Runs on every position change.
  void UpdateLabel();
  // Puts the labels beside the slider, vertically centred on it.
  void PlaceLabels();

protected:
  void Changed() override;
  bool event(QEvent* AEvent) override;
  void moveEvent(QMoveEvent* AEvent) override;
  void resizeEvent(QResizeEvent* AEvent) override;

private:
  void AdoptLabels();
  void FireValueChange();

  QPointer<QLabel> FLabel1;
  QPointer<QLabel> FLabel2;
  int FLabelSpacing = 0;
  float FValue = 0;
  float FMinValue = 0;
  float FMaxValue = 0;
  int FPrec = 0;
  QString f_unit;
  bool FShowSign = false;
  int F_mult = 0;
  bool FLoading = false;
  TNotifyEvent FOnValueChange;
};

// The nearest integer to AValue, ties to the even neighbour; clamped to the int range, NaN as 0.
int RoundHalfEven(double AValue);
