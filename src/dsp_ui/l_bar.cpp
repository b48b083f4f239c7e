#include "dsp_ui/l_bar.h"

#include "dsp_ui/dpi_units.h"

#include <QEvent>
#include <QLabel>
#include <QLocale>

#include <climits>
#include <cmath>

int RoundHalfEven(double AValue)
{
  if (std::isnan(AValue))
    return 0;
  const double low = std::floor(AValue);
  const double fraction = AValue - low;
  double rounded;
  if (fraction > 0.5)
    rounded = low + 1;
  else if (fraction < 0.5)
    rounded = low;
  else
    rounded = std::fmod(low, 2.0) == 0 ? low : low + 1;
  if (rounded <= double(INT_MIN))
    return INT_MIN;
  if (rounded >= double(INT_MAX))
    return INT_MAX;
  return static_cast<int>(rounded);
}

TLBar::TLBar(QWidget* AParent) : TTBar(AParent)
{
  FLabel1 = new QLabel(QStringLiteral("Caption"));
  FLabel1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  FLabel1->adjustSize();
  FLabel2 = new QLabel;
  setTickPosition(QSlider::NoTicks);
  if (parentWidget())
    AdoptLabels();
  UpdateLabel();
  PlaceLabels();
}

TLBar::~TLBar()
{
  // The labels live in the parent, which may already have destroyed them.
  delete FLabel1.data();
  delete FLabel2.data();
}

QString TLBar::Caption() const
{
  return FLabel1 ? FLabel1->text() : QString();
}

void TLBar::SetCaption(const QString& ACaption)
{
  if (FLabel1) {
    FLabel1->setText(ACaption);
    FLabel1->adjustSize();
    // Right-justified: the label grows to the left and keeps its gap to the slider.
    PlaceLabels();
  }
  SetAccessibleName(ACaption);
}

void TLBar::SetLabelSpacing(int ASpacing)
{
  FLabelSpacing = ASpacing;
  PlaceLabels();
}

void TLBar::SetValue(float AValue)
{
  float value = AValue;
  if (std::isnan(value) || value < FMinValue)
    value = FMinValue;
  else if (value > FMaxValue && FMaxValue >= FMinValue)
    // Without this, a number above the range would stay in Value (and reach the effect) whenever
    // the slider already sits at its upper end, while the label shows the end of the range.
    value = FMaxValue;
  FValue = value;
  SetPosition(RoundHalfEven(double(value) * F_mult));
  FireValueChange();
}

void TLBar::SetMinValue(float AValue)
{
  FMinValue = AValue;
  SetMin(RoundHalfEven(double(AValue) * F_mult));
}

void TLBar::SetMaxValue(float AValue)
{
  FMaxValue = AValue;
  SetMax(RoundHalfEven(double(AValue) * F_mult));
}

void TLBar::SetPrec(int APrec)
{
  FPrec = qBound(0, APrec, 9);
  int mult = 1;
  for (int i = 0; i < FPrec; ++i)
    mult *= 10;
  F_mult = mult;
  SetAccessibleValueScale(F_mult);
  SetMax(RoundHalfEven(double(F_mult) * FMaxValue));
  SetMin(RoundHalfEven(double(F_mult) * FMinValue));
}

void TLBar::EndLoading()
{
  FLoading = false;
  UpdateLabel();
}

void TLBar::UpdateLabel()
{
  if (F_mult != 0)
    FValue = static_cast<float>(double(Position()) / F_mult);
  else
    FValue = static_cast<float>(Max());
  if (FLabel2) {
    // The number as printf's "%.<Prec>f" gives it, with the user's decimal separator.
    QString text = QString::number(double(FValue), 'f', FPrec);
    text.replace(u'.', QLocale().decimalPoint());
    text += u' ';
    text += f_unit;
    if (FShowSign && FValue >= 0)
      text.prepend(u'+');
    FLabel2->setText(text);
    FLabel2->adjustSize();
  }
  FireValueChange();
}

void TLBar::PlaceLabels()
{
  if (!FLabel1 || !FLabel2)
    return;
  const int spacing = ScaleFrom96Dpi(this, FLabelSpacing);
  const int off = height() / 2 - FLabel1->height() / 2 - ScaleFrom96Dpi(this, 2);
  FLabel1->move(x() - FLabel1->width() - spacing, y() + off);
  FLabel2->move(x() + width() + spacing, y() + off);
}

void TLBar::Changed()
{
  UpdateLabel();
  TTBar::Changed();
}

bool TLBar::event(QEvent* AEvent)
{
  switch (AEvent->type()) {
  case QEvent::ParentChange:
    AdoptLabels();
    break;
  case QEvent::ShowToParent:
    if (parentWidget()) {
      if (FLabel1)
        FLabel1->show();
      if (FLabel2)
        FLabel2->show();
    }
    break;
  case QEvent::HideToParent:
    if (FLabel1)
      FLabel1->hide();
    if (FLabel2)
      FLabel2->hide();
    break;
  default:
    break;
  }
  return TTBar::event(AEvent);
}

void TLBar::moveEvent(QMoveEvent* AEvent)
{
  TTBar::moveEvent(AEvent);
  PlaceLabels();
}

void TLBar::resizeEvent(QResizeEvent* AEvent)
{
  TTBar::resizeEvent(AEvent);
  PlaceLabels();
}

void TLBar::AdoptLabels()
{
  QWidget* parent = parentWidget();
  // Shown with the slider unless the slider was explicitly hidden.
  const bool visible = parent && !(isHidden() && testAttribute(Qt::WA_WState_ExplicitShowHide));
  for (QLabel* label : {FLabel1.data(), FLabel2.data()}) {
    if (!label)
      continue;
    if (label->parentWidget() != parent)
      label->setParent(parent);
    label->setVisible(visible);
  }
  PlaceLabels();
}

void TLBar::FireValueChange()
{
  if (FOnValueChange)
    FOnValueChange(this);
}
