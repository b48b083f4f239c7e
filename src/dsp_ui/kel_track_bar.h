// The slider of the DSP windows (TKelTrackBar) and its variant that reports mouse activity (TTBar).
#pragma once

#include "dsp_ui/value_control_events.h"

#include <QLabel>
#include <QPointer>
#include <QSlider>
#include <QString>

// A slider with an integer range, as the equalizer and the plug-in parameter windows use it, that
// tells assistive technology its name, description and value text (see
// value_control_accessible.h). Defaults: range 0..10, position 0, line size 1, page size 2,
// horizontal. A vertical slider has its minimum at the top, and Up / Page Up move towards it.
class TKelTrackBar : public QSlider
{
  Q_OBJECT

public:
  explicit TKelTrackBar(QWidget* AParent = nullptr);
  ~TKelTrackBar() override;

  int Min() const { return minimum(); }
  void SetMin(int AMin) { setMinimum(AMin); }
  int Max() const { return maximum(); }
  void SetMax(int AMax) { setMaximum(AMax); }
  int Position() const { return value(); }
  void SetPosition(int APosition) { setValue(APosition); }
  int LineSize() const { return singleStep(); }
  void SetLineSize(int ALineSize) { setSingleStep(ALineSize); }
  int PageSize() const { return pageStep(); }
  void SetPageSize(int APageSize) { setPageStep(APageSize); }
  Qt::Orientation Orientation() const { return orientation(); }
  // Use this rather than setOrientation(): it also puts a vertical slider's minimum at the top.
  void SetOrientation(Qt::Orientation AOrientation);
  // A free number for the owner, e.g. the band index of an equalizer slider.
  int Tag() const { return FTag; }
  void SetTag(int ATag) { FTag = ATag; }

  // Fires whenever the position changes, whatever moved it (user, code or a range change).
  const TNotifyEvent& OnChange() const { return FOnChange; }
  void SetOnChange(TNotifyEvent AHandler) { FOnChange = std::move(AHandler); }

  QString AccessibleName() const { return FAccessibleName; }
  void SetAccessibleName(const QString& AName);
  QString AccessibleDescription() const { return FAccessibleDescription; }
  void SetAccessibleDescription(const QString& ADescription);
  // When set, the label's caption is the reported name instead of AccessibleName. The label
  // becomes the slider's buddy, so its mnemonic moves the focus here.
  QLabel* AssociateLabel() const { return FAssociateLabel; }
  void SetAssociateLabel(QLabel* ALabel);
  const TAccessibleValueEvent& OnGetAccessibleValue() const { return FOnGetAccessibleValue; }
  void SetOnGetAccessibleValue(TAccessibleValueEvent AHandler);

  // What assistive technology is told. The name is the associated label's caption, else
  // AccessibleName, else the caption of a label whose buddy this slider is. The value text is the
  // position in decimal, passed through OnGetAccessibleValue.
  QString AccessibleNameText() const;
  QString AccessibleValueText() const;

  // How many positions make one unit of the value the user sees: 10^Prec for a slider of tenths,
  // -1 for an equalizer band (position -g is gain g). Assistive technology reads and sets the
  // value, its range and its step in those units (position / scale). Default 1.
  double AccessibleValueScale() const { return FAccessibleValueScale; }
  void SetAccessibleValueScale(double AScale);
  double AccessibleNumber(int APosition) const { return APosition / FAccessibleValueScale; }

protected:
  // Runs on every position change; derived sliders do their own work before calling this.
  virtual void Changed();
  // A vertical slider's coloured part runs from the bottom up to the handle.
  void paintEvent(QPaintEvent* AEvent) override;

private:
  void NotifyAccessibility(int AEvent);

  int FTag = 0;
  TNotifyEvent FOnChange;
  QString FAccessibleName;
  QString FAccessibleDescription;
  QPointer<QLabel> FAssociateLabel;
  TAccessibleValueEvent FOnGetAccessibleValue;
  double FAccessibleValueScale = 1.0;
};

// A TKelTrackBar that tells its owner about mouse activity, after the slider's own handling:
// left-button press and release, right-button press and every mouse move (with or without a
// button held). Shift state is always reported empty, as the windows rely on.
class TTBar : public TKelTrackBar
{
  Q_OBJECT

public:
  explicit TTBar(QWidget* AParent = nullptr);

  const TMouseEvent& OnMouseDown() const { return FOnMouseDown; }
  void SetOnMouseDown(TMouseEvent AHandler) { FOnMouseDown = std::move(AHandler); }
  const TMouseEvent& OnMouseUp() const { return FOnMouseUp; }
  void SetOnMouseUp(TMouseEvent AHandler) { FOnMouseUp = std::move(AHandler); }
  const TNotifyEvent& OnMouseRight() const { return FOnMouseRight; }
  void SetOnMouseRight(TNotifyEvent AHandler) { FOnMouseRight = std::move(AHandler); }
  const TMouseMoveEvent& OnMouseMove() const { return FOnMouseMove; }
  void SetOnMouseMove(TMouseMoveEvent AHandler) { FOnMouseMove = std::move(AHandler); }

protected:
  void mousePressEvent(QMouseEvent* AEvent) override;
  void mouseReleaseEvent(QMouseEvent* AEvent) override;
  void mouseMoveEvent(QMouseEvent* AEvent) override;

private:
  TMouseEvent FOnMouseDown;
  TMouseEvent FOnMouseUp;
  TNotifyEvent FOnMouseRight;
  TMouseMoveEvent FOnMouseMove;
};
